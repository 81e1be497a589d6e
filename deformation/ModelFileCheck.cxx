#include "ModelFileCheck.h"

#include <vtkCellArray.h>
#include <vtkDataArray.h>
#include <vtkPolyData.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iomanip>
#include <sstream>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{
// Section headers whose numbers are counts of values to come.
const char* const CountKeywords[] = { "POINTS", "VERTICES", "LINES", "POLYGONS", "TRIANGLE_STRIPS",
  "POINT_DATA", "CELL_DATA", "OFFSETS", "CONNECTIVITY", "FIELD", "SCALARS", "COLOR_SCALARS",
  "LOOKUP_TABLE", "TEXTURE_COORDINATES", "TENSORS", "NORMALS", "VECTORS" };

// Value types of a field array line: "name components tuples type".
const char* const TypeNames[] = { "bit", "unsigned_char", "char", "unsigned_short", "short",
  "unsigned_int", "int", "unsigned_long", "long", "float", "double", "vtkIdType", "vtktypeint64",
  "vtktypeuint64", "string", "utf8_string" };

bool IsOneOf(const std::string& word, const char* const* list, size_t count)
{
  for (size_t i = 0; i < count; ++i)
  {
    if (word == list[i])
    {
      return true;
    }
  }
  return false;
}

// A whole token of decimal digits, as a count; -1 when it is none.
double CountOf(const std::string& token)
{
  if (token.empty() || token.size() > 30)
  {
    return token.empty() ? -1.0 : 1e30;
  }
  for (char c : token)
  {
    if (!std::isdigit(static_cast<unsigned char>(c)))
    {
      return -1.0;
    }
  }
  return std::strtod(token.c_str(), nullptr);
}

std::vector<std::string> Tokens(const std::string& line)
{
  std::vector<std::string> tokens;
  std::istringstream in(line);
  std::string token;
  while (in >> token && tokens.size() < 6)
  {
    tokens.push_back(token);
  }
  return tokens;
}

// The legacy reader's cell list keywords: it compares the start of a lower-cased word with them.
const char* const CellListKeywords[] = { "vertices", "lines", "polygons", "triangle_strips" };

bool IsBlank(char c)
{
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Whether the word at data[at] starts with the lower-case keyword, in any case.
bool WordStartsWith(const char* data, size_t size, size_t at, const char* keyword)
{
  for (size_t k = 0; keyword[k]; ++k, ++at)
  {
    if (at >= size || std::tolower(static_cast<unsigned char>(data[at])) != keyword[k])
    {
      return false;
    }
  }
  return true;
}

size_t WordEnd(const char* data, size_t size, size_t at)
{
  while (at < size && !IsBlank(data[at]))
  {
    ++at;
  }
  return at;
}

// After blanks, a whole word that is an integer (an optional sign and digits), as the reader
// takes one; false when the next word is none (or too long to be a count).
bool ReadWholeInteger(const char* data, size_t size, size_t& at, long long& value)
{
  size_t p = at;
  while (p < size && IsBlank(data[p]))
  {
    ++p;
  }
  const bool negative = p < size && data[p] == '-';
  p += p < size && (data[p] == '-' || data[p] == '+') ? 1 : 0;
  const size_t first = p;
  long long v = 0;
  while (p < size && std::isdigit(static_cast<unsigned char>(data[p])) && p - first < 15)
  {
    v = 10 * v + (data[p] - '0');
    ++p;
  }
  if (p == first || (p < size && !IsBlank(data[p])))
  {
    return false;
  }
  value = negative ? -v : v;
  at = p;
  return true;
}

// Walks a cell list of the older layout value by value: each cell's count, then its ids.
class CellListWalk
{
public:
  explicit CellListWalk(long long size)
    : Size(size)
  {
  }

  // False when the value is a count below 0 or beyond what is left of the list.
  bool Next(long long value)
  {
    const long long index = this->Index++;
    if (this->IdsLeft > 0)
    {
      --this->IdsLeft;
      return true;
    }
    if (value < 0 || value > this->Size - index - 1)
    {
      this->BadCount = value;
      this->BadIndex = index;
      return false;
    }
    this->IdsLeft = value;
    return true;
  }

  std::string Why(const std::string& keyword) const
  {
    std::ostringstream why;
    why << "its " << keyword << " list (" << this->Size << " values) has a cell of "
        << this->BadCount << " points at value " << this->BadIndex + 1
        << (this->BadCount < 0 ? "" : ", more than the list holds after it");
    return why.str();
  }

private:
  long long Size;
  long long Index = 0;
  long long IdsLeft = 0;
  long long BadCount = 0;
  long long BadIndex = 0;
};

// The file's bytes, mapped for reading.
class MappedFile
{
public:
  explicit MappedFile(const char* path)
  {
    const int fd = path ? ::open(path, O_RDONLY | O_CLOEXEC) : -1;
    struct stat info;
    if (fd < 0 || ::fstat(fd, &info) != 0)
    {
      this->Error = errno;
    }
    else if (info.st_size > 0)
    {
      void* map = ::mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
      if (map == MAP_FAILED)
      {
        this->Error = errno;
      }
      else
      {
        this->Data = static_cast<const char*>(map);
        this->Size = static_cast<size_t>(info.st_size);
      }
    }
    if (fd >= 0)
    {
      ::close(fd);
    }
  }
  ~MappedFile()
  {
    if (this->Data)
    {
      ::munmap(const_cast<char*>(this->Data), this->Size);
    }
  }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  const char* Data = nullptr;
  size_t Size = 0;
  int Error = 0;
};

// A number as "%d" reads one: blanks, an optional sign, digits up to the first non-digit.
bool ParseVersionNumber(const char* data, size_t end, size_t& at, long long& value)
{
  while (at < end && IsBlank(data[at]))
  {
    ++at;
  }
  const bool negative = at < end && data[at] == '-';
  at += at < end && (data[at] == '-' || data[at] == '+') ? 1 : 0;
  const size_t first = at;
  value = 0;
  while (at < end && std::isdigit(static_cast<unsigned char>(data[at])) && at - first < 9)
  {
    value = 10 * value + (data[at] - '0');
    ++at;
  }
  value = negative ? -value : value;
  return at > first;
}

// Whether the reader takes the file's cell lists in the newer layout (OFFSETS and
// CONNECTIVITY arrays): it reads the version from the end of the first line as "%d.%d" and
// uses that layout from version 5 on; a version it cannot read counts as 0.
bool NewerLayout(const char* data, size_t size)
{
  const size_t lineEnd =
    std::min<size_t>(size, static_cast<size_t>(std::find(data, data + size, '\n') - data));
  size_t at = 0;
  for (int word = 0; word < 4; ++word)
  {
    while (at < lineEnd && IsBlank(data[at]))
    {
      ++at;
    }
    at = std::min(WordEnd(data, size, at), lineEnd);
  }
  long long major = 0;
  if (!ParseVersionNumber(data, lineEnd, at, major) || at >= lineEnd || data[at] != '.')
  {
    return false;
  }
  ++at;
  long long minor = 0;
  return ParseVersionNumber(data, lineEnd, at, minor) && major >= 5;
}

enum class ListCheck
{
  Whole,
  Broken,
  LeftToReader
};

// The list of values after "KEYWORD n size" at at (ASCII words, or after the rest of the line
// big-endian 32-bit integers). at moves past what was looked at. Lists of the newer layout
// are the reader's to check.
ListCheck CheckOneList(const MappedFile& file, bool binary, bool newerLayout,
  const std::string& keyword, size_t& at, std::string& reason)
{
  const char* data = file.Data;
  const size_t size = file.Size;
  long long cells = 0;
  long long values = 0;
  if (!ReadWholeInteger(data, size, at, cells) || !ReadWholeInteger(data, size, at, values) ||
    values < 0 || values > INT_MAX || newerLayout)
  {
    return ListCheck::LeftToReader;
  }
  CellListWalk walk(values);
  if (!binary)
  {
    for (long long i = 0; i < values; ++i)
    {
      long long value = 0;
      if (!ReadWholeInteger(data, size, at, value))
      {
        return ListCheck::LeftToReader;
      }
      if (!walk.Next(value))
      {
        reason = walk.Why(keyword);
        return ListCheck::Broken;
      }
    }
    return ListCheck::Whole;
  }
  // The reader reads the rest of the line (at most 255 characters), then the values.
  const void* end = std::memchr(data + at, '\n', std::min<size_t>(size - at, 256));
  if (!end)
  {
    reason = "the line of its " + keyword + " list does not end where the binary values begin";
    return ListCheck::Broken;
  }
  const size_t begin = static_cast<size_t>(static_cast<const char*>(end) - data) + 1;
  if (static_cast<double>(begin) + 4.0 * static_cast<double>(values) > static_cast<double>(size))
  {
    return ListCheck::LeftToReader; // the file ends inside it: the reader says so
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(data + begin);
  for (long long i = 0; i < values; ++i, bytes += 4)
  {
    const std::int32_t value = static_cast<std::int32_t>(
      static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
      static_cast<std::uint32_t>(bytes[2]) << 8 | static_cast<std::uint32_t>(bytes[3]));
    if (!walk.Next(value))
    {
      reason = walk.Why(keyword);
      return ListCheck::Broken;
    }
  }
  at = begin + 4 * static_cast<size_t>(values);
  return ListCheck::Whole;
}
}

//------------------------------------------------------------------------------
bool CheckModelFileCounts(const char* path, std::string& reason)
{
  struct stat info;
  std::FILE* file = path ? std::fopen(path, "rb") : nullptr;
  if (!file || fstat(fileno(file), &info) != 0)
  {
    reason = std::strerror(errno);
    if (file)
    {
      std::fclose(file);
    }
    return false;
  }
  const double size = static_cast<double>(info.st_size);
  // Lines are looked at in pieces: a header line is short, and a line of binary data or of
  // thousands of values need not be held whole.
  char piece[256];
  bool lineStart = true;
  long lineNumber = 0;
  bool ok = true;
  while (ok && std::fgets(piece, sizeof(piece), file))
  {
    const bool wasLineStart = lineStart;
    lineStart = std::strchr(piece, '\n') != nullptr;
    if (!wasLineStart)
    {
      continue;
    }
    ++lineNumber;
    const std::vector<std::string> tokens = Tokens(piece);
    if (tokens.empty())
    {
      continue;
    }
    const bool header =
      IsOneOf(tokens[0], CountKeywords, sizeof(CountKeywords) / sizeof(CountKeywords[0]));
    const bool fieldArray = tokens.size() == 4 && CountOf(tokens[1]) >= 0 &&
      CountOf(tokens[2]) >= 0 &&
      IsOneOf(tokens[3], TypeNames, sizeof(TypeNames) / sizeof(TypeNames[0]));
    if (!header && !fieldArray)
    {
      continue;
    }
    double announced = 0.0;
    if (fieldArray)
    {
      announced = CountOf(tokens[1]) * CountOf(tokens[2]);
    }
    else
    {
      for (size_t k = 1; k < tokens.size(); ++k)
      {
        announced = std::max(announced, CountOf(tokens[k]));
      }
    }
    if (announced > size)
    {
      std::ostringstream why;
      why << "line " << lineNumber << " (" << tokens[0] << ") announces " << std::fixed
          << std::setprecision(0) << announced << " values, more than the " << info.st_size
          << " bytes of the file";
      reason = why.str();
      ok = false;
    }
  }
  if (ok && std::ferror(file))
  {
    reason = std::strerror(errno);
    ok = false;
  }
  std::fclose(file);
  return ok;
}

//------------------------------------------------------------------------------
bool CheckLegacyCellLists(const char* path, std::string& reason)
{
  const MappedFile file(path);
  if (file.Error != 0)
  {
    reason = std::strerror(file.Error);
    return false;
  }
  const char* data = file.Data;
  const size_t size = file.Size;
  // The kind of data follows the version and the title lines.
  size_t at = 0;
  for (int line = 0; line < 2 && at < size; ++at)
  {
    line += data[at] == '\n' ? 1 : 0;
  }
  while (at < size && IsBlank(data[at]))
  {
    ++at;
  }
  const bool binary = WordStartsWith(data, size, at, "binary");
  const bool newerLayout = NewerLayout(data, size);
  // In ASCII files the keywords begin words, and the point and cell data (whose names and
  // lookup tables may look like a list) end them. In binary files they are looked for
  // everywhere: values are read by their count, and a keyword may follow them without a blank.
  while (at < size)
  {
    const bool wordStart = at == 0 || IsBlank(data[at - 1]);
    if (!binary && wordStart &&
      (WordStartsWith(data, size, at, "point_data") || WordStartsWith(data, size, at, "cell_data")))
    {
      break; // the reader takes no cell list after these
    }
    const char* keyword = nullptr;
    if (binary || wordStart)
    {
      for (const char* k : CellListKeywords)
      {
        keyword = WordStartsWith(data, size, at, k) ? k : keyword;
      }
    }
    if (!keyword)
    {
      ++at;
      continue;
    }
    size_t after = WordEnd(data, size, at);
    std::string upper(keyword);
    std::transform(upper.begin(), upper.end(), upper.begin(),
      [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
    switch (CheckOneList(file, binary, newerLayout, upper, after, reason))
    {
      case ListCheck::Broken:
        return false;
      case ListCheck::Whole:
        at = after;
        break;
      case ListCheck::LeftToReader:
        at = WordEnd(data, size, at);
        break;
    }
  }
  return true;
}

//------------------------------------------------------------------------------
bool CheckModelCells(vtkPolyData* model, std::string& reason)
{
  if (!model)
  {
    reason = "there is no model";
    return false;
  }
  const vtkIdType points = model->GetNumberOfPoints();
  vtkCellArray* const kinds[] = { model->GetVerts(), model->GetLines(), model->GetPolys(),
    model->GetStrips() };
  // Fewer points than a cell of its kind needs leaves the model without a cell map, which
  // the filters then read all the same.
  const vtkIdType fewestPoints[] = { 1, 2, 3, 3 };
  const char* const kindNames[] = { "vertex", "line", "polygon", "triangle strip" };
  for (int kind = 0; kind < 4; ++kind)
  {
    vtkCellArray* cells = kinds[kind];
    if (!cells)
    {
      continue;
    }
    // Offsets that decrease, or do not end at the size of the connectivity, make cells that
    // overlap or run past it.
    if (!cells->IsValid())
    {
      reason = "its cell lists are inconsistent (offsets that decrease or do not match the "
               "connectivity)";
      return false;
    }
    // Also when no cell has a point at all: the connectivity is then empty.
    for (vtkIdType c = 0; c < cells->GetNumberOfCells(); ++c)
    {
      if (cells->GetCellSize(c) < fewestPoints[kind])
      {
        std::ostringstream why;
        why << "a " << kindNames[kind] << " has " << cells->GetCellSize(c) << " points";
        reason = why.str();
        return false;
      }
    }
    vtkDataArray* ids = cells->GetConnectivityArray();
    if (!ids || ids->GetNumberOfValues() == 0)
    {
      continue;
    }
    double range[2];
    ids->GetRange(range, 0);
    if (range[0] < 0 || range[1] >= static_cast<double>(points))
    {
      std::ostringstream why;
      why << "a cell refers to point " << static_cast<long long>(range[0] < 0 ? range[0] : range[1])
          << ", but the model has " << points << " points";
      reason = why.str();
      return false;
    }
  }
  return true;
}

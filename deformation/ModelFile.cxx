#include "ModelFile.h"

#include "CheckedUpdate.h"
#include "ModelFileCheck.h"
#include "NumberText.h"
#include "ReplaceFile.h"

#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkDataArray.h>
#include <vtkFieldData.h>
#include <vtkIdList.h>
#include <vtkLZ4DataCompressor.h>
#include <vtkLZMADataCompressor.h>
#include <vtkNew.h>
#include <vtkOBJReader.h>
#include <vtkOBJWriter.h>
#include <vtkPLYReader.h>
#include <vtkPLYWriter.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataReader.h>
#include <vtkPolyDataWriter.h>
#include <vtkSTLReader.h>
#include <vtkSTLWriter.h>
#include <vtkXMLDataElement.h>
#include <vtkXMLDataParser.h>
#include <vtkXMLPolyDataReader.h>
#include <vtkXMLPolyDataWriter.h>
#include <vtkZLibDataCompressor.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>
#include <sys/stat.h>
#include <vector>

namespace
{
std::string Lower(std::string text)
{
  for (char& c : text)
  {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return text;
}

// The size of the file in bytes; -1 (reason set) when it cannot be opened.
long long FileSize(const std::string& path, std::string& reason)
{
  struct stat info;
  if (::stat(path.c_str(), &info) != 0)
  {
    reason = std::strerror(errno);
    return -1;
  }
  if (!S_ISREG(info.st_mode))
  {
    reason = "it is not a regular file";
    return -1;
  }
  return static_cast<long long>(info.st_size);
}

// A whole token of decimal digits as a number (1e30 for absurdly long ones); -1 otherwise.
double Count(const std::string& token)
{
  if (token.empty() ||
    !std::all_of(token.begin(), token.end(), [](char c) { return c >= '0' && c <= '9'; }))
  {
    return -1.0;
  }
  return token.size() > 30 ? 1e30 : std::strtod(token.c_str(), nullptr);
}

std::string Announces(const std::string& what, double count, const std::string& limit)
{
  std::ostringstream why;
  why.precision(0);
  why << std::fixed << "it announces " << count << " " << what << ", more than " << limit;
  return why.str();
}

std::string Bytes(long long size)
{
  return "the " + std::to_string(size) + " bytes of the file can hold";
}

template <typename T>
double WordAs(const unsigned char* word)
{
  T value;
  std::memcpy(&value, word, sizeof(value));
  return static_cast<double>(value);
}

// A value of one of VTK's integer word types, as the parser stored it (this machine's order).
double WordValue(const unsigned char* word, int wordType)
{
  switch (wordType)
  {
    case VTK_TYPE_INT8:
      return WordAs<vtkTypeInt8>(word);
    case VTK_TYPE_UINT8:
      return WordAs<vtkTypeUInt8>(word);
    case VTK_TYPE_INT16:
      return WordAs<vtkTypeInt16>(word);
    case VTK_TYPE_UINT16:
      return WordAs<vtkTypeUInt16>(word);
    case VTK_TYPE_INT32:
      return WordAs<vtkTypeInt32>(word);
    case VTK_TYPE_UINT32:
      return WordAs<vtkTypeUInt32>(word);
    case VTK_TYPE_INT64:
      return WordAs<vtkTypeInt64>(word);
    case VTK_TYPE_UINT64:
      return WordAs<vtkTypeUInt64>(word);
    default:
      return 0.0; // not an integer type: the reader refuses the list
  }
}

//------------------------------------------------------------------------------
// Legacy files name their kind of data set on the fourth line ("DATASET POLYDATA").
bool CheckLegacyKind(const std::string& path, std::string& reason)
{
  std::ifstream in(path, std::ios::binary);
  std::string line;
  for (int number = 1; number <= 4 && in; ++number)
  {
    // A header line is short; a binary file need not have a line end for a long way.
    line.clear();
    char c;
    while (line.size() < 256 && in.get(c) && c != '\n')
    {
      line.push_back(c);
    }
  }
  std::istringstream words(line);
  std::string keyword, kind;
  words >> keyword >> kind;
  if (Lower(keyword) != "dataset")
  {
    return true; // not a header VTK's reader accepts: it says so itself
  }
  kind = Lower(kind);
  const std::pair<const char*, const char*> kinds[] = { { "unstructured_grid",
                                                          "an unstructured grid" },
    { "structured_points", "an image (structured points)" },
    { "structured_grid", "a structured grid" }, { "rectilinear_grid", "a rectilinear grid" } };
  for (const auto& k : kinds)
  {
    if (kind == k.first)
    {
      reason = std::string("it holds ") + k.second + ", not a surface (polygonal data)";
      return false;
    }
  }
  return true;
}

//------------------------------------------------------------------------------
// Reads the value of attribute name in the XML text from position from; empty when absent.
std::string Attribute(const std::string& text, size_t from, size_t to, const std::string& name)
{
  const std::string key = " " + name + "=\"";
  const size_t at = text.find(key, from);
  if (at == std::string::npos || at >= to)
  {
    return std::string();
  }
  const size_t begin = at + key.size();
  const size_t end = text.find('"', begin);
  return end == std::string::npos ? std::string() : text.substr(begin, end - begin);
}

// Decodes bytes from base64 text (no white space inside, as VTK writes it); false when the
// text runs out or holds other characters.
bool DecodeBase64(const std::string& text, size_t pos, size_t end, size_t bytes, std::string& out)
{
  out.clear();
  unsigned int bits = 0;
  int held = 0;
  for (size_t i = pos; out.size() < bytes; ++i)
  {
    if (i >= end)
    {
      return false;
    }
    const char c = text[i];
    int v;
    if (c >= 'A' && c <= 'Z')
      v = c - 'A';
    else if (c >= 'a' && c <= 'z')
      v = c - 'a' + 26;
    else if (c >= '0' && c <= '9')
      v = c - '0' + 52;
    else if (c == '+')
      v = 62;
    else if (c == '/')
      v = 63;
    else
      return false;
    bits = (bits << 6) | static_cast<unsigned int>(v);
    held += 6;
    if (held >= 8)
    {
      held -= 8;
      out.push_back(static_cast<char>((bits >> held) & 0xff));
    }
  }
  return true;
}

struct BinaryBlock
{
  const std::string* Text;
  size_t Begin;    // first character of the block (its header)
  size_t End;      // end of the characters the block may use
  bool Base64;     // encoded as base64, else raw bytes
  size_t WordSize; // 4 or 8 (header_type UInt32 / UInt64)
  bool Compressed;
  double Limit; // the most bytes of data a block may claim
};

// Reads `words` header words of the block.
bool HeaderWords(const BinaryBlock& b, size_t words, std::vector<double>& out, size_t& used)
{
  std::string bytes;
  const size_t count = words * b.WordSize;
  if (b.Base64)
  {
    if (!DecodeBase64(*b.Text, b.Begin, b.End, count, bytes))
    {
      return false;
    }
    used = (count + 2) / 3 * 4;
  }
  else
  {
    if (b.End < b.Begin || b.End - b.Begin < count)
    {
      return false;
    }
    bytes = b.Text->substr(b.Begin, count);
    used = count;
  }
  out.clear();
  for (size_t w = 0; w < words; ++w)
  {
    double value = 0.0;
    for (size_t k = b.WordSize; k-- > 0;) // little endian, as the files VTK writes here
    {
      value = value * 256.0 + static_cast<unsigned char>(bytes[w * b.WordSize + k]);
    }
    out.push_back(value);
  }
  return true;
}

// The header of a binary data block says how many bytes follow (or, compressed, how many
// blocks of what size, and each block's compressed size); VTK's reader allocates what it
// says. It must agree with what the file holds.
bool CheckBinaryBlock(const BinaryBlock& b, std::string& reason)
{
  std::vector<double> words;
  size_t used = 0;
  if (!HeaderWords(b, b.Compressed ? 3 : 1, words, used))
  {
    reason = "a binary data array is cut short";
    return false;
  }
  const double available = static_cast<double>(b.End - b.Begin) * (b.Base64 ? 0.75 : 1.0);
  if (!b.Compressed)
  {
    if (words[0] > available)
    {
      reason = Announces("bytes in a data array", words[0], "the file holds");
      return false;
    }
    return true;
  }
  const double blocks = words[0];
  if (blocks * static_cast<double>(b.WordSize) > available || blocks * words[1] > b.Limit ||
    words[2] > words[1])
  {
    reason = Announces("compressed blocks of " + std::to_string(static_cast<long long>(words[1])) +
        " bytes in a data array",
      blocks, "the file holds");
    return false;
  }
  if (!HeaderWords(b, 3 + static_cast<size_t>(blocks), words, used))
  {
    reason = "a binary data array is cut short";
    return false;
  }
  double compressed = 0.0;
  for (size_t k = 3; k < words.size(); ++k)
  {
    compressed += words[k];
  }
  if (compressed > available)
  {
    reason = Announces("compressed bytes in a data array", compressed, "the file holds");
    return false;
  }
  return true;
}

// VTK XML files: the data set type of the VTKFile element; every NumberOf... attribute of the
// XML part; and the header of every binary data array, inline or appended. Values stored
// compressed may take less room than their count: zlib, the densest of VTK's compressors,
// packs at most 1032 bytes into one.
bool CheckXmlHeader(const std::string& path, long long size, std::string& reason)
{
  std::string text;
  {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    text = all.str();
  }
  const size_t file = text.find("<VTKFile");
  if (file == std::string::npos)
  {
    return true; // not VTK XML: the reader says so itself
  }
  const size_t fileClose = text.find('>', file);
  const std::string type = Attribute(text, file, fileClose, "type");
  if (type != "PolyData")
  {
    const std::pair<const char*, const char*> kinds[] = { { "UnstructuredGrid",
                                                            "an unstructured grid" },
      { "ImageData", "an image" }, { "StructuredGrid", "a structured grid" },
      { "RectilinearGrid", "a rectilinear grid" }, { "Table", "a table" } };
    std::string what = type.empty() ? std::string("no data set type") : "a " + type;
    for (const auto& k : kinds)
    {
      if (type == k.first)
      {
        what = k.second;
      }
    }
    reason = "it holds " + what + " (VTK XML), not a surface (polygonal data)";
    return false;
  }
  const bool compressed = !Attribute(text, file, fileClose, "compressor").empty();
  const double limit = static_cast<double>(size) * (compressed ? 1032.0 : 1.0);
  const std::string limitText = compressed ? "1032 times the file's size" : Bytes(size);
  if (Attribute(text, file, fileClose, "byte_order") == "BigEndian")
  {
    reason = "it is written big-endian, which is not read here";
    return false;
  }
  const size_t wordSize = Attribute(text, file, fileClose, "header_type") == "UInt64" ? 8 : 4;

  const size_t appended = std::min(text.find("<AppendedData"), text.size());
  for (size_t at = text.find("NumberOf"); at < appended; at = text.find("NumberOf", at + 8))
  {
    size_t q = at + 8;
    while (q < text.size() && std::isalpha(static_cast<unsigned char>(text[q])))
    {
      ++q;
    }
    const size_t close = text.compare(q, 2, "=\"") == 0 ? text.find('"', q + 2) : std::string::npos;
    if (close == std::string::npos)
    {
      continue;
    }
    const double count = Count(text.substr(q + 2, close - q - 2));
    if (count > limit)
    {
      reason = Announces(text.substr(at, q - at) + " values", count, limitText);
      return false;
    }
  }

  // Where appended data begins: after the "_" that follows the AppendedData element.
  size_t appendedData = std::string::npos;
  bool appendedBase64 = true;
  if (appended < text.size())
  {
    const size_t close = text.find('>', appended);
    appendedBase64 = Attribute(text, appended, close, "encoding") != "raw";
    const size_t underscore = close == std::string::npos ? close : text.find('_', close);
    appendedData = underscore == std::string::npos ? underscore : underscore + 1;
  }
  for (size_t at = text.find("<DataArray"); at < appended; at = text.find("<DataArray", at + 10))
  {
    const size_t close = text.find('>', at);
    if (close == std::string::npos)
    {
      break;
    }
    const std::string format = Attribute(text, at, close, "format");
    BinaryBlock block{ &text, 0, text.size(), true, wordSize, compressed, limit };
    if (format == "binary")
    {
      block.Begin = text.find_first_not_of(" \t\r\n", close + 1);
      block.End = std::min(text.find('<', close + 1), text.size());
      if (block.Begin == std::string::npos || block.Begin > block.End)
      {
        block.Begin = block.End;
      }
    }
    else if (format == "appended")
    {
      const double offset = Count(Attribute(text, at, close, "offset"));
      if (appendedData == std::string::npos || offset < 0 ||
        offset >= static_cast<double>(text.size() - appendedData))
      {
        reason = "a data array's offset lies outside the appended data";
        return false;
      }
      block.Begin = appendedData + static_cast<size_t>(offset);
      block.Base64 = appendedBase64;
    }
    else
    {
      continue;
    }
    if (!CheckBinaryBlock(block, reason))
    {
      return false;
    }
  }
  return true;
}

//------------------------------------------------------------------------------
// VTK's XML reader sizes a cell list's connectivity by the list's last offset: a value in the
// file's data, not a count that CheckXmlHeader sees, so a few bytes could make it allocate
// gigabytes. The last offset of every cell list is read here, through VTK's own parser (which
// knows every encoding and compressor), and held to the limit of the counts. A file the
// parser cannot read is left to the reader, which says so.
bool CheckXmlOffsets(const std::string& path, long long size, std::string& reason)
{
  // The parser reads the data from the stream it parsed, which must stay open.
  std::ifstream in(path, std::ios::binary);
  vtkNew<vtkXMLDataParser> parser;
  parser->SetStream(&in);
  if (!in || !parser->Parse() || !parser->GetRootElement())
  {
    return true;
  }
  vtkXMLDataElement* root = parser->GetRootElement();
  const char* compressor = root->GetAttribute("compressor");
  vtkSmartPointer<vtkDataCompressor> decompress;
  if (compressor && std::strcmp(compressor, "vtkZLibDataCompressor") == 0)
    decompress = vtkSmartPointer<vtkZLibDataCompressor>::New();
  else if (compressor && std::strcmp(compressor, "vtkLZ4DataCompressor") == 0)
    decompress = vtkSmartPointer<vtkLZ4DataCompressor>::New();
  else if (compressor && std::strcmp(compressor, "vtkLZMADataCompressor") == 0)
    decompress = vtkSmartPointer<vtkLZMADataCompressor>::New();
  else if (compressor)
    return true; // the reader refuses a compressor it does not know
  parser->SetCompressor(decompress);
  // Every value takes a byte at least, or compressed, 1/1032 of one (as in CheckXmlHeader).
  const double limit = static_cast<double>(size) * (decompress ? 1032.0 : 1.0);
  const std::string limitText = decompress ? "1032 times the file's size" : Bytes(size);

  vtkXMLDataElement* polyData = root->FindNestedElementWithName("PolyData");
  const int pieces = polyData ? polyData->GetNumberOfNestedElements() : 0;
  for (int p = 0; p < pieces; ++p)
  {
    vtkXMLDataElement* piece = polyData->GetNestedElement(p);
    if (std::strcmp(piece->GetName(), "Piece") != 0)
    {
      continue;
    }
    for (const char* kind : { "Verts", "Lines", "Strips", "Polys" })
    {
      long long cells = 0;
      vtkXMLDataElement* list = piece->FindNestedElementWithName(kind);
      if (!list || !piece->GetScalarAttribute((std::string("NumberOf") + kind).c_str(), cells) ||
        cells <= 0)
      {
        continue;
      }
      vtkXMLDataElement* offsets =
        list->FindNestedElementWithNameAndAttribute("DataArray", "Name", "offsets");
      int wordType = 0;
      if (!offsets || !offsets->GetWordTypeAttribute("type", wordType) ||
        parser->GetWordTypeSize(wordType) > 8)
      {
        continue;
      }
      const char* format = offsets->GetAttribute("format");
      const vtkTypeUInt64 lastWord = static_cast<vtkTypeUInt64>(cells - 1);
      unsigned char word[8] = {};
      size_t read = 0;
      long long appendedAt = 0;
      if (format && std::strcmp(format, "appended") == 0)
      {
        if (offsets->GetScalarAttribute("offset", appendedAt))
        {
          read = parser->ReadAppendedData(appendedAt, word, lastWord, 1, wordType);
        }
      }
      else
      {
        const bool ascii = format && std::strcmp(format, "ascii") == 0;
        read = parser->ReadInlineData(offsets, ascii, word, lastWord, 1, wordType);
      }
      // When the last offset cannot be read here, VTK's reader goes on all the same and sizes
      // the connectivity by whatever its offsets array holds (an array left unfilled by a
      // format it does not know, say): the file is refused instead.
      if (read != 1)
      {
        reason = std::string("the offsets of its ") + kind + " cannot be read";
        return false;
      }
      const double last = WordValue(word, wordType);
      if (last > limit)
      {
        reason =
          Announces(std::string("values in the connectivity of its ") + kind, last, limitText);
        return false;
      }
    }
  }
  return true;
}

//------------------------------------------------------------------------------
// A binary STL file holds an 80-byte header, the number of triangles and 50 bytes for each.
// VTK's reader does not look at the "solid" a text file begins with: it reads a file as text
// when fewer than 5% of its first 256 bytes are neither printable ASCII nor white space, and
// as binary otherwise, even a file that begins with "solid". The count is checked unless
// the file is text by both rules.
bool CheckStlCount(const std::string& path, long long size, std::string& reason)
{
  std::ifstream in(path, std::ios::binary);
  unsigned char head[256] = {};
  in.read(reinterpret_cast<char*>(head), sizeof(head));
  const std::streamsize got = in.gcount();
  const std::uint32_t triangles = static_cast<std::uint32_t>(head[80]) |
    static_cast<std::uint32_t>(head[81]) << 8 | static_cast<std::uint32_t>(head[82]) << 16 |
    static_cast<std::uint32_t>(head[83]) << 24;
  const double needed = 84.0 + 50.0 * triangles;
  const std::streamsize other = std::count_if(head, head + got,
    [](unsigned char c)
    { return !((c >= 0x20 && c <= 0x7f) || c == '\n' || c == '\r' || c == '\t'); });
  // A little under VTK's 5%, so that a file at the edge is checked as binary too; and only a
  // file that begins with "solid" counts as text (as the check always had it).
  std::string start(reinterpret_cast<const char*>(head), static_cast<size_t>(got));
  start.erase(0, start.find_first_not_of(" \t\r\n"));
  const bool ascii = Lower(start.substr(0, 5)) == "solid" &&
    static_cast<double>(other) < 0.049 * static_cast<double>(got);
  if (ascii)
  {
    return true;
  }
  if (got < 84)
  {
    reason = "it is too short for a binary STL file (84 bytes of header)";
    return false;
  }
  if (needed > static_cast<double>(size))
  {
    reason = Announces("triangles", triangles, Bytes(size));
    return false;
  }
  return true;
}

//------------------------------------------------------------------------------
// The size in bytes of a PLY value type; 0 for a name that is none.
int PlyTypeSize(const std::string& type)
{
  const std::pair<const char*, int> types[] = { { "char", 1 }, { "uchar", 1 }, { "int8", 1 },
    { "uint8", 1 }, { "short", 2 }, { "ushort", 2 }, { "int16", 2 }, { "uint16", 2 }, { "int", 4 },
    { "uint", 4 }, { "int32", 4 }, { "uint32", 4 }, { "float", 4 }, { "float32", 4 },
    { "double", 8 }, { "float64", 8 } };
  for (const auto& t : types)
  {
    if (type == t.first)
    {
      return t.second;
    }
  }
  return 0;
}

struct PlyProperty
{
  std::string Name;
  std::string CountType; // empty for a single value
  std::string ValueType;
};

struct PlyElement
{
  std::string Name;
  double Count;
  std::vector<PlyProperty> Properties;
};

// Reads the values of a PLY body one at a time, binary or ASCII.
class PlyValues
{
public:
  PlyValues(std::istream& in, bool binary, bool bigEndian)
    : Data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>())
    , Binary(binary)
    , BigEndian(bigEndian)
  {
  }

  // Starts the next element. VTK's reader takes each element of an ASCII file from a line of
  // its own (at most 4095 characters, its buffer), split at spaces and tabs, and reads past
  // the words of a line that has too few: the element's values must all be on its line.
  // False at the end of the data.
  bool NextLine()
  {
    if (this->Binary)
    {
      return true;
    }
    this->Words.clear();
    this->Word = 0;
    if (this->At >= this->Data.size())
    {
      return false;
    }
    const size_t limit = std::min(this->At + 4095, this->Data.size());
    const size_t lineEnd = this->Data.find('\n', this->At);
    const bool whole = lineEnd != std::string::npos && lineEnd < limit;
    const size_t end = whole ? lineEnd : limit;
    // It reads the line as a C string: a NUL character ends its words.
    const size_t wordsEnd = std::min(this->Data.find('\0', this->At), end);
    for (size_t k = this->At; k < wordsEnd;)
    {
      const size_t wordEnd = std::min(this->Data.find_first_of(" \t", k), wordsEnd);
      if (wordEnd > k)
      {
        this->Words.push_back(this->Data.substr(k, wordEnd - k));
      }
      k = wordEnd + 1;
    }
    this->At = whole ? end + 1 : end;
    return true;
  }

  // The next value of the type; false at the end of the data (in ASCII, of the element's
  // line) or on a word that is no number.
  bool Next(const std::string& type, double& value)
  {
    if (!this->Binary)
    {
      if (this->Word >= this->Words.size())
      {
        return false;
      }
      const std::string& word = this->Words[this->Word++];
      char* stop = nullptr;
      value = std::strtod(word.c_str(), &stop);
      // A line end of "\r\n" leaves the "\r" on the last word, which VTK reads past.
      return stop != word.c_str() && (*stop == '\0' || (*stop == '\r' && stop[1] == '\0'));
    }
    const int size = PlyTypeSize(type);
    if (this->Data.size() - this->At < static_cast<size_t>(size))
    {
      return false;
    }
    unsigned char bytes[8];
    for (int k = 0; k < size; ++k)
    {
      bytes[k] =
        static_cast<unsigned char>(this->Data[this->At + (this->BigEndian ? size - 1 - k : k)]);
    }
    this->At += static_cast<size_t>(size);
    if (type == "float" || type == "float32")
    {
      float f;
      std::memcpy(&f, bytes, 4);
      value = f;
    }
    else if (type == "double" || type == "float64")
    {
      std::memcpy(&value, bytes, 8);
    }
    else
    {
      std::uint64_t u = 0;
      for (int k = size - 1; k >= 0; --k)
      {
        u = (u << 8) | bytes[k];
      }
      const bool negative = type[0] != 'u' && (bytes[size - 1] & 0x80);
      value =
        negative ? static_cast<double>(u) - std::ldexp(1.0, 8 * size) : static_cast<double>(u);
    }
    return true;
  }

  // Skips values of a fixed size (binary) without decoding them.
  bool Skip(const std::string& type, double count)
  {
    if (!this->Binary)
    {
      double value;
      for (double k = 0; k < count; ++k)
      {
        if (!this->Next(type, value))
        {
          return false;
        }
      }
      return true;
    }
    const double bytes = count * PlyTypeSize(type);
    if (bytes > static_cast<double>(this->Data.size() - this->At))
    {
      return false;
    }
    this->At += static_cast<size_t>(bytes);
    return true;
  }

private:
  std::string Data;
  size_t At = 0;
  std::vector<std::string> Words; // of the element's line (ASCII)
  size_t Word = 0;
  bool Binary;
  bool BigEndian;
};

// Walks the body of a PLY file as the header describes it. VTK's reader trusts the body as it
// trusts the header: a list that runs past the end of the file makes it free memory twice,
// and a face that names a vertex the file lacks makes it read out of range.
bool WalkPlyBody(std::istream& in, bool binary, bool bigEndian,
  const std::vector<PlyElement>& elements, std::string& reason)
{
  PlyValues values(in, binary, bigEndian);
  double vertices = 0.0;
  for (const PlyElement& element : elements)
  {
    if (element.Name == "vertex")
    {
      vertices = element.Count;
    }
    for (double e = 0; e < element.Count; ++e)
    {
      if (!values.NextLine())
      {
        reason = "its PLY data ends before the elements its header announces";
        return false;
      }
      for (const PlyProperty& p : element.Properties)
      {
        const bool ids =
          element.Name == "face" && (p.Name == "vertex_indices" || p.Name == "vertex_index");
        double count = 1.0;
        bool ok = true;
        if (!p.CountType.empty())
        {
          ok = values.Next(p.CountType, count);
          if (ok && (count < 0 || count != std::floor(count)))
          {
            reason = "a list in its PLY data has a length of " + std::to_string(count);
            return false;
          }
        }
        if (ok && ids)
        {
          for (double k = 0; ok && k < count; ++k)
          {
            double id = 0.0;
            ok = values.Next(p.ValueType, id);
            if (ok && (id < 0 || id >= vertices))
            {
              reason = "a face refers to vertex " + std::to_string(static_cast<long long>(id)) +
                ", but the file has " + std::to_string(static_cast<long long>(vertices));
              return false;
            }
          }
        }
        else if (ok)
        {
          ok = values.Skip(p.ValueType, count);
        }
        if (!ok)
        {
          reason = binary ? "its PLY data ends before the elements its header announces"
                          : "a line of its PLY data lacks values of its element, or holds a "
                            "word that is no number";
          return false;
        }
      }
    }
  }
  return true;
}

// VTK's PLY reader goes on with a file it has closed (and crashes) when the vertex element
// lacks one of x, y and z: the header must name them, each a single value.
bool HasPlyPositions(const std::vector<PlyElement>& elements)
{
  for (const PlyElement& element : elements)
  {
    if (element.Name != "vertex")
    {
      continue;
    }
    int found = 0;
    for (const char* axis : { "x", "y", "z" })
    {
      for (const PlyProperty& p : element.Properties)
      {
        if (p.Name == axis && p.CountType.empty())
        {
          ++found;
          break;
        }
      }
    }
    return found == 3;
  }
  return false;
}

// Nor does it read a face element without the list of its vertices: it frees what it never
// allocated.
bool HasPlyFaceLists(const std::vector<PlyElement>& elements)
{
  for (const PlyElement& element : elements)
  {
    if (element.Name != "face")
    {
      continue;
    }
    return std::any_of(element.Properties.begin(), element.Properties.end(),
      [](const PlyProperty& p)
      { return !p.CountType.empty() && (p.Name == "vertex_indices" || p.Name == "vertex_index"); });
  }
  return true;
}

// VTK's PLY reader trusts the header: a header that ends early or names an unknown type
// crashes it, and element counts are allocated as announced. The header is checked whole
// here: its lines, the types, and the least number of bytes (binary) or values (ASCII) the
// elements need against what the file holds after the header.
bool CheckPlyHeader(const std::string& path, long long size, std::string& reason)
{
  std::ifstream in(path, std::ios::binary);
  std::string line;
  int number = 0;
  bool binary = false;
  bool formatSeen = false;
  bool elementSeen = false;
  bool bigEndian = false;
  double needed = 0.0;       // bytes (binary) or values (ASCII) the body needs at least
  double elementCount = 0.0; // of the element whose properties are being listed
  std::vector<PlyElement> elements;
  auto refuse = [&](const std::string& why)
  {
    reason = "its PLY header " + why + " (line " + std::to_string(number) + ")";
    return false;
  };
  while (std::getline(in, line))
  {
    ++number;
    if (!line.empty() && line.back() == '\r')
    {
      line.pop_back();
    }
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string word; words >> word && w.size() < 6;)
    {
      w.push_back(word);
    }
    if (number == 1)
    {
      if (line != "ply")
      {
        return refuse("does not begin with \"ply\"");
      }
      continue;
    }
    if (w.empty() || w[0] == "comment" || w[0] == "obj_info")
    {
      continue;
    }
    if (w[0] == "end_header")
    {
      if (!formatSeen || !elementSeen)
      {
        return refuse("lacks its format or elements");
      }
      if (!HasPlyPositions(elements))
      {
        return refuse("has no vertex element with x, y and z");
      }
      if (!HasPlyFaceLists(elements))
      {
        return refuse("has a face element without a vertex_indices list");
      }
      const double body = static_cast<double>(size) - static_cast<double>(in.tellg());
      if (needed > body)
      {
        reason = Announces(binary ? "bytes of elements" : "element values", needed,
          "the " + std::to_string(static_cast<long long>(body)) + " bytes after the header");
        return false;
      }
      return WalkPlyBody(in, binary, bigEndian, elements, reason);
    }
    if (w[0] == "format")
    {
      if (w.size() != 3 ||
        (w[1] != "ascii" && w[1] != "binary_little_endian" && w[1] != "binary_big_endian"))
      {
        return refuse("names an unknown format");
      }
      binary = w[1] != "ascii";
      bigEndian = w[1] == "binary_big_endian";
      formatSeen = true;
    }
    else if (w[0] == "element")
    {
      elementCount = w.size() == 3 ? Count(w[2]) : -1.0;
      if (elementCount < 0)
      {
        return refuse("has an element without a count");
      }
      if (elementCount > static_cast<double>(size))
      {
        reason = Announces(w[1] + " elements", elementCount, Bytes(size));
        return false;
      }
      elementSeen = true;
      elements.push_back(PlyElement{ w[1], elementCount, {} });
    }
    else if (w[0] == "property" && elementSeen)
    {
      const bool list = w.size() == 5 && w[1] == "list";
      if (list ? (PlyTypeSize(w[2]) == 0 || PlyTypeSize(w[3]) == 0)
               : (w.size() != 3 || PlyTypeSize(w[1]) == 0))
      {
        return refuse("has a property of an unknown type");
      }
      // A list needs at least its count; a value its bytes, or in ASCII one character.
      needed += elementCount * (binary ? PlyTypeSize(list ? w[2] : w[1]) : 1);
      elements.back().Properties.push_back(
        list ? PlyProperty{ w[4], w[2], w[3] } : PlyProperty{ w[2], std::string(), w[1] });
    }
    else
    {
      return refuse("has a line that is not part of a header");
    }
  }
  return refuse("ends before \"end_header\"");
}

//------------------------------------------------------------------------------
// A whole token that is a finite or infinite decimal number.
bool IsNumber(const std::string& token)
{
  if (token.empty())
  {
    return false;
  }
  char* end = nullptr;
  std::strtod(token.c_str(), &end);
  return end && *end == '\0';
}

// VTK's OBJ reader goes out of range on a vertex line with a damaged number or on a face
// that names a vertex, texture coordinate or normal that the file lacks. Every such line is
// checked here: the numbers of "v", "vt" and "vn" lines, and the references of "f", "l" and
// "p" lines (from 1, or negative from the end, to what the file has defined so far).
bool CheckObjLines(const std::string& path, std::string& reason)
{
  std::ifstream in(path, std::ios::binary);
  std::string line;
  long long counts[3] = { 0, 0, 0 }; // v, vt, vn
  long long number = 0;
  auto refuse = [&](const std::string& why)
  {
    reason = "line " + std::to_string(number) + " " + why;
    return false;
  };
  while (std::getline(in, line))
  {
    ++number;
    std::istringstream words(line);
    std::string keyword;
    words >> keyword;
    std::vector<std::string> tokens;
    for (std::string token; words >> token;)
    {
      tokens.push_back(token);
    }
    const int kind = keyword == "v" ? 0 : keyword == "vt" ? 1 : keyword == "vn" ? 2 : -1;
    if (kind >= 0)
    {
      const size_t fewest[] = { 3, 1, 3 };
      const size_t most[] = { 7, 3, 3 };
      if (tokens.size() < fewest[kind] || tokens.size() > most[kind] ||
        !std::all_of(tokens.begin(), tokens.end(), IsNumber))
      {
        return refuse("(\"" + keyword + "\") does not hold its numbers");
      }
      ++counts[kind];
      continue;
    }
    const size_t fewest = keyword == "f" ? 3 : keyword == "l" ? 2 : keyword == "p" ? 1 : 0;
    if (fewest == 0)
    {
      continue;
    }
    if (tokens.size() < fewest)
    {
      return refuse("(\"" + keyword + "\") has too few points");
    }
    for (const std::string& token : tokens)
    {
      // "v", "v/t", "v//n" or "v/t/n".
      size_t start = 0;
      for (int part = 0; part < 3 && start <= token.size(); ++part)
      {
        const size_t slash = std::min(token.find('/', start), token.size());
        const std::string index = token.substr(start, slash - start);
        start = slash + 1;
        if (index.empty() && part > 0)
        {
          continue;
        }
        char* end = nullptr;
        const long long k = std::strtoll(index.c_str(), &end, 10);
        if (index.empty() || *end != '\0' || k == 0 || k > counts[part] || -k > counts[part])
        {
          return refuse(
            "(\"" + keyword + "\") refers to \"" + token + "\", which the file does not have");
        }
        if (slash == token.size())
        {
          break;
        }
      }
    }
  }
  return true;
}

//------------------------------------------------------------------------------
bool CheckPoints(vtkPolyData* model, std::string& reason)
{
  vtkPoints* points = model->GetPoints();
  const vtkIdType n = points ? points->GetNumberOfPoints() : 0;
  if (n == 0)
  {
    reason = "it holds no points";
    return false;
  }
  for (vtkIdType i = 0; i < n; ++i)
  {
    double p[3];
    points->GetPoint(i, p);
    if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
    {
      reason = "point " + std::to_string(i) + " has a coordinate that is not a finite number";
      return false;
    }
  }
  return true;
}

vtkSmartPointer<vtkAlgorithm> ReaderFor(ModelFormat format, const std::string& path)
{
  switch (format)
  {
    case ModelFormat::XmlPolyData:
    {
      auto reader = vtkSmartPointer<vtkXMLPolyDataReader>::New();
      reader->SetFileName(path.c_str());
      return reader;
    }
    case ModelFormat::Stl:
    {
      auto reader = vtkSmartPointer<vtkSTLReader>::New();
      reader->SetFileName(path.c_str());
      return reader;
    }
    case ModelFormat::Ply:
    {
      auto reader = vtkSmartPointer<vtkPLYReader>::New();
      reader->SetFileName(path.c_str());
      return reader;
    }
    case ModelFormat::Obj:
    {
      auto reader = vtkSmartPointer<vtkOBJReader>::New();
      reader->SetFileName(path.c_str());
      return reader;
    }
    case ModelFormat::LegacyVtk:
      break;
  }
  auto reader = vtkSmartPointer<vtkPolyDataReader>::New();
  reader->SetFileName(path.c_str());
  return reader;
}

// VTK's OBJ writer leaves vertex cells out: they are added to its file as point elements
// ("p" and the points' numbers from 1), which VTK's OBJ reader reads back as vertex cells.
bool AppendObjVertices(const std::string& path, vtkPolyData* model)
{
  vtkCellArray* verts = model->GetVerts();
  if (!verts || verts->GetNumberOfCells() == 0)
  {
    return true;
  }
  std::string text;
  vtkNew<vtkIdList> ids;
  for (vtkIdType c = 0; c < verts->GetNumberOfCells(); ++c)
  {
    verts->GetCellAtId(c, ids);
    text += "p";
    for (vtkIdType k = 0; k < ids->GetNumberOfIds(); ++k)
    {
      text += ' ';
      NumberText::AppendInt(text, static_cast<long long>(ids->GetId(k)) + 1);
    }
    text += '\n';
  }
  std::ofstream out(path, std::ios::binary | std::ios::app);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  return static_cast<bool>(out);
}

bool ObjComplete(const std::string& path, vtkPolyData* model)
{
  std::ifstream in(path, std::ios::binary);
  std::string line;
  vtkIdType points = 0;
  vtkIdType cells = 0;
  bool lineEnd = true;
  while (std::getline(in, line))
  {
    lineEnd = !in.eof();
    if (line.rfind("v ", 0) == 0)
    {
      ++points;
    }
    else if (line.rfind("f ", 0) == 0 || line.rfind("l ", 0) == 0 || line.rfind("p ", 0) == 0)
    {
      ++cells;
    }
  }
  return lineEnd && points == model->GetNumberOfPoints() && cells >= model->GetNumberOfCells();
}

// Arrays with another number of tuples than the model has points (or cells) stay behind:
// the deformation leaves the input's normals behind that way, without a value.
void DropMismatchedArrays(vtkDataSetAttributes* data, vtkIdType tuples)
{
  for (int i = data->GetNumberOfArrays() - 1; i >= 0; --i)
  {
    vtkAbstractArray* array = data->GetAbstractArray(i);
    if (array && array->GetNumberOfTuples() != tuples)
    {
      data->RemoveArray(i);
    }
  }
}

// An array name as it must stand in an XML attribute for VTK's XML reader to give it back:
// VTK's XML writer copies names as they are, so a name with "&", "<" or a quote, a control
// character or bytes that are not UTF-8 would make the whole file unreadable. Those are
// written as character references (a byte that is not UTF-8 as the Latin-1 character of
// that value; a control character, which XML cannot hold at all, as "?").
std::string XmlAttributeText(const std::string& name)
{
  std::string out;
  const auto* bytes = reinterpret_cast<const unsigned char*>(name.data());
  const size_t n = name.size();
  for (size_t i = 0; i < n;)
  {
    const unsigned char c = bytes[i];
    if (c == '&' || c == '<' || c == '>' || c == '"' || c == '\'')
    {
      out += c == '&' ? "&amp;"
        : c == '<'    ? "&lt;"
        : c == '>'    ? "&gt;"
        : c == '"'    ? "&quot;"
                      : "&apos;";
      ++i;
      continue;
    }
    if (c < 0x20)
    {
      out += c == '\t' ? "&#9;" : c == '\n' ? "&#10;" : c == '\r' ? "&#13;" : "?";
      ++i;
      continue;
    }
    if (c < 0x80)
    {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    // A whole UTF-8 sequence (no overlong forms, no surrogates, at most U+10FFFF) is kept.
    size_t length = c >= 0xC2 && c <= 0xDF ? 2
      : c >= 0xE0 && c <= 0xEF             ? 3
      : c >= 0xF0 && c <= 0xF4             ? 4
                                           : 0;
    bool whole = length > 0 && i + length <= n;
    for (size_t k = 1; whole && k < length; ++k)
    {
      whole = (bytes[i + k] & 0xC0) == 0x80;
    }
    if (whole && length >= 3)
    {
      const unsigned char second = bytes[i + 1];
      whole = !(c == 0xE0 && second < 0xA0) && !(c == 0xED && second >= 0xA0) &&
        !(c == 0xF0 && second < 0x90) && !(c == 0xF4 && second >= 0x90);
    }
    if (whole)
    {
      out.append(name, i, length);
      i += length;
    }
    else
    {
      out += "&#";
      NumberText::AppendInt(out, c);
      out += ';';
      ++i;
    }
  }
  return out;
}

// The arrays of data whose names XML cannot carry as VTK writes them, replaced by arrays
// sharing their values under names written as XmlAttributeText (the arrays themselves, which
// the caller's model holds too, keep their names).
void UseXmlArrayNames(vtkFieldData* data)
{
  auto* attributes = vtkDataSetAttributes::SafeDownCast(data);
  std::vector<vtkSmartPointer<vtkAbstractArray>> named;
  for (int i = 0; i < data->GetNumberOfArrays(); ++i)
  {
    vtkAbstractArray* array = data->GetAbstractArray(i);
    if (array && array->GetName() && XmlAttributeText(array->GetName()) != array->GetName())
    {
      named.emplace_back(array);
    }
  }
  for (vtkAbstractArray* array : named)
  {
    int index = 0;
    while (data->GetAbstractArray(index) != array)
    {
      ++index;
    }
    vtkSmartPointer<vtkAbstractArray> renamed;
    renamed.TakeReference(array->NewInstance());
    if (auto* values = vtkDataArray::SafeDownCast(array))
    {
      vtkDataArray::SafeDownCast(renamed)->ShallowCopy(values);
    }
    else
    {
      renamed->DeepCopy(array);
    }
    renamed->SetName(XmlAttributeText(array->GetName()).c_str());
    const int role = attributes ? attributes->IsArrayAnAttribute(index) : -1;
    data->RemoveArray(index);
    const int at = data->AddArray(renamed);
    if (role >= 0)
    {
      attributes->SetActiveAttribute(at, role);
    }
  }
}

// A legacy file is written as text, and VTK writes a value that is not a finite number as
// "nan" or "inf", which its reader cannot read: the whole file would be refused. Such arrays
// (a texture coordinate or a scalar without a value) are left out of the file instead.
void DropNonFiniteArrays(vtkDataSetAttributes* data)
{
  for (int i = data->GetNumberOfArrays() - 1; i >= 0; --i)
  {
    vtkDataArray* array = data->GetArray(i);
    if (!array)
    {
      continue;
    }
    bool finite = true;
    for (vtkIdType t = 0; finite && t < array->GetNumberOfTuples(); ++t)
    {
      for (int c = 0; finite && c < array->GetNumberOfComponents(); ++c)
      {
        finite = std::isfinite(array->GetComponent(t, c));
      }
    }
    if (!finite)
    {
      data->RemoveArray(i);
    }
  }
}

// STL and PLY files (as VTK writes them) hold coordinates in single precision: a larger one
// would be written as infinity, in a file that no reader accepts.
bool FitsInFloat(vtkPolyData* model, std::string& reason)
{
  vtkPoints* points = model->GetPoints();
  const vtkIdType n = points ? points->GetNumberOfPoints() : 0;
  for (vtkIdType i = 0; i < n; ++i)
  {
    double p[3];
    points->GetPoint(i, p);
    for (double v : p)
    {
      if (!(std::fabs(v) <= std::numeric_limits<float>::max()))
      {
        reason = "point " + std::to_string(i) +
          " has a coordinate beyond the single-precision numbers of the format";
        return false;
      }
    }
  }
  return true;
}

// VTK's OBJ writer leaves out a texture coordinate that has a component of exactly -1 (the
// value its reader gives points without one) but still numbers the faces' texture
// coordinates by point: every later point's faces then name the wrong one, or one the file
// lacks. Such a component is written one float step closer to 0, which keeps every line.
void KeepObjTextureCoordinates(vtkPolyData* model)
{
  vtkDataArray* tcoords = model->GetPointData()->GetTCoords();
  if (!tcoords)
  {
    return;
  }
  const double nearMinusOne = -1.0 + std::ldexp(1.0, -24); // exact in float and double
  vtkSmartPointer<vtkDataArray> kept;
  for (vtkIdType t = 0; t < tcoords->GetNumberOfTuples(); ++t)
  {
    for (int c = 0; c < tcoords->GetNumberOfComponents(); ++c)
    {
      if (tcoords->GetComponent(t, c) == -1.0)
      {
        if (!kept)
        {
          kept.TakeReference(tcoords->NewInstance());
          kept->DeepCopy(tcoords);
        }
        kept->SetComponent(t, c, nearMinusOne);
      }
    }
  }
  if (kept)
  {
    model->GetPointData()->SetTCoords(kept);
  }
}

vtkSmartPointer<vtkAlgorithm> WriterFor(
  ModelFormat format, vtkPolyData* model, const std::string& path)
{
  vtkSmartPointer<vtkAlgorithm> writer;
  switch (format)
  {
    case ModelFormat::XmlPolyData:
    {
      auto xml = vtkSmartPointer<vtkXMLPolyDataWriter>::New();
      xml->SetFileName(path.c_str());
      writer = xml;
      break;
    }
    case ModelFormat::Stl:
    {
      auto stl = vtkSmartPointer<vtkSTLWriter>::New();
      stl->SetFileName(path.c_str());
      stl->SetFileTypeToBinary();
      writer = stl;
      break;
    }
    case ModelFormat::Ply:
    {
      auto ply = vtkSmartPointer<vtkPLYWriter>::New();
      ply->SetFileName(path.c_str());
      ply->SetFileTypeToBinary();
      writer = ply;
      break;
    }
    case ModelFormat::Obj:
    {
      auto obj = vtkSmartPointer<vtkOBJWriter>::New();
      obj->SetFileName(path.c_str());
      writer = obj;
      break;
    }
    case ModelFormat::LegacyVtk:
    {
      auto legacy = vtkSmartPointer<vtkPolyDataWriter>::New();
      legacy->SetFileName(path.c_str());
      legacy->SetFileTypeToASCII();
      writer = legacy;
      break;
    }
  }
  writer->SetInputDataObject(0, model);
  return writer;
}
}

//------------------------------------------------------------------------------
ModelFormat ModelFormatOf(const std::string& path)
{
  const auto slash = path.find_last_of('/');
  const auto dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
  {
    return ModelFormat::LegacyVtk;
  }
  const std::string extension = Lower(path.substr(dot));
  if (extension == ".vtp")
  {
    return ModelFormat::XmlPolyData;
  }
  if (extension == ".stl")
  {
    return ModelFormat::Stl;
  }
  if (extension == ".ply")
  {
    return ModelFormat::Ply;
  }
  if (extension == ".obj")
  {
    return ModelFormat::Obj;
  }
  return ModelFormat::LegacyVtk;
}

//------------------------------------------------------------------------------
vtkSmartPointer<vtkPolyData> ReadModelFile(const std::string& path, std::string& reason)
{
  const long long size = FileSize(path, reason);
  if (size < 0)
  {
    return nullptr;
  }
  const ModelFormat format = ModelFormatOf(path);
  bool ok = true;
  switch (format)
  {
    case ModelFormat::LegacyVtk:
      ok = CheckModelFileCounts(path.c_str(), reason) && CheckLegacyKind(path, reason) &&
        CheckLegacyCellLists(path.c_str(), reason);
      break;
    case ModelFormat::XmlPolyData:
      ok = CheckXmlHeader(path, size, reason) && CheckXmlOffsets(path, size, reason);
      break;
    case ModelFormat::Stl:
      ok = CheckStlCount(path, size, reason);
      break;
    case ModelFormat::Ply:
      ok = CheckPlyHeader(path, size, reason);
      break;
    case ModelFormat::Obj:
      ok = CheckObjLines(path, reason);
      break;
  }
  if (!ok)
  {
    return nullptr;
  }

  vtkSmartPointer<vtkAlgorithm> reader = ReaderFor(format, path);
  // The legacy reader goes on reading from a closed stream after some errors (and crashes):
  // its update ends at its first error. The others finish what they do.
  const CheckedUpdateResult read = CheckedUpdate(reader,
    format == ModelFormat::LegacyVtk ? CheckedUpdateMode::AbortOnError
                                     : CheckedUpdateMode::Collect);
  if (!read.Ok)
  {
    reason = read.Message;
    return nullptr;
  }
  vtkPolyData* output = vtkPolyData::SafeDownCast(reader->GetOutputDataObject(0));
  if (!output)
  {
    reason = "it holds no polygonal data";
    return nullptr;
  }
  if (!CheckPoints(output, reason) || !CheckModelCells(output, reason))
  {
    return nullptr;
  }
  auto model = vtkSmartPointer<vtkPolyData>::New();
  model->ShallowCopy(output);
  // VTK's OBJ reader gives texture coordinates only up to the last point that has some: an
  // array shorter than the points would be read out of range by every filter after it.
  DropMismatchedArrays(model->GetPointData(), model->GetNumberOfPoints());
  DropMismatchedArrays(model->GetCellData(), model->GetNumberOfCells());
  return model;
}

//------------------------------------------------------------------------------
bool WriteModelFile(vtkPolyData* model, const std::string& path, std::string& reason)
{
  if (!model)
  {
    reason = "there is no model";
    return false;
  }
  const ModelFormat format = ModelFormatOf(path);
  if ((format == ModelFormat::Stl || format == ModelFormat::Ply) && !FitsInFloat(model, reason))
  {
    return false;
  }
  vtkNew<vtkPolyData> written;
  written->ShallowCopy(model);
  DropMismatchedArrays(written->GetPointData(), written->GetNumberOfPoints());
  DropMismatchedArrays(written->GetCellData(), written->GetNumberOfCells());
  if (format == ModelFormat::Obj)
  {
    KeepObjTextureCoordinates(written);
  }
  if (format == ModelFormat::XmlPolyData)
  {
    UseXmlArrayNames(written->GetPointData());
    UseXmlArrayNames(written->GetCellData());
    vtkNew<vtkFieldData> fields; // the model's own field data stays as it is
    fields->ShallowCopy(written->GetFieldData());
    UseXmlArrayNames(fields);
    written->SetFieldData(fields);
  }
  if (format == ModelFormat::LegacyVtk)
  {
    DropNonFiniteArrays(written->GetPointData());
    DropNonFiniteArrays(written->GetCellData());
  }

  auto contents = [&](NewFileContents& file, std::string& why)
  {
    vtkSmartPointer<vtkAlgorithm> writer = WriterFor(format, written, file.Path);
    // Writers report a failed open or a full disk through their error code or an error.
    const CheckedUpdateResult result = CheckedUpdate(writer, CheckedUpdateMode::Collect);
    bool ok = result.Ok && writer->GetErrorCode() == 0;
    why = result.Message;
    if (ok)
    {
      // VTK's PLY writer does not notice a failed write (a full disk): the file it wrote is
      // walked as a reader would walk it, so that a short one is found.
      std::string unused;
      const long long size = FileSize(file.Path, unused);
      // Nor does the OBJ writer: its file must end with a whole line and hold a line for
      // every point and at least one for every cell.
      if ((format == ModelFormat::Ply && (size < 0 || !CheckPlyHeader(file.Path, size, why))) ||
        (format == ModelFormat::Obj &&
          (!AppendObjVertices(file.Path, written) || !ObjComplete(file.Path, written))))
      {
        ok = false;
        why = "the file could not be written whole";
      }
    }
    if (!ok && why.empty())
    {
      why = "the file could not be written";
    }
    return ok;
  };
  // Some writers add their extension to a name that lacks it: the new file's name ends in it.
  const char* const extensions[] = { ".vtk", ".vtp", ".stl", ".ply", ".obj" };
  return ReplaceFile(path, contents, reason, extensions[static_cast<int>(format)]) ==
    ReplaceFileStatus::Ok;
}

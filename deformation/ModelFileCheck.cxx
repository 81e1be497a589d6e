#include "ModelFileCheck.h"

#include <vtkCellArray.h>
#include <vtkDataArray.h>
#include <vtkPolyData.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <sstream>
#include <string>
#include <sys/stat.h>
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

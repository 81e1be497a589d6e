#include "PointList.h"

#include "NumberText.h"
#include "ReplaceFile.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace
{
std::string Lower(std::string text)
{
  for (char& c : text)
  {
    c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return text;
}

std::string Trimmed(const std::string& text)
{
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && NumberText::IsSpace(text[begin]))
  {
    ++begin;
  }
  while (end > begin && NumberText::IsSpace(text[end - 1]))
  {
    --end;
  }
  return text.substr(begin, end - begin);
}

// The fields of a line: split at commas (each trimmed) or at runs of blanks.
std::vector<std::string> Fields(const std::string& line, char separator)
{
  std::vector<std::string> fields;
  if (separator == ',')
  {
    size_t start = 0;
    for (;;)
    {
      const size_t comma = line.find(',', start);
      fields.push_back(Trimmed(line.substr(start, comma - start)));
      if (comma == std::string::npos)
      {
        break;
      }
      start = comma + 1;
    }
    return fields;
  }
  std::istringstream words(line);
  std::string word;
  while (words >> word)
  {
    fields.push_back(word);
  }
  return fields;
}

// A finite decimal number and nothing else (no hexadecimal, inf or nan).
bool ReadNumber(const std::string& field, double& value)
{
  if (field.empty() || field.find_first_not_of("0123456789+-.eE") != std::string::npos)
  {
    return false;
  }
  const char* end = nullptr;
  value = NumberText::ToDouble(field.c_str(), &end);
  return end == field.c_str() + field.size() && std::isfinite(value);
}
}

//------------------------------------------------------------------------------
bool IsPointListPath(const std::string& path)
{
  const size_t dot = path.find_last_of('.');
  const size_t slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
  {
    return false;
  }
  const std::string extension = Lower(path.substr(dot));
  return extension == ".txt" || extension == ".csv" || extension == ".xyz";
}

//------------------------------------------------------------------------------
bool ReadPointList(const std::string& path, PointList& list, std::string& reason)
{
  std::ifstream in(path, std::ios::binary);
  if (!in)
  {
    reason = std::strerror(errno);
    return false;
  }
  list.Points = vtkSmartPointer<vtkDoubleArray>::New();
  list.Points->SetNumberOfComponents(3);
  list.Header.clear();
  bool first = true;
  bool separatorKnown = false;
  std::string line;
  long long number = 0;
  while (std::getline(in, line))
  {
    ++number;
    if (!line.empty() && line.back() == '\r')
    {
      line.pop_back();
    }
    if (Trimmed(line).empty())
    {
      continue;
    }
    const bool hasComma = line.find(',') != std::string::npos;
    const std::vector<std::string> fields = Fields(line, hasComma ? ',' : ' ');
    double xyz[3];
    if (first)
    {
      first = false;
      bool anyNumber = false;
      for (const std::string& field : fields)
      {
        double unused = 0.0;
        anyNumber = anyNumber || ReadNumber(field, unused);
      }
      if (!anyNumber)
      {
        list.Header = line;
        continue;
      }
    }
    if (!separatorKnown)
    {
      list.Separator = hasComma ? ',' : ' ';
      separatorKnown = true;
    }
    else if (hasComma != (list.Separator == ','))
    {
      reason = "line " + std::to_string(number) + " is separated by " +
        (hasComma ? "commas" : "blanks") + " while the lines before are not";
      return false;
    }
    if (fields.size() != 3)
    {
      reason = "line " + std::to_string(number) + " holds " + std::to_string(fields.size()) +
        " fields instead of three numbers";
      return false;
    }
    for (int a = 0; a < 3; ++a)
    {
      if (!ReadNumber(fields[a], xyz[a]))
      {
        reason = "line " + std::to_string(number) + ": \"" + fields[a] +
          "\" is not a finite decimal number";
        return false;
      }
    }
    list.Points->InsertNextTuple(xyz);
  }
  if (in.bad())
  {
    reason = "it could not be read to the end";
    return false;
  }
  if (list.Points->GetNumberOfTuples() == 0)
  {
    reason = "it holds no points";
    return false;
  }
  return true;
}

//------------------------------------------------------------------------------
bool WritePointList(
  const std::string& path, const PointList& layout, vtkDoubleArray* points, std::string& reason)
{
  std::string text;
  if (!layout.Header.empty())
  {
    text += layout.Header + "\n";
  }
  const char* const separator = layout.Separator == ',' ? "," : " ";
  for (vtkIdType i = 0; i < points->GetNumberOfTuples(); ++i)
  {
    for (int a = 0; a < 3; ++a)
    {
      if (a > 0)
      {
        text += separator;
      }
      NumberText::AppendExact(text, points->GetTypedComponent(i, a));
    }
    text += "\n";
  }

  // The product's safe replacement: an earlier file of that name survives a failed write.
  auto contents = [&text](NewFileContents& file, std::string&)
  { return std::fwrite(text.data(), 1, text.size(), file.Stream) == text.size(); };
  return ReplaceFile(path, contents, reason) == ReplaceFileStatus::Ok;
}

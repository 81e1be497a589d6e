#include "ModelFile.h"

#include "CheckedUpdate.h"
#include "ModelFileCheck.h"

#include <vtkCellData.h>
#include <vtkDataArray.h>
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
#include <vtkXMLPolyDataReader.h>
#include <vtkXMLPolyDataWriter.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
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

// VTK XML files: the data set type of the VTKFile element, and every NumberOf... attribute
// of the XML part (appended binary data, after "<AppendedData", is not looked at). Values
// stored compressed may take less room than their count: zlib, the densest of VTK's
// compressors, packs at most 1032 bytes into one.
bool CheckXmlHeader(const std::string& path, long long size, std::string& reason)
{
  std::ifstream in(path, std::ios::binary);
  std::string text;
  std::vector<char> chunk(1 << 20);
  size_t scanned = 0;
  std::string type;
  bool compressed = false;
  bool headerSeen = false;
  while (in)
  {
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    const std::streamsize got = in.gcount();
    if (got <= 0)
    {
      break;
    }
    // Keep a tail of the last chunk so that an attribute cut in two is still found.
    const size_t keep = std::min<size_t>(text.size(), 128);
    text = text.substr(text.size() - keep) + std::string(chunk.data(), static_cast<size_t>(got));
    scanned = 0;
    size_t end = text.find("<AppendedData");
    const bool last = end != std::string::npos;
    if (!last)
    {
      end = text.size();
    }
    if (!headerSeen)
    {
      const size_t file = text.find("<VTKFile");
      if (file == std::string::npos)
      {
        return true; // not VTK XML: the reader says so itself
      }
      const size_t close = text.find('>', file);
      type = Attribute(text, file, close, "type");
      compressed = !Attribute(text, file, close, "compressor").empty();
      headerSeen = true;
      if (type != "PolyData")
      {
        break;
      }
    }
    const double limit = static_cast<double>(size) * (compressed ? 1032.0 : 1.0);
    for (size_t at = text.find("NumberOf", scanned); at != std::string::npos && at < end;
         at = text.find("NumberOf", at + 8))
    {
      size_t q = at + 8;
      while (q < text.size() && std::isalpha(static_cast<unsigned char>(text[q])))
      {
        ++q;
      }
      if (text.compare(q, 2, "=\"") != 0)
      {
        continue;
      }
      const size_t close = text.find('"', q + 2);
      if (close == std::string::npos)
      {
        continue;
      }
      const double count = Count(text.substr(q + 2, close - q - 2));
      if (count > limit)
      {
        reason = Announces(text.substr(at, q - at) + " values", count,
          compressed ? "1032 times the file's size" : Bytes(size));
        return false;
      }
    }
    if (last)
    {
      break;
    }
  }
  if (!headerSeen || type == "PolyData")
  {
    return true;
  }
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

//------------------------------------------------------------------------------
// A binary STL file holds an 80-byte header, the number of triangles and 50 bytes for each.
// VTK's reader takes a file for ASCII when it begins with "solid" and its size does not
// match a binary count.
bool CheckStlCount(const std::string& path, long long size, std::string& reason)
{
  std::ifstream in(path, std::ios::binary);
  unsigned char head[84] = {};
  in.read(reinterpret_cast<char*>(head), sizeof(head));
  const std::streamsize got = in.gcount();
  const std::uint32_t triangles = static_cast<std::uint32_t>(head[80]) |
    static_cast<std::uint32_t>(head[81]) << 8 | static_cast<std::uint32_t>(head[82]) << 16 |
    static_cast<std::uint32_t>(head[83]) << 24;
  const double needed = 84.0 + 50.0 * triangles;
  std::string start(reinterpret_cast<const char*>(head), static_cast<size_t>(std::max<std::streamsize>(got, 0)));
  start.erase(0, start.find_first_not_of(" \t\r\n"));
  const bool ascii = Lower(start.substr(0, 5)) == "solid" && needed != static_cast<double>(size);
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
// The PLY header lists its elements with their counts ("element vertex 1234") before
// "end_header"; every element takes at least one byte of the file.
bool CheckPlyHeader(const std::string& path, long long size, std::string& reason)
{
  std::ifstream in(path, std::ios::binary);
  std::string line;
  for (int lines = 0; lines < 10000 && std::getline(in, line); ++lines)
  {
    std::istringstream words(line);
    std::string keyword, name, count;
    words >> keyword >> name >> count;
    if (keyword == "end_header")
    {
      return true;
    }
    if (keyword == "element" && Count(count) > static_cast<double>(size))
    {
      reason = Announces(name + " elements", Count(count), Bytes(size));
      return false;
    }
  }
  return true; // no proper header: the reader says so itself
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

//------------------------------------------------------------------------------
// A name for the new file next to the destination that no other file has; the file is
// created empty (with the permissions a new file gets) so that nobody else takes the name.
std::string CreateSiblingFile(const std::string& path)
{
  const auto slash = path.find_last_of('/');
  const std::string directory =
    slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  for (int attempt = 0; attempt < 100; ++attempt)
  {
    const std::string candidate = directory + "." + name + "." + std::to_string(::getpid()) + "." +
      std::to_string(attempt) + ".part";
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd >= 0)
    {
      ::close(fd);
      return candidate;
    }
    if (errno != EEXIST)
    {
      return std::string();
    }
  }
  errno = EEXIST;
  return std::string();
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

vtkSmartPointer<vtkAlgorithm> WriterFor(ModelFormat format, vtkPolyData* model,
  const std::string& path)
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
      ok = CheckModelFileCounts(path.c_str(), reason) && CheckLegacyKind(path, reason);
      break;
    case ModelFormat::XmlPolyData:
      ok = CheckXmlHeader(path, size, reason);
      break;
    case ModelFormat::Stl:
      ok = CheckStlCount(path, size, reason);
      break;
    case ModelFormat::Ply:
      ok = CheckPlyHeader(path, size, reason);
      break;
    case ModelFormat::Obj:
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
  const std::string partial = CreateSiblingFile(path);
  if (partial.empty())
  {
    reason = std::strerror(errno);
    return false;
  }
  vtkNew<vtkPolyData> written;
  written->ShallowCopy(model);
  DropMismatchedArrays(written->GetPointData(), written->GetNumberOfPoints());
  DropMismatchedArrays(written->GetCellData(), written->GetNumberOfCells());

  vtkSmartPointer<vtkAlgorithm> writer = WriterFor(ModelFormatOf(path), written, partial);
  // Writers report a failed open or a full disk through their error code or an error.
  const CheckedUpdateResult result = CheckedUpdate(writer, CheckedUpdateMode::Collect);
  if (!result.Ok || writer->GetErrorCode() != 0)
  {
    std::remove(partial.c_str());
    reason = result.Message.empty() ? std::string("the file could not be written") : result.Message;
    return false;
  }
  if (std::rename(partial.c_str(), path.c_str()) != 0)
  {
    reason = std::strerror(errno);
    std::remove(partial.c_str());
    return false;
  }
  return true;
}

#ifndef RealMeshes_h
#define RealMeshes_h

// Scanned and modelled meshes from Debian's libcgal-demo package (third-party data, not in
// this repository): scripts/real-meshes.sh extracts the few used here into a cache folder.
// Read from OFF files, placed where the sample's deformation moves things, optionally
// subdivided and labelled like the sample (a cell scalar "region", 0 on a textured band).

#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkFloatArray.h>
#include <vtkIdList.h>
#include <vtkLinearSubdivisionFilter.h>
#include <vtkLoopSubdivisionFilter.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <locale>
#include <sstream>
#include <string>
#include <vector>

namespace realmeshes
{
// With sharp features (fandisk), fine detail (bunny00) or both.
inline const std::vector<std::string>& Names()
{
  static const std::vector<std::string> names{ "fandisk", "dino", "camel", "bear", "bunny00" };
  return names;
}

// QUORVEL_REAL_MESHES, or the cache folder scripts/real-meshes.sh fills by default.
inline std::string Folder()
{
  if (const char* set = std::getenv("QUORVEL_REAL_MESHES"))
  {
    return set;
  }
  if (const char* cache = std::getenv("XDG_CACHE_HOME"))
  {
    return std::string(cache) + "/quorvel/meshes";
  }
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "/tmp") + "/.cache/quorvel/meshes";
}

inline std::string Path(const std::string& name)
{
  return Folder() + "/" + name + ".off";
}

// An OFF or COFF file's triangles and polygons; nullptr when it cannot be read.
inline vtkSmartPointer<vtkPolyData> ReadOff(const std::string& path)
{
  std::ifstream in(path);
  if (!in)
  {
    return nullptr;
  }
  in.imbue(std::locale::classic());
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
  {
    const auto hash = line.find('#');
    if (hash != std::string::npos)
    {
      line.erase(hash);
    }
    if (line.find_first_not_of(" \t\r") != std::string::npos)
    {
      lines.push_back(line);
    }
  }
  if (lines.size() < 2 || lines[0].find("OFF") == std::string::npos)
  {
    return nullptr;
  }
  auto numbers = [](const std::string& line)
  {
    std::istringstream s(line);
    s.imbue(std::locale::classic());
    return s;
  };
  long vertices = 0, faces = 0;
  numbers(lines[1]) >> vertices >> faces;
  if (vertices <= 0 || faces <= 0 || lines.size() < static_cast<size_t>(2 + vertices + faces))
  {
    return nullptr;
  }
  vtkNew<vtkPoints> points;
  points->SetDataTypeToFloat();
  points->SetNumberOfPoints(vertices);
  for (long i = 0; i < vertices; ++i)
  {
    double x[3] = { 0, 0, 0 };
    numbers(lines[2 + i]) >> x[0] >> x[1] >> x[2];
    points->SetPoint(i, x);
  }
  vtkNew<vtkCellArray> cells;
  for (long f = 0; f < faces; ++f)
  {
    auto s = numbers(lines[2 + vertices + f]);
    long n = 0;
    s >> n;
    std::vector<vtkIdType> ids(std::max(0L, n));
    for (auto& id : ids)
    {
      s >> id;
    }
    if (n >= 3 && s)
    {
      cells->InsertNextCell(static_cast<vtkIdType>(n), ids.data());
    }
  }
  auto mesh = vtkSmartPointer<vtkPolyData>::New();
  mesh->SetPoints(points);
  mesh->SetPolys(cells);
  return mesh;
}

// Turned (axes permuted cyclically) and scaled so that its longest side runs along x from
// -0.52 to 0.98 around y = 0, z = -0.27: the sample leg's place, where the sample's fitted
// deformation moves things.
inline void PlaceLikeTheSample(vtkPolyData* mesh)
{
  double b[6];
  mesh->GetBounds(b);
  const double size[3] = { b[1] - b[0], b[3] - b[2], b[5] - b[4] };
  const int longest = static_cast<int>(std::max_element(size, size + 3) - size);
  const double scale = 1.5 / size[longest];
  const double centre[3] = { 0.23, 0.0, -0.27 };
  vtkPoints* points = mesh->GetPoints();
  for (vtkIdType i = 0; i < points->GetNumberOfPoints(); ++i)
  {
    double x[3], y[3];
    points->GetPoint(i, x);
    for (int k = 0; k < 3; ++k)
    {
      const int axis = (longest + k) % 3;
      y[k] = centre[k] + scale * (x[axis] - 0.5 * (b[2 * axis] + b[2 * axis + 1]));
    }
    points->SetPoint(i, y);
  }
  points->Modified();
}

// Loop subdivision (linear where the mesh is not a closed-enough triangle mesh for it) to the
// number of levels that comes nearest to about `points` points.
inline vtkSmartPointer<vtkPolyData> Subdivide(vtkPolyData* mesh, double points)
{
  int levels = 0;
  double count = static_cast<double>(mesh->GetNumberOfPoints());
  while (std::fabs(std::log(4 * count / points)) < std::fabs(std::log(count / points)))
  {
    count *= 4;
    ++levels;
  }
  if (levels == 0)
  {
    return mesh;
  }
  vtkNew<vtkLoopSubdivisionFilter> loop;
  loop->SetInputData(mesh);
  loop->SetNumberOfSubdivisions(levels);
  loop->Update();
  auto out = vtkSmartPointer<vtkPolyData>::New();
  if (loop->GetOutput()->GetNumberOfPoints() > mesh->GetNumberOfPoints())
  {
    out->ShallowCopy(loop->GetOutput());
    return out;
  }
  vtkNew<vtkLinearSubdivisionFilter> linear;
  linear->SetInputData(mesh);
  linear->SetNumberOfSubdivisions(levels);
  linear->Update();
  out->ShallowCopy(linear->GetOutput());
  return out;
}

// The sample's labels: cells whose first point lies in the band 0.45 < x < 0.75 textured (0),
// the rest body (1).
inline void Label(vtkPolyData* mesh)
{
  vtkNew<vtkFloatArray> region;
  region->SetName("region");
  region->SetNumberOfTuples(mesh->GetNumberOfCells());
  vtkNew<vtkIdList> ids;
  for (vtkIdType c = 0; c < mesh->GetNumberOfCells(); ++c)
  {
    mesh->GetCellPoints(c, ids);
    const double x = mesh->GetPoint(ids->GetId(0))[0];
    region->SetValue(c, (x > 0.45 && x < 0.75) ? 0.0f : 1.0f);
  }
  mesh->GetCellData()->SetScalars(region);
}
}

#endif

// Models in every supported format: written, deformed by pravik-warp and read back, they hold
// the points the spline gives and the arrays the format can keep; hostile files of each
// format are refused with a reason, and none of their truncations or corruptions crashes the
// reader or the checks.
#include "FormatsTesting.h"
#include "ModelFile.h"
#include "ReliabilityTesting.h"

#include <vtkCellData.h>
#include <vtkDataArray.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <set>

using namespace reliability;

namespace
{
ChildRun Warp(const std::vector<std::string>& args)
{
  std::vector<std::string> argv{ PRAVIK_WARP };
  argv.insert(argv.end(), args.begin(), args.end());
  return RunChild(argv, ChildOptions{});
}

// The names of the arrays of a model's point and cell data, as "point:name" / "cell:name".
std::set<std::string> ArrayNames(vtkPolyData* model)
{
  std::set<std::string> names;
  for (int i = 0; i < model->GetPointData()->GetNumberOfArrays(); ++i)
  {
    const char* name = model->GetPointData()->GetArrayName(i);
    names.insert(std::string("point:") + (name ? name : "?"));
  }
  for (int i = 0; i < model->GetCellData()->GetNumberOfArrays(); ++i)
  {
    const char* name = model->GetCellData()->GetArrayName(i);
    names.insert(std::string("cell:") + (name ? name : "?"));
  }
  return names;
}
}

//------------------------------------------------------------------------------
// Written in each format, warped at two factors and read back: every point lies where the
// spline (evaluated here independently) carries the point read from the input file, the
// arrays the format holds come back with their values, and the input's normals are left out.
TEST(ModelFormats, RoundTripsThroughTheWarpKeepPointsAndArrays)
{
  ScratchDirectory dir;
  const std::string trc = dir.File("small.trc");
  formats::WriteSmallTransform(trc);
  const auto model = formats::SmallModel();
  struct Case
  {
    const char* Extension;
    std::set<std::string> Kept;
    double Tolerance; // the legacy files hold ASCII numbers of six significant digits
  };
  const Case cases[] = {
    { "vtk", { "point:warmth", "point:uv", "cell:region" }, 1e-5 },
    { "VTP", { "point:warmth", "point:uv", "cell:region" }, 2e-6 },
    { "ply", { "point:TCoords" }, 2e-6 },
    { "obj", { "point:TCoords" }, 2e-6 },
    { "stl", {}, 2e-6 },
  };
  for (const Case& c : cases)
  {
    for (const char* factor : { "1", "0.48" })
    {
      SCOPED_TRACE(std::string(c.Extension) + " at factor " + factor);
      const std::string in = dir.File(std::string("in.") + c.Extension);
      const std::string out = dir.File(std::string("out.") + c.Extension);
      std::string reason;
      ASSERT_TRUE(WriteModelFile(model, in, reason)) << reason;
      const ChildRun run = Warp({ trc, in, out, factor });
      ASSERT_TRUE(run.Exited && run.Status == 0) << run.Describe();
      // The one line said: how many points the small spline leaves out of reach.
      EXPECT_EQ(run.Err.rfind("pravik-warp: ", 0), 0u) << run.Err;
      EXPECT_NE(run.Err.find(" lie beyond every landmark's reach: they keep their place.\n"),
        std::string::npos)
        << run.Err;
      EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << run.Err;

      const auto before = ReadModelFile(in, reason);
      ASSERT_TRUE(before) << reason;
      const auto after = ReadModelFile(out, reason);
      ASSERT_TRUE(after) << reason;
      ASSERT_EQ(after->GetNumberOfPoints(), before->GetNumberOfPoints());
      EXPECT_EQ(after->GetNumberOfCells(), before->GetNumberOfCells());
      const double f = std::stod(factor);
      double worst = 0.0;
      int moved = 0;
      for (vtkIdType i = 0; i < before->GetNumberOfPoints(); ++i)
      {
        double x[3], y[3], d[3];
        before->GetPoint(i, x);
        after->GetPoint(i, y);
        formats::SmallDisplacement(x, d);
        moved += d[0] != 0.0 ? 1 : 0;
        for (int a = 0; a < 3; ++a)
        {
          worst = std::max(worst, std::fabs(y[a] - (x[a] - f * d[a])));
        }
      }
      EXPECT_LT(worst, c.Tolerance);
      EXPECT_GT(moved, 10);
      EXPECT_LT(moved, before->GetNumberOfPoints()); // some points have no landmark in reach

      const std::set<std::string> names = ArrayNames(after);
      for (const std::string& name : c.Kept)
      {
        EXPECT_TRUE(names.count(name)) << name << " lost";
      }
      // The input's normals are carried by the deformation: one for every point written.
      if (names.count("point:Normals"))
      {
        EXPECT_EQ(after->GetPointData()->GetNormals()->GetNumberOfTuples(),
          after->GetNumberOfPoints());
      }
      // Point and cell data the format keeps by name hold the values written.
      for (const char* name : { "warmth", "region" })
      {
        vtkDataArray* written = model->GetPointData()->GetArray(name)
          ? model->GetPointData()->GetArray(name)
          : model->GetCellData()->GetArray(name);
        vtkDataArray* read = after->GetPointData()->GetArray(name)
          ? after->GetPointData()->GetArray(name)
          : after->GetCellData()->GetArray(name);
        if (read)
        {
          ASSERT_EQ(read->GetNumberOfTuples(), written->GetNumberOfTuples());
          for (vtkIdType t = 0; t < read->GetNumberOfTuples(); ++t)
          {
            ASSERT_EQ(read->GetTuple1(t), written->GetTuple1(t)) << name << " " << t;
          }
        }
      }
    }
  }
}

//------------------------------------------------------------------------------
// Hostile or unsuitable files of each format: refused, with a reason that says why.
TEST(ModelFormats, HostileAndNonSurfaceFilesAreRefusedWithTheirReason)
{
  ScratchDirectory dir;
  std::string stlHeader(80, ' ');
  auto u32 = [](std::uint32_t v) {
    return std::string{ static_cast<char>(v & 255), static_cast<char>((v >> 8) & 255),
      static_cast<char>((v >> 16) & 255), static_cast<char>(v >> 24) };
  };
  const std::string plyHead = "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\n"
                              "property float y\nproperty float z\nelement face 1\n"
                              "property list uchar int vertex_indices\nend_header\n";
  const std::string vtpHead = "<?xml version=\"1.0\"?>\n<VTKFile type=\"PolyData\" "
                              "version=\"0.1\" byte_order=\"LittleEndian\">\n<PolyData>\n";
  struct Case
  {
    const char* Name;
    std::string Text;
    const char* Reason;
  };
  const Case cases[] = {
    { "grid.vtk",
      "# vtk DataFile Version 3.0\ngrid\nASCII\nDATASET UNSTRUCTURED_GRID\nPOINTS 1 float\n0 0 0\n",
      "holds an unstructured grid" },
    { "image.vtk",
      "# vtk DataFile Version 3.0\nimage\nASCII\nDATASET STRUCTURED_POINTS\nDIMENSIONS 2 2 1\n",
      "holds an image" },
    { "grid.vtp", "<?xml version=\"1.0\"?>\n<VTKFile type=\"UnstructuredGrid\" version=\"0.1\">\n",
      "holds an unstructured grid" },
    { "huge.vtp",
      vtpHead + "<Piece NumberOfPoints=\"2000000000\" NumberOfPolys=\"1\">\n</Piece>\n",
      "announces 2000000000 NumberOfPoints" },
    { "missing-point.vtp",
      vtpHead +
        "<Piece NumberOfPoints=\"3\" NumberOfPolys=\"1\">\n<Points><DataArray type=\"Float32\" "
        "NumberOfComponents=\"3\" format=\"ascii\">0 0 0 1 0 0 0 1 0</DataArray></Points>\n"
        "<Polys><DataArray type=\"Int64\" Name=\"connectivity\" format=\"ascii\">0 1 7"
        "</DataArray><DataArray type=\"Int64\" Name=\"offsets\" format=\"ascii\">3</DataArray>"
        "</Polys>\n</Piece>\n</PolyData>\n</VTKFile>\n",
      "refers to point 7" },
    { "huge.stl", stlHeader + u32(100000000u) + std::string(50, '\0'), "announces 100000000 triangles" },
    { "short.stl", "abc", "too short" },
    { "nan.stl",
      "solid s\nfacet normal 0 0 1\nouter loop\nvertex nan 0 0\nvertex 1 0 0\nvertex 0 1 0\n"
      "endloop\nendfacet\nendsolid s\n",
      "not a finite number" },
    { "huge.ply",
      "ply\nformat binary_little_endian 1.0\nelement vertex 900000000\nproperty float x\n"
      "end_header\n",
      "announces 900000000 vertex elements" },
    { "missing-point.ply", plyHead + "0 0 0\n1 0 0\n0 1 0\n3 0 1 9\n", "refers to vertex 9" },
    { "inf.ply", plyHead + "0 0 0\n1 inf 0\n0 1 0\n3 0 1 2\n", "not a finite number" },
    // VTK's reader freed a vertex list it had never read (a damaged property name).
    { "no-list.ply",
      plyHead.substr(0, plyHead.find("vertex_indices")) + "ver" + std::string(1, '\0') +
        "ex_indices\nend_header\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n",
      "face element without a vertex_indices list" },
    { "missing-point.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 9\n", "refers to \"9\"" },
    // VTK's OBJ reader went out of range on this damaged number.
    { "damaged.obj", "v 0 0 0\nv 1 0 0\nv 0 1\xff" "5 0\nf 1 2 3\n", "does not hold its numbers" },
    { "empty.obj", "# nothing\n", "no points" },
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.Name);
    const std::string path = dir.File(c.Name);
    WriteFile(path, c.Text);
    std::string reason;
    EXPECT_FALSE(ReadModelFile(path, reason));
    EXPECT_NE(reason.find(c.Reason), std::string::npos) << reason;
  }
}

//------------------------------------------------------------------------------
// Every truncation of a small model in each format, and many copies with one byte changed:
// each is refused or read whole (under AddressSanitizer in the sanitizer build).
TEST(ModelFormats, TruncatedAndCorruptedFilesAreRefusedOrReadSafely)
{
  ScratchDirectory dir;
  const auto model = formats::SmallModel();
  std::uint32_t state = 2026u;
  for (const char* extension : { "vtk", "vtp", "stl", "ply", "obj" })
  {
    SCOPED_TRACE(extension);
    const std::string path = dir.File(std::string("model.") + extension);
    std::string reason;
    ASSERT_TRUE(WriteModelFile(model, path, reason)) << reason;
    const std::string whole = ReadFile(path);

    int accepted = 0;
    int refused = 0;
    auto tryFile = [&](const std::string& text) {
      WriteFile(path, text);

      std::string why;
      const auto read = ReadModelFile(path, why);
      (read ? accepted : refused) += 1;
      EXPECT_TRUE(read || !why.empty());
    };
    const size_t step = std::max<size_t>(1, whole.size() / 150);
    for (size_t length = 0; length < whole.size(); length += step)
    {
      tryFile(whole.substr(0, length));
    }
    const char replacements[] = "\x00\xff" "9-.e\n ";
    for (int k = 0; k < 300; ++k)
    {
      state = state * 1664525u + 1013904223u;
      std::string changed = whole;
      changed[(state >> 8) % changed.size()] = replacements[(state >> 4) % 8];
      tryFile(changed);
    }
    std::printf("%s: %d variants read, %d refused\n", extension, accepted, refused);
    EXPECT_GT(refused, 0);
  }
}

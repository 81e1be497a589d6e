// Faults of the model files that fuzzing (fuzz/FuzzModelFile.cxx) found or was pointed at, as
// readable cases: files that crashed VTK's readers or made them allocate gigabytes are refused
// with a reason, what WriteModelFile writes reads back whole, and a legacy file that ends
// inside a cell list is refused while VTK's reporting is on (as in every program).
#include "FormatsTesting.h"
#include "ModelFile.h"
#include "ReliabilityTesting.h"

#include <vtkAbstractArray.h>
#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkDataArray.h>
#include <vtkFieldData.h>
#include <vtkFloatArray.h>
#include <vtkNew.h>
#include <vtkObject.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataWriter.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

using namespace reliability;
using namespace std::string_literals;

namespace
{
// A strip of triangles 40000 units from the origin, with texture coordinates: u runs from -1
// (a texture wrapped once) at the first column to 1, v is -1 on the first row; so that
// some coordinates have a component of exactly -1.
vtkSmartPointer<vtkPolyData> WrappedTexture()
{
  vtkNew<vtkPoints> points;
  vtkNew<vtkFloatArray> uv;
  uv->SetNumberOfComponents(2);
  uv->SetName("uv");
  const double columns[] = { 0.0, 0.31, 0.47, 1.2, 1.25 };
  for (int j = 0; j < 2; ++j)
  {
    for (int i = 0; i < 5; ++i)
    {
      points->InsertNextPoint(40000.0 + columns[i], -250.0 + 0.7 * j, 12.0 + 0.01 * i * j);
      uv->InsertNextTuple2(-1.0 + 0.5 * i, j == 0 ? -1.0 : 0.25);
    }
  }
  vtkNew<vtkCellArray> polys;
  for (vtkIdType i = 0; i + 1 < 5; ++i)
  {
    const vtkIdType a[3] = { i, i + 1, i + 6 };
    const vtkIdType b[3] = { i, i + 6, i + 5 };
    polys->InsertNextCell(3, a);
    polys->InsertNextCell(3, b);
  }
  auto model = vtkSmartPointer<vtkPolyData>::New();
  model->SetPoints(points);
  model->SetPolys(polys);
  model->GetPointData()->SetTCoords(uv);
  return model;
}

// An array of one component, named, of `tuples` equal values.
vtkSmartPointer<vtkFloatArray> Filled(const char* name, vtkIdType tuples, float value)
{
  auto array = vtkSmartPointer<vtkFloatArray>::New();
  array->SetName(name);
  array->SetNumberOfTuples(tuples);
  array->Fill(value);
  return array;
}

vtkSmartPointer<vtkPolyData> ReadBack(const std::string& path)
{
  std::string reason;
  vtkSmartPointer<vtkPolyData> model = ReadModelFile(path, reason);
  EXPECT_TRUE(model) << path << ": " << reason;
  return model;
}
}

//------------------------------------------------------------------------------
// Files that crashed a reader, made it allocate gigabytes, or passed broken cells on: refused,
// with a reason that says why (and a sound file beside them read).
TEST(ModelFileFaults, DamagedFilesAreRefusedWithTheirReason)
{
  ScratchDirectory dir;
  const std::string plyFaces =
    "element face 1\nproperty list uchar int vertex_indices\nend_header\n";
  // A text STL file whose name holds bytes that are not text: VTK's reader takes it for binary
  // and its bytes 80 to 83 for the number of triangles (here 268 million).
  std::string stl = "solid " + std::string(74, '\x01') + std::string("\xff\xff\xff\x0f", 4) +
    "\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\n"
    "endloop\nendfacet\nendsolid\n";
  struct Case
  {
    const char* Name;
    std::string Text;
    const char* Reason;
  };
  const Case cases[] = {
    // VTK's PLY reader went on with the file it had closed, and crashed.
    { "no-x.ply",
      "ply\nformat ascii 1.0\nelement vertex 3\nproperty float a\nproperty float y\n"
      "property float z\n" +
        plyFaces + "0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n",
      "no vertex element with x, y and z" },
    // ... and freed what it never allocated for faces without their list of vertices.
    { "no-indices.ply",
      "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
      "property float z\nelement face 1\nproperty list uchar int corners\nend_header\n"
      "0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n",
      "face element without a vertex_indices list" },
    // Polygons without points passed the cell check, and the model had no cell map.
    { "empty-faces.ply",
      "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
      "property float z\nelement face 2\nproperty list uchar int vertex_indices\nend_header\n"
      "0 0 0\n1 0 0\n0 1 0\n0\n0\n",
      "a polygon has 0 points" },
    // VTK's reader takes each element from its own line and read past a short one.
    { "short-line.ply",
      "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
      "property float z\n" +
        plyFaces + "0 0\n0 1 0 0\n0 1 0\n3 0 1 2\n",
      "a line of its PLY data lacks values" },
    // ... and a NUL character ends a line's words for it.
    { "nul.ply",
      "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
      "property float z\n" +
        plyFaces + "0 0 0\n1\0 0 0\n0 1 0\n3 0 1 2\n"s,
      "a line of its PLY data lacks values" },
    // The same with every value on its line, and Windows line ends: read.
    { "crlf.ply",
      "ply\r\nformat ascii 1.0\r\nelement vertex 3\r\nproperty float x\r\nproperty float y\r\n"
      "property float z\r\nelement face 1\r\nproperty list uchar int vertex_indices\r\n"
      "end_header\r\n0 0 0\r\n1 0 0\r\n0 1 0\r\n3 0 1 2\r\n",
      nullptr },
    { "binary-bytes.stl", stl, "announces 268435455 triangles" },
    // The XML reader sizes the connectivity by the last offset, not by a count.
    { "offsets.vtp",
      "<?xml version=\"1.0\"?>\n<VTKFile type=\"PolyData\" version=\"1.0\" "
      "byte_order=\"LittleEndian\">\n<PolyData>\n<Piece NumberOfPoints=\"3\" "
      "NumberOfPolys=\"1\">\n<Points><DataArray type=\"Float32\" NumberOfComponents=\"3\" "
      "format=\"ascii\">0 0 0 1 0 0 0 1 0</DataArray></Points>\n<Polys><DataArray "
      "type=\"Int64\" Name=\"connectivity\" format=\"ascii\">0 1 2</DataArray><DataArray "
      "type=\"Int64\" Name=\"offsets\" format=\"ascii\">3000000000</DataArray></Polys>\n"
      "</Piece>\n</PolyData>\n</VTKFile>\n",
      "announces 3000000000 values in the connectivity of its Polys" },
    // ... and, when its offsets are in a format it does not know, by what the unfilled array
    // happened to hold.
    { "offsets-format.vtp",
      "<?xml version=\"1.0\"?>\n<VTKFile type=\"PolyData\" version=\"1.0\" "
      "byte_order=\"LittleEndian\">\n<PolyData>\n<Piece NumberOfPoints=\"3\" "
      "NumberOfPolys=\"1\">\n<Points><DataArray type=\"Float32\" NumberOfComponents=\"3\" "
      "format=\"ascii\">0 0 0 1 0 0 0 1 0</DataArray></Points>\n<Polys><DataArray "
      "type=\"Int64\" Name=\"connectivity\" format=\"ascii\">0 1 2</DataArray><DataArray "
      "type=\"Int64\" Name=\"offsets\" format=\"ap-infed\">3</DataArray></Polys>\n"
      "</Piece>\n</PolyData>\n</VTKFile>\n",
      "the offsets of its Polys cannot be read" },
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.Name);
    const std::string path = dir.File(c.Name);
    WriteFile(path, c.Text);
    std::string reason;
    vtkSmartPointer<vtkPolyData> model = ReadModelFile(path, reason);
    if (!c.Reason)
    {
      ASSERT_TRUE(model) << reason;
      EXPECT_EQ(model->GetNumberOfCells(), 1);
      continue;
    }
    EXPECT_FALSE(model);
    EXPECT_NE(reason.find(c.Reason), std::string::npos) << reason;
  }
}

//------------------------------------------------------------------------------
// VTK's OBJ writer left out every texture coordinate with a component of -1 and still named
// them by point in the faces: the later points' faces named the wrong coordinates or ones the
// file lacked. Such a model (written by the program, or read from an OBJ file whose lines
// have no texture coordinates, which the reader marks -1) now goes out whole.
TEST(ModelFileFaults, ObjKeepsEveryTextureCoordinate)
{
  ScratchDirectory dir;
  // An OBJ file whose first points have no texture coordinates (the reader gives them -1).
  const std::string partlyTextured = "v 2 2 0\nv 1 1 0\nv 0 0 0\nv 1 0 0\nv 0 1 0\n"
                                     "vt 0.5 0.5\nvt 1 0\nvt 0 1\n"
                                     "l 1 2\nf 3/1 4/2 5/3\nf 2 4 5\n";
  WriteFile(dir.File("partly.obj"), partlyTextured);
  struct Case
  {
    const char* Name;
    vtkSmartPointer<vtkPolyData> Model;
  };
  const Case cases[] = { { "a texture wrapped once", WrappedTexture() },
    { "an OBJ file partly textured", ReadBack(dir.File("partly.obj")) } };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.Name);
    ASSERT_TRUE(c.Model);
    auto minusOnes = [](vtkDataArray* a)
    {
      int n = 0;
      for (vtkIdType t = 0; t < a->GetNumberOfTuples(); ++t)
      {
        n += (a->GetComponent(t, 0) == -1.0) + (a->GetComponent(t, 1) == -1.0);
      }
      return n;
    };
    ASSERT_TRUE(c.Model->GetPointData()->GetTCoords());
    const int before = minusOnes(c.Model->GetPointData()->GetTCoords());
    EXPECT_GT(before, 0); // the case has what the writer left out
    const std::string path = dir.File("out.obj");
    std::string reason;
    ASSERT_TRUE(WriteModelFile(c.Model, path, reason)) << reason;
    vtkSmartPointer<vtkPolyData> back = ReadBack(path);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->GetNumberOfPoints(), c.Model->GetNumberOfPoints());
    EXPECT_EQ(back->GetNumberOfCells(), c.Model->GetNumberOfCells());
    vtkDataArray* written = c.Model->GetPointData()->GetTCoords();
    vtkDataArray* read = back->GetPointData()->GetTCoords();
    ASSERT_TRUE(read);
    ASSERT_EQ(read->GetNumberOfTuples(), written->GetNumberOfTuples());
    // Every point of a face has its own coordinates back (-1 comes back one float step nearer 0).
    for (vtkIdType t = 0; t < read->GetNumberOfTuples(); ++t)
    {
      for (int k = 0; k < 2; ++k)
      {
        EXPECT_NEAR(read->GetComponent(t, k), written->GetComponent(t, k), 1e-7)
          << "point " << t << " component " << k;
      }
    }
    // The caller's model is left as it was.
    EXPECT_EQ(minusOnes(written), before);
  }
}

//------------------------------------------------------------------------------
// VTK's OBJ reader gives texture coordinates only up to the last point that has some: the
// array was shorter than the points, and a filter reading it at every point (normals, the
// viewer's texture mapping) read past its end. Such an array is now left out.
TEST(ModelFileFaults, ObjArraysShorterThanThePointsAreLeftOut)
{
  ScratchDirectory dir;
  WriteFile(dir.File("partly.obj"),
    "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nv 2 2 0\n"
    "vt 0.5 0.5\nvt 1 0\nvt 0 1\n"
    "f 1/1 2/2 3/3\nf 2 4 3\nl 4 5\n");
  vtkSmartPointer<vtkPolyData> model = ReadBack(dir.File("partly.obj"));
  ASSERT_TRUE(model);
  EXPECT_EQ(model->GetNumberOfPoints(), 5);
  for (int i = 0; i < model->GetPointData()->GetNumberOfArrays(); ++i)
  {
    EXPECT_EQ(model->GetPointData()->GetAbstractArray(i)->GetNumberOfTuples(), 5)
      << model->GetPointData()->GetArrayName(i);
  }
}

//------------------------------------------------------------------------------
// STL and PLY hold single-precision coordinates: a model beyond them (legacy and XML files
// hold doubles) was written with infinities, reported as written, and then refused by every
// reader. Now the writer refuses it and leaves no file; the other formats keep it.
TEST(ModelFileFaults, CoordinatesBeyondSinglePrecisionAreNotWrittenToStlOrPly)
{
  ScratchDirectory dir;
  vtkSmartPointer<vtkPolyData> model = WrappedTexture();
  vtkNew<vtkPoints> far;
  far->SetDataTypeToDouble();
  far->DeepCopy(model->GetPoints());
  double p[3];
  far->GetPoint(7, p);
  far->SetPoint(7, p[0], 4e38, p[2]);
  model->SetPoints(far);
  struct Case
  {
    const char* Name;
    bool Written;
    bool Double; // read back in double precision (VTK's OBJ reader reads single)
  };
  const Case cases[] = { { "far.stl", false, false }, { "far.ply", false, false },
    { "far.vtk", true, true }, { "far.vtp", true, true }, { "far.obj", true, false } };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.Name);
    const std::string path = dir.File(c.Name);
    std::string reason;
    EXPECT_EQ(WriteModelFile(model, path, reason), c.Written) << reason;
    if (!c.Written)
    {
      EXPECT_NE(reason.find("point 7"), std::string::npos) << reason;
      EXPECT_FALSE(FileExists(path));
      continue;
    }
    vtkSmartPointer<vtkPolyData> back = ReadBack(path);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->GetNumberOfPoints(), model->GetNumberOfPoints());
    back->GetPoint(7, p);
    if (c.Double)
    {
      EXPECT_NEAR(p[1], 4e38, 4e38 * 1e-5);
    }
  }
}

//------------------------------------------------------------------------------
// A legacy file that ends inside a cell list made VTK's reader go on from a closed file and
// crash (in pravik-warp, which switched VTK's reporting off). With reporting on, as the
// programs leave it, ReadModelFile refuses every such file with a reason: old-style lists
// (a count before each cell) and new-style ones (offsets and connectivity), ASCII and binary,
// cut anywhere from the list's keyword to its last value. Every other cut is refused with a
// reason or read, and none crashes.
TEST(ModelFileFaults, LegacyFilesEndingInsideACellListAreRefused)
{
  ASSERT_TRUE(vtkObject::GetGlobalWarningDisplay());
  ScratchDirectory dir;
  const std::string oldStyle = "# vtk DataFile Version 3.0\nmodel\nASCII\nDATASET POLYDATA\n"
                               "POINTS 5 float\n0 0 0 1 0 0 0 1 0 1 1 0 2 2 0\n"
                               "POLYGONS 2 8\n3 0 1 2\n3 1 3 2\nLINES 1 3\n2 3 4\n";
  auto legacy = [](bool binary)
  {
    vtkNew<vtkPolyDataWriter> writer;
    writer->SetInputData(formats::SmallModel());
    binary ? writer->SetFileTypeToBinary() : writer->SetFileTypeToASCII();
    writer->WriteToOutputStringOn();
    writer->Write();
    return writer->GetOutputStdString();
  };
  struct Case
  {
    const char* Name;
    std::string Whole;
    const char* Next; // the keyword after the polygons
    bool Binary;
  };
  const Case cases[] = { { "version 3, ASCII", oldStyle, "LINES", false },
    { "version 5, ASCII", legacy(false), "CELL_DATA", false },
    { "version 5, binary", legacy(true), "CELL_DATA", true } };
  const std::string path = dir.File("model.vtk");
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.Name);
    WriteFile(path, c.Whole);
    ASSERT_TRUE(ReadBack(path));
    const size_t list = c.Whole.find("POLYGONS");
    const size_t next = c.Whole.find(c.Next, list);
    ASSERT_NE(next, std::string::npos);
    // Cuts before this leave values of the list out (in ASCII: up to and with the start of
    // its last number, which cut short reads as another number).
    const size_t lastValue = c.Whole.find_last_of(" \n", c.Whole.find_last_not_of(" \n", next - 1));
    const size_t end = c.Binary ? next - 1 : lastValue + 2;
    int refused = 0;
    // Every byte of a short file; of a longer one, a spread of cuts and the last bytes.
    const size_t step = std::max<size_t>(1, c.Whole.size() / 400);
    for (size_t cut = list + 1; cut < c.Whole.size(); cut += cut + 40 < end ? step : 1)
    {
      WriteFile(path, c.Whole.substr(0, cut));
      std::string reason;
      vtkSmartPointer<vtkPolyData> model = ReadModelFile(path, reason);
      if (cut < end)
      {
        EXPECT_FALSE(model) << "cut at byte " << cut << " of " << c.Whole.size() << " after \""
                            << c.Whole.substr(
                                 cut - std::min<size_t>(cut, 60), std::min<size_t>(cut, 60))
                            << "\"";
      }
      if (!model)
      {
        EXPECT_FALSE(reason.empty()) << "cut at byte " << cut;
        ++refused;
      }
    }
    EXPECT_GT(refused, 0);
  }
}

//------------------------------------------------------------------------------
// In the older layout of a legacy file's cell lists each cell gives its point count, then its
// point ids; VTK's reader walks the list by those counts without looking where it ends, so a
// count beyond the rest of the list read past its memory (a crash, or ids made of whatever
// lay there). Such lists are refused before VTK reads, in ASCII and binary files and whatever
// the version line says; lists that split into whole cells are read as before.
TEST(ModelFileFaults, LegacyCellListsWhoseCountsRunPastTheirEndAreRefused)
{
  ASSERT_TRUE(vtkObject::GetGlobalWarningDisplay());
  ScratchDirectory dir;
  // Five points near (2500, -800, 40), unevenly spaced.
  const std::string points = "POINTS 5 double\n2500 -800 40 2500.37 -800 40.01 2500 -799.2 40 "
                             "2500.41 -799.15 39.98 2501.9 -797.7 40.2\n";
  auto ascii = [&](const std::string& version, const std::string& cells) {
    return "# vtk DataFile Version " + version + "\nm\nASCII\nDATASET POLYDATA\n" + points + cells;
  };
  // A binary file: the points as big-endian doubles, each list as big-endian 32-bit integers.
  auto binary = [](const std::string& version, const std::string& keyword,
                  const std::vector<std::int32_t>& list)
  {
    std::string text =
      "# vtk DataFile Version " + version + "\nm\nBINARY\nDATASET POLYDATA\n" + "POINTS 5 double\n";
    const double xyz[] = { 2500, -800, 40, 2500.37, -800, 40.01, 2500, -799.2, 40, 2500.41, -799.15,
      39.98, 2501.9, -797.7, 40.2 };
    for (double v : xyz)
    {
      std::uint64_t bits;
      std::memcpy(&bits, &v, 8);
      for (int b = 7; b >= 0; --b)
      {
        text += static_cast<char>((bits >> (8 * b)) & 0xff);
      }
    }
    text += "\n" + keyword + " " + std::to_string(list.empty() ? 0 : 1) + " " +
      std::to_string(list.size()) + "\n";
    for (std::int32_t v : list)
    {
      for (int b = 3; b >= 0; --b)
      {
        text += static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * b)) & 0xff);
      }
    }
    return text + "\n";
  };
  struct Case
  {
    const char* Name;
    std::string Text;
    const char* Refusal; // nullptr: read, with this many cells
    vtkIdType Cells;
  };
  const Case cases[] = {
    { "ASCII, a count far beyond the list", ascii("3.0", "POLYGONS 1 4\n900000 0 1 2\n"),
      "its POLYGONS list (4 values) has a cell of 900000 points at value 1", 0 },
    { "ASCII, the second cell runs past the end", ascii("3.0", "POLYGONS 2 8\n3 0 1 2\n5 2 3 4\n"),
      "its POLYGONS list (8 values) has a cell of 5 points at value 5", 0 },
    { "ASCII, a negative count", ascii("4.2", "LINES 1 3\n-2 0 1\n"),
      "its LINES list (3 values) has a cell of -2 points at value 1", 0 },
    { "ASCII, strips in lower case", ascii("3.0", "triangle_strips 1 5\n6 0 1 2 3\n"),
      "its TRIANGLE_STRIPS list (5 values)", 0 },
    { "a version the reader cannot read takes the older layout", ascii("5.", "VERTICES 1 2\n7 4\n"),
      "its VERTICES list (2 values)", 0 },
    { "binary, a count beyond the list", binary("3.0", "POLYGONS", { 4, 0, 1, 2 }),
      "its POLYGONS list (4 values) has a cell of 4 points at value 1", 0 },
    { "binary, a count that is a huge number",
      binary("4.2", "POLYGONS", { 3, 0, 1, 2, 0x4f464653, 1 }),
      "its POLYGONS list (6 values) has a cell of 1330005587 points at value 5", 0 },
    { "binary, newer-layout keywords under an old version",
      binary("3.0", "POLYGONS", { 0x4f464653, 0x45545320, 0x76746b74 }),
      "its POLYGONS list (3 values)", 0 },
    { "ASCII, whole cells of every kind",
      ascii("3.0",
        "VERTICES 1 2\n1 4\nLINES 1 4\n3 0 2 4\nPOLYGONS 2 9\n3 0 1 2\n4 1 3 4 2\n"
        "TRIANGLE_STRIPS 1 5\n4 0 1 2 3\nPOINT_DATA 5\nFIELD FieldData 1\nlines 1 5 int\n"
        "9 9 9 9 9\nLOOKUP_TABLE polygons 1\n1 1 1 1\n"),
      nullptr, 5 },
    { "binary, whole cells", binary("3.0", "POLYGONS", { 3, 0, 1, 2, 3, 1, 3, 2 }), nullptr, 2 },
    { "an empty list", ascii("3.0", "POLYGONS 0 0\n"), nullptr, 0 },
    { "the newer layout is left to VTK's reader",
      ascii("5.1", "POLYGONS 2 3\nOFFSETS vtktypeint64\n0 3\nCONNECTIVITY vtktypeint64\n0 1 2\n"),
      nullptr, 1 },
  };
  const std::string path = dir.File("model.vtk");
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.Name);
    WriteFile(path, c.Text);
    std::string reason;
    vtkSmartPointer<vtkPolyData> model = ReadModelFile(path, reason);
    if (c.Refusal)
    {
      EXPECT_FALSE(model);
      EXPECT_NE(reason.find(c.Refusal), std::string::npos) << reason;
    }
    else
    {
      ASSERT_TRUE(model) << reason;
      EXPECT_EQ(model->GetNumberOfPoints(), 5);
      EXPECT_EQ(model->GetNumberOfCells(), c.Cells);
    }
  }
}

// VTK's legacy writer writes a value that is not a number as "nan", which its reader cannot
// read: the whole file was refused when opened again. The array holding it stays out of the
// file; the model and its other arrays read back.
TEST(ModelFileFaults, ALegacyFileWithAnArrayHoldingNanReadsBack)
{
  ScratchDirectory dir;
  vtkSmartPointer<vtkPolyData> model = WrappedTexture();
  ASSERT_TRUE(model->GetPointData()->GetTCoords());
  model->GetPointData()->AddArray(Filled("warmth", model->GetNumberOfPoints(), 0.5f));
  vtkNew<vtkFloatArray> uv;
  uv->DeepCopy(model->GetPointData()->GetTCoords());
  uv->SetComponent(3, 1, std::numeric_limits<float>::quiet_NaN());
  model->GetPointData()->SetTCoords(uv);
  const std::string path = dir.File("nan.vtk");
  std::string reason;
  ASSERT_TRUE(WriteModelFile(model, path, reason)) << reason;
  vtkSmartPointer<vtkPolyData> back = ReadModelFile(path, reason);
  ASSERT_TRUE(back) << reason;
  EXPECT_EQ(back->GetNumberOfPoints(), model->GetNumberOfPoints());
  EXPECT_EQ(back->GetNumberOfCells(), model->GetNumberOfCells());
  EXPECT_FALSE(back->GetPointData()->GetTCoords());
  EXPECT_TRUE(back->GetPointData()->GetArray("warmth"));
  // The model written from keeps its arrays.
  EXPECT_TRUE(model->GetPointData()->GetTCoords());
}

TEST(ModelFileFaults, AnXmlFileKeepsArraysWhateverTheirNames)
{
  ScratchDirectory dir;
  const struct
  {
    const char* Name;
    const char* ReadBack; // the name the reader gives
  } names[] = {
    { "plain", "plain" }, { "heat & cold", "heat & cold" }, { "a<b>c", "a<b>c" },
    { "say \"so\" 'twice'", "say \"so\" 'twice'" },
    { "re\xe7gion", "re\xc3\xa7gion" }, // a Latin-1 byte: read back as that character
    { "r\xc3\xa9gion \xe2\x82\xac", "r\xc3\xa9gion \xe2\x82\xac" }, // UTF-8 stays
    { "cut \xe2\x82", "cut \xc3\xa2\xc2\x82" },                     // a sequence cut short
    { "bell\x07", "bell?" }, // XML cannot hold a control character
  };
  for (const auto& n : names)
  {
    SCOPED_TRACE(n.Name);
    vtkSmartPointer<vtkPolyData> model = WrappedTexture();
    model->GetPointData()->SetScalars(Filled(n.Name, model->GetNumberOfPoints(), 0.25f));
    model->GetCellData()->AddArray(Filled(n.Name, model->GetNumberOfCells(), 1.0f));
    model->GetFieldData()->AddArray(Filled(n.Name, 1, 3.0f));
    const std::string path = dir.File("named.vtp");
    std::string reason;
    ASSERT_TRUE(WriteModelFile(model, path, reason)) << reason;
    vtkSmartPointer<vtkPolyData> back = ReadModelFile(path, reason);
    ASSERT_TRUE(back) << reason;
    EXPECT_EQ(back->GetNumberOfCells(), model->GetNumberOfCells());
    vtkDataArray* scalars = back->GetPointData()->GetScalars();
    ASSERT_TRUE(scalars);
    EXPECT_STREQ(scalars->GetName(), n.ReadBack);
    EXPECT_TRUE(back->GetCellData()->GetArray(n.ReadBack));
    EXPECT_TRUE(back->GetFieldData()->GetArray(n.ReadBack));
    // The model written from keeps its own names.
    EXPECT_STREQ(model->GetPointData()->GetScalars()->GetName(), n.Name);
    EXPECT_TRUE(model->GetFieldData()->GetAbstractArray(n.Name));
    EXPECT_TRUE(model->GetCellData()->GetAbstractArray(n.Name));
  }
}

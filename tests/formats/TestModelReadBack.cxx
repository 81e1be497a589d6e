// Faults the model fuzzer (fuzz/FuzzModelFile.cxx) found or was pointed at, as readable cases:
// what WriteModelFile writes reads back whole, and a legacy file that ends inside a cell list is
// refused while VTK's reporting is on (as in every program).
#include "FormatsTesting.h"
#include "ModelFile.h"
#include "ReliabilityTesting.h"

#include <vtkCellArray.h>
#include <vtkDataArray.h>
#include <vtkFloatArray.h>
#include <vtkNew.h>
#include <vtkObject.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataWriter.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

using namespace reliability;

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

vtkSmartPointer<vtkPolyData> ReadBack(const std::string& path)
{
  std::string reason;
  vtkSmartPointer<vtkPolyData> model = ReadModelFile(path, reason);
  EXPECT_TRUE(model) << path << ": " << reason;
  return model;
}
}

//------------------------------------------------------------------------------
// VTK's OBJ writer left out every texture coordinate with a component of -1 and still named
// them by point in the faces: the later points' faces named the wrong coordinates or ones the
// file lacked. Such a model (written by the program, or read from an OBJ file whose lines
// have no texture coordinates, which the reader marks -1) now goes out whole.
TEST(ModelReadBack, ObjKeepsEveryTextureCoordinate)
{
  ScratchDirectory dir;
  // An OBJ file whose last face has no texture coordinates, and a line whose points have none.
  const std::string partlyTextured = "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nv 2 2 0\n"
                                     "vt 0.5 0.5\nvt 1 0\nvt 0 1\n"
                                     "f 1/1 2/2 3/3\nf 2 4 3\nl 4 5\n";
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
    // The model written is the caller's, untouched.
    EXPECT_EQ(written->GetComponent(0, 0), c.Model == cases[0].Model ? -1.0 : 0.5);
  }
}

//------------------------------------------------------------------------------
// STL and PLY hold single-precision coordinates: a model beyond them (legacy and XML files
// hold doubles) was written with infinities, reported as written, and then refused by every
// reader. Now the writer refuses it and leaves no file; the other formats keep it.
TEST(ModelReadBack, CoordinatesBeyondSinglePrecisionAreNotWrittenToStlOrPly)
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
  };
  const Case cases[] = { { "far.stl", false }, { "far.ply", false }, { "far.vtk", true },
    { "far.vtp", true }, { "far.obj", true } };
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
    back->GetPoint(7, p);
    EXPECT_NEAR(p[1], 4e38, 4e38 * 1e-5);
  }
}

//------------------------------------------------------------------------------
// A legacy file that ends inside a cell list made VTK's reader go on from a closed file and
// crash (in pravik-warp, which switched VTK's reporting off). With reporting on, as the
// programs leave it, ReadModelFile refuses every such file with a reason: old-style lists
// (a count before each cell) and new-style ones (offsets and connectivity), ASCII and binary,
// cut at every byte of the list. Cut after it, the file is refused or read whole.
TEST(ModelReadBack, LegacyFilesEndingInsideACellListAreRefused)
{
  ASSERT_TRUE(vtkObject::GetGlobalWarningDisplay());
  ScratchDirectory dir;
  const std::string oldStyle = "# vtk DataFile Version 3.0\nmodel\nASCII\nDATASET POLYDATA\n"
                               "POINTS 5 float\n0 0 0 1 0 0 0 1 0 1 1 0 2 2 0\n"
                               "POLYGONS 2 8\n3 0 1 2\n3 1 3 2\nLINES 1 3\n2 3 4\n";
  auto legacy = [](bool binary) {
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
    const char* List; // the list's keyword
    const char* Next; // the keyword after the list
  };
  const Case cases[] = { { "version 3, ASCII", oldStyle, "POLYGONS", "LINES" },
    { "version 5, ASCII", legacy(false), "POLYGONS", "CELL_DATA" },
    { "version 5, binary", legacy(true), "POLYGONS", "CELL_DATA" } };
  const std::string path = dir.File("model.vtk");
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.Name);
    WriteFile(path, c.Whole);
    vtkSmartPointer<vtkPolyData> whole = ReadBack(path);
    ASSERT_TRUE(whole);
    const size_t list = c.Whole.find(c.List);
    const size_t next = c.Whole.find(c.Next, list);
    ASSERT_NE(next, std::string::npos);
    for (size_t cut = list; cut < c.Whole.size(); ++cut)
    {
      WriteFile(path, c.Whole.substr(0, cut));
      std::string reason;
      vtkSmartPointer<vtkPolyData> model = ReadModelFile(path, reason);
      if (cut < next)
      {
        EXPECT_FALSE(model) << "cut at byte " << cut << " of " << c.Whole.size();
      }
      if (model)
      {
        EXPECT_EQ(model->GetNumberOfCells(), whole->GetNumberOfCells()) << "cut at byte " << cut;
      }
      else
      {
        EXPECT_FALSE(reason.empty()) << "cut at byte " << cut;
      }
    }
  }
}

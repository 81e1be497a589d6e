// Model files (".vtk") from a user's disk: announced counts out of all proportion are refused
// before VTK allocates for them, cells that name points the model lacks are refused before a
// filter reads them, and whatever passes both checks goes through the viewer's display
// pipeline (normals, cylinder texture coordinates, the two cell-scalar thresholds) safely,
// for every truncation and for many corruptions of a small model.
#include "ModelFile.h"
#include "ModelFileCheck.h"
#include "ReliabilityTesting.h"

#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkFloatArray.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataNormals.h>
#include <vtkPolyDataWriter.h>
#include <vtkTextureMapToCylinder.h>
#include <vtkThreshold.h>
#include <vtkUnstructuredGrid.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

using namespace reliability;

namespace
{
const char* const Header = "# vtk DataFile Version 3.0\nmodel\nASCII\nDATASET POLYDATA\n";

// A 5 x 4 grid of quads split into triangles, bent into a half cylinder; cell scalars 1 (body)
// on the first half and 0 (textured) on the other, as the viewer's models carry them.
std::string SmallModel()
{
  vtkNew<vtkPoints> points;
  const int nx = 6;
  const int ny = 5;
  for (int j = 0; j < ny; ++j)
  {
    for (int i = 0; i < nx; ++i)
    {
      const double a = 3.14159 * i / (nx - 1);
      points->InsertNextPoint(0.2 * j, std::cos(a), std::sin(a));
    }
  }
  vtkNew<vtkCellArray> polys;
  vtkNew<vtkFloatArray> region;
  region->SetName("region");
  for (int j = 0; j + 1 < ny; ++j)
  {
    for (int i = 0; i + 1 < nx; ++i)
    {
      const vtkIdType a = j * nx + i;
      const vtkIdType t1[3] = { a, a + 1, a + nx + 1 };
      const vtkIdType t2[3] = { a, a + nx + 1, a + nx };
      polys->InsertNextCell(3, t1);
      polys->InsertNextCell(3, t2);
      region->InsertNextValue(j < 2 ? 1.0f : 0.0f);
      region->InsertNextValue(j < 2 ? 1.0f : 0.0f);
    }
  }
  vtkNew<vtkPolyData> model;
  model->SetPoints(points);
  model->SetPolys(polys);
  model->GetCellData()->SetScalars(region);
  vtkNew<vtkPolyDataWriter> writer;
  writer->SetInputData(model);
  writer->SetFileTypeToASCII();
  writer->WriteToOutputStringOn();
  writer->Write();
  return writer->GetOutputStdString();
}

struct Outcome
{
  bool Accepted = false;
  std::string Reason;
};

// What the viewer does with a model file: read it through ReadModelFile (the counts checked
// before VTK's reader, any error or warning of the reader refusing it, the cells checked
// after), then run its display pipeline on what was read.
Outcome OpenLikeTheViewer(const std::string& path)
{
  Outcome outcome;
  vtkSmartPointer<vtkPolyData> model = ReadModelFile(path, outcome.Reason);
  if (!model)
  {
    return outcome;
  }
  vtkNew<vtkPolyDataNormals> normals;
  normals->SetInputData(model);
  vtkNew<vtkTextureMapToCylinder> texture;
  texture->SetInputConnection(normals->GetOutputPort());
  texture->AutomaticCylinderGenerationOff();
  texture->SetPoint1(-0.5, 0, -0.2);
  texture->SetPoint2(1.0, 0, -0.2);
  for (int upper : { 0, 1 })
  {
    vtkNew<vtkThreshold> threshold;
    threshold->SetInputConnection(texture->GetOutputPort());
    threshold->SetInputArrayToProcess(
      0, 0, 0, vtkDataObject::FIELD_ASSOCIATION_CELLS, vtkDataSetAttributes::SCALARS);
    threshold->SetThresholdFunction(
      upper ? vtkThreshold::THRESHOLD_UPPER : vtkThreshold::THRESHOLD_LOWER);
    threshold->SetUpperThreshold(0.0);
    threshold->SetLowerThreshold(1.0);
    threshold->Update();
  }
  outcome.Accepted = true;
  return outcome;
}

}

//------------------------------------------------------------------------------
TEST(ModelFiles, TheSampleAndASmallModelPassBothChecks)
{
  std::string reason;
  EXPECT_TRUE(CheckModelFileCounts(QUORVEL_TEST_DATA_DIR "/leg.vtk", reason)) << reason;
  ScratchDirectory dir;
  WriteFile(dir.File("small.vtk"), SmallModel());
  const Outcome small = OpenLikeTheViewer(dir.File("small.vtk"));
  EXPECT_TRUE(small.Accepted) << small.Reason;
}

//------------------------------------------------------------------------------
// Each of these files is a few dozen bytes; read as announced, the first would take 24 GB.
TEST(ModelFiles, CountsBeyondTheFileSizeAreRefusedBeforeReading)
{
  ScratchDirectory dir;
  struct Case
  {
    const char* Name;
    std::string Text;
    const char* Keyword;
  };
  const std::string points = "POINTS 3 float\n0 0 0 1 0 0 0 1 0\n";
  const Case cases[] = {
    { "points", std::string(Header) + "POINTS 2000000000 float\n0 0 0\n", "POINTS" },
    { "polygons", std::string(Header) + points + "POLYGONS 1 2000000000\n3 0 1 2\n", "POLYGONS" },
    { "cells", std::string(Header) + points + "POLYGONS 2000000000 4\n3 0 1 2\n", "POLYGONS" },
    { "cell data",
      std::string(Header) + points +
        "POLYGONS 1 4\n3 0 1 2\nCELL_DATA 2000000000\nSCALARS s float\nLOOKUP_TABLE default\n1\n",
      "CELL_DATA" },
    { "field array",
      std::string(Header) + points +
        "POINT_DATA 3\nFIELD FieldData 1\nweights 1 2000000000 float\n1 2 3\n",
      "weights" },
    { "past int", std::string(Header) + "POINTS 99999999999999999999999 float\n0 0 0\n", "POINTS" },
  };
  for (const Case& c : cases)
  {
    const std::string path = dir.File(std::string(c.Name) + ".vtk");
    WriteFile(path, c.Text);
    std::string reason;
    EXPECT_FALSE(CheckModelFileCounts(path.c_str(), reason)) << c.Name;
    EXPECT_NE(reason.find(c.Keyword), std::string::npos) << c.Name << ": " << reason;
  }
  std::string reason;
  EXPECT_FALSE(CheckModelFileCounts(dir.File("missing.vtk").c_str(), reason));
  EXPECT_FALSE(reason.empty());
}

//------------------------------------------------------------------------------
// VTK's reader keeps these cells without a word; the normals filter then reads out of range
// (each of them crashed it).
TEST(ModelFiles, InconsistentCellsAreRefused)
{
  ScratchDirectory dir;
  const std::string points = "POINTS 4 float\n0 0 0 1 0 0 0 1 0 0 0 1\n";
  struct Case
  {
    const char* Polygons;
    const char* Reason;
  };
  const Case cases[] = {
    { "POLYGONS 2 8\n3 0 1 2\n3 0 2 999999\n", "refers to point 999999" },
    { "POLYGONS 2 8\n3 0 1 2\n3 -1 2 3\n", "refers to point -1" },
    { "POLYGONS 1 4\n3 0 1 4\n", "refers to point 4" },
    { "POLYGONS 2 7\n3 0 1 2\n2 0 3\n", "a polygon has 2 points" },
    // The newer layout with explicit offsets: these decrease.
    { "POLYGONS 3 6\nOFFSETS vtktypeint64\n0 3 -1\nCONNECTIVITY vtktypeint64\n0 1 2 0 2 3\n",
      "inconsistent" },
  };
  for (const Case& c : cases)
  {
    const std::string path = dir.File("bad.vtk");
    const char* version = std::strstr(c.Polygons, "OFFSETS") ? "5.1" : "3.0";
    WriteFile(path,
      "# vtk DataFile Version " + std::string(version) + "\nmodel\nASCII\nDATASET POLYDATA\n" +
        points + c.Polygons);
    const Outcome outcome = OpenLikeTheViewer(path);
    EXPECT_FALSE(outcome.Accepted) << c.Polygons;
    EXPECT_NE(outcome.Reason.find(c.Reason), std::string::npos)
      << c.Polygons << ": " << outcome.Reason;
  }
  WriteFile(dir.File("good.vtk"), std::string(Header) + points + "POLYGONS 1 4\n3 0 1 3\n");
  EXPECT_TRUE(OpenLikeTheViewer(dir.File("good.vtk")).Accepted);
}

//------------------------------------------------------------------------------
// Every truncation of a small model, and many copies with one byte changed: each is refused
// or goes through the pipeline (under AddressSanitizer in the sanitizer build).
TEST(ModelFiles, TruncatedAndCorruptedModelsAreRefusedOrSafe)
{
  ScratchDirectory dir;
  const std::string whole = SmallModel();
  const std::string path = dir.File("model.vtk");
  int accepted = 0;
  int refusedCells = 0;
  for (size_t length = 0; length < whole.size(); length += 3)
  {
    WriteFile(path, whole.substr(0, length));
    accepted += OpenLikeTheViewer(path).Accepted ? 1 : 0;
  }
  // One byte changed: digits become other digits, signs or letters, blanks become digits.
  const char replacements[] = "09-5 .e\n";
  std::uint32_t state = 2024u;
  for (int k = 0; k < 600; ++k)
  {
    state = state * 1664525u + 1013904223u;
    std::string changed = whole;
    changed[(state >> 8) % changed.size()] = replacements[(state >> 4) % 8];
    WriteFile(path, changed);
    const Outcome outcome = OpenLikeTheViewer(path);
    accepted += outcome.Accepted ? 1 : 0;
    refusedCells += outcome.Reason.find("refers to point") != std::string::npos ? 1 : 0;
  }
  std::printf("%d variants went through the pipeline; %d were refused for their cells\n", accepted,
    refusedCells);
  EXPECT_GT(accepted, 0);
  EXPECT_GT(refusedCells, 0) << "no corruption reached the cell check";
}

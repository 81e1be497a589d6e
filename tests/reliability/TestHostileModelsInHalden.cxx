// Hostile model files opened in the viewer's document: each is named in one message with its
// reason, and the model shown before stays, with its name.
#include "DocHarness.h"

#include <gtest/gtest.h>

#include <vtkPolyDataNormals.h>

#include <fstream>

using namespace dochar;

TEST(HostileModelsInHalden, RefusedWithAMessageAndThePreviousModelStays)
{
  TempDir dir;
  const std::string header = "# vtk DataFile Version 3.0\nmodel\nASCII\nDATASET POLYDATA\n";
  const std::string points = "POINTS 4 float\n0 0 0 1 0 0 0 1 0 0 0 1\n";
  struct Case
  {
    const char* Name;
    std::string Text;
    const char* Reason;
  };
  const Case cases[] = {
    // Read as announced, this file of 60 bytes would take 24 GB.
    { "announces.vtk", header + "POINTS 2000000000 float\n0 0 0\n", "announces" },
    // VTK keeps these cells; the normals filter crashed on each.
    { "missing-point.vtk", header + points + "POLYGONS 2 8\n3 0 1 2\n3 0 2 999999\n",
      "refers to point" },
    { "two-point-polygon.vtk", header + points + "POLYGONS 2 7\n3 0 1 2\n2 0 3\n", "has 2 points" },
    // The other formats: what the file holds is named; VTK's PLY reader crashed on this face.
    { "grid.vtp", "<?xml version=\"1.0\"?>\n<VTKFile type=\"UnstructuredGrid\">\n",
      "holds an unstructured grid" },
    { "missing-vertex.ply",
      "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
      "property float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n"
      "0 0 0\n1 0 0\n0 1 0\n3 0 1 6619156\n",
      "refers to vertex 6619156" },
    { "huge.stl", std::string(80, ' ') + std::string("\xff\xff\xff\x0f", 4), "announces" },
  };
  DocViewer viewer;
  ASSERT_TRUE(viewer.ShowAndPaint());
  CHaldenDoc* doc = viewer.Document;
  CScriptedPrompts prompts;
  viewer.OpenModel(prompts, SampleModel());
  ASSERT_EQ(doc->NoData, 0);
  ASSERT_TRUE(prompts.Messages.empty());
  doc->Normals->Update();
  const vtkIdType shown = doc->Normals->GetOutput()->GetNumberOfPoints();

  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.Name);
    const std::string path = dir.Path(c.Name);
    std::ofstream(path, std::ios::binary) << c.Text;
    prompts.Messages.clear();
    viewer.OpenModel(prompts, path);
    ASSERT_EQ(prompts.Messages.size(), 1u);
    const std::string& text = prompts.Messages[0].Text;
    EXPECT_NE(text.find(path), std::string::npos) << text;
    EXPECT_NE(text.find(c.Reason), std::string::npos) << text;
    EXPECT_EQ(doc->GetPathName(), SampleModel());
    EXPECT_EQ(doc->NoData, 0);
    doc->Normals->Update();
    EXPECT_EQ(doc->Normals->GetOutput()->GetNumberOfPoints(), shown);
  }
  EXPECT_GT(viewer.ModelPixels(), 1000);
}

// Opening models: the sample shows in two actors split by the cell scalars; a file that
// cannot be opened or read leaves the model, the path name and the recent-file list as they
// were, with a message that names the file.
#include "DocHarness.h"

#include <gtest/gtest.h>

#include "vtkLabelThreshold.h"
#include <vtkCellData.h>
#include <vtkDataArray.h>
#include <vtkDataSetMapper.h>
#include <vtkPolyData.h>
#include <vtkPolyDataNormals.h>
#include <vtkTransformPolyDataFilter.h>
#include <vtkUnstructuredGrid.h>

#include <fstream>
#include <iterator>

using namespace dochar;

namespace
{
std::vector<vtkActor*> PropsOf(CHaldenDoc* doc)
{
  std::vector<vtkActor*> actors;
  doc->Props->InitTraversal();
  while (vtkActor* actor = doc->Props->GetNextActor())
  {
    actors.push_back(actor);
  }
  return actors;
}

// Cells of the sample whose scalar is at least 1 and at most 0, counted from the file.
void CountRegions(const std::string& path, vtkIdType& body, vtkIdType& textured)
{
  vtkSmartPointer<vtkPolyData> model = ReadPolyData(path);
  vtkDataArray* scalars = model->GetCellData()->GetScalars();
  body = textured = 0;
  for (vtkIdType i = 0; i < scalars->GetNumberOfTuples(); ++i)
  {
    const double s = scalars->GetComponent(i, 0);
    body += s >= 1 ? 1 : 0;
    textured += s <= 0 ? 1 : 0;
  }
}

std::string Head(const std::string& path, std::size_t bytes)
{
  std::ifstream in(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return text.substr(0, std::min(bytes, text.size()));
}

std::size_t Offset(const std::string& text, const std::string& keyword)
{
  return text.find(keyword);
}
}

TEST(HaldenDocOpen, FreshDocumentShowsTheTextAndDisablesTheModelCommands)
{
  DocViewer viewer;
  ASSERT_NE(viewer.Document, nullptr);
  CHaldenDoc* doc = viewer.Document;
  EXPECT_EQ(doc->NoData, 1);
  ASSERT_EQ(doc->Props->GetNumberOfItems(), 1);
  EXPECT_NE(PropsOf(doc)[0], doc->BodyActor);
  EXPECT_FALSE(viewer.Frame->IsCommandEnabled(ID_SAVE_MODEL));
  EXPECT_FALSE(viewer.Frame->IsCommandEnabled(ID_LOAD_TRANSFORM));
  EXPECT_FALSE(viewer.Frame->IsCommandEnabled(ID_LOAD_TEXTURE));
  EXPECT_FALSE(viewer.Frame->IsCommandEnabled(ID_LOAD_BACKGROUND));
  EXPECT_TRUE(viewer.Frame->IsCommandEnabled(ID_FILE_OPEN));
}

TEST(HaldenDocOpen, SampleShowsBodyAndTexturedPartInTheView)
{
  DocViewer viewer;
  ASSERT_TRUE(viewer.ShowAndPaint());
  CHaldenDoc* doc = viewer.Document;
  CScriptedPrompts prompts;
  const int updatesBefore = viewer.View->InitialUpdates;
  viewer.OpenModel(prompts, SampleModel());

  ASSERT_EQ(prompts.FileRequests.size(), 1u);
  const FileDialogRequest& asked = prompts.FileRequests[0];
  EXPECT_TRUE(asked.Open);
  EXPECT_EQ(asked.Title, "Open File");
  EXPECT_EQ(asked.DefaultExtension, "vtk");
  EXPECT_EQ(asked.InitialName, ".vtk"); // no path name yet: the bare extension
  EXPECT_EQ(asked.Flags & 0x1004u, 0x1004u);
  // The first filter as ever; every format read before "All Files".
  ASSERT_EQ(asked.Filters.size(), 3u);
  EXPECT_EQ(asked.Filters[0].first, "VTK formated Files");
  EXPECT_EQ(asked.Filters[0].second, "*.VTK");
  EXPECT_EQ(asked.Filters[1].second, "*.VTK;*.VTP;*.STL;*.PLY;*.OBJ");
  EXPECT_EQ(asked.Filters[2].first, "All Files");
  EXPECT_EQ(asked.Filters[2].second, "*.*");
  EXPECT_TRUE(prompts.Messages.empty());

  EXPECT_EQ(doc->NoData, 0);
  EXPECT_EQ(PropsOf(doc), (std::vector<vtkActor*>{ doc->BodyActor, doc->TexturedActor }));
  EXPECT_EQ(doc->GetPathName(), SampleModel());
  ASSERT_FALSE(viewer.Application->GetRecentFileList().empty());
  EXPECT_EQ(viewer.Application->GetRecentFileList().front(), SampleModel());
  EXPECT_EQ(viewer.View->InitialUpdates, updatesBefore + 1);

  // The cell scalars split the model: the two thresholds keep exactly the labelled cells.
  vtkIdType body = 0, textured = 0;
  CountRegions(SampleModel(), body, textured);
  ASSERT_GT(body, 0);
  ASSERT_GT(textured, 0);
  doc->UpperThreshold->Update();
  doc->LowerThreshold->Update();
  EXPECT_EQ(doc->UpperThreshold->GetOutput()->GetNumberOfCells(), body);
  EXPECT_EQ(doc->LowerThreshold->GetOutput()->GetNumberOfCells(), textured);
  const double* range = doc->BodyMapper->GetScalarRange();
  EXPECT_EQ(range[0], 0.0);
  EXPECT_EQ(range[1], 1.0);

  // The view was re-initialised with the model: it is in the picture, whole.
  double bounds[6];
  doc->Reader->GetOutput()->GetBounds(bounds);
  double focal[3];
  viewer.View->GetRenderer()->GetActiveCamera()->GetFocalPoint(focal);
  for (int a = 0; a < 3; ++a)
  {
    EXPECT_NEAR(focal[a], 0.5 * (bounds[2 * a] + bounds[2 * a + 1]), 1e-6) << "axis " << a;
  }
  int w = 0, h = 0;
  viewer.Picture(w, h);
  EXPECT_GT(viewer.ModelPixels(), static_cast<long>(w) * h / 20);
}

TEST(HaldenDocOpen, FilesThatCannotBeReadLeaveTheModelPathAndRecentListAlone)
{
  TempDir dir;
  const std::string sample = Head(SampleModel(), std::string::npos);
  struct Case
  {
    const char* Name;
    std::string Content;
  };
  const std::vector<Case> cases = {
    { "garbage.vtk", "this is no model at all\n" },
    { "empty.vtk", "" },
    { "bitmap.vtk", Head(SampleTexture(), 4000) },
    // Ends inside the polygon list (the reader would go on reading a closed file).
    { "cut-polygons.vtk", sample.substr(0, Offset(sample, "POLYGONS") + 5000) },
    // Ends inside the points: the header announces more than there is.
    { "cut-points.vtk", sample.substr(0, Offset(sample, "POINTS") + 3000) },
    // Ends inside the cell scalars.
    { "cut-scalars.vtk", sample.substr(0, Offset(sample, "LOOKUP_TABLE") + 2000) },
    { "grid.vtk",
      "# vtk DataFile Version 3.0\ngrid\nASCII\nDATASET UNSTRUCTURED_GRID\nPOINTS 1 float\n0 0 "
      "0\n" },
  };
  for (const Case& c : cases)
  {
    std::ofstream(dir.Path(c.Name), std::ios::binary) << c.Content;
  }

  DocViewer viewer;
  ASSERT_TRUE(viewer.ShowAndPaint());
  CHaldenDoc* doc = viewer.Document;
  CScriptedPrompts prompts;
  viewer.OpenModel(prompts, SampleModel());
  ASSERT_EQ(doc->NoData, 0);
  const vtkIdType points = doc->Reader->GetOutput()->GetNumberOfPoints();
  const std::vector<std::string> recent = viewer.Application->GetRecentFileList();

  std::vector<std::string> names;
  for (const Case& c : cases)
  {
    names.push_back(dir.Path(c.Name));
  }
  names.push_back(dir.Path("missing.vtk"));
  for (const std::string& name : names)
  {
    SCOPED_TRACE(name);
    prompts.Messages.clear();
    const int updates = viewer.View->InitialUpdates;
    viewer.OpenModel(prompts, name);

    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_NE(prompts.Messages[0].Text.find(name), std::string::npos) << prompts.Messages[0].Text;
    EXPECT_EQ(doc->GetPathName(), SampleModel());
    EXPECT_EQ(viewer.Application->GetRecentFileList(), recent);
    EXPECT_EQ(doc->NoData, 0);
    EXPECT_EQ(PropsOf(doc), (std::vector<vtkActor*>{ doc->BodyActor, doc->TexturedActor }));
    doc->Normals->Update();
    EXPECT_EQ(doc->Normals->GetOutput()->GetNumberOfPoints(), points);
    EXPECT_EQ(viewer.View->InitialUpdates, updates + 1); // re-initialised all the same
  }
  EXPECT_GT(viewer.ModelPixels(), 1000);

  // The framework's own route (recent-file list, command line) keeps the model too.
  prompts.Messages.clear();
  EXPECT_EQ(viewer.Template->OpenDocumentFile(dir.Path("cut-polygons.vtk").c_str()), nullptr);
  EXPECT_EQ(prompts.Messages.size(), 1u);
  EXPECT_EQ(doc->GetPathName(), SampleModel());
  EXPECT_EQ(doc->NoData, 0);
}

TEST(HaldenDocOpen, AFailedFirstOpenLeavesTheEmptyDocument)
{
  TempDir dir;
  std::ofstream(dir.Path("bad.vtk")) << "nothing\n";
  DocViewer viewer;
  CHaldenDoc* doc = viewer.Document;
  CScriptedPrompts prompts;
  viewer.OpenModel(prompts, dir.Path("bad.vtk"));
  EXPECT_EQ(prompts.Messages.size(), 1u);
  EXPECT_EQ(doc->NoData, 1);
  EXPECT_EQ(doc->Props->GetNumberOfItems(), 1);
  EXPECT_EQ(doc->GetPathName(), "");
  EXPECT_TRUE(viewer.Application->GetRecentFileList().empty() ||
    viewer.Application->GetRecentFileList().front() != dir.Path("bad.vtk"));
}

TEST(HaldenDocOpen, CancelledOpenChangesNothingButReinitialisesTheView)
{
  DocViewer viewer;
  CHaldenDoc* doc = viewer.Document;
  CScriptedPrompts prompts;
  viewer.OpenModel(prompts, SampleModel());
  const int updates = viewer.View->InitialUpdates;
  prompts.CancelFile();
  viewer.Frame->ExecuteCommand(ID_FILE_OPEN);
  EXPECT_EQ(prompts.FileRequests.back().InitialName, SampleModel());
  EXPECT_EQ(doc->GetPathName(), SampleModel());
  EXPECT_EQ(doc->NoData, 0);
  EXPECT_EQ(viewer.View->InitialUpdates, updates + 1);
}

TEST(HaldenDocOpen, CellsBetweenTheThresholdsAreShownByNeitherActor)
{
  TempDir dir;
  WriteStripModel(dir.Path("half.vtk"), 0.5);
  WriteStripModel(dir.Path("body.vtk"), 1.0);
  DocViewer viewer;
  ASSERT_TRUE(viewer.ShowAndPaint());
  CHaldenDoc* doc = viewer.Document;
  CScriptedPrompts prompts;

  // The same strip labelled as body is in the picture ...
  viewer.OpenModel(prompts, dir.Path("body.vtk"));
  ASSERT_EQ(doc->NoData, 0);
  EXPECT_GT(viewer.ModelPixels(), 1000);

  // ... labelled 0.5 it is in neither region, and the picture is the background alone.
  viewer.OpenModel(prompts, dir.Path("half.vtk"));
  EXPECT_TRUE(prompts.Messages.empty());
  EXPECT_EQ(doc->NoData, 0);
  doc->UpperThreshold->Update();
  doc->LowerThreshold->Update();
  EXPECT_EQ(doc->UpperThreshold->GetOutput()->GetNumberOfCells(), 0);
  EXPECT_EQ(doc->LowerThreshold->GetOutput()->GetNumberOfCells(), 0);
  EXPECT_EQ(viewer.ModelPixels(), 0);
}

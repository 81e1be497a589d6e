// The animated model on screen is the picture the plain pipeline (VTK's own normals and
// thresholds, redone in full at every step) draws, at several blends, for the sample, a model
// with sharp edges and a model with inconsistently oriented cells; and a model without labels
// is shown whole as the body.
#include "DisplayModels.h"
#include "DocHarness.h"
#include "FrameWnd.h"
#include "PlainDisplayPipeline.h"
#include "vtkLabelThreshold.h"
#include "vtkShapeTransform.h"

#include <gtest/gtest.h>

#include <vtkCellData.h>
#include <vtkDataSetMapper.h>
#include <vtkFloatArray.h>
#include <vtkPointData.h>
#include <vtkProperty.h>

#include <cstdlib>

#include <QApplication>
#include <QCursor>

using namespace dochar;

namespace
{
// The document's display pipeline without reuse between steps, drawn with the document's
// own properties and texture (labelled false: the body is the whole model, unthresholded).
struct PlainPipeline : PlainDisplayPipeline
{
  vtkNew<vtkDataSetMapper> Mappers[2];
  vtkNew<vtkActor> Actors[2]; // body, textured

  explicit PlainPipeline(CHaldenDoc* doc, bool labelled = true)
    : PlainDisplayPipeline(doc)
  {
    vtkAlgorithm* sources[2] = { labelled ? static_cast<vtkAlgorithm*>(this->Upper.GetPointer())
                                          : this->TextureMap.GetPointer(),
      this->Lower.GetPointer() };
    for (int i = 0; i < 2; ++i)
    {
      this->Mappers[i]->SetInputConnection(sources[i]->GetOutputPort());
      this->Mappers[i]->SetScalarModeToUseCellData();
      this->Mappers[i]->ScalarVisibilityOff();
      this->Actors[i]->SetMapper(this->Mappers[i]);
    }
    this->Actors[0]->SetProperty(doc->BodyActor->GetProperty());
    this->Actors[0]->SetBackfaceProperty(doc->BodyActor->GetBackfaceProperty());
    this->Actors[1]->SetProperty(doc->TexturedActor->GetProperty());
    this->Actors[1]->SetTexture(doc->TexturedActor->GetTexture());
  }
};

struct Comparison
{
  long Differing = 0;
  int Largest = 0;
  long Model = 0; // pixels of the model (not background) in the plain picture
};

// The document's picture against the plain pipeline's, drawn by the same view and camera.
Comparison Compare(DocViewer& viewer, PlainPipeline& plain, int actors = 2)
{
  vtkRenderer* renderer = viewer.View->GetRenderer();
  int w = 0, h = 0;
  const std::vector<unsigned char> ours = viewer.Picture(w, h);
  renderer->RemoveAllViewProps();
  for (int i = 0; i < actors; ++i)
  {
    renderer->AddActor(plain.Actors[i]);
  }
  const std::vector<unsigned char> theirs = viewer.Picture(w, h);
  renderer->RemoveAllViewProps();
  renderer->AddActor(viewer.Document->BodyActor);
  renderer->AddActor(viewer.Document->TexturedActor);

  Comparison c;
  const unsigned char* background = theirs.data(); // a corner pixel
  for (std::size_t i = 0; i < ours.size(); i += 3)
  {
    int largest = 0;
    bool model = false;
    for (int k = 0; k < 3; ++k)
    {
      largest = std::max(largest, std::abs(ours[i + k] - theirs[i + k]));
      model = model || theirs[i + k] != background[k];
    }
    c.Differing += largest > 0;
    c.Largest = std::max(c.Largest, largest);
    c.Model += model;
  }
  return c;
}

void Open(DocViewer& viewer, CScriptedPrompts& prompts, const std::string& model)
{
  viewer.OpenModel(prompts, model);
  ASSERT_EQ(viewer.Document->NoData, 0);
  prompts.AnswerFile(SampleTransform());
  viewer.Frame->ExecuteCommand(ID_LOAD_TRANSFORM);
  prompts.AnswerFile(SampleTexture());
  viewer.Frame->ExecuteCommand(ID_LOAD_TEXTURE);
  ASSERT_TRUE(prompts.Messages.empty());
  ASSERT_EQ(viewer.Document->TransformOn, 1);
}
}

TEST(AnimationPictures, EveryBlendShowsThePlainPipelinesPicture)
{
  ASSERT_FALSE(SampleTransform().empty());
  TempDir dir;
  ASSERT_TRUE(displaymodels::Write(displaymodels::CreasedSheet(), dir.Path("creased.vtk")));
  ASSERT_TRUE(displaymodels::Write(displaymodels::MisorientedTube(), dir.Path("tube.vtk")));
  DocViewer viewer;
  ASSERT_TRUE(viewer.ShowAndPaint());
  CScriptedPrompts prompts;
  for (const std::string& model : { SampleModel(), dir.Path("creased.vtk"), dir.Path("tube.vtk") })
  {
    SCOPED_TRACE(model);
    Open(viewer, prompts, model);
    PlainPipeline plain(viewer.Document);
    for (float blend : { 0.0f, 0.48f, 0.96f, 0.24f })
    {
      SCOPED_TRACE(blend);
      viewer.Document->ShapeTransform->SetFactor(blend);
      const Comparison c = Compare(viewer, plain);
      EXPECT_GT(c.Model, 5000);
      EXPECT_LE(c.Largest, 1) << c.Differing << " pixels differ";
      // The normals may differ from vtkPolyDataNormals' in the last bit of a component (the
      // sums run in another order): a level of one colour channel in a few pixels.
      EXPECT_LE(c.Differing, c.Model / 2000) << "largest difference " << c.Largest;
    }
  }
}

TEST(AnimationPictures, AModelWithoutCellLabelsIsShownWholeAsTheBody)
{
  ASSERT_FALSE(SampleTransform().empty());
  TempDir dir;
  vtkSmartPointer<vtkPolyData> bare = displaymodels::CreasedSheet();
  bare->GetCellData()->RemoveArray("region");
  ASSERT_TRUE(displaymodels::Write(bare, dir.Path("bare.vtk")));
  vtkNew<vtkFloatArray> pointLabels;
  pointLabels->SetName("region");
  pointLabels->SetNumberOfTuples(bare->GetNumberOfPoints());
  pointLabels->FillValue(0.0f);
  bare->GetPointData()->SetScalars(pointLabels);
  ASSERT_TRUE(displaymodels::Write(bare, dir.Path("pointlabels.vtk")));

  DocViewer viewer;
  ASSERT_TRUE(viewer.ShowAndPaint());
  CScriptedPrompts prompts;
  for (const char* model : { "bare.vtk", "pointlabels.vtk" })
  {
    SCOPED_TRACE(model);
    Open(viewer, prompts, dir.Path(model));
    viewer.Document->ShapeTransform->SetFactor(0.48f);
    viewer.Document->LowerThreshold->Update();
    EXPECT_EQ(viewer.Document->LowerThreshold->GetOutput()->GetNumberOfCells(), 0);
    // Expected: the whole deformed model drawn as the body, nothing else.
    PlainPipeline whole(viewer.Document, false);
    const Comparison c = Compare(viewer, whole, 1);
    EXPECT_GT(c.Model, 20000);
    EXPECT_LE(c.Largest, 1) << c.Differing << " pixels differ";
    EXPECT_LE(c.Differing, c.Model / 10000) << "largest difference " << c.Largest;
  }
}

TEST(AnimationPictures, ALargeModelIsDeformedInTheBackgroundWhileTheWindowDraws)
{
  ASSERT_FALSE(SampleTransform().empty());
  DocViewer viewer;
  CStatusBar statusBar;
  ASSERT_TRUE(statusBar.Create(viewer.Frame));
  const UINT pane = ID_SEPARATOR;
  statusBar.SetIndicators(&pane, 1);
  ASSERT_TRUE(viewer.ShowAndPaint());
  CHaldenDoc* doc = viewer.Document;
  doc->BackgroundDeformationPoints = 0; // the sample counts as large
  CScriptedPrompts prompts;
  viewer.OpenModel(prompts, SampleModel());
  int w = 0, h = 0;
  const std::vector<unsigned char> undeformed = viewer.Picture(w, h);
  const std::string idle = statusBar.GetMessageText();

  doc->ShapeTransform->SetFactor(0.96f);
  prompts.AnswerFile(SampleTransform());
  viewer.Frame->ExecuteCommand(ID_LOAD_TRANSFORM);
  ASSERT_TRUE(doc->IsDeforming());
  EXPECT_EQ(statusBar.GetMessageText(), "Computing the deformation of 32364 points...");
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  // The window draws meanwhile, the model as it was.
  EXPECT_EQ(viewer.Picture(w, h), undeformed);

  ASSERT_TRUE(WaitFor([&] { return !doc->IsDeforming(); }));
  EXPECT_EQ(statusBar.GetMessageText(), idle);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(doc->TransformOn, 1);
  PlainPipeline plain(doc);
  const Comparison c = Compare(viewer, plain);
  EXPECT_LE(c.Largest, 1);
  // A pixel or two off by one level: the two normals filters sum in different orders, and
  // which pixels sit on a rounding edge changes with the fitted coefficients' last digits.
  EXPECT_LE(c.Differing, std::max(c.Model / 10000, 4L)) << c.Model << " model pixels";
  long moved = 0;
  const std::vector<unsigned char> deformed = viewer.Picture(w, h);
  for (std::size_t i = 0; i < deformed.size(); ++i)
  {
    moved += deformed[i] != undeformed[i];
  }
  EXPECT_GT(moved, 1000);
}

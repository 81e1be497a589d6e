// View > Colour through the real window: the pictures of Plain, Displacement and Stretch, the
// scalar bar, the fold count in the status bar, the determinant against finite differences of
// the deformation itself, and the animation steps that colour without redoing the cells.
#include "UxHarness.h"

#include "ColourLegend.h"
#include "Prompts.h"
#include "vtkCachedPolyDataNormals.h"
#include "vtkDeformationColours.h"
#include "vtkLabelThreshold.h"
#include "vtkShapeTransform.h"

#include <gtest/gtest.h>

#include <vtkDataArray.h>
#include <vtkDataSetMapper.h>
#include <vtkDoubleArray.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkRenderer.h>
#include <vtkScalarBarActor.h>
#include <vtkScalarsToColors.h>
#include <vtkSmartPointer.h>
#include <vtkTransformPolyDataFilter.h>

#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

using namespace ux;

namespace
{
struct Started
{
  bool Fresh = (ForgetSettings(), true);
  CScriptedPrompts Prompts;
  shell::Shell App;
  CMainFrame* Frame;
  CHaldenView* View;
  CHaldenDoc* Doc;
  explicit Started(std::vector<std::string> args = { SampleFile("leg.vtk") })
    : App(std::move(args))
    , Frame(App.Frame())
    , View(ViewOf(Frame))
    , Doc(DocOf(Frame))
  {
    EXPECT_TRUE(App.Started);
    EXPECT_TRUE(shell::WaitFor([&] { return View->GetInteractor()->GetInitialized() != 0; }));
    Activate(this->Frame);
    // Its green axis is not a fold.
    this->View->ShowOrientationMarker(false);
  }
  std::string Pane(const char* name) const { return this->Frame->m_wndStatusBar.GetPaneText(name); }
  void LoadTransform(const std::string& path)
  {
    this->Prompts.AnswerFile(path);
    ASSERT_TRUE(this->Frame->ExecuteCommand(ID_LOAD_TRANSFORM));
    ASSERT_EQ(this->Doc->TransformOn, 1);
  }
  void Colour(UINT id) { ASSERT_TRUE(this->Frame->ExecuteCommand(id)); }
  /// Paused at the blend, drawn.
  void Blend(double blend) { ASSERT_TRUE(this->View->SetBlend(blend)); }
  /// The array the body is coloured with, per point of the model as read.
  vtkDataArray* Values(const char* name)
  {
    this->View->Render();
    return this->Doc->Colours->GetOutput()->GetPointData()->GetArray(name);
  }
  /// The model alone, without the scalar bar.
  Picture Model()
  {
    vtkScalarBarActor* bar = this->View->GetColourLegend()->GetBar();
    bar->VisibilityOff();
    Picture picture = Grab(this->View);
    bar->VisibilityOn();
    return picture;
  }
};

/// The largest difference of one channel between two pictures left of column right.
int LargestDifference(const Picture& a, const Picture& b, int right)
{
  int worst = 0;
  for (int y = 0; y < a.Height; ++y)
  {
    for (int x = 0; x < right; ++x)
    {
      for (int c = 0; c < 3; ++c)
      {
        worst = std::max(worst, std::abs(a.At(x, y)[c] - b.At(x, y)[c]));
      }
    }
  }
  return worst;
}

double MaxDistanceOf(vtkPoints* a, vtkPoints* b)
{
  double worst = 0;
  for (vtkIdType i = 0; i < a->GetNumberOfPoints(); ++i)
  {
    worst =
      std::max(worst, std::sqrt(vtkMath::Distance2BetweenPoints(a->GetPoint(i), b->GetPoint(i))));
  }
  return worst;
}

/// Whether some landmark lies within distance of x.
bool NearALandmark(vtkPoints* landmarks, const double x[3], double distance)
{
  for (vtkIdType k = 0; k < landmarks->GetNumberOfPoints(); ++k)
  {
    if (vtkMath::Distance2BetweenPoints(landmarks->GetPoint(k), x) < distance * distance)
    {
      return true;
    }
  }
  return false;
}

/// Writes the picture as PNG, for a person to look at.
void Keep(const Picture& p, const std::string& name)
{
  QImage image(p.Width, p.Height, QImage::Format_RGB888);
  for (int y = 0; y < p.Height; ++y)
  {
    std::copy_n(p.At(0, y), 3 * p.Width, image.scanLine(p.Height - 1 - y));
  }
  // QUORVEL_KEEP_PICTURES names a folder that outlives the test's own.
  const char* keep = std::getenv("QUORVEL_KEEP_PICTURES");
  const std::string path =
    (keep ? std::string(keep) : shell::ConfigHome().toStdString()) + "/" + name + ".png";
  image.save(QString::fromStdString(path));
  std::printf("picture kept as %s\n", path.c_str());
}

/// A pixel of the fold colour (a strong green), whatever the shading.
bool FoldGreen(int r, int g, int b)
{
  return g > 60 && g > 2 * r + 20 && g > 2 * b + 20;
}

/// A copy of the document's deformation at the given blend, for evaluations of the test's own.
vtkSmartPointer<vtkShapeTransform> DeformationAt(CHaldenDoc* doc, double blend)
{
  auto copy = vtkSmartPointer<vtkShapeTransform>::Take(
    vtkShapeTransform::SafeDownCast(doc->ShapeTransform->MakeTransform()));
  copy->DeepCopy(doc->ShapeTransform);
  copy->SetFactor(static_cast<float>(blend));
  return copy;
}

/// det of the derivative of the map at x by central differences with step h.
double FiniteDifferenceDeterminant(vtkShapeTransform* map, const double x[3], double h)
{
  double j[3][3];
  for (int b = 0; b < 3; ++b)
  {
    double plus[3] = { x[0], x[1], x[2] };
    double minus[3] = { x[0], x[1], x[2] };
    plus[b] += h;
    minus[b] -= h;
    double yp[3], ym[3];
    map->TransformPoint(plus, yp);
    map->TransformPoint(minus, ym);
    for (int a = 0; a < 3; ++a)
    {
      j[a][b] = (yp[a] - ym[a]) / (2 * h);
    }
  }
  return vtkMath::Determinant3x3(j);
}

/// Points where the library's determinant of the deformation at this blend is 0 or below.
vtkIdType LibraryFolds(CHaldenDoc* doc, double blend)
{
  vtkNew<vtkDoubleArray> det;
  DeformationAt(doc, blend)
    ->JacobianDeterminants(doc->Reader->GetOutput()->GetPoints()->GetData(), det);
  vtkIdType folds = 0;
  for (vtkIdType i = 0; i < det->GetNumberOfTuples(); ++i)
  {
    folds += det->GetValue(i) <= 0.0 ? 1 : 0;
  }
  return folds;
}
}

TEST(ColourCommands, PlainIsTheDefaultAndTheMenuChecksTheColouringInForce)
{
  {
    Started s(std::vector<std::string>{});
    s.Frame->UpdateCommandUI();
    for (UINT id : { ID_COLOUR_PLAIN, ID_COLOUR_DISPLACEMENT, ID_COLOUR_STRETCH })
    {
      EXPECT_FALSE(s.Frame->IsCommandEnabled(id)) << "no model: " << id;
    }
  }
  Started s;
  s.Frame->UpdateCommandUI();
  EXPECT_EQ(s.Doc->GetColourQuantity(), vtkDeformationColours::PLAIN);
  EXPECT_FALSE(s.Doc->BodyMapper->GetScalarVisibility());
  const struct
  {
    UINT Command;
    int Quantity;
    const char* Title;
  } cases[] = {
    { ID_COLOUR_STRETCH, vtkDeformationColours::STRETCH, "Stretch" },
    { ID_COLOUR_DISPLACEMENT, vtkDeformationColours::DISPLACEMENT, "Displacement" },
    { ID_COLOUR_PLAIN, vtkDeformationColours::PLAIN, nullptr },
  };
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.Command);
    s.Colour(c.Command);
    s.Frame->UpdateCommandUI();
    EXPECT_EQ(s.Doc->GetColourQuantity(), c.Quantity);
    for (UINT id : { ID_COLOUR_PLAIN, ID_COLOUR_DISPLACEMENT, ID_COLOUR_STRETCH })
    {
      EXPECT_TRUE(s.Frame->IsCommandEnabled(id));
      EXPECT_EQ(s.Frame->GetCommandAction(id)->isChecked(), id == c.Command) << id;
    }
    vtkScalarBarActor* bar = s.View->GetColourLegend()->GetBar();
    EXPECT_EQ(s.View->GetRenderer()->HasViewProp(bar), c.Title != nullptr);
    if (c.Title)
    {
      EXPECT_STREQ(bar->GetTitle(), c.Title);
      EXPECT_EQ(bar->GetLookupTable(), s.Doc->Colours->GetLegendColours());
    }
  }
  EXPECT_FALSE(s.Doc->BodyMapper->GetScalarVisibility()) << "Plain puts the mapper back";
  EXPECT_EQ(s.Doc->BodyMapper->GetScalarMode(), VTK_SCALAR_MODE_USE_CELL_DATA);
}

TEST(ColourCommands, AtBlendZeroEveryColouringLooksLikeThePlainBodyInTheColourOfNoChange)
{
  // Displacement 0 and stretch 1 everywhere, so the picture is the plain one with the body in
  // that colour, the textured part as textured as ever; and back to Plain it is today's.
  Started s;
  s.Prompts.AnswerFile(SampleFile("leg.bmp"));
  ASSERT_TRUE(s.Frame->ExecuteCommand(ID_LOAD_TEXTURE));
  s.LoadTransform(SampleTransform());
  s.Blend(0.0);
  const Picture before = Grab(s.View);
  const float body[3] = { s.View->BodyColor[0], s.View->BodyColor[1], s.View->BodyColor[2] };
  const struct
  {
    UINT Command;
    double NoChange;
  } cases[] = { { ID_COLOUR_DISPLACEMENT, 0.0 }, { ID_COLOUR_STRETCH, 1.0 } };
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.Command);
    s.Colour(c.Command);
    const Picture coloured = s.Model();
    const unsigned char* rgba = s.Doc->Colours->GetColours()->MapValue(c.NoChange);
    vtkDataArray* values =
      s.Values(vtkDeformationColours::GetQuantityName(s.Doc->GetColourQuantity()));
    ASSERT_NE(values, nullptr);
    double range[2];
    values->GetRange(range);
    EXPECT_EQ(range[0], c.NoChange);
    EXPECT_EQ(range[1], c.NoChange);

    s.Colour(ID_COLOUR_PLAIN);
    for (int k = 0; k < 3; ++k)
    {
      s.View->BodyColor[k] = s.View->BackfaceColor[k] = rgba[k] / 255.0f;
    }
    s.View->ApplyColors();
    const Picture plain = s.Model();
    EXPECT_LE(LargestDifference(coloured, plain, plain.Width), 2);
    if (HasFailure())
    {
      Keep(coloured, "coloured-at-0");
      Keep(plain, "plain-at-0");
    }
    EXPECT_GT(LargestDifference(coloured, before, plain.Width), 20) << "the body coloured";
    std::copy_n(body, 3, s.View->BodyColor);
    std::copy_n(body, 3, s.View->BackfaceColor);
    s.View->ApplyColors();
  }
  const Picture after = Grab(s.View);
  EXPECT_EQ(LargestDifference(after, before, after.Width), 0) << "Plain is today's picture";
}

TEST(ColourCommands, DisplacementIsHowFarEachPointHasMovedAtTheBlendShown)
{
  Started s;
  s.LoadTransform(SampleTransform());
  s.Colour(ID_COLOUR_DISPLACEMENT);
  double largest = 0.0;
  for (double blend : { 0.0, 0.3, 0.96, 1.0 })
  {
    SCOPED_TRACE(blend);
    s.Blend(blend);
    vtkDataArray* moved = s.Values("Displacement");
    ASSERT_NE(moved, nullptr);
    vtkPoints* read = s.Doc->Reader->GetOutput()->GetPoints();
    vtkPoints* shown = s.Doc->TransformFilter->GetOutput()->GetPoints();
    ASSERT_EQ(moved->GetNumberOfTuples(), read->GetNumberOfPoints());
    double worst = 0.0;
    for (vtkIdType i = 0; i < read->GetNumberOfPoints(); ++i)
    {
      const double distance =
        std::sqrt(vtkMath::Distance2BetweenPoints(read->GetPoint(i), shown->GetPoint(i)));
      worst = std::max(worst, std::fabs(moved->GetComponent(i, 0) - distance));
      largest = std::max(largest, distance);
    }
    EXPECT_LT(worst, 1e-5);
  }
  // The colours run from 0 to the largest move of the full deformation, at every blend.
  const double* range = s.Doc->Colours->GetLegendColours()->GetRange();
  EXPECT_EQ(range[0], 0.0);
  EXPECT_NEAR(range[1], largest, 1e-5);
  EXPECT_GT(largest, 0.05);
}

TEST(ColourCommands, StretchIsTheDeterminantOfTheDeformationAsFiniteDifferencesFindIt)
{
  // The sample's full deformation folds space: the determinant takes both signs there.
  Started s;
  s.LoadTransform(SampleTransform());
  s.Colour(ID_COLOUR_STRETCH);
  for (double blend : { 0.5, 0.96, 1.0 })
  {
    SCOPED_TRACE(blend);
    s.Blend(blend);
    vtkDataArray* stretch = s.Values("Stretch");
    ASSERT_NE(stretch, nullptr);
    vtkSmartPointer<vtkShapeTransform> map = DeformationAt(s.Doc, blend);
    vtkPoints* read = s.Doc->Reader->GetOutput()->GetPoints();
    vtkPoints* landmarks = s.Doc->ShapeTransform->GetPointArray();
    const vtkIdType n = read->GetNumberOfPoints();
    vtkIdType smooth = 0;
    vtkIdType wrong = 0;
    vtkIdType negative = 0;
    for (vtkIdType i = 0; i < n; ++i)
    {
      double x[3];
      read->GetPoint(i, x);
      if (NearALandmark(landmarks, x, 1e-3))
      {
        continue; // the tip of a landmark's cone: no derivative there
      }
      const double coarse = FiniteDifferenceDeterminant(map, x, 2e-4);
      const double fine = FiniteDifferenceDeterminant(map, x, 1e-4);
      if (std::fabs(coarse - fine) > 1e-4 * std::max(1.0, std::fabs(fine)))
      {
        continue; // a kink of the spline within the step: no derivative to compare
      }
      ++smooth;
      const double shown = stretch->GetComponent(i, 0);
      if (std::fabs(shown - fine) > 1e-3 * std::max(1.0, std::fabs(fine)))
      {
        if (++wrong <= 5)
        {
          ADD_FAILURE() << "point " << i << ": shown " << shown << ", finite differences " << fine;
        }
      }
      negative += fine <= 0.0 ? 1 : 0;
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(smooth, n * 9 / 10) << "most points lie where the spline is smooth";
    if (blend == 1.0)
    {
      EXPECT_GT(negative, 300) << "the full deformation folds";
    }
  }
}

TEST(ColourCommands, TheStatusBarCountsTheFoldsAndThePictureShowsThemInTheirColour)
{
  Started s;
  s.LoadTransform(SampleTransform());
  s.Colour(ID_COLOUR_STRETCH);
  const vtkIdType n = s.Doc->Reader->GetOutput()->GetNumberOfPoints();

  s.Blend(0.0);
  Picture picture = s.Model();
  EXPECT_EQ(s.Pane("folds"), "0 of " + std::to_string(n) + " points fold");
  EXPECT_EQ(picture.Count(0, 0, picture.Width, picture.Height, FoldGreen), 0);
  if (HasFailure())
  {
    Keep(picture, "stretch-at-0");
  }
  // The bar's swatch below its range shows the fold colour.
  const Picture withBar = Grab(s.View);
  EXPECT_GT(withBar.Count(0, 0, withBar.Width, withBar.Height, FoldGreen), 100);

  s.Blend(1.0);
  picture = s.Model();
  const vtkIdType folds = LibraryFolds(s.Doc, 1.0);
  EXPECT_GT(folds, 600);
  EXPECT_LT(folds, 700);
  EXPECT_EQ(s.Pane("folds"), std::to_string(folds) + " of " + std::to_string(n) + " points fold");
  EXPECT_EQ(s.Doc->Colours->GetNumberOfFolds(), folds);

  // Every fold-coloured pixel of the model lies by a point that folds, where it is drawn.
  vtkDataArray* stretch = s.Values("Stretch");
  vtkPoints* shown = s.Doc->TransformFilter->GetOutput()->GetPoints();
  vtkRenderer* renderer = s.View->GetRenderer();
  std::vector<std::pair<double, double>> foldPixels;
  for (vtkIdType i = 0; i < n; ++i)
  {
    if (stretch->GetComponent(i, 0) <= 0.0)
    {
      double p[3];
      shown->GetPoint(i, p);
      renderer->SetWorldPoint(p[0], p[1], p[2], 1.0);
      renderer->WorldToDisplay();
      const double* d = renderer->GetDisplayPoint();
      foldPixels.emplace_back(d[0], d[1]);
    }
  }
  long green = 0;
  long astray = 0;
  for (int y = 0; y < picture.Height; ++y)
  {
    for (int x = 0; x < picture.Width; ++x)
    {
      const unsigned char* c = picture.At(x, y);
      if (!FoldGreen(c[0], c[1], c[2]))
      {
        continue;
      }
      ++green;
      const bool near = std::any_of(foldPixels.begin(), foldPixels.end(),
        [&](const std::pair<double, double>& f)
        { return std::hypot(f.first - x, f.second - y) < 8.0; });
      astray += near ? 0 : 1;
    }
  }
  EXPECT_GT(green, 30);
  EXPECT_EQ(astray, 0);

  s.Colour(ID_COLOUR_DISPLACEMENT);
  EXPECT_EQ(s.Pane("folds"), "") << "only Stretch counts the folds";
}

TEST(ColourCommands, ColoursFollowTheStepsWithoutRedoingTheCellsOrTheField)
{
  Started s;
  s.LoadTransform(SampleTransform());
  s.Blend(0.0);
  auto* normals = vtkCachedPolyDataNormals::SafeDownCast(s.Doc->Normals);
  ASSERT_NE(normals, nullptr);
  for (UINT command : { ID_COLOUR_STRETCH, ID_COLOUR_DISPLACEMENT })
  {
    SCOPED_TRACE(command);
    s.Colour(command);
    s.View->Render();
    const int fields = s.Doc->Colours->GetNumberOfFieldEvaluations();
    const int fullNormals = normals->GetNumberOfFullExecutions();
    const int selections = s.Doc->UpperThreshold->GetNumberOfSelections();
    const char* name = vtkDeformationColours::GetQuantityName(s.Doc->GetColourQuantity());
    std::vector<double> previous;
    for (int step = 1; step <= 6; ++step)
    {
      s.View->Tick = 6 * step;
      s.View->AdvanceAnimation();
      s.View->Render();
      EXPECT_EQ(s.Doc->Colours->GetBlend(), s.Doc->ShapeTransform->GetFactor());
      // What the body mapper draws has the colours of this step.
      vtkDataArray* drawn = s.Doc->UpperThreshold->GetOutput()->GetPointData()->GetArray(name);
      ASSERT_NE(drawn, nullptr);
      std::vector<double> now(static_cast<size_t>(drawn->GetNumberOfTuples()));
      for (vtkIdType i = 0; i < drawn->GetNumberOfTuples(); ++i)
      {
        now[i] = drawn->GetComponent(i, 0);
      }
      EXPECT_NE(now, previous) << "step " << step;
      previous = now;
    }
    EXPECT_EQ(s.Doc->Colours->GetNumberOfFieldEvaluations(), fields);
    EXPECT_EQ(normals->GetNumberOfFullExecutions(), fullNormals);
    EXPECT_EQ(s.Doc->UpperThreshold->GetNumberOfSelections(), selections);
  }
  // Another transform is another field.
  const int fields = s.Doc->Colours->GetNumberOfFieldEvaluations();
  s.LoadTransform(SampleTransform());
  s.View->Render();
  EXPECT_EQ(s.Doc->Colours->GetNumberOfFieldEvaluations(), fields + 1);
}

TEST(ColourCommands, SaveModelWritesTheModelWithoutTheColours)
{
  Started s;
  s.LoadTransform(SampleTransform());
  s.Blend(0.5);
  std::vector<vtkSmartPointer<vtkPolyData>> models;
  for (UINT command : { ID_COLOUR_PLAIN, ID_COLOUR_STRETCH, ID_COLOUR_DISPLACEMENT })
  {
    s.Colour(command);
    s.View->Render();
    const std::string saved =
      shell::ConfigHome().toStdString() + "/coloured" + std::to_string(command) + ".vtk";
    s.Prompts.AnswerFile(saved);
    ASSERT_TRUE(s.Frame->ExecuteCommand(ID_SAVE_MODEL));
    std::string reason;
    models.push_back(ReadModelFile(saved, reason));
    ASSERT_TRUE(models.back()) << reason;
  }
  for (const auto& model : models)
  {
    vtkPointData* data = model->GetPointData();
    EXPECT_EQ(data->GetArray("Stretch"), nullptr);
    EXPECT_EQ(data->GetArray("Displacement"), nullptr);
    EXPECT_EQ(data->GetNumberOfArrays(), models[0]->GetPointData()->GetNumberOfArrays());
    // The same shape; the first evaluation of a blend and later ones may differ in the last
    // bits of a coordinate, which the file's decimals can round apart.
    EXPECT_LT(MaxDistanceOf(model->GetPoints(), models[0]->GetPoints()), 1e-5);
  }
  EXPECT_TRUE(s.Prompts.Messages.empty());
}

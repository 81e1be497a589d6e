// Load Transform: the fitted coefficient file deforms the shown model as the spline says
// (checked against the test's own evaluation of the file); cancelling shows the model as
// read; a file that cannot be used is named to the user and changes nothing.
#include "DocHarness.h"

#include "vtkShapeTransform.h"

#include <gtest/gtest.h>

#include <vtkCallbackCommand.h>
#include <vtkCommand.h>
#include <vtkNew.h>
#include <vtkPolyDataNormals.h>
#include <vtkRenderWindow.h>
#include <vtkTransformPolyDataFilter.h>

#include <fstream>
#include <functional>

using namespace dochar;

namespace
{
// Largest distance between the shown points and x - factor * d(x) for the model's points.
double DeviationFromSpline(CHaldenDoc* doc, const Spline& spline, vtkPoints* original, float factor,
  vtkPolyDataAlgorithm* stage = nullptr)
{
  stage = stage ? stage : doc->Normals;
  stage->Update();
  vtkPoints* shown = stage->GetOutput()->GetPoints();
  double worst = 0;
  for (vtkIdType i = 0; i < original->GetNumberOfPoints(); ++i)
  {
    double x[3], d[3], p[3];
    original->GetPoint(i, x);
    spline.Displacement(x, d);
    shown->GetPoint(i, p);
    for (int a = 0; a < 3; ++a)
    {
      worst = std::max(worst, std::abs(p[a] - (x[a] - factor * d[a])));
    }
  }
  return worst;
}

void SetFactor(CHaldenDoc* doc, float factor)
{
  doc->ShapeTransform->SetFactor(factor);
}

struct Loaded
{
  DocViewer Viewer;
  CScriptedPrompts Prompts;
  Spline Fitted;
  vtkSmartPointer<vtkPolyData> Original;

  Loaded()
  {
    this->Viewer.OpenModel(this->Prompts, SampleModel());
    this->Original = ReadPolyData(SampleModel());
    EXPECT_TRUE(this->Fitted.Read(SampleTransform()));
  }
  CHaldenDoc* Doc() { return this->Viewer.Document; }
  void LoadTransform(const std::string& path)
  {
    this->Prompts.AnswerFile(path);
    this->Viewer.Frame->ExecuteCommand(ID_LOAD_TRANSFORM);
  }
  void CancelTransform()
  {
    this->Prompts.CancelFile();
    this->Viewer.Frame->ExecuteCommand(ID_LOAD_TRANSFORM);
  }
};
}

TEST(HaldenDocTransform, TheFittedSampleDeformsTheShownModelAsTheSplineSays)
{
  ASSERT_FALSE(SampleTransform().empty()) << "Pravik did not fit the sample";
  Loaded s;
  CHaldenDoc* doc = s.Doc();
  ASSERT_TRUE(s.Viewer.Frame->IsCommandEnabled(ID_LOAD_TRANSFORM));
  s.LoadTransform(SampleTransform());

  const FileDialogRequest& asked = s.Prompts.FileRequests.back();
  EXPECT_EQ(asked.Title, "Load Transform File");
  EXPECT_EQ(asked.DefaultExtension, "trc");
  EXPECT_EQ(asked.InitialName, SampleModel().substr(0, SampleModel().size() - 4) + ".trc");
  EXPECT_EQ(asked.Flags & 0x1004u, 0x1004u);
  ASSERT_EQ(asked.Filters.size(), 2u);
  EXPECT_EQ(asked.Filters[0].first, "Transform Files");
  EXPECT_EQ(asked.Filters[0].second, "*.TRC");
  EXPECT_TRUE(s.Prompts.Messages.empty());

  EXPECT_EQ(doc->TransformOn, 1);
  EXPECT_TRUE(s.Viewer.View->Animating);
  EXPECT_EQ(doc->ShapeTransform->GetUnList(), doc->UnList);
  ASSERT_EQ(doc->ShapeTransform->GetPointArray()->GetNumberOfPoints(),
    static_cast<vtkIdType>(s.Fitted.UnList.size()));

  // The deformation is visible: the largest displacement of the sample is about 0.29.
  vtkPoints* original = s.Original->GetPoints();
  double largest = 0;
  for (vtkIdType i = 0; i < original->GetNumberOfPoints(); ++i)
  {
    double x[3], d[3];
    original->GetPoint(i, x);
    s.Fitted.Displacement(x, d);
    largest = std::max(largest, std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]));
  }
  EXPECT_GT(largest, 0.1);

  for (float factor : { 0.0f, 0.04f, 0.96f, 0.5f, 0.04f })
  {
    SCOPED_TRACE(factor);
    SetFactor(doc, factor);
    EXPECT_LT(DeviationFromSpline(doc, s.Fitted, original, factor), 2e-5);
  }
}

TEST(HaldenDocTransform, CancellingShowsTheModelAsReadAndStopsTheAnimation)
{
  Loaded s;
  CHaldenDoc* doc = s.Doc();
  s.LoadTransform(SampleTransform());
  SetFactor(doc, 0.96f);
  doc->Normals->Update();
  ASSERT_GT(MaxDistance(doc->Normals->GetOutput()->GetPoints(), s.Original->GetPoints()), 0.1);

  s.CancelTransform();
  EXPECT_EQ(doc->TransformOn, 0);
  EXPECT_FALSE(s.Viewer.View->Animating);
  EXPECT_EQ(s.Viewer.View->AnimationOffCalls, 1);
  doc->Normals->Update();
  EXPECT_EQ(MaxDistance(doc->Normals->GetOutput()->GetPoints(), s.Original->GetPoints()), 0.0);

  // Confirming again shows the transform loaded before, at the factor in force.
  s.LoadTransform(SampleTransform());
  EXPECT_EQ(doc->TransformOn, 1);
  EXPECT_LT(DeviationFromSpline(doc, s.Fitted, s.Original->GetPoints(), 0.96f), 2e-5);
}

TEST(HaldenDocTransform, UnusableFilesAreNamedAndChangeNothing)
{
  TempDir dir;
  // Well-formed up to a coefficient count that does not match the landmark count.
  std::ofstream(dir.Path("count.trc"))
    << "[0.25]\n[1]\n0 0 0\n[4]\n0 0 0\n0 0 0\n0 0 0\n0 0 0\n[1]\n0\n";
  std::ofstream(dir.Path("words.trc")) << "radius 0.25\n";
  std::ofstream(dir.Path("radius.trc")) << "[nan]\n[0]\n[4]\n1 1 1\n0 0 0\n0 0 0\n0 0 0\n[0]\n";
  const std::vector<std::string> bad = { dir.Path("missing.trc"), dir.Path("count.trc"),
    dir.Path("words.trc"), dir.Path("radius.trc") };

  Loaded s;
  CHaldenDoc* doc = s.Doc();
  vtkPoints* original = s.Original->GetPoints();

  // Nothing loaded yet: the model stays as read, the animation stays off.
  for (const std::string& path : bad)
  {
    SCOPED_TRACE(path);
    s.Prompts.Messages.clear();
    s.LoadTransform(path);
    ASSERT_EQ(s.Prompts.Messages.size(), 1u);
    const std::string& text = s.Prompts.Messages[0].Text;
    EXPECT_NE(text.find(path), std::string::npos) << text;
    EXPECT_GT(text.size(), path.size() + 30) << "no reason given: " << text;
    EXPECT_EQ(doc->TransformOn, 0);
    EXPECT_EQ(s.Viewer.View->AnimationOnCalls, 0);
    EXPECT_EQ(doc->UnList, nullptr);
    doc->Normals->Update();
    EXPECT_EQ(MaxDistance(doc->Normals->GetOutput()->GetPoints(), original), 0.0);
  }

  // A transform in force and shown stays in force and shown, with its own arrays.
  s.LoadTransform(SampleTransform());
  SetFactor(doc, 0.5f);
  int* arrays = doc->UnList;
  float* coefficients = doc->SplineCoeffX;
  for (const std::string& path : bad)
  {
    SCOPED_TRACE(path);
    s.Prompts.Messages.clear();
    s.LoadTransform(path);
    EXPECT_EQ(s.Prompts.Messages.size(), 1u);
    EXPECT_EQ(doc->TransformOn, 1);
    EXPECT_TRUE(s.Viewer.View->Animating);
    EXPECT_EQ(doc->UnList, arrays);
    EXPECT_EQ(doc->SplineCoeffX, coefficients);
    EXPECT_EQ(doc->ShapeTransform->GetSplineCoeffX(), coefficients);
    EXPECT_LT(DeviationFromSpline(doc, s.Fitted, original, 0.5f), 2e-5);
  }

  // Switched off by a cancel, it stays off.
  s.CancelTransform();
  s.LoadTransform(dir.Path("count.trc"));
  EXPECT_EQ(doc->TransformOn, 0);
  EXPECT_FALSE(s.Viewer.View->Animating);
}

TEST(HaldenDocTransform, ARadiusOfZeroAppliesTheAffinePartWithAWarning)
{
  // What Pravik writes for a radius of 0: the affine part alone, here a shift by (1, 2, 3).
  TempDir dir;
  std::ofstream(dir.Path("affine.trc"))
    << "[0.000000]\n[1]\n0 0 0\n[5]\n0 0 0\n1 2 3\n0 0 0\n0 0 0\n0 0 0\n[1]\n0\n";
  Loaded s;
  CHaldenDoc* doc = s.Doc();
  s.LoadTransform(dir.Path("affine.trc"));
  ASSERT_EQ(s.Prompts.Messages.size(), 1u);
  EXPECT_NE(s.Prompts.Messages[0].Text.find("only the affine part"), std::string::npos)
    << s.Prompts.Messages[0].Text;
  EXPECT_EQ(doc->TransformOn, 1);
  SetFactor(doc, 0.5f);
  doc->Normals->Update();
  vtkPoints* shown = doc->Normals->GetOutput()->GetPoints();
  vtkPoints* original = s.Original->GetPoints();
  double worst = 0;
  for (vtkIdType i = 0; i < original->GetNumberOfPoints(); ++i)
  {
    for (int a = 0; a < 3; ++a)
    {
      worst = std::max(
        worst, std::abs(shown->GetPoint(i)[a] - (original->GetPoint(i)[a] - 0.5 * (a + 1))));
    }
  }
  EXPECT_LT(worst, 1e-6) << "every point moves by the affine part";
}

TEST(HaldenDocTransform, ASecondModelKeepsTheTransformSwitchedInAndIsDeformedItself)
{
  TempDir dir;
  WriteStripModel(dir.Path("strip.vtk"), 1.0, 40);
  Loaded s;
  CHaldenDoc* doc = s.Doc();
  s.LoadTransform(SampleTransform());
  SetFactor(doc, 0.5f);
  doc->Normals->Update(); // the sample's displacements are cached

  s.Viewer.OpenModel(s.Prompts, dir.Path("strip.vtk"));
  ASSERT_TRUE(s.Prompts.Messages.empty());
  EXPECT_EQ(doc->TransformOn, 1);
  vtkSmartPointer<vtkPolyData> strip = ReadPolyData(dir.Path("strip.vtk"));
  // (The normals may split the deformed strip at its creases: compare the filter's points.)
  doc->TransformFilter->Update();
  ASSERT_EQ(doc->TransformFilter->GetOutput()->GetNumberOfPoints(), strip->GetNumberOfPoints());
  EXPECT_LT(
    DeviationFromSpline(doc, s.Fitted, strip->GetPoints(), 0.5f, doc->TransformFilter), 2e-5);
  EXPECT_GT(MaxDistance(doc->TransformFilter->GetOutput()->GetPoints(), strip->GetPoints()), 0.01);
}

TEST(HaldenDocTransform, TheViewDrawsAgainAfterEveryChangeOfWhatItShows)
{
  // The window draws only when asked: each change of the scene must ask.
  Loaded s;
  ASSERT_TRUE(s.Viewer.ShowAndPaint());
  TempDir dir;
  WriteBitmap(dir.Path("red.bmp"), 230, 20, 20);
  int renders = 0;
  vtkNew<vtkCallbackCommand> count;
  count->SetClientData(&renders);
  count->SetCallback([](vtkObject*, unsigned long, void* n, void*) { ++*static_cast<int*>(n); });
  s.Viewer.View->GetRenderWindow()->AddObserver(vtkCommand::StartEvent, count);
  auto drawsAgain = [&](const std::function<void()>& change)
  {
    // What was asked for before has been drawn once a paint asked for now has been drawn:
    // the window folds the paints it has been asked for into one.
    const int asked = renders;
    s.Viewer.View->Invalidate();
    if (!WaitFor([&] { return renders > asked; }, 10000))
    {
      return false;
    }
    const int before = renders;
    change();
    return WaitFor([&] { return renders > before; }, 10000);
  };
  EXPECT_TRUE(drawsAgain([&] { s.LoadTransform(SampleTransform()); })) << "transform on";
  EXPECT_TRUE(drawsAgain([&] { s.CancelTransform(); })) << "transform off";
  EXPECT_TRUE(drawsAgain(
    [&]
    {
      s.Prompts.AnswerFile(dir.Path("red.bmp"));
      s.Viewer.Frame->ExecuteCommand(ID_LOAD_TEXTURE);
    }))
    << "texture on";
  EXPECT_TRUE(drawsAgain(
    [&]
    {
      s.Prompts.CancelFile();
      s.Viewer.Frame->ExecuteCommand(ID_LOAD_TEXTURE);
    }))
    << "texture off";
}

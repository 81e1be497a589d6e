// Landmark pairs in the window: reading landmark files by the fitting tool's rules, the
// sources riding with the deformation, and, through the real window, File > Load > Landmarks,
// the command line, the spheres' colours, View > Landmarks and the status bar's count.
#include "UxHarness.h"

#include "LandmarkGlyphs.h"
#include "LandmarkPairs.h"
#include "Prompts.h"
#include "TransformFile.h"
#include "vtkLandmarkRide.h"
#include "vtkShapeTransform.h"

#include <gtest/gtest.h>

#include <vtkActor.h>
#include <vtkActorCollection.h>
#include <vtkCallbackCommand.h>
#include <vtkCamera.h>
#include <vtkMapper.h>
#include <vtkObjectFactory.h>
#include <vtkPointLocator.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkRenderer.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <sstream>

using namespace ux;

namespace
{
std::string WriteText(const std::string& name, const std::string& text)
{
  const std::string path = shell::ConfigHome().toStdString() + "/" + name;
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

// Landmark lines of the sample, from first (counted from 0) on, count of them.
std::string SampleLines(int first, int count)
{
  const std::vector<std::string> lines = Lines(SampleFile("leg.dat"));
  std::string text;
  for (int i = first; i < first + count && i < static_cast<int>(lines.size()); ++i)
  {
    text += lines[static_cast<size_t>(i)] + "\n";
  }
  return text;
}

double Diagonal(vtkPoints* points)
{
  double b[6];
  points->GetBounds(b);
  return std::sqrt(
    (b[1] - b[0]) * (b[1] - b[0]) + (b[3] - b[2]) * (b[3] - b[2]) + (b[5] - b[4]) * (b[5] - b[4]));
}

// A shape transform that lets the tests see how many kernel sums it made.
class ProbeTransform : public vtkShapeTransform
{
public:
  static ProbeTransform* New();
  vtkTypeMacro(ProbeTransform, vtkShapeTransform);
  vtkIdType KernelSums() const { return this->NeighborSearches.load(); }
};
vtkStandardNewMacro(ProbeTransform);

// The sample's fitted coefficients, in force in transform (the arrays live in coefficients).
void UseSampleTransform(vtkShapeTransform* transform, TransformCoefficients& c)
{
  ASSERT_EQ(
    ReadTransformCoefficients(SampleTransform().c_str(), c).Status, TransformFileStatus::Ok);
  transform->SetParameters(c.Radius, c.Points, c.CoeffX.data(), c.CoeffY.data(), c.CoeffZ.data(),
    c.UnList.empty() ? nullptr : c.UnList.data(), c.Locator);
  transform->SetConstantTerms(c.Constants);
  ASSERT_TRUE(transform->GetInitialized());
}

// Orange source spheres and blue target spheres, lit: told apart from the body (0.9, 1, 0.9),
// the background (13, 89, 115), the lines (dark grey) and the sock's pattern by hue.
bool Orange(int r, int g, int b)
{
  return r > 120 && g > 0.25 * r && g < 0.65 * r && b < 0.2 * r;
}
bool Blue(int r, int g, int b)
{
  return b > 120 && r < 0.3 * b && g > 0.15 * b && g < 0.55 * b;
}

struct Centroid
{
  double X = 0, Y = 0;
  long N = 0;
};
template <class Test>
Centroid Find(const Picture& p, Test test)
{
  Centroid c;
  for (int y = 0; y < p.Height; ++y)
  {
    for (int x = 0; x < p.Width; ++x)
    {
      const unsigned char* rgb = p.At(x, y);
      if (test(rgb[0], rgb[1], rgb[2]))
      {
        c.X += x;
        c.Y += y;
        ++c.N;
      }
    }
  }
  if (c.N > 0)
  {
    c.X /= static_cast<double>(c.N);
    c.Y /= static_cast<double>(c.N);
  }
  return c;
}

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
  }
  std::string Pane() const { return this->Frame->m_wndStatusBar.GetPaneText("landmarks"); }
  void LoadByKey(const std::string& path)
  {
    this->Prompts.AnswerFile(path);
    Press(this->Frame, Qt::Key_L, Qt::ControlModifier);
  }
  bool Shows(vtkActor* actor) const
  {
    return this->View->GetRenderer()->GetActors()->IsItemPresent(actor) != 0 &&
      actor->GetVisibility() != 0;
  }
  // Where a point of the model's space is drawn, in the picture's pixels (bottom-up).
  void Project(const double p[3], double& x, double& y) const
  {
    vtkRenderer* r = this->View->GetRenderer();
    r->SetWorldPoint(p[0], p[1], p[2], 1.0);
    r->WorldToDisplay();
    x = r->GetDisplayPoint()[0];
    y = r->GetDisplayPoint()[1];
  }
};
}

//------------------------------------------------------------------------------
// Reading: the fitting tool's rules, and a refused file changes nothing.
TEST(LandmarkPairs, ReadFilesByTheFittingToolsRulesAndKeepThePairsOnRefusal)
{
  shell::App();
  struct Case
  {
    const char* Name;
    std::string Text;
    vtkIdType Count; // 0: refused
    const char* Reason;
  };
  const Case cases[] = {
    { "far from the origin, uneven",
      "1203.25 -801.5 300.125 1203.5 -801.25 300.0\n"
      "1201.0 -800.0625 299.75 1201.125 -800.0 299.5\n"
      "1210.5 -799.0 301.0 1210.0 -799.5 301.25",
      3, "" },
    { "headers, comments, blanks, CRLF, extra columns, semicolons",
      "# sample\r\nsx sy sz tx ty tz\r\n\r\n0.5 0.25 -0.125 0.5 0.3 -0.1 weight 2\r\n"
      "1;2;3;4;5;6\r\n-1e-3 2E-2 0 0 0 0\r\n",
      2, "" },
    { "no landmark line", "sx sy sz tx ty tz\n1,5 2 3 4 5 6\n1;2;3;4;5;6\n", 0,
      "no landmark read: 3 lines skipped (a landmark line starts with six numbers" },
    { "empty", "", 0, "no landmark read: 0 lines skipped" },
    { "a value that is not finite", "0 0 0 1 1 1\n0 0 nan 1 1 1\n", 0,
      "holds a landmark value that is not a finite number" },
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.Name);
    LandmarkPairs pairs;
    std::string reason;
    ASSERT_TRUE(pairs.ReadFile(WriteText("before.dat", "9 8 7 6 5 4\n1 2 3 4 5 6\n"), &reason))
      << reason;
    const vtkMTimeType before = pairs.GetMTime();
    const std::string path = WriteText("case.dat", c.Text);
    const bool read = pairs.ReadFile(path, &reason);
    EXPECT_EQ(read, c.Count > 0) << reason;
    EXPECT_EQ(pairs.GetSources()->GetDataType(), VTK_DOUBLE);
    EXPECT_EQ(pairs.GetTargets()->GetDataType(), VTK_DOUBLE);
    if (c.Count == 0)
    {
      EXPECT_NE(reason.find(c.Reason), std::string::npos) << reason;
      EXPECT_NE(reason.back(), '!') << "the caller ends the sentence";
      EXPECT_EQ(pairs.GetMTime(), before);
      ASSERT_EQ(pairs.GetCount(), 2);
      EXPECT_EQ(pairs.GetSources()->GetPoint(0)[0], 9.0);
      EXPECT_EQ(pairs.GetTargets()->GetPoint(1)[2], 6.0);
      continue;
    }
    EXPECT_GT(pairs.GetMTime(), before);
    ASSERT_EQ(pairs.GetCount(), c.Count);
    ASSERT_EQ(pairs.GetTargets()->GetNumberOfPoints(), c.Count);
  }

  // The values themselves, and the line of a file that ends without a line end.
  LandmarkPairs pairs;
  std::string reason;
  ASSERT_TRUE(pairs.ReadFile(WriteText("values.dat", cases[0].Text), &reason));
  const double source[3] = { 1210.5, -799.0, 301.0 };
  const double target[3] = { 1210.0, -799.5, 301.25 };
  for (int k = 0; k < 3; ++k)
  {
    EXPECT_EQ(pairs.GetSources()->GetPoint(2)[k], source[k]);
    EXPECT_EQ(pairs.GetTargets()->GetPoint(2)[k], target[k]);
  }
  const vtkMTimeType read = pairs.GetMTime();
  pairs.Clear();
  EXPECT_EQ(pairs.GetCount(), 0);
  EXPECT_GT(pairs.GetMTime(), read);
  EXPECT_FALSE(pairs.ReadFile(shell::ConfigHome().toStdString() + "/missing.dat", &reason));
  EXPECT_NE(reason.find("Cannot open"), std::string::npos) << reason;
}

//------------------------------------------------------------------------------
// The sources ride: where the transform carries them at each blend, at rest when not riding,
// on their targets at a blend of 1; the model's displacement cache is left alone.
TEST(LandmarkRide, SourcesGoWhereTheTransformCarriesThemAtEachBlend)
{
  shell::App();
  vtkNew<ProbeTransform> transform;
  TransformCoefficients coefficients;
  UseSampleTransform(transform, coefficients);
  LandmarkPairs pairs;
  std::string reason;
  ASSERT_TRUE(pairs.ReadFile(SampleFile("leg.dat"), &reason)) << reason;
  const double size = Diagonal(pairs.GetSources());

  // The model's displacements are cached, as the animation has them.
  std::string why;
  auto model = ReadModelFile(SampleFile("leg.vtk"), why);
  ASSERT_TRUE(model) << why;
  vtkNew<vtkPoints> deformed;
  transform->TransformPoints(model->GetPoints(), deformed);
  const vtkIdType sumsAfterModel = transform->KernelSums();

  vtkNew<vtkLandmarkRide> ride;
  ride->SetLandmarks(pairs.GetSources(), pairs.GetTargets());
  ride->SetTransform(transform);
  const struct
  {
    float Blend;
    bool Riding;
  } cases[] = { { 0.0f, true }, { 0.25f, true }, { 0.7f, true }, { 1.0f, true }, { 1.0f, false },
    { 0.4f, false } };
  for (const auto& c : cases)
  {
    SCOPED_TRACE(testing::Message() << "blend " << c.Blend << (c.Riding ? " riding" : " at rest"));
    transform->SetFactor(c.Blend);
    ride->SetRiding(c.Riding);
    const vtkIdType sums = transform->KernelSums();
    ride->Update();
    EXPECT_EQ(transform->KernelSums(), sums) << "the transform's own evaluation is left alone";
    vtkPoints* moved = ride->GetOutput(0)->GetPoints();
    ASSERT_EQ(moved->GetNumberOfPoints(), pairs.GetCount());
    EXPECT_EQ(ride->GetOutput(0)->GetNumberOfVerts(), pairs.GetCount());
    vtkPolyData* lines = ride->GetOutput(1);
    ASSERT_EQ(lines->GetNumberOfLines(), pairs.GetCount());
    double worstToTransform = 0;
    double worstToTarget = 0;
    for (vtkIdType i = 0; i < pairs.GetCount(); ++i)
    {
      double expected[3];
      pairs.GetSources()->GetPoint(i, expected);
      if (c.Riding)
      {
        transform->TransformPoint(expected, expected); // the single-point path: no cache
      }
      worstToTransform = std::max(
        worstToTransform, std::sqrt(vtkMath::Distance2BetweenPoints(expected, moved->GetPoint(i))));
      worstToTarget = std::max(worstToTarget,
        std::sqrt(
          vtkMath::Distance2BetweenPoints(pairs.GetTargets()->GetPoint(i), moved->GetPoint(i))));
      // Line i runs from the sphere drawn to the target.
      EXPECT_EQ(
        std::sqrt(vtkMath::Distance2BetweenPoints(lines->GetPoint(i), moved->GetPoint(i))), 0.0);
      EXPECT_EQ(std::sqrt(vtkMath::Distance2BetweenPoints(
                  lines->GetPoint(pairs.GetCount() + i), pairs.GetTargets()->GetPoint(i))),
        0.0);
    }
    EXPECT_LT(worstToTransform, 1e-6 * size);
    if (c.Riding && c.Blend == 1.0f)
    {
      EXPECT_LT(worstToTarget, 1e-4 * size) << "the fit interpolates its landmarks";
    }
    else
    {
      EXPECT_GT(worstToTarget, 1e-2 * size);
    }
  }
  // The model's cache still holds: transforming it again makes no kernel sum.
  transform->SetFactor(0.5f);
  ride->SetRiding(true);
  ride->Update();
  const vtkIdType sums = transform->KernelSums();
  transform->TransformPoints(model->GetPoints(), deformed);
  EXPECT_EQ(transform->KernelSums(), sums);
  EXPECT_GE(sums, sumsAfterModel);
}

TEST(LandmarkRide, ASelectionNarrowsBothOutputsToItsLandmarksInItsOrder)
{
  shell::App();
  vtkNew<vtkShapeTransform> transform;
  TransformCoefficients coefficients;
  UseSampleTransform(transform, coefficients);
  LandmarkPairs pairs;
  std::string reason;
  ASSERT_TRUE(pairs.ReadFile(SampleFile("leg.dat"), &reason)) << reason;
  const vtkIdType n = pairs.GetCount();
  vtkNew<vtkLandmarkRide> ride;
  ride->SetLandmarks(pairs.GetSources(), pairs.GetTargets());
  ride->SetTransform(transform);
  transform->SetFactor(0.4f);
  const struct
  {
    bool Riding;
    std::vector<vtkIdType> Selection;
    std::vector<vtkIdType> Drawn; // what the outputs hold
    bool Inverse = false;
  } cases[] = {
    { true, { 7, 2, n - 1 }, { 7, 2, n - 1 } },
    { false, { 7, 2, n - 1 }, { 7, 2, n - 1 } },
    { true, { -1, 5, n, 9 }, { 5, 9 } }, // landmarks that do not exist are passed over
    { true, {}, {} },
    { true, { 7, 2, n - 1 }, { 7, 2, n - 1 }, true }, // carried back through the inverse
  };
  for (const auto& c : cases)
  {
    SCOPED_TRACE(testing::Message() << c.Selection.size() << " selected, riding " << c.Riding
                                    << (c.Inverse ? ", inverse" : ""));
    if (transform->GetInverseFlag() != (c.Inverse ? 1 : 0))
    {
      transform->Inverse();
    }
    ride->SetRiding(c.Riding);
    ride->SetSelection(c.Selection);
    ride->Update();
    vtkPolyData* spheres = ride->GetOutput(0);
    vtkPolyData* lines = ride->GetOutput(1);
    const auto m = static_cast<vtkIdType>(c.Drawn.size());
    ASSERT_EQ(spheres->GetNumberOfPoints(), m);
    ASSERT_EQ(spheres->GetNumberOfVerts(), m);
    ASSERT_EQ(lines->GetNumberOfLines(), m);
    for (vtkIdType k = 0; k < m; ++k)
    {
      const vtkIdType i = c.Drawn[static_cast<size_t>(k)];
      double expected[3];
      pairs.GetSources()->GetPoint(i, expected);
      if (c.Riding)
      {
        transform->TransformPoint(expected, expected);
      }
      EXPECT_LT(std::sqrt(vtkMath::Distance2BetweenPoints(expected, spheres->GetPoint(k))),
        1e-9 + 1e-6 * std::abs(expected[0]))
        << "landmark " << i;
      EXPECT_EQ(vtkMath::Distance2BetweenPoints(lines->GetPoint(k), spheres->GetPoint(k)), 0.0);
      EXPECT_EQ(
        vtkMath::Distance2BetweenPoints(lines->GetPoint(m + k), pairs.GetTargets()->GetPoint(i)),
        0.0);
    }
  }
  ride->SelectAll();
  ride->Update();
  EXPECT_EQ(ride->GetOutput(0)->GetNumberOfPoints(), n);
}

TEST(LandmarkRide, ExecutesAgainOnlyWhenTheBlendItRidesWithChanges)
{
  shell::App();
  vtkNew<vtkShapeTransform> transform;
  TransformCoefficients coefficients;
  UseSampleTransform(transform, coefficients);
  LandmarkPairs pairs;
  std::string reason;
  ASSERT_TRUE(pairs.ReadFile(SampleFile("leg.dat"), &reason)) << reason;
  vtkNew<vtkLandmarkRide> ride;
  ride->SetLandmarks(pairs.GetSources(), pairs.GetTargets());
  ride->SetTransform(transform);
  ride->RidingOn();
  transform->SetFactor(0.3f);
  ride->Update();
  auto executed = [&] { return ride->GetOutput(0)->GetMTime(); };
  const struct
  {
    const char* What;
    std::function<void()> Change;
    bool Again;
  } steps[] = {
    { "nothing", [] {}, false },
    { "the same blend", [&] { transform->SetFactor(0.3f); }, false },
    { "another blend", [&] { transform->SetFactor(0.35f); }, true },
    { "at rest", [&] { ride->RidingOff(); }, true },
    { "a blend while at rest", [&] { transform->SetFactor(0.6f); }, false },
    { "riding again", [&] { ride->RidingOn(); }, true },
    { "a selection",
      [&] {
        ride->SetSelection({ 3, 1, 4 });
      },
      true },
    { "the same selection",
      [&] {
        ride->SetSelection({ 3, 1, 4 });
      },
      false },
    { "all again", [&] { ride->SelectAll(); }, true },
    { "all once more", [&] { ride->SelectAll(); }, false },
    { "a source moved",
      [&]
      {
        pairs.GetSources()->SetPoint(0, 0, 0, 0);
        pairs.GetSources()->Modified();
      },
      true },
  };
  for (const auto& s : steps)
  {
    SCOPED_TRACE(s.What);
    const vtkMTimeType before = executed();
    s.Change();
    ride->Update();
    EXPECT_EQ(executed() != before, s.Again);
  }
  // The moved source is carried from its new place.
  double expected[3] = { 0, 0, 0 };
  transform->TransformPoint(expected, expected);
  double got[3];
  ride->GetOutput(0)->GetPoints()->GetPoint(0, got);
  EXPECT_LT(std::sqrt(vtkMath::Distance2BetweenPoints(expected, got)), 1e-6);
}

TEST(LandmarkGlyphs, SpheresAreSizedFromTheModelAndTheCount)
{
  // Seen from a window across the model, a sphere stays more than a pixel wide and a dense set
  // leaves room between its spheres.
  const struct
  {
    double Diagonal;
    vtkIdType Count;
    double Radius;
  } cases[] = {
    { 1.6, 1, 1.6 * 0.012 }, // a few: capped
    { 1.6, 755, 1.6 * 0.17 / std::sqrt(755.0) },
    { 2e4, 755, 2e4 * 0.17 / std::sqrt(755.0) }, // map units
    { 1e-3, 10000, 1e-3 * 0.003 },               // many on a tiny model: floored
  };
  for (const auto& c : cases)
  {
    EXPECT_NEAR(LandmarkGlyphs::RadiusFor(c.Diagonal, c.Count), c.Radius, 1e-12 * c.Diagonal)
      << c.Diagonal << " " << c.Count;
  }
  LandmarkGlyphs glyphs;
  LandmarkPairs none;
  const double noBounds[6] = { 1, -1, 1, -1, 1, -1 };
  glyphs.SetPairs(none, noBounds);
  LandmarkPairs one;
  std::string reason;
  ASSERT_TRUE(one.ReadFile(WriteText("one.dat", "1200 -800 300 1203 -804 300\n"), &reason));
  glyphs.SetPairs(one, noBounds); // the pair's own extent, 5 long
  EXPECT_NEAR(glyphs.GetRadius(), 5 * 0.012, 1e-9);
}

//------------------------------------------------------------------------------
// Through the window.
TEST(LandmarksInTheWindow, CtrlLProposesTheDatBesideTheModelAndTheCountShows)
{
  Started s;
  EXPECT_EQ(s.Pane(), "") << "no landmarks, no pane";
  // Without landmarks the scene holds none of their actors.
  const int scene = s.Doc->Props->GetNumberOfItems();
  for (vtkActor* actor : { s.Doc->LandmarkDisplay->GetSourceActor(),
         s.Doc->LandmarkDisplay->GetTargetActor(), s.Doc->LandmarkDisplay->GetLineActor() })
  {
    EXPECT_FALSE(s.Doc->Props->IsItemPresent(actor));
  }

  const std::string bad = WriteText("skipped.dat",
    "# landmarks of the leg\n" + SampleLines(0, 40) + "\nsx sy sz tx ty tz\n" + SampleLines(40, 9));
  s.LoadByKey(bad);
  ASSERT_EQ(s.Prompts.FileRequests.size(), 1u);
  EXPECT_EQ(s.Prompts.FileRequests[0].InitialName, SampleFile("leg.dat"));
  EXPECT_TRUE(s.Prompts.Messages.empty());
  EXPECT_EQ(s.Doc->Landmarks.GetCount(), 49);
  EXPECT_EQ(s.Doc->LandmarkFileName, bad);
  EXPECT_EQ(s.Pane(), "49 landmarks");
  LandmarkGlyphs& glyphs = *s.Doc->LandmarkDisplay;
  EXPECT_TRUE(s.Shows(glyphs.GetSourceActor()));
  EXPECT_TRUE(s.Shows(glyphs.GetTargetActor()));
  EXPECT_TRUE(s.Shows(glyphs.GetLineActor()));
  EXPECT_EQ(s.Doc->Props->GetNumberOfItems(), scene + 3) << "three actors, whatever the count";

  // A file without a landmark is refused with the reason; nothing changes.
  const std::string none = WriteText("none.dat", "sx;sy;sz;tx;ty;tz\n1;2;3;4;5;6\n");
  s.LoadByKey(none);
  ASSERT_EQ(s.Prompts.Messages.size(), 1u);
  EXPECT_EQ(s.Prompts.Messages[0].Text,
    "Cannot load the landmark file \"" + none +
      "\": no landmark read: 2 lines skipped (a landmark line starts with six numbers "
      "separated by blanks).");
  EXPECT_EQ(s.Doc->Landmarks.GetCount(), 49);
  EXPECT_EQ(s.Doc->LandmarkFileName, bad);
  EXPECT_EQ(s.Pane(), "49 landmarks");

  // Cancelling changes nothing either.
  s.Prompts.CancelFile();
  Press(s.Frame, Qt::Key_L, Qt::ControlModifier);
  EXPECT_EQ(s.Doc->Landmarks.GetCount(), 49);
  EXPECT_TRUE(s.Shows(glyphs.GetSourceActor()));

  s.LoadByKey(SampleFile("leg.dat"));
  EXPECT_EQ(s.Pane(), "755 landmarks");
}

TEST(LandmarksInTheWindow, ADatAsSecondNameOnTheCommandLineLoadsLandmarks)
{
  const std::string one = WriteText("one.dat", SampleLines(100, 1));
  const std::string none = WriteText("none.dat", "no landmark here\n");
  const struct
  {
    std::string Name;
    vtkIdType Count;
    size_t Messages;
    const char* Pane;
  } cases[] = {
    { SampleFile("leg.dat"), 755, 0, "755 landmarks" },
    { one, 1, 0, "1 landmark" },
    { none, 0, 1, "" },
  };
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.Name);
    Started s({ SampleFile("leg.vtk"), c.Name });
    EXPECT_TRUE(shell::WaitFor([&] { return s.Prompts.Messages.size() >= c.Messages; }));
    EXPECT_EQ(s.Prompts.Messages.size(), c.Messages);
    EXPECT_EQ(s.Doc->Landmarks.GetCount(), c.Count);
    EXPECT_EQ(s.Pane(), c.Pane);
    EXPECT_EQ(s.Doc->TransformOn, 0) << "not taken for a transform";
    EXPECT_EQ(s.Doc->NoData, 0) << "the model is open";
  }
}

TEST(LandmarksInTheWindow, SpheresShowInTwoColoursAndLHidesAndShowsThem)
{
  Started s;
  const Picture before = Grab(s.View);
  auto orange = [](int r, int g, int b) { return Orange(r, g, b); };
  auto blue = [](int r, int g, int b) { return Blue(r, g, b); };
  ASSERT_EQ(Find(before, orange).N, 0) << "the colours are the landmarks' alone";
  ASSERT_EQ(Find(before, blue).N, 0);

  s.LoadByKey(SampleFile("leg.dat"));
  ASSERT_EQ(s.Doc->Landmarks.GetCount(), 755);
  const Picture shown = Grab(s.View);
  EXPECT_GT(Find(shown, orange).N, 1000);
  EXPECT_GT(Find(shown, blue).N, 1000);
  // The model still shows between them.
  EXPECT_GT(shown.Count(0, 0, shown.Width, shown.Height,
              [](int r, int g, int b) { return g > 150 && r > 120 && b > 120 && g >= r; }),
    5000);

  Press(s.Frame, Qt::Key_L);
  EXPECT_FALSE(s.Doc->LandmarkDisplay->GetVisibility());
  const Picture hidden = Grab(s.View);
  EXPECT_EQ(hidden.Rgb, before.Rgb) << "hidden, the picture is the one without landmarks";
  EXPECT_EQ(s.Pane(), "755 landmarks");

  Press(s.Frame, Qt::Key_L);
  EXPECT_TRUE(s.Doc->LandmarkDisplay->GetVisibility());
  EXPECT_EQ(Grab(s.View).Rgb, shown.Rgb);

  // The menu item is checked while they show, and off without landmarks.
  CCmdUI ui(ID_VIEW_LANDMARKS);
  s.Doc->OnUpdateViewLandmarks(&ui);
  EXPECT_TRUE(ui.m_bEnabled);
  EXPECT_EQ(ui.m_nCheck, 1);
  s.Doc->Landmarks.Clear();
  s.Doc->LandmarksChanged();
  CCmdUI empty(ID_VIEW_LANDMARKS);
  s.Doc->OnUpdateViewLandmarks(&empty);
  EXPECT_FALSE(empty.m_bEnabled);
  EXPECT_EQ(s.Pane(), "");
  EXPECT_EQ(Grab(s.View).Rgb, before.Rgb);
}

TEST(LandmarksInTheWindow, TheSourceSphereSitsOnItsTargetAtFullBlend)
{
  Started s;
  // The pair of the sample nearest the camera at both ends, so that both spheres show.
  vtkCamera* camera = s.View->GetRenderer()->GetActiveCamera();
  LandmarkPairs all;
  std::string reason;
  ASSERT_TRUE(all.ReadFile(SampleFile("leg.dat"), &reason));
  int best = 0;
  double nearest = std::numeric_limits<double>::max();
  for (vtkIdType i = 0; i < all.GetCount(); ++i)
  {
    const double far = std::max(
      vtkMath::Distance2BetweenPoints(camera->GetPosition(), all.GetSources()->GetPoint(i)),
      vtkMath::Distance2BetweenPoints(camera->GetPosition(), all.GetTargets()->GetPoint(i)));
    if (far < nearest)
    {
      nearest = far;
      best = static_cast<int>(i);
    }
  }
  s.Prompts.AnswerFile(SampleTransform());
  ASSERT_TRUE(s.Frame->ExecuteCommand(ID_LOAD_TRANSFORM));
  s.LoadByKey(WriteText("nearest.dat", SampleLines(best, 1)));
  ASSERT_EQ(s.Doc->Landmarks.GetCount(), 1);
  const double* source = all.GetSources()->GetPoint(best);
  const double* target = all.GetTargets()->GetPoint(best);

  const struct
  {
    double Blend;
    const double* Where;
  } cases[] = { { 0.0, source }, { 1.0, target } };
  for (const auto& c : cases)
  {
    SCOPED_TRACE(testing::Message() << "blend " << c.Blend);
    ASSERT_TRUE(s.View->SetBlend(c.Blend));
    const Picture p = Grab(s.View);
    double x, y;
    s.Project(c.Where, x, y);
    const Centroid sphere = Find(p, [](int r, int g, int b) { return Orange(r, g, b); });
    ASSERT_GT(sphere.N, 10);
    EXPECT_NEAR(sphere.X, x, 2.0);
    EXPECT_NEAR(sphere.Y, y, 2.0);
  }
  // At full blend the source covers its target: the blue sphere is hidden.
  ASSERT_TRUE(s.View->SetBlend(0.0));
  const long blueApart = Find(Grab(s.View), [](int r, int g, int b) { return Blue(r, g, b); }).N;
  ASSERT_TRUE(s.View->SetBlend(1.0));
  const long blueTogether = Find(Grab(s.View), [](int r, int g, int b) { return Blue(r, g, b); }).N;
  EXPECT_GT(blueApart, 10);
  EXPECT_LT(blueTogether, blueApart / 4);
}

TEST(LandmarksInTheWindow, AnAnimationStepChangesNothingTheCardHoldsButTheRidingSources)
{
  // A mapper uploads its buffers again when its input, itself or its actor was modified since
  // the last upload: a step of the animation may move the sources, and nothing else.
  Started s;
  s.Prompts.AnswerFile(SampleTransform());
  ASSERT_TRUE(s.Frame->ExecuteCommand(ID_LOAD_TRANSFORM));
  s.LoadByKey(SampleFile("leg.dat"));
  ASSERT_EQ(s.Doc->Landmarks.GetCount(), 755);
  LandmarkGlyphs& glyphs = *s.Doc->LandmarkDisplay;
  ASSERT_TRUE(s.View->SetBlend(0.2));
  const struct
  {
    const char* What;
    vtkObject* Object;
    bool Moves;
  } parts[] = {
    { "the target spheres' points", glyphs.GetTargetActor()->GetMapper()->GetInput(), false },
    { "the target mapper", glyphs.GetTargetActor()->GetMapper(), false },
    { "the target actor", glyphs.GetTargetActor(), false },
    { "the source mapper", glyphs.GetSourceActor()->GetMapper(), false },
    { "the source actor", glyphs.GetSourceActor(), false },
    { "the line mapper", glyphs.GetLineActor()->GetMapper(), false },
    { "the line actor", glyphs.GetLineActor(), false },
    { "the source spheres' points", glyphs.GetSourceActor()->GetMapper()->GetInput(), true },
  };
  std::vector<vtkMTimeType> before;
  for (const auto& p : parts)
  {
    before.push_back(p.Object->GetMTime());
  }
  for (double blend : { 0.25, 0.3, 0.7 })
  {
    ASSERT_TRUE(s.View->SetBlend(blend));
  }
  for (size_t i = 0; i < std::size(parts); ++i)
  {
    EXPECT_EQ(parts[i].Object->GetMTime() != before[i], parts[i].Moves) << parts[i].What;
  }
}

//------------------------------------------------------------------------------
// A large set while the animation plays: an even selection, the same at every step; all of
// them as soon as it stops, and wherever a picture is kept.
namespace
{
// The sample's landmarks over the deformation, with the animation stepped here rather than by
// the timer, and a record of how many landmarks every picture drew.
struct Playing : Started
{
  vtkNew<vtkCallbackCommand> Counter;
  std::vector<size_t> Pictures; // landmarks drawn, one entry per picture
  int Tick = 0;
  Playing()
  {
    this->Prompts.AnswerFile(SampleTransform());
    EXPECT_TRUE(this->Frame->ExecuteCommand(ID_LOAD_TRANSFORM));
    this->LoadByKey(SampleFile("leg.dat"));
    EXPECT_EQ(this->Doc->Landmarks.GetCount(), 755);
    this->View->StopTimer();
    this->Doc->FinishDeformation();
    this->Glyphs().SetPlayingLimit(200);
    this->Counter->SetClientData(this);
    this->Counter->SetCallback(
      [](vtkObject*, unsigned long, void* self, void*)
      {
        auto* p = static_cast<Playing*>(self);
        p->Pictures.push_back(p->Glyphs().GetDrawnLandmarks().size());
      });
    this->View->GetRenderer()->AddObserver(vtkCommand::EndEvent, this->Counter);
  }
  ~Playing() { this->View->GetRenderer()->RemoveObserver(this->Counter); }
  LandmarkGlyphs& Glyphs() const { return *this->Doc->LandmarkDisplay; }
  // One step of the animation as the timer and the redraw request take it.
  void Step()
  {
    this->Tick += this->View->TicksPerStep;
    this->View->Tick = this->Tick;
    this->View->AdvanceAnimation();
    this->View->RedrawPending = 1;
    this->View->SendMessage(WM_USER, 0, 0);
  }
  long OrangePixels() const
  {
    return Find(Grab(this->View), [](int r, int g, int b) { return Orange(r, g, b); }).N;
  }
};
}

TEST(LandmarksInTheWindow, WhilePlayingAnEvenSelectionRidesAndPausingShowsEveryLandmark)
{
  Playing s;
  LandmarkGlyphs& glyphs = s.Glyphs();
  ASSERT_NE(s.View->GetAnimationRunning(), 0);
  ASSERT_FALSE(s.View->IsPaused());
  vtkPoints* sources = s.Doc->Landmarks.GetSources();
  vtkPoints* targets = s.Doc->Landmarks.GetTargets();
  const double size = Diagonal(sources);

  // Every step draws the same selection, where the deformation carries it now.
  std::vector<vtkIdType> chosen;
  for (int step = 1; step <= 4; ++step)
  {
    SCOPED_TRACE(testing::Message() << "step " << step);
    s.Step();
    ASSERT_TRUE(glyphs.GetThinned());
    ASSERT_EQ(s.Pictures.back(), glyphs.GetDrawnLandmarks().size());
    const std::vector<vtkIdType> drawn = glyphs.GetDrawnLandmarks();
    EXPECT_LE(drawn.size(), 200u);
    EXPECT_GE(drawn.size(), 100u);
    if (chosen.empty())
    {
      chosen = drawn;
    }
    EXPECT_EQ(drawn, chosen) << "the selection stays from step to step";
    vtkPolyData* spheres = glyphs.GetRide()->GetOutput(0);
    vtkPolyData* lines = glyphs.GetRide()->GetOutput(1);
    vtkDataSet* ends = glyphs.GetTargetActor()->GetMapper()->GetInput();
    const auto m = static_cast<vtkIdType>(drawn.size());
    ASSERT_EQ(spheres->GetNumberOfPoints(), m);
    ASSERT_EQ(ends->GetNumberOfPoints(), m);
    ASSERT_EQ(lines->GetNumberOfLines(), m);
    double worst = 0;
    for (vtkIdType k = 0; k < m; ++k)
    {
      double carried[3];
      s.Doc->ShapeTransform->TransformPoint(sources->GetPoint(drawn[k]), carried);
      worst =
        std::max(worst, std::sqrt(vtkMath::Distance2BetweenPoints(carried, spheres->GetPoint(k))));
      EXPECT_EQ(
        vtkMath::Distance2BetweenPoints(ends->GetPoint(k), targets->GetPoint(drawn[k])), 0.0);
      EXPECT_EQ(
        vtkMath::Distance2BetweenPoints(lines->GetPoint(m + k), targets->GetPoint(drawn[k])), 0.0);
    }
    EXPECT_LT(worst, 1e-6 * size);
  }
  EXPECT_GT(s.Doc->ShapeTransform->GetFactor(), 0.0f) << "the model is shown deformed";
  const long playingOrange = s.OrangePixels();

  // Pause: the picture on the screen shows every landmark at once, and is the one a display
  // that never thins would draw.
  const size_t pictures = s.Pictures.size();
  s.Frame->ExecuteCommand(ID_PAUSE);
  ASSERT_TRUE(s.View->IsPaused());
  EXPECT_FALSE(glyphs.GetThinned());
  ASSERT_GT(s.Pictures.size(), pictures) << "pausing draws again";
  EXPECT_EQ(s.Pictures.back(), 755u);
  const Picture paused = Grab(s.View);
  glyphs.SetPlayingLimit(1000000);
  EXPECT_EQ(Grab(s.View).Rgb, paused.Rgb);
  glyphs.SetPlayingLimit(200);
  const long pausedOrange = s.OrangePixels();
  EXPECT_GT(playingOrange, 0.1 * pausedOrange);
  EXPECT_LT(playingOrange, 0.6 * pausedOrange) << "while playing, the picture shows the selection";

  // Playing again, the same selection is drawn.
  s.Frame->ExecuteCommand(ID_PAUSE);
  ASSERT_FALSE(s.View->IsPaused());
  s.Step();
  EXPECT_TRUE(glyphs.GetThinned());
  EXPECT_EQ(glyphs.GetDrawnLandmarks(), chosen);
}

TEST(LandmarksInTheWindow, EveryLandmarkShowsWhereTheAnimationDoesNotPlayOrAPictureIsKept)
{
  const struct
  {
    const char* Name;
    std::function<void(Playing&)> Do;
  } cases[] = {
    { "a set within the limit",
      [](Playing& s)
      {
        s.Glyphs().SetPlayingLimit(755);
        s.Step();
      } },
    { "a frame-by-frame playback",
      [](Playing& s)
      {
        s.View->FramePrefix = shell::ConfigHome().toStdString() + "/frame";
        s.View->Realtime = 0;
        s.Step();
        std::remove(CHaldenView::FrameFileName(s.View->FramePrefix, 0).c_str());
      } },
    { "the deformation closed",
      [](Playing& s)
      {
        s.Frame->ExecuteCommand(ID_CLOSE_TRANSFORM);
        s.View->Render();
      } },
    { "a picture copied", [](Playing& s) { s.Frame->ExecuteCommand(ID_EDIT_COPY); } },
  };
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.Name);
    Playing s;
    s.Step();
    ASSERT_TRUE(s.Glyphs().GetThinned()) << "the animation plays";
    const size_t pictures = s.Pictures.size();
    c.Do(s);
    ASSERT_GT(s.Pictures.size(), pictures);
    EXPECT_EQ(s.Pictures.back(), 755u);
  }
}

// Save Landmarks, Load/Save Points and Load Target Model through the real window, with
// scripted file dialogs; edits made through the document's editing calls.
#include "UxHarness.h"

#include "Prompts.h"
#include "TransformFile.h"
#include "vtkShapeTransform.h"

#include <gtest/gtest.h>

#include <vtkActor.h>
#include <vtkDoubleArray.h>
#include <vtkPointLocator.h>
#include <vtkPoints.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>

#include <cstring>
#include <fstream>
#include <sstream>

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
  explicit Started(const std::string& model = SampleFile("leg.vtk"))
    : App({ model })
    , Frame(App.Frame())
    , View(ViewOf(Frame))
    , Doc(DocOf(Frame))
  {
    EXPECT_TRUE(App.Started);
    EXPECT_TRUE(shell::WaitFor([&] { return View->GetInteractor()->GetInitialized() != 0; }));
    Activate(this->Frame);
  }
  BOOL Command(UINT id, const std::string& answer)
  {
    this->Prompts.AnswerFile(answer);
    return this->Frame->ExecuteCommand(id);
  }
  bool InRenderer(vtkActor* actor) const
  {
    return this->View->GetRenderer()->HasViewProp(actor) != 0;
  }
};

std::string Path(const std::string& name)
{
  return shell::ConfigHome().toStdString() + "/" + name;
}

std::string Bytes(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

bool SameBits(const LandmarkPairs& a, const LandmarkPairs& b)
{
  if (a.GetCount() != b.GetCount())
  {
    return false;
  }
  for (vtkIdType i = 0; i < a.GetCount(); ++i)
  {
    double p[6];
    double q[6];
    a.GetSources()->GetPoint(i, p);
    a.GetTargets()->GetPoint(i, p + 3);
    b.GetSources()->GetPoint(i, q);
    b.GetTargets()->GetPoint(i, q + 3);
    if (std::memcmp(p, q, sizeof(p)) != 0)
    {
      return false;
    }
  }
  return true;
}
}

// Edits make the document modified; saving writes what the fitting tool reads back bit for
// bit and makes it unmodified; undoing past the save makes it modified again.
TEST(EditingCommands, SaveLandmarksAndTheModifiedFlag)
{
  Started s;
  ASSERT_TRUE(s.Doc->LoadLandmarks(SampleFile("leg.dat")));
  EXPECT_FALSE(s.Doc->IsModified());
  const vtkIdType loaded = s.Doc->Landmarks.GetCount();

  double p[3];
  s.Doc->Landmarks.GetSources()->GetPoint(3, p);
  const double moved[3] = { p[0] + 0.0123456, p[1] - 0.01, p[2] };
  std::string refusal;
  ASSERT_TRUE(s.Doc->MoveLandmarkSource(3, moved, false, &refusal)) << refusal;
  const double fresh[3] = { 0.1234567, -0.7654321, 0.33 };
  EXPECT_EQ(loaded, s.Doc->AddLandmarkPair(fresh, fresh, &refusal)) << refusal;
  s.Doc->RemoveLandmarkPair(0);
  EXPECT_TRUE(s.Doc->IsModified());
  EXPECT_EQ(
    std::to_string(loaded) + " landmarks", s.Frame->m_wndStatusBar.GetPaneText("landmarks"));

  const std::string saved = Path("edited.dat");
  ASSERT_TRUE(s.Command(ID_SAVE_LANDMARKS, saved));
  EXPECT_TRUE(s.Prompts.Messages.empty());
  EXPECT_FALSE(s.Doc->IsModified());
  EXPECT_EQ(saved, s.Doc->LandmarkFileName);
  LandmarkPairs back;
  std::string reason;
  ASSERT_TRUE(back.ReadFile(saved, &reason)) << reason;
  EXPECT_TRUE(SameBits(s.Doc->Landmarks, back));

  ASSERT_TRUE(s.Doc->UndoLandmarkEdit());
  EXPECT_TRUE(s.Doc->IsModified());
  ASSERT_TRUE(s.Doc->RedoLandmarkEdit());
  EXPECT_FALSE(s.Doc->IsModified());

  // Undo reaches back to the landmarks as loaded, no further.
  while (s.Doc->UndoLandmarkEdit())
  {
  }
  LandmarkPairs original;
  ASSERT_TRUE(original.ReadFile(SampleFile("leg.dat"), &reason));
  EXPECT_TRUE(SameBits(original, s.Doc->Landmarks));
}

// A source put on top of another is refused: the landmarks stay as they were and nothing
// enters the history.
TEST(EditingCommands, CoincidentSourcesAreRefused)
{
  Started s;
  ASSERT_TRUE(s.Doc->LoadLandmarks(SampleFile("leg.dat")));
  LandmarkPairs before;
  std::string reason;
  ASSERT_TRUE(before.ReadFile(SampleFile("leg.dat"), &reason));
  double other[3];
  s.Doc->Landmarks.GetSources()->GetPoint(7, other);
  const double target[3] = { 0, 0, 0 };

  std::string refusal;
  EXPECT_EQ(-1, s.Doc->AddLandmarkPair(other, target, &refusal));
  EXPECT_FALSE(refusal.empty());
  refusal.clear();
  EXPECT_FALSE(s.Doc->MoveLandmarkSource(2, other, false, &refusal));
  EXPECT_FALSE(refusal.empty());
  EXPECT_TRUE(SameBits(before, s.Doc->Landmarks));
  EXPECT_FALSE(s.Doc->LandmarkUndo.CanUndo());
  EXPECT_FALSE(s.Doc->IsModified());
  // Moving a source to where it is already is no coincidence with itself.
  EXPECT_TRUE(s.Doc->MoveLandmarkSource(7, other, false, &refusal)) << refusal;
}

// Points load, ride along with the deformation at the blend shown, and are saved where it
// takes them: checked against the same transform file evaluated apart from the window.
TEST(EditingCommands, PointsRideAlongAndSaveWhereShown)
{
  Started s;
  const std::string list = Path("attachments.csv");
  std::ofstream(list) << "x,y,z\n0.1,0.2,0.05\n-0.3,0.11,0.2\n0.45,-0.05,-0.1\n";
  ASSERT_TRUE(s.Command(ID_LOAD_POINTS, list));
  EXPECT_TRUE(s.Prompts.Messages.empty());
  EXPECT_EQ(3, s.Doc->Riding.GetCount());
  EXPECT_TRUE(s.InRenderer(s.Doc->Riding.GetActor()));

  s.Prompts.AnswerFile(SampleTransform());
  ASSERT_TRUE(s.Frame->ExecuteCommand(ID_LOAD_TRANSFORM));
  ASSERT_TRUE(s.View->SetBlend(0.5));

  const std::string out = Path("attachments-moved.csv");
  ASSERT_TRUE(s.Command(ID_SAVE_POINTS, out));
  EXPECT_TRUE(s.Prompts.Messages.empty());

  vtkNew<vtkShapeTransform> apart;
  TransformCoefficients c;
  ASSERT_EQ(
    TransformFileStatus::Ok, ReadTransformCoefficients(SampleTransform().c_str(), c).Status);
  apart->SetParameters(c.Radius, c.Points, c.CoeffX.data(), c.CoeffY.data(), c.CoeffZ.data(),
    c.UnList.empty() ? nullptr : c.UnList.data(), c.Locator);
  apart->SetConstantTerms(c.Constants);
  apart->SetFactor(0.5f);

  const std::vector<std::string> lines = Lines(out);
  ASSERT_EQ(4u, lines.size());
  EXPECT_EQ("x,y,z", lines[0]);
  const double in[3][3] = { { 0.1, 0.2, 0.05 }, { -0.3, 0.11, 0.2 }, { 0.45, -0.05, -0.1 } };
  bool anyMoved = false;
  for (int i = 0; i < 3; ++i)
  {
    double expected[3];
    apart->TransformPoint(in[i], expected);
    std::istringstream line(lines[i + 1]);
    double got[3];
    char comma;
    line >> got[0] >> comma >> got[1] >> comma >> got[2];
    for (int k = 0; k < 3; ++k)
    {
      EXPECT_EQ(expected[k], got[k]) << "point " << i << " axis " << k;
      anyMoved = anyMoved || expected[k] != in[i][k];
    }
  }
  EXPECT_TRUE(anyMoved) << "the transform should move some of the points";

  // A list that cannot be read changes nothing.
  const std::string bad = Path("bad.txt");
  std::ofstream(bad) << "1 2\n";
  EXPECT_FALSE(s.Command(ID_LOAD_POINTS, bad) && s.Prompts.Messages.empty());
  ASSERT_EQ(1u, s.Prompts.Messages.size());
  EXPECT_NE(std::string::npos, s.Prompts.Messages[0].Text.find("bad.txt"));
  EXPECT_EQ(3, s.Doc->Riding.GetCount());
}

// A target model shows beside the model, translucent and in its own colour; a file Open
// Model would refuse is refused with the reason, and the one shown stays.
TEST(EditingCommands, TargetModelIsShownTranslucent)
{
  Started s;
  const std::string target = ScannedModel("specimen.vtk");
  ASSERT_TRUE(s.Command(ID_LOAD_TARGET_MODEL, target));
  EXPECT_TRUE(s.Prompts.Messages.empty());
  ASSERT_TRUE(s.Doc->Target.IsLoaded());
  vtkActor* actor = s.Doc->Target.GetActor();
  EXPECT_TRUE(s.InRenderer(actor));
  EXPECT_LT(actor->GetProperty()->GetOpacity(), 1.0);
  double own[3];
  double body[3];
  actor->GetProperty()->GetColor(own);
  s.Doc->BodyActor->GetProperty()->GetColor(body);
  EXPECT_GT(
    std::abs(own[0] - body[0]) + std::abs(own[1] - body[1]) + std::abs(own[2] - body[2]), 0.3);
  EXPECT_GT(s.Doc->Target.GetSurface()->GetNumberOfCells(), 0);

  const std::string broken = Path("broken.vtk");
  std::ofstream(broken)
    << "# vtk DataFile Version 3.0\nx\nASCII\nDATASET POLYDATA\nPOINTS 9 float\n1 2\n";
  s.Command(ID_LOAD_TARGET_MODEL, broken);
  ASSERT_EQ(1u, s.Prompts.Messages.size());
  EXPECT_NE(std::string::npos, s.Prompts.Messages[0].Text.find("broken.vtk"));
  EXPECT_EQ(target, s.Doc->Target.GetFileName());

  // A model opened later keeps the target model beside it.
  s.Prompts.AnswerFile(SampleFile("leg.vtk"));
  s.Frame->ExecuteCommand(ID_FILE_OPEN);
  EXPECT_TRUE(s.InRenderer(actor));
}

// Unsaved landmark edits are asked about before the window closes or another model opens:
// Cancel keeps everything, Yes saves the landmarks, No goes on; the model file is never
// written for them.
TEST(EditingCommands, UnsavedEditsAreAskedAboutOnClose)
{
  const std::string model = Path("asked.vtk");
  std::ofstream(model, std::ios::binary)
    << std::ifstream(SampleFile("leg.vtk"), std::ios::binary).rdbuf();
  const std::string modelBytes = Bytes(model);
  Started s(model);
  ASSERT_TRUE(s.Doc->LoadLandmarks(SampleFile("leg.dat")));
  const double p[3] = { 0.2, 0.1, -0.05 };
  std::string refusal;
  ASSERT_GE(s.Doc->AddLandmarkPair(p, p, &refusal), 0) << refusal;
  ASSERT_TRUE(s.Doc->IsModified());

  s.Prompts.AnswerMessage(IDCANCEL);
  s.Frame->SendMessage(WM_CLOSE);
  ASSERT_EQ(1u, s.Prompts.Messages.size());
  EXPECT_NE(std::string::npos, s.Prompts.Messages[0].Text.find("landmarks"));
  EXPECT_EQ(s.Frame, s.App.Application->m_pMainWnd) << "Cancel keeps the window";
  EXPECT_TRUE(s.Doc->IsModified());

  struct Case
  {
    int Answer;
    bool Saved;
  };
  for (const Case c : { Case{ IDNO, false }, Case{ IDYES, true } })
  {
    const std::string path = Path(c.Saved ? "asked-yes.dat" : "asked-no.dat");
    s.Prompts.AnswerMessage(c.Answer);
    if (c.Saved)
    {
      s.Prompts.AnswerFile(path);
    }
    EXPECT_TRUE(s.Doc->SaveModified()) << c.Answer;
    EXPECT_EQ(c.Saved, std::ifstream(path).good()) << c.Answer;
    EXPECT_EQ(!c.Saved, s.Doc->IsModified()) << c.Answer;
  }
  // The model itself was never saved for the landmarks' sake.
  EXPECT_EQ(modelBytes, Bytes(model));
}

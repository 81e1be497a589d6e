// The blend pane, Set Blend, what is loaded, Close Transform, the texture that stays on the
// surface and the small status texts, through the real window.
#include "UxHarness.h"

#include "Clipboard.h"
#include "OptionsDlg.h"
#include "Prompts.h"
#include "SetBlendDlg.h"
#include "resource.h"
#include "vtkLabelThreshold.h"
#include "vtkDeformationColours.h"
#include "vtkShapeTransform.h"

#include <gtest/gtest.h>

#include <vtkDataArray.h>
#include <vtkPointData.h>
#include <vtkPoints.h>

#include <cmath>
#include <set>

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
  std::string Pane(const char* name) const { return this->Frame->m_wndStatusBar.GetPaneText(name); }
  std::string Message() const { return this->Frame->m_wndStatusBar.GetMessageText(); }
  void LoadTransform(const std::string& path)
  {
    this->Prompts.AnswerFile(path);
    ASSERT_TRUE(this->Frame->ExecuteCommand(ID_LOAD_TRANSFORM));
    ASSERT_EQ(this->Doc->TransformOn, 1);
  }
  void Open(const std::string& path)
  {
    this->Prompts.AnswerFile(path);
    Press(this->Frame, Qt::Key_O, Qt::ControlModifier);
  }
  /// Set Blend by its key, typing the text into the dialog and pressing OK.
  void SetBlendByKey(const std::string& text)
  {
    this->Prompts.AnswerDialog(
      [text](CDialog& d)
      {
        d.SetDlgItemText(IDC_BLEND, text);
        d.ClickDlgButton(IDOK);
      });
    Press(this->Frame, Qt::Key_B, Qt::ControlModifier);
  }
  /// The texture coordinates the textured part is drawn with now.
  std::vector<float> TexturedCoordinates()
  {
    this->View->Render();
    vtkDataArray* t = this->Doc->LowerThreshold->GetOutput()->GetPointData()->GetTCoords();
    std::vector<float> values;
    for (vtkIdType i = 0; t && i < t->GetNumberOfTuples(); ++i)
    {
      values.push_back(static_cast<float>(t->GetComponent(i, 0)));
      values.push_back(static_cast<float>(t->GetComponent(i, 1)));
    }
    return values;
  }
};

double MaxDistance(vtkPoints* a, vtkPoints* b)
{
  double worst = 0;
  for (vtkIdType i = 0; i < a->GetNumberOfPoints(); ++i)
  {
    worst =
      std::max(worst, std::sqrt(vtkMath::Distance2BetweenPoints(a->GetPoint(i), b->GetPoint(i))));
  }
  return worst;
}
}

TEST(BlendCommands, ThePaneShowsTheBlendAtEveryStepWhileTheDeformationRuns)
{
  Started s;
  EXPECT_EQ(s.Pane("blend"), "") << "no deformation yet";
  s.LoadTransform(SampleTransform());
  ASSERT_FALSE(s.View->IsPaused());
  // Running steps (every 6 ticks of 65 ms): the pane follows each, not only a pause.
  std::set<std::string> seen;
  ASSERT_TRUE(shell::WaitFor(
    [&]
    {
      const std::string text = s.Pane("blend");
      if (text == CHaldenView::BlendText(s.Doc->ShapeTransform->GetFactor()))
      {
        seen.insert(text);
      }
      return seen.size() >= 3;
    },
    60000));
  EXPECT_FALSE(s.View->IsPaused());
  EXPECT_EQ(s.Pane("transform"), "Transform leg.trc");
}

TEST(BlendCommands, SetBlendOnePausesAndSaveModelWritesWhatPravikWarpWritesAtOne)
{
  Started s;
  s.LoadTransform(SampleTransform());
  s.SetBlendByKey("1");
  ASSERT_EQ(s.Prompts.Dialogs.size(), 1u);
  EXPECT_EQ(s.Prompts.Dialogs[0], IDD_SET_BLEND);
  EXPECT_TRUE(s.View->IsPaused());
  EXPECT_EQ(s.Doc->ShapeTransform->GetFactor(), 1.0f);
  EXPECT_EQ(s.Pane("blend"), "Blend 1.00");
  EXPECT_EQ(s.Message(), "Blend 1.00") << "the paused blend, as Pause shows it";
  // Paused, the timer leaves the blend alone.
  const int tick = s.View->Tick;
  shell::Settle(300);
  EXPECT_EQ(s.View->Tick.load(), tick);
  EXPECT_EQ(s.Doc->ShapeTransform->GetFactor(), 1.0f);

  const std::string saved = shell::ConfigHome().toStdString() + "/full.vtk";
  const std::string warped = shell::ConfigHome().toStdString() + "/warped.vtk";
  s.Prompts.AnswerFile(saved);
  ASSERT_TRUE(s.Frame->ExecuteCommand(ID_SAVE_MODEL));
  ASSERT_EQ(pravikprocess::RunProgram(
              { QUORVEL_PRAVIK_WARP, SampleTransform(), SampleFile("leg.vtk"), warped, "1" }),
    0);
  std::string reason;
  auto a = ReadModelFile(saved, reason);
  auto b = ReadModelFile(warped, reason);
  auto loaded = ReadModelFile(SampleFile("leg.vtk"), reason);
  ASSERT_TRUE(a && b && loaded) << reason;
  ASSERT_EQ(a->GetNumberOfPoints(), b->GetNumberOfPoints());
  EXPECT_LT(MaxDistance(a->GetPoints(), b->GetPoints()), 1e-6);
  EXPECT_GT(MaxDistance(a->GetPoints(), loaded->GetPoints()), 1e-2) << "the model is deformed";
  EXPECT_EQ(a->GetPointData()->GetTCoords(), nullptr);

  // Any exact blend: 0 gives the model as loaded.
  s.SetBlendByKey("0");
  s.Prompts.AnswerFile(saved);
  ASSERT_TRUE(s.Frame->ExecuteCommand(ID_SAVE_MODEL));
  a = ReadModelFile(saved, reason);
  ASSERT_TRUE(a) << reason;
  EXPECT_LT(MaxDistance(a->GetPoints(), loaded->GetPoints()), 1e-6);
  EXPECT_TRUE(s.Prompts.Messages.empty());
}

TEST(BlendCommands, TheDialogRefusesWhatIsNotABlendAndKeepsAsking)
{
  struct Case
  {
    const char* Text;
    bool Accepted;
    double Value;
  };
  const Case cases[] = {
    { "0", true, 0.0 },
    { "1", true, 1.0 },
    { " 0.25 ", true, 0.25 },
    { "1e-1", true, 0.1 },
    { "1.0000001", false, 0 },
    { "-0.1", false, 0 },
    { "0,5", false, 0 },
    { "nan", false, 0 },
    { "inf", false, 0 },
    { "0x1", false, 0 },
    { "", false, 0 },
    { "half", false, 0 },
    { "0.5 0.6", false, 0 },
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(std::string("\"") + c.Text + "\"");
    double value = -1;
    EXPECT_EQ(CSetBlendDlg::ParseBlend(c.Text, value), c.Accepted);
    if (c.Accepted)
    {
      EXPECT_EQ(value, c.Value);
    }
  }

  Started s;
  s.Frame->UpdateCommandUI();
  EXPECT_FALSE(s.Frame->IsCommandEnabled(ID_SET_BLEND)) << "no deformation switched in";
  s.LoadTransform(SampleTransform());
  s.Prompts.AnswerDialog(
    [&](CDialog& d)
    {
      d.SetDlgItemText(IDC_BLEND, "1.5");
      d.ClickDlgButton(IDOK);
      EXPECT_TRUE(d.IsRunning()) << "still asking";
      d.SetDlgItemText(IDC_BLEND, "0.3");
      d.ClickDlgButton(IDOK);
    });
  Press(s.Frame, Qt::Key_B, Qt::ControlModifier);
  ASSERT_EQ(s.Prompts.Messages.size(), 1u);
  EXPECT_NE(s.Prompts.Messages[0].Text.find("from 0 to 1"), std::string::npos);
  EXPECT_EQ(s.Doc->ShapeTransform->GetFactor(), 0.3f);
  // Cancelled: nothing changes.
  s.Prompts.AnswerDialog(
    [](CDialog& d)
    {
      d.SetDlgItemText(IDC_BLEND, "0.9");
      d.ClickDlgButton(IDCANCEL);
    });
  Press(s.Frame, Qt::Key_B, Qt::ControlModifier);
  EXPECT_EQ(s.Doc->ShapeTransform->GetFactor(), 0.3f);
}

TEST(BlendCommands, TheStatusBarNamesTheTransformWarnsWhenItOutlivesItsModelAndCloseRemovesIt)
{
  Started s;
  const std::string other = ScannedModel("other.vtk");
  s.LoadTransform(SampleTransform());
  EXPECT_EQ(s.Pane("transform"), "Transform leg.trc");

  s.Open(other);
  ASSERT_EQ(s.Doc->GetPathName(), other);
  EXPECT_EQ(s.Doc->TransformOn, 1) << "the transform stays in force, as ever";
  EXPECT_NE(s.Message().find("leg.trc still deforms this model"), std::string::npos) << s.Message();

  s.Frame->UpdateCommandUI();
  ASSERT_TRUE(s.Frame->IsCommandEnabled(ID_CLOSE_TRANSFORM));
  Press(s.Frame, Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(s.Doc->TransformOn, 0);
  EXPECT_EQ(s.View->GetAnimationRunning(), 0);
  EXPECT_EQ(s.Pane("transform"), "");
  EXPECT_TRUE(shell::WaitFor([&] { return s.Pane("blend").empty(); })) << "at the next idle";
  s.Frame->UpdateCommandUI();
  EXPECT_FALSE(s.Frame->IsCommandEnabled(ID_CLOSE_TRANSFORM));
  EXPECT_FALSE(s.Frame->IsCommandEnabled(ID_SET_BLEND));

  s.Open(SampleFile("leg.vtk"));
  EXPECT_EQ(s.Message().find("still deforms"), std::string::npos) << s.Message();
  // The model as loaded is shown: the transform filter is out of the pipeline (the colours'
  // filter hands the model on as read).
  EXPECT_EQ(s.Doc->Normals->GetInputConnection(0, 0), s.Doc->Colours->GetOutputPort());
  EXPECT_EQ(s.Doc->Colours->GetInputConnection(0, 0), s.Doc->Reader->GetOutputPort());
  EXPECT_TRUE(s.Prompts.Messages.empty());
}

TEST(BlendCommands, ATextureOnAModelWithoutATexturedPartSaysItWillNotShow)
{
  struct Case
  {
    bool AllBody;
    bool Warned;
  };
  for (const Case c : { Case{ true, true }, Case{ false, false } })
  {
    SCOPED_TRACE(c.AllBody ? "all body" : "with a textured part");
    Started s(ScannedModel("textured.vtk", c.AllBody));
    s.Prompts.AnswerFile(SampleFile("leg.bmp"));
    ASSERT_TRUE(s.Frame->ExecuteCommand(ID_LOAD_TEXTURE));
    EXPECT_EQ(s.Doc->TextureOn, 1);
    EXPECT_EQ(s.Message().find("no textured part") != std::string::npos, c.Warned) << s.Message();
  }
}

TEST(BlendCommands, CopySaysThePictureWasCopied)
{
  Started s;
  Press(s.Frame, Qt::Key_C, Qt::ControlModifier);
  ASSERT_FALSE(GetClipboardData(CF_DIB).empty());
  const int* size = s.View->GetRenderWindow()->GetSize();
  EXPECT_EQ(s.Message(),
    "The picture (" + std::to_string(size[0]) + " x " + std::to_string(size[1]) +
      " pixels) was copied to the clipboard.");
}

TEST(BlendCommands, TheTextureMovesWithTheSurfaceOnlyWhenTheOptionSaysSo)
{
  Started s;
  s.Prompts.AnswerFile(SampleFile("leg.bmp"));
  ASSERT_TRUE(s.Frame->ExecuteCommand(ID_LOAD_TEXTURE));
  s.LoadTransform(SampleTransform());
  auto differs = [&]
  {
    s.SetBlendByKey("0");
    const std::vector<float> loaded = s.TexturedCoordinates();
    s.SetBlendByKey("0.96");
    const std::vector<float> bent = s.TexturedCoordinates();
    EXPECT_FALSE(loaded.empty());
    EXPECT_EQ(loaded.size(), bent.size());
    return loaded != bent;
  };
  // As first specified: computed on the shape shown, so the pattern slides over the surface.
  EXPECT_FALSE(s.Doc->GetTextureOnModelAsLoaded());
  EXPECT_TRUE(differs());

  // The option, and the sliders' values shown as they move.
  s.Prompts.AnswerDialog(
    [](CDialog& d)
    {
      EXPECT_EQ(
        d.GetDlgItemText(IDC_OPTION_VALUES), "Timer interval 65 ms; a step every 6 ticks (390 ms)");
      d.SetSliderPos(IDC_INTERVAL, 100);
      d.SetSliderPos(IDC_SPEED, 95);
      EXPECT_EQ(
        d.GetDlgItemText(IDC_OPTION_VALUES), "Timer interval 115 ms; a step every 1 tick (115 ms)");
      d.ClickDlgButton(IDC_TEXTURE_AS_LOADED);
      d.ClickDlgButton(IDOK);
    });
  ASSERT_TRUE(s.Frame->ExecuteCommand(ID_OPTIONS));
  EXPECT_TRUE(s.Doc->GetTextureOnModelAsLoaded());
  EXPECT_EQ(s.View->TimerInterval, 115);
  EXPECT_FALSE(differs()) << "the coordinates of the model as loaded go with every point";

  // Cancel of a later change withdraws it; unchecked again, the first behaviour is back.
  s.Prompts.AnswerDialog(
    [](CDialog& d)
    {
      d.ClickDlgButton(IDC_TEXTURE_AS_LOADED);
      d.ClickDlgButton(IDC_APPLY);
      d.ClickDlgButton(IDCANCEL);
    });
  ASSERT_TRUE(s.Frame->ExecuteCommand(ID_OPTIONS));
  EXPECT_TRUE(s.Doc->GetTextureOnModelAsLoaded());
  s.Prompts.AnswerDialog(
    [](CDialog& d)
    {
      d.ClickDlgButton(IDC_TEXTURE_AS_LOADED);
      d.ClickDlgButton(IDOK);
    });
  ASSERT_TRUE(s.Frame->ExecuteCommand(ID_OPTIONS));
  EXPECT_FALSE(s.Doc->GetTextureOnModelAsLoaded());
  EXPECT_TRUE(differs());
}

// While the deformation is paused the status bar says which blend Save Model would write.
#include "ShellHarness.h"

#include "CHaldenDoc.h"
#include "CHaldenView.h"
#include "MainFrm.h"
#include "Prompts.h"
#include "vtkShapeTransform.h"

#include <gtest/gtest.h>

#include <QFile>

TEST(BlendStatus, TheBlendIsWrittenWithTwoDecimals)
{
  const std::pair<float, const char*> cases[] = { { 0.0f, "Blend 0.00" }, { 0.04f, "Blend 0.04" },
    { 0.48f, "Blend 0.48" }, { 0.96f, "Blend 0.96" }, { 1.0f, "Blend 1.00" } };
  for (const auto& c : cases)
  {
    EXPECT_EQ(CHaldenView::BlendText(c.first), c.second);
  }
}

TEST(BlendStatus, PausingTheDeformationShowsTheBlendSaveModelWouldWrite)
{
  CScriptedPrompts prompts;
  // One landmark whose kernel moves every point of the small model.
  const std::string trc = shell::ConfigHome().toStdString() + "/blend.trc";
  QFile file(QString::fromStdString(trc));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(
    "[2.000000]\n[1]\n0.5 0.5 0.5\n[5]\n0.1 0.2 0.3\n0 0 0\n0 0 0\n0 0 0\n0 0 0\n[1]\n0\n");
  file.close();
  shell::Shell app({ shell::SmallModel("blend.vtk") });
  ASSERT_TRUE(app.Started);
  CMainFrame* frame = app.Frame();
  auto* view = dynamic_cast<CHaldenView*>(frame->GetActiveView());
  auto* doc = dynamic_cast<CHaldenDoc*>(frame->GetActiveDocument());
  ASSERT_TRUE(view && doc);
  const std::string idle = frame->m_wndStatusBar.GetMessageText();

  prompts.AnswerFile(trc);
  frame->ExecuteCommand(ID_LOAD_TRANSFORM);
  ASSERT_EQ(doc->TransformOn, 1);
  // Running: no blend shown.
  frame->UpdateCommandUI();
  EXPECT_EQ(frame->m_wndStatusBar.GetMessageText(), idle);

  view->Tick = 71; // the next tick is a step to 0.48
  ASSERT_TRUE(shell::WaitFor([&] { return doc->ShapeTransform->GetFactor() != 0.0f; }));
  frame->ExecuteCommand(ID_PAUSE);
  ASSERT_TRUE(view->IsPaused());
  const float factor = doc->ShapeTransform->GetFactor();
  EXPECT_EQ(frame->m_wndStatusBar.GetMessageText(), CHaldenView::BlendText(factor));
  EXPECT_NE(factor, 0.0f);

  // Resumed: the idle text again; paused another way, the idle update shows the blend.
  frame->ExecuteCommand(ID_PAUSE);
  EXPECT_EQ(frame->m_wndStatusBar.GetMessageText(), idle);
  view->OnPause();
  frame->UpdateCommandUI();
  EXPECT_EQ(frame->m_wndStatusBar.GetMessageText(),
    CHaldenView::BlendText(doc->ShapeTransform->GetFactor()));

  // Switched off (Load Transform cancelled), there is no blend to save.
  prompts.CancelFile();
  frame->ExecuteCommand(ID_LOAD_TRANSFORM);
  frame->UpdateCommandUI();
  EXPECT_EQ(frame->m_wndStatusBar.GetMessageText(), idle);
}

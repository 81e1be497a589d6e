// Opening a model from the dialog: while it is read and first drawn the status bar says what
// is read and the busy cursor shows; both go once it is drawn.
#include "ShellHarness.h"

#include "CHaldenDoc.h"
#include "CHaldenView.h"
#include "Prompts.h"
#include "vtkModelSource.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>

#include <vtkCallbackCommand.h>
#include <vtkCommand.h>

#include <string>

TEST(OpenStatus, ReadingAModelShowsWhatIsReadAndTheBusyCursorUntilItIsDrawn)
{
  CScriptedPrompts prompts;
  shell::Shell app;
  ASSERT_TRUE(app.Started);
  CMainFrame* frame = app.Frame();
  auto* doc = dynamic_cast<CHaldenDoc*>(frame->GetActiveDocument());
  ASSERT_TRUE(doc);
  const std::string idle = frame->m_wndStatusBar.GetMessageText();

  struct Seen
  {
    CMainFrame* Frame = nullptr;
    std::string Status;
    bool Busy = false;
  } seen;
  seen.Frame = frame;
  vtkNew<vtkCallbackCommand> look;
  look->SetClientData(&seen);
  look->SetCallback(
    [](vtkObject*, unsigned long, void* data, void*)
    {
      auto* s = static_cast<Seen*>(data);
      s->Status = s->Frame->m_wndStatusBar.GetMessageText();
      const QCursor* cursor = QApplication::overrideCursor();
      s->Busy = cursor && cursor->shape() == Qt::WaitCursor;
    });
  doc->Reader->AddObserver(vtkCommand::StartEvent, look);

  const std::string model = shell::SmallModel("opened.vtk");
  prompts.AnswerFile(model);
  frame->ExecuteCommand(ID_FILE_OPEN);

  EXPECT_EQ(seen.Status, "Reading " + model + "...");
  EXPECT_TRUE(seen.Busy);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(frame->m_wndStatusBar.GetMessageText(), idle);
  EXPECT_EQ(doc->GetPathName(), model);
}

// Start-up of the application: the window's place and size, the command line, the
// recent-file list across runs (in this process's own settings directory).
#include "ShellHarness.h"

#include "CHaldenDoc.h"
#include "DocTemplate.h"
#include "Document.h"
#include "OptionsDlg.h"
#include "Prompts.h"
#include "resource.h"
#include "vtkRecordPlayView.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QTimer>

#include <vtkActorCollection.h>
#include <vtkCamera.h>
#include <vtkRenderer.h>

#include <fstream>

using shell::Shell;

namespace
{
std::vector<std::string> RecentMenuTexts(CMainFrame* frame)
{
  std::vector<std::string> texts;
  auto* window = qobject_cast<QMainWindow*>(frame->GetWidget());
  QMenu* file = window->menuBar()->actions().at(0)->menu();
  for (QAction* a : file->actions())
  {
    if (a->isVisible() && a->text().startsWith('&') && a->text().at(1).isDigit())
    {
      texts.push_back(a->text().toStdString());
    }
  }
  return texts;
}

/**
 * Scripted file dialogs that, like a real modal dialog, first run an event loop of their
 * own: one opened after the application's event loop was told to end closes at once and
 * counts as cancelled (ClosedAtOnce).
 */
class ModalPrompts : public CScriptedPrompts
{
public:
  int ClosedAtOnce = 0;

  ModalPrompts()
  {
    // An earlier close in this test process ended the event loop: make it runnable again.
    shell::App();
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
  }

  FileDialogAnswer FileDialog(const FileDialogRequest& request) override
  {
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&loop] { loop.exit(1); });
    if (loop.exec() != 1)
    {
      ++this->ClosedAtOnce;
      this->FileRequests.push_back(request);
      return FileDialogAnswer{};
    }
    return CScriptedPrompts::FileDialog(request);
  }
};
}

TEST(HaldenStart, WithoutArgumentsAnEmptyDocumentInAWindowAt1x1Of652x572)
{
  Shell app;
  ASSERT_TRUE(app.Started);
  CMainFrame* frame = app.Frame();
  ASSERT_NE(frame, nullptr);
  QWidget* window = frame->GetWidget();
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->pos(), QPoint(1, 1));
  EXPECT_EQ(window->size(), QSize(652, 572));
  EXPECT_NE(frame->GetActiveView(), nullptr);
  ASSERT_NE(frame->GetActiveDocument(), nullptr);
  EXPECT_TRUE(frame->GetActiveDocument()->GetPathName().empty());
  EXPECT_NE(frame->GetWindowText().find("Halden"), std::string::npos);
  EXPECT_EQ(app.Application->GetRegistryKey(), "Quorvel");
  EXPECT_EQ(app.Application->GetAppName(), "Halden");
  EXPECT_EQ(app.Application->GetFirstDocTemplate()->GetDocString(regFileTypeId), "Halden.Document");
  EXPECT_EQ(app.Application->GetFirstDocTemplate()->GetDocString(fileNewName), "Hald");
}

TEST(HaldenStart, AModelOnTheCommandLineIsOpenedAndShown)
{
  CScriptedPrompts prompts;
  const std::string model = shell::SmallModel("leg.vtk");
  // Named relative to the directory Halden starts in: the document and the recent-file
  // list hold the absolute path, so the entry works from anywhere.
  const QString started = QDir::currentPath();
  QDir::setCurrent(shell::ConfigHome());
  Shell app({ "./leg.vtk" });
  QDir::setCurrent(started);
  ASSERT_TRUE(app.Started);
  auto* document = dynamic_cast<CHaldenDoc*>(app.Frame()->GetActiveDocument());
  ASSERT_NE(document, nullptr);
  EXPECT_EQ(document->NoData, 0);
  EXPECT_EQ(document->GetPathName(), model);
  EXPECT_EQ(app.Application->GetRecentFileList(), std::vector<std::string>{ model });
  EXPECT_EQ(RecentMenuTexts(app.Frame()), std::vector<std::string>{ "&1 " + model });
  EXPECT_EQ(app.Frame()->GetWindowText(), "leg.vtk - Halden");
  // The view shows the document's body and textured part instead of the empty text.
  auto* view = dynamic_cast<vtkRecordPlayView*>(app.Frame()->GetActiveView());
  ASSERT_NE(view, nullptr);
  vtkActorCollection* shown = view->GetRenderer()->GetActors();
  ASSERT_EQ(shown->GetNumberOfItems(), 2);
  EXPECT_EQ(shown->GetItemAsObject(0), document->BodyActor);
  EXPECT_TRUE(prompts.Messages.empty());
  EXPECT_TRUE(app.Frame()->IsCommandEnabled(ID_LOAD_TRANSFORM));
  // Load Transform proposes the coefficient file beside the model.
  prompts.CancelFile();
  ASSERT_TRUE(app.Frame()->ExecuteCommand(ID_LOAD_TRANSFORM));
  ASSERT_EQ(prompts.FileRequests.size(), 1u);
  EXPECT_EQ(prompts.FileRequests[0].InitialName, shell::ConfigHome().toStdString() + "/leg.trc");
}

TEST(HaldenStart, AFileThatCannotBeOpenedEndsTheStartWithAMessage)
{
  CScriptedPrompts prompts;
  Shell app({ shell::ConfigHome().toStdString() + "/no-such-model.vtk" });
  EXPECT_FALSE(app.Started);
  EXPECT_EQ(prompts.Messages.size(), 1u);
  EXPECT_TRUE(app.Application->GetRecentFileList().empty());
}

TEST(HaldenStart, TheRecentFileListSurvivesARestartAndHoldsTen)
{
  CScriptedPrompts prompts; // a message would otherwise wait for a person
  std::vector<std::string> files;
  for (int i = 0; i < 12; ++i)
  {
    files.push_back(shell::SmallModel("model" + std::to_string(i) + ".vtk"));
  }
  {
    Shell first({ files[0] });
    ASSERT_TRUE(first.Started);
    CDocTemplate* docTemplate = first.Application->GetFirstDocTemplate();
    for (int i = 1; i < 12; ++i)
    {
      ASSERT_NE(docTemplate->OpenDocumentFile(files[i].c_str()), nullptr);
    }
    ASSERT_EQ(first.Application->GetRecentFileList().size(), 10u);
  }
  // The file the settings live in: Quorvel/Halden under the settings directory.
  EXPECT_TRUE(QFile::exists(shell::ConfigHome() + "/Quorvel/Halden.conf"));

  Shell second;
  ASSERT_TRUE(second.Started);
  const auto& recent = second.Application->GetRecentFileList();
  ASSERT_EQ(recent.size(), 10u);
  EXPECT_EQ(recent.front(), files[11]); // latest first
  EXPECT_EQ(recent.back(), files[2]);   // the two oldest fell off
  const auto menu = RecentMenuTexts(second.Frame());
  ASSERT_EQ(menu.size(), 10u);
  EXPECT_EQ(menu.front(), "&1 " + files[11]);

  // An entry of the list opens its file.
  EXPECT_TRUE(second.Frame()->ExecuteCommand(ID_FILE_MRU_FILE1 + 3));
  EXPECT_EQ(second.Frame()->GetActiveDocument()->GetPathName(), files[8]);
  EXPECT_EQ(second.Application->GetRecentFileList().front(), files[8]);
  EXPECT_TRUE(prompts.Messages.empty());
}

TEST(HaldenStart, ExitClosesTheMainWindow)
{
  Shell app;
  ASSERT_TRUE(app.Started);
  QWidget* window = app.Frame()->GetWidget();
  ASSERT_TRUE(window->isVisible());
  EXPECT_TRUE(app.Frame()->ExecuteCommand(ID_APP_EXIT));
  EXPECT_TRUE(shell::WaitFor([&] { return app.Application->m_pMainWnd == nullptr; }));
}

TEST(HaldenOptions, TheViewsOptionsDialogSetsTheViewAndRestartsItsTimerOnlyWhenNeeded)
{
  Shell app;
  ASSERT_TRUE(app.Started);
  auto* view = dynamic_cast<vtkRecordPlayView*>(app.Frame()->GetActiveView());
  ASSERT_NE(view, nullptr);
  ASSERT_NE(dynamic_cast<COptionsDlg*>(view->GetOptionsDialog()), nullptr)
    << "the view made its dialog when its window was created";
  ASSERT_NE(view->GetTimerId(), -1);
  EXPECT_EQ(view->TimerInterval, 65);
  EXPECT_EQ(view->TicksPerStep.load(), 6);

  CScriptedPrompts prompts;
  prompts.AnswerDialog(
    [&](CDialog& d)
    {
      EXPECT_EQ(d.GetTemplateId(), IDD_OPTIONS);
      // Not playing: frame saving is not offered.
      EXPECT_FALSE(d.GetDlgItem(IDC_SAVEPPM)->IsWindowEnabled());
      view->FrameCounter = 7; // a timer restart starts the frame count again
      d.SetDlgItemText(IDC_PREFIX, "/tmp/elsewhere/shot");
      d.ClickDlgButton(IDC_APPLY);
      EXPECT_EQ(view->FramePrefix, "/tmp/elsewhere/shot");
      EXPECT_EQ(view->FrameCounter, 7) << "a new prefix alone keeps the timer";

      d.SetSliderPos(IDC_INTERVAL, 100);
      d.SetSliderPos(IDC_SPEED, 90);
      d.ClickDlgButton(IDC_APPLY);
      EXPECT_EQ(view->TimerInterval, 115);
      EXPECT_EQ(view->TicksPerStep.load(), 2);
      EXPECT_EQ(view->FrameCounter, 0) << "the timer was restarted";
      EXPECT_NE(view->GetTimerId(), -1);

      view->FrameCounter = 3;
      d.ClickDlgButton(IDCANCEL);
    });
  EXPECT_TRUE(app.Frame()->ExecuteCommand(ID_OPTIONS));
  EXPECT_EQ(prompts.Dialogs, std::vector<unsigned>{ IDD_OPTIONS });
  // Cancel withdrew what was applied, and restarted the timer for it.
  EXPECT_EQ(view->TimerInterval, 65);
  EXPECT_EQ(view->TicksPerStep.load(), 6);
  EXPECT_EQ(view->FramePrefix, "frame");
  EXPECT_EQ(view->Realtime.load(), 1);
  EXPECT_EQ(view->FrameCounter, 0);
  EXPECT_NE(view->GetTimerId(), -1);
  EXPECT_TRUE(static_cast<COptionsDlg*>(view->GetOptionsDialog())->IsRealtimeChosen());
}

TEST(HaldenClose, ClosingDuringARecordingOffersItAsStopDoes)
{
  struct Way
  {
    const char* Name;
    std::function<void(CMainFrame*)> Close;
  };
  const Way ways[] = {
    { "File > Exit", [](CMainFrame* f) { f->ExecuteCommand(ID_APP_EXIT); } },
    { "the window's close box", [](CMainFrame* f) { f->GetWidget()->close(); } },
  };
  int n = 0;
  for (const Way& way : ways)
  {
    SCOPED_TRACE(way.Name);
    ModalPrompts prompts;
    Shell app({ shell::SmallModel("closing.vtk") });
    ASSERT_TRUE(app.Started);
    auto* view = dynamic_cast<vtkRecordPlayView*>(app.Frame()->GetActiveView());
    ASSERT_TRUE(app.Frame()->ExecuteCommand(ID_RECORD));
    ASSERT_TRUE(app.Frame()->ExecuteCommand(ID_PAUSE));
    for (int i = 0; i < 5; ++i) // several captures of a turning camera
    {
      view->GetRenderer()->GetActiveCamera()->Azimuth(10);
      view->SendMessage(WM_TIMER, 0, 0);
    }
    const std::string saved =
      shell::ConfigHome().toStdString() + "/closing" + std::to_string(n++) + ".csr";
    prompts.AnswerFile(saved);

    way.Close(app.Frame());
    EXPECT_TRUE(shell::WaitFor([&] { return app.Application->m_pMainWnd == nullptr; }));
    ASSERT_EQ(prompts.FileRequests.size(), 1u);
    EXPECT_EQ(prompts.FileRequests[0].Title, "Save Record File");
    EXPECT_EQ(prompts.ClosedAtOnce, 0) << "the dialog came after the event loop had ended";
    std::ifstream file(saved);
    int lines = 0;
    for (std::string line; std::getline(file, line);)
    {
      ++lines;
    }
    EXPECT_EQ(lines, 6) << "the starting camera and the five captures";
  }
}

// Every command of the running application, reached by its menu item and by its keys:
// what it does with a model loaded, what is enabled on a fresh start, and that the
// accelerators without a handler reach their command and do nothing.
#include "ShellHarness.h"

#include "CHaldenDoc.h"
#include "CHaldenView.h"
#include "Clipboard.h"
#include "Dialog.h"
#include "Prompts.h"
#include "VtkWindow.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>

#include <set>

#include <vtkCamera.h>
#include <vtkRenderer.h>

namespace
{
// The application with a record of every command that travelled the whole route to the
// application object: the ones that the view, the document and the frame do not handle.
class SpyApp : public CHaldenApp
{
public:
  std::vector<UINT> Reached;
  BOOL OnCmdMsg(UINT nID, int nCode, CCmdUI* pCmdUI) override
  {
    this->Reached.push_back(nID);
    return CHaldenApp::OnCmdMsg(nID, nCode, pCmdUI);
  }
};
using SpyShell = shell::BasicShell<SpyApp>;

CHaldenDoc* Document(CMainFrame* frame)
{
  return dynamic_cast<CHaldenDoc*>(frame->GetActiveDocument());
}

CHaldenView* View(CMainFrame* frame)
{
  return dynamic_cast<CHaldenView*>(frame->GetActiveView());
}

// Everything a command could have done that the checks below look at.
struct Snapshot
{
  std::size_t Files, Colors, Messages, Dialogs;
  int Recording, Playing;
  bool Paused;
  int NoData;
  std::string Path;
  bool ToolbarShown, StatusShown;

  Snapshot(CMainFrame* frame, const CScriptedPrompts& prompts)
    : Files(prompts.FileRequests.size())
    , Colors(prompts.ColorRequests.size())
    , Messages(prompts.Messages.size())
    , Dialogs(prompts.Dialogs.size())
    , Recording(View(frame)->IsRecording())
    , Playing(View(frame)->IsPlaying())
    , Paused(View(frame)->IsPaused())
    , NoData(Document(frame)->NoData)
    , Path(Document(frame)->GetPathName())
    , ToolbarShown(frame->m_wndToolBar.GetToolBar()->isVisible())
    , StatusShown(frame->m_wndStatusBar.GetStatusBar()->isVisible())
  {
  }

  bool operator==(const Snapshot& o) const
  {
    return Files == o.Files && Colors == o.Colors && Messages == o.Messages &&
      Dialogs == o.Dialogs && Recording == o.Recording && Playing == o.Playing &&
      Paused == o.Paused && NoData == o.NoData && Path == o.Path &&
      ToolbarShown == o.ToolbarShown && StatusShown == o.StatusShown;
  }
};

void Activate(CMainFrame* frame)
{
  QWidget* window = frame->GetWidget();
  window->show();
  QApplication::setActiveWindow(window);
  shell::WaitFor([&] { return QApplication::activeWindow() == window; });
}
}

TEST(ShellCommands, AFreshStartEnablesOnlyWhatNeedsNoModel)
{
  shell::Shell app;
  ASSERT_TRUE(app.Started);
  CMainFrame* frame = app.Frame();
  frame->UpdateCommandUI();
  struct Case
  {
    UINT Command;
    bool Enabled;
  };
  const Case cases[] = {
    { ID_FILE_OPEN, true },
    { ID_SAVE_MODEL, false },
    { ID_LOAD_BACKGROUND, false },
    { ID_LOAD_TEXTURE, false },
    { ID_LOAD_TRANSFORM, false },
    { ID_APP_EXIT, true },
    { ID_EDIT_COPY, true },
    { ID_PLAY, false },
    { ID_PAUSE, false },
    { ID_STOP, false },
    { ID_RECORD, false },
    { ID_VIEW_TOOLBAR, true },
    { ID_VIEW_STATUS_BAR, true },
    { ID_BODY_COLOR, false },
    { ID_OPTIONS, true },
    { ID_APP_ABOUT, true },
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.Command);
    EXPECT_EQ(frame->IsCommandEnabled(c.Command), c.Enabled);
    EXPECT_EQ(frame->GetCommandAction(c.Command)->isEnabled(), c.Enabled)
      << "menu item and toolbar button follow";
  }
}

namespace
{
void ClearClipboard(CMainFrame* frame)
{
  ASSERT_TRUE(OpenClipboard(frame->GetActiveView()));
  EmptyClipboard();
  CloseClipboard();
  ASSERT_TRUE(GetClipboardData(CF_DIB).empty());
}

struct Loaded
{
  std::string Model;
  SpyShell App;
  CMainFrame* Frame;
  Loaded()
    : Model(shell::SmallModel("small.vtk"))
    , App({ Model })
    , Frame(App.Frame())
  {
    EXPECT_TRUE(App.Started);
    EXPECT_EQ(Document(Frame)->NoData, 0);
    EXPECT_EQ(Document(Frame)->GetPathName(), Model);
  }
};
}

TEST(ShellCommands, EachMenuItemReachesItsHandler)
{
  Loaded loaded;
  CMainFrame* frame = loaded.Frame;
  CHaldenView* view = View(frame);
  ASSERT_NE(view, nullptr);
  ASSERT_TRUE(shell::WaitFor([&] { return view->GetInteractor()->GetInitialized() != 0; }));
  CScriptedPrompts prompts;

  auto lastTitle = [&]
  { return prompts.FileRequests.empty() ? std::string() : prompts.FileRequests.back().Title; };
  struct Case
  {
    UINT Command;
    std::function<void()> Before;
    std::function<void()> Check;
  };
  const std::vector<Case> cases = {
    { ID_FILE_OPEN, [&] { prompts.CancelFile(); }, [&] { EXPECT_EQ(lastTitle(), "Open File"); } },
    { ID_LOAD_BACKGROUND, [&] { prompts.CancelFile(); },
      [&] { EXPECT_EQ(lastTitle(), "Load background Image"); } },
    { ID_LOAD_TEXTURE, [&] { prompts.CancelFile(); },
      [&] { EXPECT_EQ(lastTitle(), "Load Texture File"); } },
    { ID_LOAD_TRANSFORM, [&] { prompts.CancelFile(); },
      [&] { EXPECT_EQ(lastTitle(), "Load Transform File"); } },
    { ID_PAUSE, [] {}, [&] { EXPECT_TRUE(view->IsPaused()); } },
    // Saving is offered only while paused.
    { ID_SAVE_MODEL, [&] { prompts.CancelFile(); }, [&] { EXPECT_EQ(lastTitle(), "Save File"); } },
    { ID_PAUSE, [] {}, [&] { EXPECT_FALSE(view->IsPaused()); } },
    { ID_EDIT_COPY, [&] { ClearClipboard(frame); },
      [&] { EXPECT_FALSE(GetClipboardData(CF_DIB).empty()); } },
    { ID_PLAY, [&] { prompts.CancelFile(); },
      [&] { EXPECT_EQ(lastTitle(), "Choose Record File"); } },
    { ID_RECORD, [] {}, [&] { EXPECT_EQ(view->IsRecording(), 1); } },
    { ID_STOP, [&] { prompts.CancelFile(); },
      [&]
      {
        EXPECT_EQ(lastTitle(), "Save Record File");
        EXPECT_EQ(view->IsRecording(), 0);
      } },
    { ID_VIEW_TOOLBAR, [] {},
      [&] { EXPECT_FALSE(frame->m_wndToolBar.GetToolBar()->isVisible()); } },
    { ID_VIEW_TOOLBAR, [] {}, [&] { EXPECT_TRUE(frame->m_wndToolBar.GetToolBar()->isVisible()); } },
    { ID_VIEW_STATUS_BAR, [] {},
      [&] { EXPECT_FALSE(frame->m_wndStatusBar.GetStatusBar()->isVisible()); } },
    { ID_VIEW_STATUS_BAR, [] {},
      [&] { EXPECT_TRUE(frame->m_wndStatusBar.GetStatusBar()->isVisible()); } },
    { ID_BODY_COLOR, [&] { prompts.CancelColor(); },
      [&] { EXPECT_EQ(prompts.ColorRequests.size(), 1u); } },
    { ID_OPTIONS, [&] { prompts.AnswerDialog([](CDialog& d) { d.ClickDlgButton(IDCANCEL); }); },
      [&] { EXPECT_EQ(prompts.Dialogs.back(), IDD_OPTIONS); } },
    { ID_APP_ABOUT, [&] { prompts.AnswerDialog([](CDialog& d) { d.ClickDlgButton(IDOK); }); },
      [&] { EXPECT_EQ(prompts.Dialogs.back(), IDD_ABOUTBOX); } },
    { ID_FILE_MRU_FILE1, [] {}, [&] { EXPECT_EQ(Document(frame)->GetPathName(), loaded.Model); } },
    { ID_APP_EXIT, [] {},
      [&] {
        EXPECT_TRUE(shell::WaitFor([&] { return loaded.App.Application->m_pMainWnd == nullptr; }));
      } },
  };
  std::set<UINT> covered;
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.Command);
    covered.insert(c.Command);
    frame->UpdateCommandUI();
    QAction* item = frame->GetCommandAction(c.Command);
    if (c.Command == ID_FILE_MRU_FILE1)
    {
      EXPECT_TRUE(frame->ExecuteCommand(c.Command)); // the list's entries have own actions
    }
    else
    {
      ASSERT_NE(item, nullptr);
      ASSERT_TRUE(item->isEnabled());
      c.Before();
      item->trigger();
    }
    c.Check();
  }
  // Nothing unexpected was asked, and every command of the menu was tried.
  EXPECT_TRUE(prompts.Messages.empty());
  EXPECT_EQ(prompts.Unanswered, 0);
  EXPECT_EQ(covered.size(), 17u);
}

TEST(ShellCommands, EachAcceleratorReachesItsCommandOrDoesNothing)
{
  Loaded loaded;
  CMainFrame* frame = loaded.Frame;
  CHaldenView* view = View(frame);
  SpyApp* spy = loaded.App.Application.get();
  ASSERT_TRUE(shell::WaitFor([&] { return view->GetInteractor()->GetInitialized() != 0; }));
  Activate(frame);
  QWidget* window = frame->GetWidget();
  CScriptedPrompts prompts;
  auto lastTitle = [&]
  { return prompts.FileRequests.empty() ? std::string() : prompts.FileRequests.back().Title; };

  auto* document = dynamic_cast<CHaldenDoc*>(frame->GetActiveDocument());
  ASSERT_NE(document, nullptr);
  auto addPair = [document]
  {
    const double p[3] = { 0.1, 0.2, 0.3 };
    document->AddLandmarkPair(p, p, nullptr);
    document->LandmarksChanged();
  };
  auto landmarkCount = [document] { return document->Landmarks.GetCount(); };
  struct Case
  {
    const char* Keys;
    Qt::Key Key;
    Qt::KeyboardModifiers Modifiers;
    UINT Command;
    std::function<void()> Before; // null: the command has no handler
    std::function<void()> Check;
  };
  const std::vector<Case> cases = {
    { "Ctrl+C", Qt::Key_C, Qt::ControlModifier, ID_EDIT_COPY, [&] { ClearClipboard(frame); },
      [&] { EXPECT_FALSE(GetClipboardData(CF_DIB).empty()); } },
    { "Ctrl+F", Qt::Key_F, Qt::ControlModifier, ID_FIND, nullptr, nullptr },
    { "Ctrl+N", Qt::Key_N, Qt::ControlModifier, ID_FILE_NEW, nullptr, nullptr },
    { "Ctrl+O", Qt::Key_O, Qt::ControlModifier, ID_FILE_OPEN, [&] { prompts.CancelFile(); },
      [&] { EXPECT_EQ(lastTitle(), "Open File"); } },
    { "Ctrl+P", Qt::Key_P, Qt::ControlModifier, ID_PLAY, [&] { prompts.CancelFile(); },
      [&] { EXPECT_EQ(lastTitle(), "Choose Record File"); } },
    { "Ctrl+R", Qt::Key_R, Qt::ControlModifier, ID_RECORD, [] {},
      [&] { EXPECT_EQ(view->IsRecording(), 1); } },
    { "Ctrl+V", Qt::Key_V, Qt::ControlModifier, ID_EDIT_PASTE, nullptr, nullptr },
    // Undo takes back a landmark edit.
    { "Alt+Backspace", Qt::Key_Backspace, Qt::AltModifier, ID_EDIT_UNDO, addPair,
      [&] { EXPECT_EQ(0, landmarkCount()); } },
    { "Ctrl+Break", Qt::Key_Pause, Qt::ControlModifier, ID_STOP, [&] { prompts.CancelFile(); },
      [&]
      {
        EXPECT_EQ(lastTitle(), "Save Record File");
        EXPECT_EQ(view->IsRecording(), 0);
      } },
    { "Shift+Delete", Qt::Key_Delete, Qt::ShiftModifier, ID_EDIT_CUT, nullptr, nullptr },
    { "F6", Qt::Key_F6, Qt::NoModifier, ID_NEXT_PANE, nullptr, nullptr },
    { "Shift+F6", Qt::Key_F6, Qt::ShiftModifier, ID_PREV_PANE, nullptr, nullptr },
    { "Ctrl+Insert", Qt::Key_Insert, Qt::ControlModifier, ID_EDIT_COPY,
      [&] { ClearClipboard(frame); }, [&] { EXPECT_FALSE(GetClipboardData(CF_DIB).empty()); } },
    { "Shift+Insert", Qt::Key_Insert, Qt::ShiftModifier, ID_EDIT_PASTE, nullptr, nullptr },
    { "Space", Qt::Key_Space, Qt::NoModifier, ID_PAUSE, [] {},
      [&] { EXPECT_TRUE(view->IsPaused()); } },
    { "Ctrl+X", Qt::Key_X, Qt::ControlModifier, ID_EDIT_CUT, nullptr, nullptr },
    { "Ctrl+Z", Qt::Key_Z, Qt::ControlModifier, ID_EDIT_UNDO, addPair,
      [&] { EXPECT_EQ(0, landmarkCount()); } },
    // No accelerator: the label of Save Model names Ctrl-S, but the key does nothing.
    { "Ctrl+S", Qt::Key_S, Qt::ControlModifier, 0, nullptr, nullptr },
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.Keys);
    frame->UpdateCommandUI();
    if (c.Before)
    {
      c.Before();
      QTest::keyClick(window, c.Key, c.Modifiers);
      c.Check();
      continue;
    }
    const Snapshot before(frame, prompts);
    spy->Reached.clear();
    QTest::keyClick(window, c.Key, c.Modifiers);
    shell::Settle(50);
    EXPECT_TRUE(Snapshot(frame, prompts) == before) << "the key changed something";
    if (c.Command != 0)
    {
      EXPECT_NE(std::find(spy->Reached.begin(), spy->Reached.end(), c.Command), spy->Reached.end())
        << "the key did not send its command";
      EXPECT_FALSE(frame->ExecuteCommand(c.Command)) << "somebody handles it";
    }
  }
  EXPECT_TRUE(prompts.Messages.empty());
}

TEST(ShellCommands, EnablingFollowsTheModelAndThePlayState)
{
  Loaded loaded;
  CMainFrame* frame = loaded.Frame;
  CHaldenView* view = View(frame);
  CScriptedPrompts prompts;
  struct State
  {
    const char* Name;
    std::function<void()> Enter;
    std::set<UINT> Enabled;
  };
  const std::set<UINT> always = { ID_FILE_OPEN, ID_APP_EXIT, ID_EDIT_COPY, ID_VIEW_TOOLBAR,
    ID_VIEW_STATUS_BAR, ID_OPTIONS, ID_APP_ABOUT };
  auto with = [&](std::set<UINT> more)
  {
    more.insert(always.begin(), always.end());
    return more;
  };
  const std::set<UINT> model = { ID_LOAD_BACKGROUND, ID_LOAD_TEXTURE, ID_LOAD_TRANSFORM, ID_PAUSE,
    ID_BODY_COLOR };
  auto withModel = [&](std::set<UINT> more)
  {
    more.insert(model.begin(), model.end());
    return with(more);
  };
  const std::vector<State> states = {
    { "idle", [] {}, withModel({ ID_PLAY, ID_RECORD }) },
    { "idle, frozen", [&] { frame->ExecuteCommand(ID_PAUSE); },
      withModel({ ID_PLAY, ID_RECORD, ID_SAVE_MODEL }) },
    { "recording armed", [&] { frame->ExecuteCommand(ID_RECORD); },
      withModel({ ID_STOP, ID_RECORD, ID_SAVE_MODEL }) },
    { "recording", [&] { frame->ExecuteCommand(ID_PAUSE); }, withModel({ ID_STOP }) },
    { "idle again",
      [&]
      {
        prompts.CancelFile();
        frame->ExecuteCommand(ID_STOP);
      },
      withModel({ ID_PLAY, ID_RECORD }) },
  };
  const UINT all[] = { ID_FILE_OPEN, ID_SAVE_MODEL, ID_LOAD_BACKGROUND, ID_LOAD_TEXTURE,
    ID_LOAD_TRANSFORM, ID_APP_EXIT, ID_EDIT_COPY, ID_PLAY, ID_PAUSE, ID_STOP, ID_RECORD,
    ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR, ID_BODY_COLOR, ID_OPTIONS, ID_APP_ABOUT };
  for (const State& s : states)
  {
    SCOPED_TRACE(s.Name);
    s.Enter();
    frame->UpdateCommandUI();
    for (UINT id : all)
    {
      const bool expected = s.Enabled.count(id) != 0;
      EXPECT_EQ(frame->GetCommandAction(id)->isEnabled(), expected) << id;
    }
    // The toolbar's buttons are the same actions.
    EXPECT_EQ(frame->m_wndToolBar.GetButton(ID_STOP)->isEnabled(), s.Enabled.count(ID_STOP) != 0);
  }
  EXPECT_EQ(view->IsRecording(), 0);
}

TEST(ShellCommands, SavePpmChosenDuringAPlaybackSavesItsFramesUntilItEnds)
{
  Loaded loaded;
  CMainFrame* frame = loaded.Frame;
  CHaldenView* view = View(frame);
  ASSERT_TRUE(shell::WaitFor([&] { return view->GetInteractor()->GetInitialized() != 0; }));
  CScriptedPrompts prompts;
  const QString dir = shell::ConfigHome() + "/frames";
  ASSERT_TRUE(QDir().mkpath(dir));
  const std::string path = (shell::ConfigHome() + "/turn.csr").toStdString();

  // A recorded path of a few camera states, each a few timer ticks after the one before.
  ASSERT_TRUE(frame->ExecuteCommand(ID_RECORD));
  ASSERT_TRUE(frame->ExecuteCommand(ID_PAUSE));
  for (int i = 0; i < 4; ++i)
  {
    const int tick = view->Tick.load();
    ASSERT_TRUE(shell::WaitFor([&] { return view->Tick.load() != tick; }));
    view->GetRenderer()->GetActiveCamera()->Azimuth(10);
    view->SendMessage(WM_TIMER, 1, 0);
  }
  prompts.AnswerFile(path);
  ASSERT_TRUE(frame->ExecuteCommand(ID_STOP));
  ASSERT_TRUE(QFile::exists(QString::fromStdString(path)));

  // Armed playback; frame saving is chosen now, as it is offered only during a playback.
  prompts.AnswerFile(path);
  ASSERT_TRUE(frame->ExecuteCommand(ID_PLAY));
  ASSERT_EQ(view->IsPlaying(), 1);
  prompts.AnswerDialog(
    [&](CDialog& d)
    {
      EXPECT_TRUE(d.GetDlgItem(IDC_SAVEPPM)->IsWindowEnabled());
      d.ClickDlgButton(IDC_SAVEPPM);
      d.SetDlgItemText(IDC_PREFIX, (dir + "/shot").toStdString());
      d.ClickDlgButton(IDOK);
    });
  ASSERT_TRUE(frame->ExecuteCommand(ID_OPTIONS));
  EXPECT_EQ(view->Realtime.load(), 0);
  EXPECT_EQ(view->FramePrefix, (dir + "/shot").toStdString());

  ASSERT_TRUE(frame->ExecuteCommand(ID_PAUSE)); // runs the playback
  ASSERT_TRUE(shell::WaitFor([&] { return view->IsPlaying() == 0; }, 60000));
  EXPECT_TRUE(QFile::exists(dir + "/shot0000.bmp"));
  EXPECT_TRUE(QFile::exists(dir + "/shot0001.bmp"));
  EXPECT_EQ(view->Realtime.load(), 1) << "real time again after the playback";
  EXPECT_TRUE(prompts.Messages.empty());

  // The next showing, with no playback, offers real time only.
  prompts.AnswerDialog(
    [&](CDialog& d)
    {
      EXPECT_EQ(d.IsDlgButtonChecked(IDC_REALTIME), BST_CHECKED);
      EXPECT_FALSE(d.GetDlgItem(IDC_SAVEPPM)->IsWindowEnabled());
      d.ClickDlgButton(IDOK);
    });
  ASSERT_TRUE(frame->ExecuteCommand(ID_OPTIONS));
  EXPECT_EQ(view->Realtime.load(), 1);
}

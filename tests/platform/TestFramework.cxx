// The document/view framework: commands reach exactly the class that lists them, enabling
// handlers drive the menu item and the toolbar button, the status bar shows prompts, the
// start-up sequence and the recent-file list, messages posted from another thread.
#include "DocTemplate.h"
#include "Document.h"
#include "FrameWnd.h"
#include "GuiTestSupport.h"
#include "Prompts.h"
#include "Resources.h"
#include "View.h"
#include "WinApp.h"
#include "mmtimer.h"

#include <QAction>
#include <QApplication>
#include <QHelpEvent>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTemporaryDir>
#include <QThread>
#include <QToolBar>
#include <QToolTip>
#include <QWidget>

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

namespace
{
constexpr UINT IDR_TEST = 200;
constexpr UINT ID_DOC_CMD = 32001;   // listed by the document
constexpr UINT ID_VIEW_CMD = 32002;  // listed by the view
constexpr UINT ID_APP_CMD = 32003;   // listed by the application
constexpr UINT ID_SHARED = 32004;    // listed by document and view: the view is asked first
constexpr UINT ID_NOBODY = 32005;    // listed by nobody
constexpr UINT ID_TOGGLED = 32006;   // document command whose enabling the test switches
constexpr UINT ID_FRAME_CMD = 32007; // listed by the frame

std::vector<std::string> Calls;

using guitest::App;

using guitest::WaitFor;

class TestDoc : public CDocument
{
public:
  bool ToggledEnabled = false;
  int DeleteContentsCalls = 0;
  TestDoc()
  {
    this->MapCommand(ID_DOC_CMD, CommandHandler([] { Calls.push_back("doc"); }));
    this->MapCommand(ID_SHARED, CommandHandler([] { Calls.push_back("doc-shared"); }));
    this->MapCommand(ID_TOGGLED, &TestDoc::OnToggled);
    this->MapCommandUI(ID_TOGGLED, &TestDoc::OnUpdateToggled);
  }
  void OnToggled() { Calls.push_back("toggled"); }
  void OnUpdateToggled(CCmdUI* ui) { ui->Enable(this->ToggledEnabled); }
  void DeleteContents() override { ++this->DeleteContentsCalls; }
};

class TestView : public CView
{
public:
  std::vector<UINT> Messages;
  std::vector<std::thread::id> Threads;
  TestView()
  {
    this->MapCommand(ID_VIEW_CMD, CommandHandler([] { Calls.push_back("view"); }));
    this->MapCommand(ID_SHARED, CommandHandler([] { Calls.push_back("view-shared"); }));
  }
  void OnDraw(CDC*) override {}
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
  {
    this->Messages.push_back(message);
    this->Threads.push_back(std::this_thread::get_id());
    return CView::WindowProc(message, wParam, lParam);
  }
};

class TestFrame : public CFrameWnd
{
public:
  CToolBar ToolBar;
  CStatusBar StatusBar;
  TestFrame()
  {
    this->MapCommand(ID_FRAME_CMD, CommandHandler([] { Calls.push_back("frame"); }));
  }

protected:
  int OnCreate(LPCREATESTRUCT cs) override
  {
    if (CFrameWnd::OnCreate(cs) == -1)
    {
      return -1;
    }
    static const UINT indicators[] = { ID_SEPARATOR, ID_INDICATOR_CAPS, ID_INDICATOR_NUM,
      ID_INDICATOR_SCRL };
    if (!this->ToolBar.CreateEx(this) || !this->ToolBar.LoadToolBar(IDR_TEST) ||
      !this->StatusBar.Create(this) || !this->StatusBar.SetIndicators(indicators, 4))
    {
      return -1;
    }
    return 0;
  }
};

class TestApp : public CWinApp
{
public:
  TestApp()
    : CWinApp("FrameworkTest")
  {
    this->MapCommand(ID_APP_CMD, CommandHandler([] { Calls.push_back("app"); }));
  }
};

void FillResources()
{
  CResources& res = CResources::Get();
  res.Strings[IDR_TEST] = "Tester\n\nTest\n\n\nTester.Document\nTest Document";
  res.Strings[ID_TOGGLED] = "Toggle the thing\n";
  res.Strings[ID_DOC_CMD] = "Run the document command\nDoc";
  res.Menus[IDR_TEST] = {
    MenuItem::Sub("&File",
      { MenuItem::Item("&Doc", ID_DOC_CMD), MenuItem::Item("&Toggled", ID_TOGGLED), MenuItem::Sep(),
        MenuItem::Item("Recent File", ID_FILE_MRU_FILE1, true), MenuItem::Sep(),
        MenuItem::Item("E&xit", ID_APP_EXIT) }),
    MenuItem::Sub("&Other",
      { MenuItem::Item("&View", ID_VIEW_CMD), MenuItem::Item("&App", ID_APP_CMD),
        MenuItem::Item("&Nobody", ID_NOBODY) }),
  };
  res.Accelerators[IDR_TEST] = { { FVIRTKEY | FCONTROL, 'T', ID_TOGGLED } };
  ToolbarResource bar;
  bar.Buttons = { ID_TOGGLED, ID_SEPARATOR, ID_DOC_CMD };
  bar.Images = { { "xxxx", "x..x", "xxxx" }, { "x", "x" } };
  bar.Palette['x'] = RGB(0, 0, 0);
  res.Toolbars[IDR_TEST] = bar;
}

// An application, its template, document, frame and view, with the settings in a
// directory of the test's own.
struct Fixture
{
  QTemporaryDir Settings;
  std::unique_ptr<TestApp> Application;
  CSingleDocTemplate* Template = nullptr;
  TestDoc* Doc = nullptr;
  TestFrame* Frame = nullptr;
  TestView* View = nullptr;

  Fixture()
  {
    App();
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, this->Settings.path());
    FillResources();
    Calls.clear();
    this->Application.reset(new TestApp);
    this->Application->SetRegistryKey("Quorvel");
    this->Application->LoadStdProfileSettings(10);
    this->Template = new CSingleDocTemplate(
      IDR_TEST, RUNTIME_CLASS(TestDoc), RUNTIME_CLASS(TestFrame), RUNTIME_CLASS(TestView));
    this->Application->AddDocTemplate(this->Template);
  }

  bool Start(const std::vector<std::string>& args = {})
  {
    static std::vector<std::string> storage;
    static std::vector<char*> argv;
    storage = args;
    storage.insert(storage.begin(), "tester");
    argv.clear();
    for (auto& s : storage)
    {
      argv.push_back(&s[0]);
    }
    argv.push_back(nullptr);
    this->Application->m_argc = static_cast<int>(storage.size());
    this->Application->m_argv = argv.data();
    CCommandLineInfo info;
    this->Application->ParseCommandLine(info);
    if (!this->Application->ProcessShellCommand(info))
    {
      return false;
    }
    this->Doc = dynamic_cast<TestDoc*>(this->Template->GetDocument());
    this->Frame = dynamic_cast<TestFrame*>(this->Template->GetFrame());
    this->View = dynamic_cast<TestView*>(this->Frame->GetActiveView());
    return this->Doc && this->Frame && this->View;
  }

  ~Fixture()
  {
    this->Application.reset();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
};
}

TEST(Framework, EachCommandReachesExactlyTheClassThatListsIt)
{
  Fixture f;
  ASSERT_TRUE(f.Start());
  const std::vector<std::pair<UINT, std::string>> cases = { { ID_DOC_CMD, "doc" },
    { ID_VIEW_CMD, "view" }, { ID_APP_CMD, "app" }, { ID_FRAME_CMD, "frame" },
    { ID_SHARED, "view-shared" } };
  for (const auto& c : cases)
  {
    Calls.clear();
    EXPECT_TRUE(f.Frame->ExecuteCommand(c.first)) << c.first;
    ASSERT_EQ(Calls.size(), 1u) << "command " << c.first;
    EXPECT_EQ(Calls[0], c.second) << "command " << c.first;
  }
  Calls.clear();
  EXPECT_FALSE(f.Frame->ExecuteCommand(ID_NOBODY));
  EXPECT_TRUE(Calls.empty());

  // The menu item is the same road.
  Calls.clear();
  f.Frame->UpdateCommandUI();
  f.Frame->GetCommandAction(ID_VIEW_CMD)->trigger();
  EXPECT_EQ(Calls, std::vector<std::string>{ "view" });
}

TEST(Framework, EnablingShowsOnMenuItemAndToolbarButtonAndGuardsTheCommand)
{
  Fixture f;
  ASSERT_TRUE(f.Start());
  QAction* item = f.Frame->GetCommandAction(ID_TOGGLED);
  QWidget* button = f.Frame->ToolBar.GetButton(ID_TOGGLED);
  ASSERT_NE(item, nullptr);
  ASSERT_NE(button, nullptr);
  ASSERT_TRUE(f.Frame->GetWidget()->findChild<QMenuBar*>()->actions().size() == 2);

  for (bool enabled : { false, true, false })
  {
    f.Doc->ToggledEnabled = enabled;
    f.Frame->UpdateCommandUI();
    EXPECT_EQ(item->isEnabled(), enabled);
    EXPECT_EQ(button->isEnabled(), enabled);
    Calls.clear();
    EXPECT_EQ(f.Frame->ExecuteCommand(ID_TOGGLED) != FALSE, enabled);
    EXPECT_EQ(Calls.size(), enabled ? 1u : 0u);
  }

  // No handler anywhere: disabled; a handler without enabling handler: enabled.
  f.Frame->UpdateCommandUI();
  EXPECT_FALSE(f.Frame->GetCommandAction(ID_NOBODY)->isEnabled());
  EXPECT_TRUE(f.Frame->GetCommandAction(ID_VIEW_CMD)->isEnabled());

  // The enabling turns up in the menu by itself when it opens.
  f.Doc->ToggledEnabled = true;
  QMenu* file = f.Frame->GetWidget()->findChild<QMenuBar*>()->actions()[0]->menu();
  ASSERT_NE(file, nullptr);
  item->setEnabled(false);
  emit file->aboutToShow();
  EXPECT_TRUE(item->isEnabled());
}

TEST(Framework, StatusBarShowsPromptsAndIndicatorsAndTooltipsFollowTheString)
{
  Fixture f;
  ASSERT_TRUE(f.Start());
  EXPECT_EQ(f.Frame->StatusBar.GetMessageText(), "Ready");
  EXPECT_EQ(
    f.Frame->StatusBar.GetIndicatorTexts(), (std::vector<std::string>{ "CAP", "NUM", "SCRL" }));

  // Hovering shows the part before "\n" in the status bar.
  QAction* item = f.Frame->GetCommandAction(ID_DOC_CMD);
  EXPECT_EQ(item->statusTip().toStdString(), "Run the document command");
  QStatusTipEvent tip(item->statusTip());
  QApplication::sendEvent(f.Frame->GetWidget(), &tip);
  EXPECT_EQ(f.Frame->StatusBar.GetMessageText(), "Run the document command");
  QStatusTipEvent clear{ QString() };
  QApplication::sendEvent(f.Frame->GetWidget(), &clear);
  EXPECT_EQ(f.Frame->StatusBar.GetMessageText(), "Ready");

  // The tooltip is the part after "\n"; none when that part is empty.
  auto tooltipShown = [&](UINT id)
  {
    QWidget* button = f.Frame->ToolBar.GetButton(id);
    QToolTip::hideText();
    WaitFor([] { return !QToolTip::isVisible(); });
    QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), button->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(button, &help);
    return QToolTip::isVisible() ? QToolTip::text().toStdString() : std::string();
  };
  f.Frame->ShowWindow(SW_SHOW);
  EXPECT_EQ(tooltipShown(ID_DOC_CMD), "Doc");
  EXPECT_EQ(tooltipShown(ID_TOGGLED), "");
}

TEST(Framework, StartWithoutArgumentsMakesAnEmptyDocumentAndAFileThatCannotOpenFails)
{
  {
    Fixture f;
    ASSERT_TRUE(f.Start());
    EXPECT_EQ(f.Doc->DeleteContentsCalls, 1);
    EXPECT_EQ(f.Doc->GetFirstView(), f.View);
    EXPECT_EQ(f.View->GetDocument(), f.Doc);
    EXPECT_EQ(f.Frame->GetWindowText(), "Test - Tester");
    EXPECT_EQ(AfxGetMainWnd(), f.Frame);
  }
  {
    Fixture f;
    CScriptedPrompts prompts;
    EXPECT_FALSE(f.Start({ "/nonexistent/dir/model.vtk" }));
    ASSERT_EQ(prompts.Messages.size(), 1u) << "the failure is reported";
    EXPECT_NE(prompts.Messages[0].Text.find("/nonexistent/dir/model.vtk"), std::string::npos);
    EXPECT_EQ(f.Template->GetFrame(), nullptr) << "no window is left behind";
  }
}

TEST(Framework, OpeningFilesFillsTheRecentListThatOutlivesTheRun)
{
  QTemporaryDir files;
  std::vector<std::string> paths;
  for (int i = 0; i < 12; ++i)
  {
    paths.push_back(files.path().toStdString() + "/m" + std::to_string(i) + ".vtk");
    std::ofstream(paths.back()) << "x";
  }
  Fixture f;
  ASSERT_TRUE(f.Start({ paths[0] }));
  EXPECT_EQ(f.Doc->GetPathName(), paths[0]);
  EXPECT_EQ(f.Doc->DeleteContentsCalls, 1);
  for (int i = 1; i < 12; ++i)
  {
    f.Doc->SetPathName(paths[i]);
  }
  f.Doc->SetPathName(paths[5]); // again: moves to the top, no duplicate
  const auto& list = f.Application->GetRecentFileList();
  ASSERT_EQ(list.size(), 10u);
  EXPECT_EQ(list[0], paths[5]);
  EXPECT_EQ(list[1], paths[11]);
  EXPECT_EQ(list[9], paths[2]);

  // Another run with the same settings reads the same list.
  {
    QSettings settings("Quorvel", "FrameworkTest");
    EXPECT_EQ(settings.value("Recent File List/File1").toString().toStdString(), paths[5]);
    EXPECT_EQ(settings.value("Recent File List/File10").toString().toStdString(), paths[2]);
    EXPECT_FALSE(settings.contains("Recent File List/File11"));
  }
  const std::vector<std::string> saved = list;
  f.Application->LoadStdProfileSettings(10);
  EXPECT_EQ(f.Application->GetRecentFileList(), saved);

  // The File menu shows the list; an entry opens its file.
  f.Frame->UpdateCommandUI();
  Calls.clear();
  const int before = f.Doc->DeleteContentsCalls;
  EXPECT_TRUE(f.Frame->ExecuteCommand(ID_FILE_MRU_FILE1 + 2));
  EXPECT_EQ(f.Doc->GetPathName(), paths[10]);
  EXPECT_EQ(f.Application->GetRecentFileList()[0], paths[10]);
  EXPECT_EQ(f.Doc->DeleteContentsCalls, before + 1);
  EXPECT_FALSE(f.Frame->IsCommandEnabled(ID_FILE_MRU_FILE1 + 10));
}

TEST(Framework, PostMessageFromTheTimerThreadReachesWindowProcOnTheUserInterfaceThread)
{
  Fixture f;
  ASSERT_TRUE(f.Start());
  f.View->Messages.clear();
  f.View->Threads.clear();
  struct Shared
  {
    CWnd* Wnd;
    std::atomic<int> Posted{ 0 };
  } shared{ f.View };
  auto procedure = [](UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR)
  {
    auto* s = reinterpret_cast<Shared*>(user);
    if (s->Posted.load() < 5 && s->Wnd->PostMessage(WM_USER, 0, 0))
    {
      ++s->Posted;
    }
  };
  const UINT id =
    timeSetEvent(10, 3, procedure, reinterpret_cast<DWORD_PTR>(&shared), TIME_PERIODIC);
  ASSERT_NE(id, 0u);
  auto userMessages = [&]
  {
    int n = 0;
    for (UINT m : f.View->Messages)
    {
      n += m == WM_USER ? 1 : 0;
    }
    return n;
  };
  EXPECT_TRUE(WaitFor([&] { return userMessages() == 5; }));
  EXPECT_EQ(timeKillEvent(id), TIMERR_NOERROR);
  for (std::size_t i = 0; i < f.View->Messages.size(); ++i)
  {
    if (f.View->Messages[i] == WM_USER)
    {
      EXPECT_EQ(f.View->Threads[i], std::this_thread::get_id());
    }
  }

  // Posted to a window that is gone before delivery: dropped.
  f.View->PostMessage(WM_USER + 1, 0, 0);
  f.Frame->DestroyWindow();
  QApplication::processEvents();
  for (UINT m : f.View->Messages)
  {
    EXPECT_NE(m, WM_USER + 1);
  }
  EXPECT_FALSE(f.View->PostMessage(WM_USER, 0, 0));
}

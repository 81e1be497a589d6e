// The main frame as the user meets it: every menu item with its text, separators and the
// command it sends; the status-bar prompt of each command; the toolbar and the status bar;
// the About box; the options dialog's layout.
#include "ShellHarness.h"

#include "AboutDlg.h"
#include "OptionsDlg.h"
#include "Prompts.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QHelpEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>
#include <QToolTip>

#include <cmath>
#include <set>

// Xlib after Qt: its macros clash with Qt's names.
#include <X11/XKBlib.h>
#include <X11/keysym.h>

using shell::Shell;

namespace
{
// One entry of the menu bar as the user sees it: the popup path, the text ("-" for a
// separator) and the command its action sends (0 for none).
struct MenuRow
{
  std::string Path;
  std::string Text;
  UINT Command;
  std::string Prompt; // status-bar text; "*" for the framework's own (any non-empty text)
};

const std::vector<MenuRow> ExpectedMenu = {
  { "&File", "&Open Model...\tCtrl+O", 57601, "Open an existing model file" },
  { "&File", "&Save Model...\tCtrl-S", 32803, "Save model file" },
  { "&File/&Load", "&Background...", 32801, "Load an existing background image" },
  { "&File/&Load", "T&exture...", 32800, "Load an existing texture file" },
  { "&File/&Load", "&Transform...", 32799, "Load an existing transformation file" },
  { "&File/&Load", "&Landmarks...\tCtrl+L", 33000, "Load a landmark file to show on the model" },
  { "&File", "&Close Transform\tCtrl+Shift+T", 32819, "Remove the loaded transformation" },
  { "&File", "Save T&ransform...", 33051, "Save the transform in force as a .trc file" },
  { "&File", "-", 0, "" },
  { "&File", "Recent File", 0, "" },
  { "&File", "-", 0, "" },
  { "&File", "E&xit", 57665, "*" },
  { "&Edit", "&Copy\tCtrl+C", 57634, "*" },
  { "&Play", "&Play\tCtrl-P", 32777, "Play" },
  { "&Play", "P&ause\tSpace", 32784, "Pause play, record or transformation" },
  { "&Play", "&Stop\tCtrl-Break", 32780, "Stop play or record" },
  { "&Play", "-", 0, "" },
  { "&Play", "&Record\tCtrl-R", 32782, "Record" },
  { "&View", "&Toolbar", 59392, "*" },
  { "&View", "&Status Bar", 59393, "*" },
  { "&View", "-", 0, "" },
  { "&View", "Body Color", 32793, "Update/Change Body Color" },
  { "&View", "&Options...", 32802, "Show Options dialog box" },
  // Commands added after the first version, after its own.
  { "&View", "-", 0, "" },
  { "&View", "&Reset Camera\tHome", 32810, "Back to the view the model opened with" },
  { "&View/Standard &Views", "&Front\tCtrl+1", 32811,
    "Look at the model from the front (along -z)" },
  { "&View/Standard &Views", "&Back\tCtrl+2", 32812, "Look at the model from the back (along +z)" },
  { "&View/Standard &Views", "&Left\tCtrl+3", 32813, "Look at the model from the left (along +x)" },
  { "&View/Standard &Views", "&Right\tCtrl+4", 32814,
    "Look at the model from the right (along -x)" },
  { "&View/Standard &Views", "&Top\tCtrl+5", 32815, "Look at the model from above (along -y)" },
  { "&View/Standard &Views", "B&ottom\tCtrl+6", 32816, "Look at the model from below (along +y)" },
  { "&View", "Orientation &Axes\tCtrl+M", 32817, "Show or hide the orientation marker" },
  { "&View", "&Landmarks\tL", 33001, "Show or hide the landmarks" },
  { "&Deformation", "Set &Blend...\tCtrl+B", 32818, "Pause at a chosen blend from 0 to 1" },
  { "&Deformation", "&Fit Landmarks...", 33050,
    "Fit a transform to the landmarks, with a radius and smoothing" },
  { "&Help", "&About Halden...", 57664, "*" },
};

struct SeenRow
{
  std::string Path;
  std::string Text;
  QAction* Action;
};

void Flatten(QMenu* menu, const std::string& path, std::vector<SeenRow>& rows)
{
  for (QAction* a : menu->actions())
  {
    if (!a->isVisible())
    {
      continue;
    }
    if (a->menu())
    {
      Flatten(a->menu(), path + "/" + a->text().toStdString(), rows);
    }
    else
    {
      rows.push_back({ path, a->isSeparator() ? "-" : a->text().toStdString(), a });
    }
  }
}

std::vector<SeenRow> MenuRows(CMainFrame* frame)
{
  std::vector<SeenRow> rows;
  auto* window = qobject_cast<QMainWindow*>(frame->GetWidget());
  for (QAction* top : window->menuBar()->actions())
  {
    Flatten(top->menu(), top->text().toStdString(), rows);
  }
  return rows;
}

QMainWindow* MainWindow(CMainFrame* frame)
{
  return qobject_cast<QMainWindow*>(frame->GetWidget());
}

// Dialog units of "MS Sans Serif" 8 (base units 6 x 13 pixels), independently of the
// framework's conversion.
QRect ExpectedPixels(int x, int y, int w, int h)
{
  auto px = [](int du, double base, double per)
  { return static_cast<int>(std::lround(du * base / per)); };
  return QRect(px(x, 6, 4), px(y, 13, 8), px(w, 6, 4), px(h, 13, 8));
}
}

TEST(ShellMenu, EveryItemTextSeparatorAndCommandInOrder)
{
  Shell app;
  ASSERT_TRUE(app.Started);
  const std::vector<SeenRow> seen = MenuRows(app.Frame());
  ASSERT_EQ(seen.size(), ExpectedMenu.size());
  for (std::size_t i = 0; i < seen.size(); ++i)
  {
    const MenuRow& want = ExpectedMenu[i];
    SCOPED_TRACE("row " + std::to_string(i) + ": " + want.Path + " " + want.Text);
    EXPECT_EQ(seen[i].Path, want.Path);
    EXPECT_EQ(seen[i].Text, want.Text);
    if (want.Command != 0)
    {
      EXPECT_EQ(seen[i].Action, app.Frame()->GetCommandAction(want.Command));
    }
  }
}

TEST(ShellMenu, RecentFilePlaceholderIsDisabledWhileTheListIsEmpty)
{
  Shell app;
  ASSERT_TRUE(app.Application->GetRecentFileList().empty());
  for (const SeenRow& row : MenuRows(app.Frame()))
  {
    if (row.Text == "Recent File")
    {
      EXPECT_FALSE(row.Action->isEnabled());
      return;
    }
  }
  ADD_FAILURE() << "no Recent File entry";
}

TEST(ShellMenu, EachCommandPromptsInTheStatusBarWhileItsItemIsHighlighted)
{
  Shell app;
  CMainFrame* frame = app.Frame();
  ASSERT_TRUE(shell::WaitFor([&] { return frame->GetWidget()->isVisible(); }));
  const std::vector<SeenRow> seen = MenuRows(frame);
  for (const MenuRow& row : ExpectedMenu)
  {
    if (row.Command == 0)
    {
      continue;
    }
    SCOPED_TRACE(row.Text);
    QAction* action = frame->GetCommandAction(row.Command);
    ASSERT_NE(action, nullptr);
    // Open the item's menu and highlight the item, as the pointer would.
    QMenu* menu = nullptr;
    for (QWidget* w : action->associatedWidgets())
    {
      menu = menu ? menu : qobject_cast<QMenu*>(w);
    }
    ASSERT_NE(menu, nullptr);
    menu->popup(QPoint(100, 100));
    menu->setActiveAction(action);
    const std::string shown = frame->m_wndStatusBar.GetMessageText();
    menu->hide();
    if (row.Prompt == "*")
    {
      EXPECT_FALSE(shown.empty());
      EXPECT_NE(shown, "Ready");
      EXPECT_EQ(shown.find('\n'), std::string::npos);
    }
    else
    {
      EXPECT_EQ(shown, row.Prompt);
    }
  }
  // With no item highlighted the pane shows the idle text again.
  EXPECT_TRUE(shell::WaitFor([&] { return frame->m_wndStatusBar.GetMessageText() == "Ready"; }));
}

TEST(ShellToolbar, PlayPauseStopGapRecordWithOwnImagesAndNoTooltips)
{
  Shell app;
  CMainFrame* frame = app.Frame();
  QToolBar* bar = frame->m_wndToolBar.GetToolBar();
  ASSERT_NE(bar, nullptr);
  const std::vector<UINT> order = { 32777, 32784, 32780, 0, 32782 };
  const QList<QAction*> actions = bar->actions();
  ASSERT_EQ(actions.size(), static_cast<int>(order.size()));
  std::set<qint64> images;
  for (int i = 0; i < actions.size(); ++i)
  {
    SCOPED_TRACE(i);
    if (order[i] == 0)
    {
      EXPECT_TRUE(actions[i]->isSeparator());
      continue;
    }
    EXPECT_EQ(actions[i], frame->GetCommandAction(order[i]));
    // The menu item and the button are one action: enabling shows on both.
    const QImage image = actions[i]->icon().pixmap(16, 15).toImage();
    EXPECT_EQ(image.size(), QSize(16, 15));
    int opaque = 0;
    for (int y = 0; y < image.height(); ++y)
    {
      for (int x = 0; x < image.width(); ++x)
      {
        opaque += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
      }
    }
    EXPECT_GT(opaque, 30) << "an image is drawn";
    images.insert(image.cacheKey() ^ qint64(opaque) << 20);
    // The command strings have no tooltip part: resting on the button shows none.
    QWidget* button = frame->m_wndToolBar.GetButton(order[i]);
    ASSERT_NE(button, nullptr);
    QToolTip::hideText();
    QHelpEvent help(QEvent::ToolTip, QPoint(4, 4), button->mapToGlobal(QPoint(4, 4)));
    QApplication::sendEvent(button, &help);
    EXPECT_FALSE(QToolTip::isVisible()) << QToolTip::text().toStdString();
  }
  EXPECT_EQ(bar->iconSize(), QSize(16, 15));
  EXPECT_TRUE(bar->isMovable());
  EXPECT_EQ(bar->allowedAreas(), Qt::AllToolBarAreas);
  EXPECT_EQ(MainWindow(frame)->toolBarArea(bar), Qt::TopToolBarArea);
}

TEST(ShellToolbar, TheFourImagesDiffer)
{
  Shell app;
  CMainFrame* frame = app.Frame();
  std::vector<QImage> images;
  for (UINT id : { 32777u, 32784u, 32780u, 32782u })
  {
    images.push_back(frame->GetCommandAction(id)->icon().pixmap(16, 15).toImage());
  }
  for (std::size_t i = 0; i < images.size(); ++i)
  {
    for (std::size_t j = i + 1; j < images.size(); ++j)
    {
      EXPECT_NE(images[i], images[j]) << i << " and " << j;
    }
  }
}

TEST(ShellStatusBar, MessagePaneThenCapNumScrl)
{
  Shell app;
  CMainFrame* frame = app.Frame();
  EXPECT_EQ(
    frame->m_wndStatusBar.GetIndicatorTexts(), (std::vector<std::string>{ "CAP", "NUM", "SCRL" }));
  EXPECT_EQ(frame->m_wndStatusBar.GetMessageText(), "Ready");
  EXPECT_TRUE(frame->m_wndStatusBar.GetStatusBar()->isVisible());
}

TEST(ShellView, ToolbarAndStatusBarCommandsHideAndShowTheirBars)
{
  Shell app;
  CMainFrame* frame = app.Frame();
  QToolBar* bar = frame->m_wndToolBar.GetToolBar();
  QStatusBar* status = frame->m_wndStatusBar.GetStatusBar();
  ASSERT_TRUE(bar->isVisible());
  ASSERT_TRUE(status->isVisible());

  frame->GetCommandAction(ID_VIEW_TOOLBAR)->trigger();
  EXPECT_FALSE(bar->isVisible());
  EXPECT_TRUE(status->isVisible());
  frame->UpdateCommandUI();
  EXPECT_FALSE(frame->GetCommandAction(ID_VIEW_TOOLBAR)->isChecked());
  EXPECT_TRUE(frame->GetCommandAction(ID_VIEW_STATUS_BAR)->isChecked());

  frame->GetCommandAction(ID_VIEW_STATUS_BAR)->trigger();
  EXPECT_FALSE(status->isVisible());
  frame->GetCommandAction(ID_VIEW_TOOLBAR)->trigger();
  frame->GetCommandAction(ID_VIEW_STATUS_BAR)->trigger();
  EXPECT_TRUE(bar->isVisible());
  EXPECT_TRUE(status->isVisible());
}

TEST(ShellAbout, AboutCommandShowsTheAboutBoxModally)
{
  Shell app;
  CScriptedPrompts prompts;
  bool inspected = false;
  prompts.AnswerDialog(
    [&](CDialog& d)
    {
      inspected = true;
      EXPECT_EQ(d.GetTemplateId(), 100u);
      EXPECT_TRUE(d.IsRunning());
      QWidget* w = d.GetWidget();
      EXPECT_EQ(w->windowTitle().toStdString(), "About...");
      EXPECT_EQ(w->size(), ExpectedPixels(0, 0, 87, 122).size());
      EXPECT_TRUE(w->isModal() || w->isVisible());
      bool text = false, picture = false;
      for (QLabel* label : w->findChildren<QLabel*>())
      {
        if (label->text() == "Halden Version 1.0")
        {
          text = true;
          EXPECT_TRUE(label->alignment() & Qt::AlignHCenter);
        }
        const QPixmap pixmap = label->pixmap(Qt::ReturnByValue);
        if (!pixmap.isNull())
        {
          picture = true;
          EXPECT_GE(pixmap.width(), 32);
          EXPECT_GE(label->width(), pixmap.width());
          EXPECT_GE(label->height(), pixmap.height());
        }
      }
      EXPECT_TRUE(text);
      EXPECT_TRUE(picture);
      EXPECT_EQ(d.GetDlgItemText(IDOK), "OK");
      d.ClickDlgButton(IDOK);
    });
  EXPECT_TRUE(app.Frame()->ExecuteCommand(ID_APP_ABOUT));
  EXPECT_TRUE(inspected);
  EXPECT_EQ(prompts.Dialogs, std::vector<unsigned>{ 100u });
  EXPECT_EQ(prompts.Unanswered, 0);
}

namespace
{
// Each control of the options dialog: where the template puts it, in dialog units.
struct ControlPlace
{
  int Id; // -1: a label, found by its text
  const char* Text;
  int X, Y, W, H;
};
const ControlPlace OptionsPlaces[] = {
  { 1, "OK", 69, 73, 50, 14 },
  { 2, "Cancel", 129, 73, 50, 14 },
  { 3, "Apply", 7, 73, 50, 14 },
  { 1001, "", 7, 22, 105, 11 },
  { 1002, "", 7, 8, 106, 11 },
  { -1, "Timer Interval", 115, 9, 44, 8 },
  { -1, "Transform Speed", 115, 23, 55, 8 },
  { 1003, "Realtime", 9, 36, 43, 10 },
  { 1004, "Save PPM", 9, 49, 50, 10 },
  { 1005, "", 59, 47, 106, 14 },
  { 1006, "...", 165, 47, 12, 14 },
};

class IdleOwner : public COptionsOwner
{
public:
  int GetTimerInterval() const override { return 65; }
  void SetTimerInterval(int) override {}
  int GetTicksPerStep() const override { return 6; }
  void SetTicksPerStep(int) override {}
  int GetRealtime() const override { return 1; }
  void SetRealtime(int) override {}
  std::string GetFramePrefix() const override { return "frame"; }
  void SetFramePrefix(const std::string&) override {}
  bool IsPlaying() const override { return true; }
  bool HasTimer() const override { return true; }
  bool RestartTimer() override { return true; }
};
}

TEST(ShellOptionsLayout, ControlsSitWhereTheTemplatePutsThemAndTheirTextsFit)
{
  Shell app;
  COptionsDlg dialog(std::make_unique<IdleOwner>(), app.Frame());
  CScriptedPrompts prompts;
  bool inspected = false;
  prompts.AnswerDialog(
    [&](CDialog& d)
    {
      inspected = true;
      QWidget* w = d.GetWidget();
      EXPECT_EQ(w->windowTitle().toStdString(), "Dialog");
      EXPECT_EQ(w->size(), ExpectedPixels(0, 0, 186, 94).size());
      std::vector<QWidget*> tabOrder;
      for (const ControlPlace& c : OptionsPlaces)
      {
        SCOPED_TRACE(std::to_string(c.Id) + " " + c.Text);
        QWidget* control = nullptr;
        if (c.Id >= 0)
        {
          ASSERT_NE(d.GetDlgItem(c.Id), nullptr);
          control = d.GetDlgItem(c.Id)->GetWidget();
          tabOrder.push_back(control);
        }
        else
        {
          for (QLabel* label : w->findChildren<QLabel*>())
          {
            if (label->text() == c.Text)
            {
              control = label;
            }
          }
        }
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->geometry(), ExpectedPixels(c.X, c.Y, c.W, c.H));
        if (*c.Text)
        {
          // A push button's size hint has a style minimum; its text needs only a margin.
          const int needed = qobject_cast<QPushButton*>(control)
            ? control->fontMetrics().horizontalAdvance(c.Text) + 6
            : control->sizeHint().width();
          EXPECT_LE(needed, control->width()) << "the text is cut off";
          EXPECT_LE(control->fontMetrics().height(), control->height() + 1);
        }
      }
      // Tab order is template order.
      for (std::size_t i = 0; i + 1 < tabOrder.size(); ++i)
      {
        if (tabOrder[i]->focusPolicy() & Qt::TabFocus)
        {
          QWidget* next = tabOrder[i]->nextInFocusChain();
          while (next && !(next->focusPolicy() & Qt::TabFocus))
          {
            next = next->nextInFocusChain();
          }
          std::size_t j = i + 1;
          while (j < tabOrder.size() && !(tabOrder[j]->focusPolicy() & Qt::TabFocus))
          {
            ++j;
          }
          if (j < tabOrder.size())
          {
            EXPECT_EQ(next, tabOrder[j]) << "after control " << i;
          }
        }
      }
      auto* apply = qobject_cast<QPushButton*>(d.GetDlgItem(IDC_APPLY)->GetWidget());
      ASSERT_NE(apply, nullptr);
      EXPECT_TRUE(apply->isDefault());
      d.ClickDlgButton(IDCANCEL);
    });
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_TRUE(inspected);
}

TEST(ShellStatusBar, LockIndicatorsShowTheirTextOnlyWhileTheLockIsOn)
{
  Shell app;
  CMainFrame* frame = app.Frame();
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  const unsigned numLock = XkbKeysymToModifiers(display, XK_Num_Lock);
  ASSERT_NE(numLock, 0u);
  auto lock = [&](unsigned mask, bool on)
  {
    XkbLockModifiers(display, XkbUseCoreKbd, mask, on ? mask : 0);
    XSync(display, False);
  };
  auto states = [&]
  {
    frame->UpdateCommandUI();
    return frame->m_wndStatusBar.GetIndicatorStates();
  };
  using States = std::vector<bool>;

  lock(LockMask | numLock, false);
  EXPECT_TRUE(shell::WaitFor([&] { return states() == States{ false, false, false }; }));
  lock(LockMask, true);
  EXPECT_TRUE(shell::WaitFor([&] { return states() == States{ true, false, false }; }));
  lock(numLock, true);
  EXPECT_TRUE(shell::WaitFor([&] { return states() == States{ true, true, false }; }));
  lock(LockMask | numLock, false);
  EXPECT_TRUE(shell::WaitFor([&] { return states() == States{ false, false, false }; }));
  // The panes keep their texts (and their places); only the drawing follows the state.
  EXPECT_EQ(
    frame->m_wndStatusBar.GetIndicatorTexts(), (std::vector<std::string>{ "CAP", "NUM", "SCRL" }));
  XCloseDisplay(display);
}

/**
 * @file FrameWnd.h
 * @brief The main frame: menu bar, accelerators, toolbar, status bar and the view, and the
 * routing of commands.
 *
 * LoadFrame(id) builds the frame from the resources of that identifier: the menu bar
 * (menu id), the accelerators (accelerator table id) and the title (first field of string
 * id). OnCreate of the base frame creates the view from the creation context; a derived
 * frame creates its toolbar and status bar after calling it.
 *
 * Routing of a command (from a menu item, a toolbar button, an accelerator or
 * ExecuteCommand): the active view (then its document), the frame, the application. A
 * command whose enabling handler disables it is not run. Enabling handlers are asked for
 * every menu item before its menu opens, and for every toolbar button and menu command
 * when the application is idle (and at once by UpdateCommandUI).
 *
 * The status bar shows a command's prompt (its string before "\n") while the pointer is on
 * its menu item or button, and the idle text otherwise; a toolbar button's tooltip is the
 * string after "\n", none when that part is empty.
 */
#ifndef platform_FrameWnd_h
#define platform_FrameWnd_h

#include "Resources.h"
#include "Wnd.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

class CDocument;
class CView;
class QAction;
class QToolBar;
class QStatusBar;
struct CCreateContext;

/// Frame style additions.
constexpr DWORD FWS_ADDTOTITLE = 0x00008000;
/// Control bar styles (accepted; the toolbar is always flat with tooltips and prompts).
constexpr DWORD TBSTYLE_FLAT = 0x0800;
constexpr DWORD CBRS_TOP = 0x2000;
constexpr DWORD CBRS_BOTTOM = 0x8000;
constexpr DWORD CBRS_GRIPPER = 0x00400000;
constexpr DWORD CBRS_TOOLTIPS = 0x0010;
constexpr DWORD CBRS_FLYBY = 0x0020;
constexpr DWORD CBRS_SIZE_DYNAMIC = 0x0080;
constexpr DWORD CBRS_ALIGN_ANY = 0xF000;

class CFrameWnd;

/**
 * @class CToolBar
 * @brief A dockable toolbar whose buttons come from a toolbar resource.
 */
class CToolBar
{
public:
  CToolBar();
  ~CToolBar();
  CToolBar(const CToolBar&) = delete;
  CToolBar& operator=(const CToolBar&) = delete;

  BOOL CreateEx(CFrameWnd* parent, DWORD controlStyle = TBSTYLE_FLAT,
    DWORD style = WS_CHILD | WS_VISIBLE | CBRS_TOP, UINT id = AFX_IDW_TOOLBAR);
  /// FALSE when there is no toolbar resource of that identifier.
  BOOL LoadToolBar(UINT resourceId);
  void EnableDocking(DWORD style);

  QToolBar* GetToolBar() const { return this->Bar; }
  /// Whether the bar is switched on (View > Toolbar), also while its frame is hidden.
  BOOL IsVisible() const;
  /// The button of a command, or null (for tests and for the frame's enabling).
  QWidget* GetButton(UINT commandId) const;

private:
  friend class CFrameWnd;
  CFrameWnd* Frame = nullptr;
  QToolBar* Bar = nullptr;
};

/**
 * @class CStatusBar
 * @brief A status bar: a message pane and indicator panes (strings of the identifiers).
 */
class CStatusBar
{
public:
  CStatusBar();
  ~CStatusBar();
  CStatusBar(const CStatusBar&) = delete;
  CStatusBar& operator=(const CStatusBar&) = delete;

  BOOL Create(CFrameWnd* parent, DWORD style = WS_CHILD | WS_VISIBLE | CBRS_BOTTOM,
    UINT id = AFX_IDW_STATUS_BAR);
  /// ID_SEPARATOR is the message pane; other identifiers show their string.
  BOOL SetIndicators(const UINT* ids, int count);

  /// The text the message pane shows now.
  std::string GetMessageText() const;
  /// The texts of the indicator panes, in order.
  std::vector<std::string> GetIndicatorTexts() const;
  /// Whether each indicator pane shows its text now, in order. A pane whose enabling
  /// handler disables it (CAP, NUM, SCRL while their lock key is off) shows no text.
  std::vector<bool> GetIndicatorStates() const;
  QStatusBar* GetStatusBar() const { return this->Bar; }
  /// Whether the bar is switched on (View > Status Bar), also while its frame is hidden.
  BOOL IsVisible() const;

  ///@{
  /**
   * Text panes of the application's own, by name, between the message pane and the
   * indicators, in the order first used. A pane is made by its first text; an empty text
   * hides it. They are not indicators: GetIndicatorTexts does not list them.
   */
  void SetPaneText(const std::string& name, const std::string& text);
  /// The text of a named pane; empty for a pane hidden or never made.
  std::string GetPaneText(const std::string& name) const;
  /// The named pane's widget (for pictures and tests), or null.
  QWidget* GetPane(const std::string& name) const;
  ///@}

private:
  void SetMessagePaneText(const std::string& text);
  friend class CFrameWnd;
  CFrameWnd* Frame = nullptr;
  QStatusBar* Bar = nullptr;
  std::vector<QWidget*> Panes;
  std::vector<UINT> PaneIds;
  std::vector<std::pair<std::string, QWidget*>> NamedPanes;
  void UpdatePanes();
};

/**
 * @class CFrameWnd
 * @brief The main frame window (see the file comment).
 */
class CFrameWnd : public CWnd
{
public:
  CFrameWnd();
  ~CFrameWnd() override;

  /// Creates the frame's window from the resources of the identifier; the context says
  /// which view to create. FALSE when the window (OnCreate) failed.
  virtual BOOL LoadFrame(UINT resourceId, DWORD style = WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE,
    CWnd* parent = nullptr, CCreateContext* context = nullptr);

  CView* GetActiveView() const { return this->ActiveView; }
  void SetActiveView(CView* view) { this->ActiveView = view; }
  CDocument* GetActiveDocument() const;

  /// View (then document), frame, application.
  BOOL OnCmdMsg(UINT nID, int nCode, CCmdUI* pCmdUI) override;

  /// Runs a command as a menu item would: only when enabled. TRUE when some object
  /// handled it.
  BOOL ExecuteCommand(UINT id);
  /// Asks the enabling handlers of a command now and returns the answer.
  bool IsCommandEnabled(UINT id);
  /// Asks every menu item's and toolbar button's enabling handler now and applies it.
  void UpdateCommandUI();
  /// The menu action of a command (menus, accelerators and toolbar buttons share it), or
  /// null.
  QAction* GetCommandAction(UINT id) const;

  /// Calls OnInitialUpdate of the frame's views and shows the frame.
  void InitialUpdateFrame(CDocument* document, BOOL makeVisible);

  void EnableDocking(DWORD style);
  void DockControlBar(CToolBar* bar);

  /// Updates the File menu's recent-file entries from the application's list.
  void UpdateRecentFileMenu();
  /// The title shown: the document's title, " - ", the application's window title.
  void UpdateFrameTitleForDocument(const std::string& documentTitle);
  /// The text of the status bar's message pane (while no prompt covers it); an empty text
  /// brings back the idle message ("Ready"). Nothing happens without a status bar.
  void SetMessageText(const std::string& text);
  /// The text of a named status bar pane (CStatusBar::SetPaneText); nothing without a
  /// status bar.
  void SetPaneText(const std::string& name, const std::string& text);
  /// Switches a bar on or off, as View > Toolbar and View > Status Bar do.
  void ShowControlBar(CToolBar* bar, BOOL show);
  void ShowControlBar(CStatusBar* bar, BOOL show);

  /**
   * The user closes the frame (its close box, or File > Exit): each view may first finish
   * its work while the window and the event loop still run (CView::CanCloseFrame), then
   * the frame is destroyed, which ends the application's event loop for the main window.
   */
  void OnClose() override;

  /// Records the views created in this frame (the frame owns them).
  void AddOwnedView(CView* view);

protected:
  int OnCreate(LPCREATESTRUCT cs) override;
  void OnDestroy() override;
  /// Creates the view of the context as the frame's central window.
  virtual BOOL OnCreateClient(LPCREATESTRUCT cs, CCreateContext* context);
  QWidget* CreateWidget(const CREATESTRUCT& cs, QWidget* parent) override;

private:
  friend class CToolBar;
  friend class CStatusBar;
  struct FrameInternals;
  std::unique_ptr<FrameInternals> Frame;
  CView* ActiveView = nullptr;
  UINT ResourceId = 0;
  CCreateContext* Context = nullptr;
  void BuildMenus();
  QAction* ActionFor(UINT id);
  void ShowPrompt(UINT id);
};

#endif

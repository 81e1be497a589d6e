#include "FrameWnd.h"

#include "DocTemplate.h"
#include "Document.h"
#include "KeyState.h"
#include "View.h"
#include "WinApp.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QHelpEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPalette>
#include <QProxyStyle>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolTip>

#include <algorithm>

namespace
{
QString Text(const std::string& s)
{
  return QString::fromStdString(s);
}

QKeySequence KeyOf(const Accelerator& accel)
{
  int key = 0;
  const UINT k = accel.Key;
  if ((k >= 'A' && k <= 'Z') || (k >= '0' && k <= '9'))
  {
    key = static_cast<int>(k); // Qt::Key_A.. and Qt::Key_0.. have the ASCII codes
  }
  else if (k >= VK_F1 && k < VK_F1 + 12)
  {
    key = Qt::Key_F1 + static_cast<int>(k - VK_F1);
  }
  else
  {
    switch (k)
    {
      case VK_CANCEL:
        key = Qt::Key_Pause; // Ctrl+Break
        break;
      case VK_BACK:
        key = Qt::Key_Backspace;
        break;
      case VK_RETURN:
        key = Qt::Key_Return;
        break;
      case VK_ESCAPE:
        key = Qt::Key_Escape;
        break;
      case VK_SPACE:
        key = Qt::Key_Space;
        break;
      case VK_HOME:
        key = Qt::Key_Home;
        break;
      case VK_INSERT:
        key = Qt::Key_Insert;
        break;
      case VK_DELETE:
        key = Qt::Key_Delete;
        break;
      default:
        return QKeySequence();
    }
  }
  if (accel.Flags & FCONTROL)
  {
    key |= Qt::CTRL;
  }
  if (accel.Flags & FSHIFT)
  {
    key |= Qt::SHIFT;
  }
  if (accel.Flags & FALT)
  {
    key |= Qt::ALT;
  }
  return QKeySequence(key);
}

QPixmap Picture(const std::vector<std::string>& rows, const std::map<char, COLORREF>& palette,
  int width, int height)
{
  QImage image(width, height, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  for (int y = 0; y < height && y < static_cast<int>(rows.size()); ++y)
  {
    const std::string& row = rows[static_cast<std::size_t>(y)];
    for (int x = 0; x < width && x < static_cast<int>(row.size()); ++x)
    {
      auto it = palette.find(row[static_cast<std::size_t>(x)]);
      if (it != palette.end())
      {
        image.setPixel(
          x, y, qRgb(GetRValue(it->second), GetGValue(it->second), GetBValue(it->second)));
      }
    }
  }
  return QPixmap::fromImage(image);
}

// A toolbar button shows its command's tooltip part, and none at all when that part is
// empty. The button's own toolTip() cannot say so: Qt refills it from the action's text
// whenever the action changes (the menu sets the text after the toolbar is built).
const char* const CommandTooltipProperty = "commandTooltip";

class NoEmptyTooltip : public QObject
{
public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override
  {
    if (event->type() == QEvent::ToolTip)
    {
      const QVariant tooltip = watched->property(CommandTooltipProperty);
      if (tooltip.isValid())
      {
        if (tooltip.toString().isEmpty())
        {
          QToolTip::hideText();
        }
        else
        {
          QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), tooltip.toString(),
            qobject_cast<QWidget*>(watched));
        }
        return true;
      }
    }
    return false;
  }
};

// A menu item shows its prompt while the pointer is on it, also when it is disabled. Qt
// shows a status tip only for an item it highlights, and highlights disabled items only
// where the style allows it.
class MenuStyle : public QProxyStyle
{
public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
    QStyleHintReturn* returnData) const override
  {
    if (hint == QStyle::SH_Menu_AllowActiveAndDisabled)
    {
      return 1;
    }
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

void SetTooltip(QWidget* button, const QString& tooltip)
{
  if (button)
  {
    button->setProperty(CommandTooltipProperty, tooltip);
    button->setToolTip(tooltip);
  }
}
}

//------------------------------------------------------------------------------
struct CFrameWnd::FrameInternals
{
  QMainWindow* Window = nullptr;
  std::map<UINT, QAction*> Actions;
  std::vector<QAction*> AcceleratorActions;
  QMenu* RecentMenu = nullptr;
  QAction* RecentPlaceholder = nullptr;
  std::vector<QAction*> RecentActions;
  std::vector<std::unique_ptr<CView>> Views;
  std::vector<CToolBar*> ToolBars;
  CStatusBar* StatusBar = nullptr;
  QTimer* Idle = nullptr;
  NoEmptyTooltip* TooltipFilter = nullptr;
  MenuStyle* MenuLook = nullptr;
};

//------------------------------------------------------------------------------
CToolBar::CToolBar() = default;
CToolBar::~CToolBar() = default;

//------------------------------------------------------------------------------
BOOL CToolBar::CreateEx(CFrameWnd* parent, DWORD, DWORD style, UINT)
{
  if (!parent || !parent->Frame->Window)
  {
    return FALSE;
  }
  this->Frame = parent;
  this->Bar = new QToolBar(parent->Frame->Window);
  this->Bar->setObjectName("toolbar");
  this->Bar->setMovable(true);
  this->Bar->setFloatable(true);
  parent->Frame->Window->addToolBar(
    (style & CBRS_BOTTOM) ? Qt::BottomToolBarArea : Qt::TopToolBarArea, this->Bar);
  this->Bar->setVisible((style & WS_VISIBLE) != 0);
  parent->Frame->ToolBars.push_back(this);
  return TRUE;
}

//------------------------------------------------------------------------------
BOOL CToolBar::LoadToolBar(UINT resourceId)
{
  const auto& toolbars = CResources::Get().Toolbars;
  auto it = toolbars.find(resourceId);
  if (!this->Bar || it == toolbars.end())
  {
    return FALSE;
  }
  const ToolbarResource& res = it->second;
  this->Bar->setIconSize(QSize(res.ButtonWidth, res.ButtonHeight));
  std::size_t image = 0;
  for (UINT id : res.Buttons)
  {
    if (id == ID_SEPARATOR)
    {
      this->Bar->addSeparator();
      continue;
    }
    QAction* action = this->Frame->ActionFor(id);
    if (image < res.Images.size())
    {
      action->setIcon(Picture(res.Images[image], res.Palette, res.ButtonWidth, res.ButtonHeight));
    }
    ++image;
    this->Bar->addAction(action);
    QWidget* button = this->Bar->widgetForAction(action);
    SetTooltip(button, Text(CommandTooltip(CResources::Get().LoadString(id))));
    if (button)
    {
      button->installEventFilter(this->Frame->Frame->TooltipFilter);
    }
  }
  return TRUE;
}

//------------------------------------------------------------------------------
void CToolBar::EnableDocking(DWORD style)
{
  if (this->Bar)
  {
    this->Bar->setAllowedAreas((style & CBRS_ALIGN_ANY) ? Qt::AllToolBarAreas : Qt::TopToolBarArea);
  }
}

//------------------------------------------------------------------------------
QWidget* CToolBar::GetButton(UINT commandId) const
{
  QAction* action = this->Frame ? this->Frame->GetCommandAction(commandId) : nullptr;
  return this->Bar && action ? this->Bar->widgetForAction(action) : nullptr;
}

//------------------------------------------------------------------------------
BOOL CToolBar::IsVisible() const
{
  return this->Bar && !this->Bar->isHidden();
}

//------------------------------------------------------------------------------
CStatusBar::CStatusBar() = default;
CStatusBar::~CStatusBar() = default;

//------------------------------------------------------------------------------
BOOL CStatusBar::Create(CFrameWnd* parent, DWORD style, UINT)
{
  if (!parent || !parent->Frame->Window)
  {
    return FALSE;
  }
  this->Frame = parent;
  this->Bar = parent->Frame->Window->statusBar();
  this->Bar->setVisible((style & WS_VISIBLE) != 0);
  parent->Frame->StatusBar = this;
  return TRUE;
}

//------------------------------------------------------------------------------
BOOL CStatusBar::SetIndicators(const UINT* ids, int count)
{
  if (!this->Bar)
  {
    return FALSE;
  }
  for (QWidget* pane : this->Panes)
  {
    this->Bar->removeWidget(pane);
    delete pane;
  }
  this->Panes.clear();
  this->PaneIds.clear();
  for (int i = 0; i < count; ++i)
  {
    this->PaneIds.push_back(ids[i]);
    if (ids[i] == ID_SEPARATOR)
    {
      // The message pane: the idle text; prompts cover it while shown.
      auto* label = new QLabel(Text(CResources::Get().LoadString(AFX_IDS_IDLEMESSAGE)));
      label->setObjectName("messagePane");
      this->Bar->addWidget(label, 1);
      this->Panes.push_back(label);
    }
    else
    {
      auto* label = new QLabel(Text(CResources::Get().LoadString(ids[i])));
      label->setObjectName(QString("indicator%1").arg(ids[i]));
      label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      label->setAlignment(Qt::AlignCenter);
      // A disabled indicator keeps its place but shows no text.
      label->setMinimumWidth(label->sizeHint().width());
      QPalette palette = label->palette();
      palette.setColor(QPalette::Disabled, QPalette::WindowText, Qt::transparent);
      label->setPalette(palette);
      this->Bar->addPermanentWidget(label);
      this->Panes.push_back(label);
    }
  }
  return TRUE;
}

//------------------------------------------------------------------------------
void CStatusBar::SetMessagePaneText(const std::string& text)
{
  for (QWidget* pane : this->Panes)
  {
    if (pane->objectName() == "messagePane")
    {
      static_cast<QLabel*>(pane)->setText(Text(text));
    }
  }
}

//------------------------------------------------------------------------------
std::string CStatusBar::GetMessageText() const
{
  if (!this->Bar)
  {
    return std::string();
  }
  if (!this->Bar->currentMessage().isEmpty())
  {
    return this->Bar->currentMessage().toStdString();
  }
  for (QWidget* pane : this->Panes)
  {
    if (pane->objectName() == "messagePane")
    {
      return static_cast<QLabel*>(pane)->text().toStdString();
    }
  }
  return std::string();
}

//------------------------------------------------------------------------------
std::vector<std::string> CStatusBar::GetIndicatorTexts() const
{
  std::vector<std::string> texts;
  for (QWidget* pane : this->Panes)
  {
    if (pane->objectName() != "messagePane")
    {
      texts.push_back(static_cast<QLabel*>(pane)->text().toStdString());
    }
  }
  return texts;
}

//------------------------------------------------------------------------------
std::vector<bool> CStatusBar::GetIndicatorStates() const
{
  std::vector<bool> states;
  for (QWidget* pane : this->Panes)
  {
    if (pane->objectName() != "messagePane")
    {
      states.push_back(pane->isEnabled());
    }
  }
  return states;
}

//------------------------------------------------------------------------------
BOOL CStatusBar::IsVisible() const
{
  return this->Bar && !this->Bar->isHidden();
}

//------------------------------------------------------------------------------
void CStatusBar::SetPaneText(const std::string& name, const std::string& text)
{
  if (!this->Bar)
  {
    return;
  }
  QLabel* label = static_cast<QLabel*>(this->GetPane(name));
  if (!label)
  {
    if (text.empty())
    {
      return;
    }
    label = new QLabel;
    label->setObjectName(QString::fromStdString("pane:" + name));
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // Before the indicators, after the named panes made earlier (the index counts the
    // message pane too).
    const auto messagePanes = std::count(this->PaneIds.begin(), this->PaneIds.end(), ID_SEPARATOR);
    this->Bar->insertPermanentWidget(
      static_cast<int>(messagePanes + static_cast<long>(this->NamedPanes.size())), label);
    this->NamedPanes.emplace_back(name, label);
  }
  label->setText(Text(text));
  label->setVisible(!text.empty());
}

//------------------------------------------------------------------------------
std::string CStatusBar::GetPaneText(const std::string& name) const
{
  const QWidget* pane = this->GetPane(name);
  return pane && !pane->isHidden() ? static_cast<const QLabel*>(pane)->text().toStdString()
                                   : std::string();
}

//------------------------------------------------------------------------------
QWidget* CStatusBar::GetPane(const std::string& name) const
{
  for (const auto& pane : this->NamedPanes)
  {
    if (pane.first == name)
    {
      return pane.second;
    }
  }
  return nullptr;
}

//------------------------------------------------------------------------------
void CStatusBar::UpdatePanes()
{
  for (std::size_t i = 0; i < this->Panes.size(); ++i)
  {
    CCmdUI ui(this->PaneIds[i]);
    if (this->PaneIds[i] != ID_SEPARATOR &&
      this->Frame->OnCmdMsg(this->PaneIds[i], CN_UPDATE_COMMAND_UI, &ui))
    {
      this->Panes[i]->setEnabled(ui.m_bEnabled);
    }
  }
}

//------------------------------------------------------------------------------
CFrameWnd::CFrameWnd()
  : Frame(new FrameInternals)
{
  // The key-lock indicators show their text while the lock is on (and always where the
  // desktop does not tell).
  this->MapCommandUIRange(ID_INDICATOR_CAPS, ID_INDICATOR_SCRL,
    [](CCmdUI* ui)
    {
      const UINT key = ui->m_nID == ID_INDICATOR_CAPS ? VK_CAPITAL
        : ui->m_nID == ID_INDICATOR_NUM               ? VK_NUMLOCK
                                                      : VK_SCROLL;
      ui->Enable(GetLockKeyState(key) != 0);
    });
  this->MapCommand(ID_VIEW_TOOLBAR,
    CommandHandler(
      [this]
      {
        for (CToolBar* bar : this->Frame->ToolBars)
        {
          bar->Bar->setVisible(!bar->Bar->isVisible());
        }
      }));
  this->MapCommandUI(ID_VIEW_TOOLBAR,
    UpdateHandler(
      [this](CCmdUI* ui)
      {
        ui->Enable(!this->Frame->ToolBars.empty());
        ui->SetCheck(!this->Frame->ToolBars.empty() && this->Frame->ToolBars[0]->Bar->isVisible());
      }));
  this->MapCommand(ID_VIEW_STATUS_BAR,
    CommandHandler(
      [this]
      {
        if (this->Frame->StatusBar)
        {
          this->Frame->StatusBar->Bar->setVisible(!this->Frame->StatusBar->Bar->isVisible());
        }
      }));
  this->MapCommandUI(ID_VIEW_STATUS_BAR,
    UpdateHandler(
      [this](CCmdUI* ui)
      {
        ui->Enable(this->Frame->StatusBar != nullptr);
        ui->SetCheck(this->Frame->StatusBar && this->Frame->StatusBar->Bar->isVisible());
      }));
}

//------------------------------------------------------------------------------
CFrameWnd::~CFrameWnd()
{
  this->DestroyWindow();
  this->Frame->Views.clear();
}

//------------------------------------------------------------------------------
QWidget* CFrameWnd::CreateWidget(const CREATESTRUCT&, QWidget* parent)
{
  auto* window = new QMainWindow(parent);
  this->Frame->Window = window;
  this->Frame->TooltipFilter = new NoEmptyTooltip(window);
  return window;
}

//------------------------------------------------------------------------------
BOOL CFrameWnd::LoadFrame(UINT resourceId, DWORD style, CWnd* parent, CCreateContext* context)
{
  this->ResourceId = resourceId;
  this->Context = context;
  std::string title = CResources::Get().LoadStringField(resourceId, windowTitle);
  if (title.empty())
  {
    title = CResources::Get().LoadString(AFX_IDS_APP_TITLE);
  }
  const RECT rect{ 0, 0, 0, 0 };
  const BOOL created = this->Create(nullptr, title.c_str(), style, rect, parent, 0, context);
  this->Context = nullptr;
  if (!created)
  {
    return FALSE;
  }
  this->BuildMenus();
  this->UpdateRecentFileMenu();
  this->Frame->Idle = new QTimer(this->Frame->Window);
  QObject::connect(this->Frame->Idle, &QTimer::timeout, [this] { this->UpdateCommandUI(); });
  this->Frame->Idle->start(200);
  return TRUE;
}

//------------------------------------------------------------------------------
int CFrameWnd::OnCreate(LPCREATESTRUCT cs)
{
  if (CWnd::OnCreate(cs) == -1)
  {
    return -1;
  }
  if (this->Context && !this->OnCreateClient(cs, this->Context))
  {
    return -1;
  }
  return 0;
}

//------------------------------------------------------------------------------
BOOL CFrameWnd::OnCreateClient(LPCREATESTRUCT, CCreateContext* context)
{
  CObject* object = context->m_pNewViewClass.CreateObject();
  auto* view = dynamic_cast<CView*>(object);
  if (!view)
  {
    delete object;
    return FALSE;
  }
  this->AddOwnedView(view);
  const RECT rect{ 0, 0, 0, 0 };
  if (!view->Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE | WS_BORDER, rect, this,
        AFX_IDW_PANE_FIRST, context))
  {
    return FALSE;
  }
  this->Frame->Window->setCentralWidget(view->GetWidget());
  this->SetActiveView(view);
  return TRUE;
}

//------------------------------------------------------------------------------
void CFrameWnd::AddOwnedView(CView* view)
{
  this->Frame->Views.emplace_back(view);
}

//------------------------------------------------------------------------------
void CFrameWnd::OnDestroy()
{
  if (this->Frame->Idle)
  {
    this->Frame->Idle->stop();
  }
  CWinApp* app = AfxGetApp();
  if (app && app->m_pMainWnd == this)
  {
    app->m_pMainWnd = nullptr;
    QCoreApplication::quit();
  }
  CWnd::OnDestroy();
}

//------------------------------------------------------------------------------
void CFrameWnd::OnClose()
{
  // Asked before anything is torn down: once the main window goes, the event loop ends and
  // a dialog opened then would close at once.
  for (auto& view : this->Frame->Views)
  {
    if (!view->CanCloseFrame(this))
    {
      return;
    }
  }
  CDocument* document = this->GetActiveDocument();
  if (document && !document->SaveModified())
  {
    return;
  }
  this->DestroyWindow();
}

//------------------------------------------------------------------------------
CDocument* CFrameWnd::GetActiveDocument() const
{
  return this->ActiveView ? this->ActiveView->GetDocument() : nullptr;
}

//------------------------------------------------------------------------------
BOOL CFrameWnd::OnCmdMsg(UINT nID, int nCode, CCmdUI* pCmdUI)
{
  if (this->ActiveView && this->ActiveView->OnCmdMsg(nID, nCode, pCmdUI))
  {
    return TRUE;
  }
  if (CWnd::OnCmdMsg(nID, nCode, pCmdUI))
  {
    return TRUE;
  }
  CWinApp* app = AfxGetApp();
  return app ? app->OnCmdMsg(nID, nCode, pCmdUI) : FALSE;
}

//------------------------------------------------------------------------------
bool CFrameWnd::IsCommandEnabled(UINT id)
{
  CCmdUI ui(id);
  if (this->OnCmdMsg(id, CN_UPDATE_COMMAND_UI, &ui))
  {
    return ui.m_bEnabled;
  }
  return this->OnCmdMsg(id, CN_QUERY_HANDLER, nullptr) != FALSE;
}

//------------------------------------------------------------------------------
BOOL CFrameWnd::ExecuteCommand(UINT id)
{
  // A command disabled since its menu or button was last updated is not run.
  if (!this->IsCommandEnabled(id))
  {
    return FALSE;
  }
  return this->OnCmdMsg(id, CN_COMMAND, nullptr);
}

//------------------------------------------------------------------------------
void CFrameWnd::UpdateCommandUI()
{
  if (!this->m_hWnd)
  {
    return;
  }
  if (this->Frame->StatusBar)
  {
    this->Frame->StatusBar->UpdatePanes();
  }
  for (auto& entry : this->Frame->Actions)
  {
    CCmdUI ui(entry.first);
    bool enabled;
    if (this->OnCmdMsg(entry.first, CN_UPDATE_COMMAND_UI, &ui))
    {
      enabled = ui.m_bEnabled;
    }
    else
    {
      enabled = this->OnCmdMsg(entry.first, CN_QUERY_HANDLER, nullptr) != FALSE;
    }
    QAction* action = entry.second;
    action->setEnabled(enabled);
    if (ui.m_bCheckChanged)
    {
      action->setCheckable(true);
      action->setChecked(ui.m_nCheck != 0);
    }
    if (ui.m_bTextChanged)
    {
      action->setText(Text(ui.m_strText));
    }
  }
}

//------------------------------------------------------------------------------
QAction* CFrameWnd::GetCommandAction(UINT id) const
{
  auto it = this->Frame->Actions.find(id);
  return it == this->Frame->Actions.end() ? nullptr : it->second;
}

//------------------------------------------------------------------------------
QAction* CFrameWnd::ActionFor(UINT id)
{
  QAction*& action = this->Frame->Actions[id];
  if (!action)
  {
    action = new QAction(this->Frame->Window);
    action->setStatusTip(Text(CommandPrompt(CResources::Get().LoadString(id))));
    QObject::connect(action, &QAction::triggered, [this, id] { this->ExecuteCommand(id); });
  }
  return action;
}

//------------------------------------------------------------------------------
void CFrameWnd::BuildMenus()
{
  QMainWindow* window = this->Frame->Window;
  const auto& menus = CResources::Get().Menus;
  auto it = menus.find(this->ResourceId);
  if (it != menus.end())
  {
    std::function<void(QMenu*, const std::vector<MenuItem>&)> fill =
      [&](QMenu* menu, const std::vector<MenuItem>& items)
    {
      QObject::connect(menu, &QMenu::aboutToShow, [this] { this->UpdateCommandUI(); });
      if (!this->Frame->MenuLook)
      {
        this->Frame->MenuLook = new MenuStyle;
        this->Frame->MenuLook->setParent(window);
      }
      menu->setStyle(this->Frame->MenuLook);
      for (const MenuItem& item : items)
      {
        switch (item.Type)
        {
          case MenuItem::Separator:
            menu->addSeparator();
            break;
          case MenuItem::Popup:
            fill(menu->addMenu(Text(item.Text)), item.Items);
            break;
          case MenuItem::Command:
            if (item.Id == ID_FILE_MRU_FILE1)
            {
              // The placeholder that the recent-file list replaces.
              this->Frame->RecentMenu = menu;
              this->Frame->RecentPlaceholder = menu->addAction(Text(item.Text));
              this->Frame->RecentPlaceholder->setEnabled(false);
            }
            else
            {
              QAction* action = this->ActionFor(item.Id);
              action->setText(Text(item.Text));
              menu->addAction(action);
            }
            break;
        }
      }
    };
    for (const MenuItem& popup : it->second)
    {
      if (popup.Type == MenuItem::Popup)
      {
        fill(window->menuBar()->addMenu(Text(popup.Text)), popup.Items);
      }
    }
  }

  const auto& tables = CResources::Get().Accelerators;
  auto accel = tables.find(this->ResourceId);
  if (accel != tables.end())
  {
    for (const Accelerator& a : accel->second)
    {
      const QKeySequence key = KeyOf(a);
      if (key.isEmpty())
      {
        continue;
      }
      auto* action = new QAction(window);
      action->setShortcut(key);
      action->setShortcutContext(Qt::WindowShortcut);
      const UINT id = a.Command;
      QObject::connect(action, &QAction::triggered, [this, id] { this->ExecuteCommand(id); });
      window->addAction(action);
      this->Frame->AcceleratorActions.push_back(action);
    }
  }
}

//------------------------------------------------------------------------------
void CFrameWnd::UpdateRecentFileMenu()
{
  QMenu* menu = this->Frame->RecentMenu;
  CWinApp* app = AfxGetApp();
  if (!menu || !this->Frame->RecentPlaceholder)
  {
    return;
  }
  for (QAction* action : this->Frame->RecentActions)
  {
    menu->removeAction(action);
    delete action;
  }
  this->Frame->RecentActions.clear();
  const std::vector<std::string> empty;
  const auto& files = app ? app->GetRecentFileList() : empty;
  this->Frame->RecentPlaceholder->setVisible(files.empty());
  for (std::size_t i = 0; i < files.size(); ++i)
  {
    const UINT id = ID_FILE_MRU_FILE1 + static_cast<UINT>(i);
    auto* action =
      new QAction(QString("&%1 %2").arg(i + 1).arg(Text(files[i])).replace("&&", "&"), menu);
    action->setStatusTip(Text(CommandPrompt(CResources::Get().LoadString(id))));
    QObject::connect(action, &QAction::triggered, [this, id] { this->ExecuteCommand(id); });
    menu->insertAction(this->Frame->RecentPlaceholder, action);
    this->Frame->RecentActions.push_back(action);
  }
}

//------------------------------------------------------------------------------
void CFrameWnd::SetMessageText(const std::string& text)
{
  if (this->Frame->StatusBar)
  {
    this->Frame->StatusBar->SetMessagePaneText(
      text.empty() ? CResources::Get().LoadString(AFX_IDS_IDLEMESSAGE) : text);
  }
}

//------------------------------------------------------------------------------
void CFrameWnd::SetPaneText(const std::string& name, const std::string& text)
{
  if (this->Frame->StatusBar)
  {
    this->Frame->StatusBar->SetPaneText(name, text);
  }
}

//------------------------------------------------------------------------------
void CFrameWnd::ShowControlBar(CToolBar* bar, BOOL show)
{
  if (bar && bar->Bar)
  {
    bar->Bar->setVisible(show != FALSE);
  }
}

//------------------------------------------------------------------------------
void CFrameWnd::ShowControlBar(CStatusBar* bar, BOOL show)
{
  if (bar && bar->Bar)
  {
    bar->Bar->setVisible(show != FALSE);
  }
}

//------------------------------------------------------------------------------
void CFrameWnd::UpdateFrameTitleForDocument(const std::string& documentTitle)
{
  std::string title = CResources::Get().LoadStringField(this->ResourceId, windowTitle);
  if (title.empty())
  {
    title = CResources::Get().LoadString(AFX_IDS_APP_TITLE);
  }
  if (!documentTitle.empty())
  {
    title = documentTitle + " - " + title;
  }
  this->SetWindowText(title);
}

//------------------------------------------------------------------------------
void CFrameWnd::InitialUpdateFrame(CDocument* document, BOOL makeVisible)
{
  for (auto& view : this->Frame->Views)
  {
    view->OnInitialUpdate();
  }
  if (!this->ActiveView && !this->Frame->Views.empty())
  {
    this->ActiveView = this->Frame->Views.front().get();
  }
  if (document)
  {
    this->UpdateFrameTitleForDocument(document->GetTitle());
  }
  if (makeVisible)
  {
    this->ShowWindow(SW_SHOW);
  }
  this->UpdateCommandUI();
}

//------------------------------------------------------------------------------
void CFrameWnd::EnableDocking(DWORD style)
{
  if (this->Frame->Window)
  {
    this->Frame->Window->setDockOptions(QMainWindow::AnimatedDocks);
    (void)style;
  }
}

//------------------------------------------------------------------------------
void CFrameWnd::DockControlBar(CToolBar* bar)
{
  if (bar && bar->Bar && this->Frame->Window)
  {
    this->Frame->Window->addToolBar(Qt::TopToolBarArea, bar->Bar);
  }
}

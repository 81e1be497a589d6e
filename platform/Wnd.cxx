#include "Wnd.h"

#include "Prompts.h"
#include "VtkWindow.h"
#include "WndInternal.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QResizeEvent>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>
#include <QWidget>

#include <map>
#include <mutex>

namespace
{
const char* const OwnerProperty = "quorvelCWnd";

// What a posted message holds on to: cleared (on the user-interface thread) when the
// window goes away, so that a late message is dropped instead of reaching a dead window.
struct PostTarget
{
  CWnd* Wnd;
};

WPARAM KeyFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers)
{
  WPARAM flags = 0;
  if (buttons & Qt::LeftButton)
  {
    flags |= MK_LBUTTON;
  }
  if (buttons & Qt::RightButton)
  {
    flags |= MK_RBUTTON;
  }
  if (buttons & Qt::MiddleButton)
  {
    flags |= MK_MBUTTON;
  }
  if (modifiers & Qt::ShiftModifier)
  {
    flags |= MK_SHIFT;
  }
  if (modifiers & Qt::ControlModifier)
  {
    flags |= MK_CONTROL;
  }
  return flags;
}

UINT ButtonMessage(Qt::MouseButton button, bool down)
{
  switch (button)
  {
    case Qt::LeftButton:
      return down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
    case Qt::RightButton:
      return down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
    case Qt::MiddleButton:
      return down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
    default:
      return WM_NULL;
  }
}
}

namespace platform_detail
{
//------------------------------------------------------------------------------
void EnsureApplication()
{
  if (!QCoreApplication::instance())
  {
    static int argc = 1;
    static char name[] = "Halden";
    static char* argv[] = { name, nullptr };
    new QApplication(argc, argv);
  }
}
}

//------------------------------------------------------------------------------
// The local files of dropped data (other URLs, text and pictures are not files).
static std::vector<std::string> LocalFiles(const QMimeData* data)
{
  std::vector<std::string> paths;
  if (data && data->hasUrls())
  {
    for (const QUrl& url : data->urls())
    {
      if (url.isLocalFile())
      {
        paths.push_back(url.toLocalFile().toLocal8Bit().toStdString());
      }
    }
  }
  return paths;
}

//------------------------------------------------------------------------------
// Turns the widget's events into messages to its window.
class CWndEventBridge : public QObject
{
public:
  explicit CWndEventBridge(CWnd* owner)
    : Owner(owner)
  {
  }

  bool eventFilter(QObject* watched, QEvent* event) override
  {
    CWnd* wnd = this->Owner;
    if (!wnd->m_hWnd || watched != wnd->GetWidget())
    {
      return false;
    }
    switch (event->type())
    {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseButtonRelease:
      {
        auto* me = static_cast<QMouseEvent*>(event);
        const UINT message =
          ButtonMessage(me->button(), event->type() != QEvent::MouseButtonRelease);
        if (message != WM_NULL)
        {
          wnd->SendMessage(message, KeyFlags(me->buttons(), me->modifiers()),
            MAKELPARAM(static_cast<unsigned>(me->x()), static_cast<unsigned>(me->y())));
        }
        return true;
      }
      case QEvent::MouseMove:
      {
        auto* me = static_cast<QMouseEvent*>(event);
        wnd->SendMessage(WM_MOUSEMOVE, KeyFlags(me->buttons(), me->modifiers()),
          MAKELPARAM(static_cast<unsigned>(me->x()), static_cast<unsigned>(me->y())));
        return true;
      }
      case QEvent::Wheel:
      {
        auto* we = static_cast<QWheelEvent*>(event);
        const QPoint global = we->globalPosition().toPoint();
        wnd->SendMessage(WM_MOUSEWHEEL,
          MAKEWPARAM(static_cast<unsigned>(KeyFlags(we->buttons(), we->modifiers())),
            static_cast<unsigned>(static_cast<std::int16_t>(we->angleDelta().y()))),
          MAKELPARAM(static_cast<unsigned>(global.x()), static_cast<unsigned>(global.y())));
        return true;
      }
      case QEvent::Resize:
      {
        auto* re = static_cast<QResizeEvent*>(event);
        wnd->SendMessage(WM_SIZE, SIZE_RESTORED,
          MAKELPARAM(
            static_cast<unsigned>(re->size().width()), static_cast<unsigned>(re->size().height())));
        return false;
      }
      case QEvent::Paint:
        if (!platform_detail::PaintsItself(wnd->GetWidget()))
        {
          wnd->SendMessage(WM_PAINT);
        }
        return false;
      case QEvent::Close:
        event->ignore();
        wnd->SendMessage(WM_CLOSE);
        return true;
      case QEvent::DragEnter:
      case QEvent::DragMove:
      {
        auto* de = static_cast<QDropEvent*>(event);
        if (!LocalFiles(de->mimeData()).empty())
        {
          de->acceptProposedAction();
        }
        return true;
      }
      case QEvent::Drop:
      {
        auto* de = static_cast<QDropEvent*>(event);
        const std::vector<std::string> paths = LocalFiles(de->mimeData());
        if (!paths.empty())
        {
          de->acceptProposedAction();
          wnd->OnDropFiles(paths);
        }
        return true;
      }
      default:
        return false;
    }
  }

private:
  CWnd* Owner;
};

//------------------------------------------------------------------------------
struct CWnd::Internals
{
  QPointer<QWidget> Widget;
  bool Owned = false;
  std::unique_ptr<CWndEventBridge> Bridge;
  std::map<UINT_PTR, QTimer*> Timers;
  std::mutex PostMutex;
  std::shared_ptr<PostTarget> Post;
};

//------------------------------------------------------------------------------
CWnd::CWnd()
  : Internal(new Internals)
{
}

//------------------------------------------------------------------------------
CWnd::~CWnd()
{
  if (this->m_hWnd)
  {
    // Too late for the derived classes' handlers: those are gone. Windows that care
    // (views, frames) are destroyed by their owners before deletion.
    this->DestroyWindow();
  }
}

//------------------------------------------------------------------------------
void CWnd::DragAcceptFiles(BOOL accept)
{
  if (QWidget* widget = this->GetWidget())
  {
    widget->setAcceptDrops(accept != FALSE);
  }
}

//------------------------------------------------------------------------------
void CWnd::OnDropFiles(const std::vector<std::string>&) {}

//------------------------------------------------------------------------------
QWidget* CWnd::GetWidget() const
{
  return this->m_hWnd ? this->Internal->Widget.data() : nullptr;
}

//------------------------------------------------------------------------------
CWnd* CWnd::FromWidget(QWidget* widget)
{
  if (!widget)
  {
    return nullptr;
  }
  const QVariant v = widget->property(OwnerProperty);
  return v.isValid() ? reinterpret_cast<CWnd*>(v.value<quintptr>()) : nullptr;
}

//------------------------------------------------------------------------------
BOOL CWnd::PreCreateWindow(CREATESTRUCT&)
{
  return TRUE;
}

//------------------------------------------------------------------------------
QWidget* CWnd::CreateWidget(const CREATESTRUCT& cs, QWidget* parent)
{
  if (cs.lpszClass == VTK_OPENGL_WINDOW_CLASS)
  {
    return platform_detail::CreateVtkWindowWidget(this, parent);
  }
  return new QWidget(parent);
}

//------------------------------------------------------------------------------
BOOL CWnd::Create(const char* className, const char* windowName, DWORD style, const RECT& rect,
  CWnd* parent, UINT id, void* createParams)
{
  if (this->m_hWnd)
  {
    return FALSE;
  }
  platform_detail::EnsureApplication();
  CREATESTRUCT cs;
  cs.style = style;
  cs.lpszClass = className ? className : "";
  cs.lpszName = windowName ? windowName : "";
  cs.x = rect.left;
  cs.y = rect.top;
  cs.cx = rect.right - rect.left;
  cs.cy = rect.bottom - rect.top;
  cs.hwndParent = parent;
  cs.hMenu = id;
  cs.lpCreateParams = createParams;
  if (!this->PreCreateWindow(cs))
  {
    return FALSE;
  }
  QWidget* widget = this->CreateWidget(cs, parent ? parent->GetWidget() : nullptr);
  if (!widget)
  {
    return FALSE;
  }
  this->Internal->Widget = widget;
  this->Internal->Owned = true;
  this->Parent = parent;
  this->ControlId = id;
  widget->setProperty(OwnerProperty, QVariant::fromValue(reinterpret_cast<quintptr>(this)));
  if (!cs.lpszName.empty())
  {
    widget->setWindowTitle(QString::fromStdString(cs.lpszName));
  }
  if (cs.cx > 0 && cs.cy > 0)
  {
    widget->setGeometry(cs.x, cs.y, cs.cx, cs.cy);
  }
  // Buttons held or not, moves are messages too.
  widget->setMouseTracking(true);
  this->Internal->Bridge.reset(new CWndEventBridge(this));
  widget->installEventFilter(this->Internal->Bridge.get());
  {
    std::lock_guard<std::mutex> lock(this->Internal->PostMutex);
    this->Internal->Post = std::make_shared<PostTarget>(PostTarget{ this });
  }
  this->m_hWnd = this;

  if (this->SendMessage(WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1)
  {
    this->DestroyWindow();
    return FALSE;
  }
  if ((cs.style & WS_VISIBLE) && parent)
  {
    widget->show();
  }
  return TRUE;
}

//------------------------------------------------------------------------------
void CWnd::Attach(QWidget* widget, CWnd* parent, UINT id)
{
  this->Internal->Widget = widget;
  this->Internal->Owned = false;
  this->Parent = parent;
  this->ControlId = id;
  widget->setProperty(OwnerProperty, QVariant::fromValue(reinterpret_cast<quintptr>(this)));
  this->m_hWnd = this;
}

//------------------------------------------------------------------------------
void CWnd::Detach()
{
  if (this->Internal->Widget)
  {
    this->Internal->Widget->setProperty(OwnerProperty, QVariant());
  }
  this->Internal->Widget = nullptr;
  this->m_hWnd = nullptr;
}

//------------------------------------------------------------------------------
BOOL CWnd::DestroyWindow()
{
  if (!this->m_hWnd)
  {
    return FALSE;
  }
  QWidget* widget = this->Internal->Widget;
  this->SendMessage(WM_DESTROY);

  // Children after their parent, as Windows does.
  if (widget)
  {
    for (QWidget* child : widget->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
    {
      CWnd* childWnd = CWnd::FromWidget(child);
      if (childWnd && childWnd != this && childWnd->m_hWnd && childWnd->Internal->Owned)
      {
        childWnd->DestroyWindow();
      }
    }
  }

  for (auto& timer : this->Internal->Timers)
  {
    timer.second->stop();
    delete timer.second;
  }
  this->Internal->Timers.clear();
  {
    std::lock_guard<std::mutex> lock(this->Internal->PostMutex);
    if (this->Internal->Post)
    {
      this->Internal->Post->Wnd = nullptr;
      this->Internal->Post.reset();
    }
  }
  if (widget)
  {
    widget->removeEventFilter(this->Internal->Bridge.get());
    widget->setProperty(OwnerProperty, QVariant());
    if (this->Internal->Owned)
    {
      widget->hide();
      // Later: the widget may be in the middle of delivering the event that led here.
      widget->deleteLater();
    }
  }
  this->Internal->Bridge.reset();
  this->Internal->Widget = nullptr;
  this->m_hWnd = nullptr;
  return TRUE;
}

//------------------------------------------------------------------------------
LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
  switch (message)
  {
    case WM_CREATE:
      return this->OnCreate(reinterpret_cast<LPCREATESTRUCT>(lParam));
    case WM_DESTROY:
      this->OnDestroy();
      return 0;
    case WM_CLOSE:
      this->OnClose();
      return 0;
    case WM_SIZE:
      this->OnSize(static_cast<UINT>(wParam), LOWORD(static_cast<std::uintptr_t>(lParam)),
        HIWORD(static_cast<std::uintptr_t>(lParam)));
      return 0;
    case WM_PAINT:
      this->OnPaint();
      return 0;
    case WM_TIMER:
      this->OnTimer(static_cast<UINT_PTR>(wParam));
      return 0;
    case WM_COMMAND:
      return this->OnCommand(wParam, lParam) ? 0 : this->DefWindowProc(message, wParam, lParam);
    default:
      return this->DefWindowProc(message, wParam, lParam);
  }
}

//------------------------------------------------------------------------------
LRESULT CWnd::DefWindowProc(UINT message, WPARAM, LPARAM)
{
  if (message == WM_CLOSE)
  {
    this->DestroyWindow();
  }
  return 0;
}

//------------------------------------------------------------------------------
int CWnd::OnCreate(LPCREATESTRUCT)
{
  return 0;
}

//------------------------------------------------------------------------------
void CWnd::OnDestroy() {}

//------------------------------------------------------------------------------
void CWnd::OnClose()
{
  this->DefWindowProc(WM_CLOSE, 0, 0);
}

//------------------------------------------------------------------------------
void CWnd::OnSize(UINT, int, int) {}

//------------------------------------------------------------------------------
void CWnd::OnPaint() {}

//------------------------------------------------------------------------------
void CWnd::OnTimer(UINT_PTR) {}

//------------------------------------------------------------------------------
BOOL CWnd::OnCommand(WPARAM wParam, LPARAM)
{
  return this->OnCmdMsg(LOWORD(wParam), CN_COMMAND, nullptr);
}

//------------------------------------------------------------------------------
LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
  if (!this->m_hWnd)
  {
    return 0;
  }
  return this->WindowProc(message, wParam, lParam);
}

//------------------------------------------------------------------------------
BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
  std::shared_ptr<PostTarget> target;
  {
    std::lock_guard<std::mutex> lock(this->Internal->PostMutex);
    target = this->Internal->Post;
  }
  QCoreApplication* app = QCoreApplication::instance();
  if (!target || !app)
  {
    return FALSE;
  }
  return QMetaObject::invokeMethod(
           app,
           [target, message, wParam, lParam]
           {
             if (target->Wnd)
             {
               target->Wnd->SendMessage(message, wParam, lParam);
             }
           },
           Qt::QueuedConnection)
    ? TRUE
    : FALSE;
}

//------------------------------------------------------------------------------
BOOL PostToUserInterface(std::function<void()> task)
{
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || !task)
  {
    return FALSE;
  }
  // Qt's queue lock orders the posting thread's writes (the task and Qt's copy of it) before
  // the call, but Qt's locks are invisible to ThreadSanitizer. Holding a lock of ours while
  // posting, and taking it before the task runs, shows it the same order. It is never
  // contended for longer than a post takes.
  static std::mutex handOver;
  std::lock_guard<std::mutex> lock(handOver);
  return QMetaObject::invokeMethod(
           app,
           [task = std::move(task)]
           {
             {
               std::lock_guard<std::mutex> received(handOver);
             }
             task();
           },
           Qt::QueuedConnection)
    ? TRUE
    : FALSE;
}

//------------------------------------------------------------------------------
UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapse)
{
  if (!this->m_hWnd)
  {
    return 0;
  }
  QTimer*& timer = this->Internal->Timers[id];
  if (!timer)
  {
    timer = new QTimer;
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, [this, id] { this->SendMessage(WM_TIMER, id, 0); });
  }
  timer->start(static_cast<int>(elapse));
  return id;
}

//------------------------------------------------------------------------------
BOOL CWnd::KillTimer(UINT_PTR id)
{
  auto it = this->Internal->Timers.find(id);
  if (it == this->Internal->Timers.end())
  {
    return FALSE;
  }
  it->second->stop();
  // The timer may be the one whose timeout is being delivered right now.
  it->second->deleteLater();
  this->Internal->Timers.erase(it);
  return TRUE;
}

//------------------------------------------------------------------------------
void CWnd::GetClientRect(RECT* rect) const
{
  QWidget* widget = this->GetWidget();
  rect->left = 0;
  rect->top = 0;
  rect->right = widget ? widget->width() : 0;
  rect->bottom = widget ? widget->height() : 0;
}

//------------------------------------------------------------------------------
void CWnd::GetWindowRect(RECT* rect) const
{
  QWidget* widget = this->GetWidget();
  const QPoint at =
    widget ? (widget->isWindow() ? widget->pos() : widget->geometry().topLeft()) : QPoint();
  rect->left = at.x();
  rect->top = at.y();
  rect->right = at.x() + (widget ? widget->width() : 0);
  rect->bottom = at.y() + (widget ? widget->height() : 0);
}

//------------------------------------------------------------------------------
void CWnd::ScreenToClient(POINT* point) const
{
  if (QWidget* widget = this->GetWidget())
  {
    const QPoint local =
      widget->mapFromGlobal(QPoint(static_cast<int>(point->x), static_cast<int>(point->y)));
    point->x = local.x();
    point->y = local.y();
  }
}

//------------------------------------------------------------------------------
void CWnd::MoveWindow(int x, int y, int cx, int cy)
{
  if (QWidget* widget = this->GetWidget())
  {
    if (widget->isWindow())
    {
      widget->move(x, y);
      widget->resize(cx, cy);
    }
    else
    {
      widget->setGeometry(x, y, cx, cy);
    }
  }
}

//------------------------------------------------------------------------------
BOOL CWnd::ShowWindow(int cmdShow)
{
  QWidget* widget = this->GetWidget();
  if (!widget)
  {
    return FALSE;
  }
  const bool wasVisible = widget->isVisible();
  widget->setVisible(cmdShow != SW_HIDE);
  return wasVisible ? TRUE : FALSE;
}

//------------------------------------------------------------------------------
BOOL CWnd::IsWindowVisible() const
{
  QWidget* widget = this->GetWidget();
  return widget && widget->isVisible() ? TRUE : FALSE;
}

//------------------------------------------------------------------------------
void CWnd::UpdateWindow()
{
  if (QWidget* widget = this->GetWidget())
  {
    widget->repaint();
  }
}

//------------------------------------------------------------------------------
void CWnd::Invalidate()
{
  if (QWidget* widget = this->GetWidget())
  {
    platform_detail::ForgetRenderedFrame(widget);
    widget->update();
  }
}

//------------------------------------------------------------------------------
BOOL CWnd::EnableWindow(BOOL enable)
{
  QWidget* widget = this->GetWidget();
  if (!widget)
  {
    return FALSE;
  }
  const bool wasDisabled = !widget->isEnabled();
  widget->setEnabled(enable != FALSE);
  return wasDisabled ? TRUE : FALSE;
}

//------------------------------------------------------------------------------
BOOL CWnd::IsWindowEnabled() const
{
  QWidget* widget = this->GetWidget();
  return widget && widget->isEnabled() ? TRUE : FALSE;
}

//------------------------------------------------------------------------------
void CWnd::SetWindowText(const std::string& text)
{
  if (QWidget* widget = this->GetWidget())
  {
    widget->setWindowTitle(QString::fromStdString(text));
  }
}

//------------------------------------------------------------------------------
std::string CWnd::GetWindowText() const
{
  QWidget* widget = this->GetWidget();
  return widget ? widget->windowTitle().toStdString() : std::string();
}

//------------------------------------------------------------------------------
int CWnd::MessageBox(const std::string& text, const std::string& caption, UINT type)
{
  MessageBoxRequest request;
  request.Text = text;
  request.Caption = caption;
  request.Type = type;
  if (CPromptResponder* responder = GetPromptResponder())
  {
    return responder->MessageBox(request);
  }
  return platform_detail::ShowMessageBox(this->GetWidget(), request);
}

//------------------------------------------------------------------------------
void CWnd::SetBusyCursor(BOOL busy)
{
  if (QWidget* widget = this->GetWidget())
  {
    if (busy)
    {
      widget->setCursor(Qt::BusyCursor);
    }
    else
    {
      widget->unsetCursor();
    }
  }
}

//------------------------------------------------------------------------------
CWaitCursor::CWaitCursor()
{
  if (qobject_cast<QApplication*>(QCoreApplication::instance()))
  {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  }
}

//------------------------------------------------------------------------------
CWaitCursor::~CWaitCursor()
{
  if (qobject_cast<QApplication*>(QCoreApplication::instance()))
  {
    QApplication::restoreOverrideCursor();
  }
}

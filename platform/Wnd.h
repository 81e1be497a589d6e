/**
 * @file Wnd.h
 * @brief A window: a Qt widget seen through Win32 messages.
 *
 * A CWnd owns one Qt widget while its window exists (m_hWnd is then the CWnd itself).
 * What happens to the widget reaches the CWnd as the Win32 messages the viewer is written
 * against, sent through the virtual WindowProc, so that a derived window sees every message
 * before its base and passes it on by calling the base's WindowProc:
 *
 * | widget event                         | message                                        |
 * |--------------------------------------|------------------------------------------------|
 * | created (in Create)                  | WM_CREATE (lParam: the CREATESTRUCT)           |
 * | resized                              | WM_SIZE (SIZE_RESTORED, width low, height high) |
 * | painted                              | WM_PAINT                                       |
 * | mouse move / button press / release  | WM_MOUSEMOVE, WM_[LRM]BUTTON{DOWN,UP} (MK_* in wParam, x
 * low and y high 16 bits of lParam, y from the top) | | a timer of SetTimer fires            |
 * WM_TIMER (wParam: the timer's identifier)      | | destroyed (DestroyWindow)            |
 * WM_DESTROY                                     |
 *
 * The base WindowProc dispatches WM_CREATE, WM_DESTROY, WM_SIZE, WM_PAINT, WM_TIMER and
 * WM_COMMAND to the On... handlers below; everything else goes to DefWindowProc (which
 * answers 0). Mouse events are consumed by the message: the widget itself never sees them.
 *
 * PostMessage may be called from any thread: the message is queued in the application's
 * event loop and delivered through WindowProc on the user-interface thread. A message
 * posted to a window that is destroyed before delivery is dropped. SendMessage calls
 * WindowProc at once and must be called on the user-interface thread.
 */
#ifndef platform_Wnd_h
#define platform_Wnd_h

#include "CmdTarget.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QWidget;

/// Window-creation parameters, as PreCreateWindow sees and may change them.
struct CREATESTRUCT
{
  DWORD style = 0;
  /// The window class: "" a plain window; VTK_OPENGL_WINDOW_CLASS (VtkWindow.h) a window
  /// that a VTK render window can draw into.
  std::string lpszClass;
  std::string lpszName;
  int x = 0;
  int y = 0;
  int cx = 0;
  int cy = 0;
  CWnd* hwndParent = nullptr;
  UINT hMenu = 0; ///< for a child window: its control identifier
  void* lpCreateParams = nullptr;
};
using LPCREATESTRUCT = CREATESTRUCT*;

/// ShowWindow commands.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOW = 5;

/**
 * @class CDC
 * @brief The device context given to OnDraw. Drawing goes through the views' render
 * windows, so it only names the window being painted.
 */
class CDC
{
public:
  explicit CDC(HDC dc = nullptr)
    : m_hDC(dc)
  {
  }
  HDC GetSafeHdc() const { return m_hDC; }
  HDC m_hDC;
};

/**
 * @class CWnd
 * @brief A window with a message procedure (see the file comment).
 */
class CWnd : public CCmdTarget
{
public:
  CWnd();
  /// Destroys the window if it still exists.
  ~CWnd() override;

  /// Non-null while the window exists.
  HWND m_hWnd = nullptr;
  HWND GetSafeHwnd() const { return m_hWnd; }

  /**
   * Creates the window: PreCreateWindow may change the parameters, then the widget is
   * made (as a child of the parent's widget, if any) and WM_CREATE is sent. When
   * OnCreate answers -1 the window is destroyed again and Create returns FALSE.
   */
  virtual BOOL Create(const char* className, const char* windowName, DWORD style, const RECT& rect,
    CWnd* parent, UINT id, void* createParams = nullptr);
  /// Sends WM_DESTROY (also to the child windows, after this one), then releases the widget.
  virtual BOOL DestroyWindow();

  virtual BOOL PreCreateWindow(CREATESTRUCT& cs);

  /// The message procedure. Derived windows override it, handle their own messages and
  /// pass everything on to their base's WindowProc.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  /// The processing of a message that nobody handled: 0.
  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

  /// Delivers the message through WindowProc at once (user-interface thread only).
  /// Returns 0 when the window does not exist.
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  /// Queues the message for delivery through WindowProc on the user-interface thread.
  /// Safe from any thread. FALSE when the window does not exist.
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

  /// A timer on the user-interface thread that sends WM_TIMER with wParam = id every
  /// elapse milliseconds until KillTimer. Setting an existing identifier restarts it.
  UINT_PTR SetTimer(UINT_PTR id, UINT elapse);
  BOOL KillTimer(UINT_PTR id);

  CWnd* GetParent() const { return this->Parent; }
  void GetClientRect(RECT* rect) const;
  /// Where the window is and its size, as MoveWindow takes them (a frame: the top-level
  /// window's position and its client size), so that MoveWindow puts it back exactly.
  void GetWindowRect(RECT* rect) const;
  /// A point in screen coordinates (as WM_MOUSEWHEEL carries it) into the window's own.
  void ScreenToClient(POINT* point) const;
  /// Places the window (its top-level window for a frame) and gives it that size.
  void MoveWindow(int x, int y, int cx, int cy);
  BOOL ShowWindow(int cmdShow);
  BOOL IsWindowVisible() const;
  /// Paints at once what needs painting.
  void UpdateWindow();
  /// Asks for a paint (WM_PAINT) at the next opportunity.
  void Invalidate();
  BOOL EnableWindow(BOOL enable = TRUE);
  BOOL IsWindowEnabled() const;
  void SetWindowText(const std::string& text);
  /// Shows the busy cursor (the pointer with a wait sign: the window still takes input) over
  /// this window while busy is TRUE, its usual cursor again after FALSE.
  void SetBusyCursor(BOOL busy);
  std::string GetWindowText() const;
  UINT GetDlgCtrlID() const { return this->ControlId; }

  /// Lets the user drop files on the window (from a file manager); each drop reaches
  /// OnDropFiles. Child windows that do not accept drops pass them on to this one.
  void DragAcceptFiles(BOOL accept = TRUE);

  /// A message box owned by this window (through the prompt seam, Prompts.h).
  int MessageBox(
    const std::string& text, const std::string& caption = std::string(), UINT type = MB_OK);

  /// The Qt widget of the window; null while the window does not exist.
  QWidget* GetWidget() const;
  /// The CWnd whose window is the given widget, or null.
  static CWnd* FromWidget(QWidget* widget);

protected:
  /// Message handlers of the base WindowProc.
  virtual int OnCreate(LPCREATESTRUCT cs);
  virtual void OnDestroy();
  /// WM_CLOSE (the user closes the window): destroys it.
  virtual void OnClose();
  virtual void OnSize(UINT type, int cx, int cy);
  virtual void OnPaint();
  virtual void OnTimer(UINT_PTR id);
  /// Files were dropped on the window (after DragAcceptFiles): their local paths, in the
  /// order of the drop. The base does nothing.
  virtual void OnDropFiles(const std::vector<std::string>& paths);
  /// WM_COMMAND: routes LOWORD(wParam) through OnCmdMsg. TRUE when handled.
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);

  /// Makes the widget of the window class; frames and dialogs make their own kinds.
  virtual QWidget* CreateWidget(const CREATESTRUCT& cs, QWidget* parent);

  /// Lets an existing widget be this window (used for the controls of dialogs); the
  /// window does not own it.
  void Attach(QWidget* widget, CWnd* parent, UINT id);
  void Detach();

private:
  friend class CWndEventBridge;
  struct Internals;
  std::unique_ptr<Internals> Internal;
  CWnd* Parent = nullptr;
  UINT ControlId = 0;
};

/**
 * @class CWaitCursor
 * @brief Shows the wait cursor for its lifetime.
 */
class CWaitCursor
{
public:
  CWaitCursor();
  ~CWaitCursor();
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;
};

/**
 * Queues a task for the user-interface thread's event loop, where it runs after the events
 * already queued. Safe from any thread; FALSE when there is no application to run it. The
 * task must itself check that what it refers to still exists when it runs.
 */
BOOL PostToUserInterface(std::function<void()> task);

/// Win32-style free function: the message procedure of a window handle.
inline LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
  return hwnd ? hwnd->SendMessage(message, wParam, lParam) : 0;
}

#endif

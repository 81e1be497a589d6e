/**
 * @file VtkWindow.h
 * @brief A VTK render window inside a framework window, its interactor, and the message
 * handler that turns window messages into interactor events.
 *
 * A view that VTK draws into creates its window with the class VTK_OPENGL_WINDOW_CLASS
 * (PreCreateWindow sets cs.lpszClass). Its render window, a vtkPlatformRenderWindow, is
 * bound to that window by SetWindowId(m_hWnd) and WindowInitialize(); from then on the
 * picture shows in the window.
 *
 * Mouse input never goes to VTK by itself: the window turns it into messages through the
 * view's WindowProc, and the view gives the ones it wants VTK to see to vtkHandleMessage2,
 * which sets the event position (y flipped to VTK's bottom-up convention) and modifiers and
 * invokes the matching interactor event. The interactor's timers (created by the style
 * while a button is held) are the window's SetTimer timers: they come back as WM_TIMER
 * through the view's WindowProc, and vtkHandleMessage2 turns them into timer events.
 *
 * Memory rendering (SetupMemoryRendering, Render, GetMemoryData, ResumeScreenRendering)
 * renders the scene at a given size and keeps the picture as a device-independent bitmap's
 * pixels: rows bottom-up, blue-green-red, each row padded to a multiple of 4 bytes.
 */
#ifndef platform_VtkWindow_h
#define platform_VtkWindow_h

#include "win32.h"

#include <vtkGenericOpenGLRenderWindow.h>
#include <vtkGenericRenderWindowInteractor.h>
#include <vtkSmartPointer.h>

#include <vector>

/// The window class of windows that a VTK render window draws into.
constexpr const char* VTK_OPENGL_WINDOW_CLASS = "vtkOpenGL";

/**
 * @class vtkPlatformRenderWindow
 * @brief An OpenGL render window shown in a framework window.
 *
 * Render renders at once (also outside a paint) and shows the result at the window's next
 * paint, which does not render it again (unless the window's size changed or it was
 * invalidated in between): one render per picture.
 */
class vtkPlatformRenderWindow : public vtkGenericOpenGLRenderWindow
{
public:
  static vtkPlatformRenderWindow* New();
  vtkTypeMacro(vtkPlatformRenderWindow, vtkGenericOpenGLRenderWindow);
  void PrintSelf(ostream& os, vtkIndent indent) override;

  /// The framework window (HWND) to draw into; takes effect in WindowInitialize.
  void SetWindowId(void* hwnd) override;
  void SetParentId(void* hwnd) override;
  void* GetGenericWindowId() override { return this->WindowId; }
  void* GetGenericParentId() override { return this->ParentId; }
  /// Binds the render window to its window. The window must be of VTK_OPENGL_WINDOW_CLASS.
  void WindowInitialize();
  /// True once bound to a window.
  bool IsBound() const { return this->Bound; }

  void Render() override;
  /// True while Render draws inside the window's paint (which shows the picture itself).
  bool IsRenderingInPaint() const { return this->RenderingInPaint; }

  ///@{
  /// Memory rendering: from SetupMemoryRendering until ResumeScreenRendering, Render draws
  /// at width x height and keeps the picture for GetMemoryData.
  void SetupMemoryRendering(int width, int height, HDC dc);
  void ResumeScreenRendering();
  /// The pixels of the last memory render (bottom-up BGR rows padded to 4 bytes), or null
  /// before one.
  unsigned char* GetMemoryData();
  int GetMemoryRendering() const { return this->MemoryRendering; }
  ///@}

protected:
  vtkPlatformRenderWindow();
  ~vtkPlatformRenderWindow() override;

private:
  vtkPlatformRenderWindow(const vtkPlatformRenderWindow&) = delete;
  void operator=(const vtkPlatformRenderWindow&) = delete;
  void ReadMemoryPixels();

  void* WindowId = nullptr;
  void* ParentId = nullptr;
  bool Bound = false;
  bool InRender = false;
  bool RenderingInPaint = false;
  vtkSmartPointer<vtkCommand> ShownByPaint; // see WindowInitialize
  int MemoryRendering = 0;
  int MemorySize[2] = { 0, 0 };
  int ScreenSize[2] = { 0, 0 };
  std::vector<unsigned char> MemoryData;
};

/**
 * @class vtkPlatformRenderWindowInteractor
 * @brief The interactor of a vtkPlatformRenderWindow: its timers are the window's
 * WM_TIMER timers, and it gets its input from vtkHandleMessage2.
 *
 * Rendering through the interactor goes on while it is disabled: disabling stops
 * interaction, not drawing.
 */
class vtkPlatformRenderWindowInteractor : public vtkGenericRenderWindowInteractor
{
public:
  static vtkPlatformRenderWindowInteractor* New();
  vtkTypeMacro(vtkPlatformRenderWindowInteractor, vtkGenericRenderWindowInteractor);
  void PrintSelf(ostream& os, vtkIndent indent) override;

  /// Marks the interactor initialised and takes the render window's size.
  void Initialize() override;
  void Render() override;

  /// Called by vtkHandleMessage2 for WM_TIMER: the timer event of the VTK timer behind the
  /// window timer (the identifier itself when none is).
  void OnTimer(HWND wnd, UINT_PTR timerId);

  /// The number of interactor events invoked through vtkHandleMessage2 (mouse and timer).
  vtkGetMacro(MessageEventCount, int);

protected:
  vtkPlatformRenderWindowInteractor();
  ~vtkPlatformRenderWindowInteractor() override;

  int InternalCreateTimer(int timerId, int timerType, unsigned long duration) override;
  int InternalDestroyTimer(int platformTimerId) override;

private:
  vtkPlatformRenderWindowInteractor(const vtkPlatformRenderWindowInteractor&) = delete;
  void operator=(const vtkPlatformRenderWindowInteractor&) = delete;
  friend LRESULT vtkHandleMessage2(HWND, UINT, WPARAM, LPARAM, vtkPlatformRenderWindowInteractor*);
  HWND TimerWindow() const;
  int MessageEventCount = 0;
  int MouseInWindow = 0;
};

/**
 * Gives a window message to the interactor: the mouse messages (the wheel too: an event
 * per notch) and WM_TIMER become interactor events (nothing happens while the interactor is disabled); every other
 * message goes to the window's default processing. Returns 0 for the messages it handles.
 */
LRESULT vtkHandleMessage2(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
  vtkPlatformRenderWindowInteractor* interactor);

#endif

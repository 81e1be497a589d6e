#include "VtkWindow.h"

#include "Wnd.h"
#include "WndInternal.h"

#include <QVTKOpenGLNativeWidget.h>
#include <QVTKRenderWindowAdapter.h>

#include <vtkCommand.h>
#include <vtkNew.h>
#include <vtkOpenGLState.h>
#include <vtkSmartPointer.h>

#include <vtkObjectFactory.h>
#include <vtkUnsignedCharArray.h>

#include <QOpenGLFunctions>

#include <algorithm>
#include <cstdlib>

namespace
{
// The widget of a VTK_OPENGL_WINDOW_CLASS window. Its input never goes to VTK by itself
// (the window makes messages of it); its paints are WM_PAINT to the window, which renders,
// after which the widget shows the picture.
class VtkWidget : public QVTKOpenGLNativeWidget
{
public:
  VtkWidget(CWnd* owner, QWidget* parent)
    : QVTKOpenGLNativeWidget(parent)
    , Owner(owner)
  {
    // The context VTK's shaders need (Qt's default one draws some props and not others).
    this->setFormat(QVTKOpenGLNativeWidget::defaultFormat());
  }

  // Makes the widget's OpenGL context current; false while it has none yet.
  bool MakeContextCurrent()
  {
    if (!this->RenderWindowAdapter)
    {
      return false;
    }
    this->makeCurrent();
    return true;
  }

  bool HasContext() const { return !this->RenderWindowAdapter.isNull(); }
  bool IsPainting() const { return this->Painting; }

  // A frame rendered outside a paint is what the next paint shows, unless the widget's size
  // changed or the window was invalidated since: that paint need not render it again.
  void FrameRendered()
  {
    this->FrameWaiting = true;
    this->FrameSize = this->size() * this->devicePixelRatioF();
  }
  bool TakeWaitingFrame()
  {
    const bool fresh =
      this->FrameWaiting && this->FrameSize == this->size() * this->devicePixelRatioF();
    this->FrameWaiting = false;
    return fresh;
  }
  void ForgetFrame() { this->FrameWaiting = false; }

protected:
  bool event(QEvent* e) override
  {
    // Not QVTKOpenGLNativeWidget::event: that one hands input to the render window's
    // interactor behind the window's back.
    return QOpenGLWidget::event(e);
  }

  void paintGL() override
  {
    if (!this->RenderWindowAdapter || !this->Owner->m_hWnd)
    {
      QVTKOpenGLNativeWidget::paintGL();
      return;
    }
    this->Painting = true;
    this->Owner->SendMessage(WM_PAINT);
    this->Painting = false;
    this->makeCurrent();
    const QSize deviceSize = this->size() * this->devicePixelRatioF();
    this->RenderWindowAdapter->blit(
      this->defaultFramebufferObject(), GL_COLOR_ATTACHMENT0, QRect(QPoint(0, 0), deviceSize));
  }

private:
  CWnd* Owner;
  bool Painting = false;
  bool FrameWaiting = false;
  QSize FrameSize;
};

VtkWidget* WidgetOf(void* hwnd)
{
  auto* wnd = static_cast<CWnd*>(hwnd);
  return wnd ? dynamic_cast<VtkWidget*>(wnd->GetWidget()) : nullptr;
}
}

namespace
{
// Keeps the frame of a render inside the widget's paint from the observers after it.
class ShownByPaintCommand : public vtkCommand
{
public:
  static ShownByPaintCommand* New() { return new ShownByPaintCommand; }
  void Execute(vtkObject* caller, unsigned long, void*) override
  {
    auto* window = vtkPlatformRenderWindow::SafeDownCast(caller);
    if (window && window->IsRenderingInPaint())
    {
      this->AbortFlagOn();
    }
  }
};
}

namespace platform_detail
{
//------------------------------------------------------------------------------
QWidget* CreateVtkWindowWidget(CWnd* owner, QWidget* parent)
{
  return new VtkWidget(owner, parent);
}

//------------------------------------------------------------------------------
bool PaintsItself(QWidget* widget)
{
  return dynamic_cast<VtkWidget*>(widget) != nullptr;
}

//------------------------------------------------------------------------------
void ForgetRenderedFrame(QWidget* widget)
{
  if (auto* vtkWidget = dynamic_cast<VtkWidget*>(widget))
  {
    vtkWidget->ForgetFrame();
  }
}
}

//==============================================================================
vtkStandardNewMacro(vtkPlatformRenderWindow);

//------------------------------------------------------------------------------
vtkPlatformRenderWindow::vtkPlatformRenderWindow()
  : ShownByPaint(vtkSmartPointer<ShownByPaintCommand>::New())
{
}

//------------------------------------------------------------------------------
vtkPlatformRenderWindow::~vtkPlatformRenderWindow() = default;

//------------------------------------------------------------------------------
void vtkPlatformRenderWindow::PrintSelf(ostream& os, vtkIndent indent)
{
  this->Superclass::PrintSelf(os, indent);
  os << indent << "WindowId: " << this->WindowId << "\n";
  os << indent << "ParentId: " << this->ParentId << "\n";
  os << indent << "Bound: " << this->Bound << "\n";
  os << indent << "InRender: " << this->InRender << "\n";
  os << indent << "MemoryRendering: " << this->MemoryRendering << "\n";
  os << indent << "MemorySize: " << this->MemorySize[0] << " " << this->MemorySize[1] << "\n";
  os << indent << "ScreenSize: " << this->ScreenSize[0] << " " << this->ScreenSize[1] << "\n";
  os << indent << "MemoryData: " << this->MemoryData.size() << " bytes\n";
}

//------------------------------------------------------------------------------
void vtkPlatformRenderWindow::SetWindowId(void* hwnd)
{
  this->WindowId = hwnd;
}

//------------------------------------------------------------------------------
void vtkPlatformRenderWindow::SetParentId(void* hwnd)
{
  this->ParentId = hwnd;
}

//------------------------------------------------------------------------------
void vtkPlatformRenderWindow::WindowInitialize()
{
  VtkWidget* widget = WidgetOf(this->WindowId);
  if (!widget)
  {
    vtkErrorMacro("The render window can only draw into a window of the VTK window class.");
    return;
  }
  widget->setRenderWindow(this);
  this->Bound = true;
  // Qt's adapter asks for a paint at the end of every frame it did not start painting itself,
  // to show the picture. A frame rendered inside the widget's paint is shown by that paint
  // already: asking again would make every paint render once more, the window re-drawing the
  // unchanged scene without end and keeping the processor busy. The adapter's observers have
  // the default priority; this one runs before them and stops the event for them.
  if (!this->HasObserver(vtkCommand::WindowFrameEvent, this->ShownByPaint))
  {
    this->AddObserver(vtkCommand::WindowFrameEvent, this->ShownByPaint, 1.0f);
  }
}

//------------------------------------------------------------------------------
void vtkPlatformRenderWindow::Render()
{
  VtkWidget* widget = this->Bound ? WidgetOf(this->WindowId) : nullptr;
  if (this->InRender || !widget)
  {
    this->Superclass::Render();
    return;
  }
  if (widget->IsPainting() && !this->MemoryRendering && widget->TakeWaitingFrame())
  {
    return; // the frame rendered since the last paint is the picture: shown as it is
  }
  if (!widget->MakeContextCurrent())
  {
    return; // nothing to draw into before the window's first paint
  }
  // Rendered here and now, inside a paint or not: Qt leaves its own OpenGL state behind,
  // which VTK's state cache must not trust.
  this->InRender = true;
  vtkOpenGLState* state = this->GetState();
  state->Reset();
  state->Push();
  state->vtkglDepthFunc(0x0203); // GL_LEQUAL, as VTK expects
  const bool ready = this->GetReadyForRendering();
  this->SetReadyForRendering(true);
  this->RenderingInPaint = widget->IsPainting();
  this->Superclass::Render();
  this->RenderingInPaint = false;
  if (this->MemoryRendering)
  {
    this->ReadMemoryPixels();
  }
  this->SetReadyForRendering(ready);
  state->Pop();
  this->InRender = false;
  if (!this->MemoryRendering && !widget->IsPainting())
  {
    widget->FrameRendered();
    widget->update(); // show it
  }
}

//------------------------------------------------------------------------------
void vtkPlatformRenderWindow::SetupMemoryRendering(int width, int height, HDC)
{
  if (width <= 0 || height <= 0)
  {
    return;
  }
  if (!this->MemoryRendering)
  {
    this->ScreenSize[0] = this->Size[0];
    this->ScreenSize[1] = this->Size[1];
  }
  this->MemoryRendering = 1;
  this->MemorySize[0] = width;
  this->MemorySize[1] = height;
  this->MemoryData.clear();
  this->SetSize(width, height);
}

//------------------------------------------------------------------------------
void vtkPlatformRenderWindow::ResumeScreenRendering()
{
  if (!this->MemoryRendering)
  {
    return;
  }
  this->MemoryRendering = 0;
  this->SetSize(this->ScreenSize[0], this->ScreenSize[1]);
  if (VtkWidget* widget = this->Bound ? WidgetOf(this->WindowId) : nullptr)
  {
    widget->ForgetFrame();
    widget->update();
  }
}

//------------------------------------------------------------------------------
unsigned char* vtkPlatformRenderWindow::GetMemoryData()
{
  return this->MemoryData.empty() ? nullptr : this->MemoryData.data();
}

//------------------------------------------------------------------------------
void vtkPlatformRenderWindow::ReadMemoryPixels()
{
  const int w = this->MemorySize[0];
  const int h = this->MemorySize[1];
  vtkNew<vtkUnsignedCharArray> pixels;
  const int status = this->GetPixelData(0, 0, w - 1, h - 1, 0, pixels, 0);
  if (status == VTK_ERROR ||
    pixels->GetNumberOfValues() < static_cast<vtkIdType>(w) * static_cast<vtkIdType>(h) * 3)
  {
    this->MemoryData.clear();
    return;
  }
  const unsigned char* rgbData = pixels->GetPointer(0);

  // Device-independent bitmap rows: bottom-up (as read), blue-green-red, padded to 4.
  const std::size_t row = ((3 * static_cast<std::size_t>(w) + 3) / 4) * 4;
  this->MemoryData.assign(row * h, 0);
  for (int y = 0; y < h; ++y)
  {
    const unsigned char* src = rgbData + static_cast<std::size_t>(y) * w * 3;
    unsigned char* dst = this->MemoryData.data() + static_cast<std::size_t>(y) * row;
    for (int x = 0; x < w; ++x)
    {
      dst[3 * x + 0] = src[3 * x + 2];
      dst[3 * x + 1] = src[3 * x + 1];
      dst[3 * x + 2] = src[3 * x + 0];
    }
  }
}

//==============================================================================
vtkStandardNewMacro(vtkPlatformRenderWindowInteractor);

//------------------------------------------------------------------------------
vtkPlatformRenderWindowInteractor::vtkPlatformRenderWindowInteractor() = default;

//------------------------------------------------------------------------------
vtkPlatformRenderWindowInteractor::~vtkPlatformRenderWindowInteractor() = default;

//------------------------------------------------------------------------------
void vtkPlatformRenderWindowInteractor::PrintSelf(ostream& os, vtkIndent indent)
{
  this->Superclass::PrintSelf(os, indent);
  os << indent << "MessageEventCount: " << this->MessageEventCount << "\n";
  os << indent << "MouseInWindow: " << this->MouseInWindow << "\n";
}

//------------------------------------------------------------------------------
void vtkPlatformRenderWindowInteractor::Initialize()
{
  if (!this->RenderWindow)
  {
    vtkErrorMacro("An interactor needs its render window before it is initialised.");
    return;
  }
  const int* size = this->RenderWindow->GetSize();
  this->Size[0] = size[0];
  this->Size[1] = size[1];
  this->Initialized = 1;
  this->Enable();
}

//------------------------------------------------------------------------------
void vtkPlatformRenderWindowInteractor::Render()
{
  if (this->RenderWindow && this->EnableRender)
  {
    this->RenderWindow->Render();
  }
  this->InvokeEvent(vtkCommand::RenderEvent, nullptr);
}

//------------------------------------------------------------------------------
HWND vtkPlatformRenderWindowInteractor::TimerWindow() const
{
  return this->RenderWindow ? static_cast<HWND>(this->RenderWindow->GetGenericWindowId()) : nullptr;
}

//------------------------------------------------------------------------------
int vtkPlatformRenderWindowInteractor::InternalCreateTimer(int timerId, int, unsigned long duration)
{
  HWND wnd = this->TimerWindow();
  if (!wnd || timerId <= 0)
  {
    return 0;
  }
  // The window's timer carries the VTK timer's own number: WM_TIMER's wParam names it.
  return wnd->SetTimer(static_cast<UINT_PTR>(timerId), static_cast<UINT>(duration)) ? timerId : 0;
}

//------------------------------------------------------------------------------
int vtkPlatformRenderWindowInteractor::InternalDestroyTimer(int platformTimerId)
{
  HWND wnd = this->TimerWindow();
  return wnd && wnd->KillTimer(static_cast<UINT_PTR>(platformTimerId)) ? 1 : 0;
}

//------------------------------------------------------------------------------
void vtkPlatformRenderWindowInteractor::OnTimer(HWND wnd, UINT_PTR timerId)
{
  if (!this->Enabled)
  {
    return;
  }
  int tid = static_cast<int>(timerId);
  ++this->MessageEventCount;
  this->InvokeEvent(vtkCommand::TimerEvent, &tid);
  // Window timers repeat; a one-shot VTK timer is over after its first tick.
  if (tid > 0 && this->IsOneShotTimer(tid) && wnd)
  {
    wnd->KillTimer(timerId);
  }
}

//------------------------------------------------------------------------------
LRESULT vtkHandleMessage2(
  HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, vtkPlatformRenderWindowInteractor* me)
{
  auto fallback = [&] { return hwnd ? hwnd->DefWindowProc(message, wParam, lParam) : 0; };
  if (!me)
  {
    return fallback();
  }
  if (message == WM_TIMER)
  {
    me->OnTimer(hwnd, static_cast<UINT_PTR>(wParam));
    return 0;
  }

  if (message == WM_MOUSEWHEEL)
  {
    // One forward or backward wheel event per notch (at least one), at the pointer, which
    // the message carries in screen coordinates.
    const int delta = GET_WHEEL_DELTA_WPARAM(wParam);
    if (!me->Enabled || delta == 0)
    {
      return 0;
    }
    POINT at{ GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam) };
    if (hwnd)
    {
      hwnd->ScreenToClient(&at);
    }
    me->SetEventInformationFlipY(static_cast<int>(at.x), static_cast<int>(at.y),
      (LOWORD(wParam) & MK_CONTROL) ? 1 : 0, (LOWORD(wParam) & MK_SHIFT) ? 1 : 0);
    me->SetAltKey(0);
    const unsigned long wheel =
      delta > 0 ? vtkCommand::MouseWheelForwardEvent : vtkCommand::MouseWheelBackwardEvent;
    for (int i = std::max(1, std::abs(delta) / WHEEL_DELTA); i > 0; --i)
    {
      ++me->MessageEventCount;
      me->InvokeEvent(wheel, nullptr);
    }
    return 0;
  }

  unsigned long event;
  switch (message)
  {
    case WM_MOUSEMOVE:
      event = vtkCommand::MouseMoveEvent;
      break;
    case WM_LBUTTONDOWN:
      event = vtkCommand::LeftButtonPressEvent;
      break;
    case WM_LBUTTONUP:
      event = vtkCommand::LeftButtonReleaseEvent;
      break;
    case WM_MBUTTONDOWN:
      event = vtkCommand::MiddleButtonPressEvent;
      break;
    case WM_MBUTTONUP:
      event = vtkCommand::MiddleButtonReleaseEvent;
      break;
    case WM_RBUTTONDOWN:
      event = vtkCommand::RightButtonPressEvent;
      break;
    case WM_RBUTTONUP:
      event = vtkCommand::RightButtonReleaseEvent;
      break;
    default:
      return fallback();
  }
  if (!me->Enabled)
  {
    return 0;
  }
  me->SetEventInformationFlipY(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam),
    (wParam & MK_CONTROL) ? 1 : 0, (wParam & MK_SHIFT) ? 1 : 0);
  me->SetAltKey(0);
  if (message == WM_MOUSEMOVE && !me->MouseInWindow)
  {
    me->MouseInWindow = 1;
    me->InvokeEvent(vtkCommand::EnterEvent, nullptr);
  }
  ++me->MessageEventCount;
  me->InvokeEvent(event, nullptr);
  return 0;
}

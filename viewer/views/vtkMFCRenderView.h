/**
 * @class vtkMFCRenderView
 * @brief A view that shows a VTK render window: the model renderer in front of an image
 * renderer for the document's background bitmap, an interactor that the view feeds with
 * its window messages, and memory rendering for Edit > Copy.
 *
 * The render window is bound to the view's window when the window is created and sized
 * 640 x 480; the interactor is initialised at the first paint. Until then no mouse or timer
 * message reaches VTK and resizes are not passed on. From then on the interaction messages
 * (WM_TIMER, WM_MOUSEMOVE, the press and release of the three buttons, and the wheel,
 * WM_MOUSEWHEEL, which zooms towards the point the camera looks at) go to the interactor;
 * everything else to the framework. A derived view overrides WindowProc,
 * handles its own messages first and then calls this one.
 *
 * The interactor style is vtkInteractorStyleJoystickCamera: while a button is held, its
 * timer (which arrives as WM_TIMER) moves the camera tick by tick.
 */
#ifndef vtkMFCRenderView_h
#define vtkMFCRenderView_h

#include "vtkMFCView.h"
#include "vtkMFCViewHooks.h"

class vtkInteractorStyle;
class vtkPlatformRenderWindow;
class vtkPlatformRenderWindowInteractor;
class vtkRenderer;
class vtkRenderWindow;

class vtkMFCRenderView
  : public vtkMFCView
  , public vtkMFCViewHooks
{
public:
  vtkMFCRenderView();
  ~vtkMFCRenderView() override;

  /// First paint: initialises the interactor. Every paint: renders.
  void OnDraw(CDC* pDC) override;
  /// The interaction messages to VTK once the interactor is initialised; the rest to the
  /// framework.
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  vtkRenderWindow* GetRenderingWindow() override;
  void BeginMemoryRendering(int width, int height, HDC dc) override;
  void EndMemoryRendering() override;
  unsigned char* GetMemoryPixels() override;

  /// Lays the renderers out for the document's background image: with one (BackgroundOn),
  /// the image renderer in the back layer and the model renderer in front; without, the
  /// model renderer alone. Renders.
  void ArrangeRenderers() override;
  /// Renders the render window; every view renders through this.
  void Render();

  ///@{
  /// The VTK objects of the view (owned by it).
  vtkRenderer* GetRenderer() const { return this->Renderer; }
  vtkRenderer* GetImageRenderer() const { return this->ImageRenderer; }
  vtkPlatformRenderWindow* GetRenderWindow() const { return this->RenderWindow; }
  vtkPlatformRenderWindowInteractor* GetInteractor() const { return this->Interactor; }
  vtkInteractorStyle* GetInteractorStyle() const { return this->InteractorStyle; }
  const float* GetBackgroundColor() const { return this->BackgroundColor; }
  ///@}

protected:
  int OnCreate(LPCREATESTRUCT cs) override;
  void OnSize(UINT type, int cx, int cy) override;

  float BackgroundColor[3];
  vtkInteractorStyle* InteractorStyle;
  vtkRenderer* Renderer;      ///< the model renderer; its camera is the one recorded
  vtkRenderer* ImageRenderer; ///< the background image
  vtkPlatformRenderWindow* RenderWindow;
  vtkPlatformRenderWindowInteractor* Interactor;
};

#endif

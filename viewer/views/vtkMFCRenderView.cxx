#include "vtkMFCRenderView.h"

#include "VtkWindow.h"
#include "vtkMFCDoc.h"

#include <vtkCamera.h>
#include <vtkImageActor.h>
#include <vtkInteractorStyleJoystickCamera.h>
#include <vtkRenderer.h>
#include <vtkRendererCollection.h>

#include <algorithm>

//------------------------------------------------------------------------------
vtkMFCRenderView::vtkMFCRenderView()
  : BackgroundColor{ 0.05f, 0.35f, 0.45f }
{
  this->ImageRenderer = vtkRenderer::New();
  this->Renderer = vtkRenderer::New();
  this->RenderWindow = vtkPlatformRenderWindow::New();
  this->Renderer->SetBackground(
    this->BackgroundColor[0], this->BackgroundColor[1], this->BackgroundColor[2]);
  this->RenderWindow->SetNumberOfLayers(1);
  this->RenderWindow->AddRenderer(this->Renderer);
  // The interactor gets the render window at the first paint, not before.
  this->Interactor = vtkPlatformRenderWindowInteractor::New();
  this->InteractorStyle = vtkInteractorStyleJoystickCamera::New();
  this->Interactor->SetInteractorStyle(this->InteractorStyle);
}

//------------------------------------------------------------------------------
vtkMFCRenderView::~vtkMFCRenderView()
{
  // The window first: its destruction may still need the VTK objects.
  this->DestroyWindow();
  this->Interactor->SetInteractorStyle(nullptr);
  if (this->RenderWindow->GetInteractor() == this->Interactor)
  {
    this->RenderWindow->SetInteractor(nullptr);
  }
  this->Interactor->SetRenderWindow(nullptr);
  this->RenderWindow->RemoveAllObservers();
  this->Interactor->Delete();
  this->InteractorStyle->Delete();
  this->ImageRenderer->Delete();
  this->Renderer->Delete();
  this->RenderWindow->Delete();
}

//------------------------------------------------------------------------------
int vtkMFCRenderView::OnCreate(LPCREATESTRUCT cs)
{
  if (vtkMFCView::OnCreate(cs) == -1)
  {
    return -1;
  }
  this->RenderWindow->SetParentId(this->GetParent() ? this->GetParent()->m_hWnd : nullptr);
  this->RenderWindow->SetWindowId(this->m_hWnd);
  this->RenderWindow->WindowInitialize();
  if (!this->RenderWindow->IsBound())
  {
    return -1;
  }
  this->RenderWindow->SetSize(640, 480);
  return 0;
}

//------------------------------------------------------------------------------
void vtkMFCRenderView::OnSize(UINT type, int cx, int cy)
{
  if (this->Interactor->GetInitialized())
  {
    this->Interactor->UpdateSize(cx, cy);
  }
  vtkMFCView::OnSize(type, cx, cy);
}

//------------------------------------------------------------------------------
void vtkMFCRenderView::OnDraw(CDC*)
{
  if (!this->Interactor->GetInitialized())
  {
    this->Interactor->SetRenderWindow(this->RenderWindow);
    this->Interactor->Initialize();
  }
  this->RenderWindow->Render();
}

//------------------------------------------------------------------------------
LRESULT vtkMFCRenderView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
  switch (message)
  {
    case WM_TIMER:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MOUSEWHEEL:
      if (this->Interactor->GetInitialized())
      {
        return vtkHandleMessage2(this->m_hWnd, message, wParam, lParam, this->Interactor);
      }
      break;
    default:
      break;
  }
  return vtkMFCView::WindowProc(message, wParam, lParam);
}

//------------------------------------------------------------------------------
vtkRenderWindow* vtkMFCRenderView::GetRenderingWindow()
{
  return this->RenderWindow;
}

//------------------------------------------------------------------------------
void vtkMFCRenderView::BeginMemoryRendering(int width, int height, HDC dc)
{
  this->RenderWindow->SetupMemoryRendering(width, height, dc);
}

//------------------------------------------------------------------------------
void vtkMFCRenderView::EndMemoryRendering()
{
  this->RenderWindow->ResumeScreenRendering();
}

//------------------------------------------------------------------------------
unsigned char* vtkMFCRenderView::GetMemoryPixels()
{
  return this->RenderWindow->GetMemoryData();
}

//------------------------------------------------------------------------------
void vtkMFCRenderView::ArrangeRenderers()
{
  this->RenderWindow->GetRenderers()->RemoveAllItems();
  this->ImageRenderer->RemoveAllViewProps();
  const double r = this->BackgroundColor[0];
  const double g = this->BackgroundColor[1];
  const double b = this->BackgroundColor[2];

  auto* document = dynamic_cast<vtkMFCDoc*>(this->GetDocument());
  if (document && document->BackgroundOn == 1 && document->BackgroundActor)
  {
    this->ImageRenderer->SetInteractive(1);
    this->Renderer->SetInteractive(0);
    this->ImageRenderer->SetLayer(0); // layer 0 is drawn first: the back
    this->Renderer->SetLayer(1);
    this->ImageRenderer->SetBackground(r, g, b);
    this->Renderer->SetBackground(r, g, b);
    this->ImageRenderer->AddActor(document->BackgroundActor);
    this->RenderWindow->SetNumberOfLayers(2);
    this->RenderWindow->AddRenderer(this->ImageRenderer);
    this->RenderWindow->AddRenderer(this->Renderer);
    // Fit the image renderer's camera to the image every time: a render alone fits only a
    // camera it has just created, and each later arrangement would magnify the image by a
    // further 2.5.
    this->ImageRenderer->ResetCamera();
    this->Render();

    vtkCamera* camera = this->ImageRenderer->GetActiveCamera();
    camera->Dolly(2.5);
    const double d = camera->GetDistance();
    // A very small image would put the near plane behind the camera.
    camera->SetClippingRange(std::max(d - 5.0, 0.001 * d), d + 5.0);
    this->ImageRenderer->SetInteractive(0);
    this->Renderer->SetInteractive(1);
  }
  else
  {
    this->Renderer->SetLayer(0);
    this->Renderer->SetBackground(r, g, b);
    this->Renderer->SetInteractive(1);
    this->RenderWindow->SetNumberOfLayers(1);
    this->RenderWindow->AddRenderer(this->Renderer);
  }
  this->Render();
}

//------------------------------------------------------------------------------
void vtkMFCRenderView::Render()
{
  this->RenderWindow->Render();
}

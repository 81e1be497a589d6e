// A document, frame and view made through the single-document template, as the
// application makes them, and helpers to let the event loop run until a condition holds.
#ifndef ViewHarness_h
#define ViewHarness_h

#include "DocTemplate.h"
#include "FrameWnd.h"
#include "GuiTestSupport.h"
#include "VtkWindow.h"
#include "WinApp.h"
#include "vtkMFCDoc.h"
#include "vtkMFCRenderView.h"

#include <QApplication>
#include <QWidget>

#include <vtkActor.h>
#include <vtkActorCollection.h>
#include <vtkCamera.h>
#include <vtkRenderer.h>

#include <functional>
#include <memory>
#include <vector>

namespace harness
{
inline QApplication& App()
{
  return guitest::Application();
}

/// Runs the event loop until the condition holds or the deadline (generous: the machine
/// may be loaded) passes. Returns the condition's last answer.
inline bool WaitFor(const std::function<bool()>& condition, int deadlineMs = 20000)
{
  App();
  return guitest::PumpUntil(condition, deadlineMs);
}

/// A view like the viewer's: shows the document's props, and records every message that
/// reaches its WindowProc before passing it to the base.
class RecordingView : public vtkMFCRenderView
{
public:
  std::vector<UINT> Messages;

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
  {
    this->Messages.push_back(message);
    return vtkMFCRenderView::WindowProc(message, wParam, lParam);
  }

  void OnInitialUpdate() override
  {
    vtkMFCRenderView::OnInitialUpdate();
    this->Renderer->GetActiveCamera()->SetViewUp(0, 1, 0);
    this->Renderer->ResetCamera();
    this->Render();
  }

  void OnUpdate(CView*, LPARAM, CObject*) override
  {
    this->Renderer->RemoveAllViewProps();
    if (auto* document = dynamic_cast<vtkMFCDoc*>(this->GetDocument()))
    {
      document->Props->InitTraversal();
      while (vtkActor* actor = document->Props->GetNextActor())
      {
        this->Renderer->AddActor(actor);
      }
    }
    this->Render();
  }

  int Count(UINT message) const
  {
    int n = 0;
    for (UINT m : this->Messages)
    {
      n += m == message ? 1 : 0;
    }
    return n;
  }
};

/// Template, document, frame and view; the frame shown or not.
struct Viewer
{
  std::unique_ptr<CSingleDocTemplate> Template;
  vtkMFCDoc* Document = nullptr;
  CFrameWnd* Frame = nullptr;
  RecordingView* View = nullptr;

  explicit Viewer(bool show = true)
  {
    App();
    this->Template.reset(new CSingleDocTemplate(
      128, RUNTIME_CLASS(vtkMFCDoc), RUNTIME_CLASS(CFrameWnd), RUNTIME_CLASS(RecordingView)));
    this->Document = dynamic_cast<vtkMFCDoc*>(this->Template->OpenDocumentFile(nullptr, show));
    this->Frame = this->Template->GetFrame();
    this->View = this->Frame ? dynamic_cast<RecordingView*>(this->Frame->GetActiveView()) : nullptr;
    if (this->Frame && show)
    {
      this->Frame->MoveWindow(1, 1, 652, 572);
    }
  }

  ~Viewer()
  {
    this->Template.reset();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  /// Shows the frame and waits for the view's first paint.
  bool ShowAndPaint()
  {
    this->Frame->ShowWindow(SW_SHOW);
    return WaitFor([this] { return this->View->GetInteractor()->GetInitialized() != 0; });
  }
};
}

#endif

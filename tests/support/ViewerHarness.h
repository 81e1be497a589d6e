// A document, its frame and a view made through the single-document template as the
// application makes them, for the tests of the document and the views; a render view that
// shows the document's props; a bitmap of one colour.
#ifndef ViewerHarness_h
#define ViewerHarness_h

#include "DocTemplate.h"
#include "FrameWnd.h"
#include "GuiTestSupport.h"
#include "VtkWindow.h"
#include "vtkMFCDoc.h"
#include "vtkMFCRenderView.h"

#include <QApplication>

#include <vtkActor.h>
#include <vtkActorCollection.h>
#include <vtkBMPWriter.h>
#include <vtkCamera.h>
#include <vtkImageData.h>
#include <vtkNew.h>
#include <vtkRenderer.h>

#include <memory>
#include <string>

namespace guitest
{
/// Template, document, frame and view. A harness that needs something in place before the
/// template makes them (scripted dialogs, an application object) calls Open from its own
/// constructor; Close (also at destruction) closes frame and view as the user closing the
/// window does and releases the document.
template <class DocumentType, class ViewType>
struct TemplateViewer
{
  std::unique_ptr<CSingleDocTemplate> Template;
  DocumentType* Document = nullptr;
  CFrameWnd* Frame = nullptr;
  ViewType* View = nullptr;

  TemplateViewer() = default;
  TemplateViewer(const TemplateViewer&) = delete;
  TemplateViewer& operator=(const TemplateViewer&) = delete;
  ~TemplateViewer() { this->Close(); }

  /// Makes document, frame and view; a shown frame gets the size the application's has.
  void Open(bool show)
  {
    App();
    this->Template.reset(new CSingleDocTemplate(
      128, RUNTIME_CLASS(DocumentType), RUNTIME_CLASS(CFrameWnd), RUNTIME_CLASS(ViewType)));
    this->Document =
      dynamic_cast<DocumentType*>(this->Template->OpenDocumentFile(nullptr, show ? TRUE : FALSE));
    this->Frame = this->Template->GetFrame();
    this->View = this->Frame ? dynamic_cast<ViewType*>(this->Frame->GetActiveView()) : nullptr;
    if (this->Frame && show)
    {
      this->Frame->MoveWindow(1, 1, 652, 572);
    }
  }

  void Close()
  {
    this->Template.reset();
    this->View = nullptr;
    this->Frame = nullptr;
    this->Document = nullptr;
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  /// Shows the frame and waits for the view's first paint (the interactor starts then).
  bool ShowAndPaint()
  {
    this->Frame->ShowWindow(SW_SHOW);
    return WaitFor([this] { return this->View->GetInteractor()->GetInitialized() != 0; });
  }
};

/// A render view like the viewer's for the tests of the document and the render view: it
/// shows the document's props and starts with the camera on all of them.
class DocumentPropsView : public vtkMFCRenderView
{
public:
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
};

/// A 24-bit bitmap of one colour, written by VTK's own writer.
inline void WriteBitmap(const std::string& path, unsigned char r, unsigned char g, unsigned char b,
  int width = 64, int height = 64)
{
  vtkNew<vtkImageData> image;
  image->SetDimensions(width, height, 1);
  image->AllocateScalars(VTK_UNSIGNED_CHAR, 3);
  auto* pixels = static_cast<unsigned char*>(image->GetScalarPointer());
  for (int i = 0; i < width * height; ++i)
  {
    pixels[3 * i] = r;
    pixels[3 * i + 1] = g;
    pixels[3 * i + 2] = b;
  }
  vtkNew<vtkBMPWriter> writer;
  writer->SetInputData(image);
  writer->SetFileName(path.c_str());
  writer->Write();
}
}

#endif

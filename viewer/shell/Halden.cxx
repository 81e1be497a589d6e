// Halden: the application object, the resources and a view that shows the document's props.
#include "DocTemplate.h"
#include "FrameWnd.h"
#include "Resources.h"
#include "WinApp.h"
#include "vtkMFCDoc.h"
#include "vtkMFCRenderView.h"

#include <vtkActor.h>
#include <vtkActorCollection.h>
#include <vtkCamera.h>
#include <vtkRenderer.h>

namespace
{
constexpr UINT IDR_MAINFRAME = 128;

// Shows the document's props in the model renderer.
class CViewerView : public vtkMFCRenderView
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

void FillResources()
{
  CResources& res = CResources::Get();
  res.Strings[IDR_MAINFRAME] = "Halden\n\nHald\n\n\nHalden.Document\nHald Document";
  res.Strings[AFX_IDS_APP_TITLE] = "Halden";
  res.Strings[ID_LOAD_BACKGROUND] = "Load an existing background image";
  res.Menus[IDR_MAINFRAME] = {
    MenuItem::Sub("&File",
      { MenuItem::Sub("&Load", { MenuItem::Item("&Background...", ID_LOAD_BACKGROUND) }),
        MenuItem::Sep(), MenuItem::Item("Recent File", ID_FILE_MRU_FILE1, true), MenuItem::Sep(),
        MenuItem::Item("E&xit", ID_APP_EXIT) }),
    MenuItem::Sub("&Edit", { MenuItem::Item("&Copy\tCtrl+C", ID_EDIT_COPY) }),
  };
  res.Accelerators[IDR_MAINFRAME] = {
    { FVIRTKEY | FCONTROL | FNOINVERT, 'C', ID_EDIT_COPY },
    { FVIRTKEY | FCONTROL | FNOINVERT, VK_INSERT, ID_EDIT_COPY },
  };
}

class CViewerApp : public CWinApp
{
public:
  CViewerApp()
    : CWinApp("Halden")
  {
  }

  BOOL InitInstance() override
  {
    FillResources();
    this->SetRegistryKey("Quorvel");
    this->LoadStdProfileSettings(10);
    this->AddDocTemplate(new CSingleDocTemplate(IDR_MAINFRAME, RUNTIME_CLASS(vtkMFCDoc),
      RUNTIME_CLASS(CFrameWnd), RUNTIME_CLASS(CViewerView)));
    CCommandLineInfo info;
    this->ParseCommandLine(info);
    if (!this->ProcessShellCommand(info))
    {
      return FALSE;
    }
    this->m_pMainWnd->MoveWindow(1, 1, 652, 572);
    this->m_pMainWnd->ShowWindow(SW_SHOW);
    this->m_pMainWnd->UpdateWindow();
    return TRUE;
  }
};

CViewerApp theApp;
}

int main(int argc, char** argv)
{
  return AfxWinMain(argc, argv);
}

#include "HaldenApp.h"

#include "AboutDlg.h"
#include "DocTemplate.h"
#include "HaldenResources.h"
#include "MainFrm.h"
#include "OptionsDlg.h"
#include "resource.h"
#include "vtkMFCDoc.h"
#include "vtkRecordPlayView.h"

#include <vtkActor.h>
#include <vtkActorCollection.h>
#include <vtkCamera.h>
#include <vtkRenderer.h>

namespace
{
// Shows the document's props in the model renderer.
class CViewerView : public vtkRecordPlayView
{
public:
  void OnInitialUpdate() override
  {
    vtkRecordPlayView::OnInitialUpdate();
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
}

//------------------------------------------------------------------------------
CHaldenApp::CHaldenApp()
  : CWinApp("Halden")
{
  this->MapCommand(ID_APP_ABOUT, &CHaldenApp::OnAppAbout);
}

//------------------------------------------------------------------------------
CHaldenApp::~CHaldenApp() = default;

//------------------------------------------------------------------------------
BOOL CHaldenApp::InitInstance()
{
  LoadHaldenResources();
  // Each view makes its options dialog when its window is created.
  vtkRecordPlayView::SetOptionsDialogFactory(
    [](vtkRecordPlayView* view) -> CDialog* { return new COptionsDlg(view); });

  this->Enable3dControls();
  this->SetRegistryKey("Quorvel");
  this->LoadStdProfileSettings(10);

  this->AddDocTemplate(new CSingleDocTemplate(IDR_MAINFRAME, RUNTIME_CLASS(vtkMFCDoc),
    RUNTIME_CLASS(CMainFrame), RUNTIME_CLASS(CViewerView)));

  CCommandLineInfo cmdInfo;
  this->ParseCommandLine(cmdInfo);
  if (!this->ProcessShellCommand(cmdInfo))
  {
    return FALSE;
  }

  this->m_pMainWnd->MoveWindow(1, 1, 652, 572);
  this->m_pMainWnd->ShowWindow(SW_SHOW);
  this->m_pMainWnd->UpdateWindow();
  return TRUE;
}

//------------------------------------------------------------------------------
void CHaldenApp::OnAppAbout()
{
  CAboutDlg aboutDlg(this->m_pMainWnd);
  aboutDlg.DoModal();
}

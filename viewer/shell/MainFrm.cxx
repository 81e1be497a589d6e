#include "MainFrm.h"

#include "CHaldenDoc.h"
#include "CHaldenView.h"
#include "FitLandmarksDlg.h"
#include "HaldenSettings.h"
#include "LandmarkNeighbours.h"
#include "SetBlendDlg.h"
#include "resource.h"
#include "vtkShapeTransform.h"

#include <cctype>

namespace
{
// The status bar's panes: the message pane, then the key-lock indicators.
const UINT Indicators[] = {
  ID_SEPARATOR,
  ID_INDICATOR_CAPS,
  ID_INDICATOR_NUM,
  ID_INDICATOR_SCRL,
};
}

//------------------------------------------------------------------------------
CMainFrame::CMainFrame()
{
  this->MapCommand(ID_SET_BLEND, &CMainFrame::OnSetBlend);
  this->MapCommandUI(ID_SET_BLEND, &CMainFrame::OnUpdateSetBlend);
  this->MapCommand(ID_FIT_LANDMARKS, &CMainFrame::OnFitLandmarks);
  this->MapCommandUI(ID_FIT_LANDMARKS, &CMainFrame::OnUpdateFitLandmarks);
}

//------------------------------------------------------------------------------
CMainFrame::~CMainFrame() = default;

//------------------------------------------------------------------------------
int CMainFrame::OnCreate(LPCREATESTRUCT lpCreateStruct)
{
  if (CFrameWnd::OnCreate(lpCreateStruct) == -1)
  {
    return -1;
  }
  if (!this->m_wndToolBar.CreateEx(this, TBSTYLE_FLAT,
        WS_CHILD | WS_VISIBLE | CBRS_TOP | CBRS_GRIPPER | CBRS_TOOLTIPS | CBRS_FLYBY |
          CBRS_SIZE_DYNAMIC,
        AFX_IDW_TOOLBAR) ||
    !this->m_wndToolBar.LoadToolBar(IDR_PLAYBAR))
  {
    return -1;
  }
  if (!this->m_wndStatusBar.Create(this, WS_CHILD | WS_VISIBLE | CBRS_BOTTOM, AFX_IDW_STATUS_BAR) ||
    !this->m_wndStatusBar.SetIndicators(
      Indicators, static_cast<int>(sizeof(Indicators) / sizeof(Indicators[0]))))
  {
    return -1;
  }
  this->m_wndToolBar.EnableDocking(CBRS_ALIGN_ANY);
  this->EnableDocking(CBRS_ALIGN_ANY);
  this->DockControlBar(&this->m_wndToolBar);
  this->DragAcceptFiles();
  return 0;
}

//------------------------------------------------------------------------------
void CMainFrame::OnDestroy()
{
  KeepSettings(this);
  CFrameWnd::OnDestroy();
}

//------------------------------------------------------------------------------
void CMainFrame::OnSetBlend()
{
  auto* view = dynamic_cast<CHaldenView*>(this->GetActiveView());
  auto* document = dynamic_cast<CHaldenDoc*>(this->GetActiveDocument());
  if (!view || !document || !view->CanSetBlend())
  {
    return;
  }
  CSetBlendDlg dialog(document->ShapeTransform->GetFactor(), this);
  if (dialog.DoModal() == IDOK)
  {
    view->SetBlend(dialog.Blend);
  }
}

//------------------------------------------------------------------------------
void CMainFrame::OnUpdateSetBlend(CCmdUI* pCmdUI)
{
  auto* view = dynamic_cast<CHaldenView*>(this->GetActiveView());
  pCmdUI->Enable(view && view->CanSetBlend());
}

//------------------------------------------------------------------------------
void CMainFrame::OnFitLandmarks()
{
  auto* document = dynamic_cast<CHaldenDoc*>(this->GetActiveDocument());
  if (!document || document->NoData || document->Landmarks.GetCount() == 0)
  {
    return;
  }
  if (!this->Neighbours)
  {
    this->Neighbours = std::make_unique<LandmarkNeighbours>();
  }
  // Until the user chooses, the radius is the one that gives about 30 neighbours.
  const double radius = document->FitRadius > 0.0 ? document->FitRadius
                                                  : this->Neighbours->Suggest(document->Landmarks);
  CFitLandmarksDlg dialog(
    document->Landmarks, *this->Neighbours, radius, document->FitSmoothing, this);
  if (dialog.DoModal() == IDOK)
  {
    document->FitLandmarks(dialog.Radius, dialog.Smoothing);
  }
}

//------------------------------------------------------------------------------
void CMainFrame::OnUpdateFitLandmarks(CCmdUI* pCmdUI)
{
  auto* document = dynamic_cast<CHaldenDoc*>(this->GetActiveDocument());
  pCmdUI->Enable(document && !document->NoData && document->Landmarks.GetCount() > 0);
}

//------------------------------------------------------------------------------
void CMainFrame::OnDropFiles(const std::vector<std::string>& paths)
{
  auto* document = dynamic_cast<CHaldenDoc*>(this->GetActiveDocument());
  if (!document)
  {
    return;
  }
  auto loadsOntoAModel = [](const std::string& path)
  {
    const auto dot = path.find_last_of('.');
    std::string extension = dot == std::string::npos ? std::string() : path.substr(dot);
    for (char& c : extension)
    {
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return extension == ".trc" || extension == ".bmp";
  };
  for (const bool second : { false, true })
  {
    for (const std::string& path : paths)
    {
      if (loadsOntoAModel(path) == second)
      {
        document->OpenDroppedFile(path);
      }
    }
  }
}

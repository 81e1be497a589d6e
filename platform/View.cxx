#include "View.h"

#include "Document.h"
#include "FrameWnd.h"

//------------------------------------------------------------------------------
CView::CView() = default;

//------------------------------------------------------------------------------
CView::~CView()
{
  if (this->m_pDocument)
  {
    this->m_pDocument->RemoveView(this);
  }
}

//------------------------------------------------------------------------------
BOOL CView::Create(const char* className, const char* windowName, DWORD style, const RECT& rect,
  CWnd* parent, UINT id, void* createParams)
{
  if (auto* context = static_cast<CCreateContext*>(createParams))
  {
    if (context->m_pCurrentDoc)
    {
      context->m_pCurrentDoc->AddView(this);
    }
  }
  return CWnd::Create(className, windowName, style, rect, parent, id, createParams);
}

//------------------------------------------------------------------------------
CFrameWnd* CView::GetParentFrame() const
{
  for (CWnd* wnd = this->GetParent(); wnd; wnd = wnd->GetParent())
  {
    if (auto* frame = dynamic_cast<CFrameWnd*>(wnd))
    {
      return frame;
    }
  }
  return nullptr;
}

//------------------------------------------------------------------------------
void CView::OnInitialUpdate()
{
  this->OnUpdate(nullptr, 0, nullptr);
}

//------------------------------------------------------------------------------
BOOL CView::CanCloseFrame(CFrameWnd*)
{
  return TRUE;
}

//------------------------------------------------------------------------------
void CView::OnUpdate(CView*, LPARAM, CObject*)
{
  this->Invalidate();
}

//------------------------------------------------------------------------------
BOOL CView::OnCmdMsg(UINT nID, int nCode, CCmdUI* pCmdUI)
{
  if (CWnd::OnCmdMsg(nID, nCode, pCmdUI))
  {
    return TRUE;
  }
  return this->m_pDocument ? this->m_pDocument->OnCmdMsg(nID, nCode, pCmdUI) : FALSE;
}

//------------------------------------------------------------------------------
void CView::OnPaint()
{
  CDC dc(this->m_hWnd);
  this->OnDraw(&dc);
}

//------------------------------------------------------------------------------
void CView::OnDestroy()
{
  if (CFrameWnd* frame = this->GetParentFrame())
  {
    if (frame->GetActiveView() == this)
    {
      frame->SetActiveView(nullptr);
    }
  }
  CWnd::OnDestroy();
}

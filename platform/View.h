/**
 * @file View.h
 * @brief The view of the document/view framework: a child window of the frame that shows
 * its document.
 *
 * Paint messages reach OnDraw. Commands are routed to the active view first, then to its
 * document (OnCmdMsg). The framework calls OnInitialUpdate once the view and its document
 * are ready (after a new document or an open); its base calls OnUpdate.
 */
#ifndef platform_View_h
#define platform_View_h

#include "Wnd.h"

class CDocument;
class CFrameWnd;

/// Creation context: what a frame needs to create its view.
struct CCreateContext
{
  CRuntimeClass m_pNewViewClass;
  CDocument* m_pCurrentDoc = nullptr;
};

class CView : public CWnd
{
public:
  CView();
  ~CView() override;

  CDocument* GetDocument() const { return this->m_pDocument; }
  /// The frame the view is in, or null.
  CFrameWnd* GetParentFrame() const;

  /// Paints the view. Called for WM_PAINT with a device context of the view's window.
  virtual void OnDraw(CDC* pDC) = 0;
  /// First update after the document was attached or (re)loaded; calls OnUpdate.
  virtual void OnInitialUpdate();
  /// The document changed: the base asks for a repaint.
  virtual void OnUpdate(CView* sender, LPARAM hint, CObject* hintObject);

  /**
   * Asked by the frame when the user closes it, while the window and the event loop still
   * run: a view that holds unfinished work (a recording, say) offers it here. FALSE keeps
   * the frame open. The base answers TRUE.
   */
  virtual BOOL CanCloseFrame(CFrameWnd* frame);

  /// Own command table, then the document's.
  BOOL OnCmdMsg(UINT nID, int nCode, CCmdUI* pCmdUI) override;

  /// Creates the view's window and attaches the context's document.
  BOOL Create(const char* className, const char* windowName, DWORD style, const RECT& rect,
    CWnd* parent, UINT id, void* createParams = nullptr) override;

protected:
  void OnPaint() override;
  void OnDestroy() override;

  CDocument* m_pDocument = nullptr;
  friend class CDocument;
};

#endif

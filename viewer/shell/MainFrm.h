/**
 * @class CMainFrame
 * @brief Halden's main window: the menu and accelerators of the main frame's resources, a
 * dockable toolbar with Play, Pause, Stop and Record, and a status bar with the message
 * pane and the CAP, NUM and SCRL indicators.
 *
 * The status bar's message pane shows a command's prompt while the pointer rests on its
 * menu item or toolbar button; the toolbar's four commands have no tooltip text.
 *
 * Files dropped on the window go to the document (CHaldenDoc::OpenDroppedFile): models
 * first, then coefficient files and bitmaps, so that a model dropped together with its
 * transform is deformed by it.
 */
#ifndef Halden_MainFrm_h
#define Halden_MainFrm_h

#include "FrameWnd.h"

class CMainFrame : public CFrameWnd
{
public:
  CMainFrame();
  ~CMainFrame() override;

  CStatusBar m_wndStatusBar;
  CToolBar m_wndToolBar;

protected:
  /// The frame (and its view), then the toolbar, the status bar and docking. -1 when a bar
  /// cannot be made: the window, and with it the start of the program, fails.
  int OnCreate(LPCREATESTRUCT lpCreateStruct) override;
  void OnDropFiles(const std::vector<std::string>& paths) override;
};

#endif

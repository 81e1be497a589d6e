/**
 * @class CMainFrame
 * @brief Halden's main window: the menu and accelerators of the main frame's resources, a
 * dockable toolbar with Play, Pause, Stop and Record, and a status bar with the message
 * pane and the CAP, NUM and SCRL indicators.
 *
 * The status bar's message pane shows a command's prompt while the pointer rests on its
 * menu item or toolbar button; the toolbar's four commands have no tooltip text.
 *
 * Deformation > Set Blend (ID_SET_BLEND) asks for a blend from 0 to 1 (CSetBlendDlg) and
 * pauses the view at it (CHaldenView::SetBlend), while a deformation is switched in.
 *
 * Files dropped on the window go to the document (CHaldenDoc::OpenDroppedFile): models
 * first, then coefficient files and bitmaps, so that a model dropped together with its
 * transform is deformed by it.
 */
#ifndef Halden_MainFrm_h
#define Halden_MainFrm_h

#include "FrameWnd.h"

#include <memory>

class LandmarkNeighbours;

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
  /// Keeps the settings for the next run (HaldenSettings.h), then the frame's own handling.
  void OnDestroy() override;
  /// Deformation > Set Blend: asks for the blend and pauses the view at it.
  void OnSetBlend();
  void OnUpdateSetBlend(CCmdUI* pCmdUI);
  /// Deformation > Fit Landmarks: asks for the radius and smoothing (CFitLandmarksDlg) and
  /// has the document fit its landmarks with them, while a model and landmarks are loaded.
  void OnFitLandmarks();
  void OnUpdateFitLandmarks(CCmdUI* pCmdUI);
  void OnDropFiles(const std::vector<std::string>& paths) override;

private:
  // The fit dialog's neighbour counts, kept between dialogs (rebuilt when the landmarks change).
  std::unique_ptr<LandmarkNeighbours> Neighbours;
};

#endif

/**
 * @class CHaldenApp
 * @brief The application object: starts the single-document framework with the model
 * document, the main frame and the viewer's view, and shows the About box.
 *
 * InitInstance, in order: the three-dimensional control look, the settings key "Quorvel"
 * (the recent-file list lives under Quorvel/Halden), a recent-file list of 10 entries, the
 * document template (resource IDR_MAINFRAME: document, frame, view), the command line (no
 * argument: an empty document; a file name: that model is opened, and a model that cannot
 * be opened ends the program with an error status), and the main window where the last run
 * left it (HaldenSettings.h; at first at (1, 1), 652 x 572 pixels), shown whatever show
 * state the program was started with.
 */
#ifndef Halden_HaldenApp_h
#define Halden_HaldenApp_h

#include "WinApp.h"

class CHaldenApp : public CWinApp
{
public:
  CHaldenApp();
  ~CHaldenApp() override;

  BOOL InitInstance() override;

  /// Help > About: the About box, modally.
  void OnAppAbout();
};

#endif

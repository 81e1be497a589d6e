/**
 * @class CAboutDlg
 * @brief The About box: "Halden Version 1.0", a picture and OK (dialog IDD_ABOUTBOX).
 */
#ifndef Halden_AboutDlg_h
#define Halden_AboutDlg_h

#include "Dialog.h"

class CAboutDlg : public CDialog
{
public:
  explicit CAboutDlg(CWnd* parent = nullptr);
  BOOL OnInitDialog() override;
};

#endif

#include "AboutDlg.h"

#include "DialogFont.h"
#include "resource.h"

//------------------------------------------------------------------------------
CAboutDlg::CAboutDlg(CWnd* parent)
  : CDialog(IDD_ABOUTBOX, parent)
{
}

//------------------------------------------------------------------------------
BOOL CAboutDlg::OnInitDialog()
{
  const BOOL result = CDialog::OnInitDialog();
  ApplyTemplateFont(*this);
  return result;
}

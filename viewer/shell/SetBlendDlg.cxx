#include "SetBlendDlg.h"

#include "DialogFont.h"
#include "FieldNumber.h"
#include "NumberText.h"
#include "Prompts.h"
#include "resource.h"

#include <cmath>

//------------------------------------------------------------------------------
CSetBlendDlg::CSetBlendDlg(double blend, CWnd* parent)
  : CDialog(IDD_SET_BLEND, parent)
  , Blend(blend)
{
  // Two decimals are what the animation's steps need; the field takes any precision.
  this->BlendText.clear();
  NumberText::AppendFixed(this->BlendText, std::round(blend * 100.0) / 100.0);
  while (this->BlendText.size() > 4 && this->BlendText.back() == '0')
  {
    this->BlendText.pop_back();
  }
}

//------------------------------------------------------------------------------
BOOL CSetBlendDlg::OnInitDialog()
{
  CDialog::OnInitDialog();
  ApplyTemplateFont(*this);
  return TRUE;
}

//------------------------------------------------------------------------------
void CSetBlendDlg::DoDataExchange(CDataExchange* pDX)
{
  CDialog::DoDataExchange(pDX);
  DDX_Text(pDX, IDC_BLEND, this->BlendText);
}

//------------------------------------------------------------------------------
bool CSetBlendDlg::ParseBlend(const std::string& text, double& blend)
{
  double value = 0.0;
  if (!ReadFieldNumber(text, value) || !(value >= 0.0 && value <= 1.0))
  {
    return false;
  }
  blend = value;
  return true;
}

//------------------------------------------------------------------------------
void CSetBlendDlg::OnOK()
{
  double blend = 0.0;
  if (!ParseBlend(this->GetDlgItemText(IDC_BLEND), blend))
  {
    this->MessageBox("The blend must be a number from 0 to 1, such as 0.5 or 1.");
    return;
  }
  CDialog::OnOK();
  this->Blend = blend;
}

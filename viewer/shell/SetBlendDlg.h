/**
 * @class CSetBlendDlg
 * @brief Deformation > Set Blend: asks for the blend, a number from 0 (the model as loaded)
 * to 1 (the full deformation), both included (dialog IDD_SET_BLEND).
 *
 * OK with a text that is not such a number says so and leaves the dialog open; the number
 * is read the same way in every locale (a decimal point, never a comma).
 */
#ifndef Halden_SetBlendDlg_h
#define Halden_SetBlendDlg_h

#include "Dialog.h"

#include <string>

class CSetBlendDlg : public CDialog
{
public:
  /// blend: the value the field starts with.
  explicit CSetBlendDlg(double blend, CWnd* parent = nullptr);

  BOOL OnInitDialog() override;
  void OnOK() override;
  void DoDataExchange(CDataExchange* pDX) override;

  /// Reads a blend: a number from 0 to 1 with nothing but blanks around it. False for
  /// anything else (the value then stays).
  static bool ParseBlend(const std::string& text, double& blend);

  /// The blend chosen (after OK) or the starting one.
  double Blend;
  /// The field's text.
  std::string BlendText;
};

#endif

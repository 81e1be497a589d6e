/**
 * @file Dialog.h
 * @brief Modal dialogs built from a dialog template, with data exchange between the
 * controls and the dialog's members.
 *
 * A dialog class derives from CDialog, binds its members to controls in DoDataExchange
 * and lists its buttons in its command table:
 *
 * @code
 *   COptionsDlg::COptionsDlg(CWnd* owner) : CDialog(132, owner)
 *   {
 *     this->MapCommand(3, &COptionsDlg::OnApply);
 *   }
 *   void COptionsDlg::DoDataExchange(CDataExchange* pDX)
 *   {
 *     CDialog::DoDataExchange(pDX);
 *     DDX_Slider(pDX, 1002, this->IntervalPos);
 *     DDX_Text(pDX, 1005, this->Prefix);
 *     DDX_Radio(pDX, 1003, this->RealtimeIndex);
 *   }
 * @endcode
 *
 * Values move only when asked: UpdateData(FALSE) puts the members into the controls (the
 * base OnInitDialog does that), UpdateData(TRUE) takes them back (the base OnOK does that
 * before closing). A click on a button sends WM_COMMAND with its identifier to the dialog;
 * IDOK runs OnOK, IDCANCEL (also Escape and the window's close box) runs OnCancel.
 *
 * DoModal creates the dialog's window, runs OnInitDialog, and then either lets a person
 * work it or, when a prompt responder is installed (Prompts.h), hands it to the responder,
 * which works the controls with the functions below and ends it. The window is destroyed
 * when DoModal returns; the C++ object and its members stay.
 */
#ifndef platform_Dialog_h
#define platform_Dialog_h

#include "Wnd.h"

#include <map>
#include <memory>
#include <string>

class CDialog;

/// Check states.
constexpr UINT BST_UNCHECKED = 0;
constexpr UINT BST_CHECKED = 1;

class CDataExchange
{
public:
  CDataExchange(CDialog* dialog, BOOL saveAndValidate)
    : m_bSaveAndValidate(saveAndValidate)
    , m_pDlgWnd(dialog)
  {
  }
  BOOL m_bSaveAndValidate; ///< TRUE: controls to members; FALSE: members to controls
  CDialog* m_pDlgWnd;
};

/// Edit field text.
void DDX_Text(CDataExchange* pDX, int id, std::string& value);
/// Trackbar position.
void DDX_Slider(CDataExchange* pDX, int id, int& value);
/// Radio group starting at the control id: index of the checked button in its group, -1
/// when none is checked.
void DDX_Radio(CDataExchange* pDX, int id, int& value);
/// Check box: BST_CHECKED or BST_UNCHECKED.
void DDX_Check(CDataExchange* pDX, int id, int& value);

class CDialog : public CWnd
{
public:
  explicit CDialog(UINT templateId, CWnd* parent = nullptr);
  ~CDialog() override;

  /// IDOK, IDCANCEL or the value given to EndDialog; -1 when the template is missing.
  virtual int DoModal();
  virtual BOOL OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();
  virtual void DoDataExchange(CDataExchange* pDX);
  BOOL UpdateData(BOOL saveAndValidate = TRUE);
  void EndDialog(int result);

  UINT GetTemplateId() const { return this->TemplateId; }
  /// True between the creation of the dialog's window and its end.
  bool IsRunning() const;

  /// The control of that identifier, or null (while the dialog's window exists).
  CWnd* GetDlgItem(int id) const;
  void CheckDlgButton(int id, UINT check);
  UINT IsDlgButtonChecked(int id) const;
  void SetDlgItemText(int id, const std::string& text);
  std::string GetDlgItemText(int id) const;
  /// Trackbar position (clamped to the control's range).
  void SetSliderPos(int id, int position);
  int GetSliderPos(int id) const;
  /// Clicks the button as a person would: nothing happens when it is disabled; a radio
  /// button becomes checked; then WM_COMMAND goes to the dialog.
  void ClickDlgButton(int id);

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
  QWidget* CreateWidget(const CREATESTRUCT& cs, QWidget* parent) override;

private:
  struct DialogInternals;
  std::unique_ptr<DialogInternals> Dialog;
  UINT TemplateId;
  CWnd* ParentWnd;
  int Result = IDCANCEL;
  bool Ended = false;
  void CreateControls();
  void DestroyControls();
};

#endif

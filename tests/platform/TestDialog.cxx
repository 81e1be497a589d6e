// Modal dialogs from a template: values move between controls and members only when asked,
// buttons reach the dialog's command table, disabled buttons do nothing, scripted runs end
// as the script says and an unscripted one is cancelled.
#include "Dialog.h"
#include "GuiTestSupport.h"
#include "Prompts.h"
#include "Resources.h"

#include <QApplication>

#include <gtest/gtest.h>

namespace
{
constexpr UINT IDD_TEST = 300;
constexpr int IDC_APPLY = 3;
constexpr int IDC_SLIDER = 1001;
constexpr int IDC_FIRST = 1003;
constexpr int IDC_SECOND = 1004;
constexpr int IDC_EDIT = 1005;

using guitest::App;

void FillTemplate()
{
  DialogTemplate t;
  t.Title = "Dialog";
  t.Width = 186;
  t.Height = 94;
  auto control = [](DialogControl::Kind kind, int id, const char* text, bool group = false)
  {
    DialogControl c;
    c.Type = kind;
    c.Id = id;
    c.Text = text;
    c.Width = 40;
    c.Height = 12;
    c.Group = group;
    return c;
  };
  t.Controls = { control(DialogControl::PushButton, IDOK, "OK"),
    control(DialogControl::PushButton, IDCANCEL, "Cancel"),
    control(DialogControl::DefPushButton, IDC_APPLY, "Apply"),
    control(DialogControl::Trackbar, IDC_SLIDER, ""),
    control(DialogControl::RadioButton, IDC_FIRST, "First", true),
    control(DialogControl::RadioButton, IDC_SECOND, "Second", true),
    control(DialogControl::Edit, IDC_EDIT, "") };
  CResources::Get().Dialogs[IDD_TEST] = t;
}

class TestDlg : public CDialog
{
public:
  int Slider = 50;
  int First = 0;
  int Second = -1;
  std::string Text = "frame";
  int Applied = 0;
  int InitSlider = -1;

  TestDlg()
    : CDialog(IDD_TEST)
  {
    this->MapCommand(IDC_APPLY, &TestDlg::OnApply);
  }
  void DoDataExchange(CDataExchange* pDX) override
  {
    CDialog::DoDataExchange(pDX);
    DDX_Slider(pDX, IDC_SLIDER, this->Slider);
    DDX_Radio(pDX, IDC_FIRST, this->First);
    DDX_Radio(pDX, IDC_SECOND, this->Second);
    DDX_Text(pDX, IDC_EDIT, this->Text);
  }
  BOOL OnInitDialog() override
  {
    CDialog::OnInitDialog();
    this->InitSlider = this->GetSliderPos(IDC_SLIDER);
    return TRUE;
  }
  void OnApply()
  {
    this->UpdateData(TRUE);
    ++this->Applied;
  }
};
}

TEST(Dialog, ValuesMoveOnlyWhenAskedAndOkTakesThem)
{
  App();
  FillTemplate();
  TestDlg dlg;
  dlg.Slider = 37;
  CScriptedPrompts prompts;
  prompts.AnswerDialog(
    [](CDialog& d)
    {
      // Initialisation put the members into the controls.
      EXPECT_EQ(d.GetSliderPos(IDC_SLIDER), 37);
      EXPECT_EQ(d.IsDlgButtonChecked(IDC_FIRST), BST_CHECKED);
      EXPECT_EQ(d.IsDlgButtonChecked(IDC_SECOND), BST_UNCHECKED);
      EXPECT_EQ(d.GetDlgItemText(IDC_EDIT), "frame");
      auto& t = static_cast<TestDlg&>(d);
      d.SetSliderPos(IDC_SLIDER, 80);
      d.SetDlgItemText(IDC_EDIT, "/tmp/shots/f");
      EXPECT_EQ(t.Slider, 37) << "a moved control does not change the member by itself";
      d.ClickDlgButton(IDC_APPLY);
      EXPECT_EQ(t.Applied, 1);
      EXPECT_EQ(t.Slider, 80);
      EXPECT_EQ(t.Text, "/tmp/shots/f");
      // A radio button of a group of its own: a click checks it, a second click keeps it.
      d.ClickDlgButton(IDC_SECOND);
      d.ClickDlgButton(IDC_SECOND);
      EXPECT_EQ(d.IsDlgButtonChecked(IDC_SECOND), BST_CHECKED);
      d.SetSliderPos(IDC_SLIDER, 140); // beyond the range: clamped
      d.ClickDlgButton(IDOK);
    });
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.InitSlider, 37);
  EXPECT_EQ(dlg.Slider, 100);
  EXPECT_EQ(dlg.First, 0);
  EXPECT_EQ(dlg.Second, 0);
  EXPECT_EQ(prompts.Dialogs, std::vector<unsigned>{ IDD_TEST });
  EXPECT_EQ(dlg.m_hWnd, nullptr) << "the window goes with the end of the dialog";
}

TEST(Dialog, CancelKeepsTheMembersAndDisabledButtonsDoNothing)
{
  App();
  FillTemplate();
  TestDlg dlg;
  CScriptedPrompts prompts;
  prompts.AnswerDialog(
    [](CDialog& d)
    {
      d.SetSliderPos(IDC_SLIDER, 5);
      d.GetDlgItem(IDC_APPLY)->EnableWindow(FALSE);
      d.ClickDlgButton(IDC_APPLY);
      EXPECT_EQ(static_cast<TestDlg&>(d).Applied, 0);
      d.ClickDlgButton(IDC_FIRST);
      d.ClickDlgButton(IDCANCEL);
    });
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_EQ(dlg.Slider, 50);

  // Shown again: the members, not the last controls, fill it; nobody scripted it, so it
  // is cancelled and counted.
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_EQ(dlg.InitSlider, 50);
  EXPECT_EQ(prompts.Unanswered, 1);
}

TEST(Dialog, ADialogWithoutTemplateDoesNotRun)
{
  App();
  CDialog dlg(9999);
  CScriptedPrompts prompts;
  EXPECT_EQ(dlg.DoModal(), -1);
  EXPECT_TRUE(prompts.Dialogs.empty());
}

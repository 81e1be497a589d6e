#include "OptionsDlg.h"

#include "CHaldenDoc.h"
#include "DialogFont.h"
#include "Prompts.h"
#include "WinApp.h"
#include "resource.h"

#include <QSlider>

#include <utility>

namespace
{
int IntervalFromPosition(int position)
{
  return position + 15;
}

int TicksFromSpeed(int speed)
{
  return (100 - speed) / 10 + 1;
}

class RecordPlayOwner : public COptionsOwner
{
public:
  explicit RecordPlayOwner(vtkRecordPlayView* view)
    : View(view)
  {
  }
  int GetTimerInterval() const override { return this->View->TimerInterval; }
  void SetTimerInterval(int milliseconds) override { this->View->TimerInterval = milliseconds; }
  int GetTicksPerStep() const override { return this->View->TicksPerStep.load(); }
  void SetTicksPerStep(int ticks) override { this->View->TicksPerStep.store(ticks); }
  int GetRealtime() const override { return this->View->Realtime.load(); }
  void SetRealtime(int realtime) override { this->View->Realtime.store(realtime); }
  std::string GetFramePrefix() const override { return this->View->FramePrefix; }
  void SetFramePrefix(const std::string& prefix) override { this->View->FramePrefix = prefix; }
  bool IsPlaying() const override { return this->View->IsPlaying() != 0; }
  bool HasTimer() const override { return this->View->GetTimerId() != -1; }
  bool RestartTimer() override { return this->View->RestartTimer(); }
  bool GetTextureOnModelAsLoaded() const override
  {
    const CHaldenDoc* document = this->Document();
    return document && document->GetTextureOnModelAsLoaded();
  }
  void SetTextureOnModelAsLoaded(bool asLoaded) override
  {
    if (CHaldenDoc* document = this->Document())
    {
      document->SetTextureOnModelAsLoaded(asLoaded);
    }
  }

private:
  CHaldenDoc* Document() const { return dynamic_cast<CHaldenDoc*>(this->View->GetDocument()); }
  vtkRecordPlayView* View;
};
}

//------------------------------------------------------------------------------
std::unique_ptr<COptionsOwner> MakeOptionsOwner(vtkRecordPlayView* view)
{
  return std::make_unique<RecordPlayOwner>(view);
}

//------------------------------------------------------------------------------
COptionsDlg::COptionsDlg(std::unique_ptr<COptionsOwner> owner, CWnd* parent)
  : CDialog(IDD_OPTIONS, parent)
  , Owner(std::move(owner))
{
  this->MapCommand(IDC_APPLY, &COptionsDlg::OnApply);
  this->MapCommand(IDC_BROWSE, &COptionsDlg::OnBrowse);
  this->MapCommand(IDC_SAVEPPM, &COptionsDlg::OnSavePpm);
  this->MapCommand(IDC_REALTIME, &COptionsDlg::OnRealtime);
}

//------------------------------------------------------------------------------
COptionsDlg::COptionsDlg(vtkRecordPlayView* view)
  : COptionsDlg(MakeOptionsOwner(view), view)
{
}

//------------------------------------------------------------------------------
COptionsDlg::~COptionsDlg() = default;

//------------------------------------------------------------------------------
void COptionsDlg::DoDataExchange(CDataExchange* pDX)
{
  CDialog::DoDataExchange(pDX);
  DDX_Slider(pDX, IDC_INTERVAL, this->IntervalPos);
  DDX_Slider(pDX, IDC_SPEED, this->SpeedPos);
  DDX_Text(pDX, IDC_PREFIX, this->Prefix);
  DDX_Radio(pDX, IDC_REALTIME, this->RealtimeIndex);
  DDX_Radio(pDX, IDC_SAVEPPM, this->SavePpmIndex);
  DDX_Check(pDX, IDC_TEXTURE_AS_LOADED, this->TextureAsLoaded);
}

//------------------------------------------------------------------------------
std::string COptionsDlg::ValuesText(int intervalPos, int speedPos)
{
  const int interval = IntervalFromPosition(intervalPos);
  const int ticks = TicksFromSpeed(speedPos);
  return "Timer interval " + std::to_string(interval) + " ms; a step every " +
    std::to_string(ticks) + (ticks == 1 ? " tick (" : " ticks (") +
    std::to_string(ticks * interval) + " ms)";
}

//------------------------------------------------------------------------------
void COptionsDlg::ShowValues()
{
  this->SetDlgItemText(
    IDC_OPTION_VALUES, ValuesText(this->GetSliderPos(IDC_INTERVAL), this->GetSliderPos(IDC_SPEED)));
}

//------------------------------------------------------------------------------
void COptionsDlg::LoadSettings()
{
  CWinApp* app = AfxGetApp();
  if (!app)
  {
    return;
  }
  auto position = [app](const char* entry, int fallback)
  {
    const int value = app->GetProfileInt("Options", entry, fallback);
    return value >= 0 && value <= 100 ? value : fallback;
  };
  this->SavedIntervalPos = this->IntervalPos = position("TimerIntervalPosition", 50);
  this->SavedSpeedPos = this->SpeedPos = position("TransformSpeedPosition", 50);
  const std::string prefix = app->GetProfileString("Options", "FramePrefix", "frame");
  this->SavedPrefix = this->Prefix =
    !prefix.empty() && prefix.size() <= MaxPrefixLength ? prefix : std::string("frame");
  this->SavedTextureAsLoaded = this->TextureAsLoaded =
    app->GetProfileInt("Options", "TextureMovesWithSurface", 0) == 1 ? BST_CHECKED : BST_UNCHECKED;
  this->PushToOwner();
}

//------------------------------------------------------------------------------
void COptionsDlg::SaveSettings() const
{
  if (CWinApp* app = AfxGetApp())
  {
    app->WriteProfileInt("Options", "TimerIntervalPosition", this->SavedIntervalPos);
    app->WriteProfileInt("Options", "TransformSpeedPosition", this->SavedSpeedPos);
    app->WriteProfileString("Options", "FramePrefix", this->SavedPrefix);
    app->WriteProfileInt(
      "Options", "TextureMovesWithSurface", this->SavedTextureAsLoaded == BST_CHECKED ? 1 : 0);
  }
}

//------------------------------------------------------------------------------
BOOL COptionsDlg::OnInitDialog()
{
  CDialog::OnInitDialog();
  ApplyTemplateFont(*this);
  // Frame-by-frame saving only makes sense for a playback.
  if (!this->Owner->IsPlaying())
  {
    this->OnRealtime();
    this->GetDlgItem(IDC_SAVEPPM)->EnableWindow(FALSE);
  }
  if (this->RealtimeIndex == 0)
  {
    this->EnablePrefixControls(false);
  }
  // The values the sliders stand for follow them as they move.
  this->ShowValues();
  for (int id : { IDC_INTERVAL, IDC_SPEED })
  {
    if (auto* slider = qobject_cast<QSlider*>(this->GetDlgItem(id)->GetWidget()))
    {
      QObject::connect(slider, &QSlider::valueChanged, slider, [this](int) { this->ShowValues(); });
    }
  }
  return TRUE;
}

//------------------------------------------------------------------------------
void COptionsDlg::EnablePrefixControls(bool enable)
{
  this->GetDlgItem(IDC_PREFIX)->EnableWindow(enable ? TRUE : FALSE);
  this->GetDlgItem(IDC_BROWSE)->EnableWindow(enable ? TRUE : FALSE);
}

//------------------------------------------------------------------------------
void COptionsDlg::OnRealtime()
{
  this->RealtimeIndex = 0;
  this->SavePpmIndex = -1;
  this->CheckDlgButton(IDC_REALTIME, BST_CHECKED);
  this->CheckDlgButton(IDC_SAVEPPM, BST_UNCHECKED);
  this->EnablePrefixControls(false);
}

//------------------------------------------------------------------------------
void COptionsDlg::OnSavePpm()
{
  this->RealtimeIndex = -1;
  this->SavePpmIndex = 0;
  this->CheckDlgButton(IDC_SAVEPPM, BST_CHECKED);
  this->CheckDlgButton(IDC_REALTIME, BST_UNCHECKED);
  this->EnablePrefixControls(true);
}

//------------------------------------------------------------------------------
void COptionsDlg::OnBrowse()
{
  CFileDialog dialog(
    TRUE, nullptr, this->Prefix.c_str(), OFN_HIDEREADONLY, "All Files|*.*||", this);
  dialog.m_ofn.lpstrTitle = "PPM files prefix";
  if (dialog.DoModal() != IDOK || !this->CheckPrefix(dialog.GetPathName()))
  {
    return;
  }
  this->Prefix = dialog.GetPathName();
  // Every control shows the current values again, so slider moves not yet applied are
  // undone along with showing the new prefix.
  this->UpdateData(FALSE);
}

//------------------------------------------------------------------------------
void COptionsDlg::OnApply()
{
  if (!this->CheckPrefix(this->GetDlgItemText(IDC_PREFIX)))
  {
    return;
  }
  this->UpdateData(TRUE);
  this->PushToOwner();
}

//------------------------------------------------------------------------------
void COptionsDlg::OnOK()
{
  if (!this->CheckPrefix(this->GetDlgItemText(IDC_PREFIX)))
  {
    return;
  }
  CDialog::OnOK();
  this->SavedIntervalPos = this->IntervalPos;
  this->SavedSpeedPos = this->SpeedPos;
  this->SavedPrefix = this->Prefix;
  this->SavedRealtimeIndex = this->RealtimeIndex;
  this->SavedSavePpmIndex = this->SavePpmIndex;
  this->SavedTextureAsLoaded = this->TextureAsLoaded;
  this->PushToOwner();
}

//------------------------------------------------------------------------------
void COptionsDlg::OnCancel()
{
  this->IntervalPos = this->SavedIntervalPos;
  this->SpeedPos = this->SavedSpeedPos;
  this->Prefix = this->SavedPrefix;
  this->RealtimeIndex = this->SavedRealtimeIndex;
  this->SavePpmIndex = this->SavedSavePpmIndex;
  this->TextureAsLoaded = this->SavedTextureAsLoaded;
  this->PushToOwner();
  CDialog::OnCancel();
}

//------------------------------------------------------------------------------
bool COptionsDlg::CheckPrefix(const std::string& prefix)
{
  if (prefix.size() <= MaxPrefixLength)
  {
    return true;
  }
  this->MessageBox("The frame file prefix is too long: at most " + std::to_string(MaxPrefixLength) +
    " characters leave room for the frame numbers.");
  return false;
}

//------------------------------------------------------------------------------
void COptionsDlg::PushToOwner()
{
  COptionsOwner& owner = *this->Owner;
  const int interval = IntervalFromPosition(this->IntervalPos);
  const int ticks = TicksFromSpeed(this->SpeedPos);
  // Frame-by-frame mode only drives a playback; without one it would freeze the animation.
  const int realtime = (this->RealtimeIndex == 0 || !owner.IsPlaying()) ? 1 : 0;
  const bool changed = owner.GetTimerInterval() != interval || owner.GetRealtime() != realtime ||
    owner.GetTicksPerStep() != ticks;
  owner.SetTimerInterval(interval);
  owner.SetTicksPerStep(ticks);
  owner.SetRealtime(realtime);
  owner.SetFramePrefix(this->Prefix);
  if (owner.GetTextureOnModelAsLoaded() != (this->TextureAsLoaded == BST_CHECKED))
  {
    owner.SetTextureOnModelAsLoaded(this->TextureAsLoaded == BST_CHECKED);
  }
  // A timer lost to an earlier failed restart is tried again.
  if (changed || !owner.HasTimer())
  {
    owner.RestartTimer();
  }
}

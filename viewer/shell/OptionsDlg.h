/**
 * @class COptionsDlg
 * @brief The options dialog: timer interval, animation speed, realtime or frame-by-frame
 * playback, and the prefix of saved frame files, pushed to the view that owns the dialog.
 *
 * The dialog keeps two sets of values: the current ones, bound to the controls, and the
 * confirmed ones of the last OK. Apply takes the controls into the current values and
 * pushes them to the owner; OK does the same, closes, and makes them the confirmed values;
 * Cancel (also Escape and the window's close box) puts the confirmed values back and
 * pushes those, withdrawing whatever was applied since the last OK. The dialog's own
 * values are the source: the sliders are never read back from the owner.
 *
 * What the owner gets:
 *
 * | setting       | from                                                  |
 * |---------------|-------------------------------------------------------|
 * | TimerInterval | IntervalPos + 15 (15 to 115 ms)                        |
 * | TicksPerStep  | (100 - SpeedPos) / 10 + 1 (11 at speed 0, 1 from 91 on) |
 * | Realtime      | 1 with "Realtime", 0 with "Save PPM" during a playback |
 * | FramePrefix   | Prefix                                                |
 *
 * The owner's timer is restarted only when interval, speed or mode change (a new prefix
 * alone does not restart it), or when the owner has no timer at all because an earlier
 * restart failed; the owner reports a failed restart itself.
 *
 * "Save PPM" (frame-by-frame playback with saved frames) is offered only while the owner
 * plays a camera record: shown at any other time, the dialog selects "Realtime" and
 * disables "Save PPM". A "Save PPM" choice that reaches an owner that is not playing (a
 * Cancel back to it, or a playback that ended while the dialog was open) keeps the owner
 * in real time, where the animation goes on; the choice itself is kept for the next Play.
 *
 * The prefix with a frame number and ".bmp" must fit in MAX_PATH characters: a longer
 * prefix is refused with a message and the dialog stays open.
 */
#ifndef Halden_OptionsDlg_h
#define Halden_OptionsDlg_h

#include "Dialog.h"
#include "vtkRecordPlayView.h"

#include <memory>
#include <string>

/**
 * @class COptionsOwner
 * @brief What the options dialog reads and writes on the view that owns it.
 */
class COptionsOwner
{
public:
  virtual ~COptionsOwner() = default;
  virtual int GetTimerInterval() const = 0;
  virtual void SetTimerInterval(int milliseconds) = 0;
  virtual int GetTicksPerStep() const = 0;
  virtual void SetTicksPerStep(int ticks) = 0;
  virtual int GetRealtime() const = 0;
  virtual void SetRealtime(int realtime) = 0;
  virtual std::string GetFramePrefix() const = 0;
  virtual void SetFramePrefix(const std::string& prefix) = 0;
  /// Whether a camera record is being played (armed or running).
  virtual bool IsPlaying() const = 0;
  /// Whether the owner's timer exists.
  virtual bool HasTimer() const = 0;
  /// Re-creates the timer with the current interval; reports its own failure.
  virtual bool RestartTimer() = 0;
  /// Whether the texture coordinates are those of the model as loaded (else computed on
  /// the shape shown at every step). Owners without a model answer no and ignore a change.
  virtual bool GetTextureOnModelAsLoaded() const { return false; }
  virtual void SetTextureOnModelAsLoaded(bool) {}
};

/// The settings of a record-and-play view, as the options dialog sees them.
std::unique_ptr<COptionsOwner> MakeOptionsOwner(vtkRecordPlayView* view);

class COptionsDlg
  : public CDialog
  , public RealtimeChoice
{
public:
  /// The dialog keeps the owner for its lifetime; parent is the window it is shown over.
  COptionsDlg(std::unique_ptr<COptionsOwner> owner, CWnd* parent = nullptr);
  /// The options dialog of a view: its settings, shown over its window.
  explicit COptionsDlg(vtkRecordPlayView* view);
  ~COptionsDlg() override;

  /// Longest accepted prefix: room is left for four digits, ".bmp" and the terminator.
  static constexpr std::size_t MaxPrefixLength = MAX_PATH - 1 - 8;

  /// Whether "Realtime" is the current choice (else frame-by-frame playback).
  bool IsRealtimeChosen() const override { return this->RealtimeIndex == 0; }
  COptionsOwner* GetOwner() const { return this->Owner.get(); }

  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  void DoDataExchange(CDataExchange* pDX) override;

  ///@{
  /// Button handlers: Apply, "...", "Save PPM", "Realtime".
  void OnApply();
  void OnBrowse();
  void OnSavePpm();
  void OnRealtime();
  ///@}

  std::unique_ptr<COptionsOwner> Owner;
  ///@{
  /// Confirmed values (the last OK) and current values (bound to the controls). A radio
  /// index is 0 while its button is selected and -1 while not; exactly one of the two
  /// current indices is 0.
  int SavedIntervalPos = 50;
  int SavedSpeedPos = 50;
  std::string SavedPrefix = "frame";
  int SavedRealtimeIndex = 0;
  int SavedSavePpmIndex = -1;
  int IntervalPos = 50;
  int SpeedPos = 50;
  std::string Prefix = "frame";
  int RealtimeIndex = 0;
  int SavePpmIndex = -1;
  ///@}
  ///@{
  /// "Texture moves with surface" (BST_CHECKED: texture coordinates of the model as
  /// loaded), confirmed and current; unchecked by default.
  int SavedTextureAsLoaded = BST_UNCHECKED;
  int TextureAsLoaded = BST_UNCHECKED;
  ///@}

  /// The values the sliders stand for, as the dialog shows them under the sliders:
  /// "Timer interval 65 ms; a step every 6 ticks (390 ms)".
  static std::string ValuesText(int intervalPos, int speedPos);

  ///@{
  /**
   * The confirmed values from the settings (kept between runs under "Options"), pushed to
   * the owner; a value missing or out of its range keeps the default. SaveSettings writes
   * the confirmed values.
   */
  void LoadSettings();
  void SaveSettings() const;
  ///@}

protected:
  /// Writes the current values to the owner and restarts its timer when that is needed.
  void PushToOwner();
  /// False, after telling the user, when the prefix is too long for frame file names.
  bool CheckPrefix(const std::string& prefix);
  void EnablePrefixControls(bool enable);
  /// Shows ValuesText of the sliders' positions now.
  void ShowValues();
};

#endif

/**
 * @class vtkRecordPlayView
 * @brief A render view that records the camera path while the user moves the model and
 * plays such a path back, paced by a periodic multimedia timer.
 *
 * Commands: Play, Pause, Stop, Record (enabled only while the document holds a model) and
 * Options. The timer runs from window creation to window destruction; every TimerInterval
 * milliseconds its procedure, PlaybackTimerCallback, advances Tick, applies the records
 * of a playback that are due and calls AdvanceAnimation every TicksPerStep ticks while the
 * animation runs. It never renders: it posts the redraw request WM_USER, which the view
 * answers on the user-interface thread, and WM_USER + 1 at the end of a playback.
 *
 * States (recording, playing, paused):
 *
 * | state               | rec | play | paused | left by                                  |
 * |---------------------|-----|------|--------|------------------------------------------|
 * | idle                | 0   | 0    | 0      | Record, Play (armed); Pause (frozen)     |
 * | idle, frozen        | 0   | 0    | 1      | Pause (idle); Record, Play (armed)       |
 * | recording armed     | 1   | 0    | 1      | Record or Pause (recording); Stop        |
 * | recording           | 1   | 0    | 0      | Pause (armed); Stop or a failed write    |
 * | playback armed      | 0   | 1    | 1      | Play or Pause (playing); Stop            |
 * | playing             | 0   | 1    | 0      | Pause (armed); Stop or end of the file   |
 *
 * Recording captures the camera on every WM_TIMER that reaches the view while recording
 * unpaused (the VTK interactor's timer runs while the user drags), stamped with Tick, and
 * a writer thread writes the captures into "__CameraRecordTempFile.csr" in a directory of
 * the recording's own under the temporary directory (made exclusively, private to the
 * user); Stop offers the file for saving under a chosen name (asking before it replaces an
 * existing file) and deletes the temporary file. A recording that could not be written
 * whole (a failed write, flush or close) is reported instead of offered. Closing the
 * window during a recording stops it and offers it as Stop does. Playback reads a ".csr" file
 * on a reader thread, applies each record when its delay has passed, switches mouse
 * interaction off, and at the end puts the camera back where it was before Play.
 *
 * In frame-by-frame playback (Realtime 0) the timer procedure does one frame's work per
 * redraw request: a derived view saves a picture per redraw (see WindowProc).
 *
 * The states, the work of a tick, the queue, the worker thread and the locks are those of
 * a RecordPlayEngine, a window-free part the view owns; the view is the glue between the
 * commands and messages, the files and dialogs, and that engine.
 *
 * Threads: the timer procedure and the user-interface thread share the flags and counters
 * (atomic integers), the camera (changed on the timer thread only by CameraStatus::Apply,
 * which holds the camera lock; every render holds the same lock) and the playback's node
 * and queue (guarded by a lock that the timer procedure holds for a whole tick and Stop
 * holds while it releases them).
 *
 * @warning The timer runs until the window is destroyed (or StopTimer). A derived view
 * whose AdvanceAnimation or redraw uses its own members must not be deleted while its
 * window still exists without calling StopTimer first: the framework destroys the window
 * before it deletes the view, so this only concerns views made and deleted by hand.
 *
 * @sa RecordPlayEngine CameraStatus CameraStatusQueue RecordWriterThread RecordReaderThread
 */
#ifndef vtkRecordPlayView_h
#define vtkRecordPlayView_h

#include "vtkMFCRenderView.h"

#include "RecordPlayEngine.h"
#include "mmtimer.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>

class CDialog;
class vtkCallbackCommand;
class vtkCamera;
class vtkObject;

///@{
/// Commands of the Play menu and View > Options.
constexpr UINT ID_PLAY = 32777;
constexpr UINT ID_PAUSE = 32784;
constexpr UINT ID_STOP = 32780;
constexpr UINT ID_RECORD = 32782;
constexpr UINT ID_OPTIONS = 32802;
///@}

/// The name of the file a recording writes into, in a private directory of its own under
/// the temporary directory.
constexpr const char* CAMERA_RECORD_TEMP_FILE = "__CameraRecordTempFile.csr";

/**
 * @class RealtimeChoice
 * @brief What the view asks the options dialog when a playback starts: is "Realtime"
 * chosen (else frame-by-frame playback with frame saving)?
 *
 * The options dialog implements it; a view without a dialog plays in real time.
 */
class RealtimeChoice
{
public:
  virtual ~RealtimeChoice() = default;
  virtual bool IsRealtimeChosen() const = 0;
};

class vtkRecordPlayView : public vtkMFCRenderView
{
  /// Answers the engine on the timer thread: posts the redraw request and the end of the
  /// playback to the window, and takes the animation step.
  class EngineAnswers : public RecordPlayEngine::Client
  {
  public:
    explicit EngineAnswers(vtkRecordPlayView& view)
      : View(view)
    {
    }
    void RequestRedraw() override;
    void RequestEndOfPlayback() override;
    void AdvanceAnimation() override;

  private:
    vtkRecordPlayView& View;
  };
  // Declared before the public settings below, which are the engine's own.
  EngineAnswers Answers{ *this };
  RecordPlayEngine Engine{ this->Answers };

public:
  vtkRecordPlayView();
  ~vtkRecordPlayView() override;

  /**
   * Passes every message on to vtkMFCRenderView after its own handling of:
   * - WM_TIMER: captures the camera first while recording unpaused;
   * - WM_MOUSEWHEEL: captures the camera after the zoom while recording unpaused;
   * - WM_USER + 1 (end of playback): stops the playback;
   * - WM_USER (redraw request): renders and clears RedrawPending, unless a derived view
   *   has handled the request already (it clears RedrawPending before passing it on);
   *   then, when an animation step fell due while it was pending, has that step taken
   *   OwedStepDelay milliseconds later on a thread of its own (the input that came in
   *   during the drawing is served first), not at the timer's next tick.
   */
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  ///@{
  /// Commands and their enabling handlers (see the class comment for the states).
  void OnPlay();
  void OnPause();
  void OnStop();
  void OnRecord();
  /// Shows the options dialog made when the window was created; nothing without one.
  void OnOptions();
  void OnUpdatePlay(CCmdUI* pCmdUI);
  void OnUpdatePause(CCmdUI* pCmdUI);
  void OnUpdateStop(CCmdUI* pCmdUI);
  void OnUpdateRecord(CCmdUI* pCmdUI);
  ///@}

  ///@{
  /// The transform animation: AdvanceAnimation runs every TicksPerStep ticks while on.
  void AnimationOn() override;
  void AnimationOff() override;
  int GetAnimationRunning() const { return this->Engine.GetAnimationRunning(); }
  ///@}

  /// One animation step, called on the timer thread; nothing here.
  virtual void AdvanceAnimation();

  /**
   * (Re-)creates the timer with period TimerInterval and sets FrameCounter to 0. False,
   * after the message "Cannot create timer!", when no timer can be made; then no timer
   * runs until the next successful restart.
   */
  bool RestartTimer();
  /// Stops the timer and a pending wake-up for an owed step (waiting for a running tick or
  /// step to end). Nothing when none runs.
  void StopTimer();
  /// The timer's identifier, -1 while none runs.
  int GetTimerId() const { return this->TimerId; }

  /// The procedure of the multimedia timer; user is the view. One tick (see Tick()), then
  /// a pause of 3 ms.
  static void PlaybackTimerCallback(
    UINT timerId, UINT message, DWORD_PTR user, DWORD_PTR dw1, DWORD_PTR dw2);
  /// The work of one timer tick without the pause: what a test calls to step the view.
  void TimerTick();

  /// How long after a drawing a step that fell due during it is taken (ms): long enough for
  /// the event loop to take up the input that came in meanwhile, short against a picture.
  static constexpr UINT OwedStepDelay = 20;

  ///@{
  /// State shared with the timer thread.
  int IsRecording() const { return this->Engine.IsRecording(); }
  int IsPlaying() const { return this->Engine.IsPlaying(); }
  bool IsPaused() const override { return this->Engine.IsPaused(); }
  int GetTicksRemaining() const { return this->Engine.GetTicksRemaining(); }
  int GetTicksAccumulated() const { return this->Engine.GetTicksAccumulated(); }
  /// The path recording writes into (set when a recording starts; unique to it).
  const std::string& GetTempRecordPath() const { return this->TempRecordPath; }
  /// True while a recording or playback worker thread has been started and not waited for.
  bool HasWorker() const { return this->Engine.HasWorker(); }
  CCriticalSection& GetCameraLock() { return this->Engine.GetCameraLock(); }
  ///@}

  ///@{
  /**
   * Settings, read and written directly by the options dialog (call RestartTimer after a
   * change of TimerInterval, TicksPerStep or Realtime). Defaults: TimerInterval 65 ms,
   * TicksPerStep 6, Realtime 1 (0: frame-by-frame playback with frame saving),
   * FramePrefix "frame". Realtime becomes 1 again whenever a recording or playback stops.
   */
  int TimerInterval = 65;
  std::atomic<int>& TicksPerStep = this->Engine.TicksPerStep;
  std::atomic<int>& Realtime = this->Engine.Realtime;
  std::string FramePrefix = "frame";
  ///@}

  /// Advanced by the timer: 0..49999 in real time; frame-by-frame playback adds
  /// TicksPerStep per animation step without wrapping.
  std::atomic<int>& Tick = this->Engine.Tick;
  /// Number of the next saved frame; 0 at each start of playback and timer restart.
  int FrameCounter = 0;
  /// 1 from posting a redraw request until the view has handled it.
  std::atomic<int>& RedrawPending = this->Engine.RedrawPending;

  /**
   * Makes the options dialog when the window is created. The application installs a
   * factory (the dialog lives in the shell, which depends on the views); without one the
   * view has no options dialog. The dialog may implement RealtimeChoice.
   */
  using OptionsDialogFactory = std::function<CDialog*(vtkRecordPlayView* owner)>;
  static void SetOptionsDialogFactory(OptionsDialogFactory factory);
  CDialog* GetOptionsDialog() const { return this->OptionsDialog.get(); }

protected:
  static constexpr std::memory_order Relaxed = std::memory_order_relaxed;

  int OnCreate(LPCREATESTRUCT cs) override;
  /// The user closes the frame: a recording is stopped and offered for saving first.
  BOOL CanCloseFrame(CFrameWnd* frame) override;
  /// Stops the timer, then ends a running recording (offering it for saving) or playback:
  /// the worker is stopped and waited for before the queue and the file are released.
  void OnDestroy() override;

  /// The options dialog of a new window; by default made by the installed factory.
  virtual CDialog* CreateOptionsDialog();

  /// Captures the camera into the recording's queue; a refused node ends the recording.
  void CaptureCamera();
  /// The playback's start without the prompt: file opened, engine started, interaction off.
  void StartPlayback(const std::string& fileName);
  /// Stop without the camera restore when the window is going away.
  void StopRecordPlay(bool restoreCamera);
  /// Asks for a destination of the temporary record and copies it there (ReplaceFile), then
  /// deletes it; when the copy fails, the temporary record is kept and the message says where.
  void SaveTemporaryRecord();
  /// The model renderer's active camera (made now if there is none).
  vtkCamera* GetModelCamera();
  /// Whether the document holds a model (the record and play commands need one).
  bool HasData() const;

  /// After a drawing during which a step fell due: a one-shot timer takes that step soon
  /// (while the periodic timer runs; else nothing).
  void WakeForOwedStep();
  /// The one-shot timer's procedure; user is the view.
  static void OwedStepCallback(UINT timerId, UINT message, DWORD_PTR user, DWORD_PTR, DWORD_PTR);

  /// The render window's start and end of a render take and release the camera lock.
  static void RenderLockCallback(vtkObject* caller, unsigned long event, void* client, void*);

  int TimerId = -1;
  /// The one-shot timer of WakeForOwedStep, -1 when none has been made since the last stop
  /// (user-interface thread only).
  int OwedStepWakeId = -1;
  std::string TempRecordPath;
  std::unique_ptr<CDialog> OptionsDialog;
  vtkCallbackCommand* RenderLockObserver = nullptr;
  int RenderLockDepth = 0;
};

#endif

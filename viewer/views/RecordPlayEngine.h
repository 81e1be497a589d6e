/**
 * @class RecordPlayEngine
 * @brief Recording and playback of camera paths without a window: the states, the work of
 * one timer tick, the queue and the worker thread, and the locks.
 *
 * The record/play view owns one engine and is the glue around it: it turns commands and
 * window messages into engine calls, opens the files, asks the user, and answers what the
 * engine asks of its Client (post a redraw request, post the end of a playback, take one
 * animation step). Tests drive an engine directly with a camera of their own.
 *
 * States (recording, playing, paused):
 *
 * | state               | rec | play | paused | left by                                  |
 * |---------------------|-----|------|--------|------------------------------------------|
 * | idle                | 0   | 0    | 0      | StartRecording, StartPlayback (armed);   |
 * |                     |     |      |        | TogglePause (frozen)                     |
 * | idle, frozen        | 0   | 0    | 1      | TogglePause (idle); the starts (armed)   |
 * | recording armed     | 1   | 0    | 1      | Resume or TogglePause; Halt              |
 * | recording           | 1   | 0    | 0      | TogglePause (armed); Halt                |
 * | playback armed      | 0   | 1    | 1      | Resume or TogglePause; Halt              |
 * | playing             | 0   | 1    | 0      | TogglePause (armed); Halt                |
 *
 * Halt ends a recording or playback in two steps, so that the owner can offer the recording
 * for saving between them: Halt releases the worker, the queue and the file; Reset then
 * returns to idle (and Realtime to 1).
 *
 * Ticks (TimerTick, called by the owner's periodic timer): in real time (Realtime 1) Tick
 * advances
 * by one (wrapping from 49999 to 0) unless paused, the records of a running playback that
 * are due are applied to the playback camera (all of those due in the same tick), and
 * every TicksPerStep ticks of a running animation the client takes a step. A step that falls
 * due while a redraw is pending (the last step still being drawn) is not taken then but owed:
 * RedrawDone tells the owner, who calls TakeOwedStep a moment later, once its input has been
 * served; failing that, the first tick after the redraw takes it. Either way the step taken
 * is the one due at that time, so a slow picture never queues steps, the blend still follows
 * the clock, input that came in during the drawing is served before the next drawing begins,
 * and a picture that overruns the step's period does not also wait for the next tick.
 * Frame by frame
 * (Realtime 0) one tick does one frame's work and then waits until the owner has drawn it
 * (RedrawPending 0 again): it applies the record due within the tick budget, or, when none
 * is due, takes an animation step and advances Tick by TicksPerStep.
 *
 * Threads: TimerTick runs on the timer thread and holds the playback lock for its whole work; the
 * user-interface thread installs and releases the playback's node and queue under the same
 * lock. Records are applied to the camera under the camera lock (CameraStatus::Apply);
 * whoever renders that camera holds the camera lock meanwhile. The flags and counters are
 * atomic integers, each written whole.
 *
 * @sa CameraStatus CameraStatusQueue RecordWriterThread RecordReaderThread
 */
#ifndef RecordPlayEngine_h
#define RecordPlayEngine_h

#include "CameraStatus.h"
#include "system.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

class CameraStatusQueue;
class QueueNode;
class vtkCamera;

class RecordPlayEngine
{
public:
  /// What the engine asks of its owner. Called on the timer thread (from TimerTick).
  class Client
  {
  public:
    virtual ~Client() = default;
    /// RedrawPending has just been set: have the camera drawn (on the owner's thread), then
    /// set RedrawPending to 0.
    virtual void RequestRedraw() = 0;
    /// The playback has applied its last record: have it stopped (on the owner's thread).
    virtual void RequestEndOfPlayback() = 0;
    /// One step of the animation.
    virtual void AdvanceAnimation() = 0;
  };

  explicit RecordPlayEngine(Client& client);
  /// Ends a running recording or playback (without offering anything).
  ~RecordPlayEngine();
  RecordPlayEngine(const RecordPlayEngine&) = delete;
  RecordPlayEngine& operator=(const RecordPlayEngine&) = delete;

  /// Why a recording or playback did not start.
  enum class StartResult
  {
    Armed,        ///< started, paused
    WorkerFailed, ///< the writer or reader thread could not be started
    NoRecord      ///< (playback) the file holds no readable record
  };

  /**
   * Starts a recording into file (open for writing; the engine closes it, also when the
   * start fails): the camera is captured as the reference record, which the writer writes
   * first, and the recording is armed (paused).
   */
  StartResult StartRecording(std::FILE* file, vtkCamera* camera);
  /// While recording unpaused, whether a capture is wanted (the owner calls Capture then).
  bool IsCapturing() const;
  /// Puts the camera, stamped with Tick, into the recording's queue. False when the writer
  /// has stopped the queue (a write failed): the owner ends the recording.
  bool Capture(vtkCamera* camera);

  /**
   * Starts a playback of file (open for reading; the engine closes it, also when the start
   * fails) onto camera: the camera's state is kept as the reference record, the first
   * record is taken (waiting for the reader) and applied, and the playback is armed
   * (paused) in real time or frame by frame.
   */
  StartResult StartPlayback(std::FILE* file, vtkCamera* camera, bool realtime);

  /// Record or Play while armed: paused := 0.
  void Resume() { this->Paused.store(0, Relaxed); }
  /// Pause: paused := not paused, in every state (while idle it freezes the animation).
  void TogglePause() { this->Paused.store(this->Paused.load(Relaxed) ? 0 : 1, Relaxed); }

  /**
   * First step of a stop: pauses, stops the queue (releasing the worker and a tick waiting
   * for it), waits for the worker, releases node and queue, and closes the file. The states
   * stay until Reset. Returns empty, or what went wrong writing a recording's file (a write,
   * the flush or the close failed).
   */
  std::string Halt();
  /// Second step of a stop: idle, Realtime 1.
  void Reset();
  /// Applies the reference record to camera: after a playback the camera before Play, after
  /// a recording the last state written.
  void RestoreCamera(vtkCamera* camera);

  /// The work of one timer tick (see the class comment).
  void TimerTick();
  /**
   * The owner has answered a redraw request (RedrawPending is 0 again; owner's thread). A
   * step that fell due meanwhile is never taken here, so that the owner serves the input that
   * came in during the drawing before it asks for the next one. Returns true when such a
   * step is owed: the owner then has TakeOwedStep called shortly, off its own thread, after
   * its pending input (otherwise the next tick takes it). A step owed when the animation
   * stopped or paused, or playback went frame by frame, is forgotten.
   */
  bool RedrawDone();
  /// Takes the step owed since the last drawing, unless nothing is owed any more (a tick
  /// took it), the animation stopped or paused meanwhile, or a redraw is pending again (then
  /// it stays owed). Called off the owner's thread, as TimerTick is.
  void TakeOwedStep();

  ///@{
  /// The transform animation: the client steps it every TicksPerStep ticks while on.
  void AnimationOn() { this->AnimationRunning.store(1, Relaxed); }
  void AnimationOff() { this->AnimationRunning.store(0, Relaxed); }
  int GetAnimationRunning() const { return this->AnimationRunning.load(Relaxed); }
  ///@}

  ///@{
  /// States, shared with the timer thread.
  int IsRecording() const { return this->Recording.load(Relaxed); }
  int IsPlaying() const { return this->Playing.load(Relaxed); }
  bool IsPaused() const { return this->Paused.load(Relaxed) != 0; }
  int GetTicksRemaining() const { return this->TicksRemaining.load(Relaxed); }
  int GetTicksAccumulated() const { return this->TicksAccumulated.load(Relaxed); }
  /// True while a worker thread has been started and not waited for.
  bool HasWorker() const { return this->Worker.IsStarted(); }
  /// Held by CameraStatus::Apply while a record changes a camera; every render of a camera
  /// the engine plays onto must hold it too.
  CCriticalSection& GetCameraLock() { return this->CameraLock; }
  ///@}

  ///@{
  /// Settings and counters shared with the timer thread (the view offers them under these
  /// names). Defaults: TicksPerStep 6, Realtime 1.
  std::atomic<int> TicksPerStep{ 6 };
  std::atomic<int> Realtime{ 1 };
  /// 0..49999 in real time; frame by frame adds TicksPerStep per step without wrapping.
  std::atomic<int> Tick{ 0 };
  /// 1 from asking for a redraw until the owner has drawn.
  std::atomic<int> RedrawPending{ 0 };
  ///@}

private:
  static constexpr std::memory_order Relaxed = std::memory_order_relaxed;

  void RealtimeTick();
  void FrameByFrameTick();
  /// A real-time animation step now, or owed when a redraw is pending.
  void TakeStep();
  /// Real time, unpaused, animation on: an owed step is still wanted.
  bool StillAnimating() const;
  /// If no redraw is pending: marks one pending and asks the client.
  void PostRedraw();
  /// Deletes the current node and takes the next; false when none comes.
  bool AdvanceCurrentNode();

  Client& Owner;
  CCriticalSection CameraLock;
  std::unique_ptr<CameraStatus> ReferenceRecord;
  std::FILE* RecordFile = nullptr;
  CameraStatusQueue* Queue = nullptr;
  QueueNode* CurrentNode = nullptr;
  CameraStatus* CurrentRecord = nullptr; ///< the current node's record
  vtkCamera* PlaybackCamera = nullptr;
  CWorkerThread Worker;
  std::atomic<int> TicksRemaining{ 0 };
  std::atomic<int> TicksAccumulated{ 0 };
  std::atomic<int> AnimationRunning{ 0 };
  std::atomic<int> Recording{ 0 };
  std::atomic<int> Playing{ 0 };
  std::atomic<int> Paused{ 0 };
  /// 1 when an animation step fell due while a redraw was pending.
  std::atomic<int> StepOwed{ 0 };
  /// Held by TimerTick for a whole tick, and by the user-interface thread while it installs or
  /// releases the playback's node and queue. Never taken while the camera lock is held.
  std::mutex PlaybackLock;
};

#endif

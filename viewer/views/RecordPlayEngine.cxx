#include "RecordPlayEngine.h"

#include "CameraStatusQueue.h"
#include "RecordThreads.h"

#include <cerrno>
#include <cstring>

namespace
{
/// Flushes and closes a recording's file. What went wrong, or empty when every write, the
/// flush and the close succeeded.
std::string CloseRecordFile(std::FILE* file)
{
  std::string failure;
  if (std::ferror(file))
  {
    failure = "a write failed";
  }
  if (std::fflush(file) != 0 && failure.empty())
  {
    failure = std::strerror(errno);
  }
  if (std::fclose(file) != 0 && failure.empty())
  {
    failure = std::strerror(errno);
  }
  return failure;
}
}

//------------------------------------------------------------------------------
RecordPlayEngine::RecordPlayEngine(Client& client)
  : Owner(client)
  , ReferenceRecord(new CameraStatus(this->CameraLock))
{
}

//------------------------------------------------------------------------------
RecordPlayEngine::~RecordPlayEngine()
{
  this->Halt();
}

//------------------------------------------------------------------------------
RecordPlayEngine::StartResult RecordPlayEngine::StartRecording(std::FILE* file, vtkCamera* camera)
{
  this->ReferenceRecord->Capture(camera);
  auto* queue = new CameraStatusQueue(0, 1);
  auto* parameters =
    new RecordWriterParameters{ file, queue, this->ReferenceRecord.get(), &this->CameraLock };
  if (!this->Worker.Start(&RecordWriterThread, parameters))
  {
    delete parameters;
    delete queue;
    std::fclose(file);
    return StartResult::WorkerFailed;
  }
  this->RecordFile = file;
  {
    std::lock_guard<std::mutex> lock(this->PlaybackLock);
    this->Queue = queue;
  }
  // Armed: nothing is captured until the pause is released.
  this->Recording.store(1, Relaxed);
  this->Paused.store(1, Relaxed);
  return StartResult::Armed;
}

//------------------------------------------------------------------------------
bool RecordPlayEngine::IsCapturing() const
{
  return this->Recording.load(Relaxed) && !this->Paused.load(Relaxed);
}

//------------------------------------------------------------------------------
bool RecordPlayEngine::Capture(vtkCamera* camera)
{
  if (!this->Queue)
  {
    return true;
  }
  auto* node = new QueueNode(new CameraStatus(camera, this->CameraLock), this->Tick.load(Relaxed));
  if (!this->Queue->Put(node))
  {
    delete node;
    return false;
  }
  return true;
}

//------------------------------------------------------------------------------
RecordPlayEngine::StartResult RecordPlayEngine::StartPlayback(
  std::FILE* file, vtkCamera* camera, bool realtime)
{
  auto* queue = new CameraStatusQueue(10, 1);
  auto* parameters = new RecordReaderParameters{ file, queue, &this->CameraLock };
  if (!this->Worker.Start(&RecordReaderThread, parameters))
  {
    delete parameters;
    delete queue;
    std::fclose(file);
    return StartResult::WorkerFailed;
  }
  this->ReferenceRecord->Capture(camera); // where the camera returns at the stop

  QueueNode* first = queue->Get();
  if (!first)
  {
    // Not a single readable record: as before.
    this->Worker.Wait();
    std::fclose(file);
    delete queue;
    return StartResult::NoRecord;
  }

  std::lock_guard<std::mutex> lock(this->PlaybackLock);
  this->RecordFile = file;
  this->Queue = queue;
  this->PlaybackCamera = camera;
  this->CurrentNode = first;
  this->CurrentRecord = first->Status;
  this->TicksRemaining.store(first->Ticks, Relaxed);
  this->TicksAccumulated.store(this->TicksPerStep.load(Relaxed), Relaxed);
  this->Realtime.store(realtime ? 1 : 0, Relaxed);
  this->CurrentRecord->Apply(camera);
  // Armed: the path runs when the pause is released.
  this->Paused.store(1, Relaxed);
  this->Playing.store(1, Relaxed);
  return StartResult::Armed;
}

//------------------------------------------------------------------------------
std::string RecordPlayEngine::Halt()
{
  // The worker, and a timer tick waiting in Get, are released before anything is freed.
  this->Paused.store(1, Relaxed);
  if (this->Queue)
  {
    this->Queue->Stop();
  }
  this->Worker.Wait();
  {
    std::lock_guard<std::mutex> lock(this->PlaybackLock);
    delete this->CurrentNode;
    this->CurrentNode = nullptr;
    this->CurrentRecord = nullptr;
    delete this->Queue;
    this->Queue = nullptr;
    this->PlaybackCamera = nullptr;
  }
  std::string writeFailure;
  if (this->RecordFile && this->Recording.load(Relaxed))
  {
    writeFailure = CloseRecordFile(this->RecordFile);
  }
  else if (this->RecordFile)
  {
    std::fclose(this->RecordFile);
  }
  this->RecordFile = nullptr;
  return writeFailure;
}

//------------------------------------------------------------------------------
void RecordPlayEngine::Reset()
{
  this->Realtime.store(1, Relaxed);
  this->Paused.store(0, Relaxed);
  this->Playing.store(0, Relaxed);
  this->Recording.store(0, Relaxed);
}

//------------------------------------------------------------------------------
void RecordPlayEngine::RestoreCamera(vtkCamera* camera)
{
  this->ReferenceRecord->Apply(camera);
}

//------------------------------------------------------------------------------
void RecordPlayEngine::TimerTick()
{
  std::lock_guard<std::mutex> lock(this->PlaybackLock);
  if (this->Realtime.load(Relaxed))
  {
    this->RealtimeTick();
  }
  else
  {
    this->FrameByFrameTick();
  }
}

//------------------------------------------------------------------------------
void RecordPlayEngine::RealtimeTick()
{
  if (this->Paused.load(Relaxed))
  {
    return;
  }
  const int tick = (this->Tick.load(Relaxed) + 1) % RecordTickPeriod;
  this->Tick.store(tick, Relaxed);

  if (this->Playing.load(Relaxed) && this->CurrentNode)
  {
    this->TicksRemaining.fetch_sub(1, Relaxed);
    // Records due in the same tick (delay 0) are all applied now.
    while (this->TicksRemaining.load(Relaxed) <= 0 && this->CurrentNode)
    {
      this->CurrentRecord->Apply(this->PlaybackCamera);
      this->PostRedraw();
      if (!this->AdvanceCurrentNode())
      {
        this->Owner.RequestEndOfPlayback();
      }
    }
  }

  const int ticksPerStep = this->TicksPerStep.load(Relaxed);
  const bool due = ticksPerStep > 0 && tick % ticksPerStep == 0;
  if (this->AnimationRunning.load(Relaxed) && (due || this->StepOwed.load(Relaxed)))
  {
    this->TakeStep();
  }
}

//------------------------------------------------------------------------------
void RecordPlayEngine::TakeStep()
{
  if (this->RedrawPending.load(Relaxed))
  {
    // The last step is still being drawn: this one is dropped, and the step due by the end
    // of the drawing is taken then (TakeOwedStep) or at the first tick after it.
    this->StepOwed.store(1, Relaxed);
    return;
  }
  this->StepOwed.store(0, Relaxed);
  this->Owner.AdvanceAnimation();
  this->PostRedraw();
}

//------------------------------------------------------------------------------
bool RecordPlayEngine::RedrawDone()
{
  // A step owed since the drawing began is not taken here. Taken here, its redraw request
  // would be queued before the input that came in during the drawing, and the event loop
  // would draw again before serving a key or a menu: input would wait two pictures. The
  // owner takes it a moment later instead, once that input has been served.
  std::lock_guard<std::mutex> lock(this->PlaybackLock);
  if (!this->StillAnimating())
  {
    this->StepOwed.store(0, Relaxed);
  }
  return this->StepOwed.load(Relaxed) != 0;
}

//------------------------------------------------------------------------------
void RecordPlayEngine::TakeOwedStep()
{
  std::lock_guard<std::mutex> lock(this->PlaybackLock);
  if (this->StepOwed.load(Relaxed) && this->StillAnimating())
  {
    this->TakeStep();
  }
}

//------------------------------------------------------------------------------
bool RecordPlayEngine::StillAnimating() const
{
  return this->Realtime.load(Relaxed) && !this->Paused.load(Relaxed) &&
    this->AnimationRunning.load(Relaxed);
}

//------------------------------------------------------------------------------
void RecordPlayEngine::FrameByFrameTick()
{
  // One frame per redraw request: nothing until the last frame has been drawn (and saved).
  if (this->RedrawPending.load(Relaxed) || !this->Playing.load(Relaxed) ||
    this->Paused.load(Relaxed))
  {
    return;
  }
  const int ticksPerStep = this->TicksPerStep.load(Relaxed);
  int accumulated = this->TicksAccumulated.load(Relaxed);
  const int remaining = this->TicksRemaining.load(Relaxed);
  const bool step = accumulated <= remaining;

  bool ended = false;
  if (remaining <= accumulated && this->CurrentNode)
  {
    this->CurrentRecord->Apply(this->PlaybackCamera);
    accumulated -= remaining;
    this->TicksAccumulated.store(accumulated, Relaxed);
    ended = !this->AdvanceCurrentNode();
  }
  if (step)
  {
    this->Owner.AdvanceAnimation();
    this->Tick.fetch_add(ticksPerStep, Relaxed);
    this->TicksRemaining.fetch_sub(ticksPerStep, Relaxed);
    this->TicksAccumulated.store(ticksPerStep, Relaxed);
  }
  this->RedrawPending.store(1, Relaxed);
  this->Owner.RequestRedraw();
  if (ended)
  {
    // After the redraw request, so that the last record's frame is still drawn (and
    // saved) before the stop.
    this->Owner.RequestEndOfPlayback();
  }
}

//------------------------------------------------------------------------------
void RecordPlayEngine::PostRedraw()
{
  if (!this->RedrawPending.load(Relaxed))
  {
    this->RedrawPending.store(1, Relaxed);
    this->Owner.RequestRedraw();
  }
}

//------------------------------------------------------------------------------
bool RecordPlayEngine::AdvanceCurrentNode()
{
  delete this->CurrentNode;
  this->CurrentNode = nullptr;
  this->CurrentRecord = nullptr;
  QueueNode* next = this->Queue ? this->Queue->Get() : nullptr;
  if (next)
  {
    this->CurrentNode = next;
    this->CurrentRecord = next->Status;
    this->TicksRemaining.store(next->Ticks, Relaxed);
  }
  return next != nullptr;
}

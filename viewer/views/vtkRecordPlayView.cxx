#include "vtkRecordPlayView.h"

#include "CameraStatusQueue.h"
#include "Dialog.h"
#include "Prompts.h"
#include "RecordThreads.h"
#include "VtkWindow.h"
#include "vtkMFCDoc.h"

#include <vtkCallbackCommand.h>
#include <vtkCamera.h>
#include <vtkCommand.h>
#include <vtkRenderer.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

namespace
{
/// Description/pattern pairs of the record file prompts, each followed by a NUL; the
/// literal's own terminator closes the list.
const char RecordFilter[] = "Camera Status Record\0*.CSR\0All Files\0*.*\0";

vtkRecordPlayView::OptionsDialogFactory& Factory()
{
  static vtkRecordPlayView::OptionsDialogFactory factory;
  return factory;
}

/// The directory part of a path, up to and including its last separator; empty when it
/// has none.
std::string DirectoryOf(const std::string& path)
{
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool FileExists(const std::string& path)
{
  std::error_code error;
  return std::filesystem::exists(path, error);
}

bool SameFile(const std::string& a, const std::string& b)
{
  std::error_code error;
  return std::filesystem::equivalent(a, b, error);
}

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
vtkRecordPlayView::vtkRecordPlayView()
{
  this->ReferenceRecord.reset(new CameraStatus(this->CameraLock));
  // Made now, on this thread: the timer thread must never be the one to create it.
  this->Renderer->GetActiveCamera();

  // Every render reads the camera (and adjusts its clipping range), so it holds the lock
  // under which the timer thread applies records. Observing the render window covers the
  // renders of the view, of the interactor and of the widget's own paints alike.
  this->RenderLockObserver = vtkCallbackCommand::New();
  this->RenderLockObserver->SetCallback(&vtkRecordPlayView::RenderLockCallback);
  this->RenderLockObserver->SetClientData(this);
  this->RenderWindow->AddObserver(vtkCommand::StartEvent, this->RenderLockObserver, 1.0e6f);
  this->RenderWindow->AddObserver(vtkCommand::EndEvent, this->RenderLockObserver, -1.0e6f);

  this->MapCommand(ID_PLAY, &vtkRecordPlayView::OnPlay);
  this->MapCommand(ID_PAUSE, &vtkRecordPlayView::OnPause);
  this->MapCommand(ID_STOP, &vtkRecordPlayView::OnStop);
  this->MapCommand(ID_RECORD, &vtkRecordPlayView::OnRecord);
  this->MapCommand(ID_OPTIONS, &vtkRecordPlayView::OnOptions);
  this->MapCommandUI(ID_PLAY, &vtkRecordPlayView::OnUpdatePlay);
  this->MapCommandUI(ID_PAUSE, &vtkRecordPlayView::OnUpdatePause);
  this->MapCommandUI(ID_STOP, &vtkRecordPlayView::OnUpdateStop);
  this->MapCommandUI(ID_RECORD, &vtkRecordPlayView::OnUpdateRecord);
}

//------------------------------------------------------------------------------
vtkRecordPlayView::~vtkRecordPlayView()
{
  // The window first (OnDestroy stops the timer and the worker); a view whose window was
  // never made, or is already gone, still may have a timer or a worker.
  this->DestroyWindow();
  this->StopTimer();
  this->StopRecordPlay(false);
  this->OptionsDialog.reset();
  this->RenderWindow->RemoveObserver(this->RenderLockObserver);
  this->RenderLockObserver->Delete();
  if (this->RenderLockDepth == 1)
  {
    this->RenderLockDepth = 0;
    this->CameraLock.Leave();
  }
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::SetOptionsDialogFactory(OptionsDialogFactory factory)
{
  Factory() = std::move(factory);
}

//------------------------------------------------------------------------------
CDialog* vtkRecordPlayView::CreateOptionsDialog()
{
  return Factory() ? Factory()(this) : nullptr;
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::RenderLockCallback(vtkObject*, unsigned long event, void* client, void*)
{
  // Held from the start of a render to its end; a start event repeated inside one render
  // (the window may announce its own start as well) takes the lock only once.
  auto* self = static_cast<vtkRecordPlayView*>(client);
  if (event == vtkCommand::StartEvent && self->RenderLockDepth == 0)
  {
    self->CameraLock.Enter();
    self->RenderLockDepth = 1;
  }
  else if (event == vtkCommand::EndEvent && self->RenderLockDepth == 1)
  {
    self->RenderLockDepth = 0;
    self->CameraLock.Leave();
  }
}

//------------------------------------------------------------------------------
int vtkRecordPlayView::OnCreate(LPCREATESTRUCT cs)
{
  if (vtkMFCRenderView::OnCreate(cs) == -1)
  {
    return -1;
  }
  this->RestartTimer();
  this->OptionsDialog.reset(this->CreateOptionsDialog());
  return 0;
}

//------------------------------------------------------------------------------
BOOL vtkRecordPlayView::CanCloseFrame(CFrameWnd*)
{
  // Offered while the window and the event loop still run, exactly as Stop offers it.
  if (this->Recording.load(Relaxed))
  {
    this->OnStop();
  }
  return TRUE;
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::OnDestroy()
{
  this->StopTimer();
  this->StopRecordPlay(false);
  vtkMFCRenderView::OnDestroy();
}

//------------------------------------------------------------------------------
LRESULT vtkRecordPlayView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
  switch (message)
  {
    case WM_TIMER:
      if (this->Recording.load(Relaxed) && !this->Paused.load(Relaxed))
      {
        this->CaptureCamera();
      }
      break;
    case WM_USER + 1:
      // A stop between the post and its delivery has ended the playback already.
      if (this->Playing.load(Relaxed))
      {
        this->OnStop();
      }
      break;
    case WM_USER:
      if (this->RedrawPending.load(Relaxed))
      {
        this->Render();
        this->RedrawPending.store(0, Relaxed);
      }
      break;
    default:
      break;
  }
  return vtkMFCRenderView::WindowProc(message, wParam, lParam);
}

//------------------------------------------------------------------------------
vtkCamera* vtkRecordPlayView::GetModelCamera()
{
  return this->Renderer->GetActiveCamera();
}

//------------------------------------------------------------------------------
bool vtkRecordPlayView::HasData() const
{
  const auto* document = dynamic_cast<const vtkMFCDoc*>(this->GetDocument());
  return document && document->NoData == 0;
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::CaptureCamera()
{
  if (!this->Queue)
  {
    return;
  }
  auto* node = new QueueNode(
    new CameraStatus(this->GetModelCamera(), this->CameraLock), this->Tick.load(Relaxed));
  if (!this->Queue->Put(node))
  {
    delete node;
    this->OnStop();
  }
}

//------------------------------------------------------------------------------
bool vtkRecordPlayView::RestartTimer()
{
  this->FrameCounter = 0;
  this->StopTimer();
  const int interval = this->TimerInterval;
  const UINT id = interval > 0
    ? timeSetEvent(static_cast<UINT>(interval), 3, &vtkRecordPlayView::PlaybackTimerCallback,
        reinterpret_cast<DWORD_PTR>(this), TIME_PERIODIC)
    : 0;
  if (id == 0)
  {
    this->TimerId = -1;
    AfxMessageBox("Cannot create timer!");
    return false;
  }
  this->TimerId = static_cast<int>(id);
  return true;
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::StopTimer()
{
  if (this->TimerId != -1)
  {
    timeKillEvent(static_cast<UINT>(this->TimerId));
    this->TimerId = -1;
  }
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::PlaybackTimerCallback(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR)
{
  reinterpret_cast<vtkRecordPlayView*>(user)->TimerTick();
  Sleep(3);
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::TimerTick()
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
void vtkRecordPlayView::RealtimeTick()
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
        this->PostMessage(WM_USER + 1, 0, 0);
      }
    }
  }

  const int ticksPerStep = this->TicksPerStep.load(Relaxed);
  if (this->AnimationRunning.load(Relaxed) && ticksPerStep > 0 && tick % ticksPerStep == 0)
  {
    this->AdvanceAnimation();
    this->PostRedraw();
  }
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::FrameByFrameTick()
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
    this->AdvanceAnimation();
    this->Tick.fetch_add(ticksPerStep, Relaxed);
    this->TicksRemaining.fetch_sub(ticksPerStep, Relaxed);
    this->TicksAccumulated.store(ticksPerStep, Relaxed);
  }
  this->RedrawPending.store(1, Relaxed);
  this->PostMessage(WM_USER, 0, 0);
  if (ended)
  {
    // After the redraw request, so that the last record's frame is still drawn (and
    // saved) before the stop.
    this->PostMessage(WM_USER + 1, 0, 0);
  }
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::PostRedraw()
{
  if (!this->RedrawPending.load(Relaxed))
  {
    this->RedrawPending.store(1, Relaxed);
    this->PostMessage(WM_USER, 0, 0);
  }
}

//------------------------------------------------------------------------------
bool vtkRecordPlayView::AdvanceCurrentNode()
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

//------------------------------------------------------------------------------
void vtkRecordPlayView::AdvanceAnimation() {}

//------------------------------------------------------------------------------
void vtkRecordPlayView::AnimationOn()
{
  this->AnimationRunning.store(1, Relaxed);
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::AnimationOff()
{
  this->AnimationRunning.store(0, Relaxed);
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::OnRecord()
{
  if (this->Recording.load(Relaxed))
  {
    this->Paused.store(0, Relaxed); // Record resumes a paused recording
    return;
  }

  std::string directory = GetTempPath();
  if (directory.empty())
  {
    if (const CDocument* document = this->GetDocument())
    {
      directory = DirectoryOf(document->GetPathName());
    }
  }
  // A directory of this recording's own: another user's leftover file, a link planted
  // under the name, or a second viewer recording at the same time cannot interfere.
  std::string reason;
  std::FILE* file =
    CreatePrivateTempFile(directory, CAMERA_RECORD_TEMP_FILE, this->TempRecordPath, reason);
  if (!file)
  {
    AfxMessageBox("Cannot open file for record!");
    return;
  }
  this->ReferenceRecord->Capture(this->GetModelCamera());

  auto* queue = new CameraStatusQueue(0, 1);
  auto* parameters =
    new RecordWriterParameters{ file, queue, this->ReferenceRecord.get(), &this->CameraLock };
  if (!this->Worker.Start(&RecordWriterThread, parameters))
  {
    AfxMessageBox("Cannot start writing process!");
    delete parameters;
    delete queue;
    std::fclose(file);
    DeletePrivateTempFile(this->TempRecordPath);
    return;
  }
  this->RecordFile = file;
  {
    std::lock_guard<std::mutex> lock(this->PlaybackLock);
    this->Queue = queue;
  }
  // Armed: nothing is captured until Pause or Record releases the pause.
  this->Recording.store(1, Relaxed);
  this->Paused.store(1, Relaxed);
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::OnPlay()
{
  if (this->Playing.load(Relaxed))
  {
    this->Paused.store(0, Relaxed); // Play resumes a paused playback
    return;
  }
  auto* document = dynamic_cast<vtkMFCDoc*>(this->GetDocument());
  if (!document)
  {
    return;
  }
  std::string fileName = document->GetPathName();
  if (!document->PromptForFile(fileName, "Choose Record File", OFN_FILEMUSTEXIST | OFN_HIDEREADONLY,
        RecordFilter, ".csr", TRUE))
  {
    return;
  }
  std::FILE* file = std::fopen(fileName.c_str(), "r");
  if (!file)
  {
    AfxMessageBox("Cannot open file for play!");
    return;
  }

  auto* queue = new CameraStatusQueue(10, 1);
  this->Interactor->Disable(); // no mouse interaction while a path plays
  auto* parameters = new RecordReaderParameters{ file, queue, &this->CameraLock };
  if (!this->Worker.Start(&RecordReaderThread, parameters))
  {
    AfxMessageBox("Cannot start reading process!");
    this->Interactor->Enable();
    delete parameters;
    delete queue;
    std::fclose(file);
    return;
  }

  this->FrameCounter = 0;
  vtkCamera* camera = this->GetModelCamera();
  this->ReferenceRecord->Capture(camera); // where the camera returns at the stop

  QueueNode* first = queue->Get();
  if (!first)
  {
    // Not a single readable record: as before Play.
    this->Interactor->Enable();
    this->Worker.Wait();
    std::fclose(file);
    delete queue;
    return;
  }

  {
    std::lock_guard<std::mutex> lock(this->PlaybackLock);
    this->RecordFile = file;
    this->Queue = queue;
    this->PlaybackCamera = camera;
    this->CurrentNode = first;
    this->CurrentRecord = first->Status;
    this->TicksRemaining.store(first->Ticks, Relaxed);
    this->TicksAccumulated.store(this->TicksPerStep.load(Relaxed), Relaxed);
    const auto* choice = dynamic_cast<const RealtimeChoice*>(this->OptionsDialog.get());
    this->Realtime.store(!choice || choice->IsRealtimeChosen() ? 1 : 0, Relaxed);
    this->CurrentRecord->Apply(camera);
    // Armed: the path runs when Pause or Play releases the pause.
    this->Paused.store(1, Relaxed);
    this->Playing.store(1, Relaxed);
  }
  this->Render();
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::OnPause()
{
  this->Paused.store(this->Paused.load(Relaxed) ? 0 : 1, Relaxed);
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::OnStop()
{
  this->StopRecordPlay(true);
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::StopRecordPlay(bool restoreCamera)
{
  const bool recording = this->Recording.load(Relaxed) != 0;
  if (!restoreCamera && !recording && !this->Playing.load(Relaxed) && !this->Worker.IsStarted())
  {
    return; // the window goes away with nothing running
  }

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
  if (this->RecordFile)
  {
    writeFailure = CloseRecordFile(this->RecordFile);
    this->RecordFile = nullptr;
  }

  if (recording && writeFailure.empty())
  {
    this->SaveTemporaryRecord();
  }
  else if (recording)
  {
    // An incomplete recording is never offered as if it were whole.
    AfxMessageBox("Cannot save record!\nWriting the recording to " + this->TempRecordPath +
      " failed (" + writeFailure + "); it has not been saved.");
    DeletePrivateTempFile(this->TempRecordPath);
  }

  this->Realtime.store(1, Relaxed);
  this->Paused.store(0, Relaxed);
  this->Playing.store(0, Relaxed);
  this->Recording.store(0, Relaxed);

  if (restoreCamera)
  {
    // After playback the camera returns to where it was before Play; after recording it
    // takes the last written state.
    this->ReferenceRecord->Apply(this->GetModelCamera());
    this->Render();
  }
  if (!this->Interactor->GetEnabled())
  {
    this->Interactor->Enable();
  }
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::SaveTemporaryRecord()
{
  auto* document = dynamic_cast<vtkMFCDoc*>(this->GetDocument());
  std::string fileName = document ? document->GetPathName() : std::string();
  while (document &&
    document->PromptForFile(
      fileName, "Save Record File", OFN_HIDEREADONLY, RecordFilter, ".csr", TRUE))
  {
    // The prompt is an open dialog, which does not ask before a file is replaced.
    if (FileExists(fileName) && !SameFile(fileName, this->TempRecordPath) &&
      AfxMessageBox(fileName + " already exists.\nDo you want to replace it?",
        MB_YESNO | MB_ICONEXCLAMATION) != IDYES)
    {
      continue; // choose again
    }
    if (SameFile(fileName, this->TempRecordPath))
    {
      // Saved where it already is: keep it.
      return;
    }
    if (!CopyFile(this->TempRecordPath, fileName, false))
    {
      AfxMessageBox("Cannot save record!");
    }
    break;
  }
  DeletePrivateTempFile(this->TempRecordPath);
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::OnOptions()
{
  if (this->OptionsDialog)
  {
    this->OptionsDialog->DoModal();
  }
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::OnUpdatePlay(CCmdUI* pCmdUI)
{
  const bool recording = this->Recording.load(Relaxed) != 0;
  const bool playing = this->Playing.load(Relaxed) != 0;
  pCmdUI->Enable(
    this->HasData() && ((!recording && !playing) || (playing && this->Paused.load(Relaxed))));
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::OnUpdatePause(CCmdUI* pCmdUI)
{
  pCmdUI->Enable(this->HasData());
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::OnUpdateStop(CCmdUI* pCmdUI)
{
  pCmdUI->Enable(this->HasData() && (this->Recording.load(Relaxed) || this->Playing.load(Relaxed)));
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::OnUpdateRecord(CCmdUI* pCmdUI)
{
  const bool recording = this->Recording.load(Relaxed) != 0;
  const bool playing = this->Playing.load(Relaxed) != 0;
  pCmdUI->Enable(
    this->HasData() && ((!recording && !playing) || (recording && this->Paused.load(Relaxed))));
}

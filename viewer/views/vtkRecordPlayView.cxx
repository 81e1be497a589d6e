#include "vtkRecordPlayView.h"

#include "Dialog.h"
#include "Prompts.h"
#include "ReplaceFile.h"
#include "VtkWindow.h"
#include "vtkMFCDoc.h"

#include <vtkCallbackCommand.h>
#include <vtkCamera.h>
#include <vtkCommand.h>
#include <vtkRenderer.h>

#include <cerrno>
#include <cstdio>
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

/// Copies the file at source into the new file, checking every read and write.
bool CopyInto(const std::string& source, NewFileContents& file, std::string& reason)
{
  std::FILE* in = std::fopen(source.c_str(), "rb");
  if (!in)
  {
    reason = "the recording cannot be read: " + std::string(std::strerror(errno));
    return false;
  }
  char buffer[65536];
  bool ok = true;
  size_t got;
  while (ok && (got = std::fread(buffer, 1, sizeof buffer, in)) > 0)
  {
    ok = std::fwrite(buffer, 1, got, file.Stream) == got;
  }
  if (ok && std::ferror(in))
  {
    reason = "the recording cannot be read: " + std::string(std::strerror(errno));
    ok = false;
  }
  std::fclose(in);
  return ok;
}
}

//------------------------------------------------------------------------------
vtkRecordPlayView::vtkRecordPlayView()
{
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
    this->GetCameraLock().Leave();
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
    self->GetCameraLock().Enter();
    self->RenderLockDepth = 1;
  }
  else if (event == vtkCommand::EndEvent && self->RenderLockDepth == 1)
  {
    self->RenderLockDepth = 0;
    self->GetCameraLock().Leave();
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
  if (this->Engine.IsRecording())
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
      if (this->Engine.IsCapturing())
      {
        this->CaptureCamera();
      }
      break;
    case WM_USER + 1:
      // A stop between the post and its delivery has ended the playback already.
      if (this->Engine.IsPlaying())
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
      if (this->Engine.RedrawDone())
      {
        this->WakeForOwedStep();
      }
      break;
    case WM_MOUSEWHEEL:
    {
      // The wheel moves the camera at once, not tick by tick: the camera is captured after
      // the move, as a reset of the view is by the timer message it sends after it.
      const LRESULT result = vtkMFCRenderView::WindowProc(message, wParam, lParam);
      if (this->Engine.IsCapturing())
      {
        this->CaptureCamera();
      }
      return result;
    }
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
  if (!this->Engine.Capture(this->GetModelCamera()))
  {
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
  if (this->OwedStepWakeId != -1)
  {
    timeKillEvent(static_cast<UINT>(this->OwedStepWakeId));
    this->OwedStepWakeId = -1;
  }
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::WakeForOwedStep()
{
  // The step stands in for a tick: none while the timer is stopped.
  if (this->TimerId == -1)
  {
    return;
  }
  // The last wake-up has long fired (a whole picture ago) or is still to come; either way it
  // is released before the next is made, and a failure leaves the step to the next tick.
  if (this->OwedStepWakeId != -1)
  {
    timeKillEvent(static_cast<UINT>(this->OwedStepWakeId));
  }
  const UINT id = timeSetEvent(OwedStepDelay, 1, &vtkRecordPlayView::OwedStepCallback,
    reinterpret_cast<DWORD_PTR>(this), TIME_ONESHOT);
  this->OwedStepWakeId = id == 0 ? -1 : static_cast<int>(id);
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::OwedStepCallback(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR)
{
  reinterpret_cast<vtkRecordPlayView*>(user)->Engine.TakeOwedStep();
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
  this->Engine.TimerTick();
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::EngineAnswers::RequestRedraw()
{
  this->View.PostMessage(WM_USER, 0, 0);
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::EngineAnswers::RequestEndOfPlayback()
{
  this->View.PostMessage(WM_USER + 1, 0, 0);
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::EngineAnswers::AdvanceAnimation()
{
  this->View.AdvanceAnimation();
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::AdvanceAnimation() {}

//------------------------------------------------------------------------------
void vtkRecordPlayView::AnimationOn()
{
  this->Engine.AnimationOn();
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::AnimationOff()
{
  this->Engine.AnimationOff();
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::OnRecord()
{
  if (this->Engine.IsRecording())
  {
    this->Engine.Resume(); // Record resumes a paused recording
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
  if (this->Engine.StartRecording(file, this->GetModelCamera()) !=
    RecordPlayEngine::StartResult::Armed)
  {
    AfxMessageBox("Cannot start writing process!");
    DeletePrivateTempFile(this->TempRecordPath);
  }
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::OnPlay()
{
  if (this->Engine.IsPlaying())
  {
    this->Engine.Resume(); // Play resumes a paused playback
    return;
  }
  auto* document = dynamic_cast<vtkMFCDoc*>(this->GetDocument());
  if (!document)
  {
    return;
  }
  std::string fileName = document->GetPathName();
  if (document->PromptForFile(fileName, "Choose Record File", OFN_FILEMUSTEXIST | OFN_HIDEREADONLY,
        RecordFilter, ".csr", TRUE))
  {
    this->StartPlayback(fileName);
  }
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::StartPlayback(const std::string& fileName)
{
  std::FILE* file = std::fopen(fileName.c_str(), "r");
  if (!file)
  {
    AfxMessageBox("Cannot open file for play!");
    return;
  }
  const auto* choice = dynamic_cast<const RealtimeChoice*>(this->OptionsDialog.get());
  const bool realtime = !choice || choice->IsRealtimeChosen();

  this->Interactor->Disable(); // no mouse interaction while a path plays
  switch (this->Engine.StartPlayback(file, this->GetModelCamera(), realtime))
  {
    case RecordPlayEngine::StartResult::Armed:
      this->FrameCounter = 0;
      this->Render();
      break;
    case RecordPlayEngine::StartResult::WorkerFailed:
      AfxMessageBox("Cannot start reading process!");
      this->Interactor->Enable();
      break;
    case RecordPlayEngine::StartResult::NoRecord:
      // Not a single readable record: as before Play.
      this->FrameCounter = 0;
      this->Interactor->Enable();
      break;
  }
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::OnPause()
{
  this->Engine.TogglePause();
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::OnStop()
{
  this->StopRecordPlay(true);
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::StopRecordPlay(bool restoreCamera)
{
  const bool recording = this->Engine.IsRecording() != 0;
  if (!restoreCamera && !recording && !this->Engine.IsPlaying() && !this->Engine.HasWorker())
  {
    return; // the window goes away with nothing running
  }

  const std::string writeFailure = this->Engine.Halt();
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
  this->Engine.Reset();

  if (restoreCamera)
  {
    // After playback the camera returns to where it was before Play; after recording it
    // takes the last written state.
    this->Engine.RestoreCamera(this->GetModelCamera());
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
    // Copied into a new file that replaces the chosen one only when complete: a failure
    // leaves the chosen file as it was, and the recording stays where it is.
    std::string reason;
    if (ReplaceFile(
          fileName,
          [this](NewFileContents& file, std::string& why)
          { return CopyInto(this->TempRecordPath, file, why); },
          reason) != ReplaceFileStatus::Ok)
    {
      AfxMessageBox("Cannot save record!\n" + fileName + ": " + reason +
        ".\nThe recording is kept in " + this->TempRecordPath + ".");
      return;
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
  const bool recording = this->Engine.IsRecording() != 0;
  const bool playing = this->Engine.IsPlaying() != 0;
  pCmdUI->Enable(
    this->HasData() && ((!recording && !playing) || (playing && this->Engine.IsPaused())));
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::OnUpdatePause(CCmdUI* pCmdUI)
{
  pCmdUI->Enable(this->HasData());
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::OnUpdateStop(CCmdUI* pCmdUI)
{
  pCmdUI->Enable(this->HasData() && (this->Engine.IsRecording() || this->Engine.IsPlaying()));
}

//------------------------------------------------------------------------------
void vtkRecordPlayView::OnUpdateRecord(CCmdUI* pCmdUI)
{
  const bool recording = this->Engine.IsRecording() != 0;
  const bool playing = this->Engine.IsPlaying() != 0;
  pCmdUI->Enable(
    this->HasData() && ((!recording && !playing) || (recording && this->Engine.IsPaused())));
}

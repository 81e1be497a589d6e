#include "CHaldenView.h"

#include "CHaldenDoc.h"
#include "CheckedUpdate.h"
#include "FrameWnd.h"
#include "Prompts.h"
#include "ReplaceFile.h"
#include "VtkWindow.h"
#include "vtkShapeTransform.h"

#include <vtkActor.h>
#include <vtkActorCollection.h>
#include <vtkBMPWriter.h>
#include <vtkCamera.h>
#include <vtkNew.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>
#include <vtkWindowToImageFilter.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace
{
constexpr int WaveHalf = 24; // steps from 0 up to the top of the triangle wave

// The name as the user finds it: relative names are relative to the working directory.
std::string Whereabouts(const std::string& fileName)
{
  if (!fileName.empty() && fileName[0] == '/')
  {
    return fileName;
  }
  char cwd[PATH_MAX];
  if (::getcwd(cwd, sizeof cwd))
  {
    return std::string(cwd) + "/" + fileName;
  }
  return fileName;
}
}

//------------------------------------------------------------------------------
CHaldenView::CHaldenView()
{
  this->BodyColor[0] = 0.9f;
  this->BodyColor[1] = 1.0f;
  this->BodyColor[2] = 0.9f;
  this->BackfaceColor[0] = 0.9f;
  this->BackfaceColor[1] = 1.0f;
  this->BackfaceColor[2] = 0.9f;

  this->MapCommand(ID_BODY_COLOR, &CHaldenView::OnBodyColor);
  this->MapCommandUI(ID_BODY_COLOR, &vtkRecordPlayView::OnUpdatePause);
  // Stop also ends a frame-by-frame playback: it is where lost frames are reported.
  this->MapCommand(ID_STOP, &CHaldenView::OnStopCommand);
  this->MapCommand(ID_PAUSE, &CHaldenView::OnPauseCommand);
  this->MapCommandUI(ID_PAUSE, &CHaldenView::OnUpdatePauseCommand);
}

//------------------------------------------------------------------------------
CHaldenView::~CHaldenView()
{
  // The timer thread calls AdvanceAnimation on this object: it ends before the object.
  this->StopTimer();
}

//------------------------------------------------------------------------------
void CHaldenView::OnInitialUpdate()
{
  CWaitCursor wait;
  vtkRecordPlayView::OnInitialUpdate();
  this->ResetView(0.0, 1.0, 0.0);
}

//------------------------------------------------------------------------------
void CHaldenView::OnUpdate(CView*, LPARAM, CObject*)
{
  this->Renderer->RemoveAllViewProps();
  if (auto* document = dynamic_cast<vtkMFCDoc*>(this->GetDocument()))
  {
    vtkCollectionSimpleIterator it;
    document->Props->InitTraversal(it);
    while (vtkActor* actor = document->Props->GetNextActor(it))
    {
      this->Renderer->AddActor(actor);
    }
  }
  this->ApplyColors();
  this->Render();
}

//------------------------------------------------------------------------------
void CHaldenView::ResetView(double viewUpX, double viewUpY, double viewUpZ)
{
  this->Renderer->GetActiveCamera()->SetViewUp(viewUpX, viewUpY, viewUpZ);
  this->Renderer->ResetCamera();

  const int* size = this->Interactor->GetSize();
  const LPARAM centre =
    MAKELPARAM(static_cast<unsigned>(size[0] / 2), static_cast<unsigned>(size[1] / 2));
  this->SendMessage(WM_RBUTTONDOWN, 0, centre);
  this->SendMessage(WM_TIMER, 0, 0);
  this->SendMessage(WM_RBUTTONUP, 0, centre);
}

//------------------------------------------------------------------------------
void CHaldenView::ApplyColors()
{
  this->Renderer->SetBackground(
    this->BackgroundColor[0], this->BackgroundColor[1], this->BackgroundColor[2]);
  if (auto* document = dynamic_cast<CHaldenDoc*>(this->GetDocument()))
  {
    document->BackfaceProperty->SetColor(
      this->BackfaceColor[0], this->BackfaceColor[1], this->BackfaceColor[2]);
    document->BodyActor->SetBackfaceProperty(document->BackfaceProperty);
    document->BodyActor->GetProperty()->SetColor(
      this->BodyColor[0], this->BodyColor[1], this->BodyColor[2]);
  }
  this->Render();
}

//------------------------------------------------------------------------------
bool CHaldenView::PickColor(float color[3])
{
  auto byte = [](float component)
  {
    const float scaled = component * 255.0f;
    return scaled >= 255.0f ? 255u : scaled > 0.0f ? static_cast<unsigned>(scaled) : 0u;
  };
  CColorDialog dialog(RGB(byte(color[0]), byte(color[1]), byte(color[2])), CC_FULLOPEN);
  if (dialog.DoModal() != IDOK)
  {
    return false;
  }
  const COLORREF chosen = dialog.GetColor();
  const double scale = 1.0 / 255.0;
  color[0] = static_cast<float>(GetRValue(chosen) * scale);
  color[1] = static_cast<float>(GetGValue(chosen) * scale);
  color[2] = static_cast<float>(GetBValue(chosen) * scale);
  this->ApplyColors();
  return true;
}

//------------------------------------------------------------------------------
void CHaldenView::OnBodyColor()
{
  this->PickColor(this->BodyColor);
  for (int i = 0; i < 3; ++i)
  {
    this->BackfaceColor[i] = this->BodyColor[i];
  }
  this->ApplyColors();
}

//------------------------------------------------------------------------------
float CHaldenView::TriangleWaveFactor(int tick, int ticksPerStep)
{
  const int a = tick / (ticksPerStep > 0 ? ticksPerStep : 1);
  const int k = (a / WaveHalf) % 2;
  const int step = k == 0 ? a % WaveHalf : WaveHalf - a % WaveHalf;
  return static_cast<float>(step) * 0.04f;
}

//------------------------------------------------------------------------------
void CHaldenView::AdvanceAnimation()
{
  auto* document = dynamic_cast<CHaldenDoc*>(this->GetDocument());
  if (!document)
  {
    return;
  }
  // SetFactor is the thread-safe Modified() of the factor: the next render re-executes
  // the transform filter with it.
  document->ShapeTransform->SetFactor(TriangleWaveFactor(this->Tick.load(std::memory_order_relaxed),
    this->TicksPerStep.load(std::memory_order_relaxed)));
}

//------------------------------------------------------------------------------
LRESULT CHaldenView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
  if (message == WM_USER)
  {
    // While the displacements of a large model are computed the window shows the model as
    // read, which an animation step does not change: drawing it again would only take the
    // processor from the computation. A camera path being played is drawn as ever.
    auto* document = dynamic_cast<CHaldenDoc*>(this->GetDocument());
    if (!document || !document->IsDeforming() || this->IsPlaying())
    {
      this->Render();
    }
    if (this->Realtime.load(std::memory_order_relaxed) == 0)
    {
      std::string fileName, reason;
      if (!this->SaveFrame(fileName, reason))
      {
        if (this->FailedFrames++ == 0)
        {
          this->FirstFailedFrame = Whereabouts(fileName);
          this->FirstFailureReason = reason;
        }
      }
    }
    this->RedrawPending.store(0, std::memory_order_relaxed);
  }
  const LRESULT result = vtkRecordPlayView::WindowProc(message, wParam, lParam);
  if (message == WM_USER + 1)
  {
    this->ReportFailedFrames();
  }
  return result;
}

//------------------------------------------------------------------------------
std::string CHaldenView::BlendText(float factor)
{
  // Hundredths counted as an integer: no locale puts a comma here.
  const long hundredths = std::lround(std::fabs(static_cast<double>(factor)) * 100.0);
  char text[48];
  std::snprintf(text, sizeof text, "Blend %s%ld.%02ld", factor < 0 ? "-" : "", hundredths / 100,
    hundredths % 100);
  return text;
}

//------------------------------------------------------------------------------
void CHaldenView::ShowBlend()
{
  auto* document = dynamic_cast<CHaldenDoc*>(this->GetDocument());
  std::string text;
  if (document && document->NoData == 0 && document->TransformOn == 1 && this->IsPaused())
  {
    text = BlendText(document->ShapeTransform->GetFactor());
  }
  if (text == this->ShownBlend)
  {
    return; // leaves other status texts alone
  }
  this->ShownBlend = text;
  if (CFrameWnd* frame = this->GetParentFrame())
  {
    frame->SetMessageText(text);
  }
}

//------------------------------------------------------------------------------
void CHaldenView::OnPauseCommand()
{
  this->OnPause();
  this->ShowBlend();
}

//------------------------------------------------------------------------------
void CHaldenView::OnUpdatePauseCommand(CCmdUI* pCmdUI)
{
  this->OnUpdatePause(pCmdUI);
  this->ShowBlend();
}

//------------------------------------------------------------------------------
std::string CHaldenView::FrameFileName(const std::string& prefix, int number)
{
  char digits[32];
  std::snprintf(digits, sizeof digits, "%.4d", number);
  return prefix + digits + ".bmp";
}

//------------------------------------------------------------------------------
bool CHaldenView::SaveFrame(std::string& fileName, std::string& reason)
{
  if (this->FrameCounter == 0)
  {
    // A new playback (the counter starts again with each): a new tally of lost frames.
    this->FailedFrames = 0;
    this->FramesTried = 0;
    this->FirstFailedFrame.clear();
    this->FirstFailureReason.clear();
  }
  fileName = FrameFileName(this->FramePrefix, this->FrameCounter);
  ++this->FramesTried;

  vtkNew<vtkWindowToImageFilter> picture;
  picture->SetInput(this->RenderWindow);
  picture->ShouldRerenderOff(); // rendered just now
  vtkNew<vtkBMPWriter> writer;
  writer->SetInputConnection(picture->GetOutputPort());
  // A frame of an earlier playback under the same name is replaced only by a whole one.
  auto contents = [&writer](NewFileContents& file, std::string& why)
  {
    writer->SetFileName(file.Path.c_str());
    writer->Modified();
    const CheckedUpdateResult written = CheckedUpdate(writer, CheckedUpdateMode::Collect);
    why = written.Message;
    return written.Ok && writer->GetErrorCode() == 0;
  };
  const ReplaceFileStatus status = ReplaceFile(fileName, contents, reason, ".bmp");
  ++this->FrameCounter;

  if (status != ReplaceFileStatus::Ok)
  {
    if (reason.empty())
    {
      reason = "the file could not be written";
    }
    while (!reason.empty() && (reason.back() == '.' || reason.back() == ' '))
    {
      reason.pop_back();
    }
    return false;
  }
  return true;
}

//------------------------------------------------------------------------------
void CHaldenView::OnStopCommand()
{
  this->OnStop();
  this->ReportFailedFrames();
}

//------------------------------------------------------------------------------
void CHaldenView::ReportFailedFrames()
{
  if (this->FailedFrames == 0 || this->IsPlaying())
  {
    return;
  }
  AfxMessageBox(std::to_string(this->FailedFrames) + " of " + std::to_string(this->FramesTried) +
      " frames could not be saved; the first was \"" + this->FirstFailedFrame +
      "\": " + this->FirstFailureReason + ".",
    MB_OK | MB_ICONEXCLAMATION);
  this->FailedFrames = 0;
  this->FramesTried = 0;
  this->FirstFailedFrame.clear();
  this->FirstFailureReason.clear();
}

#include "CHaldenView.h"

#include "CHaldenDoc.h"
#include "LandmarkDetail.h"
#include "LandmarkEditor.h"
#include "CheckedUpdate.h"
#include "ColourLegend.h"
#include "FrameWnd.h"
#include "Prompts.h"
#include "ReplaceFile.h"
#include "VtkWindow.h"
#include "vtkDeformationColours.h"
#include "vtkShapeTransform.h"

#include "Clipboard.h"

#include <vtkActor.h>
#include <vtkActorCollection.h>
#include <vtkAxesActor.h>
#include <vtkBMPWriter.h>
#include <vtkCallbackCommand.h>
#include <vtkCamera.h>
#include <vtkCommand.h>
#include <vtkNew.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>
#include <vtkRendererCollection.h>
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
  this->MapCommand(ID_EDIT_COPY, &CHaldenView::OnEditCopyCommand);

  this->MapCommand(ID_VIEW_RESET_CAMERA, &CHaldenView::OnResetCamera);
  this->MapCommandUI(ID_VIEW_RESET_CAMERA, &CHaldenView::OnUpdateCameraCommand);
  for (UINT id = ID_VIEW_FRONT; id <= ID_VIEW_BOTTOM; ++id)
  {
    this->MapCommand(id, CommandHandler([this, id] { this->OnStandardView(id); }));
    this->MapCommandUI(id, &CHaldenView::OnUpdateCameraCommand);
  }
  this->MapCommand(ID_VIEW_AXES, &CHaldenView::OnViewAxes);
  this->MapCommandUI(ID_VIEW_AXES, &CHaldenView::OnUpdateViewAxes);
  this->MapEditingCommands();

  this->StartCamera = vtkCamera::New();
  this->MarkerAxes = vtkAxesActor::New();
  this->MarkerRenderer = vtkRenderer::New();
  this->MarkerRenderer->SetViewport(0.0, 0.0, 0.2, 0.2);
  this->MarkerRenderer->InteractiveOff();
  this->MarkerRenderer->AddActor(this->MarkerAxes);
  vtkNew<vtkCallbackCommand> follow;
  follow->SetClientData(this);
  follow->SetCallback([](vtkObject*, unsigned long, void* view, void*)
    { static_cast<CHaldenView*>(view)->FollowCamera(); });
  this->FollowObserver = this->Renderer->AddObserver(vtkCommand::StartEvent, follow);

  for (UINT id : { ID_COLOUR_PLAIN, ID_COLOUR_DISPLACEMENT, ID_COLOUR_STRETCH })
  {
    this->MapCommand(id, CommandHandler([this, id] { this->OnColour(id); }));
    this->MapCommandUI(id, &CHaldenView::OnUpdateColour);
  }
  this->Legend = std::make_unique<ColourLegend>();
  // The fold count belongs to the picture just drawn, whatever asked for it.
  vtkNew<vtkCallbackCommand> folds;
  folds->SetClientData(this);
  folds->SetCallback([](vtkObject*, unsigned long, void* view, void*)
    { static_cast<CHaldenView*>(view)->UpdateFoldPane(); });
  this->FoldObserver = this->Renderer->AddObserver(vtkCommand::EndEvent, folds);
  this->Detail = std::make_unique<LandmarkDetail>(*this);
}

//------------------------------------------------------------------------------
CHaldenView::~CHaldenView()
{
  // The timer thread calls AdvanceAnimation on this object: it ends before the object.
  this->StopTimer();
  this->Editor.reset();
  this->Detail.reset();
  this->Renderer->RemoveObserver(this->FollowObserver);
  this->Renderer->RemoveObserver(this->FoldObserver);
  this->RenderWindow->RemoveRenderer(this->MarkerRenderer);
  this->MarkerRenderer->Delete();
  this->MarkerAxes->Delete();
  this->StartCamera->Delete();
}

//------------------------------------------------------------------------------
void CHaldenView::OnInitialUpdate()
{
  CWaitCursor wait;
  vtkRecordPlayView::OnInitialUpdate();
  this->ResetView(0.0, 1.0, 0.0);
  this->StartCamera->DeepCopy(this->Renderer->GetActiveCamera());
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
  this->ShowColourLegend();
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
void CHaldenView::AnnounceCameraChange()
{
  // A timer tick with no button held moves nothing; a running recording captures on it.
  this->SendMessage(WM_TIMER, 0, 0);
}

//------------------------------------------------------------------------------
void CHaldenView::OnResetCamera()
{
  vtkCamera* camera = this->Renderer->GetActiveCamera();
  {
    CCriticalSectionLock lock(this->GetCameraLock());
    camera->DeepCopy(this->StartCamera);
  }
  this->Renderer->ResetCameraClippingRange();
  this->AnnounceCameraChange();
  this->Render();
}

//------------------------------------------------------------------------------
void CHaldenView::OnStandardView(UINT id)
{
  // Towards the model, and the view-up, for Front, Back, Left, Right, Top and Bottom.
  static const double views[6][2][3] = {
    { { 0, 0, -1 }, { 0, 1, 0 } },
    { { 0, 0, 1 }, { 0, 1, 0 } },
    { { 1, 0, 0 }, { 0, 1, 0 } },
    { { -1, 0, 0 }, { 0, 1, 0 } },
    { { 0, -1, 0 }, { 0, 0, -1 } },
    { { 0, 1, 0 }, { 0, 0, 1 } },
  };
  if (id >= ID_VIEW_FRONT && id <= ID_VIEW_BOTTOM)
  {
    this->LookAlong(views[id - ID_VIEW_FRONT][0], views[id - ID_VIEW_FRONT][1]);
  }
}

//------------------------------------------------------------------------------
void CHaldenView::LookAlong(const double direction[3], const double viewUp[3])
{
  vtkCamera* camera = this->Renderer->GetActiveCamera();
  {
    CCriticalSectionLock lock(this->GetCameraLock());
    const double* focal = camera->GetFocalPoint();
    const double distance = camera->GetDistance();
    camera->SetPosition(focal[0] - distance * direction[0], focal[1] - distance * direction[1],
      focal[2] - distance * direction[2]);
    camera->SetViewUp(viewUp[0], viewUp[1], viewUp[2]);
    // Keeps the direction and the view-up; centres on the model and fits it in the window.
    this->Renderer->ResetCamera();
  }
  this->AnnounceCameraChange();
  this->Render();
}

//------------------------------------------------------------------------------
void CHaldenView::OnUpdateCameraCommand(CCmdUI* pCmdUI)
{
  const auto* document = dynamic_cast<vtkMFCDoc*>(this->GetDocument());
  pCmdUI->Enable(document && document->NoData == 0 && !this->IsPlaying());
}

//------------------------------------------------------------------------------
void CHaldenView::ShowOrientationMarker(bool show)
{
  if (show == this->MarkerShown)
  {
    return;
  }
  this->MarkerShown = show;
  this->ArrangeRenderers();
}

//------------------------------------------------------------------------------
void CHaldenView::OnViewAxes()
{
  this->ShowOrientationMarker(!this->MarkerShown);
}

//------------------------------------------------------------------------------
void CHaldenView::OnUpdateViewAxes(CCmdUI* pCmdUI)
{
  pCmdUI->SetCheck(this->MarkerShown ? 1 : 0);
}

//------------------------------------------------------------------------------
void CHaldenView::ArrangeRenderers()
{
  vtkRecordPlayView::ArrangeRenderers();
  this->RenderWindow->RemoveRenderer(this->MarkerRenderer);
  if (this->MarkerShown)
  {
    // Drawn last, over the model in its corner, without wiping what is drawn there.
    this->MarkerRenderer->SetLayer(this->Renderer->GetLayer());
    this->MarkerRenderer->PreserveColorBufferOn();
    this->MarkerRenderer->PreserveDepthBufferOff();
    this->RenderWindow->AddRenderer(this->MarkerRenderer);
  }
  this->Render();
}

//------------------------------------------------------------------------------
void CHaldenView::FollowCamera()
{
  if (!this->MarkerShown)
  {
    return;
  }
  vtkCamera* camera = this->Renderer->GetActiveCamera();
  double direction[3], up[3];
  camera->GetDirectionOfProjection(direction);
  camera->GetViewUp(up);
  vtkCamera* marker = this->MarkerRenderer->GetActiveCamera();
  marker->SetFocalPoint(0.0, 0.0, 0.0);
  marker->SetPosition(-direction[0], -direction[1], -direction[2]);
  marker->SetViewUp(up);
  this->MarkerRenderer->ResetCamera();
}

//------------------------------------------------------------------------------
void CHaldenView::OnEditCopyCommand()
{
  this->Detail->Hold();
  this->OnEditCopy();
  this->Detail->Release();
  if (this->LastCopySucceeded)
  {
    const int* size = this->RenderWindow->GetSize();
    this->SetStatusText("The picture (" + std::to_string(size[0]) + " x " +
      std::to_string(size[1]) + " pixels) was copied to the clipboard.");
  }
}

//------------------------------------------------------------------------------
void CHaldenView::SetStatusText(const std::string& text)
{
  if (CFrameWnd* frame = this->GetParentFrame())
  {
    frame->SetMessageText(text);
  }
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
  if (this->Editor && this->Editor->HandleMessage(message, wParam, lParam))
  {
    return 0; // the mouse edits landmarks instead of turning the camera
  }
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
    this->UpdateBlendPane();
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
std::string CHaldenView::BlendPaneText() const
{
  auto* document = dynamic_cast<CHaldenDoc*>(this->GetDocument());
  if (!document || document->NoData != 0 || document->TransformOn != 1)
  {
    return std::string();
  }
  return BlendText(document->ShapeTransform->GetFactor());
}

//------------------------------------------------------------------------------
void CHaldenView::UpdateBlendPane()
{
  const std::string text = this->BlendPaneText();
  if (text == this->ShownBlendPane)
  {
    return;
  }
  this->ShownBlendPane = text;
  if (CFrameWnd* frame = this->GetParentFrame())
  {
    frame->SetPaneText("blend", text);
  }
}

//------------------------------------------------------------------------------
bool CHaldenView::CanSetBlend() const
{
  auto* document = dynamic_cast<CHaldenDoc*>(this->GetDocument());
  return document && document->NoData == 0 && document->TransformOn == 1;
}

//------------------------------------------------------------------------------
bool CHaldenView::SetBlend(double blend)
{
  // Written so that a NaN is refused too.
  if (!(blend >= 0.0 && blend <= 1.0) || !this->CanSetBlend())
  {
    return false;
  }
  if (!this->IsPaused())
  {
    this->OnPause();
  }
  auto* document = dynamic_cast<CHaldenDoc*>(this->GetDocument());
  document->FinishDeformation();
  document->ShapeTransform->SetFactor(static_cast<float>(blend));
  this->Render();
  this->ShowBlend();
  this->UpdateBlendPane();
  return true;
}

//------------------------------------------------------------------------------
void CHaldenView::OnPauseCommand()
{
  this->OnPause();
  if (this->Detail->Choose())
  {
    this->Render(); // paused, every landmark shows at once
  }
  this->ShowBlend();
}

//------------------------------------------------------------------------------
void CHaldenView::OnUpdatePauseCommand(CCmdUI* pCmdUI)
{
  this->OnUpdatePause(pCmdUI);
  this->ShowBlend();
  this->UpdateBlendPane();
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

//------------------------------------------------------------------------------
void CHaldenView::OnColour(UINT id)
{
  auto* document = dynamic_cast<CHaldenDoc*>(this->GetDocument());
  if (!document)
  {
    return;
  }
  const int quantity = id == ID_COLOUR_DISPLACEMENT ? vtkDeformationColours::DISPLACEMENT
    : id == ID_COLOUR_STRETCH                       ? vtkDeformationColours::STRETCH
                                                    : vtkDeformationColours::PLAIN;
  document->SetColourQuantity(quantity);
  this->ShowColourLegend();
  this->Render();
}

//------------------------------------------------------------------------------
void CHaldenView::OnUpdateColour(CCmdUI* pCmdUI)
{
  auto* document = dynamic_cast<CHaldenDoc*>(this->GetDocument());
  pCmdUI->Enable(document && document->NoData == 0);
  const int quantity = document ? document->GetColourQuantity() : vtkDeformationColours::PLAIN;
  const UINT current = quantity == vtkDeformationColours::DISPLACEMENT ? ID_COLOUR_DISPLACEMENT
    : quantity == vtkDeformationColours::STRETCH                       ? ID_COLOUR_STRETCH
                                                                       : ID_COLOUR_PLAIN;
  pCmdUI->SetCheck(pCmdUI->m_nID == current ? 1 : 0);
}

//------------------------------------------------------------------------------
void CHaldenView::ShowColourLegend()
{
  auto* document = dynamic_cast<CHaldenDoc*>(this->GetDocument());
  this->Legend->Show(
    this->Renderer, document ? document->Colours : nullptr, document && document->NoData == 0);
  this->UpdateFoldPane();
}

//------------------------------------------------------------------------------
void CHaldenView::UpdateFoldPane()
{
  auto* document = dynamic_cast<CHaldenDoc*>(this->GetDocument());
  const std::string text = ColourLegend::FoldText(
    document ? document->Colours : nullptr, document && document->NoData == 0);
  if (text == this->ShownFolds)
  {
    return;
  }
  this->ShownFolds = text;
  if (CFrameWnd* frame = this->GetParentFrame())
  {
    frame->SetPaneText("folds", text);
  }
}

#include "LandmarkEditor.h"

#include "CHaldenDoc.h"
#include "CHaldenView.h"
#include "FrameWnd.h"
#include "LandmarkFitJob.h"
#include "VtkWindow.h"
#include "vtkShapeTransform.h"

#include <vtkActor.h>
#include <vtkCellPicker.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>
#include <vtkSphereSource.h>

#include <algorithm>
#include <cmath>

namespace
{
// How near on the screen, in pixels, a click must be to a landmark to take it.
constexpr double SelectPixels = 10.0;
// Fits that took less than this are waited for before the window draws an edit.
constexpr double QuickFitMilliseconds = 250.0;

const char* ModeText(LandmarkEditor::Mode mode)
{
  switch (mode)
  {
    case LandmarkEditor::Mode::Sources:
      return "Editing sources: click the model to add a landmark, drag a source to slide it; "
             "Delete removes, Ctrl+Z undoes. Hold Shift to turn the camera.";
    case LandmarkEditor::Mode::Targets:
      return "Editing targets: drag a target to move it, click the target model to place the "
             "selected one; Delete removes, Ctrl+Z undoes. Hold Shift to turn the camera.";
    default:
      return "";
  }
}

double Milliseconds(std::chrono::steady_clock::duration d)
{
  return std::chrono::duration<double, std::milli>(d).count();
}
}

//------------------------------------------------------------------------------
LandmarkEditor::LandmarkEditor(CHaldenView& view)
  : View(view)
{
  this->Picker = vtkCellPicker::New();
  this->Picker->PickFromListOn();
  this->Picker->SetTolerance(0.0005);
  this->Marker = vtkSphereSource::New();
  this->Marker->SetThetaResolution(16);
  this->Marker->SetPhiResolution(12);
  vtkNew<vtkPolyDataMapper> mapper;
  mapper->SetInputConnection(this->Marker->GetOutputPort());
  this->MarkerActor = vtkActor::New();
  this->MarkerActor->SetMapper(mapper);
  this->MarkerActor->PickableOff();
  this->MarkerActor->VisibilityOff();
  this->MarkerActor->GetProperty()->SetColor(1.0, 0.95, 0.2);
  this->MarkerActor->GetProperty()->SetOpacity(0.6);
}

//------------------------------------------------------------------------------
LandmarkEditor::~LandmarkEditor()
{
  this->Job.reset(); // waits for a fit under way
  this->View.GetRenderer()->RemoveActor(this->MarkerActor);
  this->MarkerActor->Delete();
  this->Marker->Delete();
  this->Picker->Delete();
}

//------------------------------------------------------------------------------
CHaldenDoc* LandmarkEditor::Document() const
{
  return dynamic_cast<CHaldenDoc*>(this->View.GetDocument());
}

//------------------------------------------------------------------------------
bool LandmarkEditor::CanEdit() const
{
  const CHaldenDoc* document = this->Document();
  return document && document->NoData == 0;
}

//------------------------------------------------------------------------------
void LandmarkEditor::Tell(const std::string& text) const
{
  if (CFrameWnd* frame = this->View.GetParentFrame())
  {
    frame->SetMessageText(text);
  }
}

//------------------------------------------------------------------------------
void LandmarkEditor::SetMode(Mode mode)
{
  if (mode != Mode::Off && !this->CanEdit())
  {
    mode = Mode::Off;
  }
  if (mode == this->Current)
  {
    return;
  }
  const Mode was = this->Current;
  this->Current = mode;
  this->Dragging = false;
  this->CameraDrag = false;
  if (was == Mode::Off)
  {
    // The animation rests while editing and runs again afterwards if it ran before.
    this->ResumeAnimation = this->View.GetAnimationRunning() && !this->View.IsPaused();
  }
  if (mode == Mode::Off)
  {
    this->Selected = -1;
    this->ShowSelection();
    if (this->ResumeAnimation && this->View.IsPaused())
    {
      this->View.OnPause();
    }
    this->ResumeAnimation = false;
    this->Tell(std::string());
    this->View.Render();
    return;
  }
  this->EnterBlend();
  this->ShowSelection();
  this->Tell(ModeText(mode));
  this->View.Render();
}

//------------------------------------------------------------------------------
void LandmarkEditor::EnterBlend()
{
  // Sources sit on the model as loaded, targets on the fully deformed one.
  const double blend = this->Current == Mode::Targets ? 1.0 : 0.0;
  if (this->View.CanSetBlend())
  {
    this->View.SetBlend(blend);
  }
  else if (!this->View.IsPaused())
  {
    this->View.OnPause();
  }
}

//------------------------------------------------------------------------------
bool LandmarkEditor::HandleMessage(UINT message, WPARAM& wParam, LPARAM lParam)
{
  if (this->Current == Mode::Off)
  {
    return false;
  }
  if (message == WM_PAINT)
  {
    // While a quick refit of the last edit is on its way, its frame shows the edit too: a
    // frame of the edit alone would only put the refit's frame off by one render.
    // The fit on its way takes about as long as the last one of its kind.
    const double expected =
      this->PendingQuick ? this->LastQuickFitMilliseconds : this->LastFitMilliseconds;
    return this->IsRefitting() && expected >= 0.0 && expected < QuickFitMilliseconds;
  }
  const bool left = message == WM_LBUTTONDOWN || message == WM_MOUSEMOVE || message == WM_LBUTTONUP;
  if (!left)
  {
    return false; // the other buttons and the wheel work the camera as ever
  }
  if (message == WM_LBUTTONDOWN && (wParam & MK_SHIFT) && !this->Dragging)
  {
    this->CameraDrag = true;
  }
  if (this->CameraDrag)
  {
    // The camera turns as it does outside editing: without the modifier's own meaning.
    wParam &= ~MK_SHIFT;
    if (message == WM_LBUTTONUP)
    {
      this->CameraDrag = false;
    }
    return false;
  }
  const int x = static_cast<short>(LOWORD(lParam));
  const int yFromTop = static_cast<short>(HIWORD(lParam));
  const int y = this->View.GetRenderWindow()->GetSize()[1] - 1 - yFromTop;
  this->MouseTime = std::chrono::steady_clock::now();
  switch (message)
  {
    case WM_LBUTTONDOWN:
      this->ButtonDown(x, y);
      break;
    case WM_MOUSEMOVE:
      if (this->Dragging)
      {
        this->Drag(x, y);
      }
      break;
    default:
      if (this->Dragging && this->DragMoved && this->Job)
      {
        // The drag's shapes may have come from the quick one-target refit: what stays in
        // force (and is saved) is a full fit of where the landmark came to rest.
        if (this->Job->Settle() != 0)
        {
          this->PendingQuick = false;
        }
      }
      this->Dragging = false;
      break;
  }
  return true;
}

//------------------------------------------------------------------------------
void LandmarkEditor::ButtonDown(int x, int y)
{
  CHaldenDoc* document = this->Document();
  if (!document)
  {
    return;
  }
  const vtkIdType hit = this->PickLandmark(x, y);
  if (hit >= 0)
  {
    this->Selected = hit;
    this->Dragging = true;
    this->DragMoved = false;
    this->ShowSelection();
    this->View.Render();
    return;
  }
  double point[3];
  if (this->Current == Mode::Sources && this->PickSurface(x, y, false, point))
  {
    std::string refusal;
    const vtkIdType added = document->AddLandmarkPair(point, point, &refusal);
    if (added < 0)
    {
      this->Tell(refusal);
      return;
    }
    this->EditByMouse = true;
    this->Edited(added);
    return;
  }
  if (this->Current == Mode::Targets && document->Target.IsLoaded() &&
    this->PickSurface(x, y, true, point))
  {
    if (this->Selected < 0)
    {
      this->Tell("Select a pair (click its target) before placing its target on the target "
                 "model.");
      return;
    }
    document->MoveLandmarkTarget(this->Selected, point, false);
    this->EditByMouse = true;
    this->Edited(this->Selected);
    return;
  }
  this->Selected = -1;
  this->ShowSelection();
  this->View.Render();
}

//------------------------------------------------------------------------------
void LandmarkEditor::Drag(int x, int y)
{
  CHaldenDoc* document = this->Document();
  if (!document || this->Selected < 0 || this->Selected >= document->Landmarks.GetCount())
  {
    this->Dragging = false;
    return;
  }
  double point[3];
  if (this->Current == Mode::Sources)
  {
    if (!this->PickSurface(x, y, false, point))
    {
      return; // off the surface: the source waits where it is
    }
    std::string refusal;
    if (!document->MoveLandmarkSource(this->Selected, point, this->DragMoved, &refusal))
    {
      this->Tell(refusal);
      return;
    }
  }
  else
  {
    double through[3];
    document->Landmarks.GetTargets()->GetPoint(this->Selected, through);
    if (!this->OnScreenPlane(x, y, through, point))
    {
      return;
    }
    document->MoveLandmarkTarget(this->Selected, point, this->DragMoved);
  }
  this->DragMoved = true;
  this->EditByMouse = true;
  this->Edited(this->Selected);
}

//------------------------------------------------------------------------------
bool LandmarkEditor::PickSurface(int x, int y, bool targetModel, double point[3])
{
  CHaldenDoc* document = this->Document();
  this->Picker->InitializePickList();
  if (targetModel)
  {
    this->Picker->AddPickList(document->Target.GetActor());
  }
  else
  {
    this->Picker->AddPickList(document->BodyActor);
    this->Picker->AddPickList(document->TexturedActor);
  }
  if (!this->Picker->Pick(x, y, 0.0, this->View.GetRenderer()))
  {
    return false;
  }
  this->Picker->GetPickPosition(point);
  return true;
}

//------------------------------------------------------------------------------
vtkIdType LandmarkEditor::PickLandmark(int x, int y) const
{
  CHaldenDoc* document = this->Document();
  vtkPoints* points = this->Current == Mode::Sources ? document->Landmarks.GetSources()
                                                     : document->Landmarks.GetTargets();
  vtkRenderer* renderer = this->View.GetRenderer();
  vtkIdType nearest = -1;
  double nearestSquare = SelectPixels * SelectPixels;
  double nearestDepth = 2.0;
  const vtkIdType n = points->GetNumberOfPoints();
  for (vtkIdType i = 0; i < n; ++i)
  {
    double p[3];
    points->GetPoint(i, p);
    renderer->SetWorldPoint(p[0], p[1], p[2], 1.0);
    renderer->WorldToDisplay();
    const double* d = renderer->GetDisplayPoint();
    const double square = (d[0] - x) * (d[0] - x) + (d[1] - y) * (d[1] - y);
    // The nearest on the screen; of two drawn at one place, the one in front.
    if (square < nearestSquare - 0.25 || (square <= nearestSquare + 0.25 && d[2] < nearestDepth))
    {
      nearest = i;
      nearestSquare = std::min(square, nearestSquare);
      nearestDepth = d[2];
    }
  }
  return nearest;
}

//------------------------------------------------------------------------------
bool LandmarkEditor::OnScreenPlane(int x, int y, const double through[3], double point[3]) const
{
  vtkRenderer* renderer = this->View.GetRenderer();
  renderer->SetWorldPoint(through[0], through[1], through[2], 1.0);
  renderer->WorldToDisplay();
  const double depth = renderer->GetDisplayPoint()[2];
  renderer->SetDisplayPoint(x, y, depth);
  renderer->DisplayToWorld();
  const double* w = renderer->GetWorldPoint();
  if (w[3] == 0.0)
  {
    return false;
  }
  for (int k = 0; k < 3; ++k)
  {
    point[k] = w[k] / w[3];
  }
  return std::isfinite(point[0]) && std::isfinite(point[1]) && std::isfinite(point[2]);
}

//------------------------------------------------------------------------------
void LandmarkEditor::DeleteSelected()
{
  CHaldenDoc* document = this->Document();
  if (this->Current == Mode::Off || !document || this->Selected < 0 ||
    this->Selected >= document->Landmarks.GetCount())
  {
    return;
  }
  document->RemoveLandmarkPair(this->Selected);
  this->EditByMouse = false;
  this->Edited(-1);
}

//------------------------------------------------------------------------------
void LandmarkEditor::Undo()
{
  CHaldenDoc* document = this->Document();
  vtkIdType index = -1;
  if (document && document->UndoLandmarkEdit(&index))
  {
    this->EditByMouse = false;
    this->Edited(index);
  }
}

//------------------------------------------------------------------------------
void LandmarkEditor::Redo()
{
  CHaldenDoc* document = this->Document();
  vtkIdType index = -1;
  if (document && document->RedoLandmarkEdit(&index))
  {
    this->EditByMouse = false;
    this->Edited(index);
  }
}

//------------------------------------------------------------------------------
void LandmarkEditor::Edited(vtkIdType select)
{
  this->Selected = select;
  this->EditTime = this->EditByMouse ? this->MouseTime : std::chrono::steady_clock::now();
  this->ShowSelection();
  this->Refit();
  // The document asked for a paint with the edit; see HandleMessage for when it waits.
}

//------------------------------------------------------------------------------
void LandmarkEditor::ShowSelection()
{
  CHaldenDoc* document = this->Document();
  vtkRenderer* renderer = this->View.GetRenderer();
  if (!renderer->HasViewProp(this->MarkerActor))
  {
    renderer->AddActor(this->MarkerActor);
  }
  if (!document || this->Current == Mode::Off || this->Selected < 0 ||
    this->Selected >= document->Landmarks.GetCount())
  {
    this->MarkerActor->VisibilityOff();
    return;
  }
  double p[3];
  vtkPoints* points = this->Current == Mode::Sources ? document->Landmarks.GetSources()
                                                     : document->Landmarks.GetTargets();
  points->GetPoint(this->Selected, p);
  double bounds[6];
  document->Reader->GetOutput()->GetBounds(bounds);
  const double diagonal = std::sqrt((bounds[1] - bounds[0]) * (bounds[1] - bounds[0]) +
    (bounds[3] - bounds[2]) * (bounds[3] - bounds[2]) +
    (bounds[5] - bounds[4]) * (bounds[5] - bounds[4]));
  this->Marker->SetCenter(p);
  this->Marker->SetRadius(diagonal > 0 ? 0.02 * diagonal : 1.0);
  this->MarkerActor->VisibilityOn();
}

//------------------------------------------------------------------------------
bool LandmarkEditor::IsRefitting() const
{
  return this->Job && this->Job->IsBusy();
}

//------------------------------------------------------------------------------
void LandmarkEditor::Refit()
{
  CHaldenDoc* document = this->Document();
  if (!document || document->Landmarks.GetCount() == 0)
  {
    return;
  }
  if (!this->Job)
  {
    this->Job = std::make_unique<LandmarkFitJob>(
      [this](const LandmarkFitResult& result) { this->RefitArrived(result); });
    // A drag submits at every move: each fit that ends is shown, not only the last.
    this->Job->SetShowIntermediate(true);
  }
  vtkPoints* sources = document->Landmarks.GetSources();
  // The options last chosen in the fit dialog; until a radius is chosen, the suggested one,
  // which follows the set as it grows or shrinks much rather than every edit.
  double radius = document->FitRadius;
  if (!(radius > 0.0))
  {
    const vtkIdType n = sources->GetNumberOfPoints();
    if (this->RadiusCount < 0 || std::abs(n - this->RadiusCount) * 10 > this->RadiusCount)
    {
      this->SuggestedRadius = this->Neighbours.Suggest(document->Landmarks);
      this->RadiusCount = n;
    }
    radius = this->SuggestedRadius;
  }
  this->RefitRadius = radius;
  // While a target is dragged, its moves are refitted from the fit before the move.
  const bool quick = this->Dragging && this->Current == Mode::Targets;
  this->EditSubmission = this->Job->Submit(
    sources, document->Landmarks.GetTargets(), radius, document->FitSmoothing, quick);
  this->PendingQuick = quick;
}

//------------------------------------------------------------------------------
void LandmarkEditor::RefitArrived(const LandmarkFitResult& result)
{
  CHaldenDoc* document = this->Document();
  if (!document || result.Submission < this->SubmissionShown)
  {
    return;
  }
  this->SubmissionShown = result.Submission;
  if (!result.Succeeded || !result.Coefficients)
  {
    // The edit that made the fit fail is taken back; the shape shown stays.
    this->Tell("Refused: the landmarks cannot be fitted after this edit (" + result.Reason +
      "); it was undone.");
    vtkIdType index = -1;
    if (document->UndoLandmarkEdit(&index))
    {
      this->Selected = index;
      this->ShowSelection();
      this->View.Render();
    }
    return;
  }
  (result.Quick ? this->LastQuickFitMilliseconds : this->LastFitMilliseconds) =
    result.Seconds * 1000.0;
  document->UseLiveFit(*result.Coefficients);
  const float blend = this->Current == Mode::Targets ? 1.0f : 0.0f;
  if (this->Current != Mode::Off &&
    (document->ShapeTransform->GetFactor() != blend || !this->View.IsPaused()))
  {
    this->EnterBlend(); // a first fit switches the deformation in: keep the mode's blend
  }
  this->ShowSelection();
  this->View.Render();
  ++this->RefitsShown;
  if (this->OnRefitShown && result.Submission == this->EditSubmission)
  {
    const double ms = Milliseconds(std::chrono::steady_clock::now() - this->EditTime);
    this->OnRefitShown(this->EditByMouse ? ms : -ms);
  }
}

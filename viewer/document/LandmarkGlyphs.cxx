#include "LandmarkGlyphs.h"

#include "EvenSubset.h"
#include "LandmarkPairs.h"
#include "vtkLandmarkRide.h"

#include <vtkActor.h>
#include <vtkBoundingBox.h>
#include <vtkCellArray.h>
#include <vtkNew.h>
#include <vtkOpenGLSphereMapper.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>

#include <algorithm>
#include <cmath>
#include <numeric>

const double LandmarkGlyphs::SourceColor[3] = { 1.0, 0.45, 0.0 };
const double LandmarkGlyphs::TargetColor[3] = { 0.1, 0.35, 1.0 };
const double LandmarkGlyphs::LineColor[3] = { 0.25, 0.25, 0.3 };

namespace
{
void MakeSpheres(vtkOpenGLSphereMapper* mapper, vtkActor* actor, const double colour[3])
{
  mapper->ScalarVisibilityOff();
  actor->SetMapper(mapper);
  actor->GetProperty()->SetColor(colour[0], colour[1], colour[2]);
}

double Diagonal(const double bounds[6])
{
  vtkBoundingBox box;
  if (bounds && bounds[0] <= bounds[1] && bounds[2] <= bounds[3] && bounds[4] <= bounds[5])
  {
    box.SetBounds(bounds);
  }
  return box.IsValid() ? box.GetDiagonalLength() : 0.0;
}
}

//------------------------------------------------------------------------------
LandmarkGlyphs::LandmarkGlyphs()
  : Ride(vtkSmartPointer<vtkLandmarkRide>::New())
  , Targets(vtkSmartPointer<vtkPolyData>::New())
  , SourceMapper(vtkSmartPointer<vtkOpenGLSphereMapper>::New())
  , TargetMapper(vtkSmartPointer<vtkOpenGLSphereMapper>::New())
  , LineMapper(vtkSmartPointer<vtkPolyDataMapper>::New())
  , SourceActor(vtkSmartPointer<vtkActor>::New())
  , TargetActor(vtkSmartPointer<vtkActor>::New())
  , LineActor(vtkSmartPointer<vtkActor>::New())
{
  this->SourceMapper->SetInputConnection(this->Ride->GetOutputPort(0));
  this->TargetMapper->SetInputData(this->Targets);
  MakeSpheres(this->SourceMapper, this->SourceActor, SourceColor);
  MakeSpheres(this->TargetMapper, this->TargetActor, TargetColor);
  this->LineMapper->SetInputConnection(this->Ride->GetOutputPort(1));
  this->LineMapper->ScalarVisibilityOff();
  this->LineActor->SetMapper(this->LineMapper);
  this->LineActor->GetProperty()->SetColor(LineColor[0], LineColor[1], LineColor[2]);
  this->LineActor->GetProperty()->LightingOff();
}

//------------------------------------------------------------------------------
LandmarkGlyphs::~LandmarkGlyphs() = default;

//------------------------------------------------------------------------------
double LandmarkGlyphs::RadiusFor(double diagonal, vtkIdType count)
{
  const double share = 0.17 / std::sqrt(static_cast<double>(std::max<vtkIdType>(count, 1)));
  return diagonal * std::clamp(share, 0.003, 0.012);
}

//------------------------------------------------------------------------------
void LandmarkGlyphs::SetPairs(const LandmarkPairs& pairs, const double modelBounds[6])
{
  vtkPoints* sources = pairs.GetSources();
  vtkPoints* targets = pairs.GetTargets();
  this->SourcePoints = sources;
  this->TargetPoints = targets;
  this->Ride->SetLandmarks(sources, targets);
  this->Targets->SetPoints(targets);
  this->Targets->SetVerts(vtkLandmarkRide::VertexPerPoint(pairs.GetCount()));

  double diagonal = Diagonal(modelBounds);
  if (!(diagonal > 0.0) && pairs.GetCount() > 0)
  {
    double own[6];
    vtkBoundingBox box;
    sources->GetBounds(own);
    box.AddBounds(own);
    targets->GetBounds(own);
    box.AddBounds(own);
    diagonal = box.GetDiagonalLength();
  }
  if (!(diagonal > 0.0) || !std::isfinite(diagonal))
  {
    diagonal = 1.0; // a single landmark on no model: any size shows it
  }
  this->Radius = RadiusFor(diagonal, pairs.GetCount());
  this->SourceMapper->SetRadius(static_cast<float>(this->Radius));
  this->TargetMapper->SetRadius(static_cast<float>(this->Radius));
  this->ApplyDetail();
}

//------------------------------------------------------------------------------
void LandmarkGlyphs::SetPlaying(bool playing)
{
  this->Playing = playing;
  this->ApplyDetail();
}

//------------------------------------------------------------------------------
void LandmarkGlyphs::SetPlayingLimit(vtkIdType limit)
{
  this->PlayingLimit = std::max<vtkIdType>(limit, 1);
  this->ApplyDetail();
}

//------------------------------------------------------------------------------
void LandmarkGlyphs::ApplyDetail()
{
  const vtkIdType count = this->PairCount();
  this->Thinned = this->Playing && count > this->PlayingLimit;
  vtkPolyData* targets = this->Targets;
  if (this->Thinned)
  {
    this->UpdateSelection(count);
    this->Ride->SetSelection(this->Selection);
    targets = this->SelectedTargets;
  }
  else
  {
    this->Ride->SelectAll();
  }
  if (this->TargetMapper->GetInput() != targets)
  {
    this->TargetMapper->SetInputData(targets);
  }
}

//------------------------------------------------------------------------------
vtkIdType LandmarkGlyphs::PairCount() const
{
  return this->SourcePoints && this->TargetPoints
    ? std::min(this->SourcePoints->GetNumberOfPoints(), this->TargetPoints->GetNumberOfPoints())
    : 0;
}

//------------------------------------------------------------------------------
void LandmarkGlyphs::UpdateSelection(vtkIdType count)
{
  vtkPoints* sources = this->SourcePoints;
  vtkPoints* targets = this->TargetPoints;
  const bool fresh = sources->GetMTime() == this->SelectionSources &&
    count == this->SelectionCount && this->PlayingLimit == this->SelectionLimit;
  if (!fresh)
  {
    this->Selection = EvenSubset(sources, this->PlayingLimit).Indices;
    // Only the pairs that have both ends take part.
    this->Selection.erase(std::remove_if(this->Selection.begin(), this->Selection.end(),
                            [count](vtkIdType i) { return i >= count; }),
      this->Selection.end());
    this->SelectionSources = sources->GetMTime();
    this->SelectionCount = count;
    this->SelectionLimit = this->PlayingLimit;
  }
  if (!fresh || targets->GetMTime() != this->SelectedTargetsTime)
  {
    const auto m = static_cast<vtkIdType>(this->Selection.size());
    vtkNew<vtkPoints> chosen;
    chosen->SetDataType(targets->GetDataType());
    chosen->SetNumberOfPoints(m);
    for (vtkIdType k = 0; k < m; ++k)
    {
      chosen->SetPoint(k, targets->GetPoint(this->Selection[static_cast<size_t>(k)]));
    }
    this->SelectedTargets->SetPoints(chosen);
    this->SelectedTargets->SetVerts(vtkLandmarkRide::VertexPerPoint(m));
    this->SelectedTargetsTime = targets->GetMTime();
  }
}

//------------------------------------------------------------------------------
std::vector<vtkIdType> LandmarkGlyphs::GetDrawnLandmarks() const
{
  if (this->Thinned)
  {
    return this->Selection;
  }
  const vtkIdType count = this->PairCount();
  std::vector<vtkIdType> all(static_cast<size_t>(count));
  std::iota(all.begin(), all.end(), vtkIdType{ 0 });
  return all;
}

//------------------------------------------------------------------------------
void LandmarkGlyphs::SetTransform(vtkShapeTransform* transform)
{
  this->Ride->SetTransform(transform);
}

//------------------------------------------------------------------------------
void LandmarkGlyphs::SetRiding(bool riding)
{
  this->Ride->SetRiding(riding);
}

//------------------------------------------------------------------------------
void LandmarkGlyphs::SetVisibility(bool visible)
{
  this->Visible = visible;
  for (vtkActor* actor :
    { this->SourceActor.Get(), this->TargetActor.Get(), this->LineActor.Get() })
  {
    actor->SetVisibility(visible);
  }
}

//------------------------------------------------------------------------------
vtkActor* LandmarkGlyphs::GetSourceActor() const
{
  return this->SourceActor;
}

//------------------------------------------------------------------------------
vtkActor* LandmarkGlyphs::GetTargetActor() const
{
  return this->TargetActor;
}

//------------------------------------------------------------------------------
vtkActor* LandmarkGlyphs::GetLineActor() const
{
  return this->LineActor;
}

//------------------------------------------------------------------------------
vtkLandmarkRide* LandmarkGlyphs::GetRide() const
{
  return this->Ride;
}

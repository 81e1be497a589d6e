#include "vtkLandmarkRide.h"

#include "vtkShapeTransform.h"

#include <vtkCellArray.h>
#include <vtkDoubleArray.h>
#include <vtkIdTypeArray.h>
#include <vtkInformation.h>
#include <vtkInformationVector.h>
#include <vtkNew.h>
#include <vtkObjectFactory.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <algorithm>
#include <iterator>

vtkStandardNewMacro(vtkLandmarkRide);

//------------------------------------------------------------------------------
vtkLandmarkRide::vtkLandmarkRide()
{
  this->SetNumberOfInputPorts(0);
  this->SetNumberOfOutputPorts(2);
}

//------------------------------------------------------------------------------
vtkLandmarkRide::~vtkLandmarkRide() = default;

//------------------------------------------------------------------------------
void vtkLandmarkRide::PrintSelf(ostream& os, vtkIndent indent)
{
  this->Superclass::PrintSelf(os, indent);
  os << indent << "Landmarks: " << (this->Sources ? this->Sources->GetNumberOfPoints() : 0) << "\n";
  os << indent << "Transform: " << static_cast<void*>(this->Transform.Get()) << "\n";
  os << indent << "Riding: " << (this->Riding ? "On" : "Off") << "\n";
  os << indent << "Selection: ";
  if (this->Selecting)
  {
    os << this->Selection.size() << " landmarks\n";
  }
  else
  {
    os << "all\n";
  }
}

//------------------------------------------------------------------------------
void vtkLandmarkRide::SetLandmarks(vtkPoints* sources, vtkPoints* targets)
{
  this->Sources = sources;
  this->Targets = targets;
  this->DisplacementSources = 0;
  this->Modified();
}

//------------------------------------------------------------------------------
void vtkLandmarkRide::SetTransform(vtkShapeTransform* transform)
{
  if (this->Transform != transform)
  {
    this->Transform = transform;
    this->DisplacementParameters = 0;
    this->Modified();
  }
}

//------------------------------------------------------------------------------
void vtkLandmarkRide::SetSelection(const std::vector<vtkIdType>& landmarks)
{
  if (!this->Selecting || this->Selection != landmarks)
  {
    this->Selection = landmarks;
    this->Selecting = true;
    this->Modified();
  }
}

//------------------------------------------------------------------------------
void vtkLandmarkRide::SelectAll()
{
  if (this->Selecting)
  {
    this->Selecting = false;
    this->Selection.clear();
    this->Modified();
  }
}

//------------------------------------------------------------------------------
vtkSmartPointer<vtkCellArray> vtkLandmarkRide::VertexPerPoint(vtkIdType n)
{
  vtkNew<vtkIdTypeArray> connectivity;
  connectivity->SetNumberOfValues(n);
  vtkNew<vtkIdTypeArray> offsets;
  offsets->SetNumberOfValues(n + 1);
  for (vtkIdType i = 0; i <= n; ++i)
  {
    if (i < n)
    {
      connectivity->SetValue(i, i);
    }
    offsets->SetValue(i, i);
  }
  auto cells = vtkSmartPointer<vtkCellArray>::New();
  cells->SetData(offsets, connectivity);
  return cells;
}

//------------------------------------------------------------------------------
vtkSmartPointer<vtkCellArray> vtkLandmarkRide::LinePerPair(vtkIdType n)
{
  vtkNew<vtkIdTypeArray> connectivity;
  connectivity->SetNumberOfValues(2 * n);
  vtkNew<vtkIdTypeArray> offsets;
  offsets->SetNumberOfValues(n + 1);
  for (vtkIdType i = 0; i < n; ++i)
  {
    connectivity->SetValue(2 * i, i);
    connectivity->SetValue(2 * i + 1, n + i);
    offsets->SetValue(i, 2 * i);
  }
  offsets->SetValue(n, 2 * n);
  auto cells = vtkSmartPointer<vtkCellArray>::New();
  cells->SetData(offsets, connectivity);
  return cells;
}

//------------------------------------------------------------------------------
vtkShapeTransform* vtkLandmarkRide::GetTransform() const
{
  return this->Transform;
}

//------------------------------------------------------------------------------
vtkMTimeType vtkLandmarkRide::GetMTime()
{
  vtkMTimeType time = this->Superclass::GetMTime();
  for (vtkPoints* points : { this->Sources.Get(), this->Targets.Get() })
  {
    if (points)
    {
      time = std::max(time, points->GetMTime());
    }
  }
  if (this->Riding && this->Transform)
  {
    time = std::max(time, this->Transform->GetMTime());
  }
  return time;
}

//------------------------------------------------------------------------------
bool vtkLandmarkRide::UpdateDisplacements(vtkIdType n)
{
  vtkShapeTransform* transform = this->Transform;
  // The transform's own time without its blend: SetParameters and the other settings move it,
  // SetFactor does not.
  const vtkMTimeType parameters = transform->vtkAbstractTransform::GetMTime();
  const vtkMTimeType sources = this->Sources->GetMTime();
  if (parameters == this->DisplacementParameters && sources == this->DisplacementSources &&
    this->Displacements.size() == static_cast<size_t>(3 * n))
  {
    return true;
  }
  // At a blend of 1 the copy gives x - d(x); the copy has no cache to lose.
  vtkSmartPointer<vtkShapeTransform> unit;
  unit.TakeReference(vtkShapeTransform::SafeDownCast(transform->MakeTransform()));
  if (!unit)
  {
    return false;
  }
  unit->DeepCopy(transform);
  unit->SetFactor(1.0f);
  vtkNew<vtkDoubleArray> carried;
  unit->TransformPointArray(this->Sources->GetData(), carried);
  if (carried->GetNumberOfTuples() != n)
  {
    return false;
  }
  this->Displacements.resize(static_cast<size_t>(3 * n));
  for (vtkIdType i = 0; i < n; ++i)
  {
    double x[3];
    this->Sources->GetPoint(i, x);
    for (int c = 0; c < 3; ++c)
    {
      this->Displacements[3 * i + c] = x[c] - carried->GetComponent(i, c);
    }
  }
  this->DisplacementParameters = parameters;
  this->DisplacementSources = sources;
  return true;
}

//------------------------------------------------------------------------------
void vtkLandmarkRide::MoveSources(vtkIdType n, const std::vector<vtkIdType>& chosen)
{
  if (!this->Moved)
  {
    this->Moved = vtkSmartPointer<vtkPoints>::New();
    this->Moved->SetDataTypeToDouble();
  }
  vtkPoints* moved = this->Moved;
  // Point k of Moved is landmark k, or the k-th chosen one while a selection is in force.
  const vtkIdType m = this->Selecting ? static_cast<vtkIdType>(chosen.size()) : n;
  auto landmark = [&](vtkIdType k) { return this->Selecting ? chosen[static_cast<size_t>(k)] : k; };
  moved->SetNumberOfPoints(m);
  vtkShapeTransform* transform = this->Riding ? this->Transform.Get() : nullptr;
  if (transform && transform->GetInitialized() && transform->GetInverseFlag())
  {
    // The inverse is not linear in the blend: the landmarks drawn are carried through it.
    vtkNew<vtkDoubleArray> drawn;
    drawn->SetNumberOfComponents(3);
    drawn->SetNumberOfTuples(m);
    for (vtkIdType k = 0; k < m; ++k)
    {
      drawn->SetTuple(k, this->Sources->GetPoint(landmark(k)));
    }
    vtkNew<vtkDoubleArray> carried;
    transform->TransformPointArray(drawn, carried);
    if (carried->GetNumberOfTuples() == m)
    {
      for (vtkIdType k = 0; k < m; ++k)
      {
        moved->SetPoint(k, carried->GetTuple3(k));
      }
      moved->Modified();
      return;
    }
  }
  else if (transform && transform->GetInitialized() && this->UpdateDisplacements(n))
  {
    const double factor = transform->GetFactor();
    const double* d = this->Displacements.data();
    for (vtkIdType k = 0; k < m; ++k)
    {
      const vtkIdType i = landmark(k);
      double x[3];
      this->Sources->GetPoint(i, x);
      moved->SetPoint(
        k, x[0] - factor * d[3 * i], x[1] - factor * d[3 * i + 1], x[2] - factor * d[3 * i + 2]);
    }
    moved->Modified();
    return;
  }
  for (vtkIdType k = 0; k < m; ++k)
  {
    moved->SetPoint(k, this->Sources->GetPoint(landmark(k)));
  }
  moved->Modified();
}

//------------------------------------------------------------------------------
int vtkLandmarkRide::RequestData(vtkInformation*, vtkInformationVector**, vtkInformationVector* out)
{
  vtkPolyData* sources = vtkPolyData::GetData(out, 0);
  vtkPolyData* lines = vtkPolyData::GetData(out, 1);
  const vtkIdType n = this->Sources && this->Targets
    ? std::min(this->Sources->GetNumberOfPoints(), this->Targets->GetNumberOfPoints())
    : 0;
  if (n == 0)
  {
    return 1; // empty outputs
  }
  // The landmarks drawn: all, or the selected ones that exist.
  std::vector<vtkIdType> chosen;
  if (this->Selecting)
  {
    chosen.reserve(this->Selection.size());
    std::copy_if(this->Selection.begin(), this->Selection.end(), std::back_inserter(chosen),
      [n](vtkIdType i) { return i >= 0 && i < n; });
  }
  this->MoveSources(n, chosen);
  const vtkIdType m = this->Moved->GetNumberOfPoints();
  auto landmark = [&](vtkIdType k) { return this->Selecting ? chosen[static_cast<size_t>(k)] : k; };
  if (!this->Vertices || this->Vertices->GetNumberOfCells() != m)
  {
    this->Vertices = VertexPerPoint(m);
    this->Segments = LinePerPair(m);
  }
  vtkPoints* drawn = this->Moved;
  sources->SetPoints(drawn);
  sources->SetVerts(this->Vertices);

  vtkNew<vtkPoints> ends;
  ends->SetDataTypeToDouble();
  ends->SetNumberOfPoints(2 * m);
  for (vtkIdType k = 0; k < m; ++k)
  {
    ends->SetPoint(k, drawn->GetPoint(k));
    ends->SetPoint(m + k, this->Targets->GetPoint(landmark(k)));
  }
  lines->SetPoints(ends);
  lines->SetLines(this->Segments);
  return 1;
}

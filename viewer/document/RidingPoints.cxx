#include "RidingPoints.h"

#include "vtkPointArrayTransformFilter.h"

#include <vtkActor.h>
#include <vtkCellArray.h>
#include <vtkDoubleArray.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>

//------------------------------------------------------------------------------
RidingPoints::RidingPoints()
{
  this->Points = vtkPolyData::New();
  this->Carry = vtkPointArrayTransformFilter::New();
  this->Carry->SetInputData(this->Points);
  vtkNew<vtkPolyDataMapper> mapper;
  mapper->SetInputConnection(this->Carry->GetOutputPort());
  mapper->ScalarVisibilityOff();
  this->Actor = vtkActor::New();
  this->Actor->SetMapper(mapper);
  this->Actor->PickableOff();
  vtkProperty* look = this->Actor->GetProperty();
  look->SetColor(1.0, 0.55, 0.0);
  look->SetPointSize(9.0);
  look->SetRenderPointsAsSpheres(true);
  look->LightingOff();
}

//------------------------------------------------------------------------------
RidingPoints::~RidingPoints()
{
  this->Actor->Delete();
  this->Carry->Delete();
  this->Points->Delete();
}

//------------------------------------------------------------------------------
bool RidingPoints::Load(const std::string& path, std::string& reason)
{
  PointList list;
  if (!ReadPointList(path, list, reason))
  {
    return false;
  }
  const vtkIdType n = list.Points->GetNumberOfTuples();
  vtkNew<vtkPoints> points;
  points->SetData(list.Points);
  vtkNew<vtkCellArray> vertices;
  for (vtkIdType i = 0; i < n; ++i)
  {
    vertices->InsertNextCell(1, &i);
  }
  this->Points->Initialize();
  this->Points->SetPoints(points);
  this->Points->SetVerts(vertices);
  this->Points->Modified();
  this->Layout = std::move(list);
  this->FileName = path;
  return true;
}

//------------------------------------------------------------------------------
bool RidingPoints::Save(const std::string& path, std::string& reason)
{
  if (this->GetCount() == 0)
  {
    reason = "there are no points to save";
    return false;
  }
  this->Carry->Update();
  vtkPoints* shown = this->Carry->GetOutput()->GetPoints();
  vtkNew<vtkDoubleArray> moved;
  moved->DeepCopy(shown->GetData());
  return WritePointList(path, this->Layout, moved, reason);
}

//------------------------------------------------------------------------------
void RidingPoints::Clear()
{
  this->Points->Initialize();
  this->Points->Modified();
  this->Layout = PointList();
  this->FileName.clear();
}

//------------------------------------------------------------------------------
vtkIdType RidingPoints::GetCount() const
{
  return this->Points->GetNumberOfPoints();
}

//------------------------------------------------------------------------------
void RidingPoints::Follow(vtkShapeTransform* transform)
{
  this->Carry->SetTransform(transform);
}

#include "vtkPointArrayTransformFilter.h"

#include "vtkShapeTransform.h"

#include <vtkDoubleArray.h>
#include <vtkInformation.h>
#include <vtkInformationVector.h>
#include <vtkNew.h>
#include <vtkObjectFactory.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <algorithm>

vtkStandardNewMacro(vtkPointArrayTransformFilter);

//------------------------------------------------------------------------------
vtkPointArrayTransformFilter::vtkPointArrayTransformFilter() = default;

//------------------------------------------------------------------------------
vtkPointArrayTransformFilter::~vtkPointArrayTransformFilter()
{
  this->SetTransform(nullptr);
}

//------------------------------------------------------------------------------
void vtkPointArrayTransformFilter::SetTransform(vtkShapeTransform* transform)
{
  if (transform == this->Transform)
  {
    return;
  }
  if (this->Transform)
  {
    this->Transform->UnRegister(this);
  }
  this->Transform = transform;
  if (transform)
  {
    transform->Register(this);
  }
  this->Modified();
}

//------------------------------------------------------------------------------
vtkMTimeType vtkPointArrayTransformFilter::GetMTime()
{
  const vtkMTimeType own = this->Superclass::GetMTime();
  return this->Transform ? std::max(own, this->Transform->GetMTime()) : own;
}

//------------------------------------------------------------------------------
int vtkPointArrayTransformFilter::RequestData(
  vtkInformation*, vtkInformationVector** inputVector, vtkInformationVector* outputVector)
{
  vtkPolyData* input = vtkPolyData::GetData(inputVector[0]);
  vtkPolyData* output = vtkPolyData::GetData(outputVector);
  output->ShallowCopy(input);
  vtkPoints* points = input->GetPoints();
  if (!this->Transform || !points || points->GetNumberOfPoints() == 0)
  {
    return 1;
  }
  vtkNew<vtkDoubleArray> moved;
  this->Transform->TransformPointArray(points->GetData(), moved);
  if (moved->GetNumberOfTuples() != points->GetNumberOfPoints())
  {
    vtkErrorMacro("The points could not be transformed; they are shown as they are.");
    return 1;
  }
  vtkNew<vtkPoints> out;
  out->SetData(moved);
  output->SetPoints(out);
  return 1;
}

//------------------------------------------------------------------------------
void vtkPointArrayTransformFilter::PrintSelf(ostream& os, vtkIndent indent)
{
  this->Superclass::PrintSelf(os, indent);
  os << indent << "Transform: " << this->Transform << "\n";
}

#include "TargetModel.h"

#include "ModelFile.h"

#include <vtkActor.h>
#include <vtkNew.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>

//------------------------------------------------------------------------------
TargetModel::TargetModel()
{
  this->Surface = vtkPolyData::New();
  vtkNew<vtkPolyDataMapper> mapper;
  mapper->SetInputData(this->Surface);
  mapper->ScalarVisibilityOff();
  this->Actor = vtkActor::New();
  this->Actor->SetMapper(mapper);
  vtkProperty* look = this->Actor->GetProperty();
  look->SetColor(0.35, 0.6, 0.95);
  look->SetOpacity(0.45);
  look->SetInterpolationToGouraud();
}

//------------------------------------------------------------------------------
TargetModel::~TargetModel()
{
  this->Actor->Delete();
  this->Surface->Delete();
}

//------------------------------------------------------------------------------
bool TargetModel::Load(const std::string& path, std::string& reason)
{
  vtkSmartPointer<vtkPolyData> model = ReadModelFile(path, reason);
  if (!model)
  {
    return false;
  }
  this->Surface->ShallowCopy(model);
  this->Surface->Modified();
  this->FileName = path;
  return true;
}

//------------------------------------------------------------------------------
void TargetModel::Clear()
{
  this->Surface->Initialize();
  this->Surface->Modified();
  this->FileName.clear();
}

#include "vtkModelSource.h"

#include <vtkInformation.h>
#include <vtkInformationVector.h>
#include <vtkObjectFactory.h>
#include <vtkPolyData.h>

vtkStandardNewMacro(vtkModelSource);
vtkCxxSetObjectMacro(vtkModelSource, Model, vtkPolyData);

//------------------------------------------------------------------------------
vtkModelSource::vtkModelSource()
  : Model(nullptr)
{
  this->SetNumberOfInputPorts(0);
}

//------------------------------------------------------------------------------
vtkModelSource::~vtkModelSource()
{
  this->SetModel(nullptr);
}

//------------------------------------------------------------------------------
int vtkModelSource::RequestData(vtkInformation*, vtkInformationVector**, vtkInformationVector* out)
{
  vtkPolyData* output = vtkPolyData::GetData(out);
  if (this->Model)
  {
    output->ShallowCopy(this->Model);
  }
  else
  {
    output->Initialize();
  }
  return 1;
}

//------------------------------------------------------------------------------
void vtkModelSource::PrintSelf(ostream& os, vtkIndent indent)
{
  this->Superclass::PrintSelf(os, indent);
  os << indent << "Model: " << this->Model << "\n";
}

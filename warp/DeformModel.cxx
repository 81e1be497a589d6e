#include "DeformModel.h"

#include "CheckedUpdate.h"

#include <vtkAbstractTransform.h>
#include <vtkNew.h>
#include <vtkPolyData.h>
#include <vtkTransformPolyDataFilter.h>

//------------------------------------------------------------------------------
vtkSmartPointer<vtkPolyData> DeformModel(
  vtkPolyData* model, vtkAbstractTransform* transform, std::string& reason)
{
  if (!model || !transform)
  {
    reason = "there is no model or no transform";
    return nullptr;
  }
  vtkNew<vtkTransformPolyDataFilter> filter;
  filter->SetTransform(transform);
  filter->SetInputData(model);
  // Warnings (a radius that leaves the affine part alone, say) are the transform's to give;
  // an error means that some points were not moved.
  const CheckedUpdateResult update = CheckedUpdate(filter, CheckedUpdateMode::Collect);
  vtkPolyData* output = filter->GetOutput();
  if (update.ErrorReported)
  {
    reason = update.Message;
    return nullptr;
  }
  if (!output || output->GetNumberOfPoints() != model->GetNumberOfPoints())
  {
    reason = "the deformed model has " + std::to_string(output ? output->GetNumberOfPoints() : 0) +
      " points instead of " + std::to_string(model->GetNumberOfPoints());
    return nullptr;
  }
  auto deformed = vtkSmartPointer<vtkPolyData>::New();
  deformed->ShallowCopy(output);
  return deformed;
}

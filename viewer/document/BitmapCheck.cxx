#include "BitmapCheck.h"

#include "CheckedUpdate.h"

#include <vtkBMPReader.h>
#include <vtkImageData.h>
#include <vtkNew.h>

//------------------------------------------------------------------------------
bool CheckBitmap(const std::string& path, std::string& reason)
{
  vtkNew<vtkBMPReader> probe;
  if (!probe->CanReadFile(path.c_str()))
  {
    reason = "it is not a bitmap file that can be read";
    return false;
  }
  probe->SetFileName(path.c_str());
  const CheckedUpdateResult read = CheckedUpdate(probe, CheckedUpdateMode::Collect);
  if (!read.Ok)
  {
    reason = read.Message;
    return false;
  }
  vtkImageData* image = probe->GetOutput();
  if (!image || image->GetNumberOfPoints() == 0)
  {
    reason = "it holds no picture";
    return false;
  }
  return true;
}

#include "RewrittenIds.h"

#include "vtkDataArray.h"
#include "vtkIdTypeArray.h"
#include "vtkInformation.h"
#include "vtkInformationIdTypeKey.h"
#include "vtkInformationObjectBaseKey.h"
#include "vtkNew.h"

#include <algorithm>

vtkInformationKeyMacro(RewrittenIds, BEFORE, IdType);
vtkInformationKeyMacro(RewrittenIds, AFTER, IdType);
vtkInformationKeyMacro(RewrittenIds, ENTRIES, ObjectBase);

//------------------------------------------------------------------------------
void RewrittenIds::Record(vtkDataArray* ids, const std::vector<vtkIdType>& entries)
{
  const vtkMTimeType before = ids->GetMTime();
  ids->Modified();
  vtkInformation* info = ids->GetInformation();
  vtkNew<vtkIdTypeArray> note;
  note->SetNumberOfTuples(static_cast<vtkIdType>(entries.size()));
  std::copy(entries.begin(), entries.end(), note->GetPointer(0));
  info->Set(ENTRIES(), note);
  info->Set(BEFORE(), static_cast<vtkIdType>(before));
  // Read after the note is written, should the array's time ever include its information.
  info->Set(AFTER(), static_cast<vtkIdType>(ids->GetMTime()));
}

//------------------------------------------------------------------------------
bool RewrittenIds::Since(vtkDataArray* ids, vtkMTimeType seen, std::vector<vtkIdType>& entries)
{
  if (!ids || !ids->HasInformation())
  {
    return false;
  }
  vtkInformation* info = ids->GetInformation();
  if (!info->Has(BEFORE()) || !info->Has(AFTER()) || !info->Has(ENTRIES()) ||
    static_cast<vtkMTimeType>(info->Get(BEFORE())) != seen ||
    static_cast<vtkMTimeType>(info->Get(AFTER())) != ids->GetMTime())
  {
    return false;
  }
  auto* note = vtkIdTypeArray::SafeDownCast(info->Get(ENTRIES()));
  if (!note || note->GetNumberOfTuples() % 2 != 0)
  {
    return false;
  }
  entries.assign(note->GetPointer(0), note->GetPointer(0) + note->GetNumberOfTuples());
  return true;
}

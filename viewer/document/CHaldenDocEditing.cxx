// The model document's commands and calls for editing landmarks, for points that ride along
// with the deformation and for the target model. Kept apart from CHaldenDoc.cxx, which
// holds the model and its pipeline.
#include "CHaldenDoc.h"

#include "FrameWnd.h"
#include "LandmarkEdits.h"
#include "LandmarkFileWriter.h"
#include "Prompts.h"
#include "View.h"
#include "vtkShapeTransform.h"

#include <vtkActor.h>
#include <vtkActorCollection.h>
#include <vtkPointLocator.h>
#include <vtkPoints.h>

#include <utility>

namespace
{
const char* const LandmarkFiles = "Landmark Files\0*.DAT\0All Files\0*.*\0";
const char* const PointFiles = "Point Lists\0*.TXT;*.CSV;*.XYZ\0All Files\0*.*\0";
const char* const ModelFiles = "All Supported Models\0*.VTK;*.VTP;*.STL;*.PLY;*.OBJ\0"
                               "VTK formated Files\0*.VTK\0"
                               "All Files\0*.*\0";
constexpr DWORD MustExist = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
constexpr DWORD MayReplace = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;

void Tell(const std::string& what, const std::string& path, std::string reason)
{
  while (!reason.empty() && (reason.back() == '.' || reason.back() == ' '))
  {
    reason.pop_back();
  }
  AfxMessageBox(what + " \"" + path + "\": " + reason + ".", MB_OK | MB_ICONEXCLAMATION);
}

const char* const Coincident = "Refused: this source would lie on another landmark's source, "
                               "and two landmarks in one place cannot be fitted.";
}

//------------------------------------------------------------------------------
void CHaldenDoc::MapEditingCommands()
{
  this->MapCommand(ID_SAVE_LANDMARKS, &CHaldenDoc::OnSaveLandmarks);
  this->MapCommandUI(ID_SAVE_LANDMARKS, &CHaldenDoc::OnUpdateSaveLandmarks);
  this->MapCommand(ID_LOAD_POINTS, &CHaldenDoc::OnLoadPoints);
  this->MapCommandUI(ID_LOAD_POINTS, &CHaldenDoc::OnUpdateHasData);
  this->MapCommand(ID_SAVE_POINTS, &CHaldenDoc::OnSavePoints);
  this->MapCommandUI(ID_SAVE_POINTS, &CHaldenDoc::OnUpdateSavePoints);
  this->MapCommand(ID_LOAD_TARGET_MODEL, &CHaldenDoc::OnLoadTargetModel);
  this->MapCommandUI(ID_LOAD_TARGET_MODEL, &CHaldenDoc::OnUpdateHasData);
}

//------------------------------------------------------------------------------
void CHaldenDoc::AddEditingProps()
{
  // Only what is loaded: without a target model or points, Props holds what it always did.
  const std::pair<vtkActor*, bool> extras[] = { { this->Target.GetActor(),
                                                  this->Target.IsLoaded() },
    { this->Riding.GetActor(), this->Riding.GetCount() > 0 } };
  for (const auto& extra : extras)
  {
    if (extra.second && !this->Props->IsItemPresent(extra.first))
    {
      this->Props->AddItem(extra.first);
    }
  }
}

//------------------------------------------------------------------------------
void CHaldenDoc::LandmarksEdited()
{
  this->SetModifiedFlag(this->HasUnsavedLandmarks());
  this->LandmarksChanged();
}

//------------------------------------------------------------------------------
vtkIdType CHaldenDoc::AddLandmarkPair(
  const double source[3], const double target[3], std::string* refusal)
{
  if (LandmarkEdits::SourceCoincides(this->Landmarks, source))
  {
    if (refusal)
    {
      *refusal = Coincident;
    }
    return -1;
  }
  const vtkIdType index = this->LandmarkUndo.AddPair(this->Landmarks, source, target);
  this->LandmarksEdited();
  return index;
}

//------------------------------------------------------------------------------
bool CHaldenDoc::MoveLandmarkSource(
  vtkIdType index, const double source[3], bool continueDrag, std::string* refusal)
{
  if (LandmarkEdits::SourceCoincides(this->Landmarks, source, index))
  {
    if (refusal)
    {
      *refusal = Coincident;
    }
    return false;
  }
  this->LandmarkUndo.MoveSource(this->Landmarks, index, source, continueDrag);
  this->LandmarksEdited();
  return true;
}

//------------------------------------------------------------------------------
void CHaldenDoc::MoveLandmarkTarget(vtkIdType index, const double target[3], bool continueDrag)
{
  this->LandmarkUndo.MoveTarget(this->Landmarks, index, target, continueDrag);
  this->LandmarksEdited();
}

//------------------------------------------------------------------------------
void CHaldenDoc::RemoveLandmarkPair(vtkIdType index)
{
  this->LandmarkUndo.RemovePair(this->Landmarks, index);
  this->LandmarksEdited();
}

//------------------------------------------------------------------------------
bool CHaldenDoc::UndoLandmarkEdit(vtkIdType* index)
{
  if (!this->LandmarkUndo.Undo(this->Landmarks, index))
  {
    return false;
  }
  this->LandmarksEdited();
  return true;
}

//------------------------------------------------------------------------------
bool CHaldenDoc::RedoLandmarkEdit(vtkIdType* index)
{
  if (!this->LandmarkUndo.Redo(this->Landmarks, index))
  {
    return false;
  }
  this->LandmarksEdited();
  return true;
}

//------------------------------------------------------------------------------
void CHaldenDoc::OnSaveLandmarks()
{
  std::string fileName =
    this->LandmarkFileName.empty() ? this->GetPathName() : this->LandmarkFileName;
  if (this->PromptForFile(fileName, "Save Landmark File", MayReplace, LandmarkFiles, ".dat", FALSE))
  {
    this->SaveLandmarks(fileName);
  }
}

//------------------------------------------------------------------------------
BOOL CHaldenDoc::SaveLandmarks(const std::string& path)
{
  std::string reason;
  if (!WriteLandmarkFile(this->Landmarks, path, reason))
  {
    Tell("Cannot save the landmarks to", path, reason);
    return FALSE;
  }
  this->LandmarkFileName = path;
  this->LandmarkUndo.MarkSaved();
  this->SetModifiedFlag(this->HasUnsavedLandmarks());
  return TRUE;
}

//------------------------------------------------------------------------------
void CHaldenDoc::OnUpdateSaveLandmarks(CCmdUI* pCmdUI)
{
  pCmdUI->Enable(this->Landmarks.GetCount() > 0 || this->HasUnsavedLandmarks());
}

//------------------------------------------------------------------------------
void CHaldenDoc::OnLoadPoints()
{
  std::string fileName =
    this->Riding.GetFileName().empty() ? this->GetPathName() : this->Riding.GetFileName();
  if (this->PromptForFile(fileName, "Load Points", MustExist, PointFiles, ".txt", TRUE))
  {
    this->LoadPoints(fileName);
  }
}

//------------------------------------------------------------------------------
BOOL CHaldenDoc::LoadPoints(const std::string& path)
{
  std::string reason;
  if (!this->Riding.Load(path, reason))
  {
    Tell("Cannot load the points", path, reason);
    return FALSE;
  }
  this->Riding.Follow(this->TransformOn ? this->ShapeTransform : nullptr);
  this->AddEditingProps();
  this->UpdateAllViews(nullptr);
  return TRUE;
}

//------------------------------------------------------------------------------
void CHaldenDoc::OnSavePoints()
{
  std::string fileName = this->Riding.GetFileName();
  if (this->PromptForFile(fileName, "Save Points", MayReplace, PointFiles, ".txt", FALSE))
  {
    this->SavePoints(fileName);
  }
}

//------------------------------------------------------------------------------
BOOL CHaldenDoc::SavePoints(const std::string& path)
{
  // Where the model is shown: a background computation of its displacements ends first.
  this->FinishDeformation();
  std::string reason;
  if (!this->Riding.Save(path, reason))
  {
    Tell("Cannot save the points to", path, reason);
    return FALSE;
  }
  return TRUE;
}

//------------------------------------------------------------------------------
void CHaldenDoc::OnUpdateSavePoints(CCmdUI* pCmdUI)
{
  pCmdUI->Enable(this->NoData == 0 && this->Riding.GetCount() > 0);
}

//------------------------------------------------------------------------------
void CHaldenDoc::OnLoadTargetModel()
{
  std::string fileName =
    this->Target.GetFileName().empty() ? this->GetPathName() : this->Target.GetFileName();
  if (this->PromptForFile(fileName, "Load Target Model", MustExist, ModelFiles, ".vtk", TRUE))
  {
    this->LoadTargetModel(fileName);
  }
}

//------------------------------------------------------------------------------
BOOL CHaldenDoc::LoadTargetModel(const std::string& path)
{
  std::string reason;
  if (!this->Target.Load(path, reason))
  {
    Tell("Cannot open the target model", path, reason);
    return FALSE;
  }
  this->AddEditingProps();
  this->UpdateAllViews(nullptr);
  return TRUE;
}

//------------------------------------------------------------------------------
void CHaldenDoc::UseLiveFit(const TransformCoefficients& fitted)
{
  // As a fit from the dialog is put in force (unsaved until Save Transform), but the view's
  // animation is left to the editing that asked for the refit.
  this->UseCoefficients(fitted);
  this->TransformFileName.clear();
  this->TransformUnsaved = true;
  this->ShowDeformation();
  this->ShowTransformName();
}

//------------------------------------------------------------------------------
BOOL CHaldenDoc::KeepEditedLandmarks()
{
  if (!this->HasUnsavedLandmarks())
  {
    return TRUE;
  }
  switch (AfxMessageBox("The landmarks have edits that have not been saved. Save them first?",
    MB_YESNOCANCEL | MB_ICONEXCLAMATION))
  {
    case IDCANCEL:
      return FALSE;
    case IDYES:
    {
      std::string fileName =
        this->LandmarkFileName.empty() ? this->GetPathName() : this->LandmarkFileName;
      return this->PromptForFile(
               fileName, "Save Landmark File", MayReplace, LandmarkFiles, ".dat", FALSE) &&
        this->SaveLandmarks(fileName);
    }
    default:
      return TRUE;
  }
}

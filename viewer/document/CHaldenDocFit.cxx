// CHaldenDoc: fitting the landmarks from the window, the fitted transform and its saving.

#include "CHaldenDoc.h"

#include "FrameWnd.h"
#include "NumberText.h"
#include "Prompts.h"
#include "View.h"
#include "vtkMFCViewHooks.h"

#include <vtkPoints.h>

#include <cmath>

namespace
{
const char* const TransformFiles = "Transform Files\0*.TRC\0All Files\0*.*\0";

std::string Number(double value)
{
  std::string text;
  NumberText::AppendShortest(text, value);
  return text;
}

// "1 landmark", "12 landmarks".
std::string Counted(vtkIdType n)
{
  return std::to_string(n) + (n == 1 ? " landmark" : " landmarks");
}
}

//------------------------------------------------------------------------------
unsigned long CHaldenDoc::FitLandmarks(double radius, double smoothing)
{
  if (!this->FitJob)
  {
    this->FitJob = std::make_unique<LandmarkFitJob>([this](const LandmarkFitResult& result)
      { this->FitArrived(result); },
      [this](const std::string& stage, double share) { this->FitStageReached(stage, share); });
  }
  this->FitRadius = radius;
  this->FitSmoothing = smoothing;
  this->FitFailure.clear();
  const unsigned long submission = this->FitJob->Submit(
    this->Landmarks.GetSources(), this->Landmarks.GetTargets(), radius, smoothing);
  if (CView* view = this->GetFirstView())
  {
    view->SetBusyCursor(TRUE);
  }
  this->SetStatusText("Fitting " + Counted(this->Landmarks.GetCount()) + "...");
  return submission;
}

//------------------------------------------------------------------------------
void CHaldenDoc::FitStageReached(const std::string& stage, double share)
{
  std::string text = "Fitting " + Counted(this->Landmarks.GetCount()) + ": " + stage;
  if (share > 0.0)
  {
    text += " " + std::to_string(static_cast<int>(std::floor(share * 100.0))) + "%";
  }
  this->SetStatusText(text);
}

//------------------------------------------------------------------------------
void CHaldenDoc::FitArrived(const LandmarkFitResult& result)
{
  if (CView* view = this->GetFirstView())
  {
    view->SetBusyCursor(FALSE);
  }
  if (!result.Succeeded || !result.Coefficients)
  {
    // The deformation in force stays as it is.
    this->FitFailure = result.Reason;
    this->SetStatusText("The landmarks could not be fitted.");
    AfxMessageBox("Cannot fit the " + Counted(result.Landmarks) + " with the radius " +
        Number(result.Radius) + ": " + result.Reason,
      MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  if (!this->UseFittedTransform(*result.Coefficients))
  {
    return;
  }
  std::string text = "Fitted " + Counted(result.Landmarks) + " (radius " + Number(result.Radius) +
    ", smoothing " + Number(result.Smoothing) + ") in " +
    Number(std::round(result.Seconds * 100.0) / 100.0) + " s; File > Save Transform keeps it.";
  if (!result.Warnings.empty())
  {
    text += " " + result.Warnings.substr(0, result.Warnings.find('\n'));
  }
  this->SetStatusText(text);
}

//------------------------------------------------------------------------------
BOOL CHaldenDoc::UseFittedTransform(const TransformCoefficients& fitted)
{
  // As Load Transform does with the fit's coefficient file: its contents in force, then
  // shown and animated.
  TransformCoefficients asLoaded;
  const TransformFileResult check = AsReadFromFile(fitted, asLoaded);
  if (check.Status != TransformFileStatus::Ok)
  {
    AfxMessageBox(
      "Cannot use the fitted transform: " + check.Reason + ".", MB_OK | MB_ICONEXCLAMATION);
    return FALSE;
  }
  this->UseCoefficients(std::move(asLoaded));
  this->TransformFileName.clear();
  this->TransformUnsaved = true;
  this->ShowDeformation();
  if (auto* hooks = dynamic_cast<vtkMFCViewHooks*>(this->GetFirstView()))
  {
    hooks->AnimationOn();
  }
  this->ShowTransformName();
  return TRUE;
}

//------------------------------------------------------------------------------
void CHaldenDoc::OnSaveTransform()
{
  std::string fileName = !this->LandmarkFileName.empty() ? this->LandmarkFileName
    : !this->TransformFileName.empty()                   ? this->TransformFileName
                                                         : this->GetPathName();
  if (this->PromptForFile(fileName, "Save Transform File", 0, TransformFiles, ".trc", FALSE))
  {
    this->SaveTransform(fileName);
  }
}

//------------------------------------------------------------------------------
void CHaldenDoc::OnUpdateSaveTransform(CCmdUI* pCmdUI)
{
  pCmdUI->Enable(this->SplineCoeffX && (this->TransformOn == 1 || this->TransformUnsaved));
}

//------------------------------------------------------------------------------
BOOL CHaldenDoc::SaveTransform(const std::string& path)
{
  const TransformCoefficients& c = this->Coefficients;
  std::string reason = "there is no transform to save";
  if (!c.CoeffX.empty() && c.Points &&
    WriteTransformCoefficients(path.c_str(), c.Radius, c.Points, c.CoeffX.data(), c.CoeffY.data(),
      c.CoeffZ.data(), c.UnList.data(), &reason,
      c.Constants.size() == 3 ? c.Constants.data() : nullptr) == TransformWriteStatus::Ok)
  {
    this->TransformUnsaved = false;
    this->TransformFileName = path;
    this->ShowTransformName();
    this->SetStatusText("Saved the transform to " + path + ".");
    return TRUE;
  }
  while (!reason.empty() && (reason.back() == '.' || reason.back() == ' '))
  {
    reason.pop_back();
  }
  AfxMessageBox(
    "Cannot save the transform to \"" + path + "\": " + reason + ".", MB_OK | MB_ICONEXCLAMATION);
  return FALSE;
}

//------------------------------------------------------------------------------
BOOL CHaldenDoc::KeepFittedTransform()
{
  if (!this->TransformUnsaved)
  {
    return TRUE;
  }
  switch (AfxMessageBox(
    "The fitted transform has not been saved. Save it first?", MB_YESNOCANCEL | MB_ICONEXCLAMATION))
  {
    case IDCANCEL:
      return FALSE;
    case IDYES:
    {
      std::string fileName =
        !this->LandmarkFileName.empty() ? this->LandmarkFileName : this->GetPathName();
      return this->PromptForFile(
               fileName, "Save Transform File", 0, TransformFiles, ".trc", FALSE) &&
        this->SaveTransform(fileName);
    }
    default:
      return TRUE;
  }
}

//------------------------------------------------------------------------------
BOOL CHaldenDoc::SaveModified()
{
  // Unsaved landmark edits are what marks this document modified: they are asked about
  // here, and the base must not answer for them by saving the model over its file.
  return this->KeepFittedTransform() && this->KeepEditedLandmarks() &&
    (this->HasUnsavedLandmarks() || vtkMFCDoc::SaveModified());
}

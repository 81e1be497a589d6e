#include "LandmarkFitJob.h"

#include "SmoothingReport.h"
#include "TargetMoveRefit.h"
#include "TransformFile.h"
#include "Wnd.h" // PostToUserInterface
#include "vtkLandmarkSplineFit.h"

#include <vtkCallbackCommand.h>
#include <vtkCommand.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkSmartPointer.h>

#include <chrono>
#include <condition_variable>
#include <optional>

namespace
{
// Progress below this share of the work since the last report is not worth a trip to the
// user-interface thread (the factorisation reports many small steps).
constexpr double ReportedShare = 0.02;

vtkSmartPointer<vtkPoints> CopyOf(vtkPoints* points)
{
  auto copy = vtkSmartPointer<vtkPoints>::New();
  copy->SetDataTypeToDouble();
  if (points)
  {
    copy->DeepCopy(points);
  }
  return copy;
}

// The text of a VTK error or warning without the "vtkClass (0x...): " in front of it.
std::string MessageText(const char* message)
{
  std::string text = message ? message : "";
  const auto mark = text.find("): ");
  if (mark != std::string::npos && text.compare(0, 3, "vtk") == 0)
  {
    text.erase(0, mark + 3);
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
  {
    text.pop_back();
  }
  return text;
}
}

//------------------------------------------------------------------------------
struct LandmarkFitJob::Request
{
  unsigned long Submission = 0;
  vtkSmartPointer<vtkPoints> Sources;
  vtkSmartPointer<vtkPoints> Targets;
  double Radius = 0.0;
  double Smoothing = 0.0;
  bool Quick = false;
};

//------------------------------------------------------------------------------
struct LandmarkFitJob::Shared
{
  std::mutex Lock;
  std::condition_variable Changed;
  std::optional<Request> Waiting; // the latest submission not taken by the worker yet
  bool Stop = false;
  // The last full fit and the responses to moved targets; the worker's alone.
  TargetMoveRefit Refit;
};

namespace
{
// The system's response to a unit move of target `moved`: one fit, silent (a failure only
// means the full fit answers instead).
bool FitResponse(const vtkSmartPointer<vtkPoints>& sources, vtkIdType moved, double radius,
  double smoothing, TargetMoveRefit& refit)
{
  vtkNew<vtkPoints> targets;
  TargetMoveRefit::ResponseTargets(sources, moved, refit.ResponseStep(), targets);
  vtkNew<vtkLandmarkSplineFit> fit;
  fit->SetSourceLandmarks(sources);
  fit->SetTargetLandmarks(targets);
  fit->SetRadius(radius);
  fit->SetSmoothing(smoothing);
  vtkNew<vtkCallbackCommand> quiet; // keeps the fit's errors and warnings off the terminal
  fit->AddObserver(vtkCommand::ErrorEvent, quiet);
  fit->AddObserver(vtkCommand::WarningEvent, quiet);
  if (!fit->Fit())
  {
    return false;
  }
  refit.SetResponse(moved, fit->GetFittedCoefficients());
  return refit.HasResponse(moved);
}
}

//------------------------------------------------------------------------------
std::mutex& LandmarkFitJob::FitLock()
{
  static std::mutex lock;
  return lock;
}

//------------------------------------------------------------------------------
LandmarkFitJob::LandmarkFitJob(ResultHandler onResult, StageHandler onStage)
  : OnResult(std::move(onResult))
  , OnStage(std::move(onStage))
  , State(std::make_shared<Shared>())
{
  this->Worker =
    std::thread(&LandmarkFitJob::Work, this->State, std::weak_ptr<int>(this->Alive), this);
}

//------------------------------------------------------------------------------
LandmarkFitJob::~LandmarkFitJob()
{
  {
    std::lock_guard<std::mutex> lock(this->State->Lock);
    this->State->Stop = true;
    this->State->Waiting.reset();
  }
  this->State->Changed.notify_all();
  this->Worker.join();
}

//------------------------------------------------------------------------------
unsigned long LandmarkFitJob::Submit(
  vtkPoints* sources, vtkPoints* targets, double radius, double smoothing, bool quick)
{
  Request request;
  request.Submission = ++this->Latest;
  request.Sources = CopyOf(sources);
  request.Targets = CopyOf(targets);
  request.Radius = radius;
  request.Smoothing = smoothing;
  request.Quick = quick;
  this->LastSubmittedQuick = quick;
  this->LastSources = request.Sources;
  this->LastTargets = request.Targets;
  this->LastRadius = radius;
  this->LastSmoothing = smoothing;
  {
    std::lock_guard<std::mutex> lock(this->State->Lock);
    this->State->Waiting = std::move(request);
  }
  this->State->Changed.notify_all();
  return this->Latest;
}

//------------------------------------------------------------------------------
unsigned long LandmarkFitJob::Settle()
{
  // The latest submission, if it may be answered quickly: still to come, or answered so.
  const bool quick = this->IsBusy() ? this->LastSubmittedQuick : this->LastDeliveredQuick;
  if (!quick || !this->LastSources)
  {
    return 0;
  }
  this->LastDeliveredQuick = false;
  // The copies are never changed: they may be submitted again as they are.
  return this->Submit(
    this->LastSources, this->LastTargets, this->LastRadius, this->LastSmoothing, false);
}

//------------------------------------------------------------------------------
void LandmarkFitJob::Cancel()
{
  {
    std::lock_guard<std::mutex> lock(this->State->Lock);
    this->State->Waiting.reset();
  }
  this->Settled = this->Latest;
}

//------------------------------------------------------------------------------
void LandmarkFitJob::Deliver(const LandmarkFitResult& result)
{
  if (result.Submission <= this->Settled)
  {
    return; // cancelled, or a newer result was delivered already
  }
  if (result.Submission != this->Latest && !(this->ShowIntermediate && result.Succeeded))
  {
    return; // a newer submission exists
  }
  this->Settled = result.Submission;
  this->LastDeliveredQuick = result.Quick;
  if (this->OnResult)
  {
    this->OnResult(result);
  }
}

//------------------------------------------------------------------------------
void LandmarkFitJob::ReportStage(unsigned long submission, const std::string& stage, double share)
{
  if (submission == this->Latest && submission > this->Settled && this->OnStage)
  {
    this->OnStage(stage, share);
  }
}

//------------------------------------------------------------------------------
void LandmarkFitJob::Work(
  std::shared_ptr<Shared> shared, std::weak_ptr<int> alive, LandmarkFitJob* job)
{
  for (;;)
  {
    Request request;
    {
      std::unique_lock<std::mutex> lock(shared->Lock);
      shared->Changed.wait(lock, [&] { return shared->Stop || shared->Waiting.has_value(); });
      if (shared->Stop)
      {
        return;
      }
      request = std::move(*shared->Waiting);
      shared->Waiting.reset();
    }
    LandmarkFitResult result = Fit(request, shared, alive, job);
    if (result.Submission == 0)
    {
      continue; // overtaken while it waited for the lock: never fitted
    }
    PostToUserInterface(
      [alive, job, result]
      {
        if (alive.lock())
        {
          job->Deliver(result);
        }
      });
  }
}

//------------------------------------------------------------------------------
bool LandmarkFitJob::QuickRefit(
  const Request& request, TargetMoveRefit& refit, LandmarkFitResult& result)
{
  const vtkIdType moved =
    refit.MovedTarget(request.Sources, request.Targets, request.Radius, request.Smoothing);
  if (moved < 0 ||
    (!refit.HasResponse(moved) &&
      !FitResponse(request.Sources, moved, request.Radius, request.Smoothing, refit)))
  {
    return false;
  }
  std::shared_ptr<const TransformCoefficients> fitted = refit.Apply(request.Targets);
  if (!fitted)
  {
    return false;
  }
  const int n = static_cast<int>(fitted->CoeffX.size()) - 4;
  double rms = 0.0;
  LandmarkDistances(request.Smoothing, n, fitted->CoeffX.data(), fitted->CoeffY.data(),
    fitted->CoeffZ.data(), result.LandmarkMaximumDistance, rms);
  result.Coefficients = std::move(fitted);
  result.Succeeded = true;
  result.Quick = true;
  return true;
}

//------------------------------------------------------------------------------
LandmarkFitResult LandmarkFitJob::Fit(const Request& request, const std::shared_ptr<Shared>& shared,
  const std::weak_ptr<int>& alive, LandmarkFitJob* job)
{
  LandmarkFitResult result;
  result.Radius = request.Radius;
  result.Smoothing = request.Smoothing;
  result.Landmarks = request.Sources->GetNumberOfPoints();

  vtkNew<vtkLandmarkSplineFit> fit;
  fit->SetSourceLandmarks(request.Sources);
  fit->SetTargetLandmarks(request.Targets);
  fit->SetRadius(request.Radius);
  fit->SetSmoothing(request.Smoothing);

  // Observing the errors and warnings keeps them off the terminal; the result carries them.
  std::string lastStage;
  double lastShare = -1.0;
  const unsigned long submission = request.Submission;
  auto observe = [&](unsigned long event, void* callData)
  {
    if (event == vtkCommand::WarningEvent)
    {
      result.Warnings +=
        (result.Warnings.empty() ? "" : "\n") + MessageText(static_cast<const char*>(callData));
      return;
    }
    if (event != vtkCommand::ProgressEvent && event != vtkCommand::StartEvent)
    {
      return; // errors: GetErrorMessage() holds the sentence
    }
    const std::string stage = event == vtkCommand::StartEvent ? "starting" : fit->GetStage();
    const double share =
      callData && event == vtkCommand::ProgressEvent ? *static_cast<const double*>(callData) : 0.0;
    if (stage == lastStage && share - lastShare < ReportedShare)
    {
      return;
    }
    lastStage = stage;
    lastShare = share;
    PostToUserInterface(
      [alive, job, submission, stage, share]
      {
        if (alive.lock())
        {
          job->ReportStage(submission, stage, share);
        }
      });
  };
  vtkNew<vtkCallbackCommand> command;
  command->SetClientData(&observe);
  command->SetCallback([](vtkObject*, unsigned long event, void* clientData, void* callData)
    { (*static_cast<decltype(observe)*>(clientData))(event, callData); });
  for (const unsigned long event : { vtkCommand::StartEvent, vtkCommand::ProgressEvent,
         vtkCommand::ErrorEvent, vtkCommand::WarningEvent })
  {
    fit->AddObserver(event, command);
  }

  std::lock_guard<std::mutex> fitting(FitLock());
  {
    std::lock_guard<std::mutex> lock(shared->Lock);
    if (shared->Waiting.has_value() || shared->Stop)
    {
      return LandmarkFitResult(); // a newer submission waits: this one would be dropped anyway
    }
  }
  const auto begin = std::chrono::steady_clock::now();
  result.Submission = submission;
  if (request.Quick && QuickRefit(request, shared->Refit, result))
  {
    result.Seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    return result;
  }
  result.Succeeded = fit->Fit() != 0;
  result.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  if (result.Succeeded)
  {
    result.Coefficients = fit->GetFittedCoefficients();
    result.LandmarkMaximumDistance = fit->GetLandmarkMaximumDistance();
    shared->Refit.SetBase(
      request.Sources, request.Targets, request.Radius, request.Smoothing, result.Coefficients);
  }
  else
  {
    result.Reason = fit->GetErrorMessage();
    if (result.Reason.empty())
    {
      result.Reason = "The fit failed without a reason.";
    }
  }
  return result;
}

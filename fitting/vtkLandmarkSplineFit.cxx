#include "vtkLandmarkSplineFit.h"

#include "FitProgress.h"
#include "SmoothingReport.h"
#include "SolverChoice.h"
#include "TransformFile.h"
#include "vtkDatReader.h"
#include "vtkMatrixSolver.h"
#include "vtkShapeTransform.h"

#include <vtkIdList.h>
#include <vtkMath.h>
#include <vtkObjectFactory.h>
#include <vtkPointLocator.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <new>
#include <vector>

vtkStandardNewMacro(vtkLandmarkSplineFit);

namespace
{
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to)
{
  return std::chrono::duration<double>(to - from).count();
}

// Times the solver's stages as it reports them.
class StageClock : public FitObserver
{
public:
  explicit StageClock(vtkObject* solver) { this->Observe(solver); }

  void StageBegins(FitStage stage) override
  {
    this->Stop();
    this->Current = stage;
    this->Running = true;
    this->Start = Clock::now();
  }
  void EnvelopeAssembled(int n, const int* xenv, const float*) override
  {
    this->EnvelopeEntries = n > 0 ? xenv[n] - 1 : 0;
  }

  void Stop()
  {
    if (this->Running)
    {
      this->Time[static_cast<int>(this->Current)] += Seconds(this->Start, Clock::now());
      this->Running = false;
    }
  }
  double Of(FitStage stage) const { return this->Time[static_cast<int>(stage)]; }

  vtkIdType EnvelopeEntries = 0;

private:
  FitStage Current = FitStage::Reading;
  bool Running = false;
  Clock::time_point Start;
  double Time[static_cast<int>(FitStage::Writing) + 1] = {};
};

// The weight of each stage in a fit's progress: where it starts, and how far it reaches.
double StageStart(FitStage stage)
{
  switch (stage)
  {
    case FitStage::Reading:
    case FitStage::Ordering:
      return 0.05;
    case FitStage::Assembly:
      return 0.15;
    case FitStage::Factorisation:
    case FitStage::SparseSolve:
      return 0.3;
    case FitStage::Solves:
      return 0.85;
    case FitStage::Writing:
      break;
  }
  return 0.95;
}
}

// Turns the solver's stages and factorisation progress into the fit's ProgressEvents.
class FitProgressRelay : public FitObserver
{
public:
  FitProgressRelay(vtkLandmarkSplineFit* fit, vtkObject* solver)
    : Fit(fit)
  {
    this->Observe(solver);
  }
  void StageBegins(FitStage stage) override
  {
    this->Current = stage;
    this->Fit->ReportProgress(FitStageName(stage), StageStart(stage));
  }
  void Progress(double fraction) override
  {
    if (this->Current == FitStage::Factorisation)
    {
      const double from = StageStart(FitStage::Factorisation);
      const double to = StageStart(FitStage::Solves);
      this->Fit->ReportProgress(
        FitStageName(this->Current), std::min(to, from + (to - from) * fraction));
    }
  }

private:
  vtkLandmarkSplineFit* Fit;
  FitStage Current = FitStage::Reading;
};

namespace
{
// Single-precision copy of a point set, as the fitting tool reads its landmarks; false when a
// coordinate is not a finite single-precision number.
bool CopyAsFloat(vtkPoints* from, vtkPoints* to)
{
  const vtkIdType n = from->GetNumberOfPoints();
  to->SetDataTypeToFloat();
  to->SetNumberOfPoints(n);
  for (vtkIdType i = 0; i < n; ++i)
  {
    double p[3];
    from->GetPoint(i, p);
    for (double& c : p)
    {
      if (!std::isfinite(c) || std::fabs(c) > std::numeric_limits<float>::max())
      {
        return false;
      }
    }
    to->SetPoint(i, p);
  }
  return true;
}
}

//------------------------------------------------------------------------------
vtkLandmarkSplineFit::vtkLandmarkSplineFit()
  : SourceLandmarks(nullptr)
  , TargetLandmarks(nullptr)
  , Radius(0.0)
  , Transform(vtkShapeTransform::New())
{
  this->Transform->SetFactor(1.0f);
  this->ClearStatistics();
}

//------------------------------------------------------------------------------
vtkLandmarkSplineFit::~vtkLandmarkSplineFit()
{
  this->SetSourceLandmarks(nullptr);
  this->SetTargetLandmarks(nullptr);
  this->Transform->Delete();
}

//------------------------------------------------------------------------------
vtkCxxSetObjectMacro(vtkLandmarkSplineFit, SourceLandmarks, vtkPoints);
vtkCxxSetObjectMacro(vtkLandmarkSplineFit, TargetLandmarks, vtkPoints);

//------------------------------------------------------------------------------
void vtkLandmarkSplineFit::ClearStatistics()
{
  this->NumberOfLandmarks = 0;
  this->MinimumNeighbors = 0;
  this->MaximumNeighbors = 0;
  this->MeanNeighbors = 0.0;
  this->EnvelopeSize = 0;
  this->InputTime = 0.0;
  this->OrderingTime = 0.0;
  this->AssemblyTime = 0.0;
  this->FactorizationTime = 0.0;
  this->SolveTime = 0.0;
  this->TotalTime = 0.0;
}

//------------------------------------------------------------------------------
int vtkLandmarkSplineFit::Fail(const std::string& message)
{
  this->ErrorMessage = message;
  vtkErrorMacro(<< message);
  return 0;
}

//------------------------------------------------------------------------------
void vtkLandmarkSplineFit::UseSpline(const std::shared_ptr<TransformCoefficients>& spline)
{
  this->Spline = spline;
  // The transform copies the arrays and holds the points and the locator: it outlives this.
  this->Transform->SetParameters(*spline);
  this->Modified();
}

//------------------------------------------------------------------------------
void vtkLandmarkSplineFit::ReportProgress(const char* stage, double fraction)
{
  this->Stage = stage;
  this->InvokeEvent(vtkCommand::ProgressEvent, &fraction);
}

//------------------------------------------------------------------------------
int vtkLandmarkSplineFit::Fit()
{
  this->InvokeEvent(vtkCommand::StartEvent);
  const int result = this->FitLandmarks();
  this->Stage = "";
  this->InvokeEvent(vtkCommand::EndEvent);
  return result;
}

//------------------------------------------------------------------------------
int vtkLandmarkSplineFit::FitLandmarks()
{
  this->ErrorMessage.clear();
  this->ReportProgress("input", 0.0);
  const Clock::time_point begin = Clock::now();
  if (!this->SourceLandmarks || !this->TargetLandmarks)
  {
    return this->Fail("Set the source and the target landmarks before fitting.");
  }
  const vtkIdType count = this->SourceLandmarks->GetNumberOfPoints();
  if (count != this->TargetLandmarks->GetNumberOfPoints())
  {
    return this->Fail("The source and target landmark sets differ in size (" +
      std::to_string(count) + " and " + std::to_string(this->TargetLandmarks->GetNumberOfPoints()) +
      ").");
  }
  if (count > std::numeric_limits<int>::max() - 4)
  {
    return this->Fail("Too many landmarks for one fit (" + std::to_string(count) + ").");
  }
  const float radius = static_cast<float>(this->Radius);
  if (!(std::isfinite(this->Radius) && radius > 0.0f))
  {
    return this->Fail(
      "The radius must be a positive number (it is " + std::to_string(this->Radius) + ").");
  }
  const int n = static_cast<int>(count);

  try
  {
    auto spline = std::make_shared<TransformCoefficients>();
    spline->Radius = radius;
    spline->Points = vtkSmartPointer<vtkPoints>::New();
    vtkNew<vtkPoints> targets;
    if (!CopyAsFloat(this->SourceLandmarks, spline->Points) ||
      !CopyAsFloat(this->TargetLandmarks, targets))
    {
      return this->Fail("A landmark coordinate is not a finite single-precision number.");
    }
    const Clock::time_point copied = Clock::now();
    this->ReportProgress(FitStageName(FitStage::Ordering), StageStart(FitStage::Ordering));

    // The locator over the source positions serves the ordering, the checks and the transform.
    vtkNew<vtkPolyData> polyData;
    polyData->SetPoints(spline->Points);
    spline->Locator = vtkSmartPointer<vtkPointLocator>::New();
    spline->Locator->SetDataSet(polyData);
    if (n > 0)
    {
      spline->Locator->BuildLocator();
    }
    int first = 0;
    int second = 0;
    if (FindCoincidentLandmarks(spline->Points, spline->Locator, first, second))
    {
      return this->Fail("Landmarks " + std::to_string(first) + " and " + std::to_string(second) +
        " (counted from 0) share one source position.");
    }
    int max = 0;
    const std::unique_ptr<int[]> list(
      GetWellOderredList(max, n, radius, spline->Points, spline->Locator));
    spline->UnList.resize(n);
    std::vector<float> b[3];
    for (std::vector<float>& axis : b)
    {
      axis.resize(n);
    }
    for (int k = 0; k < n; ++k)
    {
      spline->UnList[list[k]] = k;
      double s[3];
      double t[3];
      spline->Points->GetPoint(list[k], s);
      targets->GetPoint(list[k], t);
      for (int a = 0; a < 3; ++a)
      {
        b[a][k] = static_cast<float>(s[a]) - static_cast<float>(t[a]);
      }
    }
    vtkIdType fewest = n > 0 ? std::numeric_limits<vtkIdType>::max() : 0;
    vtkIdType most = 0;
    double total = 0.0;
    vtkNew<vtkIdList> ids;
    for (int i = 0; i < n; ++i)
    {
      spline->Locator->FindPointsWithinRadius(radius, spline->Points->GetPoint(i), ids);
      const vtkIdType neighbours = ids->GetNumberOfIds() - 1;
      fewest = std::min(fewest, neighbours);
      most = std::max(most, neighbours);
      total += static_cast<double>(neighbours);
    }
    const Clock::time_point ordered = Clock::now();

    vtkNew<vtkMatrixSolver> solver;
    solver->SetRadius(radius);
    solver->SetPointArray(spline->Points);
    solver->SetList(list.get());
    solver->SetMax(max);
    solver->SetBX(b[0].data());
    solver->SetBY(b[1].data());
    solver->SetBZ(b[2].data());
    solver->SetMethod(this->Solver == SolverSparse ? FitSolver::Sparse
        : this->Solver == SolverEnvelope           ? FitSolver::Envelope
                                                   : FitSolver::Auto);
    solver->SetSmoothing(this->Smoothing);
    StageClock clock(solver);
    FitProgressRelay relay(this, solver);
    solver->Solve();
    clock.Stop();
    const std::unique_ptr<float[]> coefficients[3] = { std::unique_ptr<float[]>(
                                                         solver->GetSplineCoeffX()),
      std::unique_ptr<float[]>(solver->GetSplineCoeffY()),
      std::unique_ptr<float[]>(solver->GetSplineCoeffZ()) };
    if (solver->GetFactorizationFailed())
    {
      return this->Fail("The kernel matrix is not positive definite: no spline fitted.");
    }
    if (!solver->GetSolveConverged())
    {
      return this->Fail("The sparse solve did not converge: no spline fitted.");
    }
    std::vector<float>* outputs[3] = { &spline->CoeffX, &spline->CoeffY, &spline->CoeffZ };
    for (int a = 0; a < 3; ++a)
    {
      outputs[a]->assign(coefficients[a].get(), coefficients[a].get() + n + 4);
      for (const float c : *outputs[a])
      {
        if (!std::isfinite(c))
        {
          return this->Fail("The fit gave coefficients that are not finite numbers (landmark "
                            "values too large?).");
        }
      }
    }
    this->UseSpline(spline);
    LandmarkDistances(this->Smoothing, n, spline->CoeffX.data(), spline->CoeffY.data(),
      spline->CoeffZ.data(), this->LandmarkMaximumDistance, this->LandmarkRMSDistance);

    this->NumberOfLandmarks = n;
    this->MinimumNeighbors = fewest;
    this->MaximumNeighbors = most;
    this->MeanNeighbors = n > 0 ? total / n : 0.0;
    this->EnvelopeSize = clock.EnvelopeEntries;
    this->SparseSolveUsed = solver->GetSparseSolveUsed();
    this->InputTime = Seconds(begin, copied);
    this->OrderingTime = Seconds(copied, ordered);
    this->AssemblyTime = clock.Of(FitStage::Assembly);
    this->FactorizationTime = clock.Of(FitStage::Factorisation);
    this->SolveTime = clock.Of(FitStage::Solves) + clock.Of(FitStage::SparseSolve);
    this->TotalTime = Seconds(begin, Clock::now());
    return 1;
  }
  catch (const char* message)
  {
    return this->Fail(message);
  }
  catch (const std::bad_alloc&)
  {
    return this->Fail("Not enough memory");
  }
}

//------------------------------------------------------------------------------
int vtkLandmarkSplineFit::FitWithout(const std::vector<bool>& leftOut, double smoothing,
  double& maximum, double& squares, vtkIdType& count)
{
  vtkNew<vtkPoints> sources;
  vtkNew<vtkPoints> targets;
  std::vector<vtkIdType> out;
  const vtkIdType n = this->SourceLandmarks->GetNumberOfPoints();
  for (vtkIdType i = 0; i < n; ++i)
  {
    if (leftOut[i])
    {
      out.push_back(i);
    }
    else
    {
      sources->InsertNextPoint(this->SourceLandmarks->GetPoint(i));
      targets->InsertNextPoint(this->TargetLandmarks->GetPoint(i));
    }
  }
  vtkNew<vtkLandmarkSplineFit> rest;
  rest->SetSourceLandmarks(sources);
  rest->SetTargetLandmarks(targets);
  rest->SetRadius(this->Radius);
  rest->SetSolver(this->Solver);
  rest->SetSmoothing(smoothing);
  if (!rest->Fit())
  {
    return this->Fail(
      std::string("The fit without the left-out landmarks failed: ") + rest->GetErrorMessage());
  }
  for (const vtkIdType i : out)
  {
    double p[3];
    double t[3];
    this->SourceLandmarks->GetPoint(i, p);
    this->TargetLandmarks->GetPoint(i, t);
    double moved[3];
    rest->GetTransform()->TransformPoint(p, moved);
    const double d2 = vtkMath::Distance2BetweenPoints(moved, t);
    maximum = std::max(maximum, std::sqrt(d2));
    squares += d2;
    ++count;
  }
  return 1;
}

//------------------------------------------------------------------------------
int vtkLandmarkSplineFit::LeaveOutCheck(double share)
{
  this->ErrorMessage.clear();
  if (!this->SourceLandmarks || !this->TargetLandmarks ||
    this->SourceLandmarks->GetNumberOfPoints() != this->TargetLandmarks->GetNumberOfPoints())
  {
    return this->Fail("Set two landmark sets of equal size before the leave-out check.");
  }
  if (!(share > 0.0 && share < 1.0))
  {
    return this->Fail("The share to leave out must lie between 0 and 1.");
  }
  // Evenly through the list: landmark i goes when the running share passes a whole number.
  const vtkIdType n = this->SourceLandmarks->GetNumberOfPoints();
  std::vector<bool> leftOut(static_cast<size_t>(n));
  vtkIdType chosen = 0;
  for (vtkIdType i = 0; i < n; ++i)
  {
    leftOut[i] = std::floor((i + 1) * share) > std::floor(i * share);
    chosen += leftOut[i] ? 1 : 0;
  }
  if (chosen == 0 || chosen == n)
  {
    return this->Fail("Too few landmarks to leave a share of them out.");
  }
  double maximum = 0.0;
  double squares = 0.0;
  vtkIdType count = 0;
  if (!this->FitWithout(leftOut, this->Smoothing, maximum, squares, count))
  {
    return 0;
  }
  this->LeaveOutMaximumError = maximum;
  this->LeaveOutRMSError = std::sqrt(squares / static_cast<double>(count));
  return 1;
}

//------------------------------------------------------------------------------
double vtkLandmarkSplineFit::ChooseSmoothing(const double* candidates, int count, int folds)
{
  this->ErrorMessage.clear();
  if (!this->SourceLandmarks || !this->TargetLandmarks || !candidates || count <= 0 || folds < 2 ||
    this->SourceLandmarks->GetNumberOfPoints() < folds ||
    this->SourceLandmarks->GetNumberOfPoints() != this->TargetLandmarks->GetNumberOfPoints())
  {
    this->Fail("Cross-validation needs landmark sets of equal size with at least one landmark "
               "per fold, candidates and at least two folds.");
    return -1.0;
  }
  const vtkIdType n = this->SourceLandmarks->GetNumberOfPoints();
  double best = -1.0;
  double bestError = std::numeric_limits<double>::infinity();
  for (int c = 0; c < count; ++c)
  {
    if (!(candidates[c] >= 0.0))
    {
      continue;
    }
    double maximum = 0.0;
    double squares = 0.0;
    vtkIdType tested = 0;
    bool failed = false;
    for (int f = 0; f < folds && !failed; ++f)
    {
      std::vector<bool> leftOut(static_cast<size_t>(n));
      for (vtkIdType i = 0; i < n; ++i)
      {
        leftOut[i] = i % folds == f;
      }
      failed = !this->FitWithout(leftOut, candidates[c], maximum, squares, tested);
    }
    const double error = std::sqrt(squares / static_cast<double>(std::max<vtkIdType>(tested, 1)));
    if (!failed && error < bestError)
    {
      bestError = error;
      best = candidates[c];
    }
  }
  if (best >= 0.0)
  {
    this->ErrorMessage.clear();
    this->SetSmoothing(best);
    this->LeaveOutRMSError = bestError;
  }
  return best;
}

//------------------------------------------------------------------------------
int vtkLandmarkSplineFit::WriteCoefficientFile(const char* fileName)
{
  this->ErrorMessage.clear();
  if (!this->Spline)
  {
    return this->Fail("Nothing fitted yet: no coefficient file written.");
  }
  if (!fileName)
  {
    return this->Fail("No file name given.");
  }
  const TransformCoefficients& s = *this->Spline;
  std::string reason;
  if (WriteTransformCoefficients(fileName, s.Radius, s.Points, s.CoeffX.data(), s.CoeffY.data(),
        s.CoeffZ.data(), s.UnList.data(), &reason) != TransformWriteStatus::Ok)
  {
    return this->Fail(reason.empty() ? std::string("Cannot write ") + fileName : reason);
  }
  return 1;
}

//------------------------------------------------------------------------------
int vtkLandmarkSplineFit::ReadCoefficientFile(const char* fileName)
{
  this->ErrorMessage.clear();
  if (!fileName)
  {
    return this->Fail("No file name given.");
  }
  auto spline = std::make_shared<TransformCoefficients>();
  const TransformFileResult result = ReadTransformCoefficients(fileName, *spline);
  if (result.Status != TransformFileStatus::Ok)
  {
    return this->Fail(
      result.Reason.empty() ? std::string("Cannot read ") + fileName : result.Reason);
  }
  this->UseSpline(spline);
  this->ClearStatistics();
  this->NumberOfLandmarks = spline->Points->GetNumberOfPoints();
  this->Radius = spline->Radius;
  return 1;
}

//------------------------------------------------------------------------------
void vtkLandmarkSplineFit::PrintSelf(ostream& os, vtkIndent indent)
{
  this->Superclass::PrintSelf(os, indent);
  os << indent << "SourceLandmarks: " << this->SourceLandmarks << "\n";
  os << indent << "TargetLandmarks: " << this->TargetLandmarks << "\n";
  os << indent << "Radius: " << this->Radius << "\n";
  os << indent << "Solver: "
     << (this->Solver == SolverSparse        ? "sparse"
            : this->Solver == SolverEnvelope ? "envelope"
                                             : "auto")
     << " (last fit: " << (this->SparseSolveUsed ? "sparse" : "envelope") << ")\n";
  os << indent << "Smoothing: " << this->Smoothing << "\n";
  os << indent << "Landmark distance (max, RMS): " << this->LandmarkMaximumDistance << ", "
     << this->LandmarkRMSDistance << "\n";
  os << indent << "Leave-out error (max, RMS): " << this->LeaveOutMaximumError << ", "
     << this->LeaveOutRMSError << "\n";
  os << indent << "Transform: " << this->Transform << "\n";
  os << indent << "NumberOfLandmarks: " << this->NumberOfLandmarks << "\n";
  os << indent << "Neighbors (min, mean, max): " << this->MinimumNeighbors << ", "
     << this->MeanNeighbors << ", " << this->MaximumNeighbors << "\n";
  os << indent << "EnvelopeSize: " << this->EnvelopeSize << "\n";
  os << indent
     << "Times (input, ordering, assembly, factorization, solves, total): " << this->InputTime
     << ", " << this->OrderingTime << ", " << this->AssemblyTime << ", " << this->FactorizationTime
     << ", " << this->SolveTime << ", " << this->TotalTime << "\n";
  os << indent << "ErrorMessage: " << this->ErrorMessage << "\n";
}

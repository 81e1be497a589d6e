#include "vtkLandmarkSplineFit.h"

#include "FitProgress.h"
#include "LandmarkFrame.h"
#include "NeighbourStatistics.h"
#include "SmoothingReport.h"
#include "SolverChoice.h"
#include "TransformFile.h"
#include "vtkDatReader.h"
#include "vtkMatrixSolver.h"
#include "vtkShapeTransform.h"

#include <vtkCallbackCommand.h>
#include <vtkCommand.h>
#include <vtkIdList.h>
#include <vtkMath.h>
#include <vtkNew.h>
#include <vtkObjectFactory.h>
#include <vtkPointLocator.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
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

// A number as a user would write it (shortest form, C locale not needed for %g here).
std::string Text(double value)
{
  char text[32];
  std::snprintf(text, sizeof(text), "%g", value);
  return text;
}

// Why the kernel matrix was not positive definite: the two landmarks whose sources lie
// closest, relative to the radius, cannot be told apart in single precision.
std::string TooCloseMessage(vtkPoints* points, vtkPointLocator* locator, float radius)
{
  const vtkIdType n = points->GetNumberOfPoints();
  vtkNew<vtkIdList> ids;
  double closest = std::numeric_limits<double>::infinity();
  vtkIdType first = -1;
  vtkIdType second = -1;
  for (vtkIdType i = 0; i < n; ++i)
  {
    double p[3];
    points->GetPoint(i, p);
    locator->FindClosestNPoints(2, p, ids);
    for (vtkIdType k = 0; k < ids->GetNumberOfIds(); ++k)
    {
      const vtkIdType j = ids->GetId(k);
      const double d2 = j == i ? closest : vtkMath::Distance2BetweenPoints(p, points->GetPoint(j));
      if (j != i && d2 < closest)
      {
        closest = d2;
        first = std::min(i, j);
        second = std::max(i, j);
      }
    }
  }
  std::string message =
    "The kernel matrix is not positive definite: no spline fitted. The sources of ";
  if (first < 0)
  {
    return message + "the landmarks lie too close together to be told apart.";
  }
  return message + "landmarks " + std::to_string(first) + " and " + std::to_string(second) +
    " (counted from 0) lie " + Text(std::sqrt(closest)) + " apart, too close to be told apart " +
    "at the radius " + Text(radius) + ".";
}

// While it lives, the solver's warnings become the fit's own (its errors are the fit's
// failure message already).
class SolverReports
{
public:
  SolverReports(vtkLandmarkSplineFit* fit, vtkObject* solver)
    : Solver(solver)
  {
    this->Command->SetClientData(fit);
    this->Command->SetCallback(&SolverReports::Pass);
    this->Tags[0] = solver->AddObserver(vtkCommand::WarningEvent, this->Command);
    this->Tags[1] = solver->AddObserver(vtkCommand::ErrorEvent, this->Command);
  }
  ~SolverReports()
  {
    this->Solver->RemoveObserver(this->Tags[0]);
    this->Solver->RemoveObserver(this->Tags[1]);
  }
  SolverReports(const SolverReports&) = delete;
  SolverReports& operator=(const SolverReports&) = delete;

private:
  static void Pass(vtkObject*, unsigned long event, void* fit, void* text)
  {
    if (event != vtkCommand::WarningEvent || !text)
    {
      return;
    }
    // "Warning: In file, line\nvtkMatrixSolver (0x...): message\n\n" -> "message"
    std::string message = static_cast<const char*>(text);
    const size_t object = message.find("): ");
    if (object != std::string::npos)
    {
      message = message.substr(object + 3);
    }
    while (!message.empty() && message.back() == '\n')
    {
      message.pop_back();
    }
    vtkWarningWithObjectMacro(static_cast<vtkLandmarkSplineFit*>(fit), << message);
  }

  vtkObject* Solver;
  vtkNew<vtkCallbackCommand> Command;
  unsigned long Tags[2] = { 0, 0 };
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
// Double-precision copy of a point set; false when a coordinate is not a finite
// single-precision number (nothing beyond that range can be written to a coefficient file).
bool CopyAsDouble(vtkPoints* from, vtkPoints* to)
{
  const vtkIdType n = from->GetNumberOfPoints();
  to->SetDataTypeToDouble();
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

// The positions in the frame the fit works in, rounded to single precision as the fitting
// tool reads its landmarks.
void CopyToFrame(vtkPoints* from, const LandmarkFrame& frame, vtkPoints* to)
{
  const vtkIdType n = from->GetNumberOfPoints();
  to->SetDataTypeToFloat();
  to->SetNumberOfPoints(n);
  for (vtkIdType i = 0; i < n; ++i)
  {
    double p[3];
    from->GetPoint(i, p);
    frame.ToFrame(p, p);
    to->SetPoint(i, p);
  }
}

// A locator over points, through a poly data that holds them.
vtkSmartPointer<vtkPointLocator> LocatorOver(vtkPoints* points)
{
  vtkNew<vtkPolyData> polyData;
  polyData->SetPoints(points);
  auto locator = vtkSmartPointer<vtkPointLocator>::New();
  locator->SetDataSet(polyData);
  if (points->GetNumberOfPoints() > 0)
  {
    locator->BuildLocator();
  }
  return locator;
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
  if (count == 0)
  {
    // The identity is no fit: a caller whose landmarks were all lost must hear of it.
    return this->Fail("No landmarks to fit: the landmark sets are empty.");
  }
  if (count > std::numeric_limits<int>::max() - 4)
  {
    return this->Fail("Too many landmarks for one fit (" + std::to_string(count) + ").");
  }
  if (!(std::isfinite(this->Radius) && this->Radius > 0.0))
  {
    return this->Fail("The radius must be a positive number (it is " + Text(this->Radius) + ").");
  }
  // The solver works in single precision: the radius must be a positive float too.
  const float radius = static_cast<float>(this->Radius);
  if (!std::isfinite(radius) || !(radius > 0.0f))
  {
    return this->Fail("The radius " + Text(this->Radius) + " is too " +
      (radius > 0.0f ? "large" : "small") + " for the solver's single precision (" +
      Text(std::numeric_limits<float>::denorm_min()) + " to " +
      Text(std::numeric_limits<float>::max()) + ").");
  }
  const int n = static_cast<int>(count);

  try
  {
    // The spline keeps the source positions as given; the fit works on single-precision
    // copies, relative to the landmarks' centroid when they lie far from the origin.
    auto spline = std::make_shared<TransformCoefficients>();
    spline->Radius = radius;
    spline->Points = vtkSmartPointer<vtkPoints>::New();
    vtkNew<vtkPoints> givenTargets;
    if (!CopyAsDouble(this->SourceLandmarks, spline->Points) ||
      !CopyAsDouble(this->TargetLandmarks, givenTargets))
    {
      return this->Fail("A landmark coordinate is not a finite single-precision number.");
    }
    const LandmarkFrame frame(spline->Points);
    vtkNew<vtkPoints> sources;
    vtkNew<vtkPoints> targets;
    CopyToFrame(spline->Points, frame, sources);
    CopyToFrame(givenTargets, frame, targets);
    const Clock::time_point copied = Clock::now();
    this->ReportProgress(FitStageName(FitStage::Ordering), StageStart(FitStage::Ordering));

    // The locator over the fitted positions serves the ordering and the checks.
    const vtkSmartPointer<vtkPointLocator> locator = LocatorOver(sources);
    int first = 0;
    int second = 0;
    if (FindCoincidentLandmarks(sources, locator, first, second))
    {
      return this->Fail("Landmarks " + std::to_string(first) + " and " + std::to_string(second) +
        " (counted from 0) share one source position.");
    }
    int max = 0;
    const std::unique_ptr<int[]> list(GetWellOderredList(max, n, radius, sources, locator));
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
      sources->GetPoint(list[k], s);
      targets->GetPoint(list[k], t);
      for (int a = 0; a < 3; ++a)
      {
        b[a][k] = static_cast<float>(s[a]) - static_cast<float>(t[a]);
      }
    }
    const NeighbourStatistics neighbours = CountNeighbourStatistics(sources, locator, radius);
    const Clock::time_point ordered = Clock::now();

    vtkNew<vtkMatrixSolver> solver;
    solver->SetRadius(radius);
    solver->SetPointArray(sources);
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
    SolverReports reports(this, solver);
    FitProgressRelay relay(this, solver);
    solver->Solve();
    clock.Stop();
    const std::unique_ptr<float[]> coefficients[3] = { std::unique_ptr<float[]>(
                                                         solver->GetSplineCoeffX()),
      std::unique_ptr<float[]>(solver->GetSplineCoeffY()),
      std::unique_ptr<float[]>(solver->GetSplineCoeffZ()) };
    if (solver->GetFactorizationFailed())
    {
      return this->Fail(TooCloseMessage(sources, locator, radius));
    }
    if (!solver->GetSolveConverged())
    {
      return this->Fail("The sparse solve did not converge: no spline fitted.");
    }
    double constants[3];
    frame.FoldIntoAffinePart(
      n, coefficients[0].get(), coefficients[1].get(), coefficients[2].get(), constants);
    if (frame.IsShifted())
    {
      spline->Constants.assign(constants, constants + 3);
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
    spline->Locator = LocatorOver(spline->Points);
    this->UseSpline(spline);
    LandmarkDistances(this->Smoothing, n, spline->CoeffX.data(), spline->CoeffY.data(),
      spline->CoeffZ.data(), this->LandmarkMaximumDistance, this->LandmarkRMSDistance);

    this->NumberOfLandmarks = n;
    this->MinimumNeighbors = neighbours.Fewest;
    this->MaximumNeighbors = neighbours.Most;
    this->MeanNeighbors = neighbours.Mean;
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
        s.CoeffZ.data(), s.UnList.data(), &reason,
        s.Constants.size() == 3 ? s.Constants.data() : nullptr) != TransformWriteStatus::Ok)
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

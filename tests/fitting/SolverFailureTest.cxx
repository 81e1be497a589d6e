// The solver when things go wrong: a fit that fails at any of its allocations releases every
// array it took, and a bound on the envelope of 8 GB or more never lets the envelope outgrow
// the int positions of its row index.
#include "LandmarkGenerator.h"
#include "vtkLandmarkSplineFit.h"
#include "vtkMatrixSolver.h"

#include <vtkCallbackCommand.h>
#include <vtkCommand.h>
#include <vtkNew.h>
#include <vtkPoints.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <sys/resource.h>
#include <vector>

namespace
{
// The nothrow array allocations of this process (the solver's and the reader's arrays): the
// k-th of them can be made to fail, and those still held are known.
struct Allocations
{
  std::mutex Lock;
  std::set<void*> Live;
  long Seen = 0;
  long FailAt = 0; // 0: none fails
  bool Tracking = false;
};

Allocations& Tracked()
{
  static Allocations* allocations = new Allocations; // outlives every static destructor
  return *allocations;
}

// Takes the error and warning events of an object, so that expected failures are not shown.
void Hush(vtkObject* object)
{
  vtkNew<vtkCallbackCommand> nothing;
  object->AddObserver(vtkCommand::ErrorEvent, nothing);
  object->AddObserver(vtkCommand::WarningEvent, nothing);
}

void Forget(void* p)
{
  if (!p)
  {
    return;
  }
  Allocations& a = Tracked();
  std::lock_guard<std::mutex> hold(a.Lock);
  a.Live.erase(p);
}
}

void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept
{
  Allocations& a = Tracked();
  std::lock_guard<std::mutex> hold(a.Lock);
  if (a.Tracking && ++a.Seen == a.FailAt)
  {
    return nullptr;
  }
  void* p = std::malloc(bytes ? bytes : 1);
  if (p && a.Tracking)
  {
    a.Live.insert(p);
  }
  return p;
}

void* operator new[](std::size_t bytes)
{
  void* p = std::malloc(bytes ? bytes : 1);
  if (!p)
  {
    throw std::bad_alloc();
  }
  return p;
}

void operator delete[](void* p) noexcept
{
  Forget(p);
  std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept
{
  Forget(p);
  std::free(p);
}

//------------------------------------------------------------------------------
// Each allocation of a fit fails in turn: the fit fails (or does without, where the solver
// has a way round), and whatever it allocated is released again.
TEST(SolverFailure, AFailedFitReleasesEveryArray)
{
  const std::vector<Landmark> landmarks = RandomLandmarks(300, 17);
  vtkNew<vtkPoints> source;
  vtkNew<vtkPoints> target;
  for (const Landmark& l : landmarks)
  {
    source->InsertNextPoint(l.Source);
    target->InsertNextPoint(l.Target);
  }
  vtkNew<vtkLandmarkSplineFit> fit;
  fit->SetSourceLandmarks(source);
  fit->SetTargetLandmarks(target);
  fit->SetRadius(0.3);
  Hush(fit); // the failures are expected; GetErrorMessage() tells them
  int failures = 0;
  Allocations& a = Tracked();
  for (long k = 1;; ++k)
  {
    {
      std::lock_guard<std::mutex> hold(a.Lock);
      a.Live.clear();
      a.Seen = 0;
      a.FailAt = k;
      a.Tracking = true;
    }
    const int fitted = fit->Fit();
    std::set<void*> left;
    long seen = 0;
    {
      std::lock_guard<std::mutex> hold(a.Lock);
      a.Tracking = false;
      left.swap(a.Live);
      seen = a.Seen;
    }
    if (seen < k)
    {
      EXPECT_EQ(fitted, 1) << "no allocation failed, yet: " << fit->GetErrorMessage();
      break;
    }
    if (!fitted)
    {
      ++failures;
      EXPECT_TRUE(left.empty()) << left.size() << " arrays left after allocation " << k
                                << " failed (" << fit->GetErrorMessage() << ")";
    }
  }
  EXPECT_GT(failures, 3);
}

//------------------------------------------------------------------------------
// 96,000 landmarks on a line, in an ordering that puts every pair of neighbours half the set
// apart: the envelope would hold n^2/4 = 2.3e9 entries, beyond the int positions of its row
// index, while the kernel matrix has two neighbours a row. With a bound of 16 GB the solver
// must see that from the measured profile and solve the sparse system, allocating nothing of
// the envelope's size (it wrapped its positions around and wrote out of bounds).
TEST(SolverFailure, AnEnvelopeBeyondIntPositionsIsNeverFactored)
{
  const int n = 96000;
  const int half = n / 2;
  vtkNew<vtkPoints> points;
  points->SetDataTypeToFloat();
  std::vector<float> b[3];
  std::vector<int> list(n);
  for (int i = 0; i < n; ++i)
  {
    points->InsertNextPoint(i, 0.5 * std::sin(0.001 * i), 0.0);
  }
  // Even landmarks first, then the odd ones: landmark 2j at position j, 2j + 1 at half + j.
  for (int k = 0; k < n; ++k)
  {
    list[k] = k < half ? 2 * k : 2 * (k - half) + 1;
  }
  for (auto& axis : b)
  {
    axis.resize(n);
  }
  for (int k = 0; k < n; ++k)
  {
    const double i = list[k];
    b[0][k] = static_cast<float>(0.01 * std::cos(0.01 * i));
    b[1][k] = static_cast<float>(0.02 * std::sin(0.003 * i));
    b[2][k] = static_cast<float>(0.01 * (static_cast<int>(i) % 7) - 0.03);
  }
  const std::vector<float> f[3] = { b[0], b[1], b[2] };
  vtkNew<vtkMatrixSolver> solver;
  solver->SetRadius(1.5f);
  solver->SetPointArray(points);
  solver->SetList(list.data());
  solver->SetMax(half + 1);
  solver->SetBX(b[0].data());
  solver->SetBY(b[1].data());
  solver->SetBZ(b[2].data());
  solver->SetMaximumEnvelopeBytes(vtkTypeInt64(16) << 30);
  Hush(solver); // a line: the affine part within its directions, with a warning
  rusage before{};
  ::getrusage(RUSAGE_SELF, &before);
  EXPECT_EQ(solver->Solve(), 1);
  rusage after{};
  ::getrusage(RUSAGE_SELF, &after);
  const std::unique_ptr<float[]> coeff[3] = { std::unique_ptr<float[]>(solver->GetSplineCoeffX()),
    std::unique_ptr<float[]>(solver->GetSplineCoeffY()),
    std::unique_ptr<float[]>(solver->GetSplineCoeffZ()) };
  EXPECT_TRUE(solver->GetSparseSolveUsed());
  EXPECT_EQ(solver->GetFactorizationFailed(), 0);
  ASSERT_TRUE(solver->GetSolveConverged()) << solver->GetSolveResidual();
  // Far less memory than the envelope would take (9 GB and more).
  EXPECT_LT(after.ru_maxrss, 2L * 1024 * 1024) << "kB at most";

  // The spline takes its right-hand side at every landmark: evaluated from its neighbours.
  std::vector<int> position(n);
  for (int k = 0; k < n; ++k)
  {
    position[list[k]] = k;
  }
  for (int i = 1; i + 1 < n; i += 997)
  {
    for (int a = 0; a < 3; ++a)
    {
      const float* c = coeff[a].get();
      double s = c[n] + c[n + 1] * i + c[n + 2] * 0.5 * std::sin(0.001 * i);
      for (const int j : { i - 1, i, i + 1 })
      {
        const double r = std::hypot(i - j, 0.5 * (std::sin(0.001 * i) - std::sin(0.001 * j)));
        s += c[position[j]] * (1.0 - r / 1.5) * (1.0 - r / 1.5);
      }
      EXPECT_NEAR(s, f[a][position[i]], 1e-5) << "landmark " << i << ", axis " << a;
    }
  }
}

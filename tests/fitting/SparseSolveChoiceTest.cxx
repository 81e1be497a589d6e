// The preconditioned sparse solve on even and uneven landmark sets, its incomplete factor on
// small hand-worked matrices, and the prediction that chooses between it and the envelope.
#include "IncompleteCholesky.h"
#include "LandmarkGenerator.h"
#include "SolverChoice.h"
#include "SparseKernelSystem.h"
#include "vtkDatReader.h"

#include <gtest/gtest.h>

#include <vtkNew.h>
#include <vtkPointLocator.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace
{
double Kernel(double d2, double radius)
{
  const double u = 1.0 - std::sqrt(d2) / radius;
  return u * u;
}

// Landmark sources in the given order, one coordinate per array.
struct Ordered
{
  std::vector<float> Coordinates;
  OrderedPoints Points;

  explicit Ordered(const std::vector<Landmark>& landmarks)
  {
    const int n = static_cast<int>(landmarks.size());
    this->Coordinates.resize(3 * landmarks.size());
    for (int k = 0; k < n; ++k)
    {
      for (int c = 0; c < 3; ++c)
      {
        this->Coordinates[c * landmarks.size() + k] = static_cast<float>(landmarks[k].Source[c]);
      }
    }
    this->Points.X = this->Coordinates.data();
    this->Points.Y = this->Points.X + n;
    this->Points.Z = this->Points.Y + n;
    this->Points.N = n;
  }
};

// |(Phi + S*I) x - f| / |f| with Phi evaluated pair by pair here, as the stored matrix rounds
// its entries (to float).
double Residual(const OrderedPoints& p, double radius, double smoothing,
  const std::vector<double>& x, const std::vector<float>& f)
{
  double r2 = 0.0;
  double f2 = 0.0;
  for (int i = 0; i < p.N; ++i)
  {
    double s = (1.0 + smoothing) * x[i];
    for (int j = 0; j < p.N; ++j)
    {
      const double dx = static_cast<double>(p.X[i]) - p.X[j];
      const double dy = static_cast<double>(p.Y[i]) - p.Y[j];
      const double dz = static_cast<double>(p.Z[i]) - p.Z[j];
      const double d2 = dx * dx + dy * dy + dz * dz;
      if (j != i && std::sqrt(d2) < radius)
      {
        s += static_cast<float>(Kernel(d2, radius)) * x[j];
      }
    }
    r2 += (s - f[i]) * (s - f[i]);
    f2 += static_cast<double>(f[i]) * f[i];
  }
  return std::sqrt(r2 / f2);
}

struct SolveOutcome
{
  SparseSolveResult Result;
  std::vector<float> X;
};

SolveOutcome SolveFirstAxis(const Ordered& points, const std::vector<Landmark>& landmarks,
  double radius, bool preconditioned, int threads, double smoothing = 0.0, int budget = 0)
{
  // The threads share out the counting and the assembly as well as the steps.
  const KernelProfile profile =
    MeasureKernelProfile(points.Points, radius, radius * radius, threads);
  SparseKernelSystem system;
  system.Assemble(points.Points, profile, radius, radius * radius, &Kernel, smoothing, threads);
  system.SetPreconditioned(preconditioned);
  system.SetMaximumIterations(5000);
  system.SetStepBudget(budget);
  EXPECT_TRUE(system.Precondition());
  std::vector<float> f(landmarks.size());
  for (size_t k = 0; k < landmarks.size(); ++k)
  {
    f[k] = static_cast<float>(landmarks[k].Target[0] - landmarks[k].Source[0]);
  }
  SolveOutcome outcome;
  outcome.X.resize(f.size());
  const float* rhs = f.data();
  float* x = outcome.X.data();
  outcome.Result = system.Solve(&rhs, &x, 1, threads);
  return outcome;
}
}

// A tridiagonal matrix has no fill: its incomplete factor is its Cholesky factor, worked out
// by hand, and applying it solves the system exactly.
TEST(IncompleteCholesky, IsTheExactFactorWithoutFillAndShiftsWhenAPivotFails)
{
  // | 4 2 0 |         | 2 0 0 |
  // | 2 5 2 |  = L L^T, L = | 1 2 0 |
  // | 0 2 5 |         | 0 1 2 |
  const int start[] = { 0, 2, 5, 7 };
  const int column[] = { 0, 1, 0, 1, 2, 1, 2 };
  const double value[] = { 4, 2, 2, 5, 2, 2, 5 };
  IncompleteCholesky factor;
  ASSERT_TRUE(factor.Compute(3, start, column, value));
  EXPECT_EQ(factor.GetShift(), 0.0);
  // A x = (8, 18, 19) for x = (1, 2, 3) (interleaved with a second vector, 2x).
  double x[] = { 8, 16, 18, 36, 19, 38 };
  factor.Apply(x, 2);
  const double expected[] = { 1, 2, 2, 4, 3, 6 };
  for (int k = 0; k < 6; ++k)
  {
    EXPECT_NEAR(x[k], expected[k], 1e-12) << "entry " << k;
  }

  // [[1, 2], [2, 1]] is indefinite: its second pivot 1 - 4 is negative, and only the diagonal
  // shifted by at least its own size gives a factor.
  const int start2[] = { 0, 2, 4 };
  const int column2[] = { 0, 1, 0, 1 };
  const double value2[] = { 1, 2, 2, 1 };
  ASSERT_TRUE(factor.Compute(2, start2, column2, value2));
  EXPECT_GE(factor.GetShift(), 1.0);

  // Rows that no shift makes positive: a zero diagonal.
  const double zero[] = { 0, 2, 2, 5, 2, 2, 5 };
  EXPECT_FALSE(factor.Compute(3, start, column, zero));
}

// Uneven spacing (random positions, pairs 1e-5 R apart, a mesh whose edges range a
// thousand-fold) costs the plain solve several times the steps of an even spread; with the
// preconditioner every set takes few, and every solution meets the residual when checked
// against the kernel pair by pair.
TEST(SparseSolve, UnevenSetsConvergeInFewStepsWithThePreconditioner)
{
  const int n = 1600;
  const double radius = SphereRadiusForNeighbours(n, 30);
  struct Case
  {
    std::string Name;
    std::vector<Landmark> Landmarks;
    double Radius;
  };
  const Case cases[] = {
    { "even sphere", SphereLandmarks(n), radius },
    { "random sphere", RandomSphereLandmarks(n, 5), radius },
    { "close pairs", ClosePairSphereLandmarks(n, 5, 1e-5 * radius), radius },
    { "graded mesh", GradedMeshLandmarks(40), 0.02 },
  };
  int evenPlainSteps = 0;
  for (const Case& c : cases)
  {
    const Ordered points(c.Landmarks);
    const SolveOutcome plain = SolveFirstAxis(points, c.Landmarks, c.Radius, false, 2);
    const SolveOutcome preconditioned = SolveFirstAxis(points, c.Landmarks, c.Radius, true, 2);
    ASSERT_TRUE(plain.Result.Converged) << c.Name;
    ASSERT_TRUE(preconditioned.Result.Converged) << c.Name;
    evenPlainSteps = evenPlainSteps ? evenPlainSteps : plain.Result.Iterations;
    EXPECT_LE(preconditioned.Result.Iterations, 30) << c.Name;
    EXPECT_LT(3 * preconditioned.Result.Iterations, plain.Result.Iterations) << c.Name;
    const std::vector<double> x(preconditioned.X.begin(), preconditioned.X.end());
    std::vector<float> f(c.Landmarks.size());
    for (size_t k = 0; k < f.size(); ++k)
    {
      f[k] = static_cast<float>(c.Landmarks[k].Target[0] - c.Landmarks[k].Source[0]);
    }
    // The float rounding of the handed-out solution adds about 1e-7 to the 1e-8 reached.
    EXPECT_LT(Residual(points.Points, c.Radius, 0.0, x, f), 1e-5) << c.Name;
    EXPECT_LE(preconditioned.Result.Residual, SparseKernelSystem::Tolerance) << c.Name;
    if (c.Name != "even sphere")
    {
      EXPECT_GT(plain.Result.Iterations, 2 * evenPlainSteps) << c.Name << ": not uneven enough";
    }
  }
}

// A solve that has used up its step budget goes on where its residuals have been falling fast
// enough to converge soon, to the same bits as without a budget, and stops where they have
// not (the fit then hands over to the envelope).
TEST(SparseSolve, AStepBudgetGoesOnWhereConvergenceIsNearAndStopsWhereItIsFar)
{
  const std::vector<Landmark> landmarks = RandomSphereLandmarks(1600, 5);
  const double radius = SphereRadiusForNeighbours(1600, 30);
  const Ordered points(landmarks);
  // Without the preconditioner the steps are many, so that a budget can fall well short.
  const SolveOutcome free = SolveFirstAxis(points, landmarks, radius, false, 2);
  ASSERT_TRUE(free.Result.Converged);
  const int steps = free.Result.Iterations;
  ASSERT_GT(steps, 40);
  const struct
  {
    int Budget;
    bool Converged;
    int Iterations;
  } cases[] = {
    { steps - 3, true, steps },
    { 2 * steps / 3, true, steps },
    { 3, false, 3 },
  };
  for (const auto& c : cases)
  {
    const SolveOutcome budgeted =
      SolveFirstAxis(points, landmarks, radius, false, 2, 0.0, c.Budget);
    EXPECT_EQ(budgeted.Result.Converged, c.Converged) << "budget " << c.Budget;
    EXPECT_EQ(budgeted.Result.Iterations, c.Iterations) << "budget " << c.Budget;
    if (c.Converged)
    {
      EXPECT_EQ(budgeted.X, free.X) << "budget " << c.Budget;
    }
  }
}

// The same set gives the same solution to the last bit on one thread and on two, with and
// without smoothing; the smoothing enters the diagonal.
TEST(SparseSolve, SameBitsOnAnyThreadCountAndSmoothingOnTheDiagonal)
{
  const std::vector<Landmark> landmarks = RandomSphereLandmarks(3000, 9);
  const double radius = SphereRadiusForNeighbours(3000, 30);
  const Ordered points(landmarks);
  for (const double smoothing : { 0.0, 0.05 })
  {
    const SolveOutcome one = SolveFirstAxis(points, landmarks, radius, true, 1, smoothing);
    const SolveOutcome two = SolveFirstAxis(points, landmarks, radius, true, 2, smoothing);
    ASSERT_TRUE(one.Result.Converged);
    EXPECT_EQ(one.X, two.X) << "smoothing " << smoothing;
    std::vector<float> f(landmarks.size());
    for (size_t k = 0; k < f.size(); ++k)
    {
      f[k] = static_cast<float>(landmarks[k].Target[0] - landmarks[k].Source[0]);
    }
    const std::vector<double> x(one.X.begin(), one.X.end());
    EXPECT_LT(Residual(points.Points, radius, smoothing, x, f), 1e-5) << "smoothing " << smoothing;
  }
}

TEST(SolverChoice, NamesAndPlans)
{
  const struct
  {
    const char* Word;
    bool Known;
    FitSolver Solver;
  } words[] = {
    { "auto", true, FitSolver::Auto },
    { "envelope", true, FitSolver::Envelope },
    { "sparse", true, FitSolver::Sparse },
    { "Sparse", false, FitSolver::Auto },
    { "", false, FitSolver::Auto },
    { nullptr, false, FitSolver::Auto },
  };
  for (const auto& w : words)
  {
    FitSolver solver = FitSolver::Auto;
    EXPECT_EQ(ParseFitSolver(w.Word, solver), w.Known) << (w.Word ? w.Word : "(null)");
    EXPECT_EQ(solver, w.Solver);
    if (w.Known)
    {
      EXPECT_STREQ(FitSolverName(solver), w.Word);
    }
  }

  // A small set (the envelope's work is tiny) and a large one with few neighbours a row (the
  // envelope grows with the bandwidth, the sparse solve with the entries).
  const int small = 300;
  const int large = 40000;
  const std::vector<Landmark> smallSet = SphereLandmarks(small);
  const std::vector<Landmark> largeSet = SphereLandmarks(large);
  const Ordered smallPoints(smallSet);
  const Ordered largePoints(largeSet);
  const double smallRadius = SphereRadiusForNeighbours(small, 30);
  const double largeRadius = SphereRadiusForNeighbours(large, 30);
  const KernelProfile smallProfile =
    MeasureKernelProfile(smallPoints.Points, smallRadius, smallRadius * smallRadius);
  const KernelProfile largeProfile =
    MeasureKernelProfile(largePoints.Points, largeRadius, largeRadius * largeRadius);

  EXPECT_FALSE(PlanSolve(FitSolver::Auto, smallProfile, small, true).Sparse);
  EXPECT_FALSE(PlanSolve(FitSolver::Envelope, largeProfile, large, true).Sparse);
  EXPECT_TRUE(PlanSolve(FitSolver::Sparse, smallProfile, small, true).Sparse);
  const SolverPlan chosen = PlanSolve(FitSolver::Auto, largeProfile, large, true);
  EXPECT_TRUE(chosen.Sparse);
  // Its budget: the steps that fit into the envelope's predicted work, at least the expected.
  EXPECT_GE(chosen.StepBudget, ExpectedSparseSteps);
  EXPECT_LE(
    chosen.SparseSetupWork + chosen.StepBudget * chosen.SparseStepWork, chosen.EnvelopeWork);
  // A narrow band (a curve of landmarks, four neighbours each) needs no measuring; a wide one
  // does.
  EXPECT_TRUE(EnvelopeSurelyCheaper(1000000, 8));
  EXPECT_FALSE(EnvelopeSurelyCheaper(10000, 550));
  // Without room for the envelope there is nothing to hand over to.
  const SolverPlan only = PlanSolve(FitSolver::Envelope, largeProfile, large, false);
  EXPECT_TRUE(only.Sparse);
  EXPECT_EQ(only.StepBudget, 0);
}

namespace
{
// Landmarks in the fitting tool's order (neighbourhood by neighbourhood), with the ordering's
// largest distance in positions between neighbours.
struct FitOrdered
{
  std::vector<Landmark> Landmarks;
  int Max = 0;

  FitOrdered(const std::vector<Landmark>& landmarks, double radius)
  {
    vtkNew<vtkPoints> points;
    for (const Landmark& l : landmarks)
    {
      points->InsertNextPoint(static_cast<float>(l.Source[0]), static_cast<float>(l.Source[1]),
        static_cast<float>(l.Source[2]));
    }
    vtkNew<vtkPolyData> poly;
    poly->SetPoints(points);
    vtkNew<vtkPointLocator> locator;
    locator->SetDataSet(poly);
    locator->BuildLocator();
    const int n = static_cast<int>(landmarks.size());
    const std::unique_ptr<int[]> list(
      GetWellOderredList(this->Max, n, static_cast<float>(radius), points, locator));
    for (int k = 0; k < n; ++k)
    {
      this->Landmarks.push_back(landmarks[list[k]]);
    }
  }
};

// The distance within which a landmark has about `neighbours` others: the median over every
// tenth landmark of the distance to its neighbours-th nearest, found by brute force.
double MedianReach(const std::vector<Landmark>& landmarks, int neighbours)
{
  std::vector<double> reach;
  for (size_t i = 0; i < landmarks.size(); i += 10)
  {
    std::vector<double> d;
    for (const Landmark& other : landmarks)
    {
      double d2 = 0.0;
      for (int c = 0; c < 3; ++c)
      {
        const double e = other.Source[c] - landmarks[i].Source[c];
        d2 += e * e;
      }
      d.push_back(std::sqrt(d2));
    }
    std::nth_element(d.begin(), d.begin() + neighbours, d.end());
    reach.push_back(d[neighbours]);
  }
  std::nth_element(reach.begin(), reach.begin() + reach.size() / 2, reach.end());
  return reach[reach.size() / 2];
}

std::vector<Landmark> Moved(std::vector<Landmark> landmarks, double scale, double offset)
{
  for (Landmark& l : landmarks)
  {
    for (int c = 0; c < 3; ++c)
    {
      l.Source[c] = l.Source[c] * scale + offset;
      l.Target[c] = l.Target[c] * scale + offset;
    }
  }
  return landmarks;
}
}

// The choice measures the neighbours in the ordering's window where the grid's cells are
// crowded: it must count exactly what the grid counts, on even and uneven sets, tiny ones and
// ones far from the origin, whichever way it takes.
TEST(SolverChoice, ProfileForTheChoiceCountsWhatTheGridCounts)
{
  struct Case
  {
    const char* Name;
    std::vector<Landmark> Landmarks;
    double Radius;
    // Whether the window is the cheaper way (a graded mesh crowds the grid's cells).
    bool Windowed;
  };
  const std::vector<Landmark> graded = GradedMeshLandmarks(70);
  const double gradedRadius = MedianReach(graded, 30);
  const std::vector<Case> cases = {
    { "even sphere", SphereLandmarks(4000), SphereRadiusForNeighbours(4000, 30), false },
    { "random sphere", RandomSphereLandmarks(4000, 7), SphereRadiusForNeighbours(4000, 30), false },
    { "close pairs", ClosePairSphereLandmarks(4000, 7, 1e-5 * SphereRadiusForNeighbours(4000, 30)),
      SphereRadiusForNeighbours(4000, 30), false },
    { "graded mesh", graded, gradedRadius, true },
    { "graded mesh, tiny", Moved(graded, 1e-4, 0.0), 1e-4 * gradedRadius, true },
    { "graded mesh, far away", Moved(graded, 1.0, 2000.0), gradedRadius, true },
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.Name);
    const FitOrdered ordered(c.Landmarks, c.Radius);
    const Ordered points(ordered.Landmarks);
    const double limit = c.Radius * c.Radius;
    const KernelProfile grid = MeasureKernelProfile(points.Points, c.Radius, limit);
    const KernelProfile chosen =
      MeasureKernelProfileForChoice(points.Points, c.Radius, limit, ordered.Max, 2);
    EXPECT_EQ(chosen.Windowed, c.Windowed);
    // Counted on two threads, the grid's profile is the same.
    const KernelProfile shared = MeasureKernelProfile(points.Points, c.Radius, limit, 2);
    EXPECT_EQ(shared.Neighbours, grid.Neighbours);
    EXPECT_EQ(shared.Widths, grid.Widths);
    EXPECT_EQ(shared.LowerSquares, grid.LowerSquares);
    EXPECT_EQ(shared.OffDiagonal, grid.OffDiagonal);
    EXPECT_EQ(shared.EnvelopeEntries, grid.EnvelopeEntries);
    EXPECT_EQ(shared.Coincident, grid.Coincident);
    EXPECT_FALSE(grid.Windowed);
    EXPECT_GT(grid.OffDiagonal, 0);
    EXPECT_EQ(chosen.EnvelopeEntries, grid.EnvelopeEntries);
    EXPECT_EQ(chosen.OffDiagonal, grid.OffDiagonal);
    EXPECT_EQ(chosen.Coincident, grid.Coincident);
    EXPECT_EQ(chosen.LowerSquares, grid.LowerSquares);
    EXPECT_EQ(chosen.Neighbours, grid.Neighbours);
    EXPECT_EQ(chosen.Widths, grid.Widths);
    // The same profile, the same plan.
    const int n = static_cast<int>(c.Landmarks.size());
    EXPECT_EQ(PlanSolve(FitSolver::Auto, chosen, n, true).Sparse,
      PlanSolve(FitSolver::Auto, grid, n, true).Sparse);
  }
  // A coincident pair is seen in the window as well.
  std::vector<Landmark> twin = Moved(graded, 1.0, 0.0);
  twin.push_back(twin[100]);
  const FitOrdered ordered(twin, gradedRadius);
  const Ordered points(ordered.Landmarks);
  const double limit = gradedRadius * gradedRadius;
  const KernelProfile chosen =
    MeasureKernelProfileForChoice(points.Points, gradedRadius, limit, ordered.Max);
  EXPECT_TRUE(chosen.Windowed);
  EXPECT_TRUE(chosen.Coincident);
  EXPECT_TRUE(MeasureKernelProfile(points.Points, gradedRadius, limit, 2).Coincident);
}

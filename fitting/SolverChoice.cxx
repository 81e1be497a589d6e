#include "SolverChoice.h"

#include "SparseKernelSystem.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace
{
// Costs in units of one multiply-add of the envelope factorisation (about 6e9 of them a
// processor second on x86-64 with AVX2), fitted to the processor time of each stage of the
// fit on even, random, close-pair and graded sets of 5,000 to 50,000 landmarks with about 30,
// 100 and 300 neighbours (`fitting_bench --stages`; every stage within 25 % of its prediction
// except the sparse assembly of graded meshes, whose crowded cells it underestimates where the
// envelope is far cheaper anyway).
//
// The envelope: its assembly per stored entry and per row; its factorisation per multiply-add,
// per entry (one inner product each) and per row; its seven solves per entry.
constexpr double EnvelopeAssemblyPerEntry = 90.0;
constexpr double EnvelopeAssemblyPerRow = 4400.0;
constexpr double FactorPerMultiplyAdd = 0.7;
constexpr double FactorPerEntry = 110.0;
constexpr double FactorPerRow = 440.0;
constexpr double EnvelopeSolvesPerEntry = 20.0;
// The sparse solve: measuring the neighbours, storing the matrix and its incomplete factor,
// per off-diagonal entry, per row and per squared count of a row's lower neighbours; then one
// step per right-hand side and entry of the matrix or of the factor (read twice a step).
constexpr double SparseSetupPerEntry = 700.0;
constexpr double SparseSetupPerRow = 3400.0;
constexpr double SparseSetupPerLowerSquare = 8.0;
constexpr double StepPerEntry = 5.5;
// What two threads make of the parts that run on them where there is enough work to share:
// the factorisation, the envelope's assembly and solves (the latter always share out the
// matrix products).
constexpr double SharedSpeedUp = 1.8;
constexpr double SharedFrom = 1 << 20;
// The sparse solve is tried first only when it is predicted clearly cheaper: the envelope
// gives the files of the first versions, and the steps are a guess.
constexpr double SparseMargin = 0.8;
// Nor where the saving is too small to notice (about a thirtieth of a processor second):
// small sets keep the envelope's files.
constexpr double SparseLeastSaving = 2e8;

double Shared(double work, double size)
{
  return size >= SharedFrom ? work / SharedSpeedUp : work;
}

// Multiply-adds of the factorisation: row i takes inner products with the rows it reaches
// back to (each clipped to its own window) and subtracts the squares of its entries.
double FactorMultiplyAdds(const std::vector<int>& widths)
{
  const int n = static_cast<int>(widths.size());
  double total = 0.0;
  for (int i = 1; i < n; ++i)
  {
    const int w = widths[i];
    const int s = i - w;
    total += w;
    for (int j = s + 1; j < i; ++j)
    {
      total += std::min(widths[j], j - s);
    }
  }
  return total;
}
}

//------------------------------------------------------------------------------
const char* FitSolverName(FitSolver solver)
{
  switch (solver)
  {
    case FitSolver::Envelope:
      return "envelope";
    case FitSolver::Sparse:
      return "sparse";
    case FitSolver::Auto:
      break;
  }
  return "auto";
}

//------------------------------------------------------------------------------
bool ParseFitSolver(const char* word, FitSolver& solver)
{
  for (const FitSolver s : { FitSolver::Auto, FitSolver::Envelope, FitSolver::Sparse })
  {
    if (word && std::strcmp(word, FitSolverName(s)) == 0)
    {
      solver = s;
      return true;
    }
  }
  return false;
}

//------------------------------------------------------------------------------
bool EnvelopeSurelyCheaper(int n, int max)
{
  // The envelope at its widest (every row max wide, the factor's multiply-adds at most half
  // the square of the width a row) against the sparse solve of a diagonal matrix; the work of
  // finding each row's neighbours, which both methods do, on neither side.
  const double rows = static_cast<double>(n);
  const double width = std::max(max, 0);
  const double envelope = (EnvelopeAssemblyPerEntry + FactorPerEntry + EnvelopeSolvesPerEntry +
                            0.5 * FactorPerMultiplyAdd * width) *
    rows * width;
  const double sparse = SparseSetupPerRow * rows +
    ExpectedSparseSteps * 7.0 * StepPerEntry * (rows / SharedSpeedUp + 2.0 * rows);
  return envelope < SparseMargin * sparse;
}

//------------------------------------------------------------------------------
SolverPlan PlanSolve(FitSolver solver, const KernelProfile& profile, int n, bool envelopeFits)
{
  SolverPlan plan;
  const double entries = static_cast<double>(profile.EnvelopeEntries);
  const double matrix = static_cast<double>(profile.OffDiagonal) + n;
  const double lower = static_cast<double>(profile.OffDiagonal) / 2.0 + n;
  plan.SparseSetupWork = SparseSetupPerEntry * static_cast<double>(profile.OffDiagonal) +
    SparseSetupPerRow * n + SparseSetupPerLowerSquare * profile.LowerSquares;
  plan.SparseStepWork = 7.0 * StepPerEntry * (matrix / SharedSpeedUp + 2.0 * lower);
  if (!envelopeFits || solver == FitSolver::Sparse)
  {
    plan.Sparse = true;
    return plan;
  }
  const double rows = static_cast<double>(n);
  plan.EnvelopeWork =
    Shared(EnvelopeAssemblyPerEntry * entries + EnvelopeAssemblyPerRow * rows, entries) +
    Shared(FactorPerMultiplyAdd * FactorMultiplyAdds(profile.Widths) + FactorPerEntry * entries +
        FactorPerRow * rows,
      entries) +
    Shared(EnvelopeSolvesPerEntry * entries, entries);
  if (solver == FitSolver::Envelope)
  {
    return plan;
  }
  const double sparse = plan.SparseSetupWork + ExpectedSparseSteps * plan.SparseStepWork;
  if (sparse < SparseMargin * plan.EnvelopeWork && plan.EnvelopeWork - sparse > SparseLeastSaving)
  {
    plan.Sparse = true;
    // The steps that fit into the envelope's work: beyond them the envelope would have been
    // done already, so the solve hands over.
    const double budget = (plan.EnvelopeWork - plan.SparseSetupWork) / plan.SparseStepWork;
    plan.StepBudget = static_cast<int>(std::min(budget, 1e6));
  }
  return plan;
}

#include "SolverChoice.h"

#include "SparseKernelSystem.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace
{
// Costs in units of one multiply-add of the envelope factorisation, measured in processor
// time on x86-64 with AVX2 (about 6e9 of them a processor second) on sphere sets of 20,000
// and 100,000 landmarks with 30 and 300 neighbours: the envelope's assembly and its seven
// solves per stored entry; the sparse matrix's assembly per entry (neighbour search and
// sort) and its incomplete factor per lower entry and per squared lower count; one step per
// right-hand side and entry of the matrix or of the factor (read twice a step).
constexpr double EnvelopeAssemblyPerEntry = 100.0;
constexpr double EnvelopeSolvesPerEntry = 25.0;
constexpr double SparseAssemblyPerEntry = 600.0;
constexpr double FactorPerLowerEntry = 530.0;
constexpr double FactorPerLowerSquare = 7.5;
constexpr double StepPerEntry = 5.0;
// What two threads make of the parts that run on them where there is enough work to share:
// the factorisation, the envelope's assembly and solves (the latter always share out the
// matrix products).
constexpr double SharedSpeedUp = 1.8;
constexpr double SharedFrom = 1 << 20;
// The sparse solve is tried first only when it is predicted clearly cheaper: the envelope
// gives the files of the first versions, and the steps are a guess.
constexpr double SparseMargin = 0.8;

double Shared(double work, double size)
{
  return size >= SharedFrom ? work / SharedSpeedUp : work;
}

// Multiply-adds of the factorisation: row i takes inner products with the rows it reaches
// back to (each clipped to its own window) and subtracts the squares of its entries.
double FactorWork(const std::vector<int>& widths)
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
  const double band = static_cast<double>(n) * std::max(max, 0);
  const double envelope = EnvelopeAssemblyPerEntry * band + 0.5 * std::max(max, 0) * band +
    EnvelopeSolvesPerEntry * band;
  const double sparse = (SparseAssemblyPerEntry + FactorPerLowerEntry) * n +
    ExpectedSparseSteps * 7.0 * StepPerEntry * (n / SharedSpeedUp + 2.0 * n);
  return envelope < SparseMargin * sparse;
}

//------------------------------------------------------------------------------
SolverPlan PlanSolve(FitSolver solver, const KernelProfile& profile, int n, bool envelopeFits)
{
  SolverPlan plan;
  const double entries = static_cast<double>(profile.EnvelopeEntries);
  const double matrix = static_cast<double>(profile.OffDiagonal) + n;
  const double lower = static_cast<double>(profile.OffDiagonal) / 2.0 + n;
  plan.SparseSetupWork = SparseAssemblyPerEntry * matrix + FactorPerLowerEntry * lower +
    FactorPerLowerSquare * profile.LowerSquares;
  plan.SparseStepWork = 7.0 * StepPerEntry * (matrix / SharedSpeedUp + 2.0 * lower);
  if (!envelopeFits || solver == FitSolver::Sparse)
  {
    plan.Sparse = true;
    return plan;
  }
  plan.EnvelopeWork = Shared(EnvelopeAssemblyPerEntry * entries, entries) +
    Shared(FactorWork(profile.Widths), entries) + Shared(EnvelopeSolvesPerEntry * entries, entries);
  if (solver == FitSolver::Envelope)
  {
    return plan;
  }
  const double sparse = plan.SparseSetupWork + ExpectedSparseSteps * plan.SparseStepWork;
  if (sparse < SparseMargin * plan.EnvelopeWork)
  {
    plan.Sparse = true;
    // The steps that fit into the envelope's work: beyond them the envelope would have been
    // done already, so the solve hands over.
    const double budget = (plan.EnvelopeWork - plan.SparseSetupWork) / plan.SparseStepWork;
    plan.StepBudget = static_cast<int>(std::min(budget, 1e6));
  }
  return plan;
}

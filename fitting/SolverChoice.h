#ifndef SolverChoice_h
#define SolverChoice_h

/**
 * Which method solves a fit's kernel system, and the prediction that chooses it.
 *
 * The envelope factorisation's work is known exactly once the landmarks are ordered: every
 * row's width follows from its first neighbour, and the factor's multiply-adds from the
 * widths. The sparse solve's work is its incomplete factor (about the squares of the rows'
 * lower neighbour counts), then per step one product with the matrix and two triangular
 * solves with the factor, for seven right-hand sides. Its number of steps is not known
 * beforehand; with the preconditioner it stays near ExpectedSparseSteps on even and uneven
 * sets alike. The prediction is in units of work, not seconds, so that the same set gets the
 * same choice, and the same file, on any machine.
 *
 * The loss where the guess of steps is wrong is bounded: the sparse solve is given the steps
 * that fit into the envelope's predicted work, and a solve that has not converged by then
 * hands over to the envelope, unless its residuals predict convergence within as many steps
 * again (it then goes on, to twice the budget at most). A wrong choice costs at most about
 * twice the envelope's work once more.
 */

#include <cstdint>

struct KernelProfile;

enum class FitSolver
{
  /** The cheaper of the two by predicted work (the default of Pravik and the library). */
  Auto,
  /** The envelope factorisation, where its envelope fits in memory (the first versions' way). */
  Envelope,
  /** Preconditioned conjugate gradients on the sparse matrix. */
  Sparse
};

/** The option's word for a method ("auto", "envelope", "sparse"). */
const char* FitSolverName(FitSolver solver);

/** The method named by word (as FitSolverName writes it); false for any other word. */
bool ParseFitSolver(const char* word, FitSolver& solver);

/** What the prediction tells for one set. */
struct SolverPlan
{
  /** Whether to try the sparse solve first. */
  bool Sparse = false;
  /**
   * The most conjugate gradient steps the sparse solve may take before handing over to the
   * envelope (0: no hand-over; it runs to its own limit).
   */
  int StepBudget = 0;
  /** Predicted work of each method, in units of one multiply-add of the envelope. */
  double EnvelopeWork = 0.0;
  double SparseSetupWork = 0.0;
  double SparseStepWork = 0.0;
};

/**
 * The steps the preconditioned solve usually needs (measured: 7 to 12 on even, random and
 * graded sets with 30 to 100 neighbours, 15 to 24 with 300; sets of close pairs sometimes 25
 * to 70, which the step budget catches).
 */
constexpr int ExpectedSparseSteps = 12;

/**
 * Whether the envelope is surely the cheaper before anything is measured: its work for n
 * rows no wider than max (the ordering's largest distance between neighbours) is below the
 * least the sparse solve can cost (a diagonal matrix and the expected steps). Narrow bands
 * (landmarks along a curve, small sets) are then fitted without measuring the neighbours.
 */
bool EnvelopeSurelyCheaper(int n, int max);

/**
 * Plans the solve of n landmarks with this profile. envelopeFits: the envelope is within
 * the solver's memory bound (otherwise the sparse solve is the only way and has no budget).
 */
SolverPlan PlanSolve(FitSolver solver, const KernelProfile& profile, int n, bool envelopeFits);

#endif

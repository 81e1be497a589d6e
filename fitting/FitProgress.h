#ifndef FitProgress_h
#define FitProgress_h

// Stages of a fit as they happen, for whoever wants to watch: the terminal progress line of a
// long Pravik run, and the benchmark that times every stage. A fit runs on one thread, and at
// most one watcher is installed per process; without one, reporting costs a pointer test.

#include <chrono>
#include <cstdio>

enum class FitStage
{
  Reading,       // the landmark file
  Ordering,      // point locator and breadth-first ordering
  Assembly,      // the kernel matrix in envelope storage
  Factorisation, // the envelope Cholesky factorisation
  Solves,        // the seven solves with the factor and the affine part
  SparseSolve,   // instead of the two above: conjugate gradients on the sparse matrix
  Writing,       // the coefficient file
};

/** Name of a stage as the progress line shows it ("factorisation"). */
const char* FitStageName(FitStage stage);

class FitObserver
{
public:
  virtual ~FitObserver() = default;
  /** A stage begins; the previous one, if any, has ended. */
  virtual void StageBegins(FitStage stage) = 0;
  /** Share of the current stage's work done so far, 0 to 1 (reported by the factorisation). */
  virtual void Progress(double /*fraction*/) {}
  /** The fit is about to print a message on standard output. */
  virtual void BeforeOutput() {}
  /**
   * The kernel matrix is assembled, before factorisation: its order, the envelope row index
   * (n + 1 entries, 1-based) and the stored entries (xenv[n] - 1 of them).
   */
  virtual void EnvelopeAssembled(int /*n*/, const int* /*xenv*/, const float* /*env*/) {}
};

/** Installs the watcher (nullptr removes it); returns the one installed before. */
FitObserver* SetFitObserver(FitObserver* observer);
FitObserver* GetFitObserver();

void FitReportStage(FitStage stage);
void FitReportProgress(double fraction);
void FitReportOutput();
void FitReportEnvelope(int n, const int* xenv, const float* env);

/**
 * One updating line on a terminal: "Pravik: <stage>" and, while factoring, the percentage
 * done. Nothing is shown until the fit has run for `delay` seconds, the line is redrawn at
 * most ten times a second, and it is cleared before the fit prints a message, when a stage's
 * work is complete, and by Finish() (or the destructor).
 */
class TerminalProgress : public FitObserver
{
public:
  using Clock = std::chrono::steady_clock;

  explicit TerminalProgress(std::FILE* out, double delaySeconds = 1.0);
  ~TerminalProgress() override;
  TerminalProgress(const TerminalProgress&) = delete;
  TerminalProgress& operator=(const TerminalProgress&) = delete;

  void StageBegins(FitStage stage) override;
  void Progress(double fraction) override;
  void BeforeOutput() override;

  /** Clears the line, if one is shown. */
  void Finish();

  /** Whether standard error is a terminal, that is whether a run should show progress. */
  static bool StandardErrorIsTerminal();

private:
  void Draw(bool force);
  void Clear();

  std::FILE* Out;
  Clock::time_point Start;
  Clock::time_point LastDraw;
  double Delay;
  FitStage Stage = FitStage::Reading;
  double Fraction = -1.0; // below 0: the stage reports no share
  bool Shown = false;
};

#endif

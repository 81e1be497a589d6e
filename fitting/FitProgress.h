#ifndef FitProgress_h
#define FitProgress_h

// Stages of a fit as they happen, for whoever wants to watch: the terminal progress line of a
// long Pravik run, and the benchmark that times every stage. The reader and the solver tell
// them through VTK's events, invoked on themselves; a watcher observes the objects it wants
// to hear from. The numeric kernels report through a plain callback that the solver turns
// into its progress event.

#include <vtkCommand.h>
#include <vtkObject.h>
#include <vtkSmartPointer.h>
#include <vtkWeakPointer.h>

#include <chrono>
#include <cstdio>
#include <utility>
#include <vector>

class vtkCallbackCommand;

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

/** Name of a stage as the progress line shows it ("envelope factorisation"). */
const char* FitStageName(FitStage stage);

/**
 * The events of vtkDatReader and vtkMatrixSolver, with their call data; besides them the
 * solver invokes vtkCommand::ProgressEvent (double*: the share of the factorisation done).
 */
enum FitEvent : unsigned long
{
  /** A stage begins (FitStage*); the previous one, if any, has ended. */
  FitStageEvent = vtkCommand::UserEvent + 1601,
  /** The object is about to report an error or a warning (no call data). */
  FitOutputEvent,
  /** The kernel matrix is assembled in envelope storage, before factorisation (FitEnvelope*). */
  FitEnvelopeEvent
};

/** The envelope of FitEnvelopeEvent: order, row index (n + 1 entries, 1-based), entries. */
struct FitEnvelope
{
  int N = 0;
  const int* Xenv = nullptr;
  const float* Env = nullptr;
};

/** For the reader and the solver: a stage of theirs begins; they are about to report. */
inline void InvokeFitStage(vtkObject* object, FitStage stage)
{
  object->InvokeEvent(FitStageEvent, &stage);
}
inline void InvokeFitOutput(vtkObject* object)
{
  object->InvokeEvent(FitOutputEvent);
}

/** Watches the fit events of the objects it is given, until it is destroyed. */
class FitObserver
{
public:
  FitObserver();
  virtual ~FitObserver();
  FitObserver(const FitObserver&) = delete;
  FitObserver& operator=(const FitObserver&) = delete;

  /** Observes the fit events of object (a vtkDatReader, a vtkMatrixSolver). */
  void Observe(vtkObject* object);

  /** A stage begins; the previous one, if any, has ended. */
  virtual void StageBegins(FitStage stage) = 0;
  /** Share of the current stage's work done so far, 0 to 1 (reported by the factorisation). */
  virtual void Progress(double /*fraction*/) {}
  /** The fit is about to report an error or a warning (a program may print it next). */
  virtual void BeforeOutput() {}
  /**
   * The kernel matrix is assembled, before factorisation: its order, the envelope row index
   * (n + 1 entries, 1-based) and the stored entries (xenv[n] - 1 of them).
   */
  virtual void EnvelopeAssembled(int /*n*/, const int* /*xenv*/, const float* /*env*/) {}

private:
  static void Dispatch(vtkObject* caller, unsigned long event, void* self, void* callData);

  vtkSmartPointer<vtkCallbackCommand> Command;
  std::vector<std::pair<vtkWeakPointer<vtkObject>, unsigned long>> Observed;
};

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

/**
 * @class LandmarkFitJob
 * @brief Fits the landmark spline on a thread of its own and hands the latest result to the
 * user-interface thread.
 *
 * Submit() copies the landmark pairs and the options and returns at once with the
 * submission's number; the fit (vtkLandmarkSplineFit, with the solver Pravik uses by default)
 * runs on the job's worker thread. The latest submission wins:
 *
 * - a submission replaces an older one that is still waiting, which is then never fitted;
 * - a fit already under way cannot be stopped: it runs to its end, and its result is dropped
 *   when a newer submission exists by then;
 * - only the result of the latest submission is ever delivered, and never an older result
 *   after a newer submission (the check is made on the user-interface thread, where Submit()
 *   is called, just before the handler would run).
 *
 * With SetShowIntermediate(true) (for a drag, where every move submits), a successful fit
 * whose submission has been overtaken is delivered too, as long as no newer result has been:
 * while the moves come faster than the fits, every fit that ends is shown instead of none
 * until the moves stop. Failures are delivered for the latest submission only.
 *
 * A submission made with quick set may be answered without a fit: when its sources, radius
 * and smoothing equal those of the job's last full fit and only one target differs from that
 * fit's, the coefficients come from that fit and the system's response to the moved landmark
 * (TargetMoveRefit; the response takes one fit the first time a landmark moves). They agree
 * with a full fit to the fit's rounding; the result says it is Quick. Settle() then fits the
 * same landmarks in full, so that what is kept (and saved) is exactly a full fit.
 *
 * Results, failures included, and the stage reports are delivered on the user-interface
 * thread (through PostToUserInterface) to the handlers given to the constructor, never from
 * within Submit(). A failure carries the library's sentence (vtkLandmarkSplineFit's
 * GetErrorMessage()). Nothing is printed: the fit's errors and warnings are collected into
 * the result.
 *
 * One vtkLandmarkSplineFit::Fit() runs at a time in the process (the solver's systems are
 * process-wide): every job takes FitLock() around its fit, and so must any other code of the
 * process that fits.
 *
 * Typical use, a refit after every drag step of a landmark:
 * @code
 *   this->Job = std::make_unique<LandmarkFitJob>(
 *     [this](const LandmarkFitResult& result) { this->FitArrived(result); },
 *     [this](const std::string& stage, double share) { this->ShowStage(stage, share); });
 *   ...
 *   this->Job->Submit(pairs.GetSources(), pairs.GetTargets(), radius, smoothing);
 * @endcode
 * A job is made, used and destroyed on the user-interface thread. Its destructor drops what
 * was not delivered and waits for a fit under way to end.
 */
#ifndef LandmarkFitJob_h
#define LandmarkFitJob_h

#include <vtkSmartPointer.h>
#include <vtkType.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class TargetMoveRefit;
class vtkPoints;
struct TransformCoefficients;

/** What a fit of the job gave. */
struct LandmarkFitResult
{
  /// The number Submit() returned for these landmarks and options.
  unsigned long Submission = 0;
  bool Succeeded = false;
  /// Why the fit failed (the library's sentence); empty on success.
  std::string Reason;
  /// Warnings the fit reported (such as landmarks that do not span space), one per line.
  std::string Warnings;
  /// The fitted spline as a coefficient file holds it (null on failure); never changed.
  std::shared_ptr<const TransformCoefficients> Coefficients;
  double Radius = 0.0;
  double Smoothing = 0.0;
  vtkIdType Landmarks = 0;
  /// The largest distance between a landmark's target and where the spline takes its source
  /// (0 without smoothing).
  double LandmarkMaximumDistance = 0.0;
  /// Wall-clock seconds of the fit itself.
  double Seconds = 0.0;
  /// Whether the coefficients came from the one-target refit rather than a full fit.
  bool Quick = false;
};

class LandmarkFitJob
{
public:
  using ResultHandler = std::function<void(const LandmarkFitResult&)>;
  /// The stage under way ("ordering", "envelope factorisation", ...) and the share of the
  /// fit's work reported for it, 0 to 1.
  using StageHandler = std::function<void(const std::string& stage, double share)>;

  /// onResult receives every delivered result; onStage (optional) the stages of the latest
  /// submission while it is fitted.
  explicit LandmarkFitJob(ResultHandler onResult, StageHandler onStage = nullptr);
  ~LandmarkFitJob();
  LandmarkFitJob(const LandmarkFitJob&) = delete;
  LandmarkFitJob& operator=(const LandmarkFitJob&) = delete;

  /**
   * Fits source landmark i onto target landmark i (the points are copied here; both sets
   * must be of one size, which the fit checks) with the support radius and the smoothing.
   * Returns the submission's number, larger than every earlier one.
   */
  unsigned long Submit(
    vtkPoints* sources, vtkPoints* targets, double radius, double smoothing, bool quick = false);

  /**
   * When the latest submission was made with quick set and its result is still to come or
   * was Quick, submits the same landmarks for a full fit and returns its number; otherwise
   * (nothing to settle) returns 0.
   */
  unsigned long Settle();

  ///@{
  /// Whether overtaken successful fits are delivered (see above). Off by default.
  void SetShowIntermediate(bool show) { this->ShowIntermediate = show; }
  bool GetShowIntermediate() const { return this->ShowIntermediate; }
  ///@}

  /// Drops every submission so far: nothing more is delivered for them.
  void Cancel();

  /// Whether the latest submission's result is still to come (not delivered nor cancelled).
  bool IsBusy() const { return this->Latest > this->Settled; }

  /// The number of the latest submission (0 before the first).
  unsigned long GetLatestSubmission() const { return this->Latest; }

  /// The lock every fit in the process holds while vtkLandmarkSplineFit::Fit() runs.
  static std::mutex& FitLock();

private:
  struct Shared;
  struct Request;
  void Deliver(const LandmarkFitResult& result);
  void ReportStage(unsigned long submission, const std::string& stage, double share);
  static void Work(std::shared_ptr<Shared> shared, std::weak_ptr<int> alive, LandmarkFitJob* job);
  static bool QuickRefit(const Request& request, TargetMoveRefit& refit, LandmarkFitResult& result);
  static LandmarkFitResult Fit(const Request& request, const std::shared_ptr<Shared>& shared,
    const std::weak_ptr<int>& alive, LandmarkFitJob* job);

  ResultHandler OnResult;
  StageHandler OnStage;
  // Only the user-interface thread reads and writes these.
  unsigned long Latest = 0;
  unsigned long Settled = 0; // delivered or cancelled up to this submission
  bool ShowIntermediate = false;
  bool LastDeliveredQuick = false;
  bool LastSubmittedQuick = false;
  vtkSmartPointer<vtkPoints> LastSources; // the latest submission's copies (never changed)
  vtkSmartPointer<vtkPoints> LastTargets;
  double LastRadius = 0.0;
  double LastSmoothing = 0.0;
  std::shared_ptr<Shared> State;
  // Tells the tasks queued for the user-interface thread whether this job still exists.
  std::shared_ptr<int> Alive = std::make_shared<int>(0);
  std::thread Worker;
};

#endif

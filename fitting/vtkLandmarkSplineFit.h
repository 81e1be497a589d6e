/**
 * @class   vtkLandmarkSplineFit
 * @brief   fits the landmark spline to point sets in memory and hands it out as a transform
 *
 * The fitting tool's spline without files: give the source and target positions of the
 * landmarks (two vtkPoints of equal size, point i of one corresponding to point i of the
 * other) and the support radius R, call Fit(), and GetTransform() returns a vtkShapeTransform
 * that carries every source landmark onto its target (its Factor is 1), ready for
 * vtkTransformPolyDataFilter. The fit is the one Pravik writes to a coefficient file: the same
 * breadth-first ordering, kernel (1 - r/R)^2 and choice of method (SetSolver(): the envelope
 * Cholesky solve in single precision or the preconditioned sparse solve in double precision);
 * WriteCoefficientFile() writes that file and ReadCoefficientFile() loads one instead of
 * fitting.
 *
 * The landmark positions are kept in double precision from the point sets given to the
 * transform (and to the coefficient file); the fit itself works in single precision. A set
 * that lies farther from the origin than its source positions spread around their centroid
 * (scanner, CT or map coordinates) is fitted relative to that centroid and the translation is
 * folded back into the affine part, so its landmarks still reach their targets; a set near the
 * origin is fitted in its own coordinates and gives Pravik's coefficient file.
 *
 * The transform holds what it needs: it stays valid after this object is deleted, and a
 * later Fit() or ReadCoefficientFile() updates the same transform in place (pipelines that use
 * it re-execute).
 *
 * After a successful Fit() the statistics describe it: the neighbour counts within R, the
 * method used, the distance between each landmark's target and where the spline takes it
 * (zero unless Smoothing is set) and the time of each stage in seconds (wall clock).
 *
 * Fit() fires StartEvent, then ProgressEvent (call data: a double* from 0 to 1; GetStage()
 * names the stage under way) as the stages go by and while the envelope is factored, and
 * EndEvent when it returns, whether it succeeded or not.
 *
 * Failures (missing, empty or unequal landmark sets, a radius that is not a positive number
 * or not one in single precision, coordinates that are not finite, two landmarks at one
 * source position, a kernel matrix that is not positive definite (the message names the two
 * landmarks whose sources lie closest), memory exhausted) return 0, report through
 * vtkErrorMacro and leave a sentence in GetErrorMessage(); the transform keeps the previous
 * spline. Nothing is printed: observe ErrorEvent and WarningEvent to take the messages.
 *
 * @warning Landmarks that do not span space (fewer than four, or all on one plane or line)
 * are fitted as Pravik fits them: the affine part within the directions they span, with a
 * warning (vtkWarningMacro).
 * @warning One Fit() at a time per process (the solver's systems are process-wide).
 *
 * @sa vtkShapeTransform vtkMatrixSolver vtkDatReader vtkThinPlateSplineTransform
 */
#ifndef vtkLandmarkSplineFit_h
#define vtkLandmarkSplineFit_h

#include <vtkObject.h>

#include <memory> // for the fitted spline
#include <string> // for the error message
#include <vector> // for the leave-out selection

class vtkPoints;
class vtkShapeTransform;
struct TransformCoefficients;

class vtkLandmarkSplineFit : public vtkObject
{
public:
  static vtkLandmarkSplineFit* New();
  vtkTypeMacro(vtkLandmarkSplineFit, vtkObject);
  void PrintSelf(ostream& os, vtkIndent indent) override;

  ///@{
  /**
   * Source and target positions of the landmarks; registered, not copied. Default null.
   */
  virtual void SetSourceLandmarks(vtkPoints* points);
  vtkGetObjectMacro(SourceLandmarks, vtkPoints);
  virtual void SetTargetLandmarks(vtkPoints* points);
  vtkGetObjectMacro(TargetLandmarks, vtkPoints);
  ///@}

  ///@{
  /**
   * Support radius R: landmarks closer than R influence each other. Default 0 (must be set).
   */
  vtkSetMacro(Radius, double);
  vtkGetMacro(Radius, double);
  ///@}

  /** How Fit() solves the kernel system. */
  enum SolverMethod
  {
    /** The method with the smaller predicted work (the default); see SetSolver(). */
    SolverAuto = 0,
    /** The envelope factorisation (sets too large for it take the sparse solve). */
    SolverEnvelope = 1,
    /** Preconditioned conjugate gradients on the kernel matrix's nonzero entries. */
    SolverSparse = 2
  };

  ///@{
  /**
   * How Fit() solves the kernel system. SolverAuto (the default) predicts the work of both
   * methods from the landmarks' neighbours before allocating either and takes the smaller;
   * a sparse solve that has not converged within the envelope's predicted work hands over to
   * the envelope. SolverEnvelope gives exactly the coefficients of the first versions of
   * Pravik. SolverSparse always takes the conjugate gradient solve. The same landmarks give
   * the same choice and coefficients on any machine and thread count; every double-precision
   * solve reaches a relative residual of 1e-8.
   */
  vtkSetClampMacro(Solver, int, SolverAuto, SolverSparse);
  vtkGetMacro(Solver, int);
  void SetSolverToAuto() { this->SetSolver(SolverAuto); }
  void SetSolverToEnvelope() { this->SetSolver(SolverEnvelope); }
  void SetSolverToSparse() { this->SetSolver(SolverSparse); }
  ///@}

  ///@{
  /**
   * Smoothing S >= 0 for noisy landmarks: the kernel system becomes Phi + S*I (the affine part
   * unchanged), so that the spline passes near the landmarks rather than through them. The
   * kernel is 1 at distance 0: S = 0.01 lets a landmark's own weight give way by about 1%.
   * Default 0 (exact interpolation). LeaveOutCheck() and ChooseSmoothing() help choose it.
   */
  vtkSetClampMacro(Smoothing, double, 0.0, VTK_DOUBLE_MAX);
  vtkGetMacro(Smoothing, double);
  ///@}

  ///@{
  /**
   * Deprecated spelling of SetSolver(SolverSparse) (on) and SetSolver(SolverEnvelope) (off):
   * whether Fit() solves the kernel system by conjugate gradients on its nonzero entries even
   * where the envelope factorisation fits (off by default: the envelope then gives exactly the
   * coefficients Pravik writes). From about 10,000 landmarks the sparse solve is much faster
   * (100,000 landmarks: about one second against six on two cores); its coefficients agree
   * with the envelope's to about 1e-5 of the largest, not bit for bit. Sets too large for the
   * envelope take the sparse solve either way.
   */
  virtual void SetSparseSolve(bool on) { this->SetSolver(on ? SolverSparse : SolverEnvelope); }
  virtual bool GetSparseSolve() { return this->Solver == SolverSparse; }
  vtkBooleanMacro(SparseSolve, bool);
  ///@}

  /** The stage under way during Fit()'s events ("assembly", "sparse solve", ...); else "". */
  const char* GetStage() const { return this->Stage; }

  /**
   * Fits again without a share (0 < share < 1) of the landmarks, picked evenly through the
   * list, with the same radius, solver and smoothing, and measures how far the spline takes
   * each left-out source from its target: GetLeaveOutMaximumError() and
   * GetLeaveOutRMSError(). The fitted spline of this object is not changed. Returns 1 on
   * success, 0 when the fit of the rest fails (see GetErrorMessage()).
   */
  int LeaveOutCheck(double share);
  vtkGetMacro(LeaveOutMaximumError, double);
  vtkGetMacro(LeaveOutRMSError, double);

  /**
   * Chooses the smoothing by cross-validation: for each of `count` candidate values, the
   * landmarks are split into `folds` interleaved groups, each left out in turn; the candidate
   * with the smallest RMS error over all left-out landmarks becomes Smoothing (it is also
   * returned; -1 when every candidate's fit failed), and that error GetLeaveOutRMSError(), so
   * that radii can be compared by the same measure. Costs count * folds fits.
   */
  double ChooseSmoothing(const double* candidates, int count, int folds = 5);

  /** Whether the last successful Fit() used the sparse solve. */
  vtkGetMacro(SparseSolveUsed, bool);

  ///@{
  /**
   * The largest and the root-mean-square distance, over the landmarks of the last successful
   * Fit(), between a landmark's target and where the spline takes its source: S times the
   * length of the landmark's kernel weights, exactly 0 when Smoothing is 0.
   */
  vtkGetMacro(LandmarkMaximumDistance, double);
  vtkGetMacro(LandmarkRMSDistance, double);
  ///@}

  /**
   * Fits the spline to the landmarks. Returns 1 on success, 0 on failure.
   */
  int Fit();

  /**
   * The fitted deformation (Factor 1), one object for the life of this one. The identity until
   * the first successful Fit() or ReadCoefficientFile().
   */
  vtkShapeTransform* GetTransform() { return this->Transform; }

  /**
   * Writes the last fitted (or read) spline as a transform coefficient file (".trc").
   * Returns 1 on success, 0 on failure (nothing fitted, the file cannot be written).
   */
  int WriteCoefficientFile(const char* fileName);

  /**
   * Loads a transform coefficient file in place of a fit: the transform and Radius follow it,
   * the statistics other than the landmark count are cleared. Returns 1 on success, 0 when the
   * file cannot be read or does not match the format (the previous spline stays).
   */
  int ReadCoefficientFile(const char* fileName);

  /**
   * The last fitted (or read) spline as a coefficient file holds it, or null before the first
   * one. A later Fit() or ReadCoefficientFile() makes a new one and never changes one handed
   * out, so a caller may keep it, or pass it to another thread, as long as it likes.
   */
  VTK_WRAPEXCLUDE std::shared_ptr<const TransformCoefficients> GetFittedCoefficients() const
  {
    return this->Spline;
  }

  /** Why the last Fit(), WriteCoefficientFile() or ReadCoefficientFile() failed; else "". */
  const char* GetErrorMessage() const { return this->ErrorMessage.c_str(); }

  ///@{
  /**
   * Statistics of the last successful fit. Neighbours of a landmark are the other landmarks
   * within R of its source position. The envelope size is the number of entries the solver
   * stored below the diagonal of the kernel matrix.
   */
  vtkGetMacro(NumberOfLandmarks, vtkIdType);
  vtkGetMacro(MinimumNeighbors, vtkIdType);
  vtkGetMacro(MaximumNeighbors, vtkIdType);
  vtkGetMacro(MeanNeighbors, double);
  vtkGetMacro(EnvelopeSize, vtkIdType);
  ///@}

  ///@{
  /**
   * Seconds spent in each stage of the last successful fit: copying and checking the input,
   * the locator with the breadth-first ordering and the neighbour counts, the assembly of the
   * kernel matrix, its factorisation, the seven solves (or, for a set too large for the
   * envelope, their conjugate gradient solve), and the whole Fit().
   */
  vtkGetMacro(InputTime, double);
  vtkGetMacro(OrderingTime, double);
  vtkGetMacro(AssemblyTime, double);
  vtkGetMacro(FactorizationTime, double);
  vtkGetMacro(SolveTime, double);
  vtkGetMacro(TotalTime, double);
  ///@}

protected:
  vtkLandmarkSplineFit();
  ~vtkLandmarkSplineFit() override;

  vtkPoints* SourceLandmarks;
  vtkPoints* TargetLandmarks;
  int Solver = SolverAuto;
  double Smoothing = 0.0;
  bool SparseSolveUsed = false;
  double LandmarkMaximumDistance = 0.0;
  double LandmarkRMSDistance = 0.0;
  double LeaveOutMaximumError = 0.0;
  double LeaveOutRMSError = 0.0;
  const char* Stage = "";
  double Radius;
  vtkShapeTransform* Transform;

  vtkIdType NumberOfLandmarks;
  vtkIdType MinimumNeighbors;
  vtkIdType MaximumNeighbors;
  double MeanNeighbors;
  vtkIdType EnvelopeSize;
  double InputTime;
  double OrderingTime;
  double AssemblyTime;
  double FactorizationTime;
  double SolveTime;
  double TotalTime;

private:
  vtkLandmarkSplineFit(const vtkLandmarkSplineFit&) = delete;
  void operator=(const vtkLandmarkSplineFit&) = delete;

  int Fail(const std::string& message);
  int FitLandmarks();
  void ReportProgress(const char* stage, double fraction);
  // Fits the landmarks not left out (keep[i] false) and adds the squared errors of the others.
  int FitWithout(const std::vector<bool>& leftOut, double smoothing, double& maximum,
    double& squares, vtkIdType& count);
  friend class FitProgressRelay;
  void ClearStatistics();
  void UseSpline(const std::shared_ptr<TransformCoefficients>& spline);

  // The spline in force (the transform holds its own copy).
  std::shared_ptr<TransformCoefficients> Spline;
  std::string ErrorMessage;
};

#endif

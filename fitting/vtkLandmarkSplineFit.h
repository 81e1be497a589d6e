/**
 * @class   vtkLandmarkSplineFit
 * @brief   fits the landmark spline to point sets in memory and hands it out as a transform
 *
 * The fitting tool's spline without files: give the source and target positions of the
 * landmarks (two vtkPoints of equal size, point i of one corresponding to point i of the
 * other) and the support radius R, call Fit(), and GetTransform() returns a vtkShapeTransform
 * that carries every source landmark onto its target (its Factor is 1), ready for
 * vtkTransformPolyDataFilter. The fit is the one Pravik writes to a coefficient file: the same
 * breadth-first ordering, kernel (1 - r/R)^2, envelope Cholesky solve and single precision;
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
 * After a successful Fit() the statistics describe it: the neighbour counts within R and the
 * time of each stage in seconds (wall clock).
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

  ///@{
  /**
   * Whether Fit() solves the kernel system by conjugate gradients on its nonzero entries even
   * where the envelope factorisation fits (off by default: the envelope then gives exactly the
   * coefficients Pravik writes). From about 10,000 landmarks the sparse solve is much faster
   * (100,000 landmarks: about one second against six on two cores); its coefficients agree
   * with the envelope's to about 1e-5 of the largest, not bit for bit. Sets too large for the
   * envelope take the sparse solve either way.
   */
  vtkSetMacro(SparseSolve, bool);
  vtkGetMacro(SparseSolve, bool);
  vtkBooleanMacro(SparseSolve, bool);
  ///@}

  /** Whether the last successful Fit() used the sparse solve. */
  vtkGetMacro(SparseSolveUsed, bool);

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
  bool SparseSolve = false;
  bool SparseSolveUsed = false;
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
  void ClearStatistics();
  void UseSpline(const std::shared_ptr<TransformCoefficients>& spline);

  // The spline in force (the transform holds its own copy).
  std::shared_ptr<TransformCoefficients> Spline;
  std::string ErrorMessage;
};

#endif

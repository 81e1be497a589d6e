/**
 * @class   vtkMatrixSolver
 * @brief   fits a compactly supported radial-basis spline with an affine part per axis
 *
 * For each coordinate axis the spline
 *   s(q) = sum_k c_k * phi(|q - p_k|) + d_0 + d_1*q_x + d_2*q_y + d_3*q_z,
 *   phi(r) = (1 - r/R)^2 for r < R and 0 otherwise (R = Radius),
 * takes at every landmark's source position p_k the value of the axis' right-hand side
 * (BX, BY, BZ: source minus target), with sum c_k = sum c_k*x_k = sum c_k*y_k = sum c_k*z_k = 0.
 *
 * Solve() assembles the kernel matrix in envelope storage in the landmark order List, factors
 * it once by the envelope Cholesky method, eliminates the affine part through its 4 x 4 Schur
 * complement and hands the results out as SplineCoeffX/Y/Z: n kernel weights in ordered
 * positions followed by d_0 ... d_3. BX, BY and BZ are overwritten with the kernel weights.
 *
 * When the landmark positions do not span space (fewer than four landmarks, or all on one
 * plane or line) the affine part is not unique: Solve() then fits it within the directions
 * the landmarks span, reports one warning (vtkWarningMacro, AffineFallbackText) and still
 * interpolates every landmark. A kernel matrix that is not positive definite is reported
 * through vtkErrorMacro and GetFactorizationFailed(). Nothing is printed.
 *
 * Every allocation failure throws its message text (const char*).
 *
 * @warning Solve() uses the process-wide envelope and dense systems: one Solve() at a time.
 * @sa vtkDatReader
 */
#ifndef vtkMatrixSolver_h
#define vtkMatrixSolver_h

#include <vtkObject.h>

class vtkPoints;
struct KernelProfile;
enum class FitSolver; // SolverChoice.h, a private header

class vtkMatrixSolver : public vtkObject
{
public:
  vtkTypeMacro(vtkMatrixSolver, vtkObject);
  static vtkMatrixSolver* New();
  void PrintSelf(ostream& os, vtkIndent indent) override;

  ///@{
  /** Source positions of the landmarks in file order; registered. Default null. */
  virtual void SetPointArray(vtkPoints* points);
  vtkGetObjectMacro(PointArray, vtkPoints);
  ///@}

  ///@{
  /**
   * Coefficients per axis (n + 4 floats): allocated by Solve() with new[], never released by
   * the solver. Default null.
   */
  vtkSetMacro(SplineCoeffX, float*);
  vtkGetMacro(SplineCoeffX, float*);
  vtkSetMacro(SplineCoeffY, float*);
  vtkGetMacro(SplineCoeffY, float*);
  vtkSetMacro(SplineCoeffZ, float*);
  vtkGetMacro(SplineCoeffZ, float*);
  ///@}

  ///@{
  /** The landmark at each ordered position (n entries, not owned). Default null. */
  vtkSetMacro(List, int*);
  vtkGetMacro(List, int*);
  ///@}

  ///@{
  /** Right-hand sides in ordered positions (n entries each, not owned, overwritten). */
  vtkSetMacro(BX, float*);
  vtkGetMacro(BX, float*);
  vtkSetMacro(BY, float*);
  vtkGetMacro(BY, float*);
  vtkSetMacro(BZ, float*);
  vtkGetMacro(BZ, float*);
  ///@}

  ///@{
  /** Support radius R of the kernel. Default 0. */
  vtkSetMacro(Radius, float);
  vtkGetMacro(Radius, float);
  ///@}

  ///@{
  /** Largest ordered-position distance of two neighbours (from the reader). Default 0. */
  vtkSetMacro(Max, int);
  vtkGetMacro(Max, int);
  ///@}

  /** Fits the three axes. Returns 1; allocation failures throw their message text. */
  int Solve();

  /** phi of the distance between the PointArray points id1 and id2. */
  double EvaluateKernel(vtkIdType id1, vtkIdType id2);

  ///@{
  /**
   * The largest envelope, in bytes, that Solve() factors; a kernel matrix whose envelope is
   * larger, or cannot be allocated, is solved by conjugate gradients on its nonzero entries
   * instead. 0 (the default) stands for a gigabyte, or a quarter of the memory of a machine
   * with less than four. An envelope of more than 2^31 - 2 entries (8 GB) is never factored,
   * whatever the bound: its positions would not fit the int row index.
   */
  vtkSetMacro(MaximumEnvelopeBytes, vtkTypeInt64);
  vtkGetMacro(MaximumEnvelopeBytes, vtkTypeInt64);
  ///@}

  ///@{
  /**
   * How the kernel system is solved (see SolverChoice.h). Envelope (the default): the
   * envelope factorisation wherever its envelope fits, as the first versions did. Sparse: the
   * preconditioned conjugate gradient solve. Auto: the one with the smaller predicted work; a
   * sparse solve that has not converged within the envelope's predicted work hands over to
   * the envelope.
   */
  void SetMethod(FitSolver method);
  FitSolver GetMethod() const { return this->Method; }
  ///@}

  ///@{
  /**
   * Smoothing S >= 0 added to the kernel matrix's diagonal (Phi + S*I; the affine part is
   * unchanged): the spline then passes near the landmarks instead of through them. Default 0.
   */
  void SetSmoothing(double smoothing) { this->Smoothing = smoothing; }
  double GetSmoothing() const { return this->Smoothing; }
  ///@}

  /** Whether the last Solve() used the sparse solve instead of the envelope. */
  bool GetSparseSolveUsed() const { return this->SparseUsed; }
  /** Whether the last Solve() began with the sparse solve and handed over to the envelope. */
  bool GetHandedOver() const { return this->HandedOver; }

  /**
   * Whether every solve of the last Solve() reached its residual (always true for the
   * envelope); when false the coefficients are not to be used. The largest relative residual
   * |Phi*x - f| / |f| of its sparse solves (0 for the envelope), at most 1e-8 when they
   * converged.
   */
  bool GetSolveConverged() const { return this->SolveConverged; }
  double GetSolveResidual() const { return this->SolveResidual; }
  /** Conjugate gradient steps of the last sparse solve (0 for the envelope). */
  int GetSolveIterations() const { return this->SolveIterations; }

  /**
   * 1 when the last Solve() met a pivot that was not positive (the kernel matrix is not
   * positive definite, typically because two landmarks share a source position); its
   * coefficients are then meaningless. 0 otherwise.
   */
  int GetFactorizationFailed() const { return this->FactorizationFailed; }

  ///@{
  /**
   * The affine part of the last Solve(): how many affine functions the landmarks tell apart
   * (4 when they span space), and whether it was fitted within the directions they span
   * (then a warning was reported with AffineFallbackText(GetAffineRank())).
   */
  int GetAffineRank() const { return this->AffineRank; }
  bool GetAffineFallbackUsed() const { return this->AffineFallbackUsed; }
  ///@}

  /**
   * The warning about the affine part for a given rank, a sentence without its capital and
   * final line end: below 4 the landmarks do not span space, at 4 the system was singular in
   * single precision.
   */
  static const char* AffineFallbackText(int rank);

protected:
  vtkMatrixSolver();
  ~vtkMatrixSolver() override;

  vtkPoints* PointArray;
  float* SplineCoeffX;
  float* SplineCoeffY;
  float* SplineCoeffZ;
  int* List;
  float* BX;
  float* BY;
  float* BZ;
  float Radius;
  int Max;

private:
  vtkMatrixSolver(const vtkMatrixSolver&) = delete;
  void operator=(const vtkMatrixSolver&) = delete;

  struct Work;
  void AllocateWork(Work& w, int n);
  void AllocateEnvelope(Work& w, int n);
  void AssembleEnvelope(Work& w, int n);
  vtkTypeInt64 EnvelopeBound() const;
  vtkTypeInt64 EnvelopeEntryLimit() const;
  void AssembleSparse(Work& w, int n, const KernelProfile* measured, const char* envelopeFailure);
  void SolveEnvelope(Work& w, int n, int threads);
  void SolveSparse(Work& w, int n, int threads, bool keepRightHandSides);
  void FitAxis(Work& w, int n, float* f, float* g);
  void ReleaseWork(Work& w, int n);
  void HandOutCoefficients(Work& w, int n);
  void ReportNotPositive();

  vtkTypeInt64 MaximumEnvelopeBytes = 0;
  FitSolver Method;
  double Smoothing = 0.0;
  bool SparseUsed = false;
  bool HandedOver = false;
  bool SolveConverged = true;
  double SolveResidual = 0.0;
  int SolveIterations = 0;
  int FactorizationFailed = 0;
  // What PrintSelf tells of the affine part: the number of affine functions the landmarks of
  // the last Solve() tell apart (4 when they span space), and whether it was fitted within them.
  int AffineRank = 0;
  bool AffineFallbackUsed = false;
};

#endif

/**
 * @class   vtkShapeTransform
 * @brief   moves a point set by a blend of a fitted compactly supported spline displacement
 *
 * vtkShapeTransform evaluates, per axis, the radial-basis spline that the fitting tool writes
 * to a transform coefficient file and moves every point x of a point set to
 * x - Factor * d(x). Factor 0 leaves the model as loaded, Factor 1 carries every source
 * landmark onto its target, values in between blend linearly.
 *
 * For a point x, S(x) are the landmarks within Radius R of x (the boundary included, as a
 * radius query returns them). When S(x) is empty, d(x) = 0. Otherwise, per axis A,
 *
 *   d_A(x) = sum_{k in S(x)} phi(|p_k - x|) * CoeffA[UnList[k]]
 *            + CoeffA[N] + CoeffA[N+1] * x + CoeffA[N+2] * y + CoeffA[N+3] * z
 *
 * with phi(r) = (1 - r/R)^2, p_k the landmark positions in file order and N their number.
 * Unlike the fitted spline itself, a point with no landmark in reach stays where it is: the
 * affine part is only added where some landmark lies within R.
 *
 * A radius of 0 or below has no kernel: the fitting tool then fits the affine part alone
 * (the least-squares affine map of the landmarks), and d(x) is that affine part at every
 * point, with a warning when the parameters are set.
 *
 * Coefficient layout (one array per axis, N + 4 floats, read only; the caller's, or the
 * transform's own after LoadCoefficientFile, SetParameters from a read file, or a copy):
 * @verbatim
 *   index:  0 .. N-1                      N          N+1    N+2    N+3
 *           kernel weights, in the        constant   x      y      z
 *           fitter's ordered positions    term       factor factor factor
 *   landmark k (file order) owns the kernel weight at UnList[k]
 * @endverbatim
 *
 * The landmarks are found through a uniform grid of cells about as wide as R, which
 * SetParameters builds from the landmark positions and the coefficients (the locator handed
 * over is not queried). Whole point sets (TransformPoints, and the filters that call it) are
 * what the viewer animates: the first evaluation after new parameters makes one kernel sum
 * per point, spread over the machine's cores, and caches the displacements (single
 * precision). Every later evaluation of the same input points is one multiply-subtract per
 * coordinate. The cache belongs to one input: another vtkPoints object, a modification of the
 * cached one or another point count makes the next evaluation recompute it.
 *
 * Single points (TransformPoint, and every filter that transforms point by point) get the
 * same displacement, computed afresh for each call: they neither read nor fill the cache, and
 * any number of threads may transform single points at once. The derivative is the analytic
 * Jacobian I - Factor * grad d(x) of the same sum. The inverse (GetInverse(), or Inverse() on
 * a copy) finds, for a point y, the x with x - Factor * d(x) = y by Newton's method started at
 * y + Factor * d(y); see InverseTolerance and InverseIterations.
 *
 * Precision: sums are accumulated in double precision. The evaluation that fills the cache,
 * and every single point, computes its output from those double sums; later evaluations use the
 * cached single precision displacements, so the same Factor can give results that differ in the
 * last bits of a coordinate between the first and a later evaluation (at most |Factor| times half a
 * unit in the last place of the displacement, plus the rounding of the output).
 *
 * Results do not depend on the number of threads: every point's displacement is computed
 * by one thread, over its landmarks in one fixed order (by the grid's cells, then file
 * order).
 *
 * @warning Parameters that cannot be evaluated safely make the transform the identity:
 * a radius that is not a finite number, ordering entries outside 0..N-1, missing
 * arrays, a locator that is not built over N points, or landmark points that no longer
 * number N (points added after the parameters were set have no coefficients). A point whose
 * displacement is not finite (non-finite coefficients or input coordinates) is not moved.
 *
 * @warning d(x) is continuous inside the region the landmarks reach but drops to 0 where the
 * last landmark goes out of reach (the affine part stops there), and the kernel has a cone's
 * tip at every landmark, where the derivative takes that landmark's term as flat. Where
 * Factor * grad d(x) has an eigenvalue of 1 or more the deformation folds and is not
 * invertible: there the inverse warns that it did not converge and returns its best point.
 *
 * Filters that carry normals and vectors (vtkTransformPolyDataFilter, vtkTransformFilter) get
 * them through the Jacobian J of the map at each point, as for VTK's other nonlinear
 * transforms: vectors become J v, normals the inverse transpose of J times n, renormalised.
 * The gradients behind J are cached beside the displacements the first time a point set's
 * normals or vectors are asked for, so an animation step that carries normals stays one pass
 * over the points.
 *
 * @sa vtkTransformPolyDataFilter vtkThinPlateSplineTransform vtkPointLocator
 */

#ifndef vtkShapeTransform_h
#define vtkShapeTransform_h

#include "vtkAbstractTransform.h"
#include "vtkSmartPointer.h" // for the held coefficient arrays
#include "vtkWeakPointer.h"  // for the identity of the cached input

#include <atomic> // for Factor
#include <memory> // for the landmark grid
#include <vector> // for the cached gradients

class vtkDataArray;
class vtkDoubleArray;
class vtkFloatArray;
class vtkIntArray;
class vtkPointLocator;
class vtkPoints;
struct TransformCoefficients;
namespace spline_kernel
{
class LandmarkGrid;
}

class vtkShapeTransform : public vtkAbstractTransform
{
public:
  static vtkShapeTransform* New();
  vtkTypeMacro(vtkShapeTransform, vtkAbstractTransform);

  /**
   * Prints the radius, the number of landmarks, Factor, whether displacements are cached and
   * the other settings.
   */
  void PrintSelf(ostream& os, vtkIndent indent) override;

  /**
   * Hands over one fitted spline: the radius R, the N landmark positions in file order, the
   * three coefficient arrays of N + 4 floats, the ordering array of N ints and a locator
   * built over the landmark positions. The transform keeps a reference to the points and the
   * locator; the arrays are not copied: the caller keeps them alive and unchanged while these
   * parameters are in force (the landmark positions and the coefficients are also read into
   * the transform's search grid here, so changes made to them later take effect only at the
   * next SetParameters). The cache is dropped and the transform is marked modified, so
   * pipelines that use it re-execute. Parameters that could make the evaluation read out of
   * range (see the class warning) are reported and leave the transform the identity.
   */
  void SetParameters(float radius, vtkPoints* points, float* coeffX, float* coeffY, float* coeffZ,
    int* unList, vtkPointLocator* tree);

  /**
   * The same from a coefficient file read with ReadTransformCoefficients (TransformFile.h):
   * the transform copies the arrays and keeps references to the points and the locator, so
   * the read contents may go as soon as this returns. Constant terms given in double
   * precision (coefficients.Constants) are used in place of the arrays' row N.
   */
  VTK_WRAPEXCLUDE void SetParameters(const TransformCoefficients& coefficients);

  /**
   * Constant terms in double precision (TransformCoefficients::Constants: three values) for
   * the parameters in force, used in place of the coefficient arrays' row N; anything else
   * (an empty vector, a value that is not finite) leaves the arrays' row in use. For callers
   * that hand their own arrays to SetParameters.
   */
  VTK_WRAPEXCLUDE void SetConstantTerms(const std::vector<double>& constants);

  /**
   * Reads a transform coefficient file (".trc", as the fitting tool writes it) and sets the
   * parameters from it, the transform holding everything it needs. Returns 1 on success; 0
   * when the file cannot be read or is not a coefficient file (the reason goes to the error
   * output), in which case the parameters in force stay as they were.
   */
  int LoadCoefficientFile(const char* fileName);

  /**
   * Appends to out the transformed position of every point of in, in order. For an inverted
   * transform, each point is solved for by Newton's method (no cache), with one warning for
   * all the points that did not converge.
   */
  void TransformPoints(vtkPoints* in, vtkPoints* out) override;

  /**
   * Appends the transformed points to outPts (as TransformPoints) and, for every pair of
   * input and output arrays given, the transformed tuples to the output array: vectors
   * (inVrs, and the nOptionalVectors arrays of inVrsArr) by the Jacobian J of the map, normals
   * by the cofactor matrix of J (the inverse transpose times det J: the same direction where
   * the map keeps orientation, the direction the carried cells' winding gives where it folds)
   * and renormalised. Without parameters the tuples are copied unchanged. An input array that
   * does not hold a tuple of three components per point is reported and left out.
   */
  void TransformPointsNormalsVectors(vtkPoints* inPts, vtkPoints* outPts, vtkDataArray* inNms,
    vtkDataArray* outNms, vtkDataArray* inVrs, vtkDataArray* outVrs, int nOptionalVectors = 0,
    vtkDataArray** inVrsArr = nullptr, vtkDataArray** outVrsArr = nullptr) override;

  ///@{
  /**
   * One point: x - Factor * d(x), or, for an inverted transform, the point that the forward
   * transform carries onto in (Newton's method). in and out may be the same array. Safe to
   * call from several threads at once; the displacement cache is not used.
   */
  void InternalTransformPoint(const float in[3], float out[3]) override;
  void InternalTransformPoint(const double in[3], double out[3]) override;
  ///@}

  ///@{
  /**
   * The point as InternalTransformPoint gives it and the Jacobian derivative[i][j] =
   * d out_i / d in_j: I - Factor * grad d(x), computed analytically; for an inverted transform,
   * the inverse of the forward Jacobian at the found point (0 where that one is singular).
   */
  void InternalTransformDerivative(
    const float in[3], float out[3], float derivative[3][3]) override;
  void InternalTransformDerivative(
    const double in[3], double out[3], double derivative[3][3]) override;
  ///@}

  /**
   * Swaps the forward and the inverse direction. GetInverse() gives a transform that follows
   * this one and runs the other way.
   */
  void Inverse() override;

  /**
   * 1 when this transform runs the inverse direction, 0 (the default) otherwise.
   */
  vtkGetMacro(InverseFlag, vtkTypeBool);

  ///@{
  /**
   * The inverse stops when the forward transform of its point lies within InverseTolerance of
   * the point to invert and the next Newton correction is shorter than InverseTolerance
   * (default 1e-6, in the model's units; the correction is then applied). After
   * InverseIterations Newton steps (default 50) without getting there it warns and returns
   * the best point it found. Set these on the transform itself: its inverse takes them over.
   */
  vtkSetClampMacro(InverseTolerance, double, 0.0, VTK_DOUBLE_MAX);
  vtkGetMacro(InverseTolerance, double);
  vtkSetClampMacro(InverseIterations, int, 1, VTK_INT_MAX);
  vtkGetMacro(InverseIterations, int);
  ///@}

  /**
   * A new, empty vtkShapeTransform. DeepCopy then gives it this one's parameters (with its
   * own references to the points, the locator, and coefficients and ordering that no caller
   * owns), Factor, direction and inverse settings; not the displacement cache.
   */
  VTK_NEWINSTANCE vtkAbstractTransform* MakeTransform() override;

  /**
   * Blend factor of the deformation, 0 after construction. One evaluation reads it once, so
   * every point of one output uses the same factor. Whoever writes it directly calls
   * Modified() afterwards (on the thread that runs the pipeline) so that pipelines
   * re-execute; from another thread, use SetFactor().
   */
  std::atomic<float> Factor{ 0.0f };

  ///@{
  /**
   * Store the blend factor and read it. SetFactor may be called from any thread, also while
   * another thread evaluates the transform: instead of Modified() (whose time stamp is not
   * safe to write concurrently) it moves an atomic time that GetMTime() reports, so that
   * pipelines re-execute at their next update. No ModifiedEvent is invoked.
   */
  void SetFactor(float factor);
  float GetFactor() const { return this->Factor.load(std::memory_order_relaxed); }
  ///@}

  /**
   * Includes the time of the last SetFactor() that changed the factor.
   */
  vtkMTimeType GetMTime() override;

  ///@{
  /**
   * Number of threads for the displacement computation of a whole point set; 0 (the default)
   * uses every core, 1 computes on the calling thread only. The results are the same for any
   * value.
   */
  vtkSetClampMacro(NumberOfThreads, int, 0, 256);
  vtkGetMacro(NumberOfThreads, int);
  ///@}

  ///@{
  /**
   * The parameters in force (see SetParameters).
   */
  vtkGetMacro(Radius, float);
  vtkGetObjectMacro(PointArray, vtkPoints);
  float* GetSplineCoeffX() const { return this->SplineCoeffX; }
  float* GetSplineCoeffY() const { return this->SplineCoeffY; }
  float* GetSplineCoeffZ() const { return this->SplineCoeffZ; }
  int* GetUnList() const { return this->UnList; }
  vtkGetObjectMacro(Tree, vtkPointLocator);
  ///@}

  /**
   * 1 when parameters are in force and can be evaluated; 0 while the transform is the
   * identity (none set, or refused).
   */
  vtkGetMacro(Initialized, vtkTypeBool);

  ///@{
  /**
   * Points outside VTK's point sets (numpy arrays, point lists): in holds n tuples of three
   * components, of any numeric type.
   *
   * TransformPointArray sets out to n tuples of three doubles, each the point TransformPoint
   * gives for that tuple (bit for bit), computed on NumberOfThreads threads; the displacement
   * cache is neither read nor filled. An inverted transform warns once for all points whose
   * inverse was not found.
   *
   * JacobianDeterminants sets out to one value per point: the determinant of the derivative
   * (see InternalTransformDerivative) at that point. Where it is 0 or below the deformation
   * folds space there; where no landmark is within reach it is 1. For an inverted transform it
   * is the reciprocal of the forward one at the point found (0 where that one is 0); those
   * points are done on the calling thread, with a warning for each inverse not found.
   *
   * CountBeyondReach tells how many of the points have no landmark within the radius (0 when
   * the transform is the identity or applies the affine part alone). Without AffineEverywhere
   * those points keep their place.
   *
   * A tuple that is not three components long sets out empty and reports an error (-1 from
   * CountBeyondReach).
   */
  void TransformPointArray(vtkDataArray* in, vtkDoubleArray* out);
  void JacobianDeterminants(vtkDataArray* in, vtkDoubleArray* out);
  vtkIdType CountBeyondReach(vtkDataArray* in);
  ///@}

  /**
   * The displacement field itself, whatever Factor and the direction: for every point x of in
   * (n tuples of three components), d(x) into displacements (three components a point) and,
   * when gradients is given, its derivative grad d(x) into gradients (nine components a point,
   * row by row: component 3 a + b is d d_a / d x_b), both computed as the forward transform
   * computes them. The forward map at blend t is x - t d(x) and its Jacobian I - t grad d(x),
   * so the derivative found once gives the Jacobian, and its determinant, at every blend.
   * Zero while the transform is the identity. A tuple that is not three components long sets
   * both outputs empty and reports an error.
   */
  void EvaluateDisplacementField(
    vtkDataArray* in, vtkDoubleArray* displacements, vtkDoubleArray* gradients);

  ///@{
  /**
   * Off (the default): a point with no landmark within the radius keeps its place, as in the
   * viewer. On: the affine part of the fit applies at every point, the kernel sum only where
   * landmarks are within reach, so a model landmarked in part does not tear at the border of
   * their reach. Copied by DeepCopy.
   */
  void SetAffineEverywhere(vtkTypeBool everywhere);
  vtkGetMacro(AffineEverywhere, vtkTypeBool);
  vtkBooleanMacro(AffineEverywhere, vtkTypeBool);
  ///@}

  ///@{
  /**
   * Copies of the parameters in force for inspection and storage (numpy in Python):
   * the coefficients as N + 4 tuples of (x, y, z) in the layout above (kernel weights in the
   * fitter's order, then the constant and the x, y, z factors), and the ordering (N values,
   * landmark k's weight at ordering[k]). Empty while the transform is the identity.
   */
  void GetCoefficients(vtkDoubleArray* out);
  void GetOrdering(vtkIntArray* out);
  ///@}

protected:
  vtkShapeTransform();
  ~vtkShapeTransform() override;

  void InternalDeepCopy(vtkAbstractTransform* transform) override;

  // True when the displacements held belong to these input points.
  bool CacheHolds(vtkPoints* in) const;
  // Fills Displacements for every point of in and writes x - factor * d(x) from the double
  // sums to out, from index start on.
  void ComputeDisplacements(vtkPoints* in, vtkPoints* out, vtkIdType start, float factor);
  void ComputeRange(
    vtkPoints* in, vtkPoints* out, vtkIdType start, float factor, vtkIdType begin, vtkIdType end);
  void ApplyDisplacements(vtkPoints* in, vtkPoints* out, float factor);
  // The inverse direction for a whole point set: one Newton solve per point, one warning for
  // all points that did not converge.
  void InversePoints(vtkPoints* in, vtkPoints* out, float factor);
  // The blend factor as one evaluation uses it (0 for a factor that is not finite).
  float CurrentFactor() const;
  // TransformPoints with the factor read once by the caller.
  void MovePoints(vtkPoints* in, vtkPoints* out, float factor);
  // Threads for a computation over n points.
  int ThreadsFor(vtkIdType n) const;
  /// True when in holds points (three components a tuple); otherwise an error, false.
  bool HoldsPoints(vtkDataArray* in);
  // Fills Gradients for in, whose displacements are cached; false when memory runs out.
  bool CacheGradients(vtkPoints* in);
  struct AttributePair
  {
    vtkDataArray* In;
    vtkDataArray* Out;
  };
  // Appends the carried normals (normals.In may be null) and vectors of in's n points to the
  // output arrays; out holds the transformed points from index start on.
  void TransformAttributes(vtkPoints* in, vtkPoints* out, vtkIdType start, float factor,
    const AttributePair& normals, const std::vector<AttributePair>& vectors);
  // True when the parameters can be evaluated (else the transform is the identity).
  bool Usable() const;
  void CountSearch(bool searched) const
  {
    if (searched)
    {
      this->NeighborSearches.fetch_add(1, std::memory_order_relaxed);
    }
  }
  // The x that the forward transform with this factor carries onto y, by Newton's method.
  // Returns the number of Newton steps taken, or -1 when it did not converge (x is then the
  // best point found). residual, when given, receives |forward(x) - y| before the last
  // correction.
  int SolveInverse(const double y[3], double x[3], float factor, double* residual) const;
  // Forward or inverse, as InverseFlag says, warning where the inverse did not converge.
  void TransformOne(const double in[3], double out[3], double (*derivative)[3]);
  // The constant terms in double precision, or null (the coefficient arrays' row N).
  const double* ConstantTerms() const;
  // True when these are the arrays the transform holds.
  bool HoldsArrays(const float* x, const float* y, const float* z, const int* unList) const;

  float Radius;
  vtkPoints* PointArray;
  vtkPoints* Displacements;
  vtkTypeBool Cached;
  vtkTypeBool Initialized;
  bool AffineOnly = false; ///< a radius of 0 or below: the affine part everywhere
  // The constant terms in double precision, from SetParameters(TransformCoefficients): a fit
  // far from the origin needs more digits there than the coefficient arrays hold.
  double Constants[3] = { 0.0, 0.0, 0.0 };
  bool HasConstants = false;
  vtkTypeBool AffineEverywhere = 0; ///< the affine part also beyond the landmarks' reach
  float* SplineCoeffX;
  float* SplineCoeffY;
  float* SplineCoeffZ;
  int* UnList;
  vtkPointLocator* Tree;
  // The landmarks and their coefficients sorted into cells (built by SetParameters, shared by
  // copies, only read while evaluating); null while the transform is the identity or applies
  // the affine part alone.
  std::shared_ptr<const spline_kernel::LandmarkGrid> Grid;
  // The number of landmarks when the parameters were set (the coefficient arrays' N).
  vtkIdType LandmarkCount = 0;
  // Points whose landmarks within reach were searched for (one kernel sum each), counted
  // since construction by every path: shows whether the cache was used.
  mutable std::atomic<vtkIdType> NeighborSearches{ 0 };
  int NumberOfThreads;
  vtkTypeBool InverseFlag;
  double InverseTolerance;
  int InverseIterations;

  // The coefficients (X, Y, Z one after the other) and the ordering when the transform holds
  // them itself; null while SplineCoeffX... point into the caller's arrays.
  vtkSmartPointer<vtkFloatArray> HeldCoefficients;
  vtkSmartPointer<vtkIntArray> HeldUnList;

  // grad d(x) of every cached point (nine per point, row by row), filled when normals or
  // vectors are first asked for; valid while GradientsCached and the displacements are.
  std::vector<float> Gradients;
  bool GradientsCached = false;

  // Which input the displacements belong to.
  vtkWeakPointer<vtkPoints> CachedInput;
  vtkMTimeType CachedInputTime;

  // Modification time of the factor, written by SetFactor from any thread.
  std::atomic<vtkMTimeType> FactorTime{ 0 };

private:
  vtkShapeTransform(const vtkShapeTransform&) = delete;
  void operator=(const vtkShapeTransform&) = delete;
};

#endif

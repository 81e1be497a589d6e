/**
 * @class   vtkShapeTransform
 * @brief   moves a point set by a blend of a fitted compactly supported spline displacement
 *
 * vtkShapeTransform evaluates, per axis, the radial-basis spline that the fitting tool writes
 * to a transform coefficient file and moves every point x of a point set to
 * x - Factor * d(x). Factor 0 leaves the model as loaded, Factor 1 carries every source
 * landmark onto its target, values in between blend linearly.
 *
 * For a point x, S(x) are the landmarks within Radius R of x (as the locator's radius query
 * returns them, the boundary included). When S(x) is empty, d(x) = 0. Otherwise, per axis A,
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
 * Coefficient layout (one array per axis, N + 4 floats, read only, owned by the caller):
 * @verbatim
 *   index:  0 .. N-1                      N          N+1    N+2    N+3
 *           kernel weights, in the        constant   x      y      z
 *           fitter's ordered positions    term       factor factor factor
 *   landmark k (file order) owns the kernel weight at UnList[k]
 * @endverbatim
 *
 * Only whole point sets are transformed. The first evaluation after new parameters makes one
 * radius query and one kernel sum per point, spread over the machine's cores, and caches the
 * displacements (single precision). Every later evaluation of the same input points is one
 * multiply-subtract per coordinate. The cache belongs to one input: another vtkPoints
 * object, a modification of the cached one or another point count makes the next evaluation
 * recompute it.
 *
 * Precision: sums are accumulated in double precision. The evaluation that fills the cache
 * computes its output from those double sums; later evaluations use the cached single
 * precision displacements, so the same Factor can give results that differ in the last bits
 * of a coordinate between the first and a later evaluation (at most |Factor| times half a
 * unit in the last place of the displacement, plus the rounding of the output).
 *
 * Results do not depend on the number of threads: every point's displacement is computed
 * by one thread in the locator's id order.
 *
 * @warning Parameters that cannot be evaluated safely make the transform the identity:
 * a radius that is not a finite number, ordering entries outside 0..N-1, missing
 * arrays or a locator that is not built over N points. A point whose displacement is not
 * finite (non-finite coefficients or input coordinates) is not moved.
 *
 * @warning The single-point, derivative and inverse operations of vtkAbstractTransform are
 * not supported: they leave their output as passed, and MakeTransform returns nullptr.
 * vtkAbstractTransform::GetInverse() builds its inverse through MakeTransform and so must not
 * be called on this transform (nor may it be concatenated inverted into a
 * vtkGeneralTransform).
 *
 * @sa vtkTransformPolyDataFilter vtkThinPlateSplineTransform vtkPointLocator
 */

#ifndef vtkShapeTransform_h
#define vtkShapeTransform_h

#include "vtkAbstractTransform.h"
#include "vtkWeakPointer.h" // for the identity of the cached input

#include <atomic> // for Factor

class vtkIdList;
class vtkPointLocator;
class vtkPoints;

class vtkShapeTransform : public vtkAbstractTransform
{
public:
  static vtkShapeTransform* New();
  vtkTypeMacro(vtkShapeTransform, vtkAbstractTransform);
  void PrintSelf(ostream& os, vtkIndent indent) override;

  /**
   * Hands over one fitted spline: the radius R, the N landmark positions in file order, the
   * three coefficient arrays of N + 4 floats, the ordering array of N ints and a locator
   * built over the landmark positions. Nothing is copied: the caller keeps all of them alive
   * and unchanged while these parameters are in force. The cache is dropped and the transform
   * is marked modified, so pipelines that use it re-execute. Parameters that could make the
   * evaluation read out of range (see the class warning) are reported and leave the
   * transform the identity.
   */
  void SetParameters(float radius, vtkPoints* points, float* coeffX, float* coeffY, float* coeffZ,
    int* unList, vtkPointLocator* tree);

  /**
   * Appends to out the transformed position of every point of in, in order.
   */
  void TransformPoints(vtkPoints* in, vtkPoints* out) override;

  /**
   * Transforms the points only; normals and vectors are neither read nor written, so the
   * output arrays stay as passed (empty, in vtkTransformPolyDataFilter).
   */
  void TransformPointsNormalsVectors(vtkPoints* inPts, vtkPoints* outPts, vtkDataArray* inNms,
    vtkDataArray* outNms, vtkDataArray* inVrs, vtkDataArray* outVrs, int nOptionalVectors = 0,
    vtkDataArray** inVrsArr = nullptr, vtkDataArray** outVrsArr = nullptr) override;

  ///@{
  /**
   * Not supported: the spline has no closed-form inverse and the transform only works on
   * whole point sets. These leave their outputs as passed.
   */
  void Inverse() override {}
  void InternalTransformPoint(const float[3], float[3]) override {}
  void InternalTransformPoint(const double[3], double[3]) override {}
  void InternalTransformDerivative(const float[3], float[3], float[3][3]) override {}
  void InternalTransformDerivative(const double[3], double[3], double[3][3]) override {}
  ///@}

  /**
   * Returns nullptr: the transform cannot be copied through the base class.
   */
  VTK_NEWINSTANCE vtkAbstractTransform* MakeTransform() override { return nullptr; }

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
   * Number of threads for the displacement computation; 0 (the default) uses every core,
   * 1 computes on the calling thread only. The results are the same for any value.
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

  ///@{
  /**
   * Initialized: parameters have been set and can be evaluated. Cached: the displacements of
   * the last input are held for these parameters.
   */
  vtkGetMacro(Initialized, vtkTypeBool);
  vtkGetMacro(Cached, vtkTypeBool);
  ///@}

  /**
   * The displacement cache: point i is d of input point i of the last computed input.
   */
  vtkGetObjectMacro(Displacements, vtkPoints);

protected:
  vtkShapeTransform();
  ~vtkShapeTransform() override;

  // True when the displacements held belong to these input points.
  bool CacheHolds(vtkPoints* in) const;
  // Fills Displacements for every point of in and writes x - factor * d(x) from the double
  // sums to out, from index start on.
  void ComputeDisplacements(vtkPoints* in, vtkPoints* out, vtkIdType start, float factor);
  void ComputeRange(vtkPoints* in, vtkPoints* out, vtkIdType start, float factor, vtkIdType begin,
    vtkIdType end, vtkIdList* ids);
  void ApplyDisplacements(vtkPoints* in, vtkPoints* out, float factor);

  float Radius;
  vtkPoints* PointArray;
  vtkPoints* Displacements;
  vtkTypeBool Cached;
  vtkTypeBool Initialized;
  bool AffineOnly = false; ///< a radius of 0 or below: the affine part everywhere
  float* SplineCoeffX;
  float* SplineCoeffY;
  float* SplineCoeffZ;
  int* UnList;
  vtkPointLocator* Tree;
  vtkIdList* NeighborIds;
  int NumberOfThreads;

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

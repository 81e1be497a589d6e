#include "vtkShapeTransform.h"

#include "LandmarkGrid.h"
#include "ParallelChunks.h"
#include "SplineKernel.h"
#include "TransformFile.h"

#include "vtkDataSet.h"
#include "vtkDoubleArray.h"
#include "vtkFloatArray.h"
#include "vtkIntArray.h"
#include "vtkMath.h"
#include "vtkNew.h"
#include "vtkObjectFactory.h"
#include "vtkPointLocator.h"
#include "vtkPoints.h"
#include "vtkSmartPointer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <vector>

vtkStandardNewMacro(vtkShapeTransform);

namespace
{
// Points per work item when the displacement computation is shared between threads: small
// enough to balance regions of different landmark density, large enough to make the shared
// counter cheap.
constexpr vtkIdType ChunkSize = 2048;

// Below this many points the computation stays on the calling thread.
constexpr vtkIdType MinPointsPerThread = 4096;

// Coordinate access to a vtkPoints through its raw buffer where it has one. Reads and
// writes of distinct points are safe from several threads.
class PointAccess
{
public:
  explicit PointAccess(vtkPoints* points)
    : Data(points->GetData())
  {
    if (auto* f = vtkFloatArray::FastDownCast(this->Data))
    {
      this->Floats = f->GetPointer(0);
    }
    else if (auto* d = vtkDoubleArray::FastDownCast(this->Data))
    {
      this->Doubles = d->GetPointer(0);
    }
  }

  void Get(vtkIdType i, double x[3]) const
  {
    if (this->Floats)
    {
      const float* p = this->Floats + 3 * i;
      x[0] = p[0];
      x[1] = p[1];
      x[2] = p[2];
    }
    else if (this->Doubles)
    {
      const double* p = this->Doubles + 3 * i;
      x[0] = p[0];
      x[1] = p[1];
      x[2] = p[2];
    }
    else
    {
      this->Data->GetTuple(i, x);
    }
  }

  void Set(vtkIdType i, const double x[3]) const
  {
    if (this->Floats)
    {
      float* p = this->Floats + 3 * i;
      p[0] = static_cast<float>(x[0]);
      p[1] = static_cast<float>(x[1]);
      p[2] = static_cast<float>(x[2]);
    }
    else if (this->Doubles)
    {
      double* p = this->Doubles + 3 * i;
      p[0] = x[0];
      p[1] = x[1];
      p[2] = x[2];
    }
    else
    {
      this->Data->SetTuple(i, x);
    }
  }

  float* FloatBuffer() const { return this->Floats; }

private:
  vtkDataArray* Data;
  float* Floats = nullptr;
  double* Doubles = nullptr;
};

bool AllFinite(const double v[3])
{
  return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

// A displacement is kept only if it survives rounding to single precision.
bool FitsInFloat(const double v[3])
{
  constexpr double limit = std::numeric_limits<float>::max();
  return std::fabs(v[0]) <= limit && std::fabs(v[1]) <= limit && std::fabs(v[2]) <= limit;
}

// Makes room for n points after the first start ones, keeping those, and tells whether the
// memory was there.
bool Grow(vtkPoints* points, vtkIdType start, vtkIdType n)
{
  // Setting the count alone may reallocate without copying: reserve (copying) first.
  if (!points->GetData()->Resize(start + n))
  {
    return false;
  }
  points->SetNumberOfPoints(start + n);
  return points->GetNumberOfPoints() == start + n;
}

// The identity: in's points into out from index start on (out already has room).
void CopyPoints(vtkPoints* in, vtkPoints* out, vtkIdType start)
{
  const vtkIdType n = in->GetNumberOfPoints();
  PointAccess src(in);
  PointAccess dst(out);
  if (src.FloatBuffer() && dst.FloatBuffer())
  {
    std::copy_n(src.FloatBuffer(), 3 * n, dst.FloatBuffer() + 3 * start);
    return;
  }
  for (vtkIdType i = 0; i < n; ++i)
  {
    double x[3];
    src.Get(i, x);
    dst.Set(start + i, x);
  }
}

// The displacement d(x) of one set of parameters, as every path of the transform applies it.
class SplineField
{
public:
  SplineField(double radius, vtkPoints* landmarks, const float* cx, const float* cy,
    const float* cz, const int* unList, const spline_kernel::LandmarkGrid* grid, bool affineOnly,
    const double* constant, bool affineEverywhere)
    : Grid(grid)
    , Reach(radius)
    , AffineOnly(affineOnly)
    , AffineEverywhere(affineEverywhere)
  {
    this->Coefficients.X = cx;
    this->Coefficients.Y = cy;
    this->Coefficients.Z = cz;
    this->Coefficients.UnList = unList;
    this->Coefficients.N = landmarks->GetNumberOfPoints();
    this->Coefficients.Radius = radius;
    this->Coefficients.Constant = constant;
  }

  // d(x) and, when gradient is given, its Jacobian. Both are 0 where x is not finite (it has
  // no neighbourhood), where no landmark lies within reach, and where the sum is not finite
  // or beyond single precision (non-finite coefficients: the point stays rather than becoming
  // NaN). With affineEverywhere the affine part applies also where no landmark is in reach.
  // Returns whether the landmarks within reach were searched for; beyond, when given, tells
  // whether they were and none was found.
  bool Evaluate(const double x[3], double d[3], double (*gradient)[3], bool* beyond = nullptr) const
  {
    if (beyond)
    {
      *beyond = false;
    }
    d[0] = d[1] = d[2] = 0.0;
    if (gradient)
    {
      std::fill_n(&gradient[0][0], 9, 0.0);
    }
    if (this->Coefficients.N == 0 || !AllFinite(x))
    {
      return false;
    }
    bool searched = false;
    if (this->AffineOnly)
    {
      // No kernel for a radius of 0 or below: the affine part at every point.
      if (gradient)
      {
        spline_kernel::AddAffinePart<true>(this->Coefficients, x, d, gradient);
      }
      else
      {
        spline_kernel::AddAffinePart<false>(this->Coefficients, x, d);
      }
    }
    else
    {
      searched = true;
      long long within = 0;
      this->Grid->ForEachRange(x,
        [&](const spline_kernel::PackedLandmark* first, const spline_kernel::PackedLandmark* last)
        {
          within += gradient
            ? spline_kernel::AddKernelTerms<true>(first, last, x, this->Reach, d, gradient)
            : spline_kernel::AddKernelTerms<false>(first, last, x, this->Reach, d);
        });
      if (beyond)
      {
        *beyond = within == 0;
      }
      if (within == 0 && !this->AffineEverywhere)
      {
        // By default the affine part only applies where some landmark is within reach.
        return searched;
      }
      if (gradient)
      {
        spline_kernel::AddAffinePart<true>(this->Coefficients, x, d, gradient);
      }
      else
      {
        spline_kernel::AddAffinePart<false>(this->Coefficients, x, d);
      }
    }
    if (!AllFinite(d) || !FitsInFloat(d) ||
      (gradient && !(AllFinite(gradient[0]) && AllFinite(gradient[1]) && AllFinite(gradient[2]))))
    {
      d[0] = d[1] = d[2] = 0.0;
      if (gradient)
      {
        std::fill_n(&gradient[0][0], 9, 0.0);
      }
    }
    return searched;
  }

private:
  spline_kernel::SplineCoefficients Coefficients;
  const spline_kernel::LandmarkGrid* Grid;
  spline_kernel::KernelReach Reach;
  bool AffineOnly;
  bool AffineEverywhere;
};

// The matrix I - t * g.
void ForwardJacobian(double t, const double g[3][3], double j[3][3])
{
  for (int a = 0; a < 3; ++a)
  {
    for (int b = 0; b < 3; ++b)
    {
      j[a][b] = (a == b ? 1.0 : 0.0) - t * g[a][b];
    }
  }
}

// The inverse of m into inv; false (inv untouched) when m is singular or not finite.
bool Invert(const double m[3][3], double inv[3][3])
{
  const double det = vtkMath::Determinant3x3(m);
  if (det == 0.0 || !std::isfinite(det))
  {
    return false;
  }
  double result[3][3];
  vtkMath::Invert3x3(m, result);
  for (int a = 0; a < 3; ++a)
  {
    if (!AllFinite(result[a]))
    {
      return false;
    }
  }
  std::copy_n(&result[0][0], 9, &inv[0][0]);
  return true;
}

// A normal carried by a map with Jacobian j: the cofactor matrix of j times n, renormalised.
// That is the inverse transpose times det(j), so the direction is the inverse transpose's
// where the map keeps orientation; where it folds, the normal follows the cells' winding (the
// cross product of two carried edges is the cofactor matrix times theirs). A normal with no
// direction left (a singular map) becomes 0. The identity map copies normals as they are.
void TransformNormal(const double j[3][3], const double n[3], double out[3], bool moved)
{
  if (!moved)
  {
    std::copy_n(n, 3, out);
    return;
  }
  double cofactor[3][3];
  vtkMath::Cross(j[1], j[2], cofactor[0]);
  vtkMath::Cross(j[2], j[0], cofactor[1]);
  vtkMath::Cross(j[0], j[1], cofactor[2]);
  vtkMath::Multiply3x3(cofactor, n, out);
  const double length = vtkMath::Norm(out);
  if (length > 0.0 && std::isfinite(length))
  {
    out[0] /= length;
    out[1] /= length;
    out[2] /= length;
  }
  else
  {
    out[0] = out[1] = out[2] = 0.0;
  }
}

// Room for n more tuples in out, from first on, for the n tuples of in (three components
// each). False, out untouched, when in is too short or out cannot take them.
bool AppendTuples(vtkDataArray* in, vtkDataArray* out, vtkIdType n, vtkIdType& first)
{
  if (in->GetNumberOfComponents() != 3 || in->GetNumberOfTuples() < n)
  {
    return false;
  }
  const vtkIdType start = out->GetNumberOfTuples();
  if (out->GetNumberOfComponents() != 3)
  {
    if (start != 0)
    {
      return false;
    }
    out->SetNumberOfComponents(3);
  }
  // Setting the count alone may reallocate without copying: reserve (copying) first.
  if (!out->Resize(start + n))
  {
    return false;
  }
  out->SetNumberOfTuples(start + n);
  if (out->GetNumberOfTuples() != start + n)
  {
    return false;
  }
  first = start;
  return true;
}
}

//------------------------------------------------------------------------------
vtkShapeTransform::vtkShapeTransform()
  : Radius(0.0f)
  , PointArray(nullptr)
  , Displacements(vtkPoints::New())
  , Cached(0)
  , Initialized(0)
  , SplineCoeffX(nullptr)
  , SplineCoeffY(nullptr)
  , SplineCoeffZ(nullptr)
  , UnList(nullptr)
  , Tree(nullptr)
  , NumberOfThreads(0)
  , InverseFlag(0)
  , InverseTolerance(1e-6)
  , InverseIterations(50)
  , CachedInputTime(0)
{
  this->Displacements->SetDataTypeToFloat();
}

//------------------------------------------------------------------------------
vtkShapeTransform::~vtkShapeTransform()
{
  // The arrays lent by a caller stay the caller's; the points and the locator are shared.
  if (this->PointArray)
  {
    this->PointArray->UnRegister(this);
  }
  if (this->Tree)
  {
    this->Tree->UnRegister(this);
  }
  this->Displacements->Delete();
  this->Cached = 0;
  this->Initialized = 0;
}

//------------------------------------------------------------------------------
void vtkShapeTransform::SetFactor(float factor)
{
  if (this->Factor.exchange(factor, std::memory_order_relaxed) != factor)
  {
    // A time stamp of our own draws a fresh time from VTK's global (atomic) counter without
    // touching the object's own, which the pipeline's thread reads.
    // Release: whoever sees the new time sees the new factor too.
    vtkTimeStamp stamp;
    stamp.Modified();
    this->FactorTime.store(stamp.GetMTime(), std::memory_order_release);
  }
}

//------------------------------------------------------------------------------
vtkMTimeType vtkShapeTransform::GetMTime()
{
  return std::max(this->Superclass::GetMTime(), this->FactorTime.load(std::memory_order_acquire));
}

//------------------------------------------------------------------------------
void vtkShapeTransform::SetParameters(float radius, vtkPoints* points, float* coeffX, float* coeffY,
  float* coeffZ, int* unList, vtkPointLocator* tree)
{
  // A reference of our own keeps the points and the locator alive as long as they are used.
  vtkSetObjectBodyMacro(PointArray, vtkPoints, points);
  vtkSetObjectBodyMacro(Tree, vtkPointLocator, tree);
  if (!this->HoldsArrays(coeffX, coeffY, coeffZ, unList))
  {
    this->HeldCoefficients = nullptr;
    this->HeldUnList = nullptr;
  }
  this->Radius = radius;
  this->SplineCoeffX = coeffX;
  this->SplineCoeffY = coeffY;
  this->SplineCoeffZ = coeffZ;
  this->UnList = unList;
  this->Cached = 0;
  this->GradientsCached = false;
  this->Initialized = 0;
  this->AffineOnly = false;
  this->HasConstants = false;
  this->Grid = nullptr;
  this->CachedInput = nullptr;
  // The output of every pipeline that uses the transform is out of date from here on.
  this->Modified();

  if (!points)
  {
    vtkErrorMacro("No landmark points: the transform leaves models unchanged.");
    return;
  }
  const vtkIdType n = points->GetNumberOfPoints();
  this->LandmarkCount = n;
  if (n == 0)
  {
    // No landmark can lie near a point, so every displacement is zero.
    this->Initialized = 1;
    return;
  }
  if (!coeffX || !coeffY || !coeffZ || !unList || !tree)
  {
    vtkErrorMacro("Incomplete spline parameters: the transform leaves models unchanged.");
    return;
  }
  if (!std::isfinite(radius))
  {
    vtkWarningMacro("Spline radius " << radius
                                     << " is not a finite number: the transform leaves "
                                        "models unchanged.");
    return;
  }
  for (vtkIdType k = 0; k < n; ++k)
  {
    if (unList[k] < 0 || unList[k] >= n)
    {
      vtkErrorMacro("Ordering entry " << k << " is " << unList[k] << ", outside 0 to " << n - 1
                                      << ": the transform leaves models unchanged.");
      return;
    }
  }
  if (!tree->GetDataSet() || tree->GetDataSet()->GetNumberOfPoints() != n)
  {
    vtkErrorMacro("The locator is not built over the " << n
                                                       << " landmark points: the transform "
                                                          "leaves models unchanged.");
    return;
  }
  if (!(radius > 0.0f))
  {
    // Weights (1 - r/R)^2 have no meaning for such a radius (0/0 for a coincident landmark);
    // what was fitted with it is the affine part alone.
    vtkWarningMacro("Spline radius " << radius
                                     << " is not a positive number: only the affine part of "
                                        "the fit is applied, the same map at every point.");
    this->AffineOnly = true;
    this->Initialized = 1;
    return;
  }
  try
  {
    const PointAccess landmarks(points);
    spline_kernel::SplineCoefficients c;
    c.X = coeffX;
    c.Y = coeffY;
    c.Z = coeffZ;
    c.UnList = unList;
    c.N = n;
    c.Radius = radius;
    this->Grid = std::make_shared<const spline_kernel::LandmarkGrid>(
      c, [&landmarks](long long k, double p[3]) { landmarks.Get(k, p); });
  }
  catch (const std::bad_alloc&)
  {
    vtkErrorMacro("Not enough memory to sort the " << n
                                                   << " landmarks into cells: the transform "
                                                      "leaves models unchanged.");
    return;
  }
  this->Initialized = 1;
}

//------------------------------------------------------------------------------
void vtkShapeTransform::TransformPointsNormalsVectors(vtkPoints* inPts, vtkPoints* outPts,
  vtkDataArray* inNms, vtkDataArray* outNms, vtkDataArray* inVrs, vtkDataArray* outVrs,
  int nOptionalVectors, vtkDataArray** inVrsArr, vtkDataArray** outVrsArr)
{
  this->Update();
  const float factor = this->CurrentFactor();
  const vtkIdType start = outPts->GetNumberOfPoints();
  this->MovePoints(inPts, outPts, factor);

  std::vector<AttributePair> vectors;
  if (inVrs && outVrs)
  {
    vectors.push_back({ inVrs, outVrs });
  }
  for (int k = 0; inVrsArr && outVrsArr && k < nOptionalVectors; ++k)
  {
    if (inVrsArr[k] && outVrsArr[k])
    {
      vectors.push_back({ inVrsArr[k], outVrsArr[k] });
    }
  }
  const AttributePair normals{ outNms ? inNms : nullptr, inNms ? outNms : nullptr };
  if ((normals.In || !vectors.empty()) &&
    outPts->GetNumberOfPoints() == start + inPts->GetNumberOfPoints())
  {
    this->TransformAttributes(inPts, outPts, start, factor, normals, vectors);
  }
}

//------------------------------------------------------------------------------
float vtkShapeTransform::CurrentFactor() const
{
  // Read once: a factor written meanwhile by another thread takes effect at the next
  // evaluation, never halfway through a model.
  const float factor = this->GetFactor();
  return std::isfinite(factor) ? factor : 0.0f;
}

//------------------------------------------------------------------------------
void vtkShapeTransform::TransformPoints(vtkPoints* in, vtkPoints* out)
{
  this->Update();
  this->MovePoints(in, out, this->CurrentFactor());
}

//------------------------------------------------------------------------------
void vtkShapeTransform::MovePoints(vtkPoints* in, vtkPoints* out, float factor)
{
  if (this->InverseFlag)
  {
    this->InversePoints(in, out, factor);
    return;
  }
  const vtkIdType n = in->GetNumberOfPoints();
  const vtkIdType start = out->GetNumberOfPoints();

  const bool usable = this->Usable();
  if (!Grow(out, start, n))
  {
    vtkErrorMacro("Not enough memory for " << n << " transformed points.");
    return;
  }
  if (!usable)
  {
    CopyPoints(in, out, start);
    return;
  }

  if (this->Cached && this->CacheHolds(in))
  {
    this->ApplyDisplacements(in, out, factor);
    return;
  }

  this->Cached = 0;
  this->GradientsCached = false;
  if (!Grow(this->Displacements, 0, n))
  {
    vtkErrorMacro("Not enough memory to cache " << n << " displacements.");
    this->Displacements->Initialize();
    CopyPoints(in, out, start);
    return;
  }
  this->Displacements->Modified();
  this->ComputeDisplacements(in, out, start, factor);
  this->CachedInput = in;
  this->CachedInputTime = in->GetMTime();
  this->Cached = 1;
}

//------------------------------------------------------------------------------
int vtkShapeTransform::ThreadsFor(vtkIdType n) const
{
  unsigned int threads = this->NumberOfThreads > 0
    ? static_cast<unsigned int>(this->NumberOfThreads)
    : std::max(1u, std::thread::hardware_concurrency());
  return static_cast<int>(
    std::min<vtkIdType>(threads, std::max<vtkIdType>(1, n / MinPointsPerThread)));
}

//------------------------------------------------------------------------------
bool vtkShapeTransform::CacheGradients(vtkPoints* in)
{
  if (this->GradientsCached)
  {
    return true;
  }
  const vtkIdType n = in->GetNumberOfPoints();
  try
  {
    this->Gradients.resize(9 * static_cast<size_t>(n));
  }
  catch (const std::bad_alloc&)
  {
    return false;
  }
  const SplineField field(this->Radius, this->PointArray, this->SplineCoeffX, this->SplineCoeffY,
    this->SplineCoeffZ, this->UnList, this->Grid.get(), this->AffineOnly, this->ConstantTerms(),
    this->AffineEverywhere != 0);
  float* cache = this->Gradients.data();
  auto range = [&](vtkIdType begin, vtkIdType end)
  {
    PointAccess src(in);
    vtkIdType searches = 0;
    for (vtkIdType i = begin; i < end; ++i)
    {
      double x[3];
      double d[3];
      double g[3][3];
      src.Get(i, x);
      searches += field.Evaluate(x, d, g) ? 1 : 0;
      std::transform(
        &g[0][0], &g[0][0] + 9, cache + 9 * i, [](double v) { return static_cast<float>(v); });
    }
    this->NeighborSearches.fetch_add(searches, std::memory_order_relaxed);
  };
  parallel_chunks::ForEachChunk(n, ChunkSize, this->ThreadsFor(n), range);
  this->GradientsCached = true;
  return true;
}

//------------------------------------------------------------------------------
void vtkShapeTransform::TransformAttributes(vtkPoints* in, vtkPoints* out, vtkIdType start,
  float factor, const AttributePair& normals, const std::vector<AttributePair>& vectors)
{
  const vtkIdType n = in->GetNumberOfPoints();
  // Where the tuples of each output begin; arrays that cannot take them are left out.
  std::vector<AttributePair> arrays = vectors;
  if (normals.In)
  {
    arrays.push_back(normals); // the last one
  }
  std::vector<vtkIdType> first(arrays.size(), -1);
  for (size_t k = 0; k < arrays.size(); ++k)
  {
    if (!AppendTuples(arrays[k].In, arrays[k].Out, n, first[k]))
    {
      vtkErrorMacro("Cannot transform the "
        << (normals.In && k + 1 == arrays.size() ? "normals" : "vectors")
        << ": the array does not hold " << n << " tuples of three components, or memory ran out.");
    }
  }

  // The Jacobian of the whole map at every point: I - t grad d(x) forward (the gradients
  // cached beside the displacements where possible), the inverse of the forward one at the
  // found point for an inverted transform, and the identity while there are no parameters.
  const bool usable = this->Usable();
  const bool forward = !this->InverseFlag;
  const bool cached =
    usable && forward && this->Cached && this->CacheHolds(in) && this->CacheGradients(in);
  std::optional<SplineField> field;
  if (usable)
  {
    field.emplace(this->Radius, this->PointArray, this->SplineCoeffX, this->SplineCoeffY,
      this->SplineCoeffZ, this->UnList, this->Grid.get(), this->AffineOnly, this->ConstantTerms(),
      this->AffineEverywhere != 0);
  }
  const double t = factor;
  PointAccess src(in);
  PointAccess dst(out);
  for (vtkIdType i = 0; i < n; ++i)
  {
    double j[3][3];
    double g[3][3] = { { 0, 0, 0 }, { 0, 0, 0 }, { 0, 0, 0 } };
    if (cached)
    {
      std::copy_n(this->Gradients.data() + 9 * i, 9, &g[0][0]);
      ForwardJacobian(t, g, j);
    }
    else if (usable && forward)
    {
      double x[3];
      double d[3];
      src.Get(i, x);
      this->CountSearch(field->Evaluate(x, d, g));
      ForwardJacobian(t, g, j);
    }
    else if (usable)
    {
      double x[3];
      double d[3];
      double f[3][3];
      dst.Get(start + i, x);
      this->CountSearch(field->Evaluate(x, d, g));
      ForwardJacobian(t, g, f);
      if (!Invert(f, j))
      {
        std::fill_n(&j[0][0], 9, 0.0); // no finite inverse where the deformation folds
      }
    }
    else
    {
      ForwardJacobian(0.0, g, j);
    }
    for (size_t k = 0; k < arrays.size(); ++k)
    {
      if (first[k] < 0)
      {
        continue;
      }
      double v[3];
      arrays[k].In->GetTuple(i, v);
      double w[3];
      if (normals.In && k + 1 == arrays.size())
      {
        TransformNormal(j, v, w, usable);
      }
      else
      {
        vtkMath::Multiply3x3(j, v, w);
      }
      arrays[k].Out->SetTuple(first[k] + i, w);
    }
  }
}

//------------------------------------------------------------------------------
bool vtkShapeTransform::CacheHolds(vtkPoints* in) const
{
  return this->CachedInput.GetPointer() == in && this->CachedInputTime == in->GetMTime() &&
    this->Displacements->GetNumberOfPoints() == in->GetNumberOfPoints();
}

//------------------------------------------------------------------------------
void vtkShapeTransform::ApplyDisplacements(vtkPoints* in, vtkPoints* out, float factor)
{
  const vtkIdType n = in->GetNumberOfPoints();
  const vtkIdType start = out->GetNumberOfPoints() - n;
  const float* d = vtkFloatArray::FastDownCast(this->Displacements->GetData())->GetPointer(0);
  const double t = factor;

  PointAccess src(in);
  PointAccess dst(out);
  const float* x = src.FloatBuffer();
  float* y = dst.FloatBuffer();
  if (x && y)
  {
    // The animation step: a product of two floats is exact in double, so each coordinate
    // is rounded once.
    y += 3 * start;
    const vtkIdType m = 3 * n;
    for (vtkIdType j = 0; j < m; ++j)
    {
      y[j] = static_cast<float>(static_cast<double>(x[j]) - t * static_cast<double>(d[j]));
    }
    return;
  }
  for (vtkIdType i = 0; i < n; ++i)
  {
    double p[3];
    src.Get(i, p);
    const float* di = d + 3 * i;
    p[0] -= t * di[0];
    p[1] -= t * di[1];
    p[2] -= t * di[2];
    dst.Set(start + i, p);
  }
}

//------------------------------------------------------------------------------
void vtkShapeTransform::ComputeDisplacements(
  vtkPoints* in, vtkPoints* out, vtkIdType start, float factor)
{
  const vtkIdType n = in->GetNumberOfPoints();
  const int threads = this->ThreadsFor(n);
  if (threads <= 1)
  {
    this->ComputeRange(in, out, start, factor, 0, n);
    return;
  }

  // Each point is computed whole by one thread, so the split cannot change any result.
  parallel_chunks::ForEachChunk(n, ChunkSize, threads,
    [&](vtkIdType begin, vtkIdType end)
    { this->ComputeRange(in, out, start, factor, begin, end); });
}

//------------------------------------------------------------------------------
void vtkShapeTransform::ComputeRange(
  vtkPoints* in, vtkPoints* out, vtkIdType start, float factor, vtkIdType begin, vtkIdType end)
{
  const double t = factor;
  const SplineField field(this->Radius, this->PointArray, this->SplineCoeffX, this->SplineCoeffY,
    this->SplineCoeffZ, this->UnList, this->Grid.get(), this->AffineOnly, this->ConstantTerms(),
    this->AffineEverywhere != 0);
  PointAccess src(in);
  PointAccess dst(out);
  float* cache = vtkFloatArray::FastDownCast(this->Displacements->GetData())->GetPointer(0);

  vtkIdType searches = 0;
  for (vtkIdType i = begin; i < end; ++i)
  {
    double x[3];
    src.Get(i, x);
    double s[3];
    searches += field.Evaluate(x, s, nullptr) ? 1 : 0;
    float* d = cache + 3 * i;
    d[0] = static_cast<float>(s[0]);
    d[1] = static_cast<float>(s[1]);
    d[2] = static_cast<float>(s[2]);
    const double y[3] = { x[0] - t * s[0], x[1] - t * s[1], x[2] - t * s[2] };
    dst.Set(start + i, y);
  }
  this->NeighborSearches.fetch_add(searches, std::memory_order_relaxed);
}

//------------------------------------------------------------------------------
bool vtkShapeTransform::Usable() const
{
  // Landmarks added to the points after the parameters were set have no coefficients.
  return this->Initialized && this->PointArray &&
    this->PointArray->GetNumberOfPoints() == this->LandmarkCount &&
    (this->PointArray->GetNumberOfPoints() == 0 ||
      (this->Tree && this->Tree->GetDataSet() &&
        this->Tree->GetDataSet()->GetNumberOfPoints() == this->PointArray->GetNumberOfPoints() &&
        (this->AffineOnly || this->Grid)));
}

//------------------------------------------------------------------------------
const double* vtkShapeTransform::ConstantTerms() const
{
  return this->HasConstants ? this->Constants : nullptr;
}

//------------------------------------------------------------------------------
bool vtkShapeTransform::HoldsArrays(
  const float* x, const float* y, const float* z, const int* unList) const
{
  if (!this->HeldCoefficients || !this->HeldUnList)
  {
    return false;
  }
  const vtkIdType m = this->HeldCoefficients->GetNumberOfValues() / 3;
  const float* held = this->HeldCoefficients->GetPointer(0);
  return x == held && y == held + m && z == held + 2 * m &&
    unList == this->HeldUnList->GetPointer(0);
}

//------------------------------------------------------------------------------
void vtkShapeTransform::SetParameters(const TransformCoefficients& coefficients)
{
  const vtkIdType n = coefficients.Points ? coefficients.Points->GetNumberOfPoints() : 0;
  const size_t m = static_cast<size_t>(n) + 4;
  if (coefficients.CoeffX.size() != m || coefficients.CoeffY.size() != m ||
    coefficients.CoeffZ.size() != m || coefficients.UnList.size() != static_cast<size_t>(n))
  {
    vtkErrorMacro("The coefficient arrays do not match the " << n
                                                             << " landmarks: the parameters "
                                                                "in force stay.");
    return;
  }
  auto held = vtkSmartPointer<vtkFloatArray>::New();
  held->SetNumberOfValues(static_cast<vtkIdType>(3 * m));
  float* x = held->GetPointer(0);
  std::copy(coefficients.CoeffX.begin(), coefficients.CoeffX.end(), x);
  std::copy(coefficients.CoeffY.begin(), coefficients.CoeffY.end(), x + m);
  std::copy(coefficients.CoeffZ.begin(), coefficients.CoeffZ.end(), x + 2 * m);
  auto order = vtkSmartPointer<vtkIntArray>::New();
  order->SetNumberOfValues(n);
  std::copy(coefficients.UnList.begin(), coefficients.UnList.end(), order->GetPointer(0));
  this->HeldCoefficients = held;
  this->HeldUnList = order;
  this->SetParameters(coefficients.Radius, coefficients.Points, x, x + m, x + 2 * m,
    order->GetPointer(0), coefficients.Locator);
  this->SetConstantTerms(coefficients.Constants);
}

//------------------------------------------------------------------------------
void vtkShapeTransform::SetConstantTerms(const std::vector<double>& constants)
{
  const bool given = constants.size() == 3 && std::isfinite(constants[0]) &&
    std::isfinite(constants[1]) && std::isfinite(constants[2]);
  if (!given && !this->HasConstants)
  {
    return;
  }
  if (given)
  {
    std::copy_n(constants.data(), 3, this->Constants);
  }
  this->HasConstants = given;
  this->Cached = 0;
  this->Modified();
}

//------------------------------------------------------------------------------
int vtkShapeTransform::LoadCoefficientFile(const char* fileName)
{
  TransformCoefficients file;
  const TransformFileResult result = ReadTransformCoefficients(fileName, file);
  if (result.Status != TransformFileStatus::Ok)
  {
    vtkErrorMacro("No transform loaded: " << result.Reason << ".");
    return 0;
  }
  this->SetParameters(file);
  return this->Initialized ? 1 : 0;
}

//------------------------------------------------------------------------------
vtkAbstractTransform* vtkShapeTransform::MakeTransform()
{
  return vtkShapeTransform::New();
}

//------------------------------------------------------------------------------
void vtkShapeTransform::Inverse()
{
  this->InverseFlag = !this->InverseFlag;
  this->Modified();
}

//------------------------------------------------------------------------------
void vtkShapeTransform::InternalDeepCopy(vtkAbstractTransform* transform)
{
  auto* source = static_cast<vtkShapeTransform*>(transform);
  this->Factor.store(source->GetFactor(), std::memory_order_relaxed);
  this->NumberOfThreads = source->NumberOfThreads;
  this->InverseFlag = source->InverseFlag;
  this->InverseTolerance = source->InverseTolerance;
  this->InverseIterations = source->InverseIterations;
  this->Cached = 0;
  this->GradientsCached = false;
  this->CachedInput = nullptr;

  vtkPoints* points = source->Initialized ? source->PointArray : nullptr;
  vtkSetObjectBodyMacro(PointArray, vtkPoints, points);
  vtkPointLocator* tree = source->Initialized ? source->Tree : nullptr;
  vtkSetObjectBodyMacro(Tree, vtkPointLocator, tree);
  this->Radius = source->Radius;
  this->LandmarkCount = source->LandmarkCount;
  this->Initialized = source->Initialized;
  this->AffineOnly = source->AffineOnly;
  this->HasConstants = source->HasConstants;
  std::copy_n(source->Constants, 3, this->Constants);
  this->AffineEverywhere = source->AffineEverywhere;
  // The grid is never written after it was built: the copy shares it.
  this->Grid = source->Initialized ? source->Grid : nullptr;
  this->HeldCoefficients = nullptr;
  this->HeldUnList = nullptr;
  this->SplineCoeffX = this->SplineCoeffY = this->SplineCoeffZ = nullptr;
  this->UnList = nullptr;
  if (!source->Initialized || !source->SplineCoeffX)
  {
    return; // the identity, or no landmarks (no arrays needed)
  }
  if (source->HeldCoefficients)
  {
    // Held arrays are never written after they were filled: the copy shares them.
    this->HeldCoefficients = source->HeldCoefficients;
    this->HeldUnList = source->HeldUnList;
    this->SplineCoeffX = source->SplineCoeffX;
    this->SplineCoeffY = source->SplineCoeffY;
    this->SplineCoeffZ = source->SplineCoeffZ;
    this->UnList = source->UnList;
    return;
  }
  // The source refers to its caller's arrays: the copy takes its own, so that it does not
  // depend on how long the caller keeps them. The arrays hold as many entries as there were
  // landmarks when the parameters were set; points added since have none.
  const vtkIdType n = source->LandmarkCount;
  const vtkIdType m = n + 4;
  this->HeldCoefficients = vtkSmartPointer<vtkFloatArray>::New();
  this->HeldCoefficients->SetNumberOfValues(3 * m);
  float* x = this->HeldCoefficients->GetPointer(0);
  std::copy_n(source->SplineCoeffX, m, x);
  std::copy_n(source->SplineCoeffY, m, x + m);
  std::copy_n(source->SplineCoeffZ, m, x + 2 * m);
  this->HeldUnList = vtkSmartPointer<vtkIntArray>::New();
  this->HeldUnList->SetNumberOfValues(n);
  std::copy_n(source->UnList, n, this->HeldUnList->GetPointer(0));
  this->SplineCoeffX = x;
  this->SplineCoeffY = x + m;
  this->SplineCoeffZ = x + 2 * m;
  this->UnList = this->HeldUnList->GetPointer(0);
}

//------------------------------------------------------------------------------
void vtkShapeTransform::InternalTransformPoint(const float in[3], float out[3])
{
  const double x[3] = { in[0], in[1], in[2] };
  double y[3];
  this->TransformOne(x, y, nullptr);
  out[0] = static_cast<float>(y[0]);
  out[1] = static_cast<float>(y[1]);
  out[2] = static_cast<float>(y[2]);
}

//------------------------------------------------------------------------------
void vtkShapeTransform::InternalTransformPoint(const double in[3], double out[3])
{
  this->TransformOne(in, out, nullptr);
}

//------------------------------------------------------------------------------
void vtkShapeTransform::InternalTransformDerivative(
  const float in[3], float out[3], float derivative[3][3])
{
  const double x[3] = { in[0], in[1], in[2] };
  double y[3];
  double j[3][3];
  this->TransformOne(x, y, j);
  for (int a = 0; a < 3; ++a)
  {
    out[a] = static_cast<float>(y[a]);
    for (int b = 0; b < 3; ++b)
    {
      derivative[a][b] = static_cast<float>(j[a][b]);
    }
  }
}

//------------------------------------------------------------------------------
void vtkShapeTransform::InternalTransformDerivative(
  const double in[3], double out[3], double derivative[3][3])
{
  this->TransformOne(in, out, derivative);
}

//------------------------------------------------------------------------------
void vtkShapeTransform::TransformOne(const double in[3], double out[3], double (*derivative)[3])
{
  const double x[3] = { in[0], in[1], in[2] }; // in and out may be one array
  float factor = this->GetFactor();
  if (!std::isfinite(factor))
  {
    factor = 0.0f;
  }
  double g[3][3] = { { 0, 0, 0 }, { 0, 0, 0 }, { 0, 0, 0 } };
  if (!this->Usable())
  {
    std::copy_n(x, 3, out);
    if (derivative)
    {
      ForwardJacobian(0.0, g, derivative);
    }
    return;
  }
  // The field only reads the parameters: any number of threads may be here at once.
  const SplineField field(this->Radius, this->PointArray, this->SplineCoeffX, this->SplineCoeffY,
    this->SplineCoeffZ, this->UnList, this->Grid.get(), this->AffineOnly, this->ConstantTerms(),
    this->AffineEverywhere != 0);
  const double t = factor;
  if (!this->InverseFlag)
  {
    double d[3];
    this->CountSearch(field.Evaluate(x, d, derivative ? g : nullptr));
    out[0] = x[0] - t * d[0];
    out[1] = x[1] - t * d[1];
    out[2] = x[2] - t * d[2];
    if (derivative)
    {
      ForwardJacobian(t, g, derivative);
    }
    return;
  }

  double residual = 0.0;
  const int steps = this->SolveInverse(x, out, factor, &residual);
  if (steps < 0)
  {
    vtkWarningMacro("No inverse found for (" << x[0] << ", " << x[1] << ", " << x[2] << ") within "
                                             << this->InverseTolerance << " in "
                                             << this->InverseIterations
                                             << " steps: the deformation folds or jumps there "
                                                "(remaining error "
                                             << residual << ").");
  }
  if (derivative)
  {
    double d[3];
    double j[3][3];
    this->CountSearch(field.Evaluate(out, d, g));
    ForwardJacobian(t, g, j);
    if (!Invert(j, derivative))
    {
      // No finite inverse where the deformation folds.
      std::fill_n(&derivative[0][0], 9, 0.0);
    }
  }
}

//------------------------------------------------------------------------------
int vtkShapeTransform::SolveInverse(
  const double y[3], double x[3], float factor, double* residual) const
{
  double unused = 0.0;
  residual = residual ? residual : &unused;
  if (!this->Usable() || !AllFinite(y))
  {
    // The forward transform leaves such points where they are.
    std::copy_n(y, 3, x);
    *residual = 0.0;
    return 0;
  }
  const SplineField field(this->Radius, this->PointArray, this->SplineCoeffX, this->SplineCoeffY,
    this->SplineCoeffZ, this->UnList, this->Grid.get(), this->AffineOnly, this->ConstantTerms(),
    this->AffineEverywhere != 0);
  const double t = factor;
  double d[3];
  double g[3][3];
  // Where d varies slowly, x = y + t d(y) is nearly the answer.
  this->CountSearch(field.Evaluate(y, d, nullptr));
  for (int a = 0; a < 3; ++a)
  {
    x[a] = y[a] + t * d[a];
  }

  const double tolerance2 = this->InverseTolerance * this->InverseTolerance;
  double best[3] = { x[0], x[1], x[2] };
  double bestError2 = HUGE_VAL;
  double step[3] = { 0.0, 0.0, 0.0 };
  double length = 1.0;
  for (int steps = 0;; ++steps)
  {
    this->CountSearch(field.Evaluate(x, d, g));
    const double f[3] = { x[0] - t * d[0] - y[0], x[1] - t * d[1] - y[1], x[2] - t * d[2] - y[2] };
    const double error2 = f[0] * f[0] + f[1] * f[1] + f[2] * f[2];
    if (error2 < bestError2)
    {
      bestError2 = error2;
      std::copy_n(x, 3, best);
      // The Newton step: solve (I - t grad d) step = f.
      double j[3][3];
      double inverse[3][3];
      ForwardJacobian(t, g, j);
      const bool regular = Invert(j, inverse);
      if (regular)
      {
        vtkMath::Multiply3x3(inverse, f, step);
      }
      else
      {
        std::copy_n(f, 3, step); // a fixed-point step where the Jacobian is singular
      }
      if (regular && error2 <= tolerance2 && vtkMath::Dot(step, step) <= tolerance2)
      {
        // Within tolerance on both sides; the last correction comes free.
        for (int a = 0; a < 3; ++a)
        {
          x[a] -= step[a];
        }
        *residual = std::sqrt(error2);
        return steps;
      }
      length = 1.0;
    }
    else
    {
      // The error grew (a fold, a jump, or a step too long for the curvature): a shorter step
      // from the best point.
      length *= 0.5;
    }
    if (steps >= this->InverseIterations)
    {
      break;
    }
    for (int a = 0; a < 3; ++a)
    {
      x[a] = best[a] - length * step[a];
    }
  }
  std::copy_n(best, 3, x);
  *residual = std::sqrt(bestError2);
  return -1;
}

//------------------------------------------------------------------------------
void vtkShapeTransform::InversePoints(vtkPoints* in, vtkPoints* out, float factor)
{
  const vtkIdType n = in->GetNumberOfPoints();
  const vtkIdType start = out->GetNumberOfPoints();
  if (!Grow(out, start, n))
  {
    vtkErrorMacro("Not enough memory for " << n << " transformed points.");
    return;
  }
  if (!this->Usable())
  {
    CopyPoints(in, out, start);
    return;
  }
  PointAccess src(in);
  PointAccess dst(out);
  vtkIdType failed = 0;
  double worst = 0.0;
  for (vtkIdType i = 0; i < n; ++i)
  {
    double y[3];
    double x[3];
    double residual = 0.0;
    src.Get(i, y);
    if (this->SolveInverse(y, x, factor, &residual) < 0)
    {
      ++failed;
      worst = std::max(worst, residual);
    }
    dst.Set(start + i, x);
  }
  if (failed > 0)
  {
    vtkWarningMacro("No inverse found for " << failed << " of " << n << " points within "
                                            << this->InverseTolerance << " in "
                                            << this->InverseIterations
                                            << " steps: the deformation folds or jumps there "
                                               "(largest remaining error "
                                            << worst << ").");
  }
}

//------------------------------------------------------------------------------
void vtkShapeTransform::PrintSelf(ostream& os, vtkIndent indent)
{
  this->Superclass::PrintSelf(os, indent);
  os << indent << "Radius: " << this->Radius << (this->AffineOnly ? " (affine part only)" : "")
     << "\n";
  os << indent << "Landmarks: " << (this->PointArray ? this->PointArray->GetNumberOfPoints() : 0)
     << "\n";
  os << indent << "PointArray: " << this->PointArray << "\n";
  os << indent << "Displacements: " << this->Displacements->GetNumberOfPoints() << " points\n";
  os << indent << "Cached: " << this->Cached << "\n";
  os << indent << "Initialized: " << this->Initialized << "\n";
  os << indent << "SplineCoeffX: " << static_cast<void*>(this->SplineCoeffX) << "\n";
  os << indent << "SplineCoeffY: " << static_cast<void*>(this->SplineCoeffY) << "\n";
  os << indent << "SplineCoeffZ: " << static_cast<void*>(this->SplineCoeffZ) << "\n";
  os << indent << "UnList: " << static_cast<void*>(this->UnList) << "\n";
  os << indent << "Tree: " << this->Tree << "\n";
  os << indent << "Factor: " << this->GetFactor() << "\n";
  if (this->Grid)
  {
    const int* dims = this->Grid->GetDims();
    os << indent << "Grid: " << dims[0] << " x " << dims[1] << " x " << dims[2] << " cells, "
       << this->Grid->GetNumberOfLandmarks() << " landmarks\n";
  }
  else
  {
    os << indent << "Grid: none\n";
  }
  os << indent << "NeighborSearches: " << this->NeighborSearches.load() << "\n";
  os << indent << "AffineEverywhere: " << this->AffineEverywhere << "\n";
  os << indent << "NumberOfThreads: " << this->NumberOfThreads << "\n";
  os << indent << "InverseFlag: " << this->InverseFlag << "\n";
  os << indent << "InverseTolerance: " << this->InverseTolerance << "\n";
  os << indent << "InverseIterations: " << this->InverseIterations << "\n";
  os << indent << "HeldCoefficients: " << (this->HeldCoefficients ? "yes" : "no") << "\n";
  if (this->HasConstants)
  {
    os << indent << "Constants: " << this->Constants[0] << ", " << this->Constants[1] << ", "
       << this->Constants[2] << "\n";
  }
  else
  {
    os << indent << "Constants: from the coefficient arrays\n";
  }
  os << indent << "GradientsCached: " << this->GradientsCached << "\n";
  os << indent << "CachedInput: " << this->CachedInput.GetPointer() << "\n";
  os << indent << "CachedInputTime: " << this->CachedInputTime << "\n";
}

//------------------------------------------------------------------------------
// Point arrays from outside VTK's point sets, the affine part everywhere, and the parameters
// as arrays.
void vtkShapeTransform::SetAffineEverywhere(vtkTypeBool everywhere)
{
  everywhere = everywhere ? 1 : 0;
  if (this->AffineEverywhere != everywhere)
  {
    this->AffineEverywhere = everywhere;
    this->Cached = 0; // the displacements held were computed under the other rule
    this->Modified();
  }
}

//------------------------------------------------------------------------------
bool vtkShapeTransform::HoldsPoints(vtkDataArray* in)
{
  if (in->GetNumberOfComponents() == 3)
  {
    return true;
  }
  vtkErrorMacro("Points have three coordinates, not " << in->GetNumberOfComponents() << ".");
  return false;
}

//------------------------------------------------------------------------------
void vtkShapeTransform::TransformPointArray(vtkDataArray* in, vtkDoubleArray* out)
{
  out->SetNumberOfComponents(3);
  if (!this->HoldsPoints(in))
  {
    out->SetNumberOfTuples(0);
    return;
  }
  this->Update();
  const vtkIdType n = in->GetNumberOfTuples();
  out->SetNumberOfTuples(n);
  double* y = out->GetPointer(0);
  if (!this->InverseFlag)
  {
    // TransformOne is what TransformPoint calls; the forward direction only reads.
    parallel_chunks::ForEachChunk(n, ChunkSize, this->ThreadsFor(n),
      [&](vtkIdType begin, vtkIdType end)
      {
        for (vtkIdType i = begin; i < end; ++i)
        {
          double x[3];
          in->GetTuple(i, x);
          this->TransformOne(x, y + 3 * i, nullptr);
        }
      });
    return;
  }
  float factor = this->GetFactor();
  if (!std::isfinite(factor))
  {
    factor = 0.0f;
  }
  std::mutex merge;
  vtkIdType failed = 0;
  double worst = 0.0;
  parallel_chunks::ForEachChunk(n, ChunkSize, this->ThreadsFor(n),
    [&](vtkIdType begin, vtkIdType end)
    {
      vtkIdType chunkFailed = 0;
      double chunkWorst = 0.0;
      for (vtkIdType i = begin; i < end; ++i)
      {
        double x[3];
        double residual = 0.0;
        in->GetTuple(i, x);
        if (this->SolveInverse(x, y + 3 * i, factor, &residual) < 0)
        {
          ++chunkFailed;
          chunkWorst = std::max(chunkWorst, residual);
        }
      }
      const std::lock_guard<std::mutex> lock(merge);
      failed += chunkFailed;
      worst = std::max(worst, chunkWorst);
    });
  if (failed > 0)
  {
    vtkWarningMacro("No inverse found for " << failed << " of " << n << " points within "
                                            << this->InverseTolerance << " in "
                                            << this->InverseIterations
                                            << " steps: the deformation folds or jumps there "
                                               "(largest remaining error "
                                            << worst << ").");
  }
}

//------------------------------------------------------------------------------
void vtkShapeTransform::JacobianDeterminants(vtkDataArray* in, vtkDoubleArray* out)
{
  out->SetNumberOfComponents(1);
  if (!this->HoldsPoints(in))
  {
    out->SetNumberOfTuples(0);
    return;
  }
  this->Update();
  const vtkIdType n = in->GetNumberOfTuples();
  out->SetNumberOfTuples(n);
  double* det = out->GetPointer(0);
  const auto range = [&](vtkIdType begin, vtkIdType end)
  {
    for (vtkIdType i = begin; i < end; ++i)
    {
      double x[3];
      double y[3];
      double j[3][3];
      in->GetTuple(i, x);
      this->TransformOne(x, y, j);
      det[i] = vtkMath::Determinant3x3(j);
    }
  };
  if (this->InverseFlag)
  {
    range(0, n); // the inverse warns point by point: one thread
    return;
  }
  parallel_chunks::ForEachChunk(n, ChunkSize, this->ThreadsFor(n), range);
}

//------------------------------------------------------------------------------
void vtkShapeTransform::EvaluateDisplacementField(
  vtkDataArray* in, vtkDoubleArray* displacements, vtkDoubleArray* gradients)
{
  displacements->SetNumberOfComponents(3);
  if (gradients)
  {
    gradients->SetNumberOfComponents(9);
  }
  const bool holds = this->HoldsPoints(in);
  const vtkIdType n = holds ? in->GetNumberOfTuples() : 0;
  displacements->SetNumberOfTuples(n);
  if (gradients)
  {
    gradients->SetNumberOfTuples(n);
  }
  if (!holds)
  {
    return;
  }
  this->Update();
  double* d = displacements->GetPointer(0);
  double* g = gradients ? gradients->GetPointer(0) : nullptr;
  if (!this->Usable())
  {
    std::fill_n(d, 3 * n, 0.0);
    if (g)
    {
      std::fill_n(g, 9 * n, 0.0);
    }
    return;
  }
  const SplineField field(this->Radius, this->PointArray, this->SplineCoeffX, this->SplineCoeffY,
    this->SplineCoeffZ, this->UnList, this->Grid.get(), this->AffineOnly, this->ConstantTerms(),
    this->AffineEverywhere != 0);
  parallel_chunks::ForEachChunk(n, ChunkSize, this->ThreadsFor(n),
    [&](vtkIdType begin, vtkIdType end)
    {
      vtkIdType searches = 0;
      for (vtkIdType i = begin; i < end; ++i)
      {
        double x[3];
        double gradient[3][3];
        in->GetTuple(i, x);
        searches += field.Evaluate(x, d + 3 * i, g ? gradient : nullptr) ? 1 : 0;
        if (g)
        {
          std::copy_n(&gradient[0][0], 9, g + 9 * i);
        }
      }
      this->NeighborSearches.fetch_add(searches, std::memory_order_relaxed);
    });
}

//------------------------------------------------------------------------------
vtkIdType vtkShapeTransform::CountBeyondReach(vtkDataArray* in)
{
  if (!this->HoldsPoints(in))
  {
    return -1;
  }
  this->Update();
  if (!this->Usable() || this->AffineOnly)
  {
    return 0;
  }
  const SplineField field(this->Radius, this->PointArray, this->SplineCoeffX, this->SplineCoeffY,
    this->SplineCoeffZ, this->UnList, this->Grid.get(), this->AffineOnly, this->ConstantTerms(),
    this->AffineEverywhere != 0);
  const vtkIdType n = in->GetNumberOfTuples();
  std::atomic<vtkIdType> beyondCount{ 0 };
  parallel_chunks::ForEachChunk(n, ChunkSize, this->ThreadsFor(n),
    [&](vtkIdType begin, vtkIdType end)
    {
      vtkIdType count = 0;
      for (vtkIdType i = begin; i < end; ++i)
      {
        double x[3];
        double d[3];
        bool beyond = false;
        in->GetTuple(i, x);
        field.Evaluate(x, d, nullptr, &beyond);
        count += beyond ? 1 : 0;
      }
      beyondCount.fetch_add(count, std::memory_order_relaxed);
    });
  return beyondCount.load();
}

//------------------------------------------------------------------------------
void vtkShapeTransform::GetCoefficients(vtkDoubleArray* out)
{
  out->SetNumberOfComponents(3);
  out->SetNumberOfTuples(0);
  if (!this->Usable() || !this->SplineCoeffX)
  {
    return;
  }
  const vtkIdType m = this->LandmarkCount + 4;
  out->SetNumberOfTuples(m);
  for (vtkIdType i = 0; i < m; ++i)
  {
    out->SetTypedComponent(i, 0, this->SplineCoeffX[i]);
    out->SetTypedComponent(i, 1, this->SplineCoeffY[i]);
    out->SetTypedComponent(i, 2, this->SplineCoeffZ[i]);
  }
}

//------------------------------------------------------------------------------
void vtkShapeTransform::GetOrdering(vtkIntArray* out)
{
  out->SetNumberOfComponents(1);
  out->SetNumberOfTuples(0);
  if (!this->Usable() || !this->UnList)
  {
    return;
  }
  out->SetNumberOfTuples(this->LandmarkCount);
  std::copy_n(this->UnList, this->LandmarkCount, out->GetPointer(0));
}

#include "vtkShapeTransform.h"

#include "vtkDataSet.h"
#include "vtkDoubleArray.h"
#include "vtkFloatArray.h"
#include "vtkIdList.h"
#include "vtkObjectFactory.h"
#include "vtkPointLocator.h"
#include "vtkPoints.h"
#include "vtkSmartPointer.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <system_error>
#include <thread>
#include <vector>

vtkStandardNewMacro(vtkShapeTransform);

namespace
{
// Landmark ids one radius query is expected to return at most; a neighbour list grows
// beyond it only for dense landmark sets.
constexpr vtkIdType InitialNeighborCapacity = 300;

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

// The affine part of the spline at x: the constant term and the factors of x, y and z.
void AddAffinePart(double s[3], const double x[3], const float* cx, const float* cy,
  const float* cz, vtkIdType N)
{
  s[0] += cx[N + 1] * x[0] + cx[N + 2] * x[1] + cx[N + 3] * x[2] + cx[N];
  s[1] += cy[N + 1] * x[0] + cy[N + 2] * x[1] + cy[N + 3] * x[2] + cy[N];
  s[2] += cz[N + 1] * x[0] + cz[N + 2] * x[1] + cz[N + 3] * x[2] + cz[N];
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
  , NeighborIds(vtkIdList::New())
  , NumberOfThreads(0)
  , CachedInputTime(0)
{
  this->Displacements->SetDataTypeToFloat();
  this->NeighborIds->Allocate(InitialNeighborCapacity);
}

//------------------------------------------------------------------------------
vtkShapeTransform::~vtkShapeTransform()
{
  // The parameter objects are the caller's: only the cache and the id list are released.
  this->Displacements->Delete();
  this->NeighborIds->Delete();
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
  this->Radius = radius;
  this->PointArray = points;
  this->SplineCoeffX = coeffX;
  this->SplineCoeffY = coeffY;
  this->SplineCoeffZ = coeffZ;
  this->UnList = unList;
  this->Tree = tree;
  this->Cached = 0;
  this->Initialized = 0;
  this->AffineOnly = false;
  this->CachedInput = nullptr;
  // The output of every pipeline that uses the transform is out of date from here on.
  this->Modified();

  if (!points)
  {
    vtkErrorMacro("No landmark points: the transform leaves models unchanged.");
    return;
  }
  const vtkIdType n = points->GetNumberOfPoints();
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
  }
  this->Initialized = 1;
}

//------------------------------------------------------------------------------
void vtkShapeTransform::TransformPointsNormalsVectors(vtkPoints* inPts, vtkPoints* outPts,
  vtkDataArray* vtkNotUsed(inNms), vtkDataArray* vtkNotUsed(outNms),
  vtkDataArray* vtkNotUsed(inVrs), vtkDataArray* vtkNotUsed(outVrs),
  int vtkNotUsed(nOptionalVectors), vtkDataArray** vtkNotUsed(inVrsArr),
  vtkDataArray** vtkNotUsed(outVrsArr))
{
  // The displacement field has no derivative worth carrying: the document computes normals
  // again after the deformation.
  this->Update();
  this->TransformPoints(inPts, outPts);
}

//------------------------------------------------------------------------------
void vtkShapeTransform::TransformPoints(vtkPoints* in, vtkPoints* out)
{
  this->Update();
  const vtkIdType n = in->GetNumberOfPoints();
  const vtkIdType start = out->GetNumberOfPoints();

  // Read once: a factor written meanwhile by another thread takes effect at the next
  // evaluation, never halfway through a model.
  float factor = this->GetFactor();
  if (!std::isfinite(factor))
  {
    factor = 0.0f;
  }

  const bool usable = this->Initialized && this->PointArray &&
    (this->PointArray->GetNumberOfPoints() == 0 ||
      (this->Tree && this->Tree->GetDataSet() &&
        this->Tree->GetDataSet()->GetNumberOfPoints() == this->PointArray->GetNumberOfPoints()));
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
  if (this->PointArray->GetNumberOfPoints() > 0)
  {
    // Radius queries only read a locator that is built; building it here, once, is what
    // makes them safe to run from several threads.
    this->Tree->BuildLocator();
  }

  unsigned int threads = this->NumberOfThreads > 0
    ? static_cast<unsigned int>(this->NumberOfThreads)
    : std::max(1u, std::thread::hardware_concurrency());
  threads = static_cast<unsigned int>(
    std::min<vtkIdType>(threads, std::max<vtkIdType>(1, n / MinPointsPerThread)));
  if (threads <= 1)
  {
    this->ComputeRange(in, out, start, factor, 0, n, this->NeighborIds);
    return;
  }

  // Each point is computed whole by one thread, so the split cannot change any result.
  std::atomic<vtkIdType> next{ 0 };
  auto work = [&](vtkIdList* ids)
  {
    for (;;)
    {
      const vtkIdType begin = next.fetch_add(ChunkSize, std::memory_order_relaxed);
      if (begin >= n)
      {
        return;
      }
      this->ComputeRange(in, out, start, factor, begin, std::min(begin + ChunkSize, n), ids);
    }
  };
  std::vector<vtkSmartPointer<vtkIdList>> lists;
  std::vector<std::thread> helpers;
  for (unsigned int t = 1; t < threads; ++t)
  {
    auto ids = vtkSmartPointer<vtkIdList>::New();
    ids->Allocate(InitialNeighborCapacity);
    lists.push_back(ids);
    try
    {
      helpers.emplace_back(work, ids.GetPointer());
    }
    catch (const std::system_error&)
    {
      break; // fewer helpers; the calling thread takes over their share
    }
  }
  work(this->NeighborIds);
  for (auto& helper : helpers)
  {
    helper.join();
  }
}

//------------------------------------------------------------------------------
void vtkShapeTransform::ComputeRange(vtkPoints* in, vtkPoints* out, vtkIdType start, float factor,
  vtkIdType begin, vtkIdType end, vtkIdList* ids)
{
  const vtkIdType N = this->PointArray->GetNumberOfPoints();
  const double R = this->Radius;
  const double t = factor;
  const float* cx = this->SplineCoeffX;
  const float* cy = this->SplineCoeffY;
  const float* cz = this->SplineCoeffZ;
  const int* order = this->UnList;
  PointAccess src(in);
  PointAccess dst(out);
  PointAccess landmarks(this->PointArray);
  float* cache = vtkFloatArray::FastDownCast(this->Displacements->GetData())->GetPointer(0);

  for (vtkIdType i = begin; i < end; ++i)
  {
    double x[3];
    src.Get(i, x);
    double s[3] = { 0.0, 0.0, 0.0 };
    // A non-finite coordinate has no neighbourhood (and would make the locator compute a
    // bucket index from it).
    if (N > 0 && AllFinite(x) && this->AffineOnly)
    {
      AddAffinePart(s, x, cx, cy, cz, N);
    }
    else if (N > 0 && AllFinite(x))
    {
      this->Tree->FindPointsWithinRadius(R, x, ids);
      const vtkIdType found = ids->GetNumberOfIds();
      const vtkIdType* id = ids->GetPointer(0);
      for (vtkIdType j = 0; j < found; ++j)
      {
        double p[3];
        landmarks.Get(id[j], p);
        const double r = std::sqrt((p[0] - x[0]) * (p[0] - x[0]) + (p[1] - x[1]) * (p[1] - x[1]) +
          (p[2] - x[2]) * (p[2] - x[2]));
        // The locator accepts r <= R by squared distances; a square root that rounds just
        // above R must still weigh nothing.
        const double q = 1.0 - r / R;
        const double w = q > 0.0 ? q * q : 0.0;
        const int c = order[id[j]];
        s[0] += w * cx[c];
        s[1] += w * cy[c];
        s[2] += w * cz[c];
      }
      if (found > 0)
      {
        AddAffinePart(s, x, cx, cy, cz, N);
      }
    }
    if (!AllFinite(s) || !FitsInFloat(s))
    {
      // Non-finite coefficients, or a displacement beyond single precision: the point
      // stays where it is rather than becoming NaN or infinite.
      s[0] = s[1] = s[2] = 0.0;
    }
    float* d = cache + 3 * i;
    d[0] = static_cast<float>(s[0]);
    d[1] = static_cast<float>(s[1]);
    d[2] = static_cast<float>(s[2]);
    const double y[3] = { x[0] - t * s[0], x[1] - t * s[1], x[2] - t * s[2] };
    dst.Set(start + i, y);
  }
}

//------------------------------------------------------------------------------
void vtkShapeTransform::PrintSelf(ostream& os, vtkIndent indent)
{
  this->Superclass::PrintSelf(os, indent);
  os << indent << "Radius: " << this->Radius << (this->AffineOnly ? " (affine part only)" : "")
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
  os << indent << "NeighborIds: " << this->NeighborIds->GetNumberOfIds() << " ids\n";
  os << indent << "NumberOfThreads: " << this->NumberOfThreads << "\n";
  os << indent << "CachedInput: " << this->CachedInput.GetPointer() << "\n";
  os << indent << "CachedInputTime: " << this->CachedInputTime << "\n";
}

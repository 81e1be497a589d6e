#include "vtkMatrixSolver.h"

#include "AffineSpan.h"
#include "DenseSolver.h"
#include "EnvelopeSolver.h"
#include "FitProgress.h"
#include "ParallelChunks.h"
#include "SolverChoice.h"
#include "SparseKernelSystem.h"
#include "SplineKernel.h"

#include <vtkFloatArray.h>
#include <vtkObjectFactory.h>
#include <vtkPoints.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <thread>
#include <unistd.h>
#include <vector>

vtkStandardNewMacro(vtkMatrixSolver);

namespace
{
// The kernel, its distance and its cut-off are spline_kernel's: this file is compiled without
// fused multiply-adds, so that the assembly's window search and the stored values agree with
// EvaluateKernel to the last bit.
using spline_kernel::KernelBelowRadius;
using spline_kernel::KernelSquaredDistanceLimit;
using spline_kernel::SquaredDistance;

std::int64_t PhysicalMemory()
{
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long size = ::sysconf(_SC_PAGE_SIZE);
  return pages > 0 && size > 0 ? static_cast<std::int64_t>(pages) * size : std::int64_t(1) << 32;
}

// Threads for the sparse solves: a second one when the processor has it.
int SolveThreads()
{
  return std::thread::hardware_concurrency() > 1 ? 2 : 1;
}

// Threads that share out the rows when the neighbours are counted or the sparse matrix is
// filled through the grid: worth starting from a few thousand rows.
int GridThreads(int n)
{
  return n >= 4096 ? SolveThreads() : 1;
}

bool AllFinite(const float* v, int count)
{
  for (int k = 0; k < count; ++k)
  {
    if (!std::isfinite(v[k]))
    {
      return false;
    }
  }
  return true;
}

const char* const FlatWarning =
  "the landmarks do not span three dimensions (fewer than four landmarks, or all on one plane "
  "or line); the affine part is fitted within the directions they span.";
const char* const SingularWarning =
  "the affine part's system is singular in single precision; it is solved in double precision "
  "instead.";
const char* const NotPositiveError =
  "The kernel matrix is not positive definite (a pivot of its factorisation is not positive): "
  "two landmarks lie too close to be told apart.";
}

//------------------------------------------------------------------------------
const char* vtkMatrixSolver::AffineFallbackText(int rank)
{
  return rank < 4 ? FlatWarning : SingularWarning;
}

// The work arrays of one Solve(), released with it however Solve() ends (an allocation that
// fails throws its message).
struct vtkMatrixSolver::Work
{
  Work() = default;
  Work(const Work&) = delete;
  Work& operator=(const Work&) = delete;
  ~Work();

  int N = 0; // rows of W
  float* Diag = nullptr;
  int* Xenv = nullptr;
  float* Env = nullptr;
  std::int64_t EnvCapacity = 0;
  float** P = nullptr;
  float** S = nullptr;
  float** W = nullptr;
  float* FrightPartX = nullptr;
  float* FrightPartY = nullptr;
  float* FrightPartZ = nullptr;
  float* FFF = nullptr;
  // Source coordinates, three floats per file index.
  const float* Coords = nullptr;
  std::vector<float> CoordsCopy;
  AffineSpan Span;
  bool WarningPrinted = false;
  // The source points in ordered positions, one coordinate per array.
  std::vector<float> Ordered;
  OrderedPoints Points;
  // Set when the kernel system is solved by conjugate gradients instead of the envelope.
  std::unique_ptr<SparseKernelSystem> Sparse;
  // Each row's envelope width, when the kernel profile was measured for the choice.
  const std::vector<int>* KnownWidths = nullptr;
};

//------------------------------------------------------------------------------
vtkMatrixSolver::Work::~Work()
{
  free_matrix(this->P, 0, 3, 0);
  free_matrix(this->S, 0, 3, 0);
  free_matrix(this->W, 0, static_cast<unsigned>(this->N > 0 ? this->N - 1 : 0), 0);
  // The process-wide system must not keep pointers into arrays released here.
  EnvelopeSystem& sys = envelope_system();
  if (sys.Env == this->Env || sys.Xenv == this->Xenv || sys.Diag == this->Diag)
  {
    sys.Diag = nullptr;
    sys.Xenv = nullptr;
    sys.Env = nullptr;
  }
  delete[] this->Xenv;
  std::free(this->Env);
  delete[] this->Diag;
  delete[] this->FFF;
  delete[] this->FrightPartX;
  delete[] this->FrightPartY;
  delete[] this->FrightPartZ;
}

//------------------------------------------------------------------------------
vtkMatrixSolver::vtkMatrixSolver()
  : PointArray(nullptr)
  , SplineCoeffX(nullptr)
  , SplineCoeffY(nullptr)
  , SplineCoeffZ(nullptr)
  , List(nullptr)
  , BX(nullptr)
  , BY(nullptr)
  , BZ(nullptr)
  , Radius(0.0f)
  , Max(0)
  , Method(FitSolver::Envelope)
{
}

//------------------------------------------------------------------------------
void vtkMatrixSolver::SetMethod(FitSolver method)
{
  this->Method = method;
}

//------------------------------------------------------------------------------
vtkMatrixSolver::~vtkMatrixSolver()
{
  this->SetSplineCoeffX(nullptr);
  this->SetSplineCoeffY(nullptr);
  this->SetSplineCoeffZ(nullptr);
  this->SetList(nullptr);
  this->SetBX(nullptr);
  this->SetBY(nullptr);
  this->SetBZ(nullptr);
  this->SetPointArray(nullptr);
}

//------------------------------------------------------------------------------
void vtkMatrixSolver::SetPointArray(vtkPoints* points)
{
  vtkDebugMacro(<< this->GetClassName() << " (" << this << "): setting PointArray to " << points);
  if (this->PointArray == points)
  {
    return;
  }
  vtkPoints* old = this->PointArray;
  this->PointArray = points;
  if (points)
  {
    points->Register(this);
  }
  if (old)
  {
    old->UnRegister(this);
  }
  this->Modified();
}

//------------------------------------------------------------------------------
double vtkMatrixSolver::EvaluateKernel(vtkIdType id1, vtkIdType id2)
{
  double a[3];
  double b[3];
  this->PointArray->GetPoint(id1, a);
  this->PointArray->GetPoint(id2, b);
  const float fa[3] = { static_cast<float>(a[0]), static_cast<float>(a[1]),
    static_cast<float>(a[2]) };
  const float fb[3] = { static_cast<float>(b[0]), static_cast<float>(b[1]),
    static_cast<float>(b[2]) };
  return spline_kernel::Kernel(
    SquaredDistance(fa[0], fa[1], fa[2], fb[0], fb[1], fb[2]), this->Radius);
}

//------------------------------------------------------------------------------
void vtkMatrixSolver::AllocateWork(Work& w, int n)
{
  w.N = 0;
  w.Diag = new (std::nothrow) float[n];
  if (!w.Diag)
  {
    throw "Not enough memory to allocate Diag";
  }
  w.Xenv = new (std::nothrow) int[n + 1];
  if (!w.Xenv)
  {
    throw "Not enough memory to allocate Xenv";
  }
  const unsigned last = static_cast<unsigned>(n - 1);
  w.P = allocate_matrix(0, 3, 0, last);
  w.S = allocate_matrix(0, 3, 0, 3);
  w.W = allocate_matrix(0, last, 0, 3);
  w.N = n;
  w.FrightPartX = new (std::nothrow) float[4];
  if (!w.FrightPartX)
  {
    throw "allocation faliture for the Fright_partX";
  }
  w.FrightPartY = new (std::nothrow) float[4];
  if (!w.FrightPartY)
  {
    throw "allocation faliture for the Fright_partY";
  }
  w.FrightPartZ = new (std::nothrow) float[4];
  if (!w.FrightPartZ)
  {
    throw "allocation faliture for the Fright_partZ";
  }
  w.FFF = new (std::nothrow) float[n];
  if (!w.FFF)
  {
    throw "allocation faliture for the FFF";
  }

  for (int r = 0; r < 4; ++r)
  {
    w.FrightPartX[r] = w.FrightPartY[r] = w.FrightPartZ[r] = 0.0f;
    for (int c = 0; c < 4; ++c)
    {
      w.S[r][c] = 0.0f;
    }
  }
  for (int i = 0; i < n; ++i)
  {
    const float* p = w.Coords + 3 * static_cast<std::int64_t>(this->List[i]);
    w.P[0][i] = 1.0f;
    w.P[1][i] = p[0];
    w.P[2][i] = p[1];
    w.P[3][i] = p[2];
    w.Diag[i] = static_cast<float>(1.0 + this->Smoothing); // phi(0) and the smoothing
  }
}

//------------------------------------------------------------------------------
void vtkMatrixSolver::AllocateEnvelope(Work& w, int n)
{
  // Most envelopes hold about two thirds of the band; growth covers the rest.
  const std::int64_t band = static_cast<std::int64_t>(n) * (this->Max - 1);
  w.EnvCapacity = static_cast<std::int64_t>(static_cast<double>(band) * 0.6666666666666666);
  if (w.EnvCapacity < 0)
  {
    w.EnvCapacity = 10;
  }
  // Never more than Xenv's int positions can address.
  w.EnvCapacity = std::min<std::int64_t>(w.EnvCapacity, this->EnvelopeEntryLimit());
  if (w.EnvCapacity > 0)
  {
    w.Env = static_cast<float*>(std::malloc(w.EnvCapacity * sizeof(float)));
    if (!w.Env)
    {
      w.EnvCapacity = 5 * static_cast<std::int64_t>(n);
      w.Env = static_cast<float*>(std::malloc(w.EnvCapacity * sizeof(float)));
      if (!w.Env)
      {
        throw "Not enough memory to allocate Env";
      }
    }
  }
}

namespace
{
// Rows of the kernel matrix a thread takes at a time when the assembly runs on several.
constexpr int RowChunk = 2048;

// The first of the columns b - max ... b - 1 whose point lies within the radius of point b
// (b when none does), from squared distances only, in slices of eight that the compiler can
// compute side by side.
int FirstColumnInReach(
  const float* x, const float* y, const float* z, int b, int max, double limit)
{
  const double bx = x[b];
  const double by = y[b];
  const double bz = z[b];
  int first = b - max > 0 ? b - max : 0;
  bool found = false;
  while (!found && first < b)
  {
    double d2[8];
    const int count = b - first < 8 ? b - first : 8;
    for (int k = 0; k < count; ++k)
    {
      d2[k] = SquaredDistance(bx, by, bz, x[first + k], y[first + k], z[first + k]);
    }
    int k = 0;
    while (k < count && !(d2[k] < limit))
    {
      ++k;
    }
    first += k;
    found = k < count;
  }
  return first;
}
}

//------------------------------------------------------------------------------
void vtkMatrixSolver::AssembleEnvelope(Work& w, int n)
{
  const double radius = this->Radius;
  const double limit = KernelSquaredDistanceLimit(radius);
  const std::int64_t growth = 5 * static_cast<std::int64_t>(n);
  const int max = this->Max;

  // The window search below runs through the points in order.
  const float* const x = w.Points.X;
  const float* const y = w.Points.Y;
  const float* const z = w.Points.Z;

  // Rows are independent: with a million entries or more in the band, both passes run on
  // every core (the entries are the same on any number).
  const int threads =
    static_cast<std::int64_t>(n) * std::max(max, 0) >= (1 << 20) ? SolveThreads() : 1;

  // First pass: each row's width, from its first column within the radius. Row b's width goes
  // to Xenv[b + 1] until the positions are added up.
  w.Xenv[0] = 1;
  parallel_chunks::ForEachChunk(n, RowChunk, threads,
    [&](int begin, int end)
    {
      for (int b = begin; b < end; ++b)
      {
        // A width the kernel profile has measured already is the same, where it lies
        // within the window.
        const int known = w.KnownWidths ? (*w.KnownWidths)[b] : max + 1;
        w.Xenv[b + 1] = known <= max ? known : b - FirstColumnInReach(x, y, z, b, max, limit);
      }
    });

  std::int64_t e = 0;
  for (int b = 0; b < n; ++b)
  {
    e += w.Xenv[b + 1];
  }
  // Xenv holds 1-based int positions: a larger envelope would wrap them around (whatever
  // memory there is); it goes to the sparse solve instead.
  if (e > this->EnvelopeEntryLimit())
  {
    throw "Not enough memory to allocate Env";
  }
  if (e > w.EnvCapacity)
  {
    while (e > w.EnvCapacity)
    {
      w.EnvCapacity += growth;
    }
    w.EnvCapacity = std::min<std::int64_t>(w.EnvCapacity, this->EnvelopeEntryLimit());
    auto* grown = static_cast<float*>(std::realloc(w.Env, w.EnvCapacity * sizeof(float)));
    if (!grown)
    {
      throw "Not enogh memory to floatlocate Env";
    }
    w.Env = grown;
  }
  for (int b = 0; b < n; ++b)
  {
    w.Xenv[b + 1] += w.Xenv[b];
  }

  // Second pass: the entries. Each stored entry is evaluated once; the zeros inside the span
  // cost no square root.
  float* const env = w.Env;
  const int* const xenv = w.Xenv;
  parallel_chunks::ForEachChunk(n, RowChunk, threads,
    [&](int begin, int end)
    {
      for (int b = begin; b < end; ++b)
      {
        const double bx = x[b];
        const double by = y[b];
        const double bz = z[b];
        const int first = b - (xenv[b + 1] - xenv[b]);
        float* row = env + (xenv[b] - 1);
        for (int k = first; k < b; ++k)
        {
          const double d2 = SquaredDistance(bx, by, bz, x[k], y[k], z[k]);
          row[k - first] = d2 < limit ? static_cast<float>(KernelBelowRadius(d2, radius)) : 0.0f;
        }
      }
    });

  if (e == 0)
  {
    std::free(w.Env);
    w.Env = nullptr;
  }
  else if (e < w.EnvCapacity)
  {
    auto* trimmed = static_cast<float*>(std::realloc(w.Env, e * sizeof(float)));
    if (trimmed)
    {
      w.Env = trimmed;
    }
  }
  w.EnvCapacity = e;
  FitEnvelope envelope;
  envelope.N = n;
  envelope.Xenv = w.Xenv;
  envelope.Env = w.Env;
  this->InvokeEvent(FitEnvelopeEvent, &envelope);
}

//------------------------------------------------------------------------------
vtkTypeInt64 vtkMatrixSolver::EnvelopeBound() const
{
  if (this->MaximumEnvelopeBytes > 0)
  {
    return this->MaximumEnvelopeBytes;
  }
  // A gigabyte, or a quarter of the memory of a smaller machine: the factorisation's work
  // grows faster than its size, and beyond this the sparse solve is far quicker anyway.
  return std::min<std::int64_t>(std::int64_t(1) << 30, PhysicalMemory() / 4);
}

//------------------------------------------------------------------------------
vtkTypeInt64 vtkMatrixSolver::EnvelopeEntryLimit() const
{
  // The bound in bytes, and Xenv's 1-based int positions up to entries + 1, whichever is less:
  // a bound of 8 GB or more would let the int positions wrap around.
  return std::min<std::int64_t>(
    this->EnvelopeBound() / static_cast<std::int64_t>(sizeof(float)), INT_MAX - 1);
}

//------------------------------------------------------------------------------
void vtkMatrixSolver::AssembleSparse(
  Work& w, int n, const KernelProfile* measured, const char* envelopeFailure)
{
  // Whatever cannot be allocated from here on ends the run as the envelope would have.
  const char* const failure =
    envelopeFailure ? envelopeFailure : "Not enough memory to allocate Env";
  const double limit = KernelSquaredDistanceLimit(this->Radius);
  try
  {
    // A profile measured in the ordering's window served the choice; the matrix's entries are
    // counted through the grid that also fills them.
    const KernelProfile profile = measured && !measured->Windowed
      ? *measured
      : MeasureKernelProfile(w.Points, this->Radius, limit, GridThreads(n));
    if (profile.Coincident)
    {
      // Two equal rows: the matrix is singular, as a factorisation would find.
      this->FactorizationFailed = 1;
      this->ReportNotPositive();
      w.Sparse.reset(new SparseKernelSystem);
      this->SparseUsed = true;
      return;
    }
    // Decided before anything is allocated: no more than three quarters of the machine.
    if (SparseKernelBytes(profile, n) > PhysicalMemory() / 4 * 3)
    {
      throw failure;
    }
    w.Sparse.reset(new SparseKernelSystem);
    w.Sparse->Assemble(
      w.Points, profile, this->Radius, limit, &KernelBelowRadius, this->Smoothing, GridThreads(n));
    this->SparseUsed = true;
    if (!w.Sparse->Precondition())
    {
      // No incomplete factor with positive pivots: the matrix is far from positive definite.
      // Reported like a failed envelope factorisation (the fitting tool prints its line).
      this->FactorizationFailed = 1;
      this->ReportNotPositive();
    }
  }
  catch (const std::bad_alloc&)
  {
    w.Sparse.reset();
    throw failure;
  }
}

//------------------------------------------------------------------------------
void vtkMatrixSolver::SolveEnvelope(Work& w, int n, int threads)
{
  // Seven right-hand sides: the axes' three and the four columns of P. Each solve streams the
  // whole factor from memory twice, so they run several at a time (the factor read once for
  // all of them), and with threads to spare the axes' solves run beside those of P. The
  // results are those of one solve at a time.
  const auto solveAxes = [this]
  {
    float* axes[3] = { this->BX, this->BY, this->BZ };
    envelope_solve_many(axes, 3);
  };
  std::thread axes;
  if (threads > 1)
  {
    try
    {
      axes = std::thread(solveAxes);
    }
    catch (const std::exception&)
    {
      // no thread to be had: solved below on this one
    }
  }
  // The columns of P are solved in copies (P is needed afterwards); without room for four
  // copies, one at a time in FFF.
  std::unique_ptr<float[]> copies(new (std::nothrow) float[4 * static_cast<size_t>(n)]);
  float* columns[4];
  for (int k = 0; k < 4; ++k)
  {
    columns[k] = copies ? copies.get() + k * static_cast<size_t>(n) : w.FFF;
  }
  const int together = copies ? 4 : 1;
  for (int k = 0; k < 4; k += together)
  {
    for (int c = k; c < k + together; ++c)
    {
      std::copy(w.P[c], w.P[c] + n, columns[c]);
    }
    envelope_solve_many(columns + k, together);
    for (int c = k; c < k + together; ++c)
    {
      for (int i = 0; i < n; ++i)
      {
        w.W[i][c] = columns[c][i];
      }
    }
  }
  if (axes.joinable())
  {
    axes.join();
  }
  else
  {
    solveAxes();
  }
}

//------------------------------------------------------------------------------
void vtkMatrixSolver::SolveSparse(Work& w, int n, int threads, bool keepRightHandSides)
{
  if (this->FactorizationFailed)
  {
    return; // singular: nothing to solve, and nothing of it is used
  }
  // The four columns of P and the three axes together; the axes' solutions replace their
  // right-hand sides only when they are used (a solve that hands over leaves them).
  std::vector<float> columns((keepRightHandSides ? 7 : 4) * static_cast<size_t>(n));
  float* const axes[3] = { this->BX, this->BY, this->BZ };
  const float* rhs[7] = { w.P[0], w.P[1], w.P[2], w.P[3], this->BX, this->BY, this->BZ };
  float* solution[7];
  for (int k = 0; k < 7; ++k)
  {
    solution[k] =
      k < 4 || keepRightHandSides ? columns.data() + k * static_cast<size_t>(n) : axes[k - 4];
  }
  const SparseSolveResult result = w.Sparse->Solve(rhs, solution, 7, threads);
  if (result.NotPositive)
  {
    this->FactorizationFailed = 1;
    this->ReportNotPositive();
    return;
  }
  this->SolveConverged = result.Converged;
  this->SolveResidual = result.Residual;
  this->SolveIterations = result.Iterations;
  if (keepRightHandSides && !result.Converged)
  {
    return;
  }
  for (int a = 0; keepRightHandSides && a < 3; ++a)
  {
    std::copy(solution[4 + a], solution[4 + a] + n, axes[a]);
  }
  for (int k = 0; k < 4; ++k)
  {
    for (int i = 0; i < n; ++i)
    {
      w.W[i][k] = solution[k][i];
    }
  }
}

//------------------------------------------------------------------------------
void vtkMatrixSolver::FitAxis(Work& w, int n, float* f, float* g)
{
  // f holds Phi^-1 * f already (solved with the columns of P).
  for (int r = 0; r < 4; ++r)
  {
    double sum = 0.0;
    for (int i = 0; i < n; ++i)
    {
      sum += static_cast<double>(w.P[r][i]) * f[i];
    }
    g[r] = static_cast<float>(g[r] - sum);
  }

  float S[16];
  for (int r = 0; r < 4; ++r)
  {
    for (int c = 0; c < 4; ++c)
    {
      S[r * 4 + c] = w.S[r][c];
    }
  }
  bool inSpan = !this->FactorizationFailed && w.Span.Rank < 4;
  if (!inSpan)
  {
    DenseSystem& dense = dense_system();
    for (int k = 0; k < 16; ++k)
    {
      dense.Matrix[k] = S[k];
    }
    for (int r = 0; r < 4; ++r)
    {
      dense.Vector[r] = g[r];
    }
    dense_solve();
    if (!this->FactorizationFailed && !AllFinite(dense.Vector, 4))
    {
      inSpan = true;
    }
    else
    {
      for (int r = 0; r < 4; ++r)
      {
        g[r] = dense.Vector[r];
      }
    }
  }
  if (inSpan)
  {
    const float rhs[4] = { g[0], g[1], g[2], g[3] };
    SolveAffineInSpan(w.Span, S, rhs, g);
    this->AffineFallbackUsed = true;
    if (!w.WarningPrinted)
    {
      InvokeFitOutput(this);
      vtkWarningMacro(<< AffineFallbackText(w.Span.Rank));
      w.WarningPrinted = true;
    }
  }

  for (int i = 0; i < n; ++i)
  {
    const float* wi = w.W[i];
    const double sum = static_cast<double>(g[0]) * wi[0] + static_cast<double>(g[1]) * wi[1] +
      static_cast<double>(g[2]) * wi[2] + static_cast<double>(g[3]) * wi[3];
    f[i] = static_cast<float>(f[i] - sum);
  }
}

//------------------------------------------------------------------------------
void vtkMatrixSolver::ReleaseWork(Work& w, int n)
{
  const unsigned last = static_cast<unsigned>(n - 1);
  free_matrix(w.P, 0, 3, 0);
  free_matrix(w.S, 0, 3, 0);
  free_matrix(w.W, 0, last, 0);
  w.P = w.S = w.W = nullptr;
  delete[] w.Xenv;
  std::free(w.Env);
  delete[] w.Diag;
  delete[] w.FFF;
  w.Xenv = nullptr;
  w.Env = nullptr;
  w.Diag = w.FFF = nullptr;
  EnvelopeSystem& sys = envelope_system();
  sys.Diag = nullptr;
  sys.Xenv = nullptr;
  sys.Env = nullptr;
  w.Sparse.reset();
  std::vector<float>().swap(w.Ordered);
}

//------------------------------------------------------------------------------
void vtkMatrixSolver::HandOutCoefficients(Work& w, int n)
{
  std::unique_ptr<float[]> owned[3];
  float* coeff[3];
  for (int a = 0; a < 3; ++a)
  {
    owned[a].reset(new (std::nothrow) float[n + 4]);
    if (!owned[a])
    {
      throw "allocation faliture for the SplineCoeff";
    }
    coeff[a] = owned[a].get();
  }
  const float* kernel[3] = { this->BX, this->BY, this->BZ };
  const float* affine[3] = { w.FrightPartX, w.FrightPartY, w.FrightPartZ };
  for (int a = 0; a < 3; ++a)
  {
    for (int i = 0; i < n; ++i)
    {
      coeff[a][i] = kernel[a][i];
    }
    for (int r = 0; r < 4; ++r)
    {
      coeff[a][n + r] = affine[a] ? affine[a][r] : 0.0f;
    }
  }
  this->SplineCoeffX = owned[0].release();
  this->SplineCoeffY = owned[1].release();
  this->SplineCoeffZ = owned[2].release();
}

//------------------------------------------------------------------------------
int vtkMatrixSolver::Solve()
{
  const int n = this->PointArray ? static_cast<int>(this->PointArray->GetNumberOfPoints()) : 0;
  this->FactorizationFailed = 0;
  this->AffineRank = 0;
  this->AffineFallbackUsed = false;
  this->SparseUsed = false;
  this->HandedOver = false;
  this->SolveConverged = true;
  this->SolveResidual = 0.0;
  this->SolveIterations = 0;
  Work w;
  if (n == 0)
  {
    // Without landmarks the deformation is the identity: every coefficient is 0.
    this->HandOutCoefficients(w, 0);
    return 1;
  }

  auto* floats = vtkFloatArray::SafeDownCast(this->PointArray->GetData());
  if (floats && floats->GetNumberOfComponents() == 3)
  {
    w.Coords = floats->GetPointer(0);
  }
  else
  {
    w.CoordsCopy.resize(3 * static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
    {
      double p[3];
      this->PointArray->GetPoint(i, p);
      for (int k = 0; k < 3; ++k)
      {
        w.CoordsCopy[3 * static_cast<size_t>(i) + k] = static_cast<float>(p[k]);
      }
    }
    w.Coords = w.CoordsCopy.data();
  }

  InvokeFitStage(this, FitStage::Assembly);
  this->AllocateWork(w, n);
  w.Ordered.resize(3 * static_cast<size_t>(n));
  w.Points.X = w.Ordered.data();
  w.Points.Y = w.Points.X + n;
  w.Points.Z = w.Points.Y + n;
  w.Points.N = n;
  for (int k = 0; k < n; ++k)
  {
    const float* p = w.Coords + 3 * static_cast<std::int64_t>(this->List[k]);
    w.Ordered[k] = p[0];
    w.Ordered[n + k] = p[1];
    w.Ordered[2 * static_cast<size_t>(n) + k] = p[2];
  }

  // The method: the envelope wherever it fits, unless the choice is the sparse solve or the
  // prediction finds the sparse solve cheaper; the sparse system when the envelope would
  // exceed its bound or cannot be allocated.
  KernelProfile profile;
  bool profiled = false;
  const std::int64_t entryLimit = this->EnvelopeEntryLimit();
  const std::int64_t band = static_cast<std::int64_t>(n) * std::max(this->Max, 0);
  const bool choose = this->Method == FitSolver::Sparse ||
    (this->Method == FitSolver::Auto && !EnvelopeSurelyCheaper(n, this->Max));
  if (choose || band > entryLimit)
  {
    // Forced, the sparse solve assembles from the grid's profile; for the choice, the cheaper
    // way of measuring.
    const double limit = KernelSquaredDistanceLimit(this->Radius);
    profile = this->Method == FitSolver::Sparse
      ? MeasureKernelProfile(w.Points, this->Radius, limit, GridThreads(n))
      : MeasureKernelProfileForChoice(w.Points, this->Radius, limit, this->Max, GridThreads(n));
    profiled = true;
  }
  const bool envelopeFits =
    !profiled || profile.EnvelopeEntries <= entryLimit;
  const SolverPlan plan =
    profiled ? PlanSolve(this->Method, profile, n, envelopeFits) : SolverPlan();
  bool sparse = plan.Sparse;
  bool solved = false;
  if (sparse)
  {
    const bool mayHandOver = plan.StepBudget > 0;
    bool outOfMemory = false;
    try
    {
      this->AssembleSparse(w, n, &profile, nullptr);
      InvokeFitStage(this, FitStage::SparseSolve);
      if (mayHandOver && w.Sparse)
      {
        w.Sparse->SetStepBudget(plan.StepBudget);
      }
      this->SolveSparse(w, n, SolveThreads(), mayHandOver);
    }
    catch (const char*)
    {
      if (!mayHandOver)
      {
        throw;
      }
      outOfMemory = true; // the envelope fits: it takes over
    }
    catch (const std::bad_alloc&)
    {
      if (!mayHandOver)
      {
        throw;
      }
      outOfMemory = true;
    }
    if (mayHandOver && (outOfMemory || (!this->SolveConverged && !this->FactorizationFailed)))
    {
      // Not converged within the envelope's predicted work, or no memory for the sparse
      // system: the envelope takes over.
      w.Sparse.reset();
      this->SparseUsed = false;
      this->SolveConverged = true;
      this->SolveResidual = 0.0;
      this->HandedOver = true;
      sparse = false;
    }
    else
    {
      solved = true;
    }
  }
  const char* envelopeFailure = nullptr;
  w.KnownWidths = profiled ? &profile.Widths : nullptr;
  if (!sparse)
  {
    try
    {
      this->AllocateEnvelope(w, n);
      this->AssembleEnvelope(w, n);
    }
    catch (const char* message)
    {
      std::free(w.Env);
      w.Env = nullptr;
      w.EnvCapacity = 0;
      envelopeFailure = message;
      sparse = true;
    }
  }
  if (!solved && sparse)
  {
    this->AssembleSparse(w, n, profiled ? &profile : nullptr, envelopeFailure);
    InvokeFitStage(this, FitStage::SparseSolve);
    this->SolveSparse(w, n, SolveThreads(), false);
  }
  else if (!solved)
  {
    EnvelopeSystem& sys = envelope_system();
    sys.N = n;
    sys.Diag = w.Diag;
    sys.Xenv = w.Xenv;
    sys.Env = w.Env;
    sys.Iflag = 0;
    InvokeFitStage(this, FitStage::Factorisation);
    // The factorisation's progress, as this solver's progress events.
    envelope_set_progress([](double fraction, void* solver)
      { static_cast<vtkMatrixSolver*>(solver)->InvokeEvent(vtkCommand::ProgressEvent, &fraction); },
      this);
    this->FactorizationFailed = envelope_solve(1, nullptr);
    envelope_set_progress(nullptr, nullptr);
    if (this->FactorizationFailed)
    {
      this->ReportNotPositive();
    }
    InvokeFitStage(this, FitStage::Solves);
    this->SolveEnvelope(w, n, envelope_thread_count(n, w.Xenv));
  }
  for (int r = 0; r < 4; ++r)
  {
    for (int c = 0; c < 4; ++c)
    {
      double sum = 0.0;
      for (int i = 0; i < n; ++i)
      {
        sum += static_cast<double>(w.P[r][i]) * w.W[i][c];
      }
      w.S[r][c] = static_cast<float>(w.S[r][c] - sum);
    }
  }

  w.Span = ComputeAffineSpan(this->PointArray);
  this->AffineRank = w.Span.Rank;
  this->FitAxis(w, n, this->BX, w.FrightPartX);
  this->FitAxis(w, n, this->BY, w.FrightPartY);
  this->FitAxis(w, n, this->BZ, w.FrightPartZ);

  this->ReleaseWork(w, n);
  this->HandOutCoefficients(w, n);
  return 1;
}

//------------------------------------------------------------------------------
void vtkMatrixSolver::ReportNotPositive()
{
  InvokeFitOutput(this);
  vtkErrorMacro(<< NotPositiveError);
}

//------------------------------------------------------------------------------
void vtkMatrixSolver::PrintSelf(ostream& os, vtkIndent indent)
{
  this->Superclass::PrintSelf(os, indent);
  os << indent << "PointArray: " << this->PointArray << "\n";
  os << indent << "SplineCoeffX: " << this->SplineCoeffX << "\n";
  os << indent << "SplineCoeffY: " << this->SplineCoeffY << "\n";
  os << indent << "SplineCoeffZ: " << this->SplineCoeffZ << "\n";
  os << indent << "List: " << this->List << "\n";
  os << indent << "BX: " << this->BX << "\n";
  os << indent << "BY: " << this->BY << "\n";
  os << indent << "BZ: " << this->BZ << "\n";
  os << indent << "Radius: " << this->Radius << "\n";
  os << indent << "Max: " << this->Max << "\n";
  os << indent << "MaximumEnvelopeBytes: " << this->MaximumEnvelopeBytes << "\n";
  os << indent << "Method: " << FitSolverName(this->Method) << "\n";
  os << indent << "Smoothing: " << this->Smoothing << "\n";
  os << indent << "SparseSolveUsed: " << this->SparseUsed << "\n";
  os << indent << "HandedOver: " << this->HandedOver << "\n";
  os << indent << "SolveConverged: " << this->SolveConverged << "\n";
  os << indent << "SolveResidual: " << this->SolveResidual << "\n";
  os << indent << "SolveIterations: " << this->SolveIterations << "\n";
  os << indent << "FactorizationFailed: " << this->FactorizationFailed << "\n";
  os << indent << "AffineRank: " << this->AffineRank << "\n";
  os << indent << "AffineFallbackUsed: " << this->AffineFallbackUsed << "\n";
}

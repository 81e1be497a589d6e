// The fitting benchmark: Pravik's stages on landmark sets of growing size, and the peers a
// user could pick instead (VTK's dense thin-plate spline, and CHOLMOD factoring the same
// sparse kernel matrix). Every measurement runs in a child process of its own, so that its
// peak memory is its own.
//
//   fitting_bench [--max-landmarks N] [--vtk-seconds S] [--cholmod-max N]   prints the tables
//   fitting_bench --choice-only [--max-landmarks N] [--cholmod-max N]
//                                             only the solver choice on even and uneven sets
//                                             and the targets' rows
//
// The children are this program again (CHOLMOD's: fitting_bench_cholmod, the same source
// built with CHOLMOD):
//   fitting_bench --stages <file> <radius> [threads [envelope bytes [method]]]
//                                             one fit in process, stage by stage (threads 0:
//                                             the fit's choice; envelope bytes: the solver's
//                                             MaximumEnvelopeBytes, 1 for the sparse solve;
//                                             method: auto, envelope (default) or sparse)
//   fitting_bench --cholmod <file> <radius>   CHOLMOD on the same kernel matrix
//   fitting_bench --vtk <file>                vtkThinPlateSplineTransform on the same pairs
//   fitting_bench --measure <program> [args]  runs the program, prints its times and peak
//                                             memory
//   fitting_bench --write-sphere <N> <file>   writes the sphere set of N landmarks, prints
//                                             its radius (about 30 neighbours)
//   fitting_bench --write-set <kind> <N> <file> [neighbours]  the same for the uneven sets
//                                             too: kind even, random, pairs (random pairs
//                                             1e-5 R apart) or graded (a mesh of about N
//                                             vertices whose edges range a thousand-fold);
//                                             the radius gives about 30 neighbours or the
//                                             number given
//   fitting_bench --sparse-compare <file> <radius>  the sparse solve's seven right-hand sides
//                                             with and without its preconditioner
// Each prints one line of "key=value" pairs.

#include "EnvelopeKernels.h"
#include "FitProgress.h"
#include "LandmarkGenerator.h"
#include "PravikRun.h"
#include "SolverChoice.h"
#include "SolverInput.h"
#include "SparseKernelSystem.h"
#include "SplineKernel.h"
#include "TransformFile.h"
#include "vtkDatReader.h"
#include "vtkMatrixSolver.h"

#include <vtkIdList.h>
#include <vtkNew.h>
#include <vtkPointLocator.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkThinPlateSplineTransform.h>

#ifdef QUORVEL_HAVE_CHOLMOD
#include <cholmod.h>
#endif

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <malloc.h>
#include <map>
#include <memory>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace
{
using Clock = std::chrono::steady_clock;
using Values = std::map<std::string, double>;

double Seconds(Clock::time_point from, Clock::time_point to)
{
  return std::chrono::duration<double>(to - from).count();
}

// Processor time of the whole process (all its threads).
double ProcessSeconds()
{
  timespec now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// A line of /proc/self/status in megabytes ("VmHWM", "VmRSS").
double StatusMegabytes(const char* key)
{
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(key) + ":";
  while (std::getline(status, line))
  {
    if (line.compare(0, prefix.size(), prefix) == 0)
    {
      return std::atof(line.c_str() + prefix.size()) / 1024.0;
    }
  }
  return -1.0;
}

// Starts a new peak of the resident set (Linux: "5" into clear_refs).
void ResetPeakMemory()
{
  const int fd = ::open("/proc/self/clear_refs", O_WRONLY);
  if (fd >= 0)
  {
    if (::write(fd, "5", 1) != 1)
    {
      std::fprintf(stderr, "cannot reset the peak resident set\n");
    }
    ::close(fd);
  }
}

void PrintValues(const Values& values)
{
  for (const auto& kv : values)
  {
    std::printf("%s=%.9g ", kv.first.c_str(), kv.second);
  }
  std::printf("\n");
  std::fflush(stdout);
}

// A stage's key in the printed values ("sparse" for the conjugate gradient solve).
const char* StageKey(FitStage stage)
{
  switch (stage)
  {
    case FitStage::Factorisation:
      return "factorisation";
    case FitStage::SparseSolve:
      return "sparse";
    default:
      return FitStageName(stage);
  }
}

//------------------------------------------------------------------------------
// One fit in process, timed stage by stage through the fit's own stage reports.
class StageClock : public FitObserver
{
public:
  StageClock()
    : Last(Clock::now())
    , LastCpu(ProcessSeconds())
  {
    ResetPeakMemory();
  }

  void StageBegins(FitStage stage) override
  {
    this->End();
    this->Current = StageKey(stage);
  }

  void EnvelopeAssembled(int n, const int* xenv, const float*) override
  {
    this->Xenv.assign(xenv, xenv + n + 1);
  }

  // Closes the current stage: its time and the peak resident set while it ran.
  void End()
  {
    const Clock::time_point now = Clock::now();
    if (!this->Current.empty())
    {
      this->Result["time_" + this->Current] += Seconds(this->Last, now);
      this->Result["cpu_" + this->Current] += ProcessSeconds() - this->LastCpu;
      const double peak = StatusMegabytes("VmHWM");
      double& stagePeak = this->Result["peak_" + this->Current];
      stagePeak = std::max(stagePeak, peak);
      this->Result["peak"] = std::max(this->Result["peak"], peak);
      ResetPeakMemory();
    }
    this->Current.clear();
    this->Last = Clock::now();
    this->LastCpu = ProcessSeconds();
  }

  Values Result;
  std::vector<int> Xenv;

private:
  Clock::time_point Last;
  double LastCpu;
  std::string Current;
};

// Multiply-adds of the factorisation: row i solves with the rows it reaches back to (each
// clipped to the window) and subtracts the squares of its own entries.
double FactorMultiplyAdds(const std::vector<int>& xenv)
{
  const int n = static_cast<int>(xenv.size()) - 1;
  double total = 0.0;
  for (int i = 1; i < n; ++i)
  {
    const int w = xenv[i + 1] - xenv[i];
    const int s = i - w;
    total += w;
    for (int j = s + 1; j < i; ++j)
    {
      total += std::min(xenv[j + 1] - xenv[j], j - s);
    }
  }
  return total;
}

int RunStages(
  const char* file, float radius, int threads, long long envelopeBytes, FitSolver method)
{
  envelope_set_thread_count(threads);
  Values base;
  base["rss_start"] = StatusMegabytes("VmRSS");
  vtkNew<vtkDatReader> reader;
  vtkNew<vtkMatrixSolver> solver;
  StageClock clock;
  clock.Observe(reader);
  clock.Observe(solver);
  reader->FileName = file;
  reader->SetRadius(radius);
  if (reader->Read() != 0)
  {
    return 1;
  }
  SetSolverInput(solver, reader);
  solver->SetMaximumEnvelopeBytes(envelopeBytes);
  solver->SetMethod(method);
  solver->Solve();
  const std::unique_ptr<float[]> x(solver->GetSplineCoeffX());
  const std::unique_ptr<float[]> y(solver->GetSplineCoeffY());
  const std::unique_ptr<float[]> z(solver->GetSplineCoeffZ());
  clock.StageBegins(FitStage::Writing);
  const std::string out = std::string(file) + ".bench.trc";
  const TransformWriteStatus written = WriteTransformCoefficients(out.c_str(), reader->GetRadius(),
    reader->GetPointArray(), x.get(), y.get(), z.get(), reader->GetUnList());
  clock.End();
  std::remove(out.c_str());
  if (written != TransformWriteStatus::Ok)
  {
    return 1;
  }

  Values v = clock.Result;
  v.insert(base.begin(), base.end());
  const int n = static_cast<int>(reader->GetPointArray()->GetNumberOfPoints());
  v["n"] = n;
  v["sparse_used"] = solver->GetSparseSolveUsed();
  v["handed_over"] = solver->GetHandedOver();
  v["steps"] = solver->GetSolveIterations();
  v["max"] = reader->GetMax();
  v["envelope"] = clock.Xenv.empty() ? 0.0 : clock.Xenv.back() - 1.0;
  v["factor_madds"] = FactorMultiplyAdds(clock.Xenv);
  // Neighbours within the radius, from the reader's own locator (not timed).
  vtkNew<vtkIdList> ids;
  double neighbours = 0.0;
  for (vtkIdType i = 0; i < n; ++i)
  {
    double p[3];
    reader->GetPointArray()->GetPoint(i, p);
    reader->GetTree()->FindPointsWithinRadius(radius, p, ids);
    neighbours += static_cast<double>(ids->GetNumberOfIds() - 1);
  }
  v["neighbours"] = n ? neighbours / n : 0.0;
  // The choice's prediction for the same set (not timed), to set its constants against the
  // measured stages.
  std::vector<float> ordered(3 * static_cast<size_t>(n));
  for (int k = 0; k < n; ++k)
  {
    double p[3];
    reader->GetPointArray()->GetPoint(reader->GetList()[k], p);
    for (int c = 0; c < 3; ++c)
    {
      ordered[c * static_cast<size_t>(n) + k] = static_cast<float>(p[c]);
    }
  }
  OrderedPoints points;
  points.X = ordered.data();
  points.Y = points.X + n;
  points.Z = points.Y + n;
  points.N = n;
  const KernelProfile profile =
    MeasureKernelProfile(points, radius, spline_kernel::KernelSquaredDistanceLimit(radius));
  const SolverPlan plan = PlanSolve(FitSolver::Auto, profile, n, true);
  v["plan_envelope"] = plan.EnvelopeWork;
  v["plan_setup"] = plan.SparseSetupWork;
  v["plan_step"] = plan.SparseStepWork;
  v["plan_sparse"] = plan.Sparse;
  v["plan_budget"] = plan.StepBudget;
  v["plan_entries"] = static_cast<double>(profile.EnvelopeEntries);
  v["plan_offdiagonal"] = static_cast<double>(profile.OffDiagonal);
  v["plan_lower_squares"] = profile.LowerSquares;
  v["plan_surely_envelope"] = EnvelopeSurelyCheaper(n, reader->GetMax());
  PrintValues(v);
  return 0;
}

#ifdef QUORVEL_HAVE_CHOLMOD
//------------------------------------------------------------------------------
// The kernel of the fit, as the benchmark's peers are given it.
double KernelValue(const double* a, const double* b, double radius)
{
  const double r = std::sqrt(
    (a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
  return r < radius ? (1.0 - r / radius) * (1.0 - r / radius) : 0.0;
}

// Whether the BLAS this process has loaded is OpenBLAS (from its memory map).
bool OpenBlasLoaded()
{
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line))
  {
    if (line.find("openblas") != std::string::npos)
    {
      return true;
    }
  }
  return false;
}

int RunCholmod(const char* file, float radius)
{
  vtkNew<vtkDatReader> reader;
  reader->FileName = file;
  reader->SetRadius(radius);
  if (reader->Read() != 0)
  {
    return 1;
  }
  vtkPoints* points = reader->GetPointArray();
  const int n = static_cast<int>(points->GetNumberOfPoints());
  const int* list = reader->GetList();
  const int* unlist = reader->GetUnList();

  // The upper triangle of the kernel matrix in Pravik's ordering, column by column.
  std::vector<std::vector<std::pair<int, double>>> columns(n);
  vtkNew<vtkIdList> ids;
  size_t nonzeros = 0;
  for (int j = 0; j < n; ++j)
  {
    double pj[3];
    points->GetPoint(list[j], pj);
    reader->GetTree()->FindPointsWithinRadius(radius, pj, ids);
    for (vtkIdType k = 0; k < ids->GetNumberOfIds(); ++k)
    {
      const int i = unlist[ids->GetId(k)];
      if (i <= j)
      {
        double pi[3];
        points->GetPoint(list[i], pi);
        const double value = i == j ? 1.0 : KernelValue(pi, pj, radius);
        if (value != 0.0)
        {
          columns[j].emplace_back(i, value);
        }
      }
    }
    std::sort(columns[j].begin(), columns[j].end());
    nonzeros += columns[j].size();
  }

  cholmod_common common;
  cholmod_start(&common);
  cholmod_sparse* a = cholmod_allocate_sparse(n, n, nonzeros, 1, 1, 1, CHOLMOD_REAL, &common);
  auto* ap = static_cast<int*>(a->p);
  auto* ai = static_cast<int*>(a->i);
  auto* ax = static_cast<double*>(a->x);
  size_t at = 0;
  for (int j = 0; j < n; ++j)
  {
    ap[j] = static_cast<int>(at);
    for (const auto& entry : columns[j])
    {
      ai[at] = entry.first;
      ax[at] = entry.second;
      ++at;
    }
  }
  ap[n] = static_cast<int>(at);
  columns.clear();
  columns.shrink_to_fit();

  // Seven right-hand sides: the four rows of P and the three axes.
  cholmod_dense* b = cholmod_allocate_dense(n, 7, n, CHOLMOD_REAL, &common);
  auto* bx = static_cast<double*>(b->x);
  const float* axes[3] = { reader->GetBX(), reader->GetBY(), reader->GetBZ() };
  for (int k = 0; k < n; ++k)
  {
    double p[3];
    points->GetPoint(list[k], p);
    bx[k] = 1.0;
    for (int c = 0; c < 3; ++c)
    {
      bx[(1 + c) * static_cast<size_t>(n) + k] = p[c];
      bx[(4 + c) * static_cast<size_t>(n) + k] = axes[c][k];
    }
  }

  Values v;
  ResetPeakMemory();
  const double before = StatusMegabytes("VmRSS");
  const auto t0 = Clock::now();
  const double c0 = ProcessSeconds();
  cholmod_factor* l = cholmod_analyze(a, &common);
  const auto t1 = Clock::now();
  const double c1 = ProcessSeconds();
  cholmod_factorize(a, l, &common);
  const auto t2 = Clock::now();
  const double c2 = ProcessSeconds();
  cholmod_dense* x = cholmod_solve(CHOLMOD_A, l, b, &common);
  const auto t3 = Clock::now();
  const double c3 = ProcessSeconds();
  v["cpu_analyze"] = c1 - c0;
  v["cpu_factorize"] = c2 - c1;
  v["cpu_solve"] = c3 - c2;
  v["peak_growth"] = StatusMegabytes("VmHWM") - before;
  v["time_analyze"] = Seconds(t0, t1);
  v["time_factorize"] = Seconds(t1, t2);
  v["time_solve"] = Seconds(t2, t3);
  v["flops"] = common.fl;
  v["lnz"] = common.lnz;
  v["status"] = common.status;
  v["supernodal"] = l->is_super;
  v["openblas"] = OpenBlasLoaded() ? 1.0 : 0.0;
  v["n"] = n;
  cholmod_free_dense(&x, &common);
  cholmod_free_dense(&b, &common);
  cholmod_free_factor(&l, &common);
  cholmod_free_sparse(&a, &common);
  cholmod_finish(&common);
  PrintValues(v);
  return 0;
}
#endif

//------------------------------------------------------------------------------
int RunVtk(const char* file)
{
  vtkNew<vtkDatReader> reader;
  reader->FileName = file;
  if (reader->Read() != 0)
  {
    return 1;
  }
  vtkNew<vtkThinPlateSplineTransform> spline;
  spline->SetSourceLandmarks(reader->GetPointArray());
  spline->SetTargetLandmarks(reader->GetPointArrayN());
  spline->SetBasisToR();
  const auto t0 = Clock::now();
  const double c0 = ProcessSeconds();
  spline->Update(); // the dense fit happens here
  const auto t1 = Clock::now();
  const double c1 = ProcessSeconds();
  double p[3] = { 0.0, 0.0, 0.0 };
  double q[3];
  spline->TransformPoint(p, q);
  Values v;
  v["time_fit"] = Seconds(t0, t1);
  v["cpu_fit"] = c1 - c0;
  v["n"] = reader->GetPointArray()->GetNumberOfPoints();
  PrintValues(v);
  return 0;
}

//------------------------------------------------------------------------------
struct ChildResult
{
  bool Ok = false;
  Values Result;
  double Wall = 0.0;          // seconds
  double Cpu = 0.0;           // processor seconds, user and system
  double PeakMegabytes = 0.0; // the child's largest resident set
};

// Runs a program with stdout captured (or discarded) and measures it.
ChildResult RunChild(const std::vector<std::string>& args, bool capture)
{
  ChildResult result;
  int out[2];
  if (::pipe(out) != 0)
  {
    return result;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (capture)
  {
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  }
  else
  {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::vector<char*> argv;
  for (const std::string& a : args)
  {
    argv.push_back(const_cast<char*>(a.c_str()));
  }
  argv.push_back(nullptr);
  const auto t0 = Clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  if (spawned != 0)
  {
    ::close(out[0]);
    return result;
  }
  std::string text;
  char buffer[4096];
  ssize_t got;
  while ((got = ::read(out[0], buffer, sizeof buffer)) > 0)
  {
    text.append(buffer, static_cast<size_t>(got));
  }
  ::close(out[0]);
  int status = 0;
  struct rusage usage;
  ::wait4(pid, &status, 0, &usage);
  result.Wall = Seconds(t0, Clock::now());
  result.PeakMegabytes = usage.ru_maxrss / 1024.0;
  result.Cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
    1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
  result.Ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  std::istringstream words(text);
  std::string word;
  while (words >> word)
  {
    const size_t eq = word.find('=');
    if (eq != std::string::npos)
    {
      result.Result[word.substr(0, eq)] = std::atof(word.c_str() + eq + 1);
    }
  }
  return result;
}

// Runs a program (output discarded) as a child of this small process and prints its wall and
// processor seconds, peak resident set and exit status. A process started by posix_spawn
// begins with its parent's resident set as its peak (the kernel keeps the larger of the
// two), so the tables start programs through this one, freshly started, to measure theirs.
int MeasureProgram(char** argv)
{
  const auto t0 = Clock::now();
  const pid_t pid = ::fork();
  if (pid < 0)
  {
    return 1;
  }
  if (pid == 0)
  {
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0)
    {
      ::dup2(null, STDOUT_FILENO);
      ::dup2(null, STDERR_FILENO);
    }
    ::execv(argv[0], argv);
    ::_exit(127);
  }
  int status = 0;
  struct rusage usage;
  if (::wait4(pid, &status, 0, &usage) != pid)
  {
    return 1;
  }
  Values v;
  v["wall"] = Seconds(t0, Clock::now());
  v["peak"] = usage.ru_maxrss / 1024.0;
  v["cpu"] = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
    1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
  v["exit"] = WIFEXITED(status) ? WEXITSTATUS(status) : 256;
  PrintValues(v);
  return 0;
}

// The vertices of the bundled leg model (its ASCII POINTS section), without repeats, moved
// by a smooth field of about a tenth of the leg's thickness.
std::vector<Landmark> LegSurfaceLandmarks(const std::string& path)
{
  std::vector<Landmark> landmarks;
  std::ifstream in(path);
  std::string word;
  while (in >> word && word != "POINTS")
  {
  }
  long count = 0;
  in >> count >> word;
  std::vector<std::array<float, 3>> points;
  for (long i = 0; i < count; ++i)
  {
    std::array<float, 3> p;
    if (!(in >> p[0] >> p[1] >> p[2]))
    {
      break;
    }
    points.push_back(p);
  }
  std::sort(points.begin(), points.end());
  points.erase(std::unique(points.begin(), points.end()), points.end());
  for (const auto& p : points)
  {
    Landmark l;
    for (int c = 0; c < 3; ++c)
    {
      l.Source[c] = p[c];
    }
    l.Target[0] = p[0] + 0.01 * std::sin(6.0 * p[1]);
    l.Target[1] = p[1] + 0.01 * std::cos(5.0 * p[0]);
    l.Target[2] = p[2] + 0.015 * std::sin(4.0 * p[0] + 0.5);
    landmarks.push_back(l);
  }
  return landmarks;
}

// The radius that gives the points about `target` neighbours on average (bisection on a
// sample of them).
double RadiusForNeighbours(const std::vector<Landmark>& landmarks, double target)
{
  vtkNew<vtkPoints> points;
  for (const Landmark& l : landmarks)
  {
    points->InsertNextPoint(l.Source);
  }
  vtkNew<vtkPolyData> data;
  data->SetPoints(points);
  vtkNew<vtkPointLocator> locator;
  locator->SetDataSet(data);
  locator->BuildLocator();
  vtkNew<vtkIdList> ids;
  const size_t step = std::max<size_t>(1, landmarks.size() / 500);
  double low = 0.0;
  double high = 1.0;
  for (int iteration = 0; iteration < 30; ++iteration)
  {
    const double mid = 0.5 * (low + high);
    double total = 0.0;
    double samples = 0.0;
    for (size_t i = 0; i < landmarks.size(); i += step)
    {
      locator->FindPointsWithinRadius(mid, landmarks[i].Source, ids);
      total += static_cast<double>(ids->GetNumberOfIds() - 1);
      samples += 1.0;
    }
    (total / samples < target ? low : high) = mid;
  }
  return 0.5 * (low + high);
}

// The benchmark's landmark sets by name, with the radius that gives about `neighbours`
// others within it.
std::vector<Landmark> BenchSet(const std::string& kind, int n, double neighbours, double& radius)
{
  std::vector<Landmark> set;
  if (kind == "random")
  {
    set = RandomSphereLandmarks(n, 17);
  }
  else if (kind == "pairs")
  {
    radius = SphereRadiusForNeighbours(n, neighbours);
    set = ClosePairSphereLandmarks(n, 17, 1e-5 * radius);
    return set;
  }
  else if (kind == "graded")
  {
    set = GradedMeshLandmarks(static_cast<int>(std::lround(std::sqrt(static_cast<double>(n)))));
  }
  else
  {
    radius = SphereRadiusForNeighbours(n, neighbours);
    return SphereLandmarks(n);
  }
  radius = kind == "random" ? SphereRadiusForNeighbours(n, neighbours)
                            : RadiusForNeighbours(set, neighbours);
  return set;
}

// The sparse system of a landmark file in the reader's order, solved for the fit's seven
// right-hand sides with and without the incomplete Cholesky preconditioner.
int CompareSparse(const char* file, float radius)
{
  vtkNew<vtkDatReader> reader;
  reader->FileName = file;
  reader->SetRadius(radius);
  if (reader->Read() != 0)
  {
    return 1;
  }
  const int n = static_cast<int>(reader->GetPointArray()->GetNumberOfPoints());
  std::vector<float> ordered(3 * static_cast<size_t>(n));
  for (int k = 0; k < n; ++k)
  {
    double p[3];
    reader->GetPointArray()->GetPoint(reader->GetList()[k], p);
    for (int c = 0; c < 3; ++c)
    {
      ordered[c * static_cast<size_t>(n) + k] = static_cast<float>(p[c]);
    }
  }
  OrderedPoints points;
  points.X = ordered.data();
  points.Y = points.X + n;
  points.Z = points.Y + n;
  points.N = n;
  const double limit = spline_kernel::KernelSquaredDistanceLimit(radius);
  const double cpuProfile = ProcessSeconds();
  const KernelProfile profile = MeasureKernelProfile(points, radius, limit);
  const double cpuAssembly = ProcessSeconds();
  SparseKernelSystem system;
  system.Assemble(points, profile, radius, limit, &spline_kernel::KernelBelowRadius);
  const double cpuAssembled = ProcessSeconds();
  std::vector<std::vector<float>> rhs(7, std::vector<float>(n));
  std::vector<std::vector<float>> x(7, std::vector<float>(n));
  for (int k = 0; k < n; ++k)
  {
    rhs[0][k] = 1.0f;
    rhs[1][k] = points.X[k];
    rhs[2][k] = points.Y[k];
    rhs[3][k] = points.Z[k];
    rhs[4][k] = reader->GetBX()[k];
    rhs[5][k] = reader->GetBY()[k];
    rhs[6][k] = reader->GetBZ()[k];
  }
  const float* in[7];
  float* out[7];
  for (int c = 0; c < 7; ++c)
  {
    in[c] = rhs[c].data();
    out[c] = x[c].data();
  }
  Values v;
  v["n"] = n;
  v["neighbours"] = n ? static_cast<double>(profile.OffDiagonal) / n : 0.0;
  v["cpu_profile"] = cpuAssembly - cpuProfile;
  v["cpu_assembly"] = cpuAssembled - cpuAssembly;
  for (const bool preconditioned : { false, true })
  {
    const std::string key = preconditioned ? "ic_" : "plain_";
    system.SetPreconditioned(preconditioned);
    system.SetMaximumIterations(20000);
    const Clock::time_point start = Clock::now();
    const double cpuStart = ProcessSeconds();
    system.Precondition();
    const Clock::time_point factored = Clock::now();
    const double cpuFactored = ProcessSeconds();
    const SparseSolveResult result = system.Solve(in, out, 7, 2);
    const Clock::time_point end = Clock::now();
    v[key + "cpu_setup"] = cpuFactored - cpuStart;
    v[key + "cpu_solve"] = ProcessSeconds() - cpuFactored;
    v[key + "setup"] = Seconds(start, factored);
    v[key + "solve"] = Seconds(factored, end);
    v[key + "steps"] = result.Iterations;
    v[key + "residual"] = result.Residual;
    v[key + "shift"] = system.GetPreconditionerShift();
  }
  PrintValues(v);
  return 0;
}

struct Case
{
  std::string Name;
  std::string File;
  std::string Radius;
  double FileMegabytes = 0.0;
};

std::string Format(const char* format, double value)
{
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// One Pravik run as a process with the given solver option ("" for none): wall seconds and
// peak memory, or a failed result.
ChildResult RunPravik(const std::string& self, const std::string& solver, const std::string& file,
  const std::string& radius)
{
  std::vector<std::string> args = { self, "--measure", PRAVIK_EXECUTABLE };
  if (!solver.empty())
  {
    args.insert(args.end(), { "--solver", solver });
  }
  args.insert(args.end(), { file, radius });
  ChildResult r = RunChild(args, true);
  r.Ok = r.Ok && r.Result.count("exit") && r.Result.at("exit") == 0.0;
  if (r.Ok)
  {
    r.Wall = r.Result.at("wall");
    r.Cpu = r.Result.at("cpu");
    r.PeakMegabytes = r.Result.at("peak");
  }
  return r;
}

// The solver choice on even and uneven sets: Pravik as a process with each method forced and
// with its own choice (no option), CHOLMOD on the same matrix where it is run, and the
// targets' rows.
int RunChoiceTable(
  const std::string& self, const std::string& dir, int maxLandmarks, int cholmodMax)
{
  struct ChoiceCase
  {
    std::string Name;
    std::string File;
    std::string Radius;
    int N = 0;
  };
  std::vector<ChoiceCase> cases;
  auto add = [&](const std::string& name, const std::vector<Landmark>& landmarks, double radius)
  {
    if (static_cast<int>(landmarks.size()) > maxLandmarks)
    {
      return;
    }
    ChoiceCase c;
    c.Name = name;
    c.File = dir + "/choice" + std::to_string(cases.size()) + ".dat";
    c.N = static_cast<int>(landmarks.size());
    WriteLandmarkFile(c.File, landmarks);
    c.Radius = Format("%.9g", static_cast<float>(radius));
    cases.push_back(c);
  };
  auto addKind = [&](const std::string& kind, int n, double neighbours, const std::string& name)
  {
    if (n <= maxLandmarks)
    {
      double radius = 0.0;
      const std::vector<Landmark> set = BenchSet(kind, n, neighbours, radius);
      add(name, set, radius);
    }
  };
  addKind("even", 10000, 30, "sphere 10k even");
  addKind("even", 100000, 30, "sphere 100k even");
  addKind("random", 100000, 30, "sphere 100k random");
  addKind("pairs", 100000, 30, "sphere 100k pairs");
  addKind("graded", 100000, 30, "graded mesh 100k");
  addKind("even", 20000, 300, "20k even, 300 nbrs");
  addKind("random", 20000, 300, "20k random, 300 nbrs");
  addKind("random", 1000000, 30, "sphere 1M random");
  const std::vector<Landmark> leg =
    LegSurfaceLandmarks(std::string(QUORVEL_SOURCE_DIR) + "/data/leg.vtk");
  if (!leg.empty())
  {
    add("leg vertices", leg, RadiusForNeighbours(leg, 30.0));
  }
  {
    ChoiceCase c;
    c.Name = "leg.dat";
    c.File = std::string(QUORVEL_SOURCE_DIR) + "/data/leg.dat";
    c.Radius = "0.25";
    c.N = 755;
    // Pravik writes its output beside the input: a copy in the scratch folder.
    const std::string copy = dir + "/leg.dat";
    std::ifstream from(c.File, std::ios::binary);
    std::ofstream to(copy, std::ios::binary);
    to << from.rdbuf();
    c.File = copy;
    cases.push_back(c);
  }
  malloc_trim(0);

  double load[3] = { 0.0, 0.0, 0.0 };
  if (getloadavg(load, 3) < 0)
  {
    load[0] = -1.0;
  }
  std::printf("\nSolver choice on even and uneven sets: the whole Pravik run as a process, "
              "wall seconds (load average %.2f %.2f %.2f at the start), with --solver envelope, "
              "--solver sparse and without option (auto); the ratio is auto against the faster "
              "forced method; CHOLMOD: analysis + factor + 7 solves (wall) where it is run\n",
    load[0], load[1], load[2]);
  std::printf("%-22s %8s %10s %10s %10s %7s %10s %10s   %s\n", "set", "N", "envelope", "sparse",
    "auto", "ratio", "auto MB", "CHOLMOD", "processor s: envelope sparse auto");
  struct Row
  {
    double Envelope = -1.0;
    double Sparse = -1.0;
    double Auto = -1.0;
    double AutoMegabytes = 0.0;
    double Cholmod = -1.0;
    // Processor seconds of all threads: on a shared machine the wall seconds say little.
    double EnvelopeCpu = -1.0;
    double SparseCpu = -1.0;
    double AutoCpu = -1.0;
  };
  std::map<std::string, Row> rows;
  for (const ChoiceCase& c : cases)
  {
    Row row;
    // A million landmarks have an envelope beyond the solver's bound: both options solve
    // them sparse, so only the choice is run.
    const bool forced = c.N < 1000000;
    if (forced)
    {
      const ChildResult envelope = RunPravik(self, "envelope", c.File, c.Radius);
      const ChildResult sparse = RunPravik(self, "sparse", c.File, c.Radius);
      row.Envelope = envelope.Ok ? envelope.Wall : -1.0;
      row.Sparse = sparse.Ok ? sparse.Wall : -1.0;
      row.EnvelopeCpu = envelope.Ok ? envelope.Cpu : -1.0;
      row.SparseCpu = sparse.Ok ? sparse.Cpu : -1.0;
    }
    const ChildResult chosen = RunPravik(self, "", c.File, c.Radius);
    row.Auto = chosen.Ok ? chosen.Wall : -1.0;
    row.AutoCpu = chosen.Ok ? chosen.Cpu : -1.0;
    row.AutoMegabytes = chosen.PeakMegabytes;
#ifdef QUORVEL_CHOLMOD_BENCH
    if (c.N <= cholmodMax && c.N >= 100000)
    {
      const ChildResult r =
        RunChild({ QUORVEL_CHOLMOD_BENCH, "--cholmod", c.File, c.Radius }, true);
      if (r.Ok)
      {
        row.Cholmod =
          r.Result.at("time_analyze") + r.Result.at("time_factorize") + r.Result.at("time_solve");
      }
    }
#else
    (void)cholmodMax;
#endif
    const double best =
      row.Envelope > 0.0 && row.Sparse > 0.0 ? std::min(row.Envelope, row.Sparse) : -1.0;
    std::printf("%-22s %8d %10.3f %10.3f %10.3f %7.2f %10.1f %10.3f   %.3f %.3f %.3f\n",
      c.Name.c_str(), c.N, row.Envelope, row.Sparse, row.Auto,
      best > 0.0 && row.Auto > 0.0 ? row.Auto / best : -1.0, row.AutoMegabytes, row.Cholmod,
      row.EnvelopeCpu, row.SparseCpu, row.AutoCpu);
    rows[c.Name] = row;
  }

  std::printf("\nTargets (wall seconds of the whole Pravik run, from the table above)\n");
  auto verdict = [](bool met) { return met ? "met" : "NOT met"; };
  for (const char* name : { "sphere 100k even", "sphere 100k random" })
  {
    if (rows.count(name))
    {
      const Row& r = rows[name];
      std::printf("%-22s auto %.3f s against CHOLMOD %.3f s: %s\n", name, r.Auto, r.Cholmod,
        r.Cholmod > 0.0 ? verdict(r.Auto > 0.0 && r.Auto < r.Cholmod) : "CHOLMOD not run");
    }
  }
  if (rows.count("sphere 1M random"))
  {
    const Row& r = rows["sphere 1M random"];
    std::printf("%-22s auto %.3f s, %.0f MB (target < 20 s, < 2048 MB): %s\n", "sphere 1M random",
      r.Auto, r.AutoMegabytes, verdict(r.Auto > 0.0 && r.Auto < 20.0 && r.AutoMegabytes < 2048.0));
  }
  const struct
  {
    const char* Name;
    double Today;
  } small[] = { { "sphere 10k even", 0.15 }, { "leg.dat", 0.012 } };
  for (const auto& s : small)
  {
    if (rows.count(s.Name))
    {
      const Row& r = rows[s.Name];
      std::printf("%-22s auto %.3f s (first versions: %.3f s on a quiet machine): %s\n", s.Name,
        r.Auto, s.Today, verdict(r.Auto > 0.0 && r.Auto <= s.Today));
    }
  }
  double worst = 0.0;
  for (const auto& kv : rows)
  {
    const Row& r = kv.second;
    if (r.Envelope > 0.0 && r.Sparse > 0.0 && r.Auto > 0.0)
    {
      worst = std::max(worst, r.Auto / std::min(r.Envelope, r.Sparse));
    }
  }
  for (const char* name : { "20k even, 300 nbrs", "20k random, 300 nbrs" })
  {
    if (rows.count(name))
    {
      const Row& r = rows[name];
      const double ratio = r.Auto / std::min(r.Envelope, r.Sparse);
      std::printf("%-22s auto/faster %.2f (target <= 1.2): %s\n", name, ratio,
        verdict(r.Auto > 0.0 && ratio <= 1.2));
    }
  }
  std::printf("%-22s largest auto/faster over every set: %.2f (target <= 1.2): %s\n", "all sets",
    worst, verdict(worst > 0.0 && worst <= 1.2));
  double worstCpu = 0.0;
  for (const auto& kv : rows)
  {
    const Row& r = kv.second;
    if (r.EnvelopeCpu > 0.0 && r.SparseCpu > 0.0 && r.AutoCpu > 0.0)
    {
      worstCpu = std::max(worstCpu, r.AutoCpu / std::min(r.EnvelopeCpu, r.SparseCpu));
    }
  }
  std::printf("%-22s the same in processor seconds: %.2f\n", "all sets", worstCpu);
  return 0;
}

int RunTables(const std::string& self, int maxLandmarks, double vtkSeconds, int cholmodMax)
{
  char dir[] = "/tmp/fitting-bench-XXXXXX";
  if (!mkdtemp(dir))
  {
    return 1;
  }
  std::vector<Case> cases;
  auto addCase = [&](const std::string& name, const std::vector<Landmark>& landmarks, double radius)
  {
    Case c;
    c.Name = name;
    c.File = std::string(dir) + "/" + std::to_string(cases.size()) + ".dat";
    WriteLandmarkFile(c.File, landmarks);
    c.Radius = Format("%.9g", static_cast<float>(radius));
    struct stat info;
    c.FileMegabytes = ::stat(c.File.c_str(), &info) == 0 ? info.st_size / 1048576.0 : 0.0;
    cases.push_back(c);
  };
  for (int n : { 1000, 10000, 100000, 1000000 })
  {
    if (n <= maxLandmarks)
    {
      addCase(
        "sphere " + std::to_string(n), SphereLandmarks(n), SphereRadiusForNeighbours(n, 30.0));
    }
  }
  const std::string legModel = std::string(QUORVEL_SOURCE_DIR) + "/data/leg.vtk";
  const std::vector<Landmark> leg = LegSurfaceLandmarks(legModel);
  if (!leg.empty() && static_cast<int>(leg.size()) <= maxLandmarks)
  {
    addCase("leg surface", leg, RadiusForNeighbours(leg, 30.0));
  }
  {
    Case c;
    c.Name = "leg.dat";
    c.File = std::string(dir) + "/leg.dat";
    std::ifstream from(std::string(QUORVEL_SOURCE_DIR) + "/data/leg.dat", std::ios::binary);
    std::ofstream to(c.File, std::ios::binary);
    to << from.rdbuf();
    c.Radius = "0.25";
    struct stat info;
    c.FileMegabytes = ::stat(c.File.c_str(), &info) == 0 ? info.st_size / 1048576.0 : 0.0;
    to.close();
    cases.push_back(c);
  }

  // The generated sets are written: give their memory back, so that the children (spawned
  // from this process) do not start with its resident set as their peak.
  malloc_trim(0);

  std::printf("Pravik stages (processor seconds of all threads, in process, one run each; "
              "Gflop/s of the factorisation counts 2 per multiply-add of its row solves; "
              "solve GB/s: the envelope read 4 times by the 7 solves, which go in a group of 4 and one of "
              "3, each group reading it forwards and backwards; \"sparse\": the "
              "conjugate gradient solve of a kernel matrix whose envelope exceeds its bound)\n");
  std::printf("%-12s %7s %6s %5s %11s %6s %6s %6s %6s %6s %6s %6s %6s %8s %9s\n", "set", "N",
    "nbrs", "Max", "envelope", "read", "order", "assem", "factor", "solves", "sparse", "write",
    "total", "Gflop/s", "solve GB/s");
  std::vector<Values> stages;
  for (const Case& c : cases)
  {
    const ChildResult r = RunChild({ self, "--stages", c.File, c.Radius }, true);
    stages.push_back(r.Result);
    const Values& v = r.Result;
    if (!r.Ok)
    {
      std::printf("%-12s failed\n", c.Name.c_str());
      continue;
    }
    auto t = [&](const char* stage)
    {
      const auto found = v.find(std::string("cpu_") + stage);
      return found == v.end() ? 0.0 : found->second;
    };
    const double total = t("reading") + t("ordering") + t("assembly") + t("factorisation") +
      t("solves") + t("sparse") + t("writing");
    const double factor = t("factorisation");
    std::printf("%-12s %7.0f %6.1f %5.0f %8.1f MB %6.3f %6.3f %6.3f %6.3f %6.3f %6.3f %6.3f "
                "%6.3f %8.2f %9.2f\n",
      c.Name.c_str(), v.at("n"), v.at("neighbours"), v.at("max"), v.at("envelope") * 4 / 1048576.0,
      t("reading"), t("ordering"), t("assembly"), factor, t("solves"), t("sparse"), t("writing"),
      total, factor > 0.0 ? 2.0 * v.at("factor_madds") / factor * 1e-9 : 0.0,
      t("solves") > 0.0 ? 2.0 * 2.0 * v.at("envelope") * 4.0 / t("solves") * 1e-9 : 0.0);
  }

  std::printf("\nThreads of the envelope factorisation (the same factor, bit for bit, on any "
              "number): processor and wall seconds of the factorisation on 1 and 2 threads\n");
  std::printf("%-12s %7s %10s %10s %10s %10s %8s\n", "set", "N", "cpu 1", "wall 1", "cpu 2",
    "wall 2", "speed-up");
  for (size_t k = 0; k < cases.size(); ++k)
  {
    const Case& c = cases[k];
    const Values& v = stages[k];
    if (!v.count("envelope") || v.at("envelope") < (1 << 20))
    {
      continue; // one thread below a million entries, or no envelope at all
    }
    double cpu[2] = { 0.0, 0.0 };
    double wall[2] = { 0.0, 0.0 };
    for (int threads = 1; threads <= 2; ++threads)
    {
      const ChildResult r =
        RunChild({ self, "--stages", c.File, c.Radius, std::to_string(threads) }, true);
      if (r.Ok)
      {
        cpu[threads - 1] = r.Result.at("cpu_factorisation");
        wall[threads - 1] = r.Result.at("time_factorisation");
      }
    }
    std::printf("%-12s %7.0f %10.3f %10.3f %10.3f %10.3f %8.2f\n", c.Name.c_str(), v.at("n"),
      cpu[0], wall[0], cpu[1], wall[1], wall[1] > 0.0 ? wall[0] / wall[1] : 0.0);
  }

  std::printf("\nThe same kernel systems by the sparse solve (conjugate gradients) instead of "
              "the envelope: processor seconds of assembly + factorisation + solves against "
              "assembly + sparse solve\n");
  std::printf("%-12s %7s %10s %10s %8s\n", "set", "N", "envelope", "sparse", "ratio");
  for (size_t k = 0; k < cases.size(); ++k)
  {
    const Case& c = cases[k];
    const Values& v = stages[k];
    if (!v.count("cpu_factorisation"))
    {
      continue; // solved sparse already
    }
    const ChildResult r = RunChild({ self, "--stages", c.File, c.Radius, "0", "1" }, true);
    if (!r.Ok || !r.Result.count("cpu_sparse"))
    {
      std::printf("%-12s failed\n", c.Name.c_str());
      continue;
    }
    const double envelope = v.at("cpu_assembly") + v.at("cpu_factorisation") + v.at("cpu_solves");
    const double sparse = r.Result.at("cpu_assembly") + r.Result.at("cpu_sparse");
    std::printf("%-12s %7.0f %10.3f %10.3f %8.2f\n", c.Name.c_str(), v.at("n"), envelope, sparse,
      envelope / sparse);
  }

  std::printf("\nPravik as a process, and peak memory (MB; \"at start\": the resident set of a "
              "process with the libraries loaded, before reading)\n");
  std::printf("%-12s %7s %9s %9s %10s %10s %10s %10s %13s %13s\n", "set", "N", "wall (s)",
    "cpu (s)", "peak RSS", "at start", "envelope", "inputs", "peak/(env+in)",
    "(peak-start)/(env+in)");
  std::vector<double> runs;
  for (size_t k = 0; k < cases.size(); ++k)
  {
    const Case& c = cases[k];
    ChildResult r = RunChild({ self, "--measure", PRAVIK_EXECUTABLE, c.File, c.Radius }, true);
    r.Ok = r.Ok && r.Result.count("exit") && r.Result.at("exit") == 0.0;
    if (r.Ok)
    {
      r.Wall = r.Result.at("wall");
      r.Cpu = r.Result.at("cpu");
      r.PeakMegabytes = r.Result.at("peak");
    }
    runs.push_back(r.Ok ? r.Cpu : -1.0);
    const Values& v = stages[k];
    const double envelope = v.count("envelope") ? v.at("envelope") * 4 / 1048576.0 : 0.0;
    const double start = v.count("rss_start") ? v.at("rss_start") : 0.0;
    std::printf("%-12s %7.0f %9.3f %9.3f %10.1f %10.1f %10.1f %10.1f %13.2f %13.2f\n",
      c.Name.c_str(), v.count("n") ? v.at("n") : 0.0, r.Wall, r.Cpu, r.PeakMegabytes, start,
      envelope, c.FileMegabytes, r.PeakMegabytes / (envelope + c.FileMegabytes),
      (r.PeakMegabytes - start) / (envelope + c.FileMegabytes));
  }

#ifdef QUORVEL_CHOLMOD_BENCH
  // CHOLMOD runs in a program of its own: this one does not load CHOLMOD and its BLAS, whose
  // memory would count in the peak of every child it starts (a child starts with its
  // parent's resident set).
  std::vector<ChildResult> cholmod(cases.size());
  bool openBlas = false;
  for (size_t k = 0; k < cases.size(); ++k)
  {
    const double n = stages[k].count("n") ? stages[k].at("n") : 0.0;
    if (n <= cholmodMax)
    {
      cholmod[k] = RunChild({ QUORVEL_CHOLMOD_BENCH, "--cholmod", cases[k].File, cases[k].Radius }, true);
      openBlas = openBlas || (cholmod[k].Ok && cholmod[k].Result.count("openblas") &&
                               cholmod[k].Result.at("openblas") > 0.0);
    }
  }
  std::printf(
    "\nCHOLMOD (supernodal, its own fill-reducing ordering, double precision; BLAS: %s) on the "
    "same kernel matrix, analysis + factor + 7 solves, against Pravik's factorisation + solves "
    "(with the sparse solve, its conjugate gradients); wall seconds, both on every core, and "
    "processor seconds\n",
    openBlas ? "OpenBLAS" : "Debian's reference BLAS (install libopenblas0-pthread)");
  std::printf("%-12s %7s %9s %9s %9s %9s %11s %9s %8s %11s %11s\n", "set", "N", "analyze",
    "factor", "7 solves", "total", "nnz(L) MB", "Pravik", "ratio", "CHOLMOD cpu", "Pravik cpu");
  for (size_t k = 0; k < cases.size(); ++k)
  {
    const Case& c = cases[k];
    const double n = stages[k].count("n") ? stages[k].at("n") : 0.0;
    if (n > cholmodMax)
    {
      std::printf("%-12s %7.0f skipped (over %d landmarks: --cholmod-max N)\n", c.Name.c_str(), n,
        cholmodMax);
      continue;
    }
    const ChildResult& r = cholmod[k];
    if (!r.Ok)
    {
      std::printf("%-12s failed\n", c.Name.c_str());
      continue;
    }
    const Values& v = r.Result;
    const double total = v.at("time_analyze") + v.at("time_factorize") + v.at("time_solve");
    const double totalCpu = v.at("cpu_analyze") + v.at("cpu_factorize") + v.at("cpu_solve");
    auto ourStage = [&](const char* key) { return stages[k].count(key) ? stages[k].at(key) : 0.0; };
    const double ours =
      ourStage("time_factorisation") + ourStage("time_solves") + ourStage("time_sparse");
    const double oursCpu =
      ourStage("cpu_factorisation") + ourStage("cpu_solves") + ourStage("cpu_sparse");
    std::printf("%-12s %7.0f %9.3f %9.3f %9.3f %9.3f %11.1f %9.3f %8.2f %11.3f %11.3f\n",
      c.Name.c_str(), v.at("n"), v.at("time_analyze"), v.at("time_factorize"),
      v.at("time_solve"), total, v.at("lnz") * 8 / 1048576.0, ours, total / ours, totalCpu,
      oursCpu);
  }
#else
  std::printf("\nCHOLMOD: not found when this benchmark was built (libsuitesparse-dev)\n");
#endif

  std::printf("\nvtkThinPlateSplineTransform (dense fit, forced by Update) against the whole "
              "Pravik run (processor seconds); sizes that would take over %.0f s are skipped\n",
    vtkSeconds);
  std::printf("%-12s %7s %10s %10s %9s\n", "set", "N", "VTK (s)", "Pravik (s)", "ratio");
  double secondsPerCube = 0.0; // from the last VTK run: the fit grows as N^3
  for (size_t k = 0; k < cases.size(); ++k)
  {
    const Case& c = cases[k];
    const double n = stages[k].count("n") ? stages[k].at("n") : 0.0;
    const double predicted = secondsPerCube * n * n * n;
    if (secondsPerCube > 0.0 && predicted > vtkSeconds)
    {
      std::printf("%-12s %7.0f %10s %10.3f %9s  (predicted %.0f s from N^3)\n", c.Name.c_str(), n,
        "skipped", runs[k], "-", predicted);
      continue;
    }
    if (secondsPerCube == 0.0 && n > 2000)
    {
      std::printf("%-12s %7.0f %10s %10.3f %9s\n", c.Name.c_str(), n, "skipped", runs[k], "-");
      continue;
    }
    const ChildResult r = RunChild({ self, "--vtk", c.File }, true);
    if (!r.Ok)
    {
      std::printf("%-12s failed\n", c.Name.c_str());
      continue;
    }
    const double seconds = r.Result.at("cpu_fit");
    secondsPerCube = seconds / (n * n * n);
    std::printf(
      "%-12s %7.0f %10.3f %10.3f %9.0f\n", c.Name.c_str(), n, seconds, runs[k], seconds / runs[k]);
  }
  RunChoiceTable(self, dir, maxLandmarks, cholmodMax);
  std::system(("rm -rf '" + std::string(dir) + "'").c_str());
  return 0;
}
}

int main(int argc, char* argv[])
{
  if (argc >= 4 && argc <= 7 && std::strcmp(argv[1], "--stages") == 0)
  {
    FitSolver method = FitSolver::Envelope;
    if (argc >= 7 && !ParseFitSolver(argv[6], method))
    {
      return 1;
    }
    return RunStages(argv[2], static_cast<float>(std::strtod(argv[3], nullptr)),
      argc >= 5 ? std::atoi(argv[4]) : 0, argc >= 6 ? std::atoll(argv[5]) : 0, method);
  }
#ifdef QUORVEL_HAVE_CHOLMOD
  if (argc == 4 && std::strcmp(argv[1], "--cholmod") == 0)
  {
    return RunCholmod(argv[2], static_cast<float>(std::strtod(argv[3], nullptr)));
  }
#endif
  if (argc == 3 && std::strcmp(argv[1], "--vtk") == 0)
  {
    return RunVtk(argv[2]);
  }
  if (argc >= 3 && std::strcmp(argv[1], "--measure") == 0)
  {
    return MeasureProgram(argv + 2);
  }
  if (argc == 4 && std::strcmp(argv[1], "--write-sphere") == 0)
  {
    // One of the tables' sphere sets as a file, for timing a stage on its own.
    const int n = std::atoi(argv[2]);
    if (n <= 0 || !WriteLandmarkFile(argv[3], SphereLandmarks(n)))
    {
      return 1;
    }
    std::printf("%.9g\n", static_cast<float>(SphereRadiusForNeighbours(n, 30.0)));
    return 0;
  }
  if ((argc == 5 || argc == 6) && std::strcmp(argv[1], "--write-set") == 0)
  {
    const int n = std::atoi(argv[3]);
    const double neighbours = argc == 6 ? std::atof(argv[5]) : 30.0;
    double radius = 0.0;
    if (n <= 0 || !(neighbours > 0.0) ||
      !WriteLandmarkFile(argv[4], BenchSet(argv[2], n, neighbours, radius)))
    {
      return 1;
    }
    std::printf("%.9g\n", static_cast<float>(radius));
    return 0;
  }
  if (argc == 4 && std::strcmp(argv[1], "--sparse-compare") == 0)
  {
    return CompareSparse(argv[2], static_cast<float>(std::strtod(argv[3], nullptr)));
  }
  int maxLandmarks = 1000000;
  int cholmodMax = 100000;
  double vtkSeconds = 60.0;
  bool choiceOnly = false;
  for (int k = 1; k < argc; ++k)
  {
    choiceOnly = choiceOnly || std::strcmp(argv[k], "--choice-only") == 0;
  }
  for (int k = 1 + (choiceOnly && argc > 1 && std::strcmp(argv[1], "--choice-only") == 0);
       k + 1 < argc; k += 2)
  {
    if (std::strcmp(argv[k], "--max-landmarks") == 0)
    {
      maxLandmarks = std::atoi(argv[k + 1]);
    }
    else if (std::strcmp(argv[k], "--vtk-seconds") == 0)
    {
      vtkSeconds = std::atof(argv[k + 1]);
    }
    else if (std::strcmp(argv[k], "--cholmod-max") == 0)
    {
      cholmodMax = std::atoi(argv[k + 1]);
    }
  }
  char self[4096];
  const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0)
  {
    return 1;
  }
  self[length] = '\0';
  if (choiceOnly)
  {
    char dir[] = "/tmp/fitting-choice-XXXXXX";
    if (!mkdtemp(dir))
    {
      return 1;
    }
    const int status = RunChoiceTable(self, dir, maxLandmarks, cholmodMax);
    std::system(("rm -rf '" + std::string(dir) + "'").c_str());
    return status;
  }
  return RunTables(self, maxLandmarks, vtkSeconds, cholmodMax);
}

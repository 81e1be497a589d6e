// Times vtkShapeTransform on a model of a million points and ten thousand landmarks: the
// first evaluation (neighbour searches and kernel sums, on all cores and on one), the cached
// animation step against a memory-bound loop of the same size, and the same warp by VTK's
// vtkThinPlateSplineTransform fitted to the same landmarks (extrapolated from smaller runs).
//
//   bench_shape_transform [model points] [landmarks]
#include "vtkShapeTransform.h"

#include "SolverInput.h"
#include "vtkDatReader.h"
#include "vtkMatrixSolver.h"

#include "vtkFloatArray.h"
#include "vtkNew.h"
#include "vtkPointLocator.h"
#include "vtkPoints.h"
#include "vtkThinPlateSplineTransform.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{
using Clock = std::chrono::steady_clock;

template <class F>
double Seconds(F&& f)
{
  const auto start = Clock::now();
  f();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// CPU time of all the process's threads: tells a busy machine from idle threads.
double CpuSeconds()
{
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
    1e-6 * (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

template <class F>
double MedianSeconds(int runs, F&& f)
{
  std::vector<double> t;
  for (int i = 0; i < runs; ++i)
  {
    t.push_back(Seconds(f));
  }
  std::sort(t.begin(), t.end());
  return t[t.size() / 2];
}

// Evenly spread points on the unit sphere (a spiral): the model surface.
vtkSmartPointer<vtkPoints> SpherePoints(vtkIdType n)
{
  auto points = vtkSmartPointer<vtkPoints>::New();
  points->SetDataTypeToFloat();
  points->SetNumberOfPoints(n);
  const double golden = M_PI * (3.0 - std::sqrt(5.0));
  for (vtkIdType i = 0; i < n; ++i)
  {
    const double z = 1.0 - (2.0 * i + 1.0) / n;
    const double r = std::sqrt(1.0 - z * z);
    points->SetPoint(i, r * std::cos(golden * i), r * std::sin(golden * i), z);
  }
  return points;
}

// Random landmarks on the sphere and targets moved by a smooth field.
void Landmarks(int n, vtkPoints* sources, vtkPoints* targets)
{
  std::mt19937 rng(7);
  std::normal_distribution<double> g;
  for (int i = 0; i < n; ++i)
  {
    double p[3] = { g(rng), g(rng), g(rng) };
    const double len = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
    for (double& c : p)
    {
      c /= len;
    }
    sources->InsertNextPoint(p);
    targets->InsertNextPoint(p[0] + 0.05 * std::sin(3 * p[1]), p[1] + 0.04 * std::cos(2 * p[2]),
      p[2] + 0.03 * std::sin(4 * p[0]));
  }
}

vtkSmartPointer<vtkPoints> Subset(vtkPoints* points, vtkIdType n)
{
  auto sub = vtkSmartPointer<vtkPoints>::New();
  sub->SetDataTypeToFloat();
  const vtkIdType step = std::max<vtkIdType>(1, points->GetNumberOfPoints() / n);
  for (vtkIdType i = 0; i < n; ++i)
  {
    sub->InsertNextPoint(points->GetPoint((i * step) % points->GetNumberOfPoints()));
  }
  return sub;
}
}

int main(int argc, char* argv[])
{
  std::setvbuf(stdout, nullptr, _IOLBF, 0); // progress shows while the peer runs
  const vtkIdType modelPoints = argc > 1 ? std::atol(argv[1]) : 1000000;
  const int landmarkCount = argc > 2 ? std::atoi(argv[2]) : 10000;
  // About 30 landmarks within reach of a point of the sphere.
  const float radius = static_cast<float>(std::sqrt(30.0 * 4.0 / landmarkCount));

  std::printf("model: %lld points on a sphere; landmarks: %d, radius %.4f; cores: %u\n",
    static_cast<long long>(modelPoints), landmarkCount, radius,
    std::thread::hardware_concurrency());

  auto model = SpherePoints(modelPoints);
  vtkNew<vtkPoints> sources, targets;
  Landmarks(landmarkCount, sources, targets);

  // Fit the spline as the fitting tool does: landmark file, reader, solver. The transform
  // then uses the reader's positions, ordering and locator.
  const std::string datFile = (std::filesystem::temp_directory_path() /
    ("bench_shape_transform_" + std::to_string(getpid()) + ".dat"))
                                .string();
  {
    std::FILE* f = std::fopen(datFile.c_str(), "w");
    if (!f)
    {
      std::printf("cannot write %s\n", datFile.c_str());
      return 1;
    }
    for (int i = 0; i < landmarkCount; ++i)
    {
      double p[3], q[3];
      sources->GetPoint(i, p);
      targets->GetPoint(i, q);
      std::fprintf(f, "%.9g %.9g %.9g %.9g %.9g %.9g\n", p[0], p[1], p[2], q[0], q[1], q[2]);
    }
    std::fclose(f);
  }
  vtkNew<vtkDatReader> reader;
  vtkNew<vtkMatrixSolver> solver;
  const double fitTime = Seconds(
    [&]
    {
      reader->FileName = datFile.c_str();
      reader->SetRadius(radius);
      if (reader->Read() != 0)
      {
        return;
      }
      SetSolverInput(solver, reader);
      solver->Solve();
    });
  std::remove(datFile.c_str());
  const std::unique_ptr<float[]> cx(solver->GetSplineCoeffX());
  const std::unique_ptr<float[]> cy(solver->GetSplineCoeffY());
  const std::unique_ptr<float[]> cz(solver->GetSplineCoeffZ());
  if (!cx || solver->GetFactorizationFailed())
  {
    std::printf("the fit failed\n");
    return 1;
  }
  std::printf("fit (landmark reader and envelope solver): %.3f s\n", fitTime);
  vtkPoints* fitted = reader->GetPointArray();
  int* unList = reader->GetUnList();
  vtkPointLocator* locator = reader->GetTree();

  vtkNew<vtkShapeTransform> transform;
  transform->SetFactor(0.5f);

  // First evaluation, single-threaded, then on all cores.
  double firstSingle = 0.0, firstAll = 0.0;
  // Each mode twice, alternating; the faster run counts (the machine is shared).
  for (int run = 0; run < 4; ++run)
  {
    const int threads = run % 2 == 0 ? 1 : 0;
    transform->SetNumberOfThreads(threads);
    transform->SetParameters(radius, fitted, cx.get(), cy.get(), cz.get(), unList, locator);
    vtkNew<vtkPoints> out;
    const double cpu0 = CpuSeconds();
    const double t = Seconds([&] { transform->TransformPoints(model, out); });
    const double cpu = CpuSeconds() - cpu0;
    std::printf("  (first evaluation, %s: %.3f s, process CPU time %.3f s)\n",
      threads == 1 ? "1 thread" : "all cores", t, cpu);
    double& best = threads == 1 ? firstSingle : firstAll;
    best = run < 2 ? t : std::min(best, t);
  }
  std::printf("first evaluation, 1 thread:          %9.3f s\n", firstSingle);
  std::printf("first evaluation, all cores:         %9.3f s   (speed-up %.2f)\n", firstAll,
    firstSingle / firstAll);

  // The animation step as the filter runs it: a fresh output array every time.
  float factor = 0.0f;
  const double stepFresh = MedianSeconds(15,
    [&]
    {
      transform->SetFactor(factor += 0.05f);
      vtkNew<vtkPoints> out;
      transform->TransformPoints(model, out);
    });
  // The arithmetic alone, into an output that is already allocated.
  vtkNew<vtkPoints> reused;
  transform->TransformPoints(model, reused);
  const double stepReused = MedianSeconds(15,
    [&]
    {
      transform->SetFactor(factor += 0.05f);
      reused->Reset();
      transform->TransformPoints(model, reused);
    });
  // The machine's own pace for the same traffic: y = x - t * d over three float arrays.
  const size_t m = 3 * static_cast<size_t>(modelPoints);
  std::vector<float> x(m, 1.0f), d(m, 0.5f), y(m, 0.0f);
  const double triad = MedianSeconds(15,
    [&]
    {
      const float t = factor += 0.05f;
      for (size_t j = 0; j < m; ++j)
      {
        y[j] = x[j] - t * d[j];
      }
    });
  // The same on every core: what the memory offers when one core is not the limit.
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const double triadAll = MedianSeconds(15,
    [&]
    {
      const float t = factor += 0.05f;
      std::vector<std::thread> team;
      for (unsigned c = 0; c < cores; ++c)
      {
        team.emplace_back(
          [&, c]
          {
            const size_t end = m * (c + 1) / cores;
            for (size_t j = m * c / cores; j < end; ++j)
            {
              y[j] = x[j] - t * d[j];
            }
          });
      }
      for (auto& member : team)
      {
        member.join();
      }
    });
  const double bytes = 3.0 * m * sizeof(float); // read x and d, write y
  std::printf("cached step, new output points:      %9.3f ms\n", 1e3 * stepFresh);
  std::printf("cached step, output reused:          %9.3f ms   %.2f GB/s\n", 1e3 * stepReused,
    bytes / stepReused / 1e9);
  std::printf("plain float triad, same arrays:      %9.3f ms   %.2f GB/s  (cached step at "
              "%.0f%% of it)\n",
    1e3 * triad, bytes / triad / 1e9, 100.0 * triad / stepReused);
  std::printf("plain float triad, all cores:        %9.3f ms   %.2f GB/s  (cached step at "
              "%.0f%% of it)\n",
    1e3 * triadAll, bytes / triadAll / 1e9, 100.0 * triadAll / stepReused);

  // The thin-plate spline: a dense fit over all landmarks and a global kernel. Fit and
  // evaluation are timed on fewer landmarks and model points and scaled: the fit as the cube
  // of the landmark count (its iterative eigen-solver grows faster, so this flatters it),
  // the evaluation as landmarks times points.
  const int tpsLandmarks[] = { 250, 500, 1000 };
  const vtkIdType tpsPoints = std::min<vtkIdType>(modelPoints, 20000);
  auto tpsModel = Subset(model, tpsPoints);
  double fitAt = 0.0, evalPerPair = 0.0;
  int largest = 0;
  constexpr double fitBudget = 60.0; // seconds for one thin-plate fit, predicted by cube law
  for (int nl : tpsLandmarks)
  {
    const double predicted = largest > 0 ? fitAt * std::pow(double(nl) / largest, 3.0) : 0.0;
    if (nl > landmarkCount || predicted > fitBudget)
    {
      break;
    }
    vtkNew<vtkPoints> s, t;
    for (int i = 0; i < nl; ++i)
    {
      s->InsertNextPoint(sources->GetPoint(i));
      t->InsertNextPoint(targets->GetPoint(i));
    }
    vtkNew<vtkThinPlateSplineTransform> tps;
    tps->SetBasisToR();
    tps->SetSourceLandmarks(s);
    tps->SetTargetLandmarks(t);
    const double fit = Seconds([&] { tps->Update(); });
    vtkNew<vtkPoints> out;
    const double eval = Seconds([&] { tps->TransformPoints(tpsModel, out); });
    std::printf("thin-plate spline, %5d landmarks: fit %8.3f s, %lld points %8.3f s (measured)\n",
      nl, fit, static_cast<long long>(tpsPoints), eval);
    if (largest > 0)
    {
      std::printf("  fit time grows as landmarks^%.2f here\n",
        std::log(fit / fitAt) / std::log(static_cast<double>(nl) / largest));
    }
    fitAt = fit;
    evalPerPair = eval / (static_cast<double>(nl) * tpsPoints);
    largest = nl;
  }
  if (largest > 0)
  {
    const double scale = static_cast<double>(landmarkCount) / largest;
    const double tpsFit = fitAt * scale * scale * scale;
    const double tpsEval = evalPerPair * landmarkCount * static_cast<double>(modelPoints);
    std::printf("thin-plate spline, %5d landmarks, %lld points: fit %.1f s + evaluation %.1f s "
                "(extrapolated from %d landmarks, %lld points)\n",
      landmarkCount, static_cast<long long>(modelPoints), tpsFit, tpsEval, largest,
      static_cast<long long>(tpsPoints));
    std::printf(
      "ratio thin-plate evaluation / first evaluation (all cores): %.0f\n", tpsEval / firstAll);
    std::printf("ratio thin-plate fit + evaluation / first evaluation (all cores): %.0f\n",
      (tpsFit + tpsEval) / firstAll);
    std::printf(
      "ratio thin-plate evaluation / cached step (new output): %.0f\n", tpsEval / stepFresh);
  }
  std::printf(
    "ratio first evaluation (all cores) / cached step (new output): %.0f\n", firstAll / stepFresh);
  return 0;
}

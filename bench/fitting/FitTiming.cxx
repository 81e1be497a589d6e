// Times the fitting tool on landmarks spread over a sphere (and, when given, on a landmark
// file): the phases in process, and the whole Pravik run as a process.
//
//   fitting_timing [landmarks=10000] [neighbours=30] [file.dat radius]

#include "LandmarkGenerator.h"
#include "PravikRun.h"
#include "SolverInput.h"
#include "TransformFile.h"
#include "vtkDatReader.h"
#include "vtkMatrixSolver.h"

#include <vtkIdList.h>
#include <vtkNew.h>
#include <vtkPointLocator.h>
#include <vtkPoints.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace
{
using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::time_point from, Clock::time_point to)
{
  return std::chrono::duration<double, std::milli>(to - from).count();
}

struct Phases
{
  double Read = 0.0; // reading, locator and ordering
  double Solve = 0.0;
  double Write = 0.0;
  int Max = 0;
  double MeanNeighbours = 0.0;
};

Phases FitInProcess(const std::string& path, float radius)
{
  Phases phases;
  const auto t0 = Clock::now();
  vtkNew<vtkDatReader> reader;
  reader->FileName = path.c_str();
  reader->SetRadius(radius);
  if (reader->Read() != 0)
  {
    std::exit(1);
  }
  const auto t1 = Clock::now();
  vtkNew<vtkMatrixSolver> solver;
  SetSolverInput(solver, reader);
  solver->Solve();
  const auto t2 = Clock::now();
  const std::unique_ptr<float[]> x(solver->GetSplineCoeffX());
  const std::unique_ptr<float[]> y(solver->GetSplineCoeffY());
  const std::unique_ptr<float[]> z(solver->GetSplineCoeffZ());
  const std::string out = PravikOutputName(path);
  if (WriteTransformCoefficients(out.c_str(), reader->GetRadius(), reader->GetPointArray(), x.get(),
        y.get(), z.get(), reader->GetUnList()) != TransformWriteStatus::Ok)
  {
    std::exit(1);
  }
  const auto t3 = Clock::now();
  phases.Read = Milliseconds(t0, t1);
  phases.Solve = Milliseconds(t1, t2);
  phases.Write = Milliseconds(t2, t3);
  phases.Max = reader->GetMax();

  // Neighbours within the radius, from the ordering's own locator.
  vtkPoints* points = reader->GetPointArray();
  const vtkIdType n = points->GetNumberOfPoints();
  vtkNew<vtkIdList> ids;
  double total = 0.0;
  for (vtkIdType i = 0; i < n; ++i)
  {
    double p[3];
    points->GetPoint(i, p);
    reader->GetTree()->FindPointsWithinRadius(radius, p, ids);
    total += static_cast<double>(ids->GetNumberOfIds() - 1);
  }
  phases.MeanNeighbours = n ? total / static_cast<double>(n) : 0.0;
  return phases;
}

double RunProcess(const std::string& path, const std::string& radius)
{
  std::string program = PRAVIK_EXECUTABLE;
  std::vector<char*> argv = { program.data(), const_cast<char*>(path.c_str()),
    const_cast<char*>(radius.c_str()), nullptr };
  const auto t0 = Clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
  {
    return -1.0;
  }
  int status = 0;
  waitpid(pid, &status, 0);
  const auto t1 = Clock::now();
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? Milliseconds(t0, t1) : -1.0;
}

void Report(const char* name, const std::string& path, float radius, const std::string& radiusText)
{
  const int repeats = 5;
  Phases best;
  best.Read = best.Solve = best.Write = 1e300;
  double process = 1e300;
  for (int r = 0; r < repeats; ++r)
  {
    const Phases p = FitInProcess(path, radius);
    best.Read = std::min(best.Read, p.Read);
    best.Solve = std::min(best.Solve, p.Solve);
    best.Write = std::min(best.Write, p.Write);
    best.Max = p.Max;
    best.MeanNeighbours = p.MeanNeighbours;
    process = std::min(process, RunProcess(path, radiusText));
  }
  std::printf("%s: radius %s, Max %d, %.1f neighbours on average\n", name, radiusText.c_str(),
    best.Max, best.MeanNeighbours);
  std::printf("  in process (best of %d): read+order %.1f ms, solve %.1f ms, write %.1f ms\n",
    repeats, best.Read, best.Solve, best.Write);
  std::printf("  Pravik as a process (best of %d): %.1f ms\n", repeats, process);
}
}

int main(int argc, char* argv[])
{
  const int n = argc > 1 ? std::atoi(argv[1]) : 10000;
  const double neighbours = argc > 2 ? std::atof(argv[2]) : 30.0;

  char dir[] = "/tmp/fitting-timing-XXXXXX";
  if (!mkdtemp(dir))
  {
    return 1;
  }
  const std::string path = std::string(dir) + "/sphere.dat";
  WriteLandmarkFile(path, SphereLandmarks(n));
  const float radius = static_cast<float>(SphereRadiusForNeighbours(n, neighbours));
  char radiusText[32];
  std::snprintf(radiusText, sizeof radiusText, "%.9g", radius);
  Report((std::to_string(n) + " sphere landmarks").c_str(), path, radius, radiusText);

  if (argc > 4)
  {
    const std::string copy = std::string(dir) + "/sample.dat";
    std::system(("cp '" + std::string(argv[3]) + "' '" + copy + "'").c_str());
    Report(argv[3], copy, static_cast<float>(std::strtod(argv[4], nullptr)), argv[4]);
  }
  std::system(("rm -rf '" + std::string(dir) + "'").c_str());
  return 0;
}

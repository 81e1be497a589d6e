// Times the whole pravik-warp run (reading the coefficient file and the model, deforming every
// point on all cores, writing the model) on a tube of a million points with ten thousand
// landmarks, and VTK's vtkThinPlateSplineTransform fitted to the same landmarks and warping the
// same points. The thin-plate spline's dense fit grows as landmarks^3 and its evaluation as
// landmarks x points: it is measured on fewer landmarks and points and extrapolated, and the
// printout says which figures are extrapolated.
//
//   bench_warp [model points=1000000] [landmarks=10000] [format=vtp]
#include "ModelFile.h"
#include "PravikProcess.h"
#include "TempDir.h"

#include <vtkCellArray.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkThinPlateSplineTransform.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace
{
using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start)
{
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A smooth bend of the tube: what the landmarks' targets follow.
void Bend(const double p[3], double q[3])
{
  q[0] = p[0];
  q[1] = p[1] + 0.05 * std::sin(0.6 * p[0]);
  q[2] = p[2] * (1.0 + 0.03 * std::cos(0.4 * p[0]));
}

// The tube of radius 1 along x from 0 to 10: rings x columns points, triangles between them.
vtkSmartPointer<vtkPolyData> Tube(vtkIdType points)
{
  const vtkIdType columns = std::max<vtkIdType>(8, static_cast<vtkIdType>(std::sqrt(points / 3.0)));
  const vtkIdType rings = std::max<vtkIdType>(2, points / columns);
  vtkNew<vtkPoints> p;
  p->SetNumberOfPoints(rings * columns);
  for (vtkIdType r = 0; r < rings; ++r)
  {
    for (vtkIdType c = 0; c < columns; ++c)
    {
      const double a = 2.0 * M_PI * c / columns;
      p->SetPoint(r * columns + c, 10.0 * r / (rings - 1), std::cos(a), std::sin(a));
    }
  }
  vtkNew<vtkCellArray> polys;
  for (vtkIdType r = 0; r + 1 < rings; ++r)
  {
    for (vtkIdType c = 0; c < columns; ++c)
    {
      const vtkIdType a = r * columns + c;
      const vtkIdType b = r * columns + (c + 1) % columns;
      const vtkIdType t1[3] = { a, b, b + columns };
      const vtkIdType t2[3] = { a, b + columns, a + columns };
      polys->InsertNextCell(3, t1);
      polys->InsertNextCell(3, t2);
    }
  }
  auto tube = vtkSmartPointer<vtkPolyData>::New();
  tube->SetPoints(p);
  tube->SetPolys(polys);
  return tube;
}
}

int main(int argc, char** argv)
{
  std::setvbuf(stdout, nullptr, _IOLBF, 0); // each figure as soon as it is measured
  const vtkIdType modelPoints = argc > 1 ? std::atoll(argv[1]) : 1000000;
  const int landmarkCount = argc > 2 ? std::atoi(argv[2]) : 10000;
  const std::string format = argc > 3 ? argv[3] : "vtp";
  const testsupport::TempDir temp("bench-warp-");
  const std::string& dir = temp.Get();
  if (dir.empty())
  {
    std::fprintf(stderr, "bench_warp: cannot make a temporary directory\n");
    return 1;
  }

  auto tube = Tube(modelPoints);
  const std::string model = dir + "/tube." + format;
  std::string reason;
  if (!WriteModelFile(tube, model, reason))
  {
    std::printf("cannot write the model: %s\n", reason.c_str());
    return 1;
  }

  // Landmarks spread over the tube's surface (a golden-angle spiral), each moved by the bend.
  // About 30 neighbours within the radius: area 20 pi, density n / (20 pi).
  const double radius = std::sqrt(30.0 * 20.0 / landmarkCount);
  vtkNew<vtkPoints> sources;
  vtkNew<vtkPoints> targets;
  const std::string dat = dir + "/tube.dat";
  {
    std::FILE* f = std::fopen(dat.c_str(), "w");
    for (int i = 0; i < landmarkCount; ++i)
    {
      const double a = i * 2.399963229728653;
      const double p[3] = { 10.0 * (i + 0.5) / landmarkCount, std::cos(a), std::sin(a) };
      double q[3];
      Bend(p, q);
      sources->InsertNextPoint(p);
      targets->InsertNextPoint(q);
      std::fprintf(f, "%.9g %.9g %.9g %.9g %.9g %.9g\n", p[0], p[1], p[2], q[0], q[1], q[2]);
    }
    std::fclose(f);
  }
  char radiusText[32];
  std::snprintf(radiusText, sizeof(radiusText), "%.6f", radius);
  std::printf("model: tube of %lld points, %lld triangles (.%s); landmarks: %d, radius %s; "
              "cores: %ld\n",
    static_cast<long long>(tube->GetNumberOfPoints()),
    static_cast<long long>(tube->GetNumberOfCells()), format.c_str(), landmarkCount, radiusText,
    ::sysconf(_SC_NPROCESSORS_ONLN));

  auto start = Clock::now();
  if (pravikprocess::RunProgram({ PRAVIK_EXECUTABLE, dat, radiusText }) != 0)
  {
    std::printf("Pravik failed\n");
    return 1;
  }
  const double fit = Since(start);
  std::printf("Pravik fit (whole run):                     %8.2f s\n", fit);

  const std::string out = dir + "/tube-warped." + format;
  start = Clock::now();
  if (pravikprocess::RunProgram({ PRAVIK_WARP, dir + "/tube.trc", model, out }) != 0)
  {
    std::printf("pravik-warp failed\n");
    return 1;
  }
  const double warp = Since(start);
  std::printf("pravik-warp (whole run: read, deform, write): %8.2f s\n", warp);

  // The thin-plate spline on the same landmarks and points, measured at sizes it manages and
  // extrapolated: fit ~ landmarks^3, evaluation ~ landmarks x points.
  const vtkIdType tpsPoints = std::min<vtkIdType>(20000, tube->GetNumberOfPoints());
  vtkNew<vtkPoints> tpsModel;
  for (vtkIdType i = 0; i < tpsPoints; ++i)
  {
    tpsModel->InsertNextPoint(tube->GetPoint(i * (tube->GetNumberOfPoints() / tpsPoints)));
  }
  double fitAt = 0.0, evalPerPair = 0.0;
  int largest = 0;
  for (int n : { 250, 500 })
  {
    if (n > landmarkCount)
    {
      break;
    }
    vtkNew<vtkPoints> s, t;
    for (int i = 0; i < n; ++i)
    {
      const vtkIdType k = static_cast<vtkIdType>(i) * landmarkCount / n;
      s->InsertNextPoint(sources->GetPoint(k));
      t->InsertNextPoint(targets->GetPoint(k));
    }
    vtkNew<vtkThinPlateSplineTransform> tps;
    tps->SetBasisToR();
    tps->SetSourceLandmarks(s);
    tps->SetTargetLandmarks(t);
    start = Clock::now();
    tps->Update();
    const double tpsFitAt = Since(start);
    vtkNew<vtkPoints> warped;
    start = Clock::now();
    tps->TransformPoints(tpsModel, warped);
    const double eval = Since(start);
    std::printf("thin-plate spline, %5d landmarks: fit %7.2f s, %lld points %7.2f s (measured)\n",
      n, tpsFitAt, static_cast<long long>(tpsPoints), eval);
    fitAt = tpsFitAt;
    evalPerPair = eval / (static_cast<double>(n) * tpsPoints);
    largest = n;
  }
  if (largest > 0)
  {
    const double scale = static_cast<double>(landmarkCount) / largest;
    const double tpsFit = fitAt * scale * scale * scale;
    const double tpsEval =
      evalPerPair * landmarkCount * static_cast<double>(tube->GetNumberOfPoints());
    std::printf("thin-plate spline, %5d landmarks, %lld points: fit %.0f s + evaluation %.0f s "
                "(extrapolated from %d landmarks, %lld points)\n",
      landmarkCount, static_cast<long long>(tube->GetNumberOfPoints()), tpsFit, tpsEval, largest,
      static_cast<long long>(tpsPoints));
    std::printf(
      "ratio thin-plate evaluation alone / whole pravik-warp run: %.0f\n", tpsEval / warp);
    std::printf("ratio thin-plate fit + evaluation / Pravik fit + pravik-warp run: %.0f\n",
      (tpsFit + tpsEval) / (fit + warp));
  }
  return 0;
}

// The inverse of vtkShapeTransform on the bundled sample: data/leg.dat fitted with the run
// script's radius, every vertex of data/leg.vtk carried forward at several factors and back by
// the inverse. Prints, per factor, the Newton steps per point, the points that did not
// converge, those carried to another point that the deformation also lands on y (where it
// folds), the largest distance from the starting vertex and the time per point.
//
//   bench_shape_inverse [data dir] [radius]
#include "vtkShapeTransform.h"

#include "SolverInput.h"
#include "vtkDatReader.h"
#include "vtkMatrixSolver.h"

#include "vtkMath.h"
#include "vtkNew.h"
#include "vtkPointLocator.h"
#include "vtkPoints.h"
#include "vtkPolyData.h"
#include "vtkPolyDataReader.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace
{
// Reaches the transform's Newton solver, which reports the steps it took.
class CountingTransform : public vtkShapeTransform
{
public:
  static CountingTransform* New() { return new CountingTransform; }
  int Steps(const double y[3], double x[3], double* residual)
  {
    return this->SolveInverse(y, x, this->GetFactor(), residual);
  }
};
}

int main(int argc, char** argv)
{
  const std::string dir = argc > 1 ? argv[1] : QUORVEL_DATA_DIR;
  const float radius = argc > 2 ? static_cast<float>(std::atof(argv[2])) : 0.25f;
  const std::string dat = dir + "/leg.dat";
  const std::string vtk = dir + "/leg.vtk";

  vtkNew<vtkDatReader> reader;
  reader->FileName = dat.c_str();
  reader->SetRadius(radius);
  if (reader->Read() != 0)
  {
    std::printf("cannot read %s\n", dat.c_str());
    return 1;
  }
  vtkNew<vtkMatrixSolver> solver;
  SetSolverInput(solver, reader);
  solver->Solve();
  const std::unique_ptr<float[]> cx(solver->GetSplineCoeffX());
  const std::unique_ptr<float[]> cy(solver->GetSplineCoeffY());
  const std::unique_ptr<float[]> cz(solver->GetSplineCoeffZ());
  if (!cx || solver->GetFactorizationFailed())
  {
    std::printf("the fit failed\n");
    return 1;
  }
  vtkNew<vtkPolyDataReader> model;
  model->SetFileName(vtk.c_str());
  model->Update();
  vtkPoints* points = model->GetOutput()->GetPoints();
  if (!points)
  {
    std::printf("cannot read %s\n", vtk.c_str());
    return 1;
  }
  const vtkIdType n = points->GetNumberOfPoints();
  std::printf("%s (%lld landmarks, radius %g), %s (%lld vertices); tolerance 1e-6, at most 50 "
              "steps\n",
    dat.c_str(), static_cast<long long>(reader->GetPointArray()->GetNumberOfPoints()), radius,
    vtk.c_str(), static_cast<long long>(n));

  vtkNew<CountingTransform> transform;
  transform->SetParameters(radius, reader->GetPointArray(), cx.get(), cy.get(), cz.get(),
    reader->GetUnList(), reader->GetTree());
  transform->Update();
  std::printf("factor  folded  mean steps  max steps  not converged  other preimage  "
              "largest error  us/point\n");
  for (float factor : { 0.25f, 0.5f, 0.75f, 1.0f, -0.5f })
  {
    transform->SetFactor(factor);
    transform->Update();
    long long steps = 0;
    int most = 0;
    int folded = 0;
    int failed = 0;
    int other = 0;
    double worst = 0.0;
    double seconds = 0.0;
    for (vtkIdType i = 0; i < n; ++i)
    {
      double x[3];
      double y[3];
      double back[3];
      double jacobian[3][3];
      points->GetPoint(i, x);
      transform->InternalTransformDerivative(x, y, jacobian);
      folded += vtkMath::Determinant3x3(jacobian) <= 0.0;
      double residual = 0.0;
      const auto start = std::chrono::steady_clock::now();
      const int k = transform->Steps(y, back, &residual);
      seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      const double error = std::sqrt(vtkMath::Distance2BetweenPoints(x, back));
      if (k < 0)
      {
        ++failed;
      }
      else if (error > 1e-3)
      {
        ++other; // where the deformation folds, more than one point lands on y
      }
      else
      {
        steps += k;
        most = std::max(most, k);
        worst = std::max(worst, error);
      }
    }
    std::printf("%6.2f  %6d  %10.2f  %9d  %13d  %14d  %13.2e  %8.1f\n", factor, folded,
      static_cast<double>(steps) / std::max<vtkIdType>(1, n - failed - other), most, failed, other,
      worst, 1e6 * seconds / static_cast<double>(n));
  }
  std::printf("folded: vertices where the Jacobian's determinant is 0 or below (the deformation "
              "turns space inside out there);\nmean and max steps, largest error: over the "
              "vertices carried back to themselves\n");
  return 0;
}

// A real fit carried through the coefficient file: the sample's landmark set fitted by the
// fitting tool's reader and solver, written as a .trc, read back with the file's own locator
// and evaluated at Factor 1 on the source positions.
#include "ShapeTransformTesting.h"
#include "vtkShapeTransform.h"
#include "TempDir.h"

#include "SolverInput.h"
#include "TransformFile.h"
#include "vtkDatReader.h"
#include "vtkMatrixSolver.h"

#include "vtkMath.h"
#include "vtkNew.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

using namespace shape_testing;

TEST(ShapeTransformFit, FactorOneCarriesTheFittedLandmarksOntoTheirTargets)
{
  const std::string landmarks = std::string(QUORVEL_DATA_DIR) + "/leg.dat";
  vtkNew<vtkDatReader> reader;
  reader->FileName = landmarks.c_str();
  reader->SetRadius(0.25f);
  ASSERT_EQ(reader->Read(), 0) << landmarks;
  vtkNew<vtkMatrixSolver> solver;
  SetSolverInput(solver, reader);
  solver->Solve();
  const std::unique_ptr<float[]> cx(solver->GetSplineCoeffX());
  const std::unique_ptr<float[]> cy(solver->GetSplineCoeffY());
  const std::unique_ptr<float[]> cz(solver->GetSplineCoeffZ());
  ASSERT_FALSE(solver->GetFactorizationFailed());

  const testsupport::TempDir dir("quorvel-shape-fit-");
  const std::string trc = dir.Path("fit.trc");
  ASSERT_EQ(WriteTransformCoefficients(trc.c_str(), reader->GetRadius(), reader->GetPointArray(),
              cx.get(), cy.get(), cz.get(), reader->GetUnList()),
    TransformWriteStatus::Ok);
  TransformCoefficients file;
  const TransformFileResult read = ReadTransformCoefficients(trc.c_str(), file);
  std::remove(trc.c_str());
  ASSERT_EQ(read.Status, TransformFileStatus::Ok) << read.Reason;

  vtkNew<vtkShapeTransform> transform;
  transform->SetParameters(file.Radius, file.Points, file.CoeffX.data(), file.CoeffY.data(),
    file.CoeffZ.data(), file.UnList.data(), file.Locator);
  ASSERT_TRUE(transform->GetInitialized());

  vtkPoints* sources = file.Points;
  vtkPoints* targets = reader->GetPointArrayN();
  const vtkIdType n = sources->GetNumberOfPoints();
  ASSERT_EQ(n, targets->GetNumberOfPoints());

  // The same spline, evaluated directly from the file's contents.
  Spline s;
  s.Radius = file.Radius;
  s.Points = file.Points;
  s.X = file.CoeffX;
  s.Y = file.CoeffY;
  s.Z = file.CoeffZ;
  s.UnList = file.UnList;

  const float factors[] = { 1.0f, 0.0f, 1.0f }; // computed, then from the cache
  for (int pass = 0; pass < 3; ++pass)
  {
    const float factor = factors[pass];
    transform->SetFactor(factor);
    auto moved = Evaluate(transform, sources);
    EXPECT_LE(WorstDeviation(s, sources, moved, factor, pass > 0), 1.0) << "pass " << pass;
    if (factor == 0.0f)
    {
      continue;
    }
    double worst = 0.0;
    for (vtkIdType i = 0; i < n; ++i)
    {
      // The file keeps six decimals (error up to 5e-7) of every coefficient: their worst
      // effect is 5e-7 times the sum of the weights and affine factors that multiply them;
      // 1e-6 more for the single-precision solve.
      double x[3];
      sources->GetPoint(i, x);
      double weights = 1.0 + std::fabs(x[0]) + std::fabs(x[1]) + std::fabs(x[2]);
      for (vtkIdType k = 0; k < n; ++k)
      {
        double p[3];
        sources->GetPoint(k, p);
        const double r = std::sqrt(vtkMath::Distance2BetweenPoints(p, x));
        weights += r < s.Radius ? (1.0 - r / s.Radius) * (1.0 - r / s.Radius) : 0.0;
      }
      const double tol = 5e-7 * weights + 1e-6;
      for (int a = 0; a < 3; ++a)
      {
        const double miss = std::fabs(moved->GetPoint(i)[a] - targets->GetPoint(i)[a]);
        worst = std::max(worst, miss);
        ASSERT_LT(miss, tol) << "landmark " << i << " axis " << a;
      }
    }
    std::cout << "largest distance of a landmark from its target: " << worst << "\n";
  }
}

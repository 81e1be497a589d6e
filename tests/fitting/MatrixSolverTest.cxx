// The whole fit against an independent dense double-precision solve of the saddle system
// [[Phi, P^T], [P, 0]] [c; d] = [f; 0], and the spline evaluated back at the landmarks.

#include "AffineSpan.h"
#include "FittingTestSupport.h"
#include "LandmarkGenerator.h"
#include "vtkDatReader.h"
#include "vtkMatrixSolver.h"

#include <gtest/gtest.h>

#include <vtkCallbackCommand.h>
#include <vtkCommand.h>
#include <vtkNew.h>
#include <vtkObjectFactory.h>
#include <vtkOutputWindow.h>
#include <vtkPoints.h>

#include <algorithm>
#include <cmath>

namespace
{
// A fit run the way the fitting tool runs it, with the reader's results in hand.
struct Fit
{
  vtkNew<vtkDatReader> Reader;
  vtkNew<vtkMatrixSolver> Solver;
  std::vector<float> F[3]; // right-hand sides before the solve, ordered positions
  std::string Output;      // printed on standard output: nothing, the library is quiet
  std::string Reported;    // the solver's errors and warnings, one "error:"/"warning:" line each
  int N = 0;

  ~Fit()
  {
    delete[] this->Solver->GetSplineCoeffX();
    delete[] this->Solver->GetSplineCoeffY();
    delete[] this->Solver->GetSplineCoeffZ();
  }

  // envelopeBytes: the solver's MaximumEnvelopeBytes (1: the sparse solve, whenever any two
  // landmarks are neighbours).
  void Run(const std::vector<Landmark>& landmarks, float radius, vtkTypeInt64 envelopeBytes = 0)
  {
    ScratchDir dir;
    const std::string path = dir.File("fit.dat");
    ASSERT_TRUE(WriteLandmarkFile(path, landmarks));
    this->Reader->FileName = path.c_str();
    this->Reader->SetRadius(radius);
    ASSERT_EQ(this->Reader->Read(), 0);
    this->Reader->FileName = nullptr;
    this->N = static_cast<int>(this->Reader->GetPointArray()->GetNumberOfPoints());
    const float* b[3] = { this->Reader->GetBX(), this->Reader->GetBY(), this->Reader->GetBZ() };
    for (int a = 0; a < 3; ++a)
    {
      this->F[a].assign(b[a], b[a] + this->N);
    }
    this->Solver->SetRadius(this->Reader->GetRadius());
    this->Solver->SetPointArray(this->Reader->GetPointArray());
    this->Solver->SetList(this->Reader->GetList());
    this->Solver->SetMax(this->Reader->GetMax());
    this->Solver->SetBX(this->Reader->GetBX());
    this->Solver->SetBY(this->Reader->GetBY());
    this->Solver->SetBZ(this->Reader->GetBZ());
    this->Solver->SetMaximumEnvelopeBytes(envelopeBytes);
    vtkNew<vtkCallbackCommand> hear;
    hear->SetClientData(&this->Reported);
    hear->SetCallback(
      [](vtkObject*, unsigned long event, void* reported, void* text)
      {
        const std::string message = text ? static_cast<const char*>(text) : "";
        const size_t object = message.find("): ");
        *static_cast<std::string*>(reported) +=
          std::string(event == vtkCommand::ErrorEvent ? "error: " : "warning: ") +
          message.substr(object == std::string::npos ? 0 : object + 3,
            message.find('\n', object) - (object == std::string::npos ? 0 : object + 3)) +
          "\n";
      });
    this->Solver->AddObserver(vtkCommand::ErrorEvent, hear);
    this->Solver->AddObserver(vtkCommand::WarningEvent, hear);
    testing::internal::CaptureStdout();
    EXPECT_EQ(this->Solver->Solve(), 1);
    this->Output = testing::internal::GetCapturedStdout();
    this->Solver->RemoveAllObservers();
    EXPECT_EQ(this->Output, "") << "the solver printed";
  }

  const float* Coeff(int axis)
  {
    return axis == 0 ? this->Solver->GetSplineCoeffX()
      : axis == 1    ? this->Solver->GetSplineCoeffY()
                     : this->Solver->GetSplineCoeffZ();
  }

  // Source point of ordered position k, widened from float.
  void Point(int k, double p[3])
  {
    this->Reader->GetPointArray()->GetPoint(this->Reader->GetList()[k], p);
  }

  // The fitted spline of one axis at q, in double precision.
  double Spline(int axis, const double q[3])
  {
    const float* c = this->Coeff(axis);
    const double radius = this->Reader->GetRadius();
    double s = c[this->N] + c[this->N + 1] * q[0] + c[this->N + 2] * q[1] + c[this->N + 3] * q[2];
    for (int k = 0; k < this->N; ++k)
    {
      double p[3];
      this->Point(k, p);
      s += c[k] * ReferenceKernel(q, p, radius);
    }
    return s;
  }

  // Solves the saddle system densely; false when it is singular.
  bool Reference(int axis, std::vector<double>& solution)
  {
    const int n = this->N;
    const int m = n + 4;
    std::vector<double> a(static_cast<size_t>(m) * m, 0.0);
    const double radius = this->Reader->GetRadius();
    for (int i = 0; i < n; ++i)
    {
      double p[3];
      this->Point(i, p);
      for (int j = 0; j < n; ++j)
      {
        double q[3];
        this->Point(j, q);
        a[i * m + j] = static_cast<float>(ReferenceKernel(p, q, radius));
      }
      const double row[4] = { 1.0, p[0], p[1], p[2] };
      for (int r = 0; r < 4; ++r)
      {
        a[i * m + n + r] = row[r];
        a[(n + r) * m + i] = row[r];
      }
    }
    solution.assign(m, 0.0);
    for (int i = 0; i < n; ++i)
    {
      solution[i] = this->F[axis][i];
    }
    return DenseSolveReference(m, a, solution);
  }

  // Every landmark interpolated: the spline at each source position gives its right-hand side.
  void ExpectInterpolates(double tolerance)
  {
    for (int axis = 0; axis < 3; ++axis)
    {
      for (int k = 0; k < this->N; ++k)
      {
        double p[3];
        this->Point(k, p);
        ASSERT_NEAR(this->Spline(axis, p), this->F[axis][k], tolerance)
          << "axis " << axis << ", ordered position " << k;
      }
    }
  }

  void ExpectAllFinite()
  {
    for (int axis = 0; axis < 3; ++axis)
    {
      for (int k = 0; k < this->N + 4; ++k)
      {
        ASSERT_TRUE(std::isfinite(this->Coeff(axis)[k])) << "axis " << axis << ", entry " << k;
      }
    }
  }
};

void ExpectMatchesReference(Fit& fit, double tolerance)
{
  for (int axis = 0; axis < 3; ++axis)
  {
    std::vector<double> reference;
    ASSERT_TRUE(fit.Reference(axis, reference));
    double largest = 0.0;
    for (double v : reference)
    {
      largest = std::max(largest, std::fabs(v));
    }
    const float* c = fit.Coeff(axis);
    for (int k = 0; k < fit.N + 4; ++k)
    {
      ASSERT_NEAR(c[k], reference[k], tolerance * std::max(largest, 1e-3))
        << "axis " << axis << ", entry " << k << " of " << fit.N + 4;
    }
  }
}

std::vector<Landmark> Planar(int n, bool tilted)
{
  auto landmarks = RandomLandmarks(n, 77);
  for (Landmark& l : landmarks)
  {
    // z = 0.3, or the plane x + 2y - z = 0.1.
    l.Source[2] = tilted ? l.Source[0] + 2.0 * l.Source[1] - 0.1 : 0.3;
  }
  return landmarks;
}
}

TEST(MatrixSolver, RandomLandmarksMatchDenseSaddleSolve)
{
  for (unsigned seed : { 1u, 2u, 3u })
  {
    Fit fit;
    fit.Run(RandomLandmarks(120 + 40 * seed, seed), 0.25f + 0.05f * seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    EXPECT_EQ(fit.Reported, "");
    EXPECT_EQ(fit.Solver->GetFactorizationFailed(), 0);
    EXPECT_EQ(ComputeAffineSpan(fit.Reader->GetPointArray()).Rank, 4);
    ExpectMatchesReference(fit, 2e-3);
    fit.ExpectInterpolates(1e-4);
  }
}

TEST(MatrixSolver, SphereLandmarksMatchDenseSaddleSolve)
{
  const int n = 400;
  const double centre[3] = { 10.0, -4.0, 2.5 };
  Fit fit;
  fit.Run(
    SphereLandmarks(n, 2.0, centre), static_cast<float>(SphereRadiusForNeighbours(n, 30, 2.0)));
  EXPECT_EQ(fit.Reported, "");
  EXPECT_GT(fit.Reader->GetMax(), 0);
  ExpectMatchesReference(fit, 2e-3);
  fit.ExpectInterpolates(2e-4);
}

TEST(MatrixSolver, KernelWeightsAreLeftInTheRightHandSides)
{
  Fit fit;
  fit.Run(RandomLandmarks(60, 9), 0.3f);
  for (int k = 0; k < fit.N; ++k)
  {
    EXPECT_EQ(fit.Reader->GetBX()[k], fit.Solver->GetSplineCoeffX()[k]);
    EXPECT_EQ(fit.Reader->GetBY()[k], fit.Solver->GetSplineCoeffY()[k]);
    EXPECT_EQ(fit.Reader->GetBZ()[k], fit.Solver->GetSplineCoeffZ()[k]);
  }
}

TEST(MatrixSolver, WithoutNeighboursTheAffinePartIsTheLeastSquaresFit)
{
  // Radius 0: Phi = I, so d fits f in the least-squares sense and c holds the residuals.
  for (float radius : { 0.0f, -1.0f })
  {
    Fit fit;
    fit.Run(RandomLandmarks(30, 4, 0.2), radius);
    if (radius == 0.0f)
    {
      EXPECT_EQ(fit.Reader->GetMax(), 0);
    }
    for (int axis = 0; axis < 3; ++axis)
    {
      // Normal equations of the affine least-squares fit, solved independently.
      std::vector<double> normal(16, 0.0);
      std::vector<double> rhs(4, 0.0);
      for (int k = 0; k < fit.N; ++k)
      {
        double p[3];
        fit.Point(k, p);
        const double row[4] = { 1.0, p[0], p[1], p[2] };
        for (int r = 0; r < 4; ++r)
        {
          for (int c = 0; c < 4; ++c)
          {
            normal[r * 4 + c] += row[r] * row[c];
          }
          rhs[r] += row[r] * fit.F[axis][k];
        }
      }
      ASSERT_TRUE(DenseSolveReference(4, normal, rhs));
      const float* c = fit.Coeff(axis);
      for (int r = 0; r < 4; ++r)
      {
        EXPECT_NEAR(c[fit.N + r], rhs[r], 1e-4) << "axis " << axis << ", affine term " << r;
      }
      // The kernel weights are the residuals of that fit.
      for (int k = 0; k < fit.N; ++k)
      {
        double p[3];
        fit.Point(k, p);
        const double affine = rhs[0] + rhs[1] * p[0] + rhs[2] * p[1] + rhs[3] * p[2];
        EXPECT_NEAR(c[k], fit.F[axis][k] - affine, 1e-4) << "axis " << axis << ", weight " << k;
      }
    }
  }
}

TEST(MatrixSolver, DegenerateLayoutsStillInterpolateWithFiniteCoefficients)
{
  struct Case
  {
    const char* Name;
    std::vector<Landmark> Landmarks;
    int Rank;
  };
  std::vector<Case> cases;
  cases.push_back({ "axis-aligned plane", Planar(80, false), 3 });
  cases.push_back({ "tilted plane", Planar(80, true), 3 });
  auto line = RandomLandmarks(25, 8);
  for (Landmark& l : line)
  {
    l.Source[1] = 2.0 * l.Source[0] + 1.0;
    l.Source[2] = -l.Source[0];
  }
  cases.push_back({ "line", line, 2 });
  for (int n = 1; n <= 3; ++n)
  {
    cases.push_back({ "few landmarks", RandomLandmarks(n, 30 + n, 0.1), n });
  }
  for (Case& c : cases)
  {
    SCOPED_TRACE(std::string(c.Name) + ", n = " + std::to_string(c.Landmarks.size()));
    Fit fit;
    fit.Run(c.Landmarks, 0.35f);
    EXPECT_EQ(fit.Solver->GetFactorizationFailed(), 0);
    EXPECT_EQ(ComputeAffineSpan(fit.Reader->GetPointArray()).Rank, c.Rank);
    // The affine part fitted within the span says so: one warning line, whatever the number
    // of axes.
    EXPECT_EQ(std::count(fit.Reported.begin(), fit.Reported.end(), '\n'), 1) << fit.Reported;
    EXPECT_EQ(
      fit.Reported, std::string("warning: ") + vtkMatrixSolver::AffineFallbackText(c.Rank) + "\n");
    EXPECT_TRUE(fit.Solver->GetAffineFallbackUsed());
    EXPECT_EQ(fit.Solver->GetAffineRank(), c.Rank);
    fit.ExpectAllFinite();
    fit.ExpectInterpolates(2e-4);
  }
}

TEST(MatrixSolver, PlanarFitAgreesWithReducedSaddleSolve)
{
  // On the plane z = 0.3 the function z - 0.3 vanishes at every landmark; dropping the z term
  // gives a regular saddle system whose solution the fit must reproduce on the plane.
  Fit fit;
  fit.Run(Planar(60, false), 0.4f);
  const int n = fit.N;
  const int m = n + 3;
  for (int axis = 0; axis < 3; ++axis)
  {
    std::vector<double> a(static_cast<size_t>(m) * m, 0.0);
    std::vector<double> b(m, 0.0);
    for (int i = 0; i < n; ++i)
    {
      double p[3];
      fit.Point(i, p);
      for (int j = 0; j < n; ++j)
      {
        double q[3];
        fit.Point(j, q);
        a[i * m + j] = static_cast<float>(ReferenceKernel(p, q, 0.4f));
      }
      const double row[3] = { 1.0, p[0], p[1] };
      for (int r = 0; r < 3; ++r)
      {
        a[i * m + n + r] = a[(n + r) * m + i] = row[r];
      }
      b[i] = fit.F[axis][i];
    }
    ASSERT_TRUE(DenseSolveReference(m, a, b));
    const float* c = fit.Coeff(axis);
    for (int k = 0; k < n; ++k)
    {
      EXPECT_NEAR(c[k], b[k], 1e-3) << "axis " << axis << ", weight " << k;
    }
    // The affine part on the plane: d0 + d3*0.3 is the constant, d1 and d2 the slopes.
    const double z = static_cast<float>(0.3);
    EXPECT_NEAR(c[n] + c[n + 3] * z, b[n], 1e-3);
    EXPECT_NEAR(c[n + 1], b[n + 1], 1e-3);
    EXPECT_NEAR(c[n + 2], b[n + 2], 1e-3);
  }
}

TEST(MatrixSolver, CoincidentLandmarksReportANonPositivePivot)
{
  auto landmarks = RandomLandmarks(20, 12);
  landmarks[7] = landmarks[3];
  landmarks[7].Target[0] += 0.1;
  for (const vtkTypeInt64 envelopeBytes : { 0, 1 }) // the envelope, then the sparse solve
  {
    Fit fit;
    fit.Run(landmarks, 0.3f, envelopeBytes);
    EXPECT_EQ(fit.Solver->GetSparseSolveUsed(), envelopeBytes == 1);
    EXPECT_EQ(fit.Solver->GetFactorizationFailed(), 1);
    EXPECT_EQ(fit.Reported.rfind("error: The kernel matrix is not positive definite", 0), 0u)
      << fit.Reported;
  }
}

// A kernel matrix whose envelope exceeds the solver's bound is solved by conjugate gradients:
// the same coefficients, within 1e-5 of the largest, as the envelope gives, in the same order.
TEST(MatrixSolver, SparseSolveAgreesWithTheEnvelope)
{
  const int n = 3000;
  struct Case
  {
    const char* Name;
    std::vector<Landmark> Landmarks;
    float Radius;
  };
  const Case cases[] = {
    { "sphere", SphereLandmarks(n), static_cast<float>(SphereRadiusForNeighbours(n, 30)) },
    { "random cloud", RandomLandmarks(500, 5), 0.3f },
    { "plane", Planar(300, true), 0.3f }, // the affine part within the plane's directions
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.Name);
    Fit envelope;
    envelope.Run(c.Landmarks, c.Radius);
    Fit sparse;
    sparse.Run(c.Landmarks, c.Radius, 1);
    ASSERT_FALSE(envelope.Solver->GetSparseSolveUsed());
    ASSERT_TRUE(sparse.Solver->GetSparseSolveUsed());
    EXPECT_EQ(sparse.Reported, envelope.Reported);
    EXPECT_TRUE(sparse.Solver->GetSolveConverged());
    EXPECT_LE(sparse.Solver->GetSolveResidual(), 1e-8);
    for (int axis = 0; axis < 3; ++axis)
    {
      double largest = 0.0;
      for (int k = 0; k < envelope.N + 4; ++k)
      {
        largest = std::max(largest, std::fabs(static_cast<double>(envelope.Coeff(axis)[k])));
      }
      for (int k = 0; k < envelope.N + 4; ++k)
      {
        ASSERT_NEAR(sparse.Coeff(axis)[k], envelope.Coeff(axis)[k], 1e-5 * largest)
          << "axis " << axis << ", entry " << k;
      }
    }
    sparse.ExpectInterpolates(2e-4);
  }
}

TEST(MatrixSolver, NoLandmarksGiveTheIdentity)
{
  Fit fit;
  fit.Run({}, 0.5f);
  EXPECT_EQ(fit.Reported, "");
  for (int axis = 0; axis < 3; ++axis)
  {
    for (int k = 0; k < 4; ++k)
    {
      EXPECT_EQ(fit.Coeff(axis)[k], 0.0f);
    }
  }
}

TEST(MatrixSolver, KernelValues)
{
  vtkNew<vtkPoints> points;
  points->InsertNextPoint(0, 0, 0);
  points->InsertNextPoint(1, 0, 0);
  points->InsertNextPoint(0, 2, 0);
  vtkNew<vtkMatrixSolver> solver;
  solver->SetPointArray(points);
  solver->SetRadius(2.0f);
  EXPECT_DOUBLE_EQ(solver->EvaluateKernel(0, 0), 1.0);
  EXPECT_DOUBLE_EQ(solver->EvaluateKernel(0, 1), 0.25);
  EXPECT_DOUBLE_EQ(solver->EvaluateKernel(1, 0), 0.25);
  EXPECT_DOUBLE_EQ(solver->EvaluateKernel(0, 2), 0.0) << "a pair exactly R apart gives 0";
  EXPECT_STREQ(solver->GetClassName(), "vtkMatrixSolver");
  EXPECT_TRUE(solver->IsA("vtkObject"));
  EXPECT_EQ(points->GetReferenceCount(), 2) << "the solver registers its points";
  solver->SetPointArray(nullptr);
  EXPECT_EQ(points->GetReferenceCount(), 1);
}

namespace
{
class DebugCapture : public vtkOutputWindow
{
public:
  static DebugCapture* New();
  vtkTypeMacro(DebugCapture, vtkOutputWindow);
  void DisplayText(const char* text) override { this->Text += text; }
  std::string Text;
};
vtkStandardNewMacro(DebugCapture);
}

TEST(MatrixSolver, AccessorsPrintDebugLinesAndModifyOnlyOnChange)
{
  vtkNew<vtkMatrixSolver> solver;
  EXPECT_EQ(solver->GetRadius(), 0.0f);
  EXPECT_EQ(solver->GetMax(), 0);
  EXPECT_EQ(solver->GetBX(), nullptr);
  const vtkMTimeType before = solver->GetMTime();
  solver->SetMax(0);
  solver->SetList(nullptr);
  EXPECT_EQ(solver->GetMTime(), before);
  int list[1] = { 0 };
  solver->SetList(list);
  EXPECT_GT(solver->GetMTime(), before);

  vtkNew<DebugCapture> window;
  vtkOutputWindow* previous = vtkOutputWindow::GetInstance();
  previous->Register(nullptr);
  vtkOutputWindow::SetInstance(window);
  solver->DebugOn();
  solver->SetRadius(1.5f);
  solver->GetPointArray();
  solver->GetSplineCoeffY();
  solver->DebugOff();
  vtkOutputWindow::SetInstance(previous);
  previous->UnRegister(nullptr);
  EXPECT_NE(window->Text.find("vtkMatrixSolver"), std::string::npos) << window->Text;
  EXPECT_NE(window->Text.find("setting Radius to 1.5"), std::string::npos) << window->Text;
  EXPECT_NE(window->Text.find("returning PointArray address"), std::string::npos);
  EXPECT_NE(window->Text.find("returning SplineCoeffY of"), std::string::npos);
}

// vtkLandmarkSplineFit: the fitting tool's spline from point sets in memory.
#include "FittingTestSupport.h"
#include "LandmarkGenerator.h"
#include "PravikRun.h"
#include "vtkLandmarkSplineFit.h"
#include "vtkShapeTransform.h"

#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkSmartPointer.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace
{
void SetLandmarks(vtkLandmarkSplineFit* fit, const std::vector<Landmark>& landmarks)
{
  vtkNew<vtkPoints> sources;
  vtkNew<vtkPoints> targets;
  for (const Landmark& l : landmarks)
  {
    sources->InsertNextPoint(l.Source);
    targets->InsertNextPoint(l.Target);
  }
  fit->SetSourceLandmarks(sources);
  fit->SetTargetLandmarks(targets);
}

// The transform applied to the landmarks' source positions.
std::vector<double> Warped(vtkShapeTransform* transform, const std::vector<Landmark>& landmarks)
{
  vtkNew<vtkPoints> in;
  vtkNew<vtkPoints> out;
  for (const Landmark& l : landmarks)
  {
    in->InsertNextPoint(l.Source);
  }
  transform->TransformPoints(in, out);
  std::vector<double> result;
  for (vtkIdType i = 0; i < out->GetNumberOfPoints(); ++i)
  {
    const double* p = out->GetPoint(i);
    result.insert(result.end(), p, p + 3);
  }
  return result;
}
}

TEST(LandmarkSplineFit, WritesTheCoefficientFilePravikWritesAndCarriesLandmarksOntoTargets)
{
  ScratchDir dir;
  // Values that are floats already: the file and the fit then see the same numbers.
  std::vector<Landmark> landmarks = SphereLandmarks(2000);
  for (Landmark& l : landmarks)
  {
    for (int a = 0; a < 3; ++a)
    {
      l.Source[a] = static_cast<float>(l.Source[a]);
      l.Target[a] = static_cast<float>(l.Target[a]);
    }
  }
  const double radius = SphereRadiusForNeighbours(2000, 30);
  ASSERT_TRUE(WriteLandmarkFile(dir.File("sphere.dat"), landmarks));
  std::string path = dir.File("sphere.dat");
  std::string radiusText = std::to_string(radius);
  char* argv[] = { const_cast<char*>("Pravik"), path.data(), radiusText.data() };
  ASSERT_EQ(PravikMain(3, argv, 1e9), PravikWritten);

  auto fit = vtkSmartPointer<vtkLandmarkSplineFit>::New();
  SetLandmarks(fit, landmarks);
  fit->SetRadius(std::stod(radiusText));
  ASSERT_EQ(fit->Fit(), 1) << fit->GetErrorMessage();
  ASSERT_EQ(fit->WriteCoefficientFile(dir.File("fit.trc").c_str()), 1);
  EXPECT_TRUE(ReadText(dir.File("fit.trc")) == ReadText(dir.File("sphere.trc")));

  EXPECT_EQ(fit->GetNumberOfLandmarks(), 2000);
  EXPECT_LE(fit->GetMinimumNeighbors(), fit->GetMeanNeighbors());
  EXPECT_LE(fit->GetMeanNeighbors(), fit->GetMaximumNeighbors());
  EXPECT_NEAR(fit->GetMeanNeighbors(), 30, 5);
  EXPECT_GT(fit->GetEnvelopeSize(), 2000 * 15);
  EXPECT_GT(fit->GetFactorizationTime(), 0.0);
  EXPECT_LE(fit->GetInputTime() + fit->GetOrderingTime() + fit->GetAssemblyTime() +
      fit->GetFactorizationTime() + fit->GetSolveTime(),
    fit->GetTotalTime());

  // The transform outlives the fit that made it and still carries sources onto targets.
  vtkSmartPointer<vtkShapeTransform> transform = fit->GetTransform();
  fit = nullptr;
  const std::vector<double> warped = Warped(transform, landmarks);
  ASSERT_EQ(warped.size(), 3 * landmarks.size());
  double worst = 0.0;
  for (size_t i = 0; i < landmarks.size(); ++i)
  {
    for (int a = 0; a < 3; ++a)
    {
      worst = std::max(worst, std::fabs(warped[3 * i + a] - landmarks[i].Target[a]));
    }
  }
  EXPECT_LT(worst, 1e-4);
}

// On request the sparse solve runs where the envelope would fit: the same coefficients within
// 1e-5 of the largest, and back to the envelope (Pravik's coefficients) when switched off.
TEST(LandmarkSplineFit, SparseSolveOnRequestAgreesWithTheEnvelope)
{
  const std::vector<Landmark> landmarks = SphereLandmarks(3000);
  vtkNew<vtkLandmarkSplineFit> fit;
  SetLandmarks(fit, landmarks);
  fit->SetRadius(SphereRadiusForNeighbours(3000, 30));
  std::vector<double> coefficients[2];
  for (const bool sparse : { true, false })
  {
    fit->SetSparseSolve(sparse);
    ASSERT_EQ(fit->Fit(), 1) << fit->GetErrorMessage();
    EXPECT_EQ(fit->GetSparseSolveUsed(), sparse);
    vtkShapeTransform* t = fit->GetTransform();
    for (float* axis : { t->GetSplineCoeffX(), t->GetSplineCoeffY(), t->GetSplineCoeffZ() })
    {
      coefficients[sparse].insert(coefficients[sparse].end(), axis, axis + 3004);
    }
  }
  double largest = 0.0;
  double worst = 0.0;
  for (size_t k = 0; k < coefficients[0].size(); ++k)
  {
    largest = std::max(largest, std::fabs(coefficients[0][k]));
    worst = std::max(worst, std::fabs(coefficients[1][k] - coefficients[0][k]));
  }
  EXPECT_LE(worst, 1e-5 * largest);
}

TEST(LandmarkSplineFit, RefusesWhatCannotBeFittedAndKeepsThePreviousSpline)
{
  const std::vector<Landmark> good = RandomLandmarks(50, 3);
  vtkNew<vtkLandmarkSplineFit> fit;
  SetLandmarks(fit, good);
  fit->SetRadius(0.5);
  ASSERT_EQ(fit->Fit(), 1);
  const std::vector<double> before = Warped(fit->GetTransform(), good);

  std::vector<Landmark> coincident = good;
  coincident[7] = coincident[3];
  std::vector<Landmark> infinite = good;
  infinite[5].Target[1] = std::numeric_limits<double>::infinity();
  std::vector<Landmark> shorter = good;
  shorter.pop_back();
  struct Case
  {
    const char* What;
    std::vector<Landmark> Landmarks;
    double Radius;
    bool Unequal;
    const char* Message;
  };
  const Case cases[] = {
    { "radius 0", good, 0.0, false, "radius" },
    { "radius NaN", good, std::nan(""), false, "radius" },
    { "coincident", coincident, 0.5, false, "Landmarks 3 and 7" },
    { "infinite", infinite, 0.5, false, "not a finite" },
    { "unequal sizes", shorter, 0.5, true, "differ in size" },
  };
  for (const Case& c : cases)
  {
    SetLandmarks(fit, c.Landmarks);
    if (c.Unequal)
    {
      vtkNew<vtkPoints> one;
      one->InsertNextPoint(0, 0, 0);
      fit->SetTargetLandmarks(one);
    }
    fit->SetRadius(c.Radius);
    vtkObject::GlobalWarningDisplayOff();
    EXPECT_EQ(fit->Fit(), 0) << c.What;
    vtkObject::GlobalWarningDisplayOn();
    EXPECT_NE(std::string(fit->GetErrorMessage()).find(c.Message), std::string::npos)
      << c.What << ": " << fit->GetErrorMessage();
    EXPECT_EQ(Warped(fit->GetTransform(), good), before) << c.What;
  }
}

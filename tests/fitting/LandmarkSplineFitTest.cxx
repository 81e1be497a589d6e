// vtkLandmarkSplineFit: the fitting tool's spline from point sets in memory.
#include "FittingTestSupport.h"
#include "LandmarkGenerator.h"
#include "PravikRun.h"
#include "vtkLandmarkSplineFit.h"
#include "vtkShapeTransform.h"

#include <vtkCallbackCommand.h>
#include <vtkCommand.h>
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
// Counts the error and warning events of an object while it lives.
struct Heard
{
  explicit Heard(vtkObject* object)
    : Object(object)
  {
    this->Command->SetClientData(this);
    this->Command->SetCallback(
      [](vtkObject*, unsigned long event, void* self, void* text)
      {
        auto* heard = static_cast<Heard*>(self);
        (event == vtkCommand::ErrorEvent ? heard->Errors : heard->Warnings) += 1;
        heard->Last = text ? static_cast<const char*>(text) : "";
      });
    object->AddObserver(vtkCommand::ErrorEvent, this->Command);
    object->AddObserver(vtkCommand::WarningEvent, this->Command);
  }
  ~Heard() { this->Object->RemoveObserver(this->Command); }

  vtkObject* Object;
  vtkNew<vtkCallbackCommand> Command;
  int Errors = 0;
  int Warnings = 0;
  std::string Last;
};

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
    { "empty", {}, 0.5, false, "No landmarks to fit" },
    { "radius 1e39", good, 1e39, false, "radius 1e+39 is too large for the solver's single" },
    { "radius 1e-50", good, 1e-50, false, "radius 1e-50 is too small for the solver's single" },
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
    Heard heard(fit);
    EXPECT_EQ(fit->Fit(), 0) << c.What;
    EXPECT_NE(std::string(fit->GetErrorMessage()).find(c.Message), std::string::npos)
      << c.What << ": " << fit->GetErrorMessage();
    // Reported once, as an error event of the fit itself.
    EXPECT_EQ(heard.Errors, 1) << c.What;
    EXPECT_EQ(heard.Warnings, 0) << c.What;
    EXPECT_EQ(Warped(fit->GetTransform(), good), before) << c.What;
  }
}

// Landmarks on a plane fit as Pravik fits them, with the affine part within the plane: the
// fit says so through a warning event of its own, and prints nothing.
TEST(LandmarkSplineFit, AFlatSetIsFittedWithAWarningEventAndNothingPrinted)
{
  std::vector<Landmark> flat = RandomLandmarks(40, 8);
  for (Landmark& l : flat)
  {
    l.Source[2] = 0.25;
  }
  vtkNew<vtkLandmarkSplineFit> fit;
  SetLandmarks(fit, flat);
  fit->SetRadius(0.4);
  Heard heard(fit);
  testing::internal::CaptureStdout();
  EXPECT_EQ(fit->Fit(), 1) << fit->GetErrorMessage();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(heard.Errors, 0);
  EXPECT_EQ(heard.Warnings, 1);
  EXPECT_NE(heard.Last.find("the landmarks do not span three dimensions"), std::string::npos)
    << heard.Last;
  EXPECT_NE(heard.Last.find("vtkLandmarkSplineFit"), std::string::npos) << heard.Last;
}

// Sources a few steps of single precision apart are not equal, yet a wide radius cannot tell
// them apart: where the factorisation fails, the message names the two landmarks.
TEST(LandmarkSplineFit, SourcesTooCloseToTellApartAreNamed)
{
  const std::vector<Landmark> good = RandomLandmarks(50, 3);
  int failed = 0;
  for (const double radius : { 2.0, 5.0, 10.0 })
  {
    for (int steps = 1; steps <= 4; ++steps)
    {
      std::vector<Landmark> close = good;
      close[7] = close[3];
      float x = static_cast<float>(close[3].Source[0]);
      for (int k = 0; k < steps; ++k)
      {
        x = std::nextafter(x, 2.0f);
      }
      close[7].Source[0] = x;
      close[7].Target[0] += 0.1;
      vtkNew<vtkLandmarkSplineFit> fit;
      SetLandmarks(fit, close);
      fit->SetRadius(radius);
      Heard heard(fit);
      if (fit->Fit())
      {
        continue;
      }
      ++failed;
      const std::string message = fit->GetErrorMessage();
      EXPECT_NE(message.find("not positive definite"), std::string::npos) << message;
      EXPECT_NE(message.find("landmarks 3 and 7 (counted from 0)"), std::string::npos) << message;
      EXPECT_EQ(heard.Errors, 1);
    }
  }
  EXPECT_GT(failed, 0) << "no case made the factorisation fail";
}

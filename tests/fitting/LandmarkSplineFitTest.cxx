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
#include <random>
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

namespace
{
struct HeardEvent
{
  unsigned long Event;
  std::string Stage;
  double Fraction;
};

void Listen(vtkObject* caller, unsigned long event, void* client, void* callData)
{
  auto* heard = static_cast<std::vector<HeardEvent>*>(client);
  auto* fit = static_cast<vtkLandmarkSplineFit*>(caller);
  heard->push_back({ event, fit->GetStage(),
    event == vtkCommand::ProgressEvent ? *static_cast<double*>(callData) : -1.0 });
}

// Sphere landmarks split in two: the even ones with noise on their targets are fitted, the
// odd ones (exact targets of the same smooth displacement) test the fit.
struct NoisySplit
{
  std::vector<Landmark> Fitted;
  std::vector<Landmark> Tested;
};

NoisySplit MakeNoisySplit(int n, double noise)
{
  const std::vector<Landmark> all = SphereLandmarks(2 * n);
  NoisySplit split;
  std::mt19937 random(11);
  std::normal_distribution<double> gauss(0.0, noise);
  for (size_t i = 0; i < all.size(); ++i)
  {
    Landmark l = all[i];
    if (i % 2 == 0)
    {
      for (double& t : l.Target)
      {
        t += gauss(random);
      }
      split.Fitted.push_back(l);
    }
    else
    {
      split.Tested.push_back(l);
    }
  }
  return split;
}

double RmsError(vtkShapeTransform* transform, const std::vector<Landmark>& landmarks)
{
  const std::vector<double> moved = Warped(transform, landmarks);
  double squares = 0.0;
  for (size_t i = 0; i < landmarks.size(); ++i)
  {
    for (int a = 0; a < 3; ++a)
    {
      const double d = moved[3 * i + a] - landmarks[i].Target[a];
      squares += d * d;
    }
  }
  return std::sqrt(squares / landmarks.size());
}
}

// Start first, End last (also when the fit fails), progress rising from 0 to 1 with the
// stage named, on both methods.
TEST(LandmarkSplineFit, FiresStartProgressAndEndEvents)
{
  const std::vector<Landmark> landmarks = SphereLandmarks(3000);
  for (const int solver :
    { vtkLandmarkSplineFit::SolverEnvelope, vtkLandmarkSplineFit::SolverSparse })
  {
    vtkNew<vtkLandmarkSplineFit> fit;
    SetLandmarks(fit, landmarks);
    fit->SetRadius(SphereRadiusForNeighbours(3000, 30));
    fit->SetSolver(solver);
    std::vector<HeardEvent> heard;
    vtkNew<vtkCallbackCommand> command;
    command->SetCallback(&Listen);
    command->SetClientData(&heard);
    for (const unsigned long e :
      { vtkCommand::StartEvent, vtkCommand::ProgressEvent, vtkCommand::EndEvent })
    {
      fit->AddObserver(e, command);
    }
    ASSERT_EQ(fit->Fit(), 1) << fit->GetErrorMessage();
    ASSERT_GE(heard.size(), 4u);
    EXPECT_EQ(heard.front().Event, vtkCommand::StartEvent);
    EXPECT_EQ(heard.back().Event, vtkCommand::EndEvent);
    double last = 0.0;
    bool solving = false;
    for (size_t k = 1; k + 1 < heard.size(); ++k)
    {
      EXPECT_EQ(heard[k].Event, vtkCommand::ProgressEvent);
      EXPECT_GE(heard[k].Fraction, last) << heard[k].Stage;
      EXPECT_LE(heard[k].Fraction, 1.0);
      last = heard[k].Fraction;
      solving = solving ||
        heard[k].Stage ==
          (solver == vtkLandmarkSplineFit::SolverSparse ? "sparse solve (conjugate gradients)"
                                                        : "envelope factorisation");
    }
    EXPECT_TRUE(solving) << "solver " << solver;
    EXPECT_STREQ(fit->GetStage(), "");

    heard.clear();
    fit->SetRadius(-1.0);
    EXPECT_EQ(fit->Fit(), 0);
    ASSERT_GE(heard.size(), 2u);
    EXPECT_EQ(heard.front().Event, vtkCommand::StartEvent);
    EXPECT_EQ(heard.back().Event, vtkCommand::EndEvent);
  }
}

// Noise of 0.003 on the targets of a smooth displacement, with a radius wide enough (about
// 200 neighbours) for the kernel to tell noise from the displacement: the interpolating fit
// reproduces the noise; smoothing lets the spline pass near the landmarks (by the distance it
// reports, checked through the transform) and follows the displacement more closely elsewhere, on
// both methods alike. Cross-validation chooses such a smoothing; the leave-out check leaves the
// fitted spline alone.
TEST(LandmarkSplineFit, SmoothingFollowsNoisyLandmarksAndCrossValidationChoosesIt)
{
  const NoisySplit split = MakeNoisySplit(2000, 0.003);
  const double radius = SphereRadiusForNeighbours(2000, 200);
  vtkNew<vtkLandmarkSplineFit> fit;
  SetLandmarks(fit, split.Fitted);
  fit->SetRadius(radius);
  ASSERT_EQ(fit->Fit(), 1) << fit->GetErrorMessage();
  EXPECT_EQ(fit->GetLandmarkMaximumDistance(), 0.0);
  EXPECT_EQ(fit->GetLandmarkRMSDistance(), 0.0);
  const double exactError = RmsError(fit->GetTransform(), split.Tested);

  for (const int solver :
    { vtkLandmarkSplineFit::SolverEnvelope, vtkLandmarkSplineFit::SolverSparse })
  {
    fit->SetSolver(solver);
    fit->SetSmoothing(0.3);
    ASSERT_EQ(fit->Fit(), 1) << fit->GetErrorMessage();
    const std::vector<double> moved = Warped(fit->GetTransform(), split.Fitted);
    double largest = 0.0;
    double squares = 0.0;
    for (size_t i = 0; i < split.Fitted.size(); ++i)
    {
      double d2 = 0.0;
      for (int a = 0; a < 3; ++a)
      {
        d2 += std::pow(moved[3 * i + a] - split.Fitted[i].Target[a], 2);
      }
      largest = std::max(largest, std::sqrt(d2));
      squares += d2;
    }
    EXPECT_GT(fit->GetLandmarkMaximumDistance(), 1e-3) << "solver " << solver;
    EXPECT_NEAR(fit->GetLandmarkMaximumDistance(), largest, 1e-5) << "solver " << solver;
    EXPECT_NEAR(fit->GetLandmarkRMSDistance(), std::sqrt(squares / split.Fitted.size()), 1e-5)
      << "solver " << solver;
    EXPECT_LT(RmsError(fit->GetTransform(), split.Tested), 0.8 * exactError) << "solver " << solver;
  }

  const std::vector<float> before(fit->GetTransform()->GetSplineCoeffX(),
    fit->GetTransform()->GetSplineCoeffX() + split.Fitted.size() + 4);
  ASSERT_EQ(fit->LeaveOutCheck(0.1), 1) << fit->GetErrorMessage();
  EXPECT_GT(fit->GetLeaveOutRMSError(), 0.0);
  EXPECT_GE(fit->GetLeaveOutMaximumError(), fit->GetLeaveOutRMSError());
  EXPECT_EQ(before,
    std::vector<float>(fit->GetTransform()->GetSplineCoeffX(),
      fit->GetTransform()->GetSplineCoeffX() + split.Fitted.size() + 4));
  EXPECT_EQ(fit->LeaveOutCheck(1.5), 0);

  const double candidates[] = { 0.0, 0.03, 0.3, 3.0 };
  const double chosen = fit->ChooseSmoothing(candidates, 4, 4);
  EXPECT_GT(chosen, 0.0);
  EXPECT_EQ(fit->GetSmoothing(), chosen);
  ASSERT_EQ(fit->Fit(), 1);
  EXPECT_LT(RmsError(fit->GetTransform(), split.Tested), exactError);
  // The chosen value's cross-validation error is kept, the least of the candidates', so that
  // fits with other radii can be compared by it.
  const double chosenError = fit->GetLeaveOutRMSError();
  EXPECT_GT(chosenError, 0.0);
  for (const double alone : { chosen, 0.0 })
  {
    ASSERT_EQ(fit->ChooseSmoothing(&alone, 1, 4), alone);
    if (alone == chosen)
    {
      EXPECT_EQ(fit->GetLeaveOutRMSError(), chosenError);
    }
    else
    {
      EXPECT_GT(fit->GetLeaveOutRMSError(), chosenError) << "smoothing " << alone;
    }
  }
}

// The default method is the one with the smaller predicted work: the sparse solve where the
// envelope's factorisation dominates (10,000 landmarks with 30 neighbours, even or random:
// measured about twice as fast), the envelope where the neighbours are many for the size
// (its band stays narrow against the sparse solve's entries and steps), and on small sets,
// where the sparse solve would save a few milliseconds at most.
TEST(LandmarkSplineFit, AutoTakesTheMethodThatIsMeasuredFaster)
{
  const struct
  {
    const char* Name;
    bool Random;
    int N;
    double Neighbours;
    bool Sparse;
  } cases[] = {
    { "even, 30 neighbours, small", false, 3000, 30, false },
    { "even, 30 neighbours", false, 10000, 30, true },
    { "random, 30 neighbours", true, 10000, 30, true },
    { "even, 100 neighbours", false, 5000, 100, false },
    { "even, 300 neighbours", false, 10000, 300, false },
  };
  for (const auto& c : cases)
  {
    const std::vector<Landmark> landmarks =
      c.Random ? RandomSphereLandmarks(c.N, 5) : SphereLandmarks(c.N);
    vtkNew<vtkLandmarkSplineFit> fit;
    SetLandmarks(fit, landmarks);
    fit->SetRadius(SphereRadiusForNeighbours(c.N, c.Neighbours));
    ASSERT_EQ(fit->Fit(), 1) << c.Name << ": " << fit->GetErrorMessage();
    EXPECT_EQ(fit->GetSparseSolveUsed(), c.Sparse) << c.Name << ", " << c.N << " landmarks";
  }
}

// The bundled sample through the product: the fitting tool fits leg.dat with the run script's
// radius, and the viewer's shape transform, given the coefficient file it wrote, carries the
// model into the pose the landmarks describe.
#include "SampleFiles.h"

#include "TransformFile.h"
#include "vtkShapeTransform.h"

namespace
{

using namespace samplefiles;

// The sample's coefficient file, as the fitting tool writes it with the run script's radius.
void FitSample(TransformCoefficients& c)
{
  const testsupport::TempDir scratch("quorvel-sample-fit-");
  const std::string& dir = scratch.Get();
  ASSERT_FALSE(dir.empty());
  std::filesystem::copy_file(
    kDataDir + "/leg.dat", dir + "/leg.dat", std::filesystem::copy_options::overwrite_existing);
  const double radius = RunScriptRadius();
  ASSERT_GT(radius, 0.0);
  char radiusText[32];
  std::snprintf(radiusText, sizeof(radiusText), "%g", radius);
  const std::string command = std::string("\"") + PRAVIK_EXE + "\" \"" + dir + "/leg.dat\" " +
    radiusText + " > \"" + dir + "/out.txt\"";
  ASSERT_EQ(std::system(command.c_str()), 0) << command << "\n" << ReadFile(dir + "/out.txt");

  const TransformFileResult read = ReadTransformCoefficients((dir + "/leg.trc").c_str(), c);
  ASSERT_EQ(read.Status, TransformFileStatus::Ok) << read.Reason;
}

TEST(SampleFit, FittingToolAndShapeTransformPoseTheModel)
{
  TransformCoefficients c;
  ASSERT_NO_FATAL_FAILURE(FitSample(c));
  const double radius = RunScriptRadius();

  vtkSmartPointer<vtkPolyData> leg = ReadModel(kDataDir + "/leg.vtk");
  vtkNew<vtkShapeTransform> transform;
  transform->SetParameters(c.Radius, c.Points, c.CoeffX.data(), c.CoeffY.data(), c.CoeffZ.data(),
    c.UnList.data(), c.Locator);
  transform->SetFactor(1.0f);
  vtkNew<vtkPoints> deformed;
  transform->TransformPoints(leg->GetPoints(), deformed);
  ASSERT_EQ(deformed->GetNumberOfPoints(), leg->GetNumberOfPoints());

  // Against a double-precision fit of the same landmarks: the single-precision solve and
  // the six decimals of the coefficient file cost next to nothing.
  std::string problem;
  const std::vector<LandmarkLine> landmarks = ReadLandmarks(kDataDir + "/leg.dat", problem);
  ASSERT_EQ(problem, "");
  const std::vector<std::array<double, 3>> coeff = legsample::FitSpline(landmarks, radius);
  double apart = 0;
  for (vtkIdType i = 0; i < leg->GetNumberOfPoints(); ++i)
  {
    double p[3];
    double q[3];
    leg->GetPoint(i, p);
    legsample::Deform(landmarks, coeff, radius, p, q);
    apart = std::max(apart, Distance(q, deformed->GetPoint(i)));
  }
  std::printf("fitting tool and double-precision fit at most %.2e apart\n", apart);
  EXPECT_LT(apart, 1e-4) << "the fitting tool's spline differs from a double-precision fit";

  const PoseMatch match = ComparePose(leg, deformed);
  std::printf("%s\n", match.Summary().c_str());
  ExpectSmoothMatch(match);

  // Half way, the model lies half way between its shape and the pose.
  transform->SetFactor(0.5f);
  vtkNew<vtkPoints> half;
  transform->TransformPoints(leg->GetPoints(), half);
  double worstHalf = 0;
  for (vtkIdType i = 0; i < leg->GetNumberOfPoints(); i += 13)
  {
    const double* p = leg->GetPoint(i);
    const double* full = deformed->GetPoint(i);
    const double middle[3] = { 0.5 * (p[0] + full[0]), 0.5 * (p[1] + full[1]),
      0.5 * (p[2] + full[2]) };
    worstHalf = std::max(worstHalf, Distance(middle, half->GetPoint(i)));
  }
  EXPECT_LT(worstHalf, 1e-5);
}

TEST(SampleFit, InverseCarriesThePosedModelBack)
{
  TransformCoefficients c;
  ASSERT_NO_FATAL_FAILURE(FitSample(c));
  vtkSmartPointer<vtkPolyData> leg = ReadModel(kDataDir + "/leg.vtk");
  vtkNew<vtkShapeTransform> transform;
  transform->SetParameters(c);
  vtkAbstractTransform* inverse = transform->GetInverse();
  vtkNew<vtkPoints> vertices; // every third, to keep the test short
  for (vtkIdType i = 0; i < leg->GetNumberOfPoints(); i += 3)
  {
    vertices->InsertNextPoint(leg->GetPoint(i));
  }
  // Up to half way the deformation is one to one around the model (beyond, it folds space near
  // the knee: more than one point lands on some places, and no inverse can tell which).
  for (float factor : { 0.25f, 0.5f, -0.5f })
  {
    transform->SetFactor(factor);
    vtkNew<vtkPoints> posed;
    transform->TransformPoints(vertices, posed);
    vtkNew<vtkPoints> back;
    inverse->TransformPoints(posed, back);
    ASSERT_EQ(back->GetNumberOfPoints(), vertices->GetNumberOfPoints());
    double worst = 0;
    for (vtkIdType i = 0; i < vertices->GetNumberOfPoints(); ++i)
    {
      worst = std::max(worst, Distance(vertices->GetPoint(i), back->GetPoint(i)));
    }
    std::printf("factor %.2f: the inverse puts every point back within %.2e\n", factor, worst);
    // Single-precision points; the inverse's tolerance is 1e-6.
    EXPECT_LT(worst, 1e-6) << "factor " << factor;
  }
}

} // namespace

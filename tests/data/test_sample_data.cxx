// The bundled sample: regenerating it gives the committed files, the model is a closed,
// outward-facing surface labelled body/sock, the landmark file is readable, covers the model
// and fits a spline that reproduces the intended pose, and the bitmaps are 24-bit.
#include "SampleFiles.h"

namespace
{

namespace fs = std::filesystem;
using namespace samplefiles;

TEST(SampleData, GeneratorReproducesTheCommittedFiles)
{
  const testsupport::TempDir dir("quorvel-sample-data-");
  const fs::path out = dir.Get();
  ASSERT_FALSE(out.empty());
  const std::string command = std::string("\"") + MAKE_SAMPLE_EXE + "\" \"" + out.string() +
    "\" > \"" + (out / "log.txt").string() + "\"";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  for (const char* name : { "leg.vtk", "leg.dat", "leg.bmp", "background.bmp" })
  {
    const std::string made = ReadFile((out / name).string());
    const std::string committed = ReadFile(kDataDir + "/" + name);
    EXPECT_FALSE(made.empty()) << name;
    EXPECT_TRUE(made == committed) << name << " differs from what make_sample writes now; "
                                   << "regenerate data/ with make_sample";
  }
}

TEST(SampleData, ModelIsAClosedOutwardSurfaceWithOneLabelPerCell)
{
  vtkSmartPointer<vtkPolyData> leg = ReadModel(kDataDir + "/leg.vtk");
  const vtkIdType points = leg->GetNumberOfPoints();
  EXPECT_GE(points, 20000);
  EXPECT_LE(points, 60000);
  ASSERT_GT(leg->GetNumberOfPolys(), 0);
  EXPECT_EQ(leg->GetNumberOfCells(), leg->GetNumberOfPolys()) << "only triangles expected";

  double bounds[6];
  leg->GetBounds(bounds);
  EXPECT_NEAR(bounds[0], -0.52, 0.01) << "hip end";
  EXPECT_NEAR(bounds[1], 0.98, 0.01) << "sole of the foot";
  // Centred across on the texture axis; the front and the toes face +y.
  EXPECT_NEAR(0.5 * (bounds[4] + bounds[5]), legsample::kAxisPoint1[2], 0.03);
  EXPECT_GT(bounds[3], 0.25) << "the toes should point up";
  EXPECT_NEAR(bounds[2], -0.13, 0.02) << "the back of the thigh";

  // Closed and consistently oriented: every directed edge occurs once and its reverse once.
  std::map<std::pair<vtkIdType, vtkIdType>, int> edges;
  double volume = 0;
  vtkNew<vtkIdList> ids;
  for (vtkIdType c = 0; c < leg->GetNumberOfCells(); ++c)
  {
    leg->GetCellPoints(c, ids);
    ASSERT_EQ(ids->GetNumberOfIds(), 3) << "cell " << c;
    double p[3][3];
    for (int k = 0; k < 3; ++k)
    {
      leg->GetPoint(ids->GetId(k), p[k]);
      ++edges[{ ids->GetId(k), ids->GetId((k + 1) % 3) }];
    }
    // Divergence theorem: positive for outward-facing triangles.
    volume += (p[0][0] * (p[1][1] * p[2][2] - p[1][2] * p[2][1]) -
                p[0][1] * (p[1][0] * p[2][2] - p[1][2] * p[2][0]) +
                p[0][2] * (p[1][0] * p[2][1] - p[1][1] * p[2][0])) /
      6.0;
  }
  size_t bad = 0;
  for (const auto& [edge, count] : edges)
  {
    const auto reverse = edges.find({ edge.second, edge.first });
    if (count != 1 || reverse == edges.end() || reverse->second != 1)
    {
      ++bad;
    }
  }
  EXPECT_EQ(bad, 0u) << "edges that are open, shared by more than two triangles or flipped";
  // A leg of this size holds a few hundredths of a cubic unit.
  EXPECT_GT(volume, 0.01);
  EXPECT_LT(volume, 0.1);
  EXPECT_EQ(SharpEdges(leg, 30.0), 0) << "the skin should shade smoothly everywhere";

  vtkDataArray* labels = leg->GetCellData()->GetScalars();
  ASSERT_NE(labels, nullptr);
  EXPECT_EQ(labels->GetNumberOfComponents(), 1);
  ASSERT_EQ(labels->GetNumberOfTuples(), leg->GetNumberOfCells());
  EXPECT_EQ(leg->GetPointData()->GetScalars(), nullptr);
  vtkIdType body = 0;
  vtkIdType sock = 0;
  double sockBounds[2] = { 1e9, -1e9 };
  for (vtkIdType c = 0; c < labels->GetNumberOfTuples(); ++c)
  {
    const double value = labels->GetTuple1(c);
    ASSERT_TRUE(value == 0.0 || value == 1.0) << "cell " << c << " has scalar " << value;
    if (value == 1.0)
    {
      ++body;
      continue;
    }
    ++sock;
    double cellBounds[6];
    leg->GetCellBounds(c, cellBounds);
    sockBounds[0] = std::min(sockBounds[0], cellBounds[0]);
    sockBounds[1] = std::max(sockBounds[1], cellBounds[1]);
  }
  EXPECT_GT(body, 0);
  EXPECT_GT(sock, 1000) << "the textured part should be easy to see";
  EXPECT_GT(body, sock);
  // The sock is a band around the lower leg, clear of the knee and of the foot.
  EXPECT_GT(sockBounds[0], 0.4);
  EXPECT_LT(sockBounds[1], 0.85);
}

TEST(SampleData, LandmarksAreReadableAndCoverTheModel)
{
  std::string problem;
  const std::vector<LandmarkLine> landmarks = ReadLandmarks(kDataDir + "/leg.dat", problem);
  ASSERT_EQ(problem, "");
  ASSERT_GE(landmarks.size(), 200u);
  ASSERT_LE(landmarks.size(), 2000u);

  const double radius = RunScriptRadius();
  EXPECT_EQ(radius, legsample::kRadius) << "scripts/run.sh fits with another radius";

  vtkNew<vtkPoints> sources;
  for (const LandmarkLine& l : landmarks)
  {
    sources->InsertNextPoint(l.Source.data());
  }
  vtkNew<vtkPolyData> set;
  set->SetPoints(sources);
  vtkNew<vtkPointLocator> locator;
  locator->SetDataSet(set);
  locator->BuildLocator();

  // Distinct sources, and enough of them inside each one's support for a smooth fit.
  vtkNew<vtkIdList> near;
  double nearest = 1e9;
  vtkIdType fewest = 1 << 30;
  vtkIdType most = 0;
  for (vtkIdType i = 0; i < sources->GetNumberOfPoints(); ++i)
  {
    locator->FindPointsWithinRadius(radius, sources->GetPoint(i), near);
    fewest = std::min(fewest, near->GetNumberOfIds() - 1);
    most = std::max(most, near->GetNumberOfIds() - 1);
    for (vtkIdType k = 0; k < near->GetNumberOfIds(); ++k)
    {
      if (near->GetId(k) != i)
      {
        double a[3];
        double b[3];
        sources->GetPoint(i, a);
        sources->GetPoint(near->GetId(k), b);
        nearest = std::min(nearest, Distance(a, b));
      }
    }
  }
  EXPECT_GT(nearest, 0.5 * legsample::kLandmarkSpacing);
  EXPECT_GE(fewest, 20);
  EXPECT_LT(most, sources->GetNumberOfPoints() / 2) << "the support should stay local";

  // Not on one plane: the spread of the sources has three clear principal directions.
  double mean[3] = { 0, 0, 0 };
  for (const LandmarkLine& l : landmarks)
  {
    for (int a = 0; a < 3; ++a)
    {
      mean[a] += l.Source[static_cast<size_t>(a)] / static_cast<double>(landmarks.size());
    }
  }
  double cov[3][3] = {};
  for (const LandmarkLine& l : landmarks)
  {
    for (int a = 0; a < 3; ++a)
    {
      for (int b = 0; b < 3; ++b)
      {
        cov[a][b] += (l.Source[static_cast<size_t>(a)] - mean[a]) *
          (l.Source[static_cast<size_t>(b)] - mean[b]) / static_cast<double>(landmarks.size());
      }
    }
  }
  const double det = cov[0][0] * (cov[1][1] * cov[2][2] - cov[1][2] * cov[2][1]) -
    cov[0][1] * (cov[1][0] * cov[2][2] - cov[1][2] * cov[2][0]) +
    cov[0][2] * (cov[1][0] * cov[2][1] - cov[1][1] * cov[2][0]);
  EXPECT_GT(det, 1e-8);

  // Every model point has a landmark well inside the radius, so the whole model moves.
  vtkSmartPointer<vtkPolyData> leg = ReadModel(kDataDir + "/leg.vtk");
  double farthest = 0;
  for (vtkIdType i = 0; i < leg->GetNumberOfPoints(); ++i)
  {
    double p[3];
    leg->GetPoint(i, p);
    farthest = std::max(farthest, Distance(p, sources->GetPoint(locator->FindClosestPoint(p))));
  }
  EXPECT_LT(farthest, 0.5 * radius);
}

TEST(SampleData, FittedSplineReproducesThePoseOnTheModel)
{
  std::string problem;
  const std::vector<LandmarkLine> landmarks = ReadLandmarks(kDataDir + "/leg.dat", problem);
  ASSERT_EQ(problem, "");
  const double radius = RunScriptRadius();
  ASSERT_GT(radius, 0.0);
  for (const LandmarkLine& l : landmarks)
  {
    double target[3];
    legsample::Warp(l.Source.data(), target);
    ASSERT_LT(Distance(target, l.Target.data()), 2e-6) << "a target is not the posed source";
  }

  // Fitted in double precision, the deformed model point is x - s(x), s fitted to source
  // minus target; it should match the pose the landmarks were taken from.
  const std::vector<std::array<double, 3>> coeff = legsample::FitSpline(landmarks, radius);
  vtkSmartPointer<vtkPolyData> leg = ReadModel(kDataDir + "/leg.vtk");
  vtkNew<vtkPoints> fitted;
  fitted->SetNumberOfPoints(leg->GetNumberOfPoints());
  for (vtkIdType i = 0; i < leg->GetNumberOfPoints(); ++i)
  {
    double p[3];
    double q[3];
    leg->GetPoint(i, p);
    legsample::Deform(landmarks, coeff, radius, p, q);
    fitted->SetPoint(i, q);
  }
  const PoseMatch match = ComparePose(leg, fitted);
  std::printf("%s\n", match.Summary().c_str());
  EXPECT_GT(match.LargestMove, 0.2) << "the deformation should be plain to see";
  ExpectSmoothMatch(match);
}

TEST(SampleData, BitmapsAre24BitOfTheExpectedSize)
{
  struct Case
  {
    const char* Name;
    int Width;
    int Height;
  };
  for (const Case& c : { Case{ "leg.bmp", legsample::kTextureSize, legsample::kTextureSize },
         Case{ "background.bmp", legsample::kBackgroundWidth, legsample::kBackgroundHeight } })
  {
    const std::string path = kDataDir + "/" + c.Name;
    const std::string bytes = ReadFile(path);
    ASSERT_GT(bytes.size(), 54u) << c.Name;
    EXPECT_EQ(bytes.substr(0, 2), "BM") << c.Name;
    EXPECT_EQ(static_cast<unsigned char>(bytes[28]), 24) << c.Name << ": bits per pixel";

    vtkNew<vtkBMPReader> reader;
    reader->SetFileName(path.c_str());
    reader->Update();
    vtkImageData* image = reader->GetOutput();
    int dims[3];
    image->GetDimensions(dims);
    EXPECT_EQ(dims[0], c.Width) << c.Name;
    EXPECT_EQ(dims[1], c.Height) << c.Name;
    EXPECT_EQ(image->GetNumberOfScalarComponents(), 3) << c.Name;

    // A picture, not a flat colour.
    std::map<std::array<int, 3>, int> colours;
    for (int j = 0; j < dims[1]; j += 3)
    {
      for (int i = 0; i < dims[0]; i += 3)
      {
        std::array<int, 3> rgb{};
        for (int k = 0; k < 3; ++k)
        {
          rgb[static_cast<size_t>(k)] =
            static_cast<int>(image->GetScalarComponentAsDouble(i, j, 0, k));
        }
        ++colours[rgb];
      }
    }
    EXPECT_GE(colours.size(), 8u) << c.Name;
  }
}

} // namespace

// Save Model writes the shape on screen (deformed at the factor in force, or as read), only
// while the view is paused, and never leaves a partial file; Load Texture puts a readable
// bitmap on the textured part and refuses one that cannot be read.
#include "DocHarness.h"

#include "vtkShapeTransform.h"

#include <gtest/gtest.h>

#include <vtkActor.h>
#include <vtkPolyDataNormals.h>
#include <vtkTexture.h>

#include <csignal>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <sys/resource.h>

using namespace dochar;

namespace
{
std::vector<std::string> FilesIn(const std::string& dir)
{
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str()))
  {
    while (dirent* e = ::readdir(d))
    {
      const std::string name = e->d_name;
      if (name != "." && name != "..")
      {
        names.push_back(name);
      }
    }
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string Contents(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Largest distance between the saved points and x - factor * d(x).
double SavedDeviation(
  const std::string& saved, const Spline& spline, vtkPoints* original, float factor)
{
  vtkSmartPointer<vtkPolyData> data = ReadPolyData(saved);
  vtkPoints* points = data->GetPoints();
  if (!points || points->GetNumberOfPoints() != original->GetNumberOfPoints())
  {
    return 1e30;
  }
  double worst = 0;
  for (vtkIdType i = 0; i < original->GetNumberOfPoints(); ++i)
  {
    double x[3], d[3], p[3];
    original->GetPoint(i, x);
    spline.Displacement(x, d);
    points->GetPoint(i, p);
    for (int a = 0; a < 3; ++a)
    {
      worst = std::max(worst, std::abs(p[a] - (x[a] - factor * d[a])));
    }
  }
  return worst;
}

// Pixels clearly redder than they are green or blue.
long RedPixels(DocViewer& viewer)
{
  int w = 0, h = 0;
  const std::vector<unsigned char> picture = viewer.Picture(w, h);
  long count = 0;
  for (int i = 0; i < w * h; ++i)
  {
    const int r = picture[3 * i], g = picture[3 * i + 1], b = picture[3 * i + 2];
    count += (r > 60 && r > 2 * g + 20 && r > 2 * b + 20) ? 1 : 0;
  }
  return count;
}

// Lowers the largest file this process may write, for one scope.
class FileSizeLimit
{
public:
  explicit FileSizeLimit(rlim_t bytes)
  {
    ::getrlimit(RLIMIT_FSIZE, &this->Saved);
    this->PreviousHandler = std::signal(SIGXFSZ, SIG_IGN); // writes then fail with EFBIG
    rlimit limit = this->Saved;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit()
  {
    ::setrlimit(RLIMIT_FSIZE, &this->Saved);
    std::signal(SIGXFSZ, this->PreviousHandler);
  }

private:
  rlimit Saved;
  void (*PreviousHandler)(int);
};
}

TEST(HaldenDocSave, SaveModelWritesTheDeformedShapeOnlyWhilePaused)
{
  TempDir dir;
  DocViewer viewer;
  CHaldenDoc* doc = viewer.Document;
  CScriptedPrompts prompts;
  viewer.View->Paused = true;
  EXPECT_FALSE(viewer.Frame->IsCommandEnabled(ID_SAVE_MODEL)); // no model yet
  viewer.OpenModel(prompts, SampleModel());
  prompts.AnswerFile(SampleTransform());
  viewer.Frame->ExecuteCommand(ID_LOAD_TRANSFORM);
  doc->ShapeTransform->SetFactor(0.96f);

  viewer.View->Paused = false;
  EXPECT_FALSE(viewer.Frame->IsCommandEnabled(ID_SAVE_MODEL));
  viewer.View->Paused = true;
  ASSERT_TRUE(viewer.Frame->IsCommandEnabled(ID_SAVE_MODEL));

  const std::string saved = dir.Path("deformed.vtk");
  const int updates = viewer.View->InitialUpdates;
  prompts.AnswerFile(saved);
  viewer.Frame->ExecuteCommand(ID_SAVE_MODEL);

  const FileDialogRequest& asked = prompts.FileRequests.back();
  EXPECT_FALSE(asked.Open);
  EXPECT_EQ(asked.Title, "Save File");
  EXPECT_EQ(asked.DefaultExtension, "vtk");
  EXPECT_EQ(asked.InitialName, SampleModel());
  EXPECT_EQ(asked.Flags & 0x1004u, 0x1004u);
  EXPECT_TRUE(prompts.Messages.empty());
  EXPECT_EQ(doc->GetPathName(), saved);
  EXPECT_EQ(viewer.Application->GetRecentFileList().front(), saved);
  EXPECT_EQ(viewer.View->InitialUpdates, updates + 1);

  Spline fitted;
  ASSERT_TRUE(fitted.Read(SampleTransform()));
  vtkSmartPointer<vtkPolyData> original = ReadPolyData(SampleModel());
  EXPECT_LT(SavedDeviation(saved, fitted, original->GetPoints(), 0.96f), 2e-5);
  EXPECT_NE(Contents(saved).find("ASCII"), std::string::npos);

  // Saving again to the same name at another factor writes the new shape.
  doc->ShapeTransform->SetFactor(0.04f);
  prompts.AnswerFile(saved);
  viewer.Frame->ExecuteCommand(ID_SAVE_MODEL);
  EXPECT_LT(SavedDeviation(saved, fitted, original->GetPoints(), 0.04f), 2e-5);

  // With the transform off the model is saved as read.
  prompts.CancelFile();
  viewer.Frame->ExecuteCommand(ID_LOAD_TRANSFORM);
  prompts.AnswerFile(dir.Path("plain.vtk"));
  viewer.Frame->ExecuteCommand(ID_SAVE_MODEL);
  vtkSmartPointer<vtkPolyData> plain = ReadPolyData(dir.Path("plain.vtk"));
  ASSERT_EQ(plain->GetNumberOfPoints(), original->GetNumberOfPoints());
  EXPECT_LT(MaxDistance(plain->GetPoints(), original->GetPoints()), 1e-6);
  EXPECT_EQ(plain->GetNumberOfCells(), original->GetNumberOfCells());
  EXPECT_EQ(FilesIn(dir.Get()), (std::vector<std::string>{ "deformed.vtk", "plain.vtk" }));
}

TEST(HaldenDocSave, AFailedSaveIsReportedAndLeavesNoPartialFile)
{
  TempDir dir;
  DocViewer viewer;
  CHaldenDoc* doc = viewer.Document;
  CScriptedPrompts prompts;
  viewer.OpenModel(prompts, SampleModel());
  const std::string earlier = dir.Path("earlier.vtk");
  std::ofstream(earlier) << "an earlier file that must survive\n";
  ::mkdir(dir.Path("folder.vtk").c_str(), 0755);

  // The disk fills up in the middle of the model.
  {
    FileSizeLimit limit(20000);
    prompts.AnswerFile(earlier);
    viewer.Frame->ExecuteCommand(ID_SAVE_MODEL);
  }
  ASSERT_EQ(prompts.Messages.size(), 1u);
  EXPECT_NE(prompts.Messages[0].Text.find(earlier), std::string::npos) << prompts.Messages[0].Text;
  EXPECT_EQ(Contents(earlier), "an earlier file that must survive\n");
  EXPECT_EQ(doc->GetPathName(), SampleModel());

  // A folder of that name, and a folder that does not exist.
  for (const std::string& target : { dir.Path("folder.vtk"), dir.Path("no/such/dir.vtk") })
  {
    SCOPED_TRACE(target);
    prompts.Messages.clear();
    EXPECT_FALSE(doc->OnSaveDocument(target.c_str()));
    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_NE(prompts.Messages[0].Text.find(target), std::string::npos);
  }
  EXPECT_EQ(FilesIn(dir.Get()), (std::vector<std::string>{ "earlier.vtk", "folder.vtk" }));
  EXPECT_TRUE(FilesIn(dir.Path("folder.vtk")).empty());
}

TEST(HaldenDocTexture, ALoadedBitmapShowsOnTheTexturedPart)
{
  TempDir dir;
  WriteBitmap(dir.Path("red.bmp"), 230, 20, 20);
  DocViewer viewer;
  ASSERT_TRUE(viewer.ShowAndPaint());
  CHaldenDoc* doc = viewer.Document;
  CScriptedPrompts prompts;
  viewer.OpenModel(prompts, SampleModel());
  ASSERT_EQ(RedPixels(viewer), 0);

  ASSERT_TRUE(viewer.Frame->IsCommandEnabled(ID_LOAD_TEXTURE));
  prompts.AnswerFile(dir.Path("red.bmp"));
  viewer.Frame->ExecuteCommand(ID_LOAD_TEXTURE);
  const FileDialogRequest& asked = prompts.FileRequests.back();
  EXPECT_EQ(asked.Title, "Load Texture File");
  EXPECT_EQ(asked.DefaultExtension, "bmp");
  EXPECT_EQ(asked.InitialName, SampleModel().substr(0, SampleModel().size() - 4) + ".bmp");
  ASSERT_EQ(asked.Filters.size(), 2u);
  EXPECT_EQ(asked.Filters[0].first, "Bitmap Files");
  EXPECT_EQ(asked.Filters[0].second, "*.BMP");
  EXPECT_TRUE(prompts.Messages.empty());
  EXPECT_EQ(doc->TextureOn, 1);
  EXPECT_EQ(doc->TexturedActor->GetTexture(), doc->Texture);
  EXPECT_EQ(doc->BodyActor->GetTexture(), nullptr);
  const long red = RedPixels(viewer);
  EXPECT_GT(red, 500);
  // Only the textured part: the body stays its own colour.
  EXPECT_LT(red, viewer.ModelPixels() / 2);

  // Opening another model keeps the texture on.
  viewer.OpenModel(prompts, SampleModel());
  EXPECT_EQ(doc->TextureOn, 1);
  EXPECT_GT(RedPixels(viewer), 500);

  prompts.CancelFile();
  viewer.Frame->ExecuteCommand(ID_LOAD_TEXTURE);
  EXPECT_EQ(doc->TextureOn, 0);
  EXPECT_EQ(doc->TexturedActor->GetTexture(), nullptr);
  EXPECT_EQ(RedPixels(viewer), 0);
}

TEST(HaldenDocTexture, AnUnreadableBitmapIsNamedAndTheTextureStaysAsItWas)
{
  TempDir dir;
  WriteBitmap(dir.Path("red.bmp"), 230, 20, 20);
  std::ofstream(dir.Path("text.bmp")) << "not a picture\n";
  {
    const std::string whole = Contents(dir.Path("red.bmp"));
    std::ofstream(dir.Path("cut.bmp"), std::ios::binary) << whole.substr(0, 54 + 300);
  }
  const std::vector<std::string> bad = { dir.Path("text.bmp"), dir.Path("cut.bmp"),
    dir.Path("missing.bmp") };

  DocViewer viewer;
  ASSERT_TRUE(viewer.ShowAndPaint());
  CHaldenDoc* doc = viewer.Document;
  CScriptedPrompts prompts;
  viewer.OpenModel(prompts, SampleModel());

  for (int textured = 0; textured < 2; ++textured)
  {
    if (textured)
    {
      prompts.AnswerFile(dir.Path("red.bmp"));
      viewer.Frame->ExecuteCommand(ID_LOAD_TEXTURE);
      ASSERT_EQ(doc->TextureOn, 1);
    }
    const long redBefore = RedPixels(viewer);
    for (const std::string& path : bad)
    {
      SCOPED_TRACE(path);
      prompts.Messages.clear();
      prompts.AnswerFile(path);
      viewer.Frame->ExecuteCommand(ID_LOAD_TEXTURE);
      ASSERT_EQ(prompts.Messages.size(), 1u);
      EXPECT_NE(prompts.Messages[0].Text.find(path), std::string::npos);
      EXPECT_EQ(doc->TextureOn, textured);
      EXPECT_EQ(doc->TexturedActor->GetTexture(), textured ? doc->Texture : nullptr);
      EXPECT_EQ(RedPixels(viewer), redBefore);
    }
  }
}

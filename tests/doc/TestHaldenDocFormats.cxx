// Models in the other formats through the document: each opens and shows; Save Model writes
// the format of the chosen extension at the blend in force, the very points pravik-warp writes
// at that factor; a full disk fails the save of every format without touching the earlier file.
#include "DocHarness.h"

#include "ModelFile.h"
#include "PravikProcess.h"
#include "vtkShapeTransform.h"

#include <gtest/gtest.h>

#include <vtkCellData.h>

#include <csignal>
#include <fstream>
#include <iterator>
#include <sys/resource.h>

using namespace dochar;

namespace
{
int RunWarp(std::vector<std::string> args)
{
  args.insert(args.begin(), QUORVEL_PRAVIK_WARP);
  return pravikprocess::RunProgram(args);
}

vtkSmartPointer<vtkPolyData> Read(const std::string& path)
{
  std::string reason;
  auto model = ReadModelFile(path, reason);
  EXPECT_TRUE(model) << path << ": " << reason;
  return model;
}
}

//------------------------------------------------------------------------------
TEST(HaldenDocFormats, SaveModelAtABlendWritesWhatPravikWarpWritesAtThatFactor)
{
  TempDir dir;
  DocViewer viewer;
  ASSERT_TRUE(viewer.ShowAndPaint());
  CHaldenDoc* doc = viewer.Document;
  CScriptedPrompts prompts;
  viewer.OpenModel(prompts, SampleModel());
  prompts.AnswerFile(SampleTransform());
  viewer.Frame->ExecuteCommand(ID_LOAD_TRANSFORM);
  // The animation has shown another blend first: the saved shape comes from the cache.
  doc->ShapeTransform->SetFactor(0.2f);
  viewer.ModelPixels();
  viewer.View->Paused = true;
  for (const char* blend : { "0.48", "0.96" })
  {
    doc->ShapeTransform->SetFactor(std::stof(blend));
    for (const char* extension : { "vtp", "ply" })
    {
      SCOPED_TRACE(std::string(extension) + " at " + blend);
      const std::string saved = dir.Path(std::string("saved.") + extension);
      const std::string warped = dir.Path(std::string("warped.") + extension);
      prompts.AnswerFile(saved);
      viewer.Frame->ExecuteCommand(ID_SAVE_MODEL);
      ASSERT_TRUE(prompts.Messages.empty()) << prompts.Messages[0].Text;
      ASSERT_EQ(RunWarp({ SampleTransform(), SampleModel(), warped, blend }), 0);
      auto a = Read(saved);
      auto b = Read(warped);
      ASSERT_TRUE(a && b);
      ASSERT_EQ(a->GetNumberOfPoints(), b->GetNumberOfPoints());
      EXPECT_LT(MaxDistance(a->GetPoints(), b->GetPoints()), 1e-6);
      EXPECT_EQ(a->GetNumberOfCells(), b->GetNumberOfCells());
    }
  }
}

//------------------------------------------------------------------------------
TEST(HaldenDocFormats, EveryFormatOpensAndAFullDiskFailsItsSave)
{
  TempDir dir;
  DocViewer viewer;
  ASSERT_TRUE(viewer.ShowAndPaint());
  CHaldenDoc* doc = viewer.Document;
  CScriptedPrompts prompts;
  auto sample = ReadPolyData(SampleModel());
  for (const char* extension : { "vtp", "stl", "ply", "obj" })
  {
    SCOPED_TRACE(extension);
    const std::string path = dir.Path(std::string("leg.") + extension);
    std::string reason;
    ASSERT_TRUE(WriteModelFile(sample, path, reason)) << reason;
    viewer.OpenModel(prompts, path);
    ASSERT_TRUE(prompts.Messages.empty()) << prompts.Messages[0].Text;
    EXPECT_EQ(doc->GetPathName(), path);
    EXPECT_EQ(doc->Reader->GetOutput()->GetNumberOfPoints(), sample->GetNumberOfPoints());
    if (sample->GetCellData()->GetScalars() &&
      doc->Reader->GetOutput()->GetCellData()->GetScalars())
    {
      EXPECT_GT(viewer.ModelPixels(), 1000); // labelled: shown by the thresholds
    }

    const std::string earlier = dir.Path(std::string("earlier.") + extension);
    std::ofstream(earlier) << "an earlier file\n";
    {
      struct rlimit saved;
      ::getrlimit(RLIMIT_FSIZE, &saved);
      auto previous = std::signal(SIGXFSZ, SIG_IGN);
      struct rlimit limit = saved;
      limit.rlim_cur = 20000;
      ::setrlimit(RLIMIT_FSIZE, &limit);
      EXPECT_FALSE(doc->OnSaveDocument(earlier.c_str()));
      ::setrlimit(RLIMIT_FSIZE, &saved);
      std::signal(SIGXFSZ, previous);
    }
    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_NE(prompts.Messages[0].Text.find(earlier), std::string::npos);
    std::ifstream in(earlier);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "an earlier file\n");
    prompts.Messages.clear();
  }
}

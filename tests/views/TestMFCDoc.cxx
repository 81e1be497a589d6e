// The document base: the empty document, the file prompt's starting name and dialog, Load
// Background with its enabling, and the renderer layout with and without a background.
#include "ViewHarness.h"

#include "Prompts.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <vtkAlgorithm.h>
#include <vtkBMPReader.h>
#include <vtkImageActor.h>
#include <vtkImageData.h>
#include <vtkMapper.h>
#include <vtkRendererCollection.h>
#include <vtkVectorText.h>

#include <cstring>
#include <fstream>

using harness::Viewer;

namespace
{
const char* const Filter = "Bitmap Files\0*.BMP\0All Files\0*.*\0";

// A bitmap of one colour in dir.
std::string WriteBitmap(const QTemporaryDir& dir, const char* name, int w, int h, unsigned char r,
  unsigned char g, unsigned char b)
{
  const std::string path = dir.path().toStdString() + "/" + name;
  guitest::WriteBitmap(path, r, g, b, w, h);
  return path;
}

// The picture the view renders into memory: bottom-up rows of blue, green, red.
struct Picture
{
  int Width = 0, Height = 0;
  std::vector<unsigned char> Bytes;
  const unsigned char* At(int x, int y) const
  {
    return Bytes.data() + vtkMFCView::DibRowSize(Width) * y + 3 * x;
  }
};

Picture Render(vtkMFCRenderView* view)
{
  Picture picture;
  const int* size = view->GetRenderWindow()->GetSize();
  picture.Width = size[0];
  picture.Height = size[1];
  view->BeginMemoryRendering(picture.Width, picture.Height, view->m_hWnd);
  view->Render();
  const unsigned char* pixels = view->GetMemoryPixels();
  if (pixels)
  {
    picture.Bytes.assign(pixels, pixels + vtkMFCView::DibRowSize(picture.Width) * picture.Height);
  }
  view->EndMemoryRendering();
  return picture;
}

bool Near(const unsigned char* bgr, int b, int g, int r, int tolerance = 3)
{
  return std::abs(bgr[0] - b) <= tolerance && std::abs(bgr[1] - g) <= tolerance &&
    std::abs(bgr[2] - r) <= tolerance;
}
}

TEST(MFCDoc, StartingNameReplacesOrAppendsTheExtensionOfTheFileName)
{
  struct Case
  {
    const char* Name;
    const char* Extension;
    const char* Expected;
  };
  const Case cases[] = {
    { "C:\\models\\head.vtk", ".bmp", "C:\\models\\head.bmp" },
    { "/home/ann/models/head.vtk", ".bmp", "/home/ann/models/head.bmp" },
    { "", ".bmp", ".bmp" },
    { "/data/head", ".trc", "/data/head.trc" },
    { "head", ".csr", "head.csr" },
    { "/data/head.old.vtk", ".trc", "/data/head.old.trc" },
    // A dot in a directory name is not an extension.
    { "/data/v1.2/head", ".bmp", "/data/v1.2/head.bmp" },
    { "C:\\v1.2\\head", ".bmp", "C:\\v1.2\\head.bmp" },
    { "/data/v1.2/head.vtk", ".bmp", "/data/v1.2/head.bmp" },
  };
  for (const Case& c : cases)
  {
    EXPECT_EQ(vtkMFCDoc::StartingName(c.Name, c.Extension), c.Expected) << c.Name;
  }
}

TEST(MFCDoc, PromptForFileAsksWithTheGivenDialogAndReturnsTheChoice)
{
  harness::App();
  vtkMFCDoc document;
  CScriptedPrompts prompts;
  // Longer than the platform's old 260-character buffers: neither cut nor refused.
  const std::string deep = "/tmp/" + std::string(300, 'd') + "/head.vtk";
  const std::string chosen = "/tmp/" + std::string(300, 'c') + "/picked.bmp";
  prompts.AnswerFile(chosen);
  prompts.CancelFile();

  std::string name = deep;
  EXPECT_TRUE(document.PromptForFile(
    name, "Load background Image", OFN_FILEMUSTEXIST | OFN_HIDEREADONLY, Filter, ".bmp", TRUE));
  EXPECT_EQ(name, chosen);
  ASSERT_EQ(prompts.FileRequests.size(), 1u);
  const FileDialogRequest& r = prompts.FileRequests[0];
  EXPECT_TRUE(r.Open);
  EXPECT_EQ(r.Title, "Load background Image");
  EXPECT_EQ(r.Flags, OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT);
  EXPECT_EQ(r.InitialName, "/tmp/" + std::string(300, 'd') + "/head.bmp");
  EXPECT_EQ(r.DefaultExtension, "bmp");
  ASSERT_EQ(r.Filters.size(), 2u);
  EXPECT_EQ(r.Filters[0], std::make_pair(std::string("Bitmap Files"), std::string("*.BMP")));
  EXPECT_EQ(r.Filters[1], std::make_pair(std::string("All Files"), std::string("*.*")));

  // Cancelled: false, and the name is left alone.
  name = "/data/head.vtk";
  EXPECT_FALSE(document.PromptForFile(name, "Save File", OFN_HIDEREADONLY, Filter, ".vtk", FALSE));
  EXPECT_EQ(name, "/data/head.vtk");
  EXPECT_FALSE(prompts.FileRequests[1].Open);
  EXPECT_EQ(prompts.Unanswered, 0);
}

TEST(MFCDoc, AFreshDocumentShowsOnlyTheNoDataTextAndDisablesLoadBackground)
{
  Viewer viewer(false);
  vtkMFCDoc* doc = viewer.Document;
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(doc->NoData, 1);
  EXPECT_EQ(doc->BackgroundOn, 0);
  ASSERT_EQ(doc->Props->GetNumberOfItems(), 1);
  doc->Props->InitTraversal();
  vtkActor* actor = doc->Props->GetNextActor();
  ASSERT_NE(actor->GetMapper(), nullptr);
  auto* text = vtkVectorText::SafeDownCast(actor->GetMapper()->GetInputAlgorithm());
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text->GetText(), "... no data ... ");
  EXPECT_EQ(doc->BackgroundActor->GetInterpolate(), 1);

  // DeleteContents again replaces the props rather than adding to them.
  doc->DeleteContents();
  EXPECT_EQ(doc->Props->GetNumberOfItems(), 1);

  EXPECT_FALSE(viewer.Frame->IsCommandEnabled(ID_LOAD_BACKGROUND));
  CScriptedPrompts prompts;
  EXPECT_FALSE(viewer.Frame->ExecuteCommand(ID_LOAD_BACKGROUND));
  EXPECT_TRUE(prompts.FileRequests.empty());
  doc->NoData = 0;
  EXPECT_TRUE(viewer.Frame->IsCommandEnabled(ID_LOAD_BACKGROUND));
}

TEST(MFCDoc, BackgroundImageIsDrawnBehindTheModelAndCancellingRemovesIt)
{
  QTemporaryDir dir;
  const std::string red = WriteBitmap(dir, "red.bmp", 64, 48, 255, 0, 0);
  Viewer viewer(true);
  ASSERT_TRUE(viewer.ShowAndPaint());
  vtkMFCDoc* doc = viewer.Document;
  auto* view = viewer.View;
  vtkPlatformRenderWindow* window = view->GetRenderWindow();
  doc->NoData = 0; // the text stands in for a model
  doc->SetPathName(dir.path().toStdString() + "/model.vtk", FALSE);

  CScriptedPrompts prompts;
  prompts.AnswerFile(red);
  ASSERT_TRUE(viewer.Frame->ExecuteCommand(ID_LOAD_BACKGROUND));
  ASSERT_EQ(prompts.FileRequests.size(), 1u);
  EXPECT_EQ(prompts.FileRequests[0].InitialName, dir.path().toStdString() + "/model.bmp");
  EXPECT_TRUE(prompts.Messages.empty());
  EXPECT_EQ(doc->BackgroundOn, 1);
  EXPECT_EQ(std::string(doc->BackgroundReader->GetFileName()), red);
  EXPECT_EQ(window->GetNumberOfLayers(), 2);
  ASSERT_EQ(window->GetRenderers()->GetNumberOfItems(), 2);
  EXPECT_EQ(view->GetImageRenderer()->GetLayer(), 0);
  EXPECT_EQ(view->GetRenderer()->GetLayer(), 1);
  EXPECT_EQ(view->GetRenderer()->GetInteractive(), 1);
  EXPECT_EQ(view->GetImageRenderer()->GetInteractive(), 0);

  Picture withImage = Render(view);
  ASSERT_FALSE(withImage.Bytes.empty());
  const int w = withImage.Width, h = withImage.Height;
  long red_ = 0, teal = 0, light = 0;
  for (int y = 0; y < h; ++y)
  {
    for (int x = 0; x < w; ++x)
    {
      const unsigned char* p = withImage.At(x, y);
      red_ += Near(p, 0, 0, 255) ? 1 : 0;
      teal += Near(p, 115, 89, 13) ? 1 : 0;
      light += (p[0] > 150 && p[1] > 150) ? 1 : 0;
    }
  }
  // The image, magnified, fills the view: everywhere the model is not, the picture is the
  // image's colour, also beside the text in its own rows.
  EXPECT_EQ(teal, 0) << "no background colour shows through";
  EXPECT_GT(red_, static_cast<long>(w) * h / 2);
  EXPECT_GT(light, 500) << "the model is drawn in front";
  EXPECT_TRUE(Near(withImage.At(2, 2), 0, 0, 255));
  EXPECT_TRUE(Near(withImage.At(w - 3, h - 3), 0, 0, 255));
  EXPECT_TRUE(Near(withImage.At(3, h / 2), 0, 0, 255));

  // Cancelled: one layer, only the model renderer, the background colour again.
  prompts.CancelFile();
  ASSERT_TRUE(viewer.Frame->ExecuteCommand(ID_LOAD_BACKGROUND));
  EXPECT_EQ(doc->BackgroundOn, 0);
  EXPECT_EQ(std::string(doc->BackgroundReader->GetFileName()), red) << "the name is kept";
  EXPECT_EQ(window->GetNumberOfLayers(), 1);
  ASSERT_EQ(window->GetRenderers()->GetNumberOfItems(), 1);
  EXPECT_EQ(window->GetRenderers()->GetFirstRenderer(), view->GetRenderer());
  Picture without = Render(view);
  ASSERT_FALSE(without.Bytes.empty());
  EXPECT_TRUE(Near(without.At(2, 2), 115, 89, 13));
  EXPECT_TRUE(Near(without.At(3, h / 2), 115, 89, 13));
}

TEST(MFCDoc, ABackgroundThatCannotBeReadIsReportedAndTheOldOneStays)
{
  QTemporaryDir dir;
  const std::string green = WriteBitmap(dir, "green.bmp", 32, 32, 0, 255, 0);
  const std::string bad = dir.path().toStdString() + "/notabitmap.bmp";
  std::ofstream(bad) << "This is a text file, not a picture.\n";
  const std::string cut = dir.path().toStdString() + "/cut.bmp";
  {
    std::ifstream in(green, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream(cut, std::ios::binary) << bytes.substr(0, 70); // header, few pixels
  }

  Viewer viewer(true);
  ASSERT_TRUE(viewer.ShowAndPaint());
  vtkMFCDoc* doc = viewer.Document;
  doc->NoData = 0;
  CScriptedPrompts prompts;
  prompts.AnswerFile(green);
  ASSERT_TRUE(viewer.Frame->ExecuteCommand(ID_LOAD_BACKGROUND));
  ASSERT_EQ(doc->BackgroundOn, 1);

  for (const std::string& unreadable : { bad, cut })
  {
    prompts.AnswerFile(unreadable);
    const std::size_t messages = prompts.Messages.size();
    ASSERT_TRUE(viewer.Frame->ExecuteCommand(ID_LOAD_BACKGROUND));
    ASSERT_EQ(prompts.Messages.size(), messages + 1) << unreadable;
    EXPECT_NE(prompts.Messages.back().Text.find(unreadable), std::string::npos);
    EXPECT_EQ(doc->BackgroundOn, 1);
    EXPECT_EQ(std::string(doc->BackgroundReader->GetFileName()), green);
    EXPECT_EQ(viewer.View->GetRenderWindow()->GetNumberOfLayers(), 2);
    Picture picture = Render(viewer.View);
    ASSERT_FALSE(picture.Bytes.empty());
    EXPECT_TRUE(Near(picture.At(2, 2), 0, 255, 0)) << "the old background still shows";
  }
}

// CheckedUpdate on several threads at once, while yet another thread reports to VTK outside
// any update (as the viewer's deformation thread may while the document reads a model): each
// update hears its own reader's complaints and nothing else, and every other message reaches
// the output window the program installed.
#include "CheckedUpdate.h"
#include "ModelFile.h"
#include "ReliabilityTesting.h"

#include <vtkLogger.h>
#include <vtkNew.h>
#include <vtkObjectFactory.h>
#include <vtkOutputWindow.h>
#include <vtkPolyData.h>
#include <vtkPolyDataReader.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace reliability;

namespace
{
// Keeps every message it is given, from any thread.
class vtkKeepingWindow : public vtkOutputWindow
{
public:
  static vtkKeepingWindow* New();
  vtkTypeMacro(vtkKeepingWindow, vtkOutputWindow);

  void DisplayText(const char* text) override
  {
    std::lock_guard<std::mutex> hold(this->Lock);
    this->Texts.emplace_back(text ? text : "");
  }
  void DisplayErrorText(const char* text) override { this->DisplayText(text); }
  void DisplayWarningText(const char* text) override { this->DisplayText(text); }
  void DisplayGenericWarningText(const char* text) override { this->DisplayText(text); }

  int Containing(const std::string& what)
  {
    std::lock_guard<std::mutex> hold(this->Lock);
    int count = 0;
    for (const std::string& text : this->Texts)
    {
      count += text.find(what) != std::string::npos ? 1 : 0;
    }
    return count;
  }

private:
  std::mutex Lock;
  std::vector<std::string> Texts;
};
vtkStandardNewMacro(vtkKeepingWindow);

const char* const Legacy = "# vtk DataFile Version 3.0\nm\nASCII\nDATASET POLYDATA\n";
}

//------------------------------------------------------------------------------
TEST(CheckedUpdate, ThreadsHearTheirOwnReadersOnly)
{
  ScratchDirectory dir;
  WriteFile(dir.File("good.vtk"),
    std::string(Legacy) + "POINTS 4 float\n0 0 0 1 0 0 0 1 0 0 0 1\nPOLYGONS 1 4\n3 0 1 2\n");
  // Announces five points and holds four: VTK says so only in a generic warning.
  WriteFile(
    dir.File("short.vtk"), std::string(Legacy) + "POINTS 5 float\n0 0 0 1 0 0 0 1 0 0 0 1\n");

  vtkNew<vtkKeepingWindow> window;
  vtkOutputWindow::SetInstance(window);
  // The logger would repeat every message on standard error; the window keeps them.
  vtkLogger::SetStderrVerbosity(vtkLogger::VERBOSITY_OFF);
  // VTK's window is one pointer without synchronisation: a program that reports from other
  // threads before its first update installs the capture first, as the viewer does by
  // reading its model before any deformation thread starts.
  InstallUpdateMessageCapture();

  constexpr int Rounds = 150;
  std::atomic<int> wrong{ 0 };
  std::atomic<bool> readersDone{ false };
  std::vector<std::string> failures[2];
  auto reader = [&](int which)
  {
    const std::string path = dir.File(which == 0 ? "good.vtk" : "short.vtk");
    for (int i = 0; i < Rounds; ++i)
    {
      std::string reason;
      const bool read = static_cast<bool>(ReadModelFile(path, reason));
      const bool right =
        which == 0 ? read : !read && reason.find("mismatch of datasize") != std::string::npos;
      if (!right)
      {
        ++wrong;
        failures[which].push_back(reason);
      }
    }
  };
  // Reports outside any update, the whole time the readers run.
  std::atomic<int> outside{ 0 };
  std::thread reporter(
    [&]
    {
      while (!readersDone.load())
      {
        vtkGenericWarningMacro("outside " << outside.load());
        ++outside;
      }
    });
  std::thread good(reader, 0);
  std::thread bad(reader, 1);
  good.join();
  bad.join();
  readersDone = true;
  reporter.join();

  EXPECT_EQ(wrong.load(), 0);
  for (int which : { 0, 1 })
  {
    for (size_t k = 0; k < failures[which].size() && k < 3; ++k)
    {
      ADD_FAILURE() << (which == 0 ? "good.vtk: " : "short.vtk: ") << failures[which][k];
    }
  }
  // Nothing was lost or taken by an update: every outside message reached the window, and
  // so did each short file's warning, passed on after its update.
  EXPECT_GT(outside.load(), 0);
  EXPECT_EQ(window->Containing("outside "), outside.load());
  EXPECT_EQ(window->Containing("mismatch of datasize"), Rounds);

  // A window installed later gets the capture in front of it at the next update.
  vtkNew<vtkKeepingWindow> later;
  vtkOutputWindow::SetInstance(later);
  std::string reason;
  EXPECT_FALSE(ReadModelFile(dir.File("short.vtk"), reason));
  EXPECT_NE(reason.find("mismatch of datasize"), std::string::npos) << reason;
  EXPECT_EQ(later->Containing("mismatch of datasize"), 1);
  vtkOutputWindow::SetInstance(nullptr);
}

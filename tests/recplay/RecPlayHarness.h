// A document with a model, its frame and a record/play view made through the
// single-document template, scripted dialogs, a private temporary directory, and helpers to
// read and write record files independently of the code under test.
#ifndef RecPlayHarness_h
#define RecPlayHarness_h

#include "Dialog.h"
#include "Prompts.h"
#include "ViewerHarness.h"
#include "vtkRecordPlayView.h"

#include <QApplication>
#include <QWidget>

#include <vtkActor.h>
#include <vtkActorCollection.h>
#include <vtkCamera.h>
#include <vtkPolyDataMapper.h>
#include <vtkRenderer.h>
#include <vtkSphereSource.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace recplay
{
namespace fs = std::filesystem;

using guitest::App;
using guitest::Flush;
using guitest::WaitFor;

/// The 23 slots a record file line sets, as an independent reader keeps them.
using Slots = std::array<double, 23>;

inline Slots DefaultSlots()
{
  return { 0, 0, 1, 0, 0, 0, 0, 1, 0, 2, 0, 0, 30, 1, 0.1, 1000, 1, 0, 0, 90, 45, 0, 0 };
}

/// One parsed line: its delay, the pairs it names, and the slots accumulated so far.
struct Line
{
  int Delay = 0;
  int Count = 0;
  std::vector<int> Named;
  Slots State{};
};

/// Parses a record file with its own reader: every line must be well formed.
inline std::vector<Line> ReadRecordFile(const std::string& path)
{
  std::vector<Line> lines;
  std::ifstream in(path);
  std::string text;
  Slots state = DefaultSlots();
  while (std::getline(in, text))
  {
    std::istringstream words(text);
    std::string header;
    Line line;
    words >> header >> line.Count;
    EXPECT_EQ(header.front(), '[') << text;
    EXPECT_EQ(header.back(), ']') << text;
    line.Delay = std::stoi(header.substr(1, header.size() - 2));
    for (int i = 0; i < line.Count; ++i)
    {
      int slot = -1;
      double value = 0;
      words >> slot >> value;
      EXPECT_TRUE(slot >= 0 && slot < 23) << text;
      if (slot >= 0 && slot < 23)
      {
        state[slot] = value;
        line.Named.push_back(slot);
      }
    }
    EXPECT_FALSE(words.fail()) << text;
    EXPECT_EQ(text.back(), ' ') << "a line ends with a blank: " << text;
    line.State = state;
    lines.push_back(line);
  }
  return lines;
}

/// A line of a record file from slot/value pairs, written by hand.
inline std::string RecordLine(int delay, const std::vector<std::pair<int, double>>& pairs)
{
  std::string line = "[" + std::to_string(delay) + "] " + std::to_string(pairs.size()) + " ";
  char buffer[64];
  for (const auto& p : pairs)
  {
    std::snprintf(buffer, sizeof buffer, "%d %f ", p.first, p.second);
    line += buffer;
  }
  return line + "\n";
}

/// A full first line: the defaults with the given position and focal point.
inline std::string FirstLine(const std::array<double, 3>& position)
{
  Slots s = DefaultSlots();
  s[0] = position[0];
  s[1] = position[1];
  s[2] = position[2];
  s[9] = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
  std::vector<std::pair<int, double>> pairs;
  for (int i = 0; i < 23; ++i)
  {
    pairs.emplace_back(i, s[i]);
  }
  return RecordLine(1, pairs);
}

/// A line that moves the camera's position (focal point at the origin) from one point to
/// another: the coordinates that change and the distance, as a recording would hold them.
inline std::string PathLine(
  int delay, const std::array<double, 3>& from, const std::array<double, 3>& to)
{
  std::vector<std::pair<int, double>> pairs;
  for (int i = 0; i < 3; ++i)
  {
    if (from[i] != to[i])
    {
      pairs.emplace_back(i, to[i]);
    }
  }
  pairs.emplace_back(9, std::sqrt(to[0] * to[0] + to[1] * to[1] + to[2] * to[2]));
  return RecordLine(delay, pairs);
}

inline void WriteFile(const std::string& path, const std::string& content)
{
  std::ofstream out(path, std::ios::binary);
  out << content;
}

inline std::array<double, 3> PositionOf(vtkCamera* camera)
{
  std::array<double, 3> p;
  camera->GetPosition(p.data());
  return p;
}

inline bool Near(const std::array<double, 3>& a, const std::array<double, 3>& b, double tolerance)
{
  for (int i = 0; i < 3; ++i)
  {
    if (std::abs(a[i] - b[i]) > tolerance * std::max(1.0, std::abs(b[i])))
    {
      return false;
    }
  }
  return true;
}

inline std::string Show(const std::array<double, 3>& p)
{
  return "(" + std::to_string(p[0]) + ", " + std::to_string(p[1]) + ", " + std::to_string(p[2]) +
    ")";
}

/// A view like the viewer's own: counts the animation steps (timer thread), and answers
/// the redraw request itself when AnswerRedraws is set, noting the camera at each.
class TestPlayView : public vtkRecordPlayView
{
public:
  std::atomic<int> AnimationSteps{ 0 };
  bool AnswerRedraws = false;
  std::vector<std::array<double, 3>> RedrawPositions;
  int EndOfPlaybackMessages = 0;
  /// Called as an answered redraw begins (what arrives then arrives during the drawing).
  std::function<void()> DuringRedraw;

  void AdvanceAnimation() override { ++this->AnimationSteps; }

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
  {
    if (message == WM_USER + 1)
    {
      ++this->EndOfPlaybackMessages;
    }
    if (message == WM_USER && this->AnswerRedraws)
    {
      if (this->DuringRedraw)
      {
        this->DuringRedraw();
      }
      this->Render();
      this->RedrawPositions.push_back(PositionOf(this->Renderer->GetActiveCamera()));
      this->RedrawPending = 0;
    }
    return vtkRecordPlayView::WindowProc(message, wParam, lParam);
  }

  vtkCamera* Camera() { return this->Renderer->GetActiveCamera(); }
};

/// A private temporary directory for the test (the record's temporary file goes there).
using TempDir = guitest::TempDir;

/// A recording's temporary file: named "__CameraRecordTempFile.csr" in a directory of its
/// own right under the temporary directory, both open to their owner alone.
inline void ExpectPrivateTempRecord(const std::string& temp, const std::string& tempDirectory)
{
  const fs::path file(temp);
  EXPECT_EQ(file.filename(), "__CameraRecordTempFile.csr");
  EXPECT_EQ(file.parent_path().parent_path(), fs::path(tempDirectory)) << temp;
  EXPECT_EQ(fs::status(file.parent_path()).permissions(), fs::perms::owner_all) << temp;
  EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

/// Everything a test needs: scripted dialogs (installed first, so that no real dialog
/// ever waits for a person), a private TMPDIR, and document, frame and view with a model.
struct Viewer : guitest::TemplateViewer<vtkMFCDoc, TestPlayView>
{
  CScriptedPrompts Prompts;
  TempDir Temp;
  std::string SavedTmpdir;
  bool HadTmpdir = false;

  explicit Viewer(bool show = true, const std::string& tempDepth = std::string())
    : Temp("recplay-", tempDepth)
  {
    App(); // before TMPDIR changes: the application's own directories stay outside Temp
    if (const char* old = std::getenv("TMPDIR"))
    {
      this->HadTmpdir = true;
      this->SavedTmpdir = old;
    }
    setenv("TMPDIR", this->Temp.Get().c_str(), 1);
    this->Open(show);
  }

  ~Viewer()
  {
    this->Close();
    if (this->HadTmpdir)
    {
      setenv("TMPDIR", this->SavedTmpdir.c_str(), 1);
    }
    else
    {
      unsetenv("TMPDIR");
    }
  }

  /// A model in the document (a sphere), shown by the view; the document's path is set.
  void LoadModel(const std::string& path)
  {
    auto* sphere = vtkSphereSource::New();
    auto* mapper = vtkPolyDataMapper::New();
    mapper->SetInputConnection(sphere->GetOutputPort());
    auto* actor = vtkActor::New();
    actor->SetMapper(mapper);
    this->Document->Props->RemoveAllItems();
    this->Document->Props->AddItem(actor);
    this->Document->NoData = 0;
    this->Document->SetPathName(path, FALSE);
    this->View->GetRenderer()->RemoveAllViewProps();
    this->View->GetRenderer()->AddActor(actor);
    this->View->Camera()->SetViewUp(0, 1, 0);
    this->View->GetRenderer()->ResetCamera();
    actor->Delete();
    mapper->Delete();
    sphere->Delete();
  }

  /// The model window's centre as a message's lParam, shifted by (dx, dy).
  LPARAM Point(int dx, int dy) const
  {
    const int* size = this->View->GetInteractor()->GetSize();
    return MAKELPARAM(
      static_cast<unsigned>(size[0] / 2 + dx), static_cast<unsigned>(size[1] / 2 + dy));
  }
};
}

#endif

// pravik-warp as a user runs it: each way of failing has its own exit status and a message on
// standard error, and leaves the output as it was (no partial file, nothing else beside it);
// the progress line appears on a terminal only, and only after a second.
#include "DeformModel.h"
#include "FormatsTesting.h"
#include "ModelFile.h"
#include "ProgressLine.h"
#include "ReliabilityTesting.h"
#include "TransformFile.h"

#include <vtkIdentityTransform.h>
#include <vtkObjectFactory.h>
#include <vtkPoints.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using namespace reliability;

namespace
{
ChildRun Warp(const std::vector<std::string>& args)
{
  std::vector<std::string> argv{ PRAVIK_WARP };
  argv.insert(argv.end(), args.begin(), args.end());
  return RunChild(argv, ChildOptions{});
}

std::vector<std::string> Entries(const std::string& dir)
{
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str()))
  {
    while (dirent* e = ::readdir(d))
    {
      names.emplace_back(e->d_name);
    }
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The small coefficient file with its first line (the radius) replaced.
void WriteWithRadius(const std::string& from, const std::string& to, const std::string& radius)
{
  const std::string text = ReadFile(from);
  WriteFile(to, "[" + radius + "]" + text.substr(text.find('\n')));
}
}

//------------------------------------------------------------------------------
TEST(PravikWarp, EachFailureHasItsStatusAndMessageAndLeavesTheOutputAlone)
{
  ScratchDirectory dir;
  const std::string trc = dir.File("small.trc");
  formats::WriteSmallTransform(trc);
  const std::string model = dir.File("small.vtk");
  std::string reason;
  ASSERT_TRUE(WriteModelFile(formats::SmallModel(), model, reason)) << reason;
  WriteFile(dir.File("garbage.trc"), "[0.5]\n[3]\n1 2\n");
  WriteFile(dir.File("grid.vtk"),
    "# vtk DataFile Version 3.0\ng\nASCII\nDATASET UNSTRUCTURED_GRID\nPOINTS 1 float\n0 0 0\n");
  // Legacy files that end early: in the cell list (the reader went on from a closed stream
  // and crashed the run) and in the points (an undefined point was written, status 0).
  const std::string legacy = "# vtk DataFile Version 3.0\nm\nASCII\nDATASET POLYDATA\n";
  WriteFile(dir.File("short-cells.vtk"),
    legacy + "POINTS 4 float\n0 0 0 1 0 0 0 1 0 0 0 1\nPOLYGONS 2 8\n3 0 1 2\n3 0\n");
  WriteFile(dir.File("short-points.vtk"), legacy + "POINTS 5 float\n0 0 0 1 0 0 0 1 0 0 0 1\n");
  // What Pravik wrote for a landmark file without landmarks, and a radius beyond any float.
  WriteFile(dir.File("empty.trc"),
    "[1.000000]\n[0]\n[4]\n0.000000 0.000000 0.000000\n0.000000 0.000000 0.000000\n"
    "0.000000 0.000000 0.000000\n0.000000 0.000000 0.000000\n[0]\n");
  WriteWithRadius(trc, dir.File("nan.trc"), "nan");
  const std::string out = dir.File("out.vtp");

  struct Case
  {
    std::vector<std::string> Args;
    int Status;
    const char* Says; // on standard error
  };
  const Case cases[] = {
    { {}, 1, "Usage: pravik-warp <coefficients.trc> <model-in> <model-out> [factor]" },
    { { trc, model }, 1, "Usage" },
    { { trc, model, out, "1,5" }, 1, "\"1,5\" is not a finite decimal number" },
    { { trc, model, out, "nan" }, 1, "not a finite decimal number" },
    { { trc, model, out, "0x1p-1" }, 1, "\"0x1p-1\" is not a finite decimal number" },
    { { trc, model, out, " 1" }, 1, "not a finite decimal number" },
    { { trc, model, out, "1", "2" }, 1, "Usage" },
    { { dir.File("missing.trc"), model, out }, 2, "missing.trc" },
    { { dir.File("garbage.trc"), model, out }, 2, "garbage.trc" },
    { { dir.File("empty.trc"), model, out }, 2, "it holds no landmarks" },
    { { dir.File("nan.trc"), model, out }, 2,
      "the radius holds a value that is not a finite number" },
    { { trc, dir.File("missing.vtk"), out }, 3, "missing.vtk" },
    { { trc, dir.File("grid.vtk"), out }, 3, "holds an unstructured grid" },
    { { trc, dir.File("short-cells.vtk"), out }, 3, "Error reading ascii cell data" },
    { { trc, dir.File("short-points.vtk"), out }, 3, "mismatch of datasize" },
    { { trc, model, dir.File("nowhere/out.vtp") }, 4, "nowhere/out.vtp" },
    { { trc, model, model + "/out.vtp" }, 4, "Not a directory" },
  };
  for (const Case& c : cases)
  {
    std::string shown;
    for (const auto& a : c.Args)
    {
      shown += " " + a;
    }
    SCOPED_TRACE("pravik-warp" + shown);
    WriteFile(out, "an earlier file");
    const std::vector<std::string> before = Entries(dir.Path());
    const ChildRun run = Warp(c.Args);
    ASSERT_TRUE(run.Exited) << run.Describe();
    EXPECT_EQ(run.Status, c.Status) << run.Err;
    EXPECT_NE(run.Err.find(c.Says), std::string::npos) << run.Err;
    // One sentence per failure, VTK's own texts (file names, addresses) left out.
    EXPECT_EQ(run.Err.find(".cxx"), std::string::npos) << run.Err;
    EXPECT_EQ(run.Out, "");
    EXPECT_EQ(ReadFile(out), "an earlier file");
    EXPECT_EQ(Entries(dir.Path()), before);
  }

  // Success replaces the output whole and says only how many points no landmark reaches.
  const ChildRun ok = Warp({ trc, model, out });
  EXPECT_TRUE(ok.Exited && ok.Status == 0) << ok.Describe();
  EXPECT_EQ(ok.Err,
    "pravik-warp: 3 of 63 points lie beyond every landmark's reach: they keep their place.\n");
  EXPECT_TRUE(ReadModelFile(out, reason)) << reason;

  const ChildRun help = Warp({ "--help" });
  EXPECT_TRUE(help.Exited && help.Status == 0);
  EXPECT_NE(help.Out.find("Usage: pravik-warp"), std::string::npos);
  EXPECT_NE(help.Out.find("4 the output cannot be written"), std::string::npos);
  EXPECT_NE(help.Out.find("5 the model\ncannot be deformed"), std::string::npos);
  const ChildRun version = Warp({ "--version" });
  EXPECT_TRUE(version.Exited && version.Status == 0);
  EXPECT_EQ(version.Out, "pravik-warp " QUORVEL_VERSION "\n");
}

//------------------------------------------------------------------------------
// A coefficient file whose radius is 0 or below holds the fit's affine part alone: the viewer
// applies it with a warning, and so does pravik-warp (with a note), to every point alike.
TEST(PravikWarp, ARadiusOfZeroOrBelowAppliesTheAffinePartWithANote)
{
  ScratchDirectory dir;
  const std::string small = dir.File("small.trc");
  formats::WriteSmallTransform(small);
  const std::string model = dir.File("small.vtp");
  std::string reason;
  ASSERT_TRUE(WriteModelFile(formats::SmallModel(), model, reason)) << reason;
  for (const char* radius : { "0.000000", "-0.500000" })
  {
    SCOPED_TRACE(radius);
    const std::string trc = dir.File("affine.trc");
    WriteWithRadius(small, trc, radius);
    TransformCoefficients c;
    ASSERT_EQ(ReadTransformCoefficients(trc.c_str(), c).Status, TransformFileStatus::Ok);
    const size_t n = static_cast<size_t>(c.Points->GetNumberOfPoints());
    const std::vector<float>* coeff[3] = { &c.CoeffX, &c.CoeffY, &c.CoeffZ };

    const std::string out = dir.File("out.vtp");
    const ChildRun run = Warp({ trc, model, out, "0.5" });
    ASSERT_TRUE(run.Exited && run.Status == 0) << run.Describe();
    EXPECT_EQ(run.Err.rfind("pravik-warp: note: ", 0), 0u) << run.Err;
    EXPECT_NE(run.Err.find("only the affine part"), std::string::npos) << run.Err;
    EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << run.Err;

    const auto before = ReadModelFile(model, reason);
    const auto after = ReadModelFile(out, reason);
    ASSERT_TRUE(before && after) << reason;
    ASSERT_EQ(after->GetNumberOfPoints(), before->GetNumberOfPoints());
    double worst = 0.0;
    for (vtkIdType i = 0; i < before->GetNumberOfPoints(); ++i)
    {
      double x[3];
      double y[3];
      before->GetPoint(i, x);
      after->GetPoint(i, y);
      for (int a = 0; a < 3; ++a)
      {
        const std::vector<float>& w = *coeff[a];
        const double d = w[n] + w[n + 1] * x[0] + w[n + 2] * x[1] + w[n + 3] * x[2];
        worst = std::max(worst, std::fabs(y[a] - (x[a] - 0.5 * d)));
      }
    }
    EXPECT_LT(worst, 2e-6);
  }
}

namespace
{
// Stands in for a transform that runs out of memory: it reports an error and leaves the
// points where they were, or hands out none at all.
class vtkFaultyTransform : public vtkIdentityTransform
{
public:
  static vtkFaultyTransform* New();
  vtkTypeMacro(vtkFaultyTransform, vtkIdentityTransform);

  enum Fault
  {
    None,
    ReportsAnError,
    LosesThePoints
  };
  Fault Mode = None;

  void TransformPoints(vtkPoints* in, vtkPoints* out) override
  {
    if (this->Mode == ReportsAnError)
    {
      vtkErrorMacro("Not enough memory to cache " << in->GetNumberOfPoints() << " displacements.");
    }
    if (this->Mode != LosesThePoints)
    {
      this->Superclass::TransformPoints(in, out);
    }
  }
  void TransformPointsNormalsVectors(vtkPoints* in, vtkPoints* out, vtkDataArray*, vtkDataArray*,
    vtkDataArray*, vtkDataArray*, int, vtkDataArray**, vtkDataArray**) override
  {
    this->TransformPoints(in, out);
  }

protected:
  vtkFaultyTransform() = default;
};
vtkStandardNewMacro(vtkFaultyTransform);
}

//------------------------------------------------------------------------------
// A deformation that went wrong inside the transform is a failure, never the undeformed
// model or one without points.
TEST(PravikWarp, AFailedDeformationIsAnError)
{
  const auto model = formats::SmallModel();
  struct Case
  {
    vtkFaultyTransform::Fault Fault;
    const char* Reason; // null: deformed
  };
  const Case cases[] = {
    { vtkFaultyTransform::None, nullptr },
    { vtkFaultyTransform::ReportsAnError, "Not enough memory to cache" },
    { vtkFaultyTransform::LosesThePoints, "points instead of" },
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(static_cast<int>(c.Fault));
    vtkNew<vtkFaultyTransform> transform;
    transform->Mode = c.Fault;
    std::string reason;
    const auto deformed = DeformModel(model, transform, reason);
    if (!c.Reason)
    {
      ASSERT_TRUE(deformed) << reason;
      EXPECT_EQ(deformed->GetNumberOfPoints(), model->GetNumberOfPoints());
      continue;
    }
    EXPECT_FALSE(deformed);
    EXPECT_NE(reason.find(c.Reason), std::string::npos) << reason;
  }
}

namespace
{
// Standard error redirected into a pipe, read as the text arrives.
class CapturedStandardError
{
public:
  CapturedStandardError()
  {
    EXPECT_EQ(::pipe(this->Ends), 0);
    std::fflush(stderr);
    this->Saved = ::dup(STDERR_FILENO);
    ::dup2(this->Ends[1], STDERR_FILENO);
  }
  ~CapturedStandardError() { this->Restore(); }

  void Restore()
  {
    if (this->Saved >= 0)
    {
      std::fflush(stderr);
      ::dup2(this->Saved, STDERR_FILENO);
      ::close(this->Saved);
      ::close(this->Ends[1]);
      this->Saved = -1;
    }
  }

  // Reads until the text holds what (true), or the deadline passes (false).
  bool WaitFor(const std::string& what, std::chrono::seconds deadline = std::chrono::seconds(60))
  {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (this->Text.find(what) == std::string::npos)
    {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
      if (left.count() <= 0)
      {
        return false;
      }
      pollfd p{ this->Ends[0], POLLIN, 0 };
      if (::poll(&p, 1, static_cast<int>(left.count())) > 0 && !this->ReadSome())
      {
        return this->Text.find(what) != std::string::npos;
      }
    }
    return true;
  }

  // Everything up to the end (after Restore()).
  std::string All()
  {
    while (this->ReadSome())
    {
    }
    ::close(this->Ends[0]);
    return this->Text;
  }

private:
  bool ReadSome()
  {
    char buffer[4096];
    const ssize_t n = ::read(this->Ends[0], buffer, sizeof(buffer));
    if (n > 0)
    {
      this->Text.append(buffer, static_cast<size_t>(n));
    }
    return n > 0;
  }

  int Ends[2] = { -1, -1 };
  int Saved = -1;
  std::string Text;
};
}

//------------------------------------------------------------------------------
// The progress line, written to standard error (a pipe here): nothing in the first second,
// then the stage and the time on one line that is rewritten, and cleared at the end. Without
// a terminal (and not forced) nothing at all.
TEST(PravikWarp, ProgressLineShowsAfterASecondOnATerminalOnly)
{
  for (const bool terminal : { true, false })
  {
    SCOPED_TRACE(terminal ? "terminal" : "no terminal");
    CapturedStandardError err;
    const auto start = std::chrono::steady_clock::now();
    {
      ProgressLine progress(terminal);
      progress.Stage("reading the model");
      if (terminal)
      {
        // The first drawing, then a redraw with the next stage.
        EXPECT_TRUE(err.WaitFor("reading the model... "));
        progress.Stage("writing the model");
        EXPECT_TRUE(err.WaitFor("writing the model... "));
      }
      else
      {
        // Longer than the first second: a line would have been drawn by now.
        EXPECT_FALSE(err.WaitFor("pravik-warp", std::chrono::seconds(2)));
      }
    }
    err.Restore();
    const std::string text = err.All();
    if (!terminal)
    {
      EXPECT_EQ(text, "");
      continue;
    }
    const double waited =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::string first = "\r\033[Kpravik-warp: reading the model... ";
    ASSERT_EQ(text.rfind(first, 0), 0u) << text;
    // The time shown first is that of the first drawing: a second or more, never more than
    // what the test waited.
    const double shown = std::stod(text.substr(first.size()));
    EXPECT_GE(shown, 1.0) << text;
    EXPECT_LE(shown, waited + 0.1) << text;
    EXPECT_EQ(text.substr(text.size() - 4), "\r\033[K") << text;
    EXPECT_EQ(text.find('\n'), std::string::npos) << text;
  }
}

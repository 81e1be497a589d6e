// The program's own entry: a model that cannot be opened ends it with an error status and a
// line on standard error; numbers in files keep their decimal point whatever the locale; and,
// run as a process, the informational options and a start without a display.
// AfxWinMain makes the process's Qt application, so this runs in a process of its own.
#include "CameraStatus.h"
#include "CommaLocale.h"
#include "HaldenApp.h"
#include "ModelFile.h"
#include "Prompts.h"
#include "TransformFile.h"
#include "system.h"

#include <gtest/gtest.h>

#include <QDir>

#include <vtkNew.h>
#include <vtkPoints.h>

#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace
{
std::string ReadFile(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

/// What the process wrote to standard error while `run` ran.
template <typename F>
std::string StandardErrorOf(F run)
{
  const std::string path = QDir::tempPath().toStdString() + "/halden-start-stderr.txt";
  std::fflush(stderr);
  const int saved = ::dup(2);
  const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ::dup2(file, 2);
  ::close(file);
  run();
  std::fflush(stderr);
  ::dup2(saved, 2);
  ::close(saved);
  const std::string text = ReadFile(path);
  std::remove(path.c_str());
  return text;
}

struct ProcessRun
{
  int Status = -1;
  std::string Out, Err;
};

/// Runs Halden as a user would from a shell, with `environment` put before it.
ProcessRun RunHalden(const std::string& environment, const std::string& arguments)
{
  const std::string err = QDir::tempPath().toStdString() + "/halden-process-stderr.txt";
  const std::string command =
    environment + " " + HALDEN_EXECUTABLE + " " + arguments + " 2>" + err + " </dev/null";
  ProcessRun run;
  FILE* pipe = ::popen(command.c_str(), "r");
  char buffer[4096];
  for (size_t got; pipe && (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
  {
    run.Out.append(buffer, got);
  }
  const int status = pipe ? ::pclose(pipe) : -1;
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.Err = ReadFile(err);
  std::remove(err.c_str());
  return run;
}

constexpr const char* NoDisplay = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM";
}

TEST(HaldenMain, AMissingModelOnTheCommandLineEndsTheProgramWithAnErrorStatus)
{
  const std::string missing = QDir::tempPath().toStdString() + "/halden-no-such-model.vtk";
  std::string program = "Halden";
  std::string argument = missing;
  char* argv[] = { &program[0], &argument[0], nullptr };

  CScriptedPrompts prompts; // the framework's message about the file, answered with OK
  CHaldenApp app;
  int status = 0;
  const std::string err = StandardErrorOf([&] { status = AfxWinMain(2, argv); });
  EXPECT_NE(status, 0);
  ASSERT_EQ(prompts.Messages.size(), 1u);
  EXPECT_NE(prompts.Messages[0].Text.find("no-such-model"), std::string::npos)
    << prompts.Messages[0].Text;
  // Also for whoever started it from a terminal or a script: the file and the reason.
  EXPECT_NE(err.find("Halden: cannot open \"" + missing + "\": No such file or directory\n"),
    std::string::npos)
    << err;
}

TEST(HaldenMain, NumbersInFilesKeepTheDecimalPointUnderACommaDecimalLocale)
{
  COMMA_LOCALE_OR_SKIP(comma);
  // Qt takes the whole locale from the environment when the application starts.
  setenv("LC_ALL", comma, 1);
  struct Probe : CHaldenApp
  {
    std::string Numeric, Record, Coefficients;
    float Radius = 0, Slot = 0;
    BOOL InitInstance() override
    {
      this->Numeric = std::setlocale(LC_NUMERIC, nullptr);
      const std::string dir = QDir::tempPath().toStdString();
      CCriticalSection lock;
      CameraStatus status(lock);
      status.SetValue(0, 0.5f);
      std::FILE* file = std::tmpfile();
      status.Write(file, 1, nullptr);
      std::rewind(file);
      char line[512] = {};
      this->Record = std::fgets(line, sizeof line, file) ? line : "";
      std::rewind(file);
      CameraStatus read(lock);
      int ticks = 0;
      this->Slot = read.Read(file, ticks) ? read.GetValue(0) : -1.0f;
      std::fclose(file);

      const std::string trc = dir + "/halden-locale.trc";
      vtkNew<vtkPoints> points;
      points->InsertNextPoint(0.25, 0, 0);
      const float c[5] = { 0.5f, 0, 0, 0, 0 };
      const int order[1] = { 0 };
      WriteTransformCoefficients(trc.c_str(), 1.5f, points, c, c, c, order);
      this->Coefficients = ReadFile(trc);
      TransformCoefficients back;
      this->Radius = ReadTransformCoefficients(trc.c_str(), back).Status == TransformFileStatus::Ok
        ? back.Radius
        : -1.0f;
      std::remove(trc.c_str());
      return FALSE;
    }
  };
  std::string program = "Halden";
  char* argv[] = { &program[0], nullptr };
  Probe app;
  AfxWinMain(1, argv);
  unsetenv("LC_ALL");
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(app.Numeric, "C");
  EXPECT_EQ(app.Record.rfind("[1] 23 0 0.500000 1 0.000000 ", 0), 0u) << app.Record;
  EXPECT_EQ(app.Slot, 0.5f);
  EXPECT_EQ(app.Coefficients.rfind("[1.500000]\n[1]\n0.250000 0.000000 0.000000\n[5]\n0.500000", 0),
    0u)
    << app.Coefficients;
  EXPECT_EQ(app.Radius, 1.5f);
}

TEST(HaldenProcess, InformationalOptionsAndAMissingDisplay)
{
  struct Case
  {
    const char* Arguments;
    int Status;
    const char* Out; ///< how standard output begins
    const char* Err; ///< what standard error holds, as one line
  };
  // No display: the informational options need none, anything else ends with one line.
  const Case cases[] = {
    { "--help", 0, "Usage: Halden [model [coefficients.trc | landmarks.dat]]\n", "" },
    { "-h", 0, "Usage: Halden [model [coefficients.trc | landmarks.dat]]\n", "" },
    { "--version", 0, "Halden version 1.0\n", "" },
    { "", 1, "", "Halden: cannot open a display (DISPLAY is not set); start it in a desktop "
                 "session or under xvfb-run.\n" },
    { "model.vtk", 1, "", "Halden: cannot open a display (DISPLAY is not set); start it in a "
                          "desktop session or under xvfb-run.\n" },
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.Arguments);
    const ProcessRun run = RunHalden(NoDisplay, c.Arguments);
    EXPECT_EQ(run.Status, c.Status) << run.Err;
    EXPECT_EQ(run.Out.rfind(c.Out, 0), 0u) << run.Out;
    EXPECT_EQ(run.Err, c.Err);
  }
  const ProcessRun help = RunHalden(NoDisplay + std::string(" XDG_CONFIG_HOME=/x/y"), "--help");
  EXPECT_NE(help.Out.find("/x/y/Quorvel/Halden.conf"), std::string::npos) << help.Out;
  // The help names every model format Open Model reads, each a format of its own.
  const std::pair<const char*, ModelFormat> formats[] = { { ".vtk", ModelFormat::LegacyVtk },
    { ".vtp", ModelFormat::XmlPolyData }, { ".stl", ModelFormat::Stl },
    { ".ply", ModelFormat::Ply }, { ".obj", ModelFormat::Obj } };
  for (const auto& format : formats)
  {
    EXPECT_EQ(ModelFormatOf(std::string("model") + format.first), format.second);
    EXPECT_NE(help.Out.find(std::string("(") + format.first), std::string::npos)
      << format.first << " is not named:\n"
      << help.Out;
  }
  for (const char* heading :
    { "\n  or:  Halden coefficients.trc\n", "\nOptions:\n", "\nExit status:\n" })
  {
    EXPECT_NE(help.Out.find(heading), std::string::npos) << heading;
  }
}

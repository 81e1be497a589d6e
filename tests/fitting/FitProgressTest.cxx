// The progress line of long fits (shown only on a terminal, cleared before anything else is
// printed and at the end), and the assembly of the kernel matrix against the textbook one.

#include "FitProgress.h"
#include "FittingTestSupport.h"
#include "LandmarkGenerator.h"
#include "SolverInput.h"
#include "vtkDatReader.h"
#include "vtkMatrixSolver.h"

#include <gtest/gtest.h>

#include <vtkNew.h>
#include <vtkPoints.h>

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <pty.h>
#include <random>
#include <thread>
#include <unistd.h>

namespace
{
std::string Contents(std::FILE* file)
{
  std::fflush(file);
  std::rewind(file);
  std::string text;
  char buffer[512];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
  {
    text.append(buffer, got);
  }
  return text;
}

const char* const Clear = "\r\033[K";
}

TEST(TerminalProgress, DrawsTheStageUpdatesItAndClearsItBeforeOutputAndAtTheEnd)
{
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  {
    TerminalProgress progress(file, 0.0);
    progress.BeforeOutput(); // nothing shown yet: nothing to clear
    progress.StageBegins(FitStage::Reading);
    progress.StageBegins(FitStage::Factorisation);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    progress.Progress(0.375);
    progress.Progress(1.0); // the stage's work is done: the line goes
    progress.Progress(1.0);
    progress.StageBegins(FitStage::Solves);
    progress.BeforeOutput();
    progress.StageBegins(FitStage::Writing);
    progress.Finish();
    progress.Finish();
  } // the destructor finds nothing left to clear
  const std::string expected = std::string("\rPravik: reading...\033[K") +
    "\rPravik: envelope factorisation   0%\033[K" + "\rPravik: envelope factorisation  37%\033[K" +
    Clear + "\rPravik: solves...\033[K" + Clear + "\rPravik: writing...\033[K" + Clear;
  EXPECT_EQ(Contents(file), expected);
  std::fclose(file);
}

TEST(TerminalProgress, ShortFitsShowNothing)
{
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  {
    TerminalProgress progress(file, 1000.0);
    for (const FitStage stage : { FitStage::Reading, FitStage::Ordering, FitStage::Assembly,
           FitStage::Factorisation, FitStage::Solves, FitStage::Writing })
    {
      progress.StageBegins(stage);
      progress.Progress(0.5);
      progress.BeforeOutput();
    }
  }
  EXPECT_EQ(Contents(file), "");
  std::fclose(file);
}

namespace
{
struct PtyRun
{
  int Status = -1;
  std::string Out;      // standard output (a pipe)
  std::string Terminal; // what reached the terminal on standard error
};

// Runs a program with standard error on a pseudo-terminal and standard output into a pipe.
PtyRun RunWithTerminalStandardError(
  const std::string& program, const std::vector<std::string>& args)
{
  PtyRun run;
  int master = -1;
  int slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
  {
    return run;
  }
  int out[2];
  if (pipe(out) != 0)
  {
    return run;
  }
  const pid_t pid = fork();
  if (pid == 0)
  {
    dup2(slave, STDERR_FILENO);
    dup2(out[1], STDOUT_FILENO);
    const int null = open("/dev/null", O_RDONLY);
    dup2(null, STDIN_FILENO);
    close(master);
    close(slave);
    close(out[0]);
    close(out[1]);
    std::vector<char*> argv;
    std::string path = program;
    argv.push_back(path.data());
    std::vector<std::string> copies = args;
    for (std::string& a : copies)
    {
      argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(slave);
  close(out[1]);
  bool terminalOpen = true;
  bool outOpen = true;
  while (terminalOpen || outOpen)
  {
    pollfd fds[2] = { { master, POLLIN, 0 }, { out[0], POLLIN, 0 } };
    if (poll(fds, 2, 60000) <= 0)
    {
      break;
    }
    char buffer[4096];
    if (terminalOpen && (fds[0].revents & (POLLIN | POLLHUP | POLLERR)))
    {
      const ssize_t got = read(master, buffer, sizeof buffer);
      if (got > 0)
      {
        run.Terminal.append(buffer, static_cast<size_t>(got));
      }
      else
      {
        terminalOpen = false; // EIO once the child has closed its side
        fds[0].fd = -1;
      }
    }
    if (outOpen && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
    {
      const ssize_t got = read(out[0], buffer, sizeof buffer);
      if (got > 0)
      {
        run.Out.append(buffer, static_cast<size_t>(got));
      }
      else
      {
        outOpen = false;
      }
    }
  }
  close(master);
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

int RunWithStandardErrorInFile(const std::string& program, const std::string& dir,
  const std::vector<std::string>& args, std::string& out, std::string& err)
{
  std::string command = "cd '" + dir + "' && '" + program + "'";
  for (const std::string& a : args)
  {
    command += " '" + a + "'";
  }
  command += " 2>'" + dir + "/err.txt'";
  FILE* pipe = popen(command.c_str(), "r");
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
  {
    out.append(buffer, got);
  }
  const int status = pclose(pipe);
  err = ReadText(dir + "/err.txt");
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
}

// Pravik's run with the progress shown from the start (PRAVIK_PROGRESS_PROBE): on a
// terminal the stages appear on one updating line that is cleared at the end; everything
// else is exactly as without a terminal (output, status, coefficient file). Pravik itself,
// with standard error in a file, writes nothing there.
TEST(PravikProgress, ShownOnlyOnATerminalAndClearedAtTheEnd)
{
  ScratchDir dir;
  const int n = 3000;
  const std::string radius = std::to_string(SphereRadiusForNeighbours(n, 30.0));
  ASSERT_TRUE(WriteLandmarkFile(dir.File("s.dat"), SphereLandmarks(n)));

  const PtyRun tty =
    RunWithTerminalStandardError(PRAVIK_PROGRESS_PROBE, { dir.File("s.dat"), radius });
  EXPECT_EQ(tty.Status, 0);
  EXPECT_EQ(tty.Out, "");
  for (const char* stage : { "reading", "ordering", "assembly", "solves", "writing" })
  {
    EXPECT_NE(tty.Terminal.find(std::string("\rPravik: ") + stage + "..."), std::string::npos)
      << stage << " in " << tty.Terminal;
  }
  EXPECT_NE(tty.Terminal.find("\rPravik: envelope factorisation   0%"), std::string::npos)
    << tty.Terminal;
  ASSERT_GE(tty.Terminal.size(), 4u);
  EXPECT_EQ(tty.Terminal.substr(tty.Terminal.size() - 4), Clear) << "the line is cleared";
  EXPECT_EQ(tty.Terminal.find('\n'), std::string::npos) << "one updating line";
  const std::string withTerminal = ReadText(dir.File("s.trc"));
  ASSERT_FALSE(withTerminal.empty());
  std::remove(dir.File("s.trc").c_str());

  for (const char* program : { PRAVIK_PROGRESS_PROBE, PRAVIK_EXECUTABLE })
  {
    std::string out;
    std::string err;
    EXPECT_EQ(RunWithStandardErrorInFile(program, dir.Path, { "s.dat", radius }, out, err), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "") << program;
    EXPECT_EQ(ReadText(dir.File("s.trc")), withTerminal);
  }
}

// A message that the fit prints on standard output while the line is shown starts on a
// clean line: the line is cleared first.
TEST(PravikProgress, MessagesOfTheFitStartOnACleanLine)
{
  ScratchDir dir;
  // Landmarks on one plane: the fit warns that they do not span three dimensions.
  std::vector<Landmark> flat = SphereLandmarks(500);
  for (Landmark& l : flat)
  {
    l.Source[2] = 0.0;
  }
  ASSERT_TRUE(WriteLandmarkFile(dir.File("f.dat"), flat));
  const PtyRun tty =
    RunWithTerminalStandardError(PRAVIK_PROGRESS_PROBE, { dir.File("f.dat"), "0.3" });
  EXPECT_EQ(tty.Status, 0);
  EXPECT_NE(tty.Out.find("Warning"), std::string::npos) << tty.Out;
  // The solves stage was shown and cleared before the warning was printed, and redrawn
  // for writing afterwards.
  const size_t solves = tty.Terminal.find("\rPravik: solves...\033[K");
  ASSERT_NE(solves, std::string::npos) << tty.Terminal;
  EXPECT_EQ(tty.Terminal.compare(solves + std::strlen("\rPravik: solves...\033[K"), 4, Clear), 0)
    << tty.Terminal;
}

namespace
{
class EnvelopeCapture : public FitObserver
{
public:
  void StageBegins(FitStage) override {}
  void EnvelopeAssembled(int n, const int* xenv, const float* env) override
  {
    this->Xenv.assign(xenv, xenv + n + 1);
    this->Env.assign(env, env + (xenv[n] - 1));
  }
  std::vector<int> Xenv;
  std::vector<float> Env;
};

// The envelope as the textbook loop builds it: for every row the first column of the window
// with a nonzero kernel value, then every kernel value from there on.
void TextbookEnvelope(vtkMatrixSolver* solver, int n, const int* list, int max,
  std::vector<int>& xenv, std::vector<float>& env)
{
  xenv.assign(n + 1, 1);
  env.clear();
  for (int b = 0; b < n; ++b)
  {
    int first = std::max(0, b - max);
    while (first < b && solver->EvaluateKernel(list[b], list[first]) == 0.0)
    {
      ++first;
    }
    for (int k = first; k < b; ++k)
    {
      env.push_back(static_cast<float>(solver->EvaluateKernel(list[b], list[k])));
    }
    xenv[b + 1] = static_cast<int>(env.size()) + 1;
  }
}

void ExpectTextbookAssembly(const std::vector<Landmark>& landmarks, float radius)
{
  ScratchDir dir;
  ASSERT_TRUE(WriteLandmarkFile(dir.File("a.dat"), landmarks));
  const std::string file = dir.File("a.dat");
  vtkNew<vtkDatReader> reader;
  reader->FileName = file.c_str();
  reader->SetRadius(radius);
  ASSERT_EQ(reader->Read(), 0);
  vtkNew<vtkMatrixSolver> solver;
  SetSolverInput(solver, reader);
  const int n = static_cast<int>(reader->GetPointArray()->GetNumberOfPoints());
  std::vector<int> xenv;
  std::vector<float> env;
  TextbookEnvelope(solver, n, reader->GetList(), reader->GetMax(), xenv, env);

  EnvelopeCapture capture;
  capture.Observe(solver);
  testing::internal::CaptureStdout();
  solver->Solve();
  testing::internal::GetCapturedStdout();
  delete[] solver->GetSplineCoeffX();
  delete[] solver->GetSplineCoeffY();
  delete[] solver->GetSplineCoeffZ();
  EXPECT_EQ(capture.Xenv, xenv);
  ASSERT_EQ(capture.Env.size(), env.size());
  EXPECT_EQ(std::memcmp(capture.Env.data(), env.data(), env.size() * sizeof(float)), 0);
}
}

// 4,000 landmarks: a band of over a million entries, which the assembly shares out among the
// cores in chunks of rows.
TEST(EnvelopeAssembly, SphereMatchesTheTextbookLoopExactly)
{
  const int n = 4000;
  ExpectTextbookAssembly(
    SphereLandmarks(n), static_cast<float>(SphereRadiusForNeighbours(n, 30.0)));
}

// Small clusters of landmarks whose distances are the radius give or take a few parts in ten
// million: the window search must draw the line between zero and nonzero exactly where the
// kernel does.
TEST(EnvelopeAssembly, DistancesAtTheRadiusMatchTheTextbookLoopExactly)
{
  std::mt19937 random(5);
  std::uniform_real_distribution<double> off(-4e-7, 4e-7);
  std::uniform_real_distribution<double> direction(-1.0, 1.0);
  const float radius = 0.1f;
  std::vector<Landmark> landmarks;
  for (int c = 0; c < 300; ++c)
  {
    const double centre[3] = { (c % 7) * 0.5, (c / 7 % 7) * 0.5, (c / 49) * 0.5 };
    for (int k = 0; k < 3; ++k)
    {
      double u[3] = { direction(random), direction(random), direction(random) };
      const double length = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
      const double distance = k == 0 ? 0.0 : radius * (1.0 + off(random));
      Landmark l = {};
      for (int d = 0; d < 3; ++d)
      {
        l.Source[d] = centre[d] + distance * u[d] / length;
        l.Target[d] = l.Source[d] + 0.01 * (d + 1);
      }
      landmarks.push_back(l);
    }
  }
  ExpectTextbookAssembly(landmarks, radius);
}

TEST(EnvelopeAssembly, RandomCloudMatchesTheTextbookLoopExactly)
{
  ExpectTextbookAssembly(RandomLandmarks(1500, 11), 0.15f);
}

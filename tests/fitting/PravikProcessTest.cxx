// Pravik run as a process: command line, messages, exit statuses, output names, the file.

#include "CommaLocale.h"
#include "FileSizeLimit.h"
#include "FittingTestSupport.h"
#include "LandmarkGenerator.h"
#include "NumberText.h"
#include "PravikRun.h"
#include "TransformFile.h"
#include "vtkShapeTransform.h"

#include <gtest/gtest.h>

#include <vtkNew.h>
#include <vtkPoints.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
struct ProcessRun
{
  int Status = -1;
  std::string Out;
  std::string Err;
};

std::string Quote(const std::string& s)
{
  std::string q = "'";
  for (char c : s)
  {
    q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return q + "'";
}

// Runs `program args...` in dir; program defaults to the built Pravik.
ProcessRun RunIn(const std::string& dir, const std::vector<std::string>& args,
  const std::string& program = PRAVIK_EXECUTABLE, const std::string& prefix = "")
{
  std::string command = "cd " + Quote(dir) + " && " + prefix + Quote(program);
  for (const std::string& a : args)
  {
    command += " " + Quote(a);
  }
  const std::string errFile = dir + "/.stderr";
  command += " 2>" + Quote(errFile);
  ProcessRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe)
  {
    return run;
  }
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
  {
    run.Out.append(buffer, got);
  }
  const int status = pclose(pipe);
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.Err = ReadText(errFile);
  std::remove(errFile.c_str());
  return run;
}

const char* const FourLandmarks = "0 0 0 0.1 0 0\n"
                                  "1 0 0 1 0.1 0\n"
                                  "0 1 0 0 1 0.1\n"
                                  "0 0 1 0.05 0.05 1\n";
}

TEST(Pravik, UsageNamesTheInvocation)
{
  ScratchDir dir;
  WriteText(dir.File("a.dat"), FourLandmarks);
  const std::vector<std::vector<std::string>> wrong = { {}, { "a.dat" },
    { "a.dat", "1", "extra" } };
  for (const auto& args : wrong)
  {
    const ProcessRun run = RunIn(dir.Path, args);
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Out, std::string("Usage: ") + PRAVIK_EXECUTABLE + " <filename[.dat]> <radius>\n");
  }
  EXPECT_FALSE(FileExists(dir.File("a.trc")));
  // Through a link of another name, that name is shown.
  ASSERT_EQ(symlink(PRAVIK_EXECUTABLE, dir.File("fitter").c_str()), 0);
  const ProcessRun linked = RunIn(dir.Path, {}, "./fitter");
  EXPECT_EQ(linked.Out, "Usage: ./fitter <filename[.dat]> <radius>\n");
}

// The informational options are the only argument; they answer on standard output with
// status 0, and the help names every exit status the run can end with.
TEST(Pravik, HelpAndVersionAnswerOnStandardOutput)
{
  ScratchDir dir;
  for (const char* option : { "--help", "-h" })
  {
    SCOPED_TRACE(option);
    const ProcessRun help = RunIn(dir.Path, { option });
    EXPECT_EQ(help.Status, 0);
    EXPECT_EQ(help.Err, "");
    EXPECT_EQ(help.Out.rfind("Usage: Pravik [--solver auto|envelope|sparse] [--smoothing S] "
                             "[--leave-out SHARE]\n              <filename[.dat]> <radius>\n",
                0),
      0u)
      << help.Out;
    for (const char* line : { "\n  --solver auto|envelope|sparse  ", "\n  --smoothing S  ",
           "\n  --leave-out SHARE  ", "\n  -h, --help  ", "\n  --version  " })
    {
      EXPECT_NE(help.Out.find(line), std::string::npos) << line << " is not described";
    }
    for (int status = PravikWritten; status <= PravikNotConverged; ++status)
    {
      EXPECT_NE(help.Out.find("\n  " + std::to_string(status) + "  "), std::string::npos)
        << "exit status " << status << " is not described:\n"
        << help.Out;
    }
  }
  const ProcessRun version = RunIn(dir.Path, { "--version" });
  EXPECT_EQ(version.Status, 0);
  EXPECT_EQ(version.Out, std::string("Pravik ") + QUORVEL_VERSION + "\n");
  // Beside a radius, "--help" is a landmark file's name as before.
  const ProcessRun file = RunIn(dir.Path, { "--help", "1" });
  EXPECT_EQ(file.Status, 2);
  EXPECT_EQ(file.Out, "Cannot open --help!\nError!\n");
}

TEST(Pravik, UnopenableLandmarkFile)
{
  ScratchDir dir;
  const ProcessRun run = RunIn(dir.Path, { "missing.dat", "1" });
  EXPECT_EQ(run.Status, 2);
  EXPECT_EQ(run.Out, "Cannot open missing.dat!\nError!\n");
  EXPECT_FALSE(FileExists(dir.File("missing.trc")));

  // A directory opens but cannot be read: that is no empty landmark file.
  ASSERT_EQ(mkdir(dir.File("folder.dat").c_str(), 0755), 0);
  const ProcessRun folder = RunIn(dir.Path, { "folder.dat", "1" });
  EXPECT_EQ(folder.Status, 2);
  EXPECT_EQ(folder.Out, "Cannot read folder.dat!\nError!\n");
  EXPECT_FALSE(FileExists(dir.File("folder.trc")));
}

TEST(Pravik, OutputNamesFollowTheInputName)
{
  const std::pair<const char*, const char*> names[] = { { "leg.dat", "leg.trc" },
    { "LEG.DAT", "LEG.trc" }, { "leg.Dat", "leg.trc" }, { "leg", "leg.trc" },
    { "leg.txt", "leg.txt.trc" }, { "a.dat", "a.trc" }, { ".dat", ".dat.trc" },
    { "x.d", "x.d.trc" } };
  for (const auto& [input, output] : names)
  {
    ScratchDir dir;
    WriteText(dir.File(input), FourLandmarks);
    const ProcessRun run = RunIn(dir.Path, { input, "2" });
    EXPECT_EQ(run.Status, 0) << input << ": " << run.Out;
    EXPECT_EQ(run.Out, "");
    EXPECT_TRUE(FileExists(dir.File(output))) << input << " should give " << output;
  }
  // The output lies beside the input, wherever that is.
  ScratchDir dir;
  ASSERT_EQ(mkdir(dir.File("sub").c_str(), 0755), 0);
  WriteText(dir.File("sub/m.DAT"), FourLandmarks);
  EXPECT_EQ(RunIn(dir.Path, { "sub/m.DAT", "2" }).Status, 0);
  EXPECT_TRUE(FileExists(dir.File("sub/m.trc")));
}

TEST(Pravik, WrittenFileReadsBackAndIsOverwritten)
{
  ScratchDir dir;
  const auto landmarks = RandomLandmarks(200, 21);
  ASSERT_TRUE(WriteLandmarkFile(dir.File("r.dat"), landmarks));
  WriteText(dir.File("r.trc"), std::string(100000, 'z'));
  const ProcessRun run = RunIn(dir.Path, { "r.dat", "0.3mm" }); // the number prefix counts
  ASSERT_EQ(run.Status, 0) << run.Out;
  EXPECT_EQ(run.Out, "");
  EXPECT_EQ(run.Err, "");

  TransformCoefficients c;
  const TransformFileResult read = ReadTransformCoefficients(dir.File("r.trc").c_str(), c);
  ASSERT_EQ(read.Status, TransformFileStatus::Ok) << read.Reason;
  EXPECT_EQ(c.Radius, 0.3f);
  ASSERT_EQ(c.Points->GetNumberOfPoints(), 200);
  ASSERT_EQ(c.CoeffX.size(), 204u);
  for (int i = 0; i < 200; ++i)
  {
    double p[3];
    c.Points->GetPoint(i, p);
    for (int k = 0; k < 3; ++k)
    {
      // Six decimals of the single-precision value, read back in double precision: the file
      // order and the values of the landmark file.
      ASSERT_NEAR(p[k], landmarks[i].Source[k], 5.6e-7) << "landmark " << i;
    }
  }
  // The spline evaluated from the file's contents moves every landmark onto its target (to the
  // file's six decimals). Weights are stored in ordered positions: landmark i's is UnList[i].
  for (int i = 0; i < 200; i += 7)
  {
    const double* q = landmarks[i].Source;
    double d[3];
    const std::vector<float>* coeff[3] = { &c.CoeffX, &c.CoeffY, &c.CoeffZ };
    for (int axis = 0; axis < 3; ++axis)
    {
      const std::vector<float>& w = *coeff[axis];
      double s = w[200] + w[201] * q[0] + w[202] * q[1] + w[203] * q[2];
      for (int j = 0; j < 200; ++j)
      {
        double p[3];
        c.Points->GetPoint(j, p);
        s += w[c.UnList[j]] * ReferenceKernel(q, p, c.Radius);
      }
      d[axis] = s;
    }
    for (int axis = 0; axis < 3; ++axis)
    {
      EXPECT_NEAR(q[axis] - d[axis], landmarks[i].Target[axis], 2e-4)
        << "landmark " << i << ", axis " << axis;
    }
  }
}

TEST(Pravik, RadiusArgumentIsConvertedLikeStrtod)
{
  ScratchDir dir;
  WriteText(dir.File("a.dat"), FourLandmarks);
  for (const auto& [argument, written] :
    { std::pair<const char*, const char*>{ "abc", "[0.000000]" }, { "  1.25e0xyz", "[1.250000]" },
      { "0x10", "[16.000000]" }, { "-2", "[-2.000000]" } })
  {
    const ProcessRun run = RunIn(dir.Path, { "a.dat", argument });
    EXPECT_EQ(run.Status, 0) << argument << ": " << run.Out;
    EXPECT_EQ(ReadText(dir.File("a.trc")).rfind(std::string(written) + "\n", 0), 0u) << argument;
  }
}

TEST(Pravik, RefusesValuesThatAreNotFinite)
{
  ScratchDir dir;
  WriteText(dir.File("a.dat"), FourLandmarks);
  for (const char* radius : { "nan", "inf", "-infinity" })
  {
    const ProcessRun run = RunIn(dir.Path, { "a.dat", radius });
    EXPECT_EQ(run.Status, 7) << radius;
    EXPECT_EQ(run.Out, std::string("The radius ") + radius + " is not a finite number!\n");
    EXPECT_FALSE(FileExists(dir.File("a.trc")));
  }
  // Finite, but infinite in the solver's single precision (it was reported as a matrix
  // that is not positive definite).
  for (const char* radius : { "1e39", "-4e38" })
  {
    const ProcessRun run = RunIn(dir.Path, { "a.dat", radius });
    EXPECT_EQ(run.Status, 7) << radius;
    EXPECT_EQ(run.Out,
      std::string("The radius ") + radius +
        " is too large for the solver's single precision (at most 3.40282e+38)!\n");
    EXPECT_EQ(run.Err, "");
    EXPECT_FALSE(FileExists(dir.File("a.trc")));
  }
  WriteText(dir.File("b.dat"), std::string(FourLandmarks) + "1 1 1 nan 0 0\n");
  const ProcessRun bad = RunIn(dir.Path, { "b.dat", "1" });
  EXPECT_EQ(bad.Status, 2);
  EXPECT_EQ(
    bad.Out, "Line 5 of b.dat holds a landmark value that is not a finite number!\nError!\n");
  EXPECT_FALSE(FileExists(dir.File("b.trc")));

  // Finite landmarks whose differences overflow the float range give no file either.
  WriteText(dir.File("c.dat"),
    std::string(FourLandmarks) +
      "0.5 0.5 0.5 3e38 0 0\n"
      "0.2 0.1 0.5 -3e38 0 0\n");
  const ProcessRun huge = RunIn(dir.Path, { "c.dat", "1" });
  EXPECT_EQ(huge.Status, 7) << huge.Out;
  EXPECT_FALSE(FileExists(dir.File("c.trc")));
}

TEST(Pravik, CoincidentLandmarksFailTheFactorisation)
{
  ScratchDir dir;
  // Apart from the coincident pair no landmarks are neighbours: the pivot is exactly 0.
  WriteText(dir.File("c.dat"), std::string(FourLandmarks) + "1 0 0 1.2 0 0\n");
  const ProcessRun run = RunIn(dir.Path, { "c.dat", "0.5" });
  EXPECT_EQ(run.Status, 5);
  EXPECT_EQ(run.Out,
    "Matrix is not positive  Iflag =1\n"
    "No coefficient file written: check c.dat for coincident landmarks (two "
    "landmarks at one source position).\n");
  EXPECT_FALSE(FileExists(dir.File("c.trc")));
  // The sparse solve fails the same way, with the same lines, said once.
  const ProcessRun sparse = RunIn(dir.Path, { "--solver", "sparse", "c.dat", "0.5" });
  EXPECT_EQ(sparse.Status, run.Status);
  EXPECT_EQ(sparse.Out, run.Out);
  EXPECT_FALSE(FileExists(dir.File("c.trc")));

  // With more neighbours rounding leaves a tiny positive pivot: still refused.
  const ProcessRun wide = RunIn(dir.Path, { "c.dat", "2" });
  EXPECT_EQ(wide.Status, 5);
  EXPECT_EQ(wide.Out,
    "Landmarks 2 and 5 (counted in file order from 1) share one source "
    "position; no coefficient file written.\n");
  EXPECT_FALSE(FileExists(dir.File("c.trc")));
}

TEST(Pravik, PlanarLandmarkFilesFitAndEmptyOnesAreRefused)
{
  ScratchDir dir;
  WriteText(dir.File("flat.dat"), "0 0 0 0 0 0.1\n1 0 0 1 0 0.1\n0 1 0 0 1 0.2\n1 1 0 1 1 0\n");
  const ProcessRun flat = RunIn(dir.Path, { "flat.dat", "1.5" });
  EXPECT_EQ(flat.Status, 0);
  EXPECT_EQ(flat.Out.rfind("Warning: ", 0), 0u) << flat.Out;
  const std::string text = ReadText(dir.File("flat.trc"));
  EXPECT_EQ(text.find("nan"), std::string::npos) << text;
  EXPECT_EQ(text.find("inf"), std::string::npos) << text;

  EXPECT_EQ(flat.Err, "");

  // No landmark read (an empty file, a spreadsheet export with semicolons or decimal
  // commas): an all-zero coefficient file would pass for a fit, so none is written.
  struct Case
  {
    const char* Name;
    const char* Text;
    int Skipped;
  };
  const Case cases[] = { { "none.dat", "", 0 },
    { "semicolons.dat", "x;y;z;u;v;w\n0;0;0;0;0;0.1\n1;0;0;1;0;0.1\n", 3 },
    { "commas.dat", "0,5 0 0 0,5 0 0,1\n1 0,25 0 1 0,25 0\n", 2 } };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.Name);
    WriteText(dir.File(c.Name), c.Text);
    const ProcessRun run = RunIn(dir.Path, { c.Name, "1" });
    EXPECT_EQ(run.Status, 2);
    EXPECT_EQ(run.Out,
      std::string("No landmark read from ") + c.Name + ": " + std::to_string(c.Skipped) +
        " lines skipped (a landmark line starts with six numbers separated by blanks)!\n"
        "Error!\n");
    EXPECT_EQ(run.Err, "");
    EXPECT_FALSE(FileExists(dir.File(PravikOutputName(c.Name))));
  }
}

TEST(Pravik, OutputFailures)
{
  ScratchDir dir;
  WriteText(dir.File("a.dat"), FourLandmarks);
  // A directory in the way of the output file: it cannot be created.
  ASSERT_EQ(mkdir(dir.File("a.trc").c_str(), 0755), 0);
  const ProcessRun blocked = RunIn(dir.Path, { "a.dat", "1" });
  EXPECT_EQ(blocked.Status, 3);
  EXPECT_EQ(blocked.Out, "Cannot open output file!\n");
  rmdir(dir.File("a.trc").c_str());

  // A full disk: the writes fail, status 4, and the file of an earlier run stays as it was.
  WriteText(dir.File("a.trc"), "[0.5]\n");
  ProcessRun full;
  {
    testsupport::FileSizeLimit limit(64); // inherited by the child
    full = RunIn(dir.Path, { "a.dat", "1" });
  }
  EXPECT_EQ(full.Status, 4);
  EXPECT_EQ(full.Out.rfind("Cannot write output file a.trc (", 0), 0u) << full.Out;
  EXPECT_NE(full.Out.find("File too large"), std::string::npos) << full.Out;
  EXPECT_NE(full.Out.find("is kept as it was"), std::string::npos) << full.Out;
  EXPECT_EQ(ReadText(dir.File("a.trc")), "[0.5]\n");

  // A link to a device is neither written through nor replaced.
  std::remove(dir.File("a.trc").c_str());
  ASSERT_EQ(symlink("/dev/full", dir.File("a.trc").c_str()), 0);
  const ProcessRun device = RunIn(dir.Path, { "a.dat", "1" });
  EXPECT_EQ(device.Status, 3);
  EXPECT_EQ(device.Out, "Cannot open output file!\n");
}

namespace
{
// The radius the run script fits the sample with ("radius=<value>").
std::string RunScriptRadius()
{
  const std::string script = ReadText(std::string(QUORVEL_SOURCE_DIR) + "/scripts/run.sh");
  const size_t at = script.find("\nradius=");
  if (at == std::string::npos)
  {
    return "";
  }
  const size_t begin = at + 8;
  return script.substr(begin, script.find('\n', begin) - begin);
}
}

TEST(Pravik, FitsTheBundledSample)
{
  const std::string sample = std::string(QUORVEL_DATA_DIR) + "/leg.dat";
  if (!FileExists(sample))
  {
    GTEST_SKIP() << "no sample at " << sample;
  }
  const std::string radius = RunScriptRadius();
  ASSERT_FALSE(radius.empty()) << "scripts/run.sh names no radius";
  ScratchDir dir;
  WriteText(dir.File("leg.dat"), ReadText(sample));
  const ProcessRun run = RunIn(dir.Path, { "leg.dat", radius });
  ASSERT_EQ(run.Status, 0) << run.Out;
  EXPECT_EQ(run.Out, "");

  TransformCoefficients c;
  const TransformFileResult read = ReadTransformCoefficients(dir.File("leg.trc").c_str(), c);
  ASSERT_EQ(read.Status, TransformFileStatus::Ok) << read.Reason;
  EXPECT_EQ(c.Radius, static_cast<float>(std::strtod(radius.c_str(), nullptr)));

  // Every landmark line of the sample is a landmark, and the spline carries it to its target.
  std::istringstream lines(ReadText(sample));
  std::string line;
  int n = 0;
  std::vector<Landmark> landmarks;
  while (std::getline(lines, line))
  {
    Landmark l;
    if (std::sscanf(line.c_str(), "%lf %lf %lf %lf %lf %lf", &l.Source[0], &l.Source[1],
          &l.Source[2], &l.Target[0], &l.Target[1], &l.Target[2]) == 6)
    {
      landmarks.push_back(l);
      ++n;
    }
  }
  ASSERT_EQ(c.Points->GetNumberOfPoints(), n);

  // The radius and the positions, which six decimals hold exactly, are written as the
  // sample's own six-decimal text, as they always were.
  std::istringstream written(ReadText(dir.File("leg.trc")));
  std::getline(written, line);
  std::string radiusLine = "[";
  NumberText::AppendFixed(radiusLine, c.Radius);
  EXPECT_EQ(line, radiusLine + "]");
  std::getline(written, line);
  EXPECT_EQ(line, "[" + std::to_string(n) + "]");
  std::istringstream sampleLines(ReadText(sample));
  for (int i = 0; i < n && std::getline(written, line); ++i)
  {
    std::string sampleLine;
    std::getline(sampleLines, sampleLine);
    std::istringstream fields(sampleLine);
    std::string x, y, z;
    fields >> x >> y >> z;
    EXPECT_EQ(line, x + " " + y + " " + z) << "landmark " << i;
  }

  const std::vector<float>* coeff[3] = { &c.CoeffX, &c.CoeffY, &c.CoeffZ };
  for (int i = 0; i < n; i += 5)
  {
    const double* q = landmarks[i].Source;
    for (int axis = 0; axis < 3; ++axis)
    {
      const std::vector<float>& w = *coeff[axis];
      double s = w[n] + w[n + 1] * q[0] + w[n + 2] * q[1] + w[n + 3] * q[2];
      for (int j = 0; j < n; ++j)
      {
        double p[3];
        c.Points->GetPoint(j, p);
        s += w[c.UnList[j]] * ReferenceKernel(q, p, c.Radius);
      }
      // Coefficients read back exactly: only the fit's single precision is left.
      EXPECT_NEAR(q[axis] - s, landmarks[i].Target[axis], 1e-6)
        << "landmark " << i << ", axis " << axis;
    }
  }
}

TEST(Pravik, ExhaustedMemoryEndsTheRunWithItsMessage)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a sanitizer's shadow memory does not fit under an address-space limit";
#else
  // 6000 landmarks that are all neighbours: the envelope is the whole triangle (about 72 MB),
  // more than the 60 MB the run is allowed in all.
  ScratchDir dir;
  ASSERT_TRUE(WriteLandmarkFile(dir.File("dense.dat"), RandomLandmarks(6000, 99)));
  const ProcessRun run =
    RunIn(dir.Path, { "dense.dat", "10" }, PRAVIK_EXECUTABLE, "ulimit -v 60000 && timeout 120 ");
  EXPECT_EQ(run.Status, 6) << run.Out << run.Err;
  EXPECT_EQ(run.Out, "Not enogh memory to floatlocate Env\n");
  EXPECT_FALSE(FileExists(dir.File("dense.trc")));
#endif
}

TEST(Pravik, WritesTheSameBytesUnderACommaDecimalLocale)
{
  COMMA_LOCALE_OR_SKIP(comma);
  ScratchDir dir;
  WriteText(dir.File("a.dat"), FourLandmarks);
  const ProcessRun inC = RunIn(dir.Path, { "a.dat", "1.5" });
  ASSERT_EQ(inC.Status, 0) << inC.Out;
  const std::string written = ReadText(dir.File("a.trc"));
  ASSERT_EQ(written.rfind("[1.500000]\n[4]\n0.000000 0.000000 0.000000\n", 0), 0u) << written;

  // The program in the user's locale...
  const ProcessRun run = RunIn(dir.Path, { "a.dat", "1.5" }, PRAVIK_EXECUTABLE,
    std::string("LC_ALL=") + comma + " ");
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Out, inC.Out);
  EXPECT_EQ(ReadText(dir.File("a.trc")), written);

  // ...and its code where something else has switched the whole locale to comma decimals:
  // landmarks, radius and coefficients are read and written alike, and read back.
  std::remove(dir.File("a.trc").c_str());
  commalocale::Scope scope(comma);
  ASSERT_TRUE(scope.Active);
  std::string program = "Pravik";
  std::string input = dir.File("a.dat");
  std::string radius = "1.5";
  char* argv[] = { &program[0], &input[0], &radius[0], nullptr };
  EXPECT_EQ(PravikMain(3, argv), 0);
  EXPECT_EQ(ReadText(dir.File("a.trc")), written);
  TransformCoefficients c;
  ASSERT_EQ(ReadTransformCoefficients(dir.File("a.trc").c_str(), c).Status, TransformFileStatus::Ok);
  EXPECT_EQ(c.Radius, 1.5f);
  EXPECT_EQ(c.Points->GetPoint(1)[0], 1.0);
}

TEST(Pravik, NotesOnStandardErrorLeaveOutputAndStatusAsTheyAre)
{
  ScratchDir dir;
  WriteText(dir.File("a.dat"), FourLandmarks);
  // A 4 x 4 x 4 grid of unit spacing: 4.5 neighbours on average within 1.1.
  std::string grid;
  for (int i = 0; i < 64; ++i)
  {
    const std::string x = std::to_string(i % 4), y = std::to_string(i / 4 % 4),
                      z = std::to_string(i / 16);
    grid += x + " " + y + " " + z + " " + x + " " + y + ".1 " + z + "\n";
  }
  WriteText(dir.File("grid.dat"), grid);
  struct Case
  {
    const char* File;
    const char* Radius;
    const char* Note; ///< what the one line on standard error holds; null for none
  };
  const Case cases[] = {
    { "a.dat", "0", "the radius \"0\" is not a positive number: the fit is the affine part alone" },
    { "a.dat", "abc", "the radius \"abc\" is not a positive number" },
    { "a.dat", "-1", "the radius \"-1\" is not a positive number" },
    { "a.dat", "0.5", "4 of 4 landmarks have no other landmark within the radius 0.5" },
    { "grid.dat", "1.1", "4.5 neighbours on average within the radius 1.1; a radius of about " },
    { "a.dat", "1", nullptr },
    { "grid.dat", "2", nullptr },
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(std::string(c.File) + " " + c.Radius);
    const ProcessRun run = RunIn(dir.Path, { c.File, c.Radius });
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out, "");
    if (!c.Note)
    {
      EXPECT_EQ(run.Err, "");
      continue;
    }
    EXPECT_EQ(run.Err.rfind("Pravik: note: ", 0), 0u) << run.Err;
    EXPECT_NE(run.Err.find(c.Note), std::string::npos) << run.Err;
    EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << run.Err;
  }
  // The suggested radius gives a neighbour count without a note.
  const ProcessRun few = RunIn(dir.Path, { "grid.dat", "1.1" });
  const std::string at = "a radius of about ";
  const size_t suggested = few.Err.find(at);
  ASSERT_NE(suggested, std::string::npos) << few.Err;
  const std::string radius = few.Err.substr(suggested + at.size(), few.Err.find(' ', suggested + at.size()) - suggested - at.size());
  const ProcessRun better = RunIn(dir.Path, { "grid.dat", radius });
  EXPECT_EQ(better.Status, 0);
  EXPECT_EQ(better.Err, "") << "radius " << radius;
}

// The options before the two arguments: a wrong one gives the usage line unchanged (and the
// reason on standard error) and writes nothing; the methods both interpolate, the sparse one
// gives the same file on every run; smoothing and the leave-out check add their notes.
TEST(Pravik, OptionsChooseTheSolverSmoothingAndLeaveOutCheck)
{
  ScratchDir dir;
  const std::vector<Landmark> landmarks = RandomSphereLandmarks(3000, 4);
  ASSERT_TRUE(WriteLandmarkFile(dir.File("s.dat"), landmarks));
  const std::string radius = std::to_string(SphereRadiusForNeighbours(3000, 30));
  const std::string usage =
    std::string("Usage: ") + PRAVIK_EXECUTABLE + " <filename[.dat]> <radius>\n";
  const std::vector<std::vector<std::string>> wrong = {
    { "--solver", "fast", "s.dat", radius },
    { "--solver", "sparse", "--solver", "auto", "s.dat", radius },
    { "--smoothing", "-1", "s.dat", radius },
    { "--smoothing", "0.1x", "s.dat", radius },
    { "--smoothing", "nan", "s.dat", radius },
    { "--leave-out", "1", "s.dat", radius },
    { "--colour", "red", "s.dat", radius },
    { "s.dat", radius, "--solver", "sparse" },
    { "--solver", "sparse", "s.dat" },
  };
  for (const auto& args : wrong)
  {
    const ProcessRun run = RunIn(dir.Path, args);
    EXPECT_EQ(run.Status, 1) << args[0] << " " << args[1];
    EXPECT_EQ(run.Out, usage) << args[0] << " " << args[1];
    EXPECT_FALSE(FileExists(dir.File("s.trc"))) << args[0] << " " << args[1];
  }
  EXPECT_NE(RunIn(dir.Path, { "--solver", "fast", "s.dat", radius }).Err.find("--solver takes"),
    std::string::npos);

  std::string files[3];
  const char* const methods[] = { "envelope", "sparse", "sparse" };
  for (int m = 0; m < 3; ++m)
  {
    const ProcessRun run = RunIn(dir.Path, { "--solver", methods[m], "s.dat", radius });
    ASSERT_EQ(run.Status, 0) << methods[m] << ": " << run.Out;
    EXPECT_EQ(run.Out, "") << methods[m];
    files[m] = ReadText(dir.File("s.trc"));
    TransformCoefficients c;
    ASSERT_EQ(
      ReadTransformCoefficients(dir.File("s.trc").c_str(), c).Status, TransformFileStatus::Ok);
    vtkNew<vtkShapeTransform> transform;
    transform->SetParameters(c);
    transform->SetFactor(1.0f);
    double worst = 0.0;
    for (const Landmark& l : landmarks)
    {
      double moved[3];
      transform->TransformPoint(l.Source, moved);
      for (int a = 0; a < 3; ++a)
      {
        worst = std::max(worst, std::fabs(moved[a] - l.Target[a]));
      }
    }
    EXPECT_LT(worst, 1e-4) << methods[m];
  }
  EXPECT_NE(files[0], files[1]);
  EXPECT_EQ(files[1], files[2]);

  const ProcessRun smooth = RunIn(dir.Path, { "--smoothing", "0.05", "s.dat", radius });
  EXPECT_EQ(smooth.Status, 0);
  EXPECT_EQ(smooth.Out, "");
  EXPECT_NE(smooth.Err.find("Pravik: note: with smoothing 0.05 the spline takes the landmarks "
                            "to within "),
    std::string::npos)
    << smooth.Err;
  const ProcessRun exact = RunIn(dir.Path, { "--smoothing", "0", "s.dat", radius });
  EXPECT_NE(exact.Err.find("within 0 (largest) and 0 (RMS)"), std::string::npos) << exact.Err;
  const ProcessRun check = RunIn(dir.Path, { "--leave-out", "0.1", "s.dat", radius });
  EXPECT_EQ(check.Status, 0);
  EXPECT_NE(check.Err.find("fitted without 0.1 of the landmarks"), std::string::npos) << check.Err;
  // No option: no note of theirs.
  EXPECT_EQ(RunIn(dir.Path, { "s.dat", radius }).Err.find("smoothing"), std::string::npos);
}

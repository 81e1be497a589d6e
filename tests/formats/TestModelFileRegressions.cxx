// The model-file fuzz target's checks, run in the ordinary test suite: over the inputs kept
// from faults the fuzzer found (each once crashed or broke a check before its mend), and over
// its generated seeds, the valid files of every format and variant, each read back after a
// round trip to every format. A failing check aborts the test program; the input's name is
// on standard error just before.
#include "FuzzModelFormat.h"
#include "ModelFile.h"
#include "ModelSeeds.h"
#include "ReliabilityTesting.h"

#include <gtest/gtest.h>
#include <vtkPolyData.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace
{
namespace fs = std::filesystem;
using reliability::ReadFile;
using reliability::ScratchDirectory;
using reliability::WriteFile;

void InitializeTarget()
{
  static const int once = LLVMFuzzerInitialize(nullptr, nullptr);
  (void)once;
}

std::vector<std::string> FilesIn(const std::string& directory)
{
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(directory))
  {
    if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
    {
      files.push_back(entry.path().string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

void Replay(const std::string& name, const std::string& input)
{
  std::fprintf(stderr, "replaying %s (format byte %d)\n", name.c_str(),
    input.empty() ? -1 : static_cast<unsigned char>(input[0]));
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
}
}

// A kept input is named after the format it is read as ("ply-...") and, where the fault was
// in the writing, the format it goes out to ("...-to-stl"). Its first byte must say the same:
// an input found while a run was held to one format (QUORVEL_FUZZ_MODEL_FORMAT) and kept with
// the byte it had is otherwise read as another format and no longer reaches its fault.
TEST(ModelFileRegressions, InputsOfMendedFaultsAreReadAsTheFormatTheyAreNamedFor)
{
  const std::vector<std::string> inputs = FilesIn(QUORVEL_MODEL_FUZZ_CORPUS);
  ASSERT_FALSE(inputs.empty()) << "no kept inputs in " << QUORVEL_MODEL_FUZZ_CORPUS;
  for (const std::string& path : inputs)
  {
    const std::string name = fs::path(path).filename().string();
    SCOPED_TRACE(name);
    const std::string input = ReadFile(path);
    ASSERT_FALSE(input.empty());
    const FuzzModelFormat format = FuzzModelFormat::FromByte(static_cast<uint8_t>(input[0]));
    const std::string in = FuzzModelFormat::Extension(format.In) + 1;
    EXPECT_EQ(name.substr(0, name.find('-')), in) << "the first byte reads it as " << in;
    const size_t to = name.find("-to-");
    if (to != std::string::npos)
    {
      const std::string out = FuzzModelFormat::Extension(format.Out) + 1;
      EXPECT_EQ(name.substr(to + 4, 3), out) << "the first byte writes it to " << out;
    }
  }
}

TEST(ModelFileRegressions, InputsOfMendedFaultsPassTheFuzzChecks)
{
  InitializeTarget();
  const std::vector<std::string> inputs = FilesIn(QUORVEL_MODEL_FUZZ_CORPUS);
  ASSERT_FALSE(inputs.empty()) << "no kept inputs in " << QUORVEL_MODEL_FUZZ_CORPUS;
  for (const std::string& path : inputs)
  {
    Replay(fs::path(path).filename().string(), ReadFile(path));
  }
}

// Every seed is a valid file and must be read; what is read goes out to each of the five
// formats and back with the points and cells that format keeps.
TEST(ModelFileRegressions, EverySeedIsReadAndWrittenBackInEveryFormat)
{
  InitializeTarget();
  ScratchDirectory dir;
  ASSERT_TRUE(WriteModelSeeds(dir.Path()));
  const std::vector<std::string> seeds = FilesIn(dir.Path());
  std::map<std::string, int> variants; // "vtk binary" -> seeds
  for (const std::string& path : seeds)
  {
    const std::string name = fs::path(path).filename().string();
    SCOPED_TRACE(name);
    const std::string seed = ReadFile(path);
    ASSERT_GT(seed.size(), 1u);
    const FuzzModelFormat format = FuzzModelFormat::FromByte(static_cast<uint8_t>(seed[0]));
    const char* extension = FuzzModelFormat::Extension(format.In);
    const bool binary = FuzzModelFormat::IsBinary(
      format.In, reinterpret_cast<const uint8_t*>(seed.data()) + 1, seed.size() - 1);
    ++variants[std::string(extension + 1) + (binary ? " binary" : " text")];

    const std::string file = dir.File("read" + std::string(extension));
    WriteFile(file, seed.substr(1));
    std::string reason;
    EXPECT_NE(ReadModelFile(file, reason), nullptr) << reason;
    fs::remove(file);

    for (int out = 0; out < FuzzModelFormat::Count; ++out)
    {
      std::string input = seed;
      input[0] =
        static_cast<char>(FuzzModelFormat{ format.In, static_cast<ModelFormat>(out) }.Byte());
      Replay(name + " to " + FuzzModelFormat::Extension(static_cast<ModelFormat>(out)), input);
    }
  }
  const std::map<std::string, int> expected = { { "vtk text", 1 }, { "vtk binary", 1 },
    { "vtp text", 1 }, { "vtp binary", 3 }, { "stl text", 1 }, { "stl binary", 1 },
    { "ply text", 1 }, { "ply binary", 2 }, { "obj text", 2 } };
  EXPECT_EQ(variants, expected);
}

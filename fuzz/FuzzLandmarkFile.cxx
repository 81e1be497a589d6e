// Landmark files come from the user's disk. The fuzz input's first byte picks the radius,
// the rest is the landmark file; the whole fitting run (reading, ordering, solving, writing)
// goes over it. The reader's ordering must be a permutation within its half-bandwidth, and
// the run must either write a complete coefficient file without "nan" or "inf" that reads
// back with every landmark, or write none at all.
#include "FuzzInput.h"
#include "PravikRun.h"
#include "TransformFile.h"
#include "vtkDatReader.h"

#include <vtkIdList.h>
#include <vtkNew.h>
#include <vtkObject.h>
#include <vtkPointLocator.h>
#include <vtkPoints.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{
const char* const Radii[] = { "0.25", "1", "0.05", "0", "-1", "1e30", "3", "1e-3" };

std::string& Directory()
{
  static std::string directory;
  return directory;
}

void WriteInput(const std::string& path, const uint8_t* data, size_t size)
{
  std::FILE* file = std::fopen(path.c_str(), "wb");
  fuzzinput::Check(file != nullptr, "cannot write the landmark file");
  fuzzinput::Check(size == 0 || std::fwrite(data, 1, size, file) == size, "short write");
  std::fclose(file);
}

// Reads the file with the reader alone and checks the ordering; returns N, or -1 when the
// reader refuses the file.
long ReadAndCheckOrdering(const std::string& path, float radius)
{
  vtkNew<vtkDatReader> reader;
  reader->FileName = path.c_str();
  reader->SetRadius(radius);
  if (reader->Read() != 0)
  {
    return -1;
  }
  const int n = static_cast<int>(reader->GetPointArray()->GetNumberOfPoints());
  fuzzinput::Check(reader->GetPointArrayN()->GetNumberOfPoints() == n, "source and target counts");
  const int* list = reader->GetList();
  const int* unList = reader->GetUnList();
  for (int k = 0; k < n; ++k)
  {
    fuzzinput::Check(list[k] >= 0 && list[k] < n && unList[list[k]] == k,
      "the ordering is not a permutation with its inverse");
  }
  // Every two neighbours lie within Max positions of each other. VTK's point locator misses
  // points when the radius is some 1e10 times its bucket size (its bucket indices overflow),
  // and the ordering can be no better than the locator's answers: such radii are left out.
  if (radius > 1e6f)
  {
    return n;
  }
  vtkNew<vtkIdList> ids;
  for (int i = 0; i < n; ++i)
  {
    double p[3];
    reader->GetPointArray()->GetPoint(i, p);
    reader->GetTree()->FindPointsWithinRadius(radius, p, ids);
    for (vtkIdType j = 0; j < ids->GetNumberOfIds(); ++j)
    {
      fuzzinput::Check(std::abs(unList[i] - unList[ids->GetId(j)]) <= reader->GetMax(),
        "two neighbours lie farther apart than Max");
    }
  }
  return n;
}
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
  vtkObject::GlobalWarningDisplayOff();
  fuzzinput::SilenceStandardOutput();
  char pattern[] = "/dev/shm/fuzz-landmarks-XXXXXX";
  fuzzinput::Check(mkdtemp(pattern) != nullptr, "cannot make a directory");
  Directory() = pattern;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size == 0)
  {
    return 0;
  }
  const char* radius = Radii[data[0] % (sizeof(Radii) / sizeof(Radii[0]))];
  const std::string dat = Directory() + "/in.dat";
  const std::string trc = Directory() + "/in.trc";
  WriteInput(dat, data + 1, size - 1);
  std::remove(trc.c_str());

  const long n = ReadAndCheckOrdering(dat, std::strtof(radius, nullptr));

  std::string program = "Pravik";
  std::string datArgument = dat;
  std::string radiusArgument = radius;
  char* argv[] = { &program[0], &datArgument[0], &radiusArgument[0], nullptr };
  const int status = PravikMain(3, argv);

  const bool written = access(trc.c_str(), F_OK) == 0;
  if (status != PravikWritten)
  {
    fuzzinput::Check(!written, "a failed run left a coefficient file");
    return 0;
  }
  fuzzinput::Check(written, "a successful run without a coefficient file");
  fuzzinput::Check(n >= 0, "the run succeeded on a file the reader refuses");
  std::FILE* file = std::fopen(trc.c_str(), "r");
  std::string text;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof(buffer), file)) > 0)
  {
    text.append(buffer, got);
  }
  std::fclose(file);
  fuzzinput::Check(text.find("nan") == std::string::npos && text.find("inf") == std::string::npos,
    "a coefficient file holds a value that is not finite");
  TransformCoefficients c;
  fuzzinput::Check(ReadTransformCoefficients(trc.c_str(), c).Status == TransformFileStatus::Ok,
    "a written coefficient file does not read back");
  fuzzinput::Check(c.Points->GetNumberOfPoints() == n, "the coefficient file lost landmarks");
  return 0;
}

// Saving a landmark set: the fitting tool's reader gets it back bit for bit, in any locale,
// and a save that fails leaves the earlier file as it was.
#include "CommaLocale.h"
#include "LandmarkEdits.h"
#include "LandmarkFileWriter.h"
#include "LandmarkPairs.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <vtkPoints.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <sys/stat.h>

namespace
{
std::string Contents(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool SameBits(vtkPoints* a, vtkPoints* b, std::string& where)
{
  if (a->GetNumberOfPoints() != b->GetNumberOfPoints())
  {
    where = "counts differ";
    return false;
  }
  for (vtkIdType i = 0; i < a->GetNumberOfPoints(); ++i)
  {
    double p[3];
    double q[3];
    a->GetPoint(i, p);
    b->GetPoint(i, q);
    if (std::memcmp(p, q, sizeof(p)) != 0)
    {
      std::ostringstream text;
      text.precision(17);
      text << "point " << i << ": " << p[0] << " " << p[1] << " " << p[2] << " read back as "
           << q[0] << " " << q[1] << " " << q[2];
      where = text.str();
      return false;
    }
  }
  return true;
}

// Sets whose numbers need every digit: scanner coordinates, tiny models, noise, values
// that "%f" would round, negative zero.
void MakeSet(LandmarkPairs& pairs, int kind)
{
  std::mt19937 random(static_cast<unsigned>(kind) + 3);
  std::normal_distribution<double> noise(0.0, 1.0);
  const double origin[4][3] = { { 0, 0, 0 }, { 6.5e5, -4.2e6, 9.1e2 }, { 1e-6, 2e-6, 0 },
    { -3.7, 12.25, 0.4 } };
  const double scale[4] = { 1.0, 7.5, 3e-7, 0.01 };
  for (int i = 0; i < 40; ++i)
  {
    double s[3];
    double t[3];
    for (int k = 0; k < 3; ++k)
    {
      s[k] = origin[kind][k] + scale[kind] * noise(random) * (1 + i % 5);
      t[k] = s[k] + scale[kind] * 0.1 * noise(random);
    }
    LandmarkEdits::AddPair(pairs, s, t);
  }
  const double zero[3] = { -0.0, 1e-38, 3.4e38 };
  LandmarkEdits::AddPair(pairs, zero, zero);
}
}

TEST(LandmarkFileWriter, ReadsBackBitForBit)
{
  const char* comma = commalocale::Find();
  for (int kind = 0; kind < 4; ++kind)
  {
    for (bool inComma : { false, true })
    {
      if (inComma && !comma)
      {
        continue;
      }
      LandmarkPairs pairs;
      MakeSet(pairs, kind);
      testsupport::TempDir dir;
      const std::string path = dir.Path("made.dat");
      std::string reason;
      {
        commalocale::Scope scope(inComma ? comma : "C");
        ASSERT_TRUE(WriteLandmarkFile(pairs, path, reason)) << reason;
      }
      EXPECT_EQ(std::string::npos, Contents(path).find(',')) << "kind " << kind;

      LandmarkPairs back;
      ASSERT_TRUE(back.ReadFile(path, &reason)) << reason;
      std::string where;
      EXPECT_TRUE(SameBits(pairs.GetSources(), back.GetSources(), where))
        << "kind " << kind << (inComma ? " in a comma locale" : "") << ", sources: " << where;
      EXPECT_TRUE(SameBits(pairs.GetTargets(), back.GetTargets(), where))
        << "kind " << kind << (inComma ? " in a comma locale" : "") << ", targets: " << where;
    }
  }
  if (!comma)
  {
    GTEST_SKIP() << "no comma-decimal locale installed: only the C locale was tried";
  }
}

TEST(LandmarkFileWriter, WritesSixNumbersALine)
{
  LandmarkPairs pairs;
  const double s[3] = { 1.5, -2, 0.1 };
  const double t[3] = { 1e-7, 1234567, 3 };
  LandmarkEdits::AddPair(pairs, s, t);
  LandmarkEdits::AddPair(pairs, t, s);
  testsupport::TempDir dir;
  std::string reason;
  ASSERT_TRUE(WriteLandmarkFile(pairs, dir.Path("x.dat"), reason)) << reason;
  EXPECT_EQ("1.500000 -2.000000 0.100000 1e-07 1234567.000000 3.000000\n"
            "1e-07 1234567.000000 3.000000 1.500000 -2.000000 0.100000\n",
    Contents(dir.Path("x.dat")));
}

// A save that cannot be completed says why and keeps what was there.
TEST(LandmarkFileWriter, FailureKeepsTheEarlierFile)
{
  LandmarkPairs pairs;
  const double p[3] = { 1, 2, 3 };
  LandmarkEdits::AddPair(pairs, p, p);
  testsupport::TempDir dir;
  const std::string old = dir.Path("old.dat");
  std::ofstream(old) << "earlier contents\n";

  struct Case
  {
    const char* name;
    std::string target;
  };
  ASSERT_EQ(0, ::mkdir(dir.Path("folder").c_str(), 0700));
  const Case cases[] = {
    { "a folder", dir.Path("folder") },
    { "no such folder", dir.Path("missing/x.dat") },
  };
  for (const Case& c : cases)
  {
    std::string reason;
    EXPECT_FALSE(WriteLandmarkFile(pairs, c.target, reason)) << c.name;
    EXPECT_FALSE(reason.empty()) << c.name;
  }

  // A value beyond single precision cannot be stored in the file: refused before writing.
  LandmarkPairs huge;
  const double big[3] = { 1e39, 0, 0 };
  huge.GetSources()->InsertNextPoint(big);
  huge.GetTargets()->InsertNextPoint(p);
  std::string reason;
  EXPECT_FALSE(WriteLandmarkFile(huge, old, reason));
  EXPECT_NE(std::string::npos, reason.find("landmark 1")) << reason;
  EXPECT_EQ("earlier contents\n", Contents(old));
}

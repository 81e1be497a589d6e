// A camera record: its slots against a real vtkCamera, and its line in a ".csr" file.
#include "CameraStatus.h"
#include "CommaLocale.h"
#include "RecordTestUtils.h"
#include "system.h"

#include <vtkCamera.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace
{
using recordtest::ReadAll;
using recordtest::TempFile;
using recordtest::WriteAll;

// Runs the writer against a scratch file and returns the bytes it wrote.
template <typename F>
std::string Written(F write)
{
  std::FILE* file = std::tmpfile();
  EXPECT_NE(file, nullptr);
  write(file);
  std::string text;
  std::rewind(file);
  for (int c; (c = std::fgetc(file)) != EOF;)
  {
    text += static_cast<char>(c);
  }
  std::fclose(file);
  return text;
}

// A scratch file holding the given text, open for reading.
std::FILE* Readable(const std::string& text)
{
  std::FILE* file = std::tmpfile();
  std::fputs(text.c_str(), file);
  std::rewind(file);
  return file;
}

const char* const DefaultLine =
  "[1] 23 0 0.000000 1 0.000000 2 1.000000 3 0.000000 4 0.000000 5 0.000000 6 0.000000 "
  "7 1.000000 8 0.000000 9 2.000000 10 0.000000 11 0.000000 12 30.000000 13 1.000000 "
  "14 0.100000 15 1000.000000 16 1.000000 17 0.000000 18 0.000000 19 90.000000 "
  "20 45.000000 21 0.000000 22 0.000000 \n";

// A camera with a value of its own in every property a record carries.
void SetUpDistinctCamera(vtkCamera* camera)
{
  camera->SetPosition(3.0, -4.0, 12.0);
  camera->SetFocalPoint(0.5, 0.25, -1.0);
  camera->SetViewUp(0.0, 0.0, 1.0);
  camera->OrthogonalizeViewUp();
  camera->SetRoll(17.0);
  camera->SetParallelProjection(1);
  camera->SetViewAngle(42.0);
  camera->SetParallelScale(3.5);
  camera->SetClippingRange(0.75, 250.0);
  camera->SetThickness(249.25);
  camera->SetWindowCenter(0.125, -0.375);
  camera->SetEyeAngle(3.25);
  camera->SetFocalDisk(0.625);
}

// The state a camera shows the renderer, gathered for comparison.
std::vector<double> CameraState(vtkCamera* camera)
{
  std::vector<double> s;
  for (const double* v : { camera->GetPosition(), camera->GetFocalPoint(), camera->GetViewUp() })
  {
    s.insert(s.end(), v, v + 3);
  }
  s.push_back(camera->GetDistance());
  s.push_back(camera->GetParallelProjection());
  s.push_back(camera->GetViewAngle());
  s.push_back(camera->GetParallelScale());
  s.push_back(camera->GetClippingRange()[0]);
  s.push_back(camera->GetClippingRange()[1]);
  s.push_back(camera->GetWindowCenter()[0]);
  s.push_back(camera->GetWindowCenter()[1]);
  s.push_back(camera->GetEyeAngle());
  s.push_back(camera->GetFocalDisk());
  vtkMatrix4x4* view = camera->GetViewTransformMatrix();
  for (int i = 0; i < 4; ++i)
  {
    for (int j = 0; j < 4; ++j)
    {
      s.push_back(view->GetElement(i, j));
    }
  }
  return s;
}
} // namespace

//------------------------------------------------------------------------------
TEST(CameraStatusCamera, CaptureReadsEveryCarriedPropertyAndLeavesReservedSlots)
{
  CCriticalSection lock;
  vtkNew<vtkCamera> camera;
  SetUpDistinctCamera(camera);
  CameraStatus status(lock);
  status.SetValue(19, 7.0f);
  status.SetValue(20, -8.0f);
  status.Capture(camera);

  const double* p = camera->GetPosition();
  const double* f = camera->GetFocalPoint();
  const double* u = camera->GetViewUp();
  const double expected[CameraStatus::NumberOfSlots] = { p[0], p[1], p[2], f[0], f[1], f[2], u[0],
    u[1], u[2], camera->GetDistance(), camera->GetRoll(), 1.0, 42.0, 3.5, 0.75, 250.0, 249.25,
    0.125, -0.375, 7.0, -8.0, 3.25, 0.625 };
  for (int i = 0; i < CameraStatus::NumberOfSlots; ++i)
  {
    EXPECT_FLOAT_EQ(status.GetValue(i), static_cast<float>(expected[i])) << "slot " << i;
  }
  EXPECT_NEAR(status.GetValue(9), std::sqrt(2.5 * 2.5 + 4.25 * 4.25 + 13.0 * 13.0), 1e-4);
  EXPECT_NEAR(status.GetValue(10), 17.0, 1e-3);

  CameraStatus made(camera, lock);
  for (int i = 0; i < CameraStatus::NumberOfSlots; ++i)
  {
    if (i != 19 && i != 20)
    {
      EXPECT_EQ(made.GetValue(i), status.GetValue(i)) << "slot " << i;
    }
  }
  EXPECT_EQ(made.GetValue(19), 90.0f);
  EXPECT_EQ(made.GetValue(20), 45.0f);
}

//------------------------------------------------------------------------------
TEST(CameraStatusCamera, ApplyGivesAnotherCameraTheCapturedState)
{
  CCriticalSection lock;
  vtkNew<vtkCamera> source;
  SetUpDistinctCamera(source);
  CameraStatus status(source, lock);

  vtkNew<vtkCamera> target;
  status.Apply(target);
  const std::vector<double> want = CameraState(source);
  const std::vector<double> got = CameraState(target);
  ASSERT_EQ(want.size(), got.size());
  for (size_t i = 0; i < want.size(); ++i)
  {
    EXPECT_NEAR(got[i], want[i], 1e-4 * (1.0 + std::fabs(want[i]))) << "state entry " << i;
  }
  EXPECT_DOUBLE_EQ(target->GetEyeAngle(), 3.25);
  EXPECT_DOUBLE_EQ(target->GetFocalDisk(), 0.625);
  EXPECT_NEAR(target->GetRoll(), 17.0, 1e-3);
}

//------------------------------------------------------------------------------
TEST(CameraStatusCamera, ReservedSlotsChangeNothingOnTheCamera)
{
  CCriticalSection lock;
  vtkNew<vtkCamera> source;
  SetUpDistinctCamera(source);
  CameraStatus plain(source, lock);
  CameraStatus odd(lock);
  odd.CopyValues(plain);
  odd.SetValue(19, 1.0f);
  odd.SetValue(20, 1000.0f);

  vtkNew<vtkCamera> a;
  vtkNew<vtkCamera> b;
  plain.Apply(a);
  odd.Apply(b);
  EXPECT_EQ(CameraState(a), CameraState(b));

  // ... and capturing does not bring them back from the camera either.
  CameraStatus again(lock);
  again.SetValue(19, 5.0f);
  again.Capture(b);
  EXPECT_EQ(again.GetValue(19), 5.0f);
  EXPECT_EQ(again.GetValue(20), 45.0f);
}

//------------------------------------------------------------------------------
TEST(CameraStatusCamera, ParallelProjectionSlotIsTruncated)
{
  CCriticalSection lock;
  const struct
  {
    float slot;
    int expected;
  } cases[] = { { 0.7f, 0 }, { 0.999f, 0 }, { -0.5f, 0 }, { 1.0f, 1 }, { 1.9f, 1 } };
  for (const auto& c : cases)
  {
    vtkNew<vtkCamera> camera;
    camera->SetParallelProjection(1 - c.expected);
    CameraStatus status(lock);
    status.SetValue(11, c.slot);
    status.Apply(camera);
    EXPECT_EQ(camera->GetParallelProjection(), c.expected) << "slot 11 = " << c.slot;
  }
  // Out of the int range it still switches the projection on.
  vtkNew<vtkCamera> camera;
  CameraStatus huge(lock);
  huge.SetValue(11, 1e30f);
  huge.Apply(camera);
  EXPECT_NE(camera->GetParallelProjection(), 0);
}

//------------------------------------------------------------------------------
TEST(CameraStatusCamera, WithoutCameraNothingChanges)
{
  CCriticalSection lock;
  CameraStatus status(lock);
  status.SetValue(0, 5.0f);
  status.Capture(nullptr);
  status.Apply(nullptr);
  EXPECT_EQ(status.GetValue(0), 5.0f);
  CameraStatus made(nullptr, lock);
  EXPECT_EQ(made.GetValue(2), 1.0f);
  EXPECT_EQ(made.GetValue(15), 1000.0f);
}

//------------------------------------------------------------------------------
TEST(CameraStatusValues, CopyValuesTakesAllSlotsButKeepsItsLock)
{
  CCriticalSection lockA;
  CCriticalSection lockB;
  CameraStatus a(lockA);
  CameraStatus b(lockB);
  for (int i = 0; i < CameraStatus::NumberOfSlots; ++i)
  {
    b.SetValue(i, 100.0f + static_cast<float>(i));
  }
  a.CopyValues(b);
  for (int i = 0; i < CameraStatus::NumberOfSlots; ++i)
  {
    EXPECT_EQ(a.GetValue(i), 100.0f + static_cast<float>(i));
  }
  EXPECT_EQ(&a.GetCameraLock(), &lockA);
}

//------------------------------------------------------------------------------
TEST(CameraStatusWrite, FirstLineOfDefaultsIsExact)
{
  CCriticalSection lock;
  CameraStatus status(lock);
  EXPECT_EQ(Written([&](std::FILE* f) { EXPECT_TRUE(status.Write(f, 1, nullptr)); }), DefaultLine);
}

//------------------------------------------------------------------------------
TEST(CameraStatusWrite, LaterLineHoldsOnlyChangedSlotsInOrder)
{
  CCriticalSection lock;
  CameraStatus before(lock);
  CameraStatus after(lock);
  after.SetValue(2, 3.25f);
  after.SetValue(0, 0.5f);
  EXPECT_EQ(Written([&](std::FILE* f) { EXPECT_TRUE(after.Write(f, 12, &before)); }),
    "[12] 2 0 0.500000 2 3.250000 \n");

  // A previous record makes even the reserved and last slots count only when they differ.
  after.CopyValues(before);
  after.SetValue(22, -1.5f);
  after.SetValue(19, 0.0f);
  EXPECT_EQ(Written([&](std::FILE* f) { EXPECT_TRUE(after.Write(f, 0, &before)); }),
    "[0] 2 19 0.000000 22 -1.500000 \n");
}

//------------------------------------------------------------------------------
TEST(CameraStatusWrite, UnchangedRecordWritesNothing)
{
  CCriticalSection lock;
  CameraStatus a(lock);
  CameraStatus b(lock);
  b.SetValue(5, 2.0f);
  a.SetValue(5, 2.0f);
  EXPECT_EQ(Written([&](std::FILE* f) { EXPECT_TRUE(a.Write(f, 7, &b)); }), "");
}

//------------------------------------------------------------------------------
TEST(CameraStatusWrite, RefusesWhatCannotBeWrittenOrReadBack)
{
  CCriticalSection lock;
  CameraStatus status(lock);
  EXPECT_FALSE(status.Write(nullptr, 1, nullptr));

  // A value no reader could take back is not written at all.
  CameraStatus previous(lock);
  status.SetValue(4, std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(Written([&](std::FILE* f) { EXPECT_FALSE(status.Write(f, 1, &previous)); }), "");
  status.SetValue(4, std::numeric_limits<float>::infinity());
  EXPECT_EQ(Written([&](std::FILE* f) { EXPECT_FALSE(status.Write(f, 1, nullptr)); }), "");

  // A stream that cannot be written to.
  const std::string path = TempFile("readonly.csr");
  WriteAll(path, "");
  std::FILE* readOnly = std::fopen(path.c_str(), "r");
  ASSERT_NE(readOnly, nullptr);
  CameraStatus fine(lock);
  EXPECT_FALSE(fine.Write(readOnly, 1, nullptr));
  std::fclose(readOnly);
  std::remove(path.c_str());
}

//------------------------------------------------------------------------------
TEST(CameraStatusRead, LinesChangeOnlyTheSlotsTheyName)
{
  CCriticalSection lock;
  std::FILE* file = Readable(std::string(DefaultLine) +
    "[12] 2 0 0.500000 2 3.250000 \n"
    "[3] 0 \n"
    "[0] 1 22 -1.500000 ");
  CameraStatus status(lock);
  for (int i = 0; i < CameraStatus::NumberOfSlots; ++i)
  {
    status.SetValue(i, -99.0f);
  }
  int ticks = -1;
  ASSERT_TRUE(status.Read(file, ticks));
  EXPECT_EQ(ticks, 1);
  CameraStatus defaults(lock);
  for (int i = 0; i < CameraStatus::NumberOfSlots; ++i)
  {
    EXPECT_EQ(status.GetValue(i), defaults.GetValue(i)) << "slot " << i;
  }

  ASSERT_TRUE(status.Read(file, ticks));
  EXPECT_EQ(ticks, 12);
  EXPECT_EQ(status.GetValue(0), 0.5f);
  EXPECT_EQ(status.GetValue(1), 0.0f);
  EXPECT_EQ(status.GetValue(2), 3.25f);

  // "[3] 0": the same record again, 3 ticks later.
  ASSERT_TRUE(status.Read(file, ticks));
  EXPECT_EQ(ticks, 3);
  EXPECT_EQ(status.GetValue(0), 0.5f);
  EXPECT_EQ(status.GetValue(2), 3.25f);

  // The last line has no line end and is read all the same.
  ASSERT_TRUE(status.Read(file, ticks));
  EXPECT_EQ(ticks, 0);
  EXPECT_EQ(status.GetValue(22), -1.5f);
  EXPECT_EQ(status.GetValue(0), 0.5f);

  ticks = 77;
  EXPECT_FALSE(status.Read(file, ticks));
  EXPECT_EQ(ticks, 77);
  std::fclose(file);
  EXPECT_FALSE(status.Read(nullptr, ticks));
}

//------------------------------------------------------------------------------
TEST(CameraStatusRead, MalformedLinesAreRefusedWhole)
{
  CCriticalSection lock;
  const char* const lines[] = {
    "[4] 2 0 1.000000 23 2.000000 \n", // slot past the last
    "[4] 2 0 1.000000 -1 2.000000 \n", // negative slot
    "[4] 1 2147483647 2.000000 \n",    // far past the last
    "[4] -1 0 1.000000 \n",            // negative pair count
    "[4] 2 0 1.000000 \n[5] 0 \n",     // fewer pairs than counted
    "[4] 2 0 1.000000 1 nan \n",       // not a number
    "[4] 2 0 1.000000 1 inf \n",       // infinite
    "[4] 1 1 -INFINITY \n",            // infinite, spelt otherwise
    "[4] 1 1 1e39 \n",                 // beyond single precision
    "[4] 1 0 abc \n",                  // garbage value
    "[4] 1 0 0,5 \n",                  // a decimal comma: the number ends inside the token
    "[-1] 0 \n",                       // a negative delay
    "[-2147483648] 0 \n",              // the most negative delay: playback would never end
    "[50000] 0 \n",                    // a delay the writer never makes (ticks wrap at 50000)
    "[2147483648] 0 \n",               // a delay beyond int
    "[4] 2147483648 \n",               // a pair count beyond int
    "[4] 1 4294967296 1.000000 \n",    // a slot beyond int
    "[4]\n",                           // header cut short
    "4 1 0 1.000000 \n",               // no bracket
    "\x01\xff garbage \n",             // binary
    "",                                // nothing at all
  };
  for (const char* line : lines)
  {
    std::FILE* file = Readable(line);
    CameraStatus status(lock);
    status.SetValue(0, 9.0f);
    int ticks = 55;
    EXPECT_FALSE(status.Read(file, ticks)) << "line: " << line;
    EXPECT_EQ(ticks, 55) << "line: " << line;
    CameraStatus expected(lock);
    expected.SetValue(0, 9.0f);
    for (int i = 0; i < CameraStatus::NumberOfSlots; ++i)
    {
      EXPECT_EQ(status.GetValue(i), expected.GetValue(i)) << "slot " << i << ", line: " << line;
    }
    std::fclose(file);
  }
  // The longest delay the writer makes is still taken.
  std::FILE* file = Readable("[49999] 0 \n");
  CameraStatus status(lock);
  int ticks = 0;
  EXPECT_TRUE(status.Read(file, ticks));
  EXPECT_EQ(ticks, 49999);
  std::fclose(file);
}

//------------------------------------------------------------------------------
TEST(CameraStatusFile, NumbersKeepTheDecimalPointUnderACommaDecimalLocale)
{
  COMMA_LOCALE_OR_SKIP(comma);
  CCriticalSection lock;
  CameraStatus status(lock);
  const float values[] = { 0.5f, -1.25f, 1000.125f, 0.000004f, -0.0f };
  for (int i = 0; i < 5; ++i)
  {
    status.SetValue(i, values[i]);
  }
  const std::string inC = Written([&](std::FILE* f) { status.Write(f, 7, nullptr); });
  ASSERT_NE(inC.find("0 0.500000 1 -1.250000 2 1000.125000 3 0.000004 4 -0.000000 "),
    std::string::npos)
    << inC;

  commalocale::Scope scope(comma);
  ASSERT_TRUE(scope.Active);
  EXPECT_EQ(Written([&](std::FILE* f) { status.Write(f, 7, nullptr); }), inC);
  std::FILE* file = Readable(inC);
  CameraStatus read(lock);
  int ticks = 0;
  ASSERT_TRUE(read.Read(file, ticks));
  std::fclose(file);
  EXPECT_EQ(ticks, 7);
  for (int i = 0; i < CameraStatus::NumberOfSlots; ++i)
  {
    EXPECT_NEAR(read.GetValue(i), status.GetValue(i), 5e-7f) << "slot " << i;
  }
}

//------------------------------------------------------------------------------
TEST(CameraStatusRead, WrittenLinesReadBackWithinTheirPrecision)
{
  CCriticalSection lock;
  const std::string path = TempFile("roundtrip.csr");
  std::FILE* out = std::fopen(path.c_str(), "w");
  ASSERT_NE(out, nullptr);
  CameraStatus first(lock);
  CameraStatus second(lock);
  const float values[] = { 1234.5678f, -0.000123f, 98765.43f, 1e-7f, -3.0f };
  for (int i = 0; i < CameraStatus::NumberOfSlots; ++i)
  {
    first.SetValue(i, values[i % 5] * static_cast<float>(i + 1));
  }
  second.CopyValues(first);
  second.SetValue(10, 0.333333343f);
  ASSERT_TRUE(first.Write(out, 1, nullptr));
  ASSERT_TRUE(second.Write(out, 49999, &first));
  std::fclose(out);

  std::FILE* in = std::fopen(path.c_str(), "r");
  CameraStatus read(lock);
  int ticks = 0;
  for (const CameraStatus* want : { &first, &second })
  {
    ASSERT_TRUE(read.Read(in, ticks));
    for (int i = 0; i < CameraStatus::NumberOfSlots; ++i)
    {
      // Six decimals: half a millionth, plus the float's own spacing.
      const double w = want->GetValue(i);
      EXPECT_NEAR(read.GetValue(i), w, 5e-7 + 1.2e-7 * std::fabs(w)) << "slot " << i;
    }
  }
  EXPECT_EQ(ticks, 49999);
  std::fclose(in);
  std::remove(path.c_str());
}

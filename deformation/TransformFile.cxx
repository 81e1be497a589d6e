#include "TransformFile.h"

#include "NumberText.h"
#include "ReplaceFile.h"

#include <vtkPointLocator.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <type_traits>

namespace
{
// A cursor over the file's bytes that matches the writer's formats the way scanf does.
class Scanner
{
public:
  explicit Scanner(const std::string& text)
    : Begin(text.c_str())
    , P(text.c_str())
  {
  }

  // A blank or line end of a format: any run of white space, including none.
  void SkipSpace()
  {
    while (IsSpace(*this->P))
    {
      ++this->P;
    }
  }

  bool Literal(char c)
  {
    if (*this->P != c)
    {
      return false;
    }
    ++this->P;
    return true;
  }

  enum Result
  {
    Ok,
    NoNumber,
    NotFinite,
    OutOfRange
  };

  Result Float(float& value)
  {
    this->SkipSpace();
    return Convert(NumberText::ReadFloat(this->P, value));
  }

  // A landmark position: kept in double precision, within the range of the other values.
  Result Float(double& value)
  {
    this->SkipSpace();
    const char* at = this->P;
    const Result result = Convert(NumberText::ReadDouble(this->P, value));
    if (result == Ok && std::fabs(value) > std::numeric_limits<float>::max())
    {
      this->P = at;
      return NotFinite;
    }
    return result;
  }

  static Result Convert(NumberText::Scan scan)
  {
    switch (scan)
    {
      case NumberText::Scan::Number:
        return Ok;
      case NumberText::Scan::NotFinite:
        return NotFinite;
      default:
        return NoNumber;
    }
  }

  Result Int(int& value)
  {
    this->SkipSpace();
    switch (NumberText::ReadInt(this->P, value))
    {
      case NumberText::Scan::Number:
        return Ok;
      case NumberText::Scan::OutOfRange:
        return OutOfRange;
      default:
        return NoNumber;
    }
  }

  const char* Here() const { return this->P; }
  void Rewind(const char* at) { this->P = at; }

  // 1-based line of the current position, after the white space before the next item.
  long Line() const { return this->LineAt(this->P); }

  long LineAt(const char* at) const
  {
    const char* p = at;
    while (IsSpace(*p) && *p != '\n')
    {
      ++p;
    }
    long line = 1;
    for (const char* c = this->Begin; c < p; ++c)
    {
      line += *c == '\n';
    }
    if (*p == '\n')
    {
      // The item would be looked for on a following line; name the next non-blank one.
      for (; IsSpace(*p); ++p)
      {
        line += *p == '\n';
      }
    }
    return line;
  }

private:
  static bool IsSpace(char c) { return NumberText::IsSpace(c); }
  static bool IsDigit(char c) { return NumberText::IsDigit(c); }

  const char* Begin;
  const char* P;
};

struct Mismatch
{
  std::string Reason;
};

[[noreturn]] void FailAt(long line, const std::string& what)
{
  throw Mismatch{ "line " + std::to_string(line) + ": " + what };
}

[[noreturn]] void Fail(Scanner& s, const std::string& what)
{
  FailAt(s.Line(), what);
}

// A number; what names it in a reason and is made only when one is needed.
template <typename Real, typename What>
void ExpectFloat(Scanner& s, Real& value, const What& what)
{
  const char* at = s.Here();
  switch (s.Float(value))
  {
    case Scanner::Ok:
      return;
    case Scanner::NotFinite:
      FailAt(s.LineAt(at), what() + " holds a value that is not a finite number");
    default:
      FailAt(s.LineAt(at), "expected " + what());
  }
}

// "[%d]\n" or "[%f]\n" framing.
void Open(Scanner& s, const std::string& what)
{
  if (!s.Literal('['))
  {
    Fail(s, "expected \"[\" before " + what);
  }
}

void Close(Scanner& s, const std::string& what)
{
  if (!s.Literal(']'))
  {
    Fail(s, "expected \"]\" right after " + what);
  }
  s.SkipSpace();
}

// Reads "[%d]\n"; line receives the line the count stands on.
int ExpectCount(Scanner& s, const std::string& what, long& line)
{
  line = s.Line();
  Open(s, what);
  int value = 0;
  switch (s.Int(value))
  {
    case Scanner::Ok:
      break;
    case Scanner::OutOfRange:
      Fail(s, what + " is too large");
    default:
      Fail(s, "expected " + what);
  }
  Close(s, what);
  return value;
}

// "%f %f %f\n": row index (from 0) of count rows of the named kind.
template <typename Real>
void ExpectTriple(Scanner& s, Real* out, const char* kind, int index, int count)
{
  auto what = [&]
  {
    return std::string(kind) + " " + std::to_string(index + 1) + " of " + std::to_string(count) +
      " (three numbers)";
  };
  for (int k = 0; k < 3; ++k)
  {
    ExpectFloat(s, out[k], what);
  }
  s.SkipSpace();
}

bool ReadWhole(FILE* file, std::string& text)
{
  char buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
  {
    text.append(buffer, got);
  }
  return !std::ferror(file);
}

void Parse(const std::string& text, TransformCoefficients& fresh)
{
  Scanner s(text);
  if (!s.Literal('['))
  {
    throw Mismatch{ "line 1: the file does not begin with the radius in the form [R]" };
  }
  ExpectFloat(s, fresh.Radius, [] { return std::string("the radius"); });
  Close(s, "the radius");

  long line = 0;
  const int n = ExpectCount(s, "the landmark count", line);
  if (n < 0)
  {
    FailAt(line, "the landmark count " + std::to_string(n) + " is negative");
  }
  std::vector<double> coords;
  for (int i = 0; i < n; ++i)
  {
    double p[3];
    ExpectTriple(s, p, "landmark position", i, n);
    coords.insert(coords.end(), p, p + 3);
  }

  const int m = ExpectCount(s, "the coefficient count", line);
  if (static_cast<long long>(m) != static_cast<long long>(n) + 4)
  {
    FailAt(line,
      "the coefficient count is " + std::to_string(m) + ", expected " +
        std::to_string(static_cast<long long>(n) + 4) + " (landmarks + 4)");
  }
  for (int k = 0; k < m; ++k)
  {
    float c[3];
    const char* row = s.Here();
    ExpectTriple(s, c, "coefficient row", k, m);
    if (k == n)
    {
      // The constant terms also in double precision: the same text, read again.
      const char* next = s.Here();
      s.Rewind(row);
      double constants[3];
      ExpectTriple(s, constants, "coefficient row", k, m);
      s.Rewind(next);
      fresh.Constants.assign(constants, constants + 3);
    }
    fresh.CoeffX.push_back(c[0]);
    fresh.CoeffY.push_back(c[1]);
    fresh.CoeffZ.push_back(c[2]);
  }

  const int count = ExpectCount(s, "the ordering count", line);
  if (count != n)
  {
    FailAt(line,
      "the ordering count is " + std::to_string(count) + ", expected " + std::to_string(n) +
        " (the landmark count)");
  }
  std::vector<bool> used(static_cast<size_t>(n), false);
  for (int i = 0; i < n; ++i)
  {
    int k = 0;
    const char* at = s.Here();
    auto where = [&]
    { return "ordering entry " + std::to_string(i + 1) + " of " + std::to_string(n); };
    if (s.Int(k) != Scanner::Ok)
    {
      FailAt(s.LineAt(at), "expected " + where() + " (a whole number in range)");
    }
    if (k < 0 || k >= n)
    {
      FailAt(s.LineAt(at),
        where() + " is " + std::to_string(k) + ", outside 0 to " + std::to_string(n - 1));
    }
    if (used[k])
    {
      FailAt(s.LineAt(at),
        where() + " repeats position " + std::to_string(k) +
          ", so the entries are not a permutation");
    }
    used[k] = true;
    fresh.UnList.push_back(k);
    s.SkipSpace();
  }

  fresh.Points = vtkSmartPointer<vtkPoints>::New();
  fresh.Points->SetDataTypeToDouble();
  fresh.Points->SetNumberOfPoints(n);
  for (int i = 0; i < n; ++i)
  {
    fresh.Points->SetPoint(i, &coords[3 * static_cast<size_t>(i)]);
  }
  auto polyData = vtkSmartPointer<vtkPolyData>::New();
  polyData->SetPoints(fresh.Points);
  fresh.Locator = vtkSmartPointer<vtkPointLocator>::New();
  fresh.Locator->SetDataSet(polyData);
  // The locator refuses to subdivide an empty set; without points it is never asked.
  if (n > 0)
  {
    fresh.Locator->BuildLocator();
  }
}

//------------------------------------------------------------------------------
// Whether every value a coefficient file would hold is a finite number.
bool AllFinite(float radius, vtkPoints* points, const float* cx, const float* cy, const float* cz,
  const double* constants)
{
  const int n = points ? static_cast<int>(points->GetNumberOfPoints()) : 0;
  bool finite = std::isfinite(radius);
  for (int k = 0; finite && k < n + 4; ++k)
  {
    finite = std::isfinite(cx[k]) && std::isfinite(cy[k]) && std::isfinite(cz[k]);
  }
  for (int i = 0; finite && i < n; ++i)
  {
    double p[3];
    points->GetPoint(i, p);
    finite = std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
  }
  if (constants)
  {
    finite = finite && std::isfinite(constants[0]) && std::isfinite(constants[1]) &&
      std::isfinite(constants[2]);
  }
  return finite;
}

//------------------------------------------------------------------------------
// Hands the lines of a coefficient file, one at a time, to put (which returns false when it
// failed: then no more follow and the result is false). The values must be finite.
template <class Put>
bool EmitCoefficientFile(Put&& put, float radius, vtkPoints* points, const float* cx,
  const float* cy, const float* cz, const int* unList, const double* constants)
{
  const int n = points ? static_cast<int>(points->GetNumberOfPoints()) : 0;
  // Positions are written at the precision the points hold them in.
  const bool doublePoints = n > 0 && points->GetDataType() == VTK_DOUBLE;
  // Each line is put together in the "C" conventions, then handed on whole.
  std::string line;
  auto count = [&](int value)
  {
    line = "[";
    NumberText::AppendInt(line, value);
    line += "]\n";
    return put(line);
  };
  auto triple = [&](auto x, auto y, auto z)
  {
    line.clear();
    NumberText::AppendExact(line, x);
    line += ' ';
    NumberText::AppendExact(line, y);
    line += ' ';
    NumberText::AppendExact(line, z);
    line += '\n';
    return put(line);
  };
  line = "[";
  NumberText::AppendExact(line, radius);
  line += "]\n";
  bool ok = put(line) && count(n);
  for (int i = 0; ok && i < n; ++i)
  {
    double p[3];
    points->GetPoint(i, p);
    line.clear();
    for (int a = 0; a < 3; ++a)
    {
      // A double that holds a single-precision value (landmarks read as the fitting tool
      // reads them) is written as that value, so both write the same file.
      const float single = static_cast<float>(p[a]);
      if (doublePoints && static_cast<double>(single) != p[a])
      {
        NumberText::AppendExact(line, p[a]);
      }
      else
      {
        NumberText::AppendExact(line, single);
      }
      line += a < 2 ? ' ' : '\n';
    }
    ok = put(line);
  }
  ok = ok && count(n + 4);
  for (int k = 0; ok && k < n + 4; ++k)
  {
    ok = k == n && constants ? triple(constants[0], constants[1], constants[2])
                             : triple(cx[k], cy[k], cz[k]);
  }
  ok = ok && count(n);
  for (int i = 0; ok && i < n; ++i)
  {
    line.clear();
    NumberText::AppendInt(line, unList[i]);
    line += '\n';
    ok = put(line);
  }
  return ok;
}
}

//------------------------------------------------------------------------------
TransformFileResult ReadTransformCoefficients(const char* path, TransformCoefficients& out)
{
  TransformFileResult result;
  FILE* file = path ? std::fopen(path, "r") : nullptr;
  if (!file)
  {
    result.Status = TransformFileStatus::CannotOpen;
    result.Reason =
      std::string("cannot open ") + (path ? path : "(no name)") + ": " + std::strerror(errno);
    return result;
  }
  try
  {
    std::string text;
    const bool complete = ReadWhole(file, text);
    std::fclose(file);
    file = nullptr;
    if (!complete)
    {
      throw Mismatch{ "the file could not be read to its end" };
    }
    TransformCoefficients fresh;
    Parse(text, fresh);
    out = std::move(fresh);
  }
  catch (const Mismatch& m)
  {
    result.Status = TransformFileStatus::Mismatch;
    result.Reason = m.Reason;
  }
  catch (const std::bad_alloc&)
  {
    result.Status = TransformFileStatus::Mismatch;
    result.Reason = "not enough memory to hold the file's contents";
  }
  if (file)
  {
    std::fclose(file);
  }
  return result;
}

//------------------------------------------------------------------------------
TransformWriteStatus WriteTransformCoefficients(const char* path, float radius, vtkPoints* points,
  const float* cx, const float* cy, const float* cz, const int* unList, std::string* reason,
  const double* constants)
{
  auto report = [reason](const std::string& text)
  {
    if (reason)
    {
      *reason = text;
    }
  };
  if (!AllFinite(radius, points, cx, cy, cz, constants))
  {
    report("a value to be written is not a finite number");
    return TransformWriteStatus::NotFinite;
  }

  auto contents = [&](NewFileContents& file, std::string&)
  {
    return EmitCoefficientFile([&](const std::string& line)
      { return std::fwrite(line.data(), 1, line.size(), file.Stream) == line.size(); },
      radius, points, cx, cy, cz, unList, constants);
  };
  std::string why;
  switch (ReplaceFile(path ? path : "", contents, why))
  {
    case ReplaceFileStatus::Ok:
      break;
    case ReplaceFileStatus::CannotCreate:
      report(std::string("cannot create ") + (path ? path : "(no name)") + ": " + why);
      return TransformWriteStatus::CannotOpen;
    case ReplaceFileStatus::WriteFailed:
      report(std::string("writing ") + path + " failed: " + why +
        "; an earlier file of that name is kept as it was");
      return TransformWriteStatus::WriteFailed;
  }
  return TransformWriteStatus::Ok;
}

//------------------------------------------------------------------------------
TransformFileResult AsReadFromFile(const TransformCoefficients& held, TransformCoefficients& out)
{
  TransformFileResult result;
  const vtkIdType n = held.Points ? held.Points->GetNumberOfPoints() : 0;
  const std::size_t rows = static_cast<std::size_t>(n) + 4;
  if (!held.Points || held.CoeffX.size() != rows || held.CoeffY.size() != rows ||
    held.CoeffZ.size() != rows || held.UnList.size() != static_cast<std::size_t>(n))
  {
    result.Status = TransformFileStatus::Mismatch;
    result.Reason = "the coefficients do not match the landmark count";
    return result;
  }
  const double* constants = held.Constants.size() == 3 ? held.Constants.data() : nullptr;
  if (!AllFinite(held.Radius, held.Points, held.CoeffX.data(), held.CoeffY.data(),
        held.CoeffZ.data(), constants))
  {
    result.Status = TransformFileStatus::Mismatch;
    result.Reason = "a value to be written is not a finite number";
    return result;
  }
  try
  {
    std::string text;
    EmitCoefficientFile(
      [&](const std::string& line)
      {
        text += line;
        return true;
      },
      held.Radius, held.Points, held.CoeffX.data(), held.CoeffY.data(), held.CoeffZ.data(),
      held.UnList.data(), constants);
    TransformCoefficients fresh;
    Parse(text, fresh);
    out = std::move(fresh);
  }
  catch (const Mismatch& m)
  {
    result.Status = TransformFileStatus::Mismatch;
    result.Reason = m.Reason;
  }
  catch (const std::bad_alloc&)
  {
    result.Status = TransformFileStatus::Mismatch;
    result.Reason = "not enough memory to hold the coefficients";
  }
  return result;
}

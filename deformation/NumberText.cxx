#include "NumberText.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <locale.h>
#include <string>
#include <type_traits>

namespace
{
/// The "C" locale as an object of its own: conversions given it ignore the process's
/// locale. Made once, never freed.
locale_t CLocale()
{
  static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return c;
}

size_t MatchNoCase(const char* p, const char* word)
{
  size_t n = 0;
  for (; word[n]; ++n)
  {
    if (std::tolower(static_cast<unsigned char>(p[n])) != word[n])
    {
      return 0;
    }
  }
  return n;
}

/// inf, infinity or nan as a word of its own (not the start of "information").
bool IsNonFiniteWord(const char* q)
{
  size_t length = MatchNoCase(q, "infinity");
  if (!length)
  {
    length = MatchNoCase(q, "inf");
  }
  if (!length)
  {
    length = MatchNoCase(q, "nan");
  }
  if (!length)
  {
    return false;
  }
  const char next = q[length];
  return !(std::isalnum(static_cast<unsigned char>(next)) || next == '_') || next == '(';
}

/// The end of the decimal number at p, or p when none starts there.
const char* DecimalEnd(const char* p)
{
  const char* q = p;
  if (*q == '+' || *q == '-')
  {
    ++q;
  }
  int digits = 0;
  for (; NumberText::IsDigit(*q); ++q)
  {
    ++digits;
  }
  if (*q == '.')
  {
    for (++q; NumberText::IsDigit(*q); ++q)
    {
      ++digits;
    }
  }
  if (digits == 0)
  {
    return p;
  }
  if (*q == 'e' || *q == 'E')
  {
    const char* e = q + 1;
    if (*e == '+' || *e == '-')
    {
      ++e;
    }
    if (NumberText::IsDigit(*e))
    {
      while (NumberText::IsDigit(*e))
      {
        ++e;
      }
      q = e;
    }
  }
  return q;
}

/// The decimal number at p, converted once by convert (strtof_l or strtod_l in the "C" locale).
template <typename Real, typename Convert>
NumberText::Scan ReadDecimal(const char*& p, Real& value, const Convert& convert)
{
  using NumberText::Scan;
  const char* sign = p + (*p == '+' || *p == '-');
  if (IsNonFiniteWord(sign))
  {
    return Scan::NotFinite;
  }
  const char* end = DecimalEnd(p);
  if (end == p)
  {
    return Scan::NotNumber;
  }
  // Converted from the recognised text alone: strtof would read more (hexadecimal, for one).
  const std::string token(p, end);
  char* stop = nullptr;
  const Real converted = convert(token.c_str(), &stop);
  if (stop != token.c_str() + token.size())
  {
    return Scan::NotNumber; // never a silent part of the number
  }
  if (!std::isfinite(converted))
  {
    return Scan::NotFinite;
  }
  value = converted;
  p = end;
  return Scan::Number;
}
}

namespace NumberText
{
//------------------------------------------------------------------------------
Scan ReadFloat(const char*& p, float& value)
{
  return ReadDecimal(
    p, value, [](const char* text, char** stop) { return strtof_l(text, stop, CLocale()); });
}

//------------------------------------------------------------------------------
Scan ReadDouble(const char*& p, double& value)
{
  return ReadDecimal(
    p, value, [](const char* text, char** stop) { return strtod_l(text, stop, CLocale()); });
}

//------------------------------------------------------------------------------
Scan ReadInt(const char*& p, int& value)
{
  const char* digits = p + (*p == '+' || *p == '-');
  if (!IsDigit(*digits))
  {
    return Scan::NotNumber;
  }
  const char* end = digits;
  while (IsDigit(*end))
  {
    ++end;
  }
  // from_chars takes a minus sign but no plus sign.
  int converted = 0;
  const std::from_chars_result r = std::from_chars(*p == '+' ? digits : p, end, converted);
  p = end;
  if (r.ec != std::errc())
  {
    return Scan::OutOfRange;
  }
  value = converted;
  return Scan::Number;
}

//------------------------------------------------------------------------------
bool ExtendsNumber(const std::string& prefix, char next)
{
  bool point = false;
  bool exponent = false;
  bool mantissaDigits = false;
  for (const char c : prefix)
  {
    point = point || c == '.';
    exponent = exponent || c == 'e' || c == 'E';
    mantissaDigits = mantissaDigits || (!exponent && IsDigit(c));
  }
  const char last = prefix.empty() ? '\0' : prefix.back();
  if (IsDigit(next))
  {
    return true;
  }
  if (next == '+' || next == '-')
  {
    return prefix.empty() || last == 'e' || last == 'E';
  }
  if (next == '.')
  {
    return !point && !exponent;
  }
  if (next == 'e' || next == 'E')
  {
    return !exponent && mantissaDigits;
  }
  return false;
}

//------------------------------------------------------------------------------
double ToDouble(const char* text, const char** end)
{
  char* stop = nullptr;
  const double value = strtod_l(text, &stop, CLocale());
  if (end)
  {
    *end = stop;
  }
  return value;
}

//------------------------------------------------------------------------------
void AppendFixed(std::string& out, double value)
{
  // "%f" of the largest double has 309 integer digits.
  char buffer[400];
  const std::to_chars_result r =
    std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
  out.append(buffer, r.ptr);
}

//------------------------------------------------------------------------------
template <typename Real>
void AppendExactAs(std::string& out, Real value)
{
  const size_t start = out.size();
  AppendFixed(out, static_cast<double>(value));
  // Read back exactly as the readers read it: correctly rounded, in the "C" locale.
  const std::string fixed = out.substr(start);
  char* stop = nullptr;
  const Real back = std::is_same_v<Real, float>
    ? static_cast<Real>(strtof_l(fixed.c_str(), &stop, CLocale()))
    : static_cast<Real>(strtod_l(fixed.c_str(), &stop, CLocale()));
  if (back == value && std::signbit(back) == std::signbit(value))
  {
    return;
  }
  out.resize(start);
  // Without a format, to_chars writes the shortest text that reads back as the value.
  char buffer[64];
  const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, r.ptr);
}

//------------------------------------------------------------------------------
void AppendExact(std::string& out, float value)
{
  AppendExactAs(out, value);
}

//------------------------------------------------------------------------------
void AppendExact(std::string& out, double value)
{
  AppendExactAs(out, value);
}

//------------------------------------------------------------------------------
void AppendShortest(std::string& out, double value)
{
  std::string text;
  AppendExactAs(text, value);
  if (text.find('.') != std::string::npos && text.find_first_of("eEn") == std::string::npos)
  {
    while (text.back() == '0')
    {
      text.pop_back();
    }
    if (text.back() == '.')
    {
      text.pop_back();
    }
  }
  out += text;
}

//------------------------------------------------------------------------------
void AppendInt(std::string& out, long long value)
{
  char buffer[24];
  const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, r.ptr);
}
}

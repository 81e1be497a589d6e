#ifndef NumberText_h
#define NumberText_h

// Recognising numbers in the fitting tool's text files (landmark and coefficient files).
// Only decimal numbers count: an optional sign, digits with an optional decimal point (at
// least one digit in all), and an optional exponent (e or E, an optional sign, digits). The
// words inf, infinity and nan are recognised only so that they can be refused.

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string>

namespace NumberText
{
inline bool IsSpace(char c)
{
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

inline bool IsDigit(char c)
{
  return c >= '0' && c <= '9';
}

enum class Scan
{
  Number,
  NotNumber,
  NotFinite
};

namespace Detail
{
inline size_t MatchNoCase(const char* p, const char* word)
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

// inf, infinity or nan as a word of its own (not the start of "information").
inline bool IsNonFiniteWord(const char* q)
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
}

/**
 * Reads the number at p (no white space skipped) into value, rounded once to float. On Number
 * p moves past it; a value beyond the float range counts as NotFinite. The text must end
 * with a zero byte somewhere after p.
 */
inline Scan ReadFloat(const char*& p, float& value)
{
  const char* q = p;
  if (*q == '+' || *q == '-')
  {
    ++q;
  }
  if (Detail::IsNonFiniteWord(q))
  {
    return Scan::NotFinite;
  }
  int digits = 0;
  for (; IsDigit(*q); ++q)
  {
    ++digits;
  }
  if (*q == '.')
  {
    for (++q; IsDigit(*q); ++q)
    {
      ++digits;
    }
  }
  if (digits == 0)
  {
    return Scan::NotNumber;
  }
  if (*q == 'e' || *q == 'E')
  {
    const char* e = q + 1;
    if (*e == '+' || *e == '-')
    {
      ++e;
    }
    if (IsDigit(*e))
    {
      while (IsDigit(*e))
      {
        ++e;
      }
      q = e;
    }
  }
  // strtof on the recognised text alone: it would read more (hexadecimal, for one) otherwise.
  const std::string token(p, q);
  value = std::strtof(token.c_str(), nullptr);
  if (!std::isfinite(value))
  {
    return Scan::NotFinite;
  }
  p = q;
  return Scan::Number;
}
}

#endif

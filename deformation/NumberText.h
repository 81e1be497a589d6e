/**
 * @file NumberText.h
 * @brief Reading and writing the numbers of the text formats (landmark files, coefficient
 * files, camera records), the same whatever locale the user runs under.
 *
 * The files are exchanged between programs and machines, so a number is always written and
 * read with a decimal point: a comma-decimal locale (de_DE, fr_FR, ...) set by the
 * application framework must change neither what is written nor what is read. Every
 * conversion here is bound to the "C" conventions (std::to_chars, or the C library's
 * conversions given a "C" locale object), never to the process's current locale.
 *
 * Reading recognises decimal numbers only: an optional sign, digits with an optional decimal
 * point (at least one digit in all), and an optional exponent (e or E, an optional sign,
 * digits). The words inf, infinity and nan are recognised only so that they can be refused.
 * A number is what this grammar matches; where the grammar stops, the next item begins (so a
 * sign may separate two numbers, as with scanf), and a conversion never stops inside it.
 */
#ifndef NumberText_h
#define NumberText_h

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
  NotFinite,  ///< inf or nan, or a value beyond the range of the type read
  OutOfRange, ///< an integer beyond the int range
};

/**
 * Reads the decimal number at p (no white space skipped) into value, rounded once to float.
 * On Number p moves past it; otherwise p and value stay. The text must end with a zero byte
 * somewhere after p.
 */
Scan ReadFloat(const char*& p, float& value);

/**
 * The same in double precision: rounded once to double; NotFinite beyond the double range.
 */
Scan ReadDouble(const char*& p, double& value);

/**
 * Reads the integer at p (no white space skipped): an optional sign and digits. On Number p
 * moves past it; a value beyond the int range is OutOfRange (p moves past its digits, value
 * stays).
 */
Scan ReadInt(const char*& p, int& value);

/**
 * Whether a text that starts with the characters of prefix (taken from the start of a
 * number) can go on with next and still become a number: what a reader of a stream asks
 * before it takes the next character.
 */
bool ExtendsNumber(const std::string& prefix, char next);

/**
 * Like strtod, in the "C" locale whatever the process's: the longest leading number after
 * white space (decimal or hexadecimal, inf, nan), 0 when there is none. end, when given,
 * receives where the conversion stopped.
 */
double ToDouble(const char* text, const char** end = nullptr);

///@{
/// Appends a value as printf's "%f" (six decimals, fixed notation) and "%d" write it in
/// the "C" locale.
void AppendFixed(std::string& out, double value);
void AppendInt(std::string& out, long long value);
///@}

///@{
/// Appends a value so that reading the text back (as a float, or as a double) gives exactly
/// that value: as "%f" writes it where its six decimals already do that (so files whose
/// values have few decimals, and most large values, read as they always did), otherwise in
/// the fewest significant digits that do, in fixed or exponent notation ("0.000123456791",
/// "1.5e-07"), whichever is shorter.
void AppendExact(std::string& out, float value);
void AppendExact(std::string& out, double value);
///@}

/// Appends a value as AppendExact does without the zeros that end its decimals ("0.35",
/// "12", "1.5e-07"): for values shown to a person or offered in a field.
void AppendShortest(std::string& out, double value);
}

#endif

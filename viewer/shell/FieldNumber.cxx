#include "FieldNumber.h"

#include "NumberText.h"

//------------------------------------------------------------------------------
bool ReadFieldNumber(const std::string& text, double& value)
{
  const char* begin = text.c_str();
  while (NumberText::IsSpace(*begin))
  {
    ++begin;
  }
  // Plain decimals only: ToDouble would also take "inf", "nan" and hexadecimal numbers.
  for (const char* p = begin; *p && !NumberText::IsSpace(*p); ++p)
  {
    if (!NumberText::IsDigit(*p) && *p != '.' && *p != '+' && *p != '-' && *p != 'e' && *p != 'E')
    {
      return false;
    }
  }
  const char* end = nullptr;
  const double read = NumberText::ToDouble(begin, &end);
  if (end == begin)
  {
    return false;
  }
  while (NumberText::IsSpace(*end))
  {
    ++end;
  }
  if (*end != '\0')
  {
    return false;
  }
  value = read;
  return true;
}

#ifndef Halden_FieldNumber_h
#define Halden_FieldNumber_h

#include <string>

/**
 * Reads the number a person typed into a dialog's field: a plain decimal (sign, digits, a
 * decimal point, an exponent) with nothing but blanks around it, read the same way in every
 * locale. False for anything else ("inf", "nan", hexadecimal, a comma, trailing words), and
 * value then stays.
 */
bool ReadFieldNumber(const std::string& text, double& value);

#endif

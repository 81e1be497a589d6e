// A comma-decimal locale for the tests that check that numbers in files never follow the
// user's locale. scripts/packages.sh generates de_DE.UTF-8 when the machine lacks one.
#ifndef CommaLocale_h
#define CommaLocale_h

#include <clocale>
#include <cstring>
#include <langinfo.h>
#include <locale.h>
#include <string>

namespace commalocale
{
/// The name of an installed locale whose decimal separator is a comma, or null.
inline const char* Find()
{
  for (const char* name : { "de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "nl_NL.UTF-8",
         "es_ES.UTF-8", "it_IT.UTF-8", "ru_RU.UTF-8" })
  {
    const locale_t l = newlocale(LC_ALL_MASK, name, static_cast<locale_t>(nullptr));
    if (l)
    {
      const bool comma = std::strcmp(nl_langinfo_l(RADIXCHAR, l), ",") == 0;
      freelocale(l);
      if (comma)
      {
        return name;
      }
    }
  }
  return nullptr;
}

/// Puts the whole C locale to a comma-decimal one (as Qt does from the environment) for
/// its lifetime, then back to "C".
class Scope
{
public:
  explicit Scope(const char* name) { this->Active = std::setlocale(LC_ALL, name) != nullptr; }
  ~Scope() { std::setlocale(LC_ALL, "C"); }
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;
  bool Active = false;
};

constexpr const char* Missing =
  "no comma-decimal locale is installed (scripts/packages.sh generates de_DE.UTF-8)";
}

/// Skips the test, saying why, when the machine has no comma-decimal locale.
#define COMMA_LOCALE_OR_SKIP(name)                                                             \
  const char* name = commalocale::Find();                                                      \
  if (!name)                                                                                   \
  {                                                                                            \
    GTEST_SKIP() << commalocale::Missing;                                                      \
  }

#endif

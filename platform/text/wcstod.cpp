// VormWcstod: wcstod with the "C" locale's decimal point (see crt.h).
#include <locale.h>

#include <cstdlib>
#include <string>

#include <vorm/platform/crt.h>

namespace {

locale_t CLocale() {
  static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return loc;
}

}  // namespace

double VormWcstod(const wchar_t* text, wchar_t** end) {
  if (!text) {
    if (end) *end = nullptr;
    return 0.0;
  }
  // No character outside ASCII can belong to a number, so the narrow copy may stop there;
  // each copied character is one byte, so offsets carry over to the wide text.
  std::string narrow;
  for (const wchar_t* p = text; *p > 0 && *p < 0x80; ++p) narrow.push_back(static_cast<char>(*p));
  char* stop = nullptr;
  const locale_t loc = CLocale();
  const double value =
      loc != static_cast<locale_t>(nullptr) ? strtod_l(narrow.c_str(), &stop, loc) : std::strtod(narrow.c_str(), &stop);
  if (end) *end = const_cast<wchar_t*>(text) + (stop - narrow.c_str());
  return value;
}

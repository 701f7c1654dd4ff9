// Number conversions of the C runtime with the platform's rules (see crt.h).
#include <vorm/platform/crt.h>

#include <locale.h>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

namespace {

bool IsCrtSpace(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

// Reads [space][sign]digits and saturates at the limits of a signed integer of `bits`
// bits. The magnitude is accumulated in 64 unsigned bits and clamped as soon as it
// passes the limit, so no input length can overflow the accumulator.
LONGLONG ParseSigned(const wchar_t* text, unsigned bits) {
  if (!text) {
    errno = EINVAL;
    return 0;
  }
  const wchar_t* p = text;
  while (IsCrtSpace(*p)) ++p;
  bool negative = false;
  if (*p == L'+' || *p == L'-') {
    negative = *p == L'-';
    ++p;
  }
  const std::uint64_t maxPositive = (std::uint64_t{1} << (bits - 1)) - 1;
  const std::uint64_t limit = negative ? maxPositive + 1 : maxPositive;
  std::uint64_t value = 0;
  bool overflow = false;
  for (; *p >= L'0' && *p <= L'9'; ++p) {
    if (overflow) continue;  // keep consuming digits; the result is already decided
    const auto digit = static_cast<std::uint64_t>(*p - L'0');
    if (value > (limit - digit) / 10) {
      overflow = true;
      continue;
    }
    value = value * 10 + digit;
  }
  if (overflow) {
    errno = ERANGE;
    value = limit;
  }
  if (!negative) return static_cast<LONGLONG>(value);
  // -(2^63) cannot be negated in signed arithmetic; go through the unsigned value.
  return value == (std::uint64_t{1} << 63) ? LLONG_MIN : -static_cast<LONGLONG>(value);
}

// A "C" locale object made once, so the decimal separator is '.' whatever the host
// process has set with setlocale.
locale_t CLocale() {
  static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return loc;
}

}  // namespace

int _wtoi(const wchar_t* text) { return static_cast<int>(ParseSigned(text, 32)); }

LONG _wtol(const wchar_t* text) { return static_cast<LONG>(ParseSigned(text, 32)); }

LONGLONG _wtoi64(const wchar_t* text) { return ParseSigned(text, 64); }

double _wtof(const wchar_t* text) {
  if (!text) {
    errno = EINVAL;
    return 0.0;
  }
  // No character outside ASCII can belong to a number, so the narrow copy ends there.
  std::string narrow;
  for (const wchar_t* p = text; *p > 0 && *p < 0x80; ++p) narrow.push_back(static_cast<char>(*p));
  locale_t loc = CLocale();
  if (loc == static_cast<locale_t>(nullptr)) return std::strtod(narrow.c_str(), nullptr);
  return strtod_l(narrow.c_str(), nullptr, loc);
}

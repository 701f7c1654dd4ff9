// The wide formatter with the platform's printf rules (see text.h). The format is walked
// here and every conversion is formatted by this file; only the digits of floating-point
// numbers come from snprintf with a narrow directive built here, so neither glibc's
// wide %s/%c rules nor its refusal to cut at a buffer size ever apply.
#include <locale.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <type_traits>

#include <vorm/platform/text.h>

#include "platform/text/utf8_codec.h"

namespace {

using vorm_text_details::DecodeUtf8;
using vorm_text_details::kEscapeBase;

// Appends to a growing string.
class StringSink {
 public:
  explicit StringSink(std::wstring& out) : out_(out) {}
  void Put(const wchar_t* s, size_t n) { out_.append(s, n); }
  void Put(wchar_t c) { out_.push_back(c); }
  void Fill(wchar_t c, size_t n) { out_.append(n, c); }
  void PutAscii(const char* s, size_t n) {
    const size_t old = out_.size();
    out_.resize(old + n);
    wchar_t* d = out_.data() + old;
    for (size_t i = 0; i < n; ++i) d[i] = static_cast<unsigned char>(s[i]);
  }

 private:
  std::wstring& out_;
};

// Stores into a caller's buffer of `cap` characters and counts everything, stored or not.
class BufferSink {
 public:
  BufferSink(wchar_t* buffer, size_t cap) : buf_(buffer), cap_(buffer ? cap : 0) {}
  void Put(const wchar_t* s, size_t n) {
    const size_t k = Room(n);
    if (k) std::wmemcpy(buf_ + len_, s, k);
    Advance(n);
  }
  void Put(wchar_t c) {
    if (len_ < cap_) buf_[len_] = c;
    Advance(1);
  }
  void Fill(wchar_t c, size_t n) {
    const size_t k = Room(n);
    if (k) std::wmemset(buf_ + len_, c, k);
    Advance(n);
  }
  void PutAscii(const char* s, size_t n) {
    const size_t k = Room(n);
    for (size_t i = 0; i < k; ++i) buf_[len_ + i] = static_cast<unsigned char>(s[i]);
    Advance(n);
  }
  size_t total() const { return len_; }

 private:
  size_t Room(size_t n) const { return len_ >= cap_ ? 0 : (n < cap_ - len_ ? n : cap_ - len_); }
  void Advance(size_t n) { len_ = n > SIZE_MAX - len_ ? SIZE_MAX : len_ + n; }

  wchar_t* buf_;
  size_t cap_;
  size_t len_ = 0;
};

enum class Size { kNone, kChar, kShort, kLong, k32, k64, kSizeT, kPtrDiff, kIntMax, kPtr, kWide, kLongDouble };

// One directive as written: flags, width, precision, size and the conversion letter.
struct Directive {
  bool left = false, plus = false, space = false, alt = false, zero = false;
  size_t width = 0;
  bool hasPrec = false;
  size_t prec = 0;
  Size size = Size::kNone;
  wchar_t conv = 0;  // 0 when the format ends inside the directive
};

// The argument list of one call, read in order by the walk. A struct, so that the parsing
// and the emitting functions can share one list portably.
struct Arguments {
  va_list ap;
};

// Saturating decimal field ("%99999999999d" must not overflow).
size_t ParseNumber(const wchar_t*& p) {
  size_t v = 0;
  while (*p >= L'0' && *p <= L'9') {
    const size_t d = static_cast<size_t>(*p++ - L'0');
    v = v > (static_cast<size_t>(INT_MAX) - d) / 10 ? static_cast<size_t>(INT_MAX) : v * 10 + d;
  }
  return v;
}

template <class Sink>
void PadBefore(Sink& sink, const Directive& s, size_t len) {
  if (!s.left && s.width > len) sink.Fill(s.zero ? L'0' : L' ', s.width - len);
}

template <class Sink>
void PadAfter(Sink& sink, const Directive& s, size_t len) {
  if (s.left && s.width > len) sink.Fill(L' ', s.width - len);
}

template <class Sink>
void PutChar(Sink& sink, const Directive& s, wchar_t c) {
  PadBefore(sink, s, 1);
  sink.Put(c);
  PadAfter(sink, s, 1);
}

template <class Sink>
void PutWideString(Sink& sink, const Directive& s, const wchar_t* str) {
  if (!str) str = L"(null)";
  size_t n = 0;
  if (s.hasPrec) {
    while (n < s.prec && str[n]) ++n;  // never reads past the precision
  } else {
    n = std::wcslen(str);
  }
  PadBefore(sink, s, n);
  sink.Put(str, n);
  PadAfter(sink, s, n);
}

template <class Sink>
void PutNarrowString(Sink& sink, const Directive& s, const char* str) {
  if (!str) str = "(null)";
  const auto* bytes = reinterpret_cast<const unsigned char*>(str);
  const size_t limit = s.hasPrec ? s.prec : SIZE_MAX;
  // First pass counts the characters (for the padding), the second emits them.
  size_t chars = 0;
  bool ascii = true;
  for (size_t i = 0; chars < limit && bytes[i]; ++chars) {
    if (bytes[i] < 0x80) {
      ++i;
      continue;
    }
    ascii = false;
    std::uint32_t cp;
    i += DecodeUtf8(bytes + i, SIZE_MAX, cp);
  }
  PadBefore(sink, s, chars);
  if (ascii) {
    sink.PutAscii(str, chars);
  } else {
    for (size_t i = 0, k = 0; k < chars; ++k) {
      std::uint32_t cp;
      i += DecodeUtf8(bytes + i, SIZE_MAX, cp);
      sink.Put(static_cast<wchar_t>(cp));
    }
  }
  PadAfter(sink, s, chars);
}

// Integer conversions, done here rather than by snprintf so that width and precision of
// any size cost nothing but the characters they produce.
template <class Sink>
void PutInteger(Sink& sink, const Directive& s, unsigned long long magnitude, bool negative, bool isSigned,
                unsigned base, bool upper, bool hexPrefix) {
  char digits[32];
  size_t nd = 0;
  const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  const bool isZero = magnitude == 0;
  if (!(s.hasPrec && s.prec == 0 && isZero)) {
    do {
      digits[sizeof digits - 1 - nd++] = set[magnitude % base];
      magnitude /= base;
    } while (magnitude);
  }
  size_t zeros = s.hasPrec && s.prec > nd ? s.prec - nd : 0;
  if (base == 8 && s.alt && zeros == 0 && (nd == 0 || digits[sizeof digits - nd] != '0')) zeros = 1;
  char prefix[3];
  size_t np = 0;
  if (isSigned) {
    if (negative)
      prefix[np++] = '-';
    else if (s.plus)
      prefix[np++] = '+';
    else if (s.space)
      prefix[np++] = ' ';
  }
  if (hexPrefix && s.alt && !isZero) {
    prefix[np++] = '0';
    prefix[np++] = upper ? 'X' : 'x';
  }
  const size_t len = np + zeros + nd;
  size_t pad = s.width > len ? s.width - len : 0;
  if (!s.left && pad) {
    if (s.zero && !s.hasPrec) {
      zeros += pad;
    } else {
      sink.Fill(L' ', pad);
    }
    pad = 0;
  }
  sink.PutAscii(prefix, np);
  if (zeros) sink.Fill(L'0', zeros);
  sink.PutAscii(digits + sizeof digits - nd, nd);
  if (pad) sink.Fill(L' ', pad);
}

// Numbers are written in the "C" locale: the decimal point must not follow a host that
// set LC_NUMERIC from the environment (as desktop toolkits do at start-up).
locale_t NumericLocale() {
  static const locale_t loc = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(nullptr));
  return loc;
}

template <class T>
int FormatFloat(char* buf, size_t size, const char* directive, bool hasPrec, int prec, T value) {
  return hasPrec ? std::snprintf(buf, size, directive, prec, value) : std::snprintf(buf, size, directive, value);
}

// Past this many digits a number's text is only zeros: every double, and every long double,
// is a binary fraction whose decimal expansion ends within it (2^-1074 has 1074 digits after
// the point, 2^-16445 has 16445), and %e, %g and %a need fewer. A larger precision asks the C
// library for this many and adds the zeros itself, so the text costs what the sink keeps.
template <class T>
constexpr size_t kExactDigits = std::is_same_v<T, long double> ? 16500 : 1100;

template <class Sink, class T>
void PutFloat(Sink& sink, const Directive& s, T value) {
  char directive[16];
  size_t k = 0;
  directive[k++] = '%';
  if (s.plus) directive[k++] = '+';
  if (s.space) directive[k++] = ' ';
  if (s.alt) directive[k++] = '#';
  if (s.hasPrec) {
    directive[k++] = '.';
    directive[k++] = '*';
  }
  if (std::is_same_v<T, long double>) directive[k++] = 'L';
  directive[k++] = static_cast<char>(s.conv);
  directive[k] = '\0';
  const size_t asked = s.hasPrec && s.prec > kExactDigits<T> ? kExactDigits<T> : s.prec;
  // Zeros the C library was not asked for; %g drops its trailing zeros unless '#' keeps them.
  const bool gStyle = s.conv == L'g' || s.conv == L'G';
  const size_t zerosAfter = std::isfinite(value) && (!gStyle || s.alt) ? s.prec - asked : 0;

  char small[128];
  std::string large;
  const char* text = small;
  const locale_t old = NumericLocale() ? uselocale(NumericLocale()) : static_cast<locale_t>(nullptr);
  int n = FormatFloat(small, sizeof small, directive, s.hasPrec, static_cast<int>(asked), value);
  if (n >= static_cast<int>(sizeof small)) {
    large.resize(static_cast<size_t>(n) + 1);
    n = FormatFloat(large.data(), large.size(), directive, s.hasPrec, static_cast<int>(asked), value);
    text = large.data();
  }
  if (old) uselocale(old);
  if (n < 0) {  // not expected with the digits bounded above
    n = 0;
    text = "";
  }

  const size_t len = static_cast<size_t>(n);
  // The added zeros end the digits: before the exponent of %e/%g ('e') and %a ('p'; 'e' is a
  // hex digit there), at the end of %f.
  size_t cut = len;
  if (zerosAfter) {
    const char* exponent = (s.conv == L'a' || s.conv == L'A') ? "pP" : "eE";
    for (size_t i = len; i > 0; --i) {
      if (text[i - 1] == exponent[0] || text[i - 1] == exponent[1]) {
        cut = i - 1;
        break;
      }
    }
  }
  const auto putDigits = [&](size_t from) {
    sink.PutAscii(text + from, cut - from);
    if (zerosAfter) sink.Fill(L'0', zerosAfter);
    sink.PutAscii(text + cut, len - cut);
  };

  const size_t total = len + zerosAfter;
  const size_t pad = s.width > total ? s.width - total : 0;
  if (s.left) {
    putDigits(0);
    if (pad) sink.Fill(L' ', pad);
  } else if (pad && s.zero && std::isfinite(value)) {
    // Zeros go between the sign (and the 0x of %a) and the digits.
    size_t head = (text[0] == '-' || text[0] == '+' || text[0] == ' ') ? 1 : 0;
    if ((s.conv == L'a' || s.conv == L'A') && len >= head + 2 && text[head] == '0' && (text[head + 1] | 0x20) == 'x') {
      head += 2;
    }
    sink.PutAscii(text, head);
    sink.Fill(L'0', pad);
    putDigits(head);
  } else {
    if (pad) sink.Fill(L' ', pad);
    putDigits(0);
  }
}

// Reads "%[flags][width][.precision][size]conversion" from just after the '%'; a '*' width or
// precision takes its int from the arguments. Leaves p after the conversion letter, or on the
// terminator when the format ends inside the directive.
Directive ParseDirective(const wchar_t*& p, Arguments& args) {
  Directive d;
  for (;; ++p) {
    if (*p == L'-')
      d.left = true;
    else if (*p == L'+')
      d.plus = true;
    else if (*p == L' ')
      d.space = true;
    else if (*p == L'#')
      d.alt = true;
    else if (*p == L'0')
      d.zero = true;
    else
      break;
  }
  if (*p == L'*') {
    ++p;
    const long long w = va_arg(args.ap, int);
    if (w < 0) d.left = true;
    d.width = static_cast<size_t>(w < 0 ? -w : w);  // INT_MIN's magnitude too is beyond the limit
  } else {
    d.width = ParseNumber(p);
  }
  if (*p == L'.') {
    ++p;
    d.hasPrec = true;
    if (*p == L'*') {
      ++p;
      const int pr = va_arg(args.ap, int);
      if (pr < 0)
        d.hasPrec = false;  // a negative precision counts as none
      else
        d.prec = static_cast<size_t>(pr);
    } else {
      d.prec = ParseNumber(p);
    }
  }
  if (d.left) d.zero = false;

  switch (*p) {
    case L'h':
      d.size = Size::kShort;
      if (*++p == L'h') {
        ++p;
        d.size = Size::kChar;
      }
      break;
    case L'l':
      d.size = Size::kLong;
      if (*++p == L'l') {
        ++p;
        d.size = Size::k64;
      }
      break;
    case L'L':
      ++p;
      d.size = Size::kLongDouble;
      break;
    case L'w':
      ++p;
      d.size = Size::kWide;
      break;
    case L'z':
      ++p;
      d.size = Size::kSizeT;
      break;
    case L't':
      ++p;
      d.size = Size::kPtrDiff;
      break;
    case L'j':
      ++p;
      d.size = Size::kIntMax;
      break;
    case L'I':
      ++p;
      if (p[0] == L'6' && p[1] == L'4') {
        p += 2;
        d.size = Size::k64;
      } else if (p[0] == L'3' && p[1] == L'2') {
        p += 2;
        d.size = Size::k32;
      } else {
        d.size = Size::kPtr;
      }
      break;
    default: break;
  }
  d.conv = *p;
  if (d.conv) ++p;
  return d;
}

long long ReadSigned(Size size, Arguments& args) {
  switch (size) {
    case Size::kChar: return static_cast<signed char>(va_arg(args.ap, int));
    case Size::kShort: return static_cast<short>(va_arg(args.ap, int));
    case Size::k64:
    case Size::kLongDouble: return va_arg(args.ap, long long);
    case Size::kSizeT: return va_arg(args.ap, std::make_signed_t<size_t>);
    case Size::kPtrDiff: return va_arg(args.ap, std::ptrdiff_t);
    case Size::kIntMax: return static_cast<long long>(va_arg(args.ap, std::intmax_t));
    case Size::kPtr: return static_cast<long long>(va_arg(args.ap, std::intptr_t));
    default: return va_arg(args.ap, int);
  }
}

unsigned long long ReadUnsigned(Size size, Arguments& args) {
  switch (size) {
    case Size::kChar: return static_cast<unsigned char>(va_arg(args.ap, unsigned));
    case Size::kShort: return static_cast<unsigned short>(va_arg(args.ap, unsigned));
    case Size::k64:
    case Size::kLongDouble: return va_arg(args.ap, unsigned long long);
    case Size::kSizeT: return va_arg(args.ap, size_t);
    case Size::kPtrDiff: return static_cast<unsigned long long>(va_arg(args.ap, std::ptrdiff_t));
    case Size::kIntMax: return static_cast<unsigned long long>(va_arg(args.ap, std::uintmax_t));
    case Size::kPtr: return va_arg(args.ap, std::uintptr_t);
    default: return va_arg(args.ap, unsigned);
  }
}

bool IsKnownConversion(wchar_t c) { return c && std::wcschr(L"diuoxXpcCsSeEfFgGaA%n", c); }
bool IsNumberConversion(wchar_t c) { return c && std::wcschr(L"diuoxXpeEfFgGaA", c); }

// Formats one directive's argument. `written` is the directive as the format spells it, copied
// for a conversion letter that is not one. False for a field beyond kVormFormatFieldLimit.
template <class Sink>
bool EmitArgument(Sink& sink, const Directive& d, Arguments& args, std::wstring_view written) {
  if (!IsKnownConversion(d.conv)) {
    sink.Put(written.data(), written.size());
    return true;
  }
  constexpr size_t kLimit = static_cast<size_t>(kVormFormatFieldLimit);
  if (d.width > kLimit || (d.hasPrec && d.prec > kLimit && IsNumberConversion(d.conv))) return false;
  // %S and %C are narrow unless l/w says wide; h makes %s and %c narrow.
  const bool narrow =
      d.size == Size::kShort || ((d.conv == L'S' || d.conv == L'C') && d.size != Size::kLong && d.size != Size::kWide);
  switch (d.conv) {
    case L'd':
    case L'i': {
      const long long v = ReadSigned(d.size, args);
      const unsigned long long mag =
          v < 0 ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
      PutInteger(sink, d, mag, v < 0, true, 10, false, false);
      break;
    }
    case L'u':
    case L'o':
    case L'x':
    case L'X': {
      const unsigned base = d.conv == L'u' ? 10 : (d.conv == L'o' ? 8 : 16);
      PutInteger(sink, d, ReadUnsigned(d.size, args), false, false, base, d.conv == L'X', base == 16);
      break;
    }
    case L'p': {
      Directive pd = d;
      pd.hasPrec = true;
      pd.prec = 2 * sizeof(void*);
      pd.alt = false;
      PutInteger(sink, pd, reinterpret_cast<std::uintptr_t>(va_arg(args.ap, void*)), false, false, 16, true, false);
      break;
    }
    case L'c':
    case L'C': {
      const int v = va_arg(args.ap, int);
      const auto b = static_cast<unsigned char>(v);
      PutChar(sink, d, narrow ? static_cast<wchar_t>(b < 0x80 ? b : kEscapeBase + b) : static_cast<wchar_t>(v));
      break;
    }
    case L's':
    case L'S':
      if (narrow)
        PutNarrowString(sink, d, va_arg(args.ap, const char*));
      else
        PutWideString(sink, d, va_arg(args.ap, const wchar_t*));
      break;
    case L'%': sink.Put(L'%'); break;
    case L'n':
      // Writing through a format argument is refused; the pointer is only skipped.
      (void)va_arg(args.ap, void*);
      break;
    default:  // floating point
      if (d.size == Size::kLongDouble)
        PutFloat(sink, d, va_arg(args.ap, long double));
      else
        PutFloat(sink, d, va_arg(args.ap, double));
      break;
  }
  return true;
}

// Walks the format; false when a directive is refused (the output so far is then meaningless).
template <class Sink>
bool FormatTo(Sink& sink, const wchar_t* format, va_list list) {
  Arguments args;
  va_copy(args.ap, list);
  bool ok = true;
  const wchar_t* p = format;
  while (*p) {
    const wchar_t* literal = p;
    while (*p && *p != L'%') ++p;
    if (p != literal) sink.Put(literal, static_cast<size_t>(p - literal));
    if (!*p) break;
    const wchar_t* const start = p++;
    const Directive d = ParseDirective(p, args);
    const std::wstring_view written(start, static_cast<size_t>(p - start));
    if (!d.conv) {  // the format ends inside a directive: keep the text as written
      sink.Put(written.data(), written.size());
      break;
    }
    if (!EmitArgument(sink, d, args, written)) {
      ok = false;
      break;
    }
  }
  va_end(args.ap);
  return ok;
}

int ToResult(size_t n) { return n > static_cast<size_t>(INT_MAX) ? -1 : static_cast<int>(n); }

}  // namespace

void VormAppendFormatV(std::wstring& out, const wchar_t* format, va_list args) {
  if (!format) return;
  const size_t old = out.size();
  StringSink sink(out);
  if (!FormatTo(sink, format, args)) out.resize(old);
}

std::wstring VormFormatV(const wchar_t* format, va_list args) {
  std::wstring out;
  if (!format) return out;
  out.reserve(std::wcslen(format) + 48);
  StringSink sink(out);
  if (!FormatTo(sink, format, args)) out.clear();
  return out;
}

std::wstring VormFormat(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::wstring out = VormFormatV(format, args);
  va_end(args);
  return out;
}

int _vsnwprintf(wchar_t* buffer, size_t count, const wchar_t* format, va_list args) {
  if (!format || (!buffer && count != 0)) return -1;
  BufferSink sink(buffer, count);
  if (!FormatTo(sink, format, args)) {
    if (count) buffer[0] = L'\0';
    return -1;
  }
  const size_t n = sink.total();
  if (!buffer) return ToResult(n);
  if (n < count) {
    buffer[n] = L'\0';
    return ToResult(n);
  }
  // An exact fit is stored without terminator and reported by its length, as the platform does.
  return n == count ? ToResult(n) : -1;
}

int _snwprintf(wchar_t* buffer, size_t count, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = _vsnwprintf(buffer, count, format, args);
  va_end(args);
  return n;
}

int _vscwprintf(const wchar_t* format, va_list args) {
  if (!format) return -1;
  BufferSink sink(nullptr, 0);
  return FormatTo(sink, format, args) ? ToResult(sink.total()) : -1;
}

int _vswprintf(wchar_t* buffer, const wchar_t* format, va_list args) {
  if (!buffer || !format) return -1;
  BufferSink sink(buffer, SIZE_MAX);
  if (!FormatTo(sink, format, args)) {
    buffer[0] = L'\0';
    return -1;
  }
  buffer[sink.total()] = L'\0';
  return ToResult(sink.total());
}

int _swprintf(wchar_t* buffer, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = _vswprintf(buffer, format, args);
  va_end(args);
  return n;
}

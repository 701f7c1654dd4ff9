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

struct Directive {
  bool left = false, plus = false, space = false, alt = false, zero = false;
  size_t width = 0;
  bool hasPrec = false;
  size_t prec = 0;
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
void PutInteger(Sink& sink, const Directive& s, unsigned long long magnitude, bool negative, bool isSigned, unsigned base,
                bool upper, bool hexPrefix) {
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
    if (negative) prefix[np++] = '-';
    else if (s.plus) prefix[np++] = '+';
    else if (s.space) prefix[np++] = ' ';
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

template <class Sink, class T>
void PutFloat(Sink& sink, const Directive& s, wchar_t conv, T value) {
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
  directive[k++] = static_cast<char>(conv);
  directive[k] = '\0';
  const int prec = s.prec > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(s.prec);

  char small[128];
  std::string large;
  const char* text = small;
  const locale_t old = NumericLocale() ? uselocale(NumericLocale()) : static_cast<locale_t>(nullptr);
  int n = FormatFloat(small, sizeof small, directive, s.hasPrec, prec, value);
  if (n >= static_cast<int>(sizeof small)) {
    large.resize(static_cast<size_t>(n) + 1);
    n = FormatFloat(large.data(), large.size(), directive, s.hasPrec, prec, value);
    text = large.data();
  }
  if (old) uselocale(old);
  if (n < 0) return;  // the C library refused (a precision too large for memory)

  const size_t len = static_cast<size_t>(n);
  const size_t pad = s.width > len ? s.width - len : 0;
  if (s.left) {
    sink.PutAscii(text, len);
    if (pad) sink.Fill(L' ', pad);
  } else if (pad && s.zero && std::isfinite(value)) {
    // Zeros go between the sign (and the 0x of %a) and the digits.
    size_t head = (text[0] == '-' || text[0] == '+' || text[0] == ' ') ? 1 : 0;
    if ((conv == L'a' || conv == L'A') && len >= head + 2 && text[head] == '0' && (text[head + 1] | 0x20) == 'x') head += 2;
    sink.PutAscii(text, head);
    sink.Fill(L'0', pad);
    sink.PutAscii(text + head, len - head);
  } else {
    if (pad) sink.Fill(L' ', pad);
    sink.PutAscii(text, len);
  }
}

// Walks the format. Every va_arg of the walk happens in this one function on its own copy
// of the list.
template <class Sink>
void FormatTo(Sink& sink, const wchar_t* format, va_list args) {
  va_list ap;
  va_copy(ap, args);
  const wchar_t* p = format;
  while (*p) {
    const wchar_t* literal = p;
    while (*p && *p != L'%') ++p;
    if (p != literal) sink.Put(literal, static_cast<size_t>(p - literal));
    if (!*p) break;

    const wchar_t* const start = p++;
    if (*p == L'%') {
      sink.Put(L'%');
      ++p;
      continue;
    }
    Directive s;
    for (;; ++p) {
      if (*p == L'-') s.left = true;
      else if (*p == L'+') s.plus = true;
      else if (*p == L' ') s.space = true;
      else if (*p == L'#') s.alt = true;
      else if (*p == L'0') s.zero = true;
      else break;
    }
    if (*p == L'*') {
      ++p;
      const long long w = va_arg(ap, int);
      if (w < 0) s.left = true;
      const long long a = w < 0 ? -w : w;
      s.width = a > INT_MAX ? static_cast<size_t>(INT_MAX) : static_cast<size_t>(a);
    } else {
      s.width = ParseNumber(p);
    }
    if (*p == L'.') {
      ++p;
      s.hasPrec = true;
      if (*p == L'*') {
        ++p;
        const int pr = va_arg(ap, int);
        if (pr < 0) s.hasPrec = false;  // a negative precision counts as none
        else s.prec = static_cast<size_t>(pr);
      } else {
        s.prec = ParseNumber(p);
      }
    }
    if (s.left) s.zero = false;

    Size size = Size::kNone;
    switch (*p) {
      case L'h':
        ++p;
        if (*p == L'h') {
          ++p;
          size = Size::kChar;
        } else {
          size = Size::kShort;
        }
        break;
      case L'l':
        ++p;
        if (*p == L'l') {
          ++p;
          size = Size::k64;
        } else {
          size = Size::kLong;
        }
        break;
      case L'L': ++p; size = Size::kLongDouble; break;
      case L'w': ++p; size = Size::kWide; break;
      case L'z': ++p; size = Size::kSizeT; break;
      case L't': ++p; size = Size::kPtrDiff; break;
      case L'j': ++p; size = Size::kIntMax; break;
      case L'I':
        ++p;
        if (p[0] == L'6' && p[1] == L'4') {
          p += 2;
          size = Size::k64;
        } else if (p[0] == L'3' && p[1] == L'2') {
          p += 2;
          size = Size::k32;
        } else {
          size = Size::kPtr;
        }
        break;
      default: break;
    }

    const wchar_t conv = *p;
    if (!conv) {  // the format ends inside a conversion: keep the text as written
      sink.Put(start, static_cast<size_t>(p - start));
      break;
    }
    ++p;
    switch (conv) {
      case L'd':
      case L'i': {
        long long v;
        switch (size) {
          case Size::kChar: v = static_cast<signed char>(va_arg(ap, int)); break;
          case Size::kShort: v = static_cast<short>(va_arg(ap, int)); break;
          case Size::k64:
          case Size::kLongDouble: v = va_arg(ap, long long); break;
          case Size::kSizeT: v = va_arg(ap, std::make_signed_t<size_t>); break;
          case Size::kPtrDiff: v = va_arg(ap, std::ptrdiff_t); break;
          case Size::kIntMax: v = static_cast<long long>(va_arg(ap, std::intmax_t)); break;
          case Size::kPtr: v = static_cast<long long>(va_arg(ap, std::intptr_t)); break;
          default: v = va_arg(ap, int); break;
        }
        const unsigned long long mag = v < 0 ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
        PutInteger(sink, s, mag, v < 0, true, 10, false, false);
        break;
      }
      case L'u':
      case L'o':
      case L'x':
      case L'X': {
        unsigned long long v;
        switch (size) {
          case Size::kChar: v = static_cast<unsigned char>(va_arg(ap, unsigned)); break;
          case Size::kShort: v = static_cast<unsigned short>(va_arg(ap, unsigned)); break;
          case Size::k64:
          case Size::kLongDouble: v = va_arg(ap, unsigned long long); break;
          case Size::kSizeT: v = va_arg(ap, size_t); break;
          case Size::kPtrDiff: v = static_cast<unsigned long long>(va_arg(ap, std::ptrdiff_t)); break;
          case Size::kIntMax: v = static_cast<unsigned long long>(va_arg(ap, std::uintmax_t)); break;
          case Size::kPtr: v = va_arg(ap, std::uintptr_t); break;
          default: v = va_arg(ap, unsigned); break;
        }
        const unsigned base = conv == L'u' ? 10 : (conv == L'o' ? 8 : 16);
        PutInteger(sink, s, v, false, false, base, conv == L'X', base == 16);
        break;
      }
      case L'p': {
        const auto v = reinterpret_cast<std::uintptr_t>(va_arg(ap, void*));
        Directive ps = s;
        ps.hasPrec = true;
        ps.prec = 2 * sizeof(void*);
        ps.alt = false;
        PutInteger(sink, ps, v, false, false, 16, true, false);
        break;
      }
      case L'c':
      case L'C': {
        const bool narrow = size == Size::kShort || (conv == L'C' && size != Size::kLong && size != Size::kWide);
        const int v = va_arg(ap, int);
        wchar_t c;
        if (narrow) {
          const auto b = static_cast<unsigned char>(v);
          c = static_cast<wchar_t>(b < 0x80 ? b : kEscapeBase + b);
        } else {
          c = static_cast<wchar_t>(v);
        }
        PutChar(sink, s, c);
        break;
      }
      case L's':
      case L'S': {
        const bool narrow = size == Size::kShort || (conv == L'S' && size != Size::kLong && size != Size::kWide);
        if (narrow) PutNarrowString(sink, s, va_arg(ap, const char*));
        else PutWideString(sink, s, va_arg(ap, const wchar_t*));
        break;
      }
      case L'e':
      case L'E':
      case L'f':
      case L'F':
      case L'g':
      case L'G':
      case L'a':
      case L'A':
        if (size == Size::kLongDouble) PutFloat(sink, s, conv, va_arg(ap, long double));
        else PutFloat(sink, s, conv, va_arg(ap, double));
        break;
      case L'%':
        sink.Put(L'%');
        break;
      case L'n':
        // Writing through a format argument is refused; the pointer is only skipped.
        (void)va_arg(ap, void*);
        break;
      default:
        sink.Put(start, static_cast<size_t>(p - start));
        break;
    }
  }
  va_end(ap);
}

int ToResult(size_t n) { return n > static_cast<size_t>(INT_MAX) ? -1 : static_cast<int>(n); }

}  // namespace

void VormAppendFormatV(std::wstring& out, const wchar_t* format, va_list args) {
  if (!format) return;
  StringSink sink(out);
  FormatTo(sink, format, args);
}

std::wstring VormFormatV(const wchar_t* format, va_list args) {
  std::wstring out;
  if (!format) return out;
  out.reserve(std::wcslen(format) + 48);
  StringSink sink(out);
  FormatTo(sink, format, args);
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
  FormatTo(sink, format, args);
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
  FormatTo(sink, format, args);
  return ToResult(sink.total());
}

int _vswprintf(wchar_t* buffer, const wchar_t* format, va_list args) {
  if (!buffer || !format) return -1;
  BufferSink sink(buffer, SIZE_MAX);
  FormatTo(sink, format, args);
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

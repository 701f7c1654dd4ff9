// The wide formatter against its own cutting rules. The input is a program that writes a format
// string: literal text, and directives with any flags, widths and precisions. The arguments
// are one fixed list of slots of known types, and a directive only ever names the conversion
// of its slot's type, so no input can make the call itself undefined. Every text the
// formatter makes is then checked against its whole text (VormFormatV): the measured length,
// _vsnwprintf at every count (exact-size buffers, so a write past one is caught), the
// unbounded form and appending.
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <memory>
#include <string>

#include <vorm/platform/text.h>

#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_input.h"

namespace {

using vorm_fuzz::FuzzInput;

enum Kind { kInt, kInt64, kDouble, kLongDouble, kWide, kNarrow, kPointer };

// The argument list, slot by slot: the call in Run passes exactly these types in this order.
constexpr Kind kSlots[] = {kInt,    kInt,  kInt64, kDouble, kWide,   kInt,    kNarrow, kPointer, kLongDouble, kInt,
                           kDouble, kWide, kInt64, kInt,    kNarrow, kDouble, kInt,    kPointer, kWide,       kInt};
constexpr int kSlotCount = static_cast<int>(std::size(kSlots));

struct Arguments {
  int ints[kSlotCount] = {};
  long long int64s[kSlotCount] = {};
  double doubles[kSlotCount] = {};
  long double longDoubles[kSlotCount] = {};
  const wchar_t* wides[kSlotCount] = {};
  const char* narrows[kSlotCount] = {};
  void* pointers[kSlotCount] = {};
};

const wchar_t* const kWideStrings[] = {L"", L"wide", L"\u00E9\u20AC\U0001F600\xDCFF\xD800", nullptr,
                                       L"a longer wide string that a precision or a small buffer may cut"};
const char* const kNarrowStrings[] = {"",
                                      "narrow",
                                      "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
                                      "bad\xFF\xC3",
                                      nullptr,
                                      "\xE0\x80\xAF overlong, \xED\xA0\x80 surrogate, \xF4\x90\x80\x80 beyond"};
// Conversions by the type of argument they read (size prefixes included).
const wchar_t* const kIntConversions[] = {L"d",    L"i",   L"u",  L"o",   L"x",  L"X",  L"c",  L"C",
                                          L"hd",   L"hhd", L"hu", L"hhx", L"ld", L"lu", L"lx", L"I32d",
                                          L"I32X", L"lc",  L"hc", L"wc",  L"hC", L"lC", L"wC"};
const wchar_t* const kInt64Conversions[] = {L"I64d", L"I64u", L"I64x", L"I64X", L"lld", L"llu", L"llo", L"Id", L"Iu",
                                            L"IX",   L"zd",   L"zu",   L"td",   L"tx",  L"jd",  L"ju",  L"Ld"};
const wchar_t* const kDoubleConversions[] = {L"e", L"E", L"f", L"F", L"g", L"G", L"a", L"A", L"lf", L"le"};
const wchar_t* const kLongDoubleConversions[] = {L"Le", L"LE", L"Lf", L"LF", L"Lg", L"LG", L"La", L"LA"};
const wchar_t* const kWideStringConversions[] = {L"s", L"ls", L"ws", L"lS", L"wS"};
const wchar_t* const kNarrowStringConversions[] = {L"S", L"hs", L"hS"};
const wchar_t* const kPointerConversions[] = {L"p", L"n", L"hn", L"lp"};
// Letters that are no conversion and sizes they may follow: copied as written, read nothing.
const wchar_t kUnknownLetters[] = L"yYkKqbBmMrRvVZ!@&~\u00E9";
const wchar_t* const kSizes[] = {L"", L"h", L"l", L"ll", L"I", L"I64", L"I32", L"L", L"w", L"z"};
// Literal characters the input's high bytes stand for.
const wchar_t kLiteralWide[] = {0xE9, 0x20AC, 0x1F600, 0xDCFF, 0xD800, 0x10FFFF, 0xF05C, 0xFEFF};

template <class T, size_t N>
const T& PickFrom(FuzzInput& in, const T (&table)[N]) {
  return table[in.Pick(N)];
}

// Mostly small numbers: a field near the limit costs a million characters per check.
void AppendNumber(std::wstring& format, FuzzInput& in) {
  const unsigned kind = in.Pick(8);
  if (kind < 4)
    format += std::to_wstring(in.Byte());
  else if (kind < 6)
    format += std::to_wstring(in.Bits<uint16_t>());
  else if (kind == 6)
    format += std::to_wstring(kVormFormatFieldLimit + static_cast<int>(in.Pick(4)));  // at it, past it
  else
    format += std::to_wstring(in.Bits<uint64_t>());  // saturates
}

void AppendFlags(std::wstring& format, FuzzInput& in) {
  const uint8_t bits = in.Byte();
  for (int i = 0; i < 5; ++i) {
    if (bits & (1 << i)) format += L"-+ #0"[i];
  }
}

// Writes the format; `slot` counts the arguments its directives read.
std::wstring WriteFormat(FuzzInput& in, Arguments& a) {
  std::wstring format;
  int slot = 0;
  // A '*' reads an int: only where the next slot is one.
  const auto star = [&]() {
    if (slot >= kSlotCount || kSlots[slot] != kInt) return false;
    a.ints[slot++] = in.Pick(4) == 0 ? in.Bits<int>() : static_cast<int>(in.Byte()) - 16;
    return true;
  };
  while (!in.empty()) {
    const unsigned op = in.Pick(8);
    if (op < 2) {  // literal text
      for (unsigned n = in.Pick(16); n > 0; --n) {
        const uint8_t b = in.Byte();
        if (b == 0) continue;
        if (b == '%')
          format += L"%%";
        else if (b < 0x80)
          format += static_cast<wchar_t>(b);
        else
          format += kLiteralWide[b % std::size(kLiteralWide)];
      }
      continue;
    }
    format += L'%';
    AppendFlags(format, in);
    if (op == 7 || slot >= kSlotCount) {  // a directive that reads no argument
      if (in.Pick(2)) AppendNumber(format, in);
      if (in.Pick(2) == 0) {
        format += L'%';
        continue;
      }
      if (in.Pick(2)) {
        format += L'.';
        AppendNumber(format, in);
      }
      format += PickFrom(in, kSizes);
      if (in.empty()) break;  // the format ends inside the directive
      format += kUnknownLetters[in.Pick(std::size(kUnknownLetters) - 1)];
      continue;
    }
    if (in.Pick(3) == 0 && star())
      format += L'*';
    else if (in.Pick(2))
      AppendNumber(format, in);
    if (in.Pick(2)) {
      format += L'.';
      if (in.Pick(3) == 0 && star())
        format += L'*';
      else if (in.Pick(4))
        AppendNumber(format, in);
    }
    if (slot >= kSlotCount) {  // the stars used the last slots
      format += L'%';
      continue;
    }
    const int k = slot++;
    switch (kSlots[k]) {
      case kInt:
        a.ints[k] = in.Bits<int>();
        format += PickFrom(in, kIntConversions);
        break;
      case kInt64:
        a.int64s[k] = in.Bits<long long>();
        format += PickFrom(in, kInt64Conversions);
        break;
      case kDouble:
        a.doubles[k] = in.Bits<double>();  // any bits: NaNs, infinities, subnormals
        format += PickFrom(in, kDoubleConversions);
        break;
      case kLongDouble:
        a.longDoubles[k] = std::ldexp(static_cast<long double>(in.Bits<double>()), in.Bits<int16_t>() / 2);
        format += PickFrom(in, kLongDoubleConversions);
        break;
      case kWide:
        a.wides[k] = PickFrom(in, kWideStrings);
        format += PickFrom(in, kWideStringConversions);
        break;
      case kNarrow:
        a.narrows[k] = PickFrom(in, kNarrowStrings);
        format += PickFrom(in, kNarrowStringConversions);
        break;
      case kPointer:
        a.pointers[k] = reinterpret_cast<void*>(in.Bits<uintptr_t>());
        format += PickFrom(in, kPointerConversions);
        break;
    }
  }
  return format;
}

// The cutting rules at one count, in a buffer of exactly `count` characters.
void CheckCount(const wchar_t* format, va_list args, const std::wstring& whole, size_t count) {
  std::unique_ptr<wchar_t[]> buffer(new wchar_t[count]);
  for (size_t i = 0; i < count; ++i) buffer[i] = L'\xFFFF';
  va_list copy;
  va_copy(copy, args);
  const int r = _vsnwprintf(buffer.get(), count, format, copy);
  va_end(copy);
  const size_t n = whole.size();
  const size_t stored = n < count ? n : count;
  FUZZ_CHECK(whole.compare(0, stored, buffer.get(), stored) == 0);
  if (n < count) {
    FUZZ_CHECK(r == static_cast<int>(n));
    FUZZ_CHECK(buffer[n] == L'\0');
    for (size_t i = n + 1; i < count; ++i) FUZZ_CHECK(buffer[i] == L'\xFFFF');
  } else {
    FUZZ_CHECK(r == (n == count ? static_cast<int>(n) : -1));
  }
}

void Check(const wchar_t* format, ...) {
  va_list args, copy;
  va_start(args, format);
  va_copy(copy, args);
  const std::wstring whole = VormFormatV(format, copy);
  va_end(copy);
  va_copy(copy, args);
  const int needed = _vscwprintf(format, copy);
  va_end(copy);
  va_copy(copy, args);
  const int measured = _vsnwprintf(nullptr, 0, format, copy);
  va_end(copy);
  FUZZ_CHECK(measured == needed);

  if (needed < 0) {  // refused (no format here can pass INT_MAX characters)
    FUZZ_CHECK(whole.empty());
    for (size_t count : {size_t{1}, size_t{8}, size_t{300}}) {
      std::unique_ptr<wchar_t[]> buffer(new wchar_t[count]);
      va_copy(copy, args);
      FUZZ_CHECK(_vsnwprintf(buffer.get(), count, format, copy) == -1);
      va_end(copy);
      FUZZ_CHECK(buffer[0] == L'\0');
    }
    va_end(args);
    return;
  }
  const size_t n = static_cast<size_t>(needed);
  FUZZ_CHECK(whole.size() == n);
  if (n <= 300) {
    for (size_t count = 0; count <= n + 2; ++count) CheckCount(format, args, whole, count);
  } else {
    for (size_t count : {size_t{0}, size_t{1}, size_t{7}, n - 1, n, n + 1}) {
      CheckCount(format, args, whole, count);
    }
  }

  std::unique_ptr<wchar_t[]> exact(new wchar_t[n + 1]);
  va_copy(copy, args);
  FUZZ_CHECK(_vswprintf(exact.get(), format, copy) == needed);
  va_end(copy);
  FUZZ_CHECK(whole.compare(0, n, exact.get(), n) == 0 && exact[n] == L'\0');

  std::wstring appended = L"kept";
  va_copy(copy, args);
  VormAppendFormatV(appended, format, copy);
  va_end(copy);
  FUZZ_CHECK(appended.size() == 4 + n && appended.compare(4, n, whole) == 0);
  va_end(args);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  Arguments a;
  const std::wstring format = WriteFormat(in, a);
  Check(format.c_str(), a.ints[0], a.ints[1], a.int64s[2], a.doubles[3], a.wides[4], a.ints[5], a.narrows[6],
        a.pointers[7], a.longDoubles[8], a.ints[9], a.doubles[10], a.wides[11], a.int64s[12], a.ints[13], a.narrows[14],
        a.doubles[15], a.ints[16], a.pointers[17], a.wides[18], a.ints[19]);
  return 0;
}

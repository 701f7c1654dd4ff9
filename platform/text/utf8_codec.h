// One-code-point UTF-8 decoding and encoding shared by the converters and the formatter.
// Pure functions; safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vorm_text_details {

// First of the 128 code points that stand for bytes which are not valid UTF-8:
// byte 0x80..0xFF <=> U+DC80..U+DCFF. Bytes below 0x80 are always valid, so the
// range is exactly this and a lone surrogate from it never comes from valid text.
constexpr std::uint32_t kEscapeBase = 0xDC00;

// Decodes the code point at p, looking at no more than `avail` bytes (pass SIZE_MAX for
// NUL-terminated text: a NUL is never a continuation byte, so the decoder stops at it).
// Continuation bytes are read one at a time and only after the previous one matched.
// Overlong forms, surrogates, values above U+10FFFF and cut sequences are invalid: their
// first byte decodes to its escape and decoding goes on at the next byte.
// Returns the number of bytes consumed (1..4).
inline std::size_t DecodeUtf8(const unsigned char* p, std::size_t avail, std::uint32_t& out) {
  const std::uint32_t b0 = p[0];
  if (b0 < 0x80) {
    out = b0;
    return 1;
  }
  std::size_t need;
  std::uint32_t cp;
  std::uint32_t lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    need = 1;
    cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    need = 2;
    cp = b0 & 0x0F;
    if (b0 == 0xE0)
      lo = 0xA0;  // overlong
    else if (b0 == 0xED)
      hi = 0x9F;  // surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    need = 3;
    cp = b0 & 0x07;
    if (b0 == 0xF0)
      lo = 0x90;  // overlong
    else if (b0 == 0xF4)
      hi = 0x8F;  // above U+10FFFF
  } else {
    out = kEscapeBase + b0;
    return 1;
  }
  for (std::size_t i = 1; i <= need; ++i) {
    if (i >= avail) break;
    const std::uint32_t b = p[i];
    if (b < lo || b > hi) break;
    lo = 0x80;
    hi = 0xBF;
    cp = (cp << 6) | (b & 0x3F);
    if (i == need) {
      out = cp;
      return need + 1;
    }
  }
  out = kEscapeBase + b0;
  return 1;
}

// Encodes one wide character into out (room for 4 bytes); returns the byte count.
// U+DC80..U+DCFF give back the byte they stand for; other surrogates and values outside
// Unicode become U+FFFD.
inline std::size_t EncodeUtf8(std::uint32_t c, char* out) {
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<char>(0xC0 | (c >> 6));
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c >= 0xD800 && c <= 0xDFFF) {
    if (c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF) {
      out[0] = static_cast<char>(c - kEscapeBase);
      return 1;
    }
    c = 0xFFFD;
  } else if (c > 0x10FFFF) {
    c = 0xFFFD;
  }
  if (c < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (c >> 18));
  out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (c & 0x3F));
  return 4;
}

}  // namespace vorm_text_details

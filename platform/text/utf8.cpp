// UTF-8 <-> wide conversion for the OS boundary (see utf8_codec.h for the byte rules).
#include <cstdint>
#include <string>
#include <string_view>

#include <vorm/platform/text.h>

#include "platform/text/utf8_codec.h"

using vorm_text_details::DecodeUtf8;
using vorm_text_details::EncodeUtf8;

std::string VormToUtf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  const wchar_t* p = text.data();
  const wchar_t* const end = p + text.size();
  while (p != end) {
    // ASCII runs are the common case: copy them without the general encoder.
    const wchar_t* run = p;
    while (p != end && static_cast<std::uint32_t>(*p) < 0x80) ++p;
    if (p != run) {
      const std::size_t old = out.size();
      out.resize(old + static_cast<std::size_t>(p - run));
      for (std::size_t i = old; run != p; ++i, ++run) out[i] = static_cast<char>(*run);
      if (p == end) break;
    }
    char buf[4];
    const std::size_t n = EncodeUtf8(static_cast<std::uint32_t>(*p++), buf);
    out.append(buf, n);
  }
  return out;
}

std::wstring VormFromUtf8(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t left = text.size();
  while (left != 0) {
    if (*p < 0x80) {
      out.push_back(static_cast<wchar_t>(*p++));
      --left;
      continue;
    }
    std::uint32_t cp;
    const std::size_t n = DecodeUtf8(p, left, cp);
    out.push_back(static_cast<wchar_t>(cp));
    p += n;
    left -= n;
  }
  return out;
}

std::wstring VormFromOsPath(std::string_view native) {
  std::wstring out = VormFromUtf8(native);
  for (wchar_t& c : out) {
    if (VormIsOsOnlyChar(c)) c = static_cast<wchar_t>(kVormOsCharBase + c);
  }
  return out;
}

std::string VormToOsPath(std::wstring_view path) {
  std::string out;
  out.reserve(path.size());
  for (const wchar_t c : path) {
    if (c == L'\\') {
      out.push_back('/');
    } else if (c > kVormOsCharBase && c < kVormOsCharBase + 0x80 && VormIsOsOnlyChar(c - kVormOsCharBase)) {
      out.push_back(static_cast<char>(c - kVormOsCharBase));
    } else if (static_cast<std::uint32_t>(c) < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      char buf[4];
      out.append(buf, EncodeUtf8(static_cast<std::uint32_t>(c), buf));
    }
  }
  return out;
}

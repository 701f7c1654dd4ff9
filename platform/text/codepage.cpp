// MultiByteToWideChar / WideCharToMultiByte over the layer's UTF-8 codec (see codepage.h).
#include <cstring>
#include <cwchar>

#include <vorm/platform/codepage.h>
#include <vorm/platform/kernel.h>

#include "platform/kernel/last_error.h"
#include "platform/text/utf8_codec.h"

namespace {

using vorm_text_details::DecodeUtf8;
using vorm_text_details::EncodeUtf8;
using vorm_text_details::kEscapeBase;
using VormLastError_details::Fail;

bool Utf8Page(UINT codePage) {
  return codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_THREAD_ACP || codePage == CP_UTF8;
}

// Characters UTF-8 cannot carry; the escapes U+DC80..U+DCFF stand for raw bytes and pass.
bool Unencodable(wchar_t c) {
  const auto u = static_cast<std::uint32_t>(c);
  if (u >= kEscapeBase + 0x80 && u <= kEscapeBase + 0xFF) return false;
  return (u >= 0xD800 && u <= 0xDFFF) || u > 0x10FFFF;
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int count, wchar_t* wide, int wideSize) {
  if (!Utf8Page(codePage) || !text || count == 0 || count < -1 || wideSize < 0 || (!wide && wideSize > 0))
    return Fail(ERROR_INVALID_PARAMETER, 0);
  if (flags & ~(MB_PRECOMPOSED | MB_ERR_INVALID_CHARS)) return Fail(ERROR_INVALID_FLAGS, 0);
  const size_t length = count == -1 ? std::strlen(text) + 1 : static_cast<size_t>(count);
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  size_t done = 0;
  int written = 0;
  while (done < length) {
    std::uint32_t c = 0;
    done += DecodeUtf8(p + done, length - done, c);
    if ((flags & MB_ERR_INVALID_CHARS) && c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF)
      return Fail(ERROR_NO_UNICODE_TRANSLATION, 0);
    if (wideSize > 0) {
      if (written == wideSize) return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
      wide[written] = static_cast<wchar_t>(c);
    }
    ++written;
  }
  return written;
}

int WideCharToMultiByte(UINT codePage, DWORD flags, const wchar_t* wide, int count, char* text, int textSize,
                        const char* defaultChar, BOOL* usedDefaultChar) {
  if (!Utf8Page(codePage) || !wide || count == 0 || count < -1 || textSize < 0 || (!text && textSize > 0) ||
      defaultChar || (usedDefaultChar && codePage == CP_UTF8))
    return Fail(ERROR_INVALID_PARAMETER, 0);
  if (flags & ~(WC_ERR_INVALID_CHARS | WC_NO_BEST_FIT_CHARS)) return Fail(ERROR_INVALID_FLAGS, 0);
  const size_t length = count == -1 ? std::wcslen(wide) + 1 : static_cast<size_t>(count);
  bool replaced = false;
  int written = 0;
  for (size_t i = 0; i < length; ++i) {
    if (Unencodable(wide[i])) {
      if (flags & WC_ERR_INVALID_CHARS) return Fail(ERROR_NO_UNICODE_TRANSLATION, 0);
      replaced = true;
    }
    char bytes[4];
    const size_t n = EncodeUtf8(static_cast<std::uint32_t>(wide[i]), bytes);
    if (textSize > 0) {
      if (static_cast<size_t>(textSize - written) < n) return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
      std::memcpy(text + written, bytes, n);
    }
    written += static_cast<int>(n);
  }
  if (usedDefaultChar) *usedDefaultChar = replaced ? TRUE : FALSE;
  return written;
}

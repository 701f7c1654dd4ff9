// FormatMessageW on a caller's text with an argument array. The first byte chooses the flags
// (inserts or not, line width, allocated or caller's buffer), the rest is the message as UTF-8.
// Every array entry points at a string, so whichever conversion an insert names, reading it is
// defined. Checks: a failure sets the last error and hands out nothing; a success is the same
// text in an allocated buffer and in a caller's buffer of exactly its size, fails in one a
// character shorter, and keeps within the platform's message size.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include <vorm/platform/kernel.h>
#include <vorm/platform/text.h>

#include "fuzz/fuzz_check.h"

namespace {

constexpr DWORD kSentinel = 0xC0FFEE;

const wchar_t* const kInsertTexts[] = {L"",
                                       L"text",
                                       L"%1 is not read again",
                                       L"\u00E9\U0001F600\xDCFF",
                                       L"line\r\nbreak",
                                       L"a longer insert text of some forty chars"};

struct Result {
  DWORD length;
  DWORD error;
  std::wstring text;
};

Result Format(DWORD flags, const std::wstring& message, const DWORD_PTR* args, DWORD size) {
  Result r{};
  SetLastError(kSentinel);
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    wchar_t* block = nullptr;
    r.length = FormatMessageW(flags, message.c_str(), 0, 0, reinterpret_cast<LPWSTR>(&block), size,
                              reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(args)));
    r.error = GetLastError();
    if (r.error != kSentinel) {
      FUZZ_CHECK(r.length == 0 && block == nullptr);
    } else {
      FUZZ_CHECK(block != nullptr && block[r.length] == L'\0');
      r.text.assign(block, r.length);
      LocalFree(block);
    }
    return r;
  }
  // Exactly `size` characters, so a write past them is caught.
  std::unique_ptr<wchar_t[]> buffer(new wchar_t[size ? size : 1]);
  r.length = FormatMessageW(flags, message.c_str(), 0, 0, buffer.get(), size,
                            reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(args)));
  r.error = GetLastError();
  if (r.error == kSentinel) {
    FUZZ_CHECK(r.length < size && buffer[r.length] == L'\0');
    r.text.assign(buffer.get(), r.length);
  } else {
    FUZZ_CHECK(r.length == 0);
  }
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t choice = data[0];
  DWORD flags = FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY;
  if (choice & 1) flags |= FORMAT_MESSAGE_IGNORE_INSERTS;
  if (choice & 2)
    flags |= FORMAT_MESSAGE_MAX_WIDTH_MASK;
  else if (choice & 4)
    flags |= choice >> 3;  // a line width
  const std::wstring message = VormFromUtf8(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
  DWORD_PTR args[99];
  for (size_t i = 0; i < std::size(args); ++i) {
    args[i] = reinterpret_cast<DWORD_PTR>(kInsertTexts[(i + choice) % std::size(kInsertTexts)]);
  }

  const Result allocated = Format(flags | FORMAT_MESSAGE_ALLOCATE_BUFFER, message, args, 0);
  if (allocated.error != kSentinel) {
    FUZZ_CHECK(allocated.error != ERROR_SUCCESS);
    // A caller's buffer fails the same way (a short one may fail for its size first).
    const Result own = Format(flags, message, args, 64);
    FUZZ_CHECK(own.error == allocated.error || own.error == ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  FUZZ_CHECK(allocated.length < 65536);
  const Result exact = Format(flags, message, args, allocated.length + 1);
  FUZZ_CHECK(exact.error == kSentinel && exact.text == allocated.text);
  const Result shorter = Format(flags, message, args, allocated.length);
  FUZZ_CHECK(shorter.error == ERROR_INSUFFICIENT_BUFFER);
  if (flags & FORMAT_MESSAGE_IGNORE_INSERTS) {
    // The arguments are not read at all.
    FUZZ_CHECK(Format(flags | FORMAT_MESSAGE_ALLOCATE_BUFFER, message, nullptr, 0).text == allocated.text);
  }
  return 0;
}

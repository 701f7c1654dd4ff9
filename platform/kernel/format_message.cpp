// FormatMessageW: the system message table and the message-text formatter (escapes,
// inserts, line-width handling) as the platform documents them.
#include <cstdarg>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <vorm/platform/kernel.h>
#include <vorm/platform/text.h>

#include "platform/kernel/last_error.h"

namespace {

struct SystemMessage {
  DWORD id;
  const wchar_t* text;
};

// The English texts of every code the layer produces, and the generic HRESULTs. Texts end
// with the line break the platform's message compiler puts after each message.
// HRESULT_FROM_WIN32 values are found through their Win32 code (see LookupSystem).
constexpr SystemMessage kSystemMessages[] = {
    {0, L"The operation completed successfully.\r\n"},
    {1, L"Incorrect function.\r\n"},
    {2, L"The system cannot find the file specified.\r\n"},
    {3, L"The system cannot find the path specified.\r\n"},
    {4, L"The system cannot open the file.\r\n"},
    {5, L"Access is denied.\r\n"},
    {6, L"The handle is invalid.\r\n"},
    {8, L"Not enough memory resources are available to process this command.\r\n"},
    {13, L"The data is invalid.\r\n"},
    {14, L"Not enough memory resources are available to complete this operation.\r\n"},
    {15, L"The system cannot find the drive specified.\r\n"},
    {16, L"The directory cannot be removed.\r\n"},
    {17, L"The system cannot move the file to a different disk drive.\r\n"},
    {18, L"There are no more files.\r\n"},
    {19, L"The media is write protected.\r\n"},
    {21, L"The device is not ready.\r\n"},
    {25, L"The drive cannot locate a specific area or track on the disk.\r\n"},
    {29, L"The system cannot write to the specified device.\r\n"},
    {30, L"The system cannot read from the specified device.\r\n"},
    {31, L"A device attached to the system is not functioning.\r\n"},
    {32, L"The process cannot access the file because it is being used by another process.\r\n"},
    {33, L"The process cannot access the file because another process has locked a portion of the file.\r\n"},
    {38, L"Reached the end of the file.\r\n"},
    {39, L"The disk is full.\r\n"},
    {50, L"The request is not supported.\r\n"},
    {80, L"The file exists.\r\n"},
    {82, L"The directory or file cannot be created.\r\n"},
    {87, L"The parameter is incorrect.\r\n"},
    {109, L"The pipe has been ended.\r\n"},
    {111, L"The file name is too long.\r\n"},
    {112, L"There is not enough space on the disk.\r\n"},
    {120, L"This function is not supported on this system.\r\n"},
    {122, L"The data area passed to a system call is too small.\r\n"},
    {123, L"The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {126, L"The specified module could not be found.\r\n"},
    {131, L"An attempt was made to move the file pointer before the beginning of the file.\r\n"},
    {145, L"The directory is not empty.\r\n"},
    {161, L"The specified path is invalid.\r\n"},
    {170, L"The requested resource is in use.\r\n"},
    {183, L"Cannot create a file when that file already exists.\r\n"},
    {206, L"The filename or extension is too long.\r\n"},
    {234, L"More data is available.\r\n"},
    {259, L"No more data is available.\r\n"},
    {267, L"The directory name is invalid.\r\n"},
    {288, L"Attempt to release mutex not owned by caller.\r\n"},
    {317, L"The system cannot find message text for message number 0x%1 in the message file for %2.\r\n"},
    {995, L"The I/O operation has been aborted because of either a thread exit or an application request.\r\n"},
    {998, L"Invalid access to memory location.\r\n"},
    {1004, L"Invalid flags.\r\n"},
    {1009, L"The configuration registry database is corrupt.\r\n"},
    {1010, L"The configuration registry key is invalid.\r\n"},
    {1011, L"The configuration registry key could not be opened.\r\n"},
    {1012, L"The configuration registry key could not be read.\r\n"},
    {1013, L"The configuration registry key could not be written.\r\n"},
    {1015,
     L"The registry is corrupted. The structure of one of the files containing registry data is corrupted, "
     L"or the system's memory image of the file is corrupted, or the file could not be recovered because the "
     L"alternate copy or log was absent or corrupted.\r\n"},
    {1018, L"Illegal operation attempted on a registry key that has been marked for deletion.\r\n"},
    {1158, L"Invalid message box style.\r\n"},
    {1400, L"Invalid window handle.\r\n"},
    {1407, L"Cannot find window class.\r\n"},
    {1410, L"Class already exists.\r\n"},
    {1411, L"Class does not exist.\r\n"},
    {1412, L"Class still has open windows.\r\n"},
    {1444, L"Invalid thread identifier.\r\n"},
    {1460, L"This operation returned because the timeout period expired.\r\n"},
    {1815, L"The specified resource language ID cannot be found in the image file.\r\n"},
    {1816, L"Not enough quota is available to process this command.\r\n"},
    {1921, L"The name of the file cannot be resolved by the system.\r\n"},
    {4390, L"The file or directory is not a reparse point.\r\n"},
    // Generic COM results.
    {0x80004001, L"Not implemented\r\n"},
    {0x80004002, L"No such interface supported\r\n"},
    {0x80004003, L"Invalid pointer\r\n"},
    {0x80004004, L"Operation aborted\r\n"},
    {0x80004005, L"Unspecified error\r\n"},
    {0x8000FFFF, L"Catastrophic failure\r\n"},
};

const wchar_t* LookupSystem(DWORD id) {
  // A failure HRESULT of FACILITY_WIN32 carries the text of its Win32 code.
  if ((id & 0xFFFF0000u) == 0x80070000u) id &= 0xFFFFu;
  for (const SystemMessage& m : kSystemMessages) {
    if (m.id == id) return m.text;
  }
  return nullptr;
}

bool LanguageSupported(DWORD languageId) {
  if (languageId == 0) return true;
  if (languageId > 0xFFFF) return false;
  const WORD primary = PRIMARYLANGID(static_cast<WORD>(languageId));
  return primary == LANG_NEUTRAL || primary == LANG_ENGLISH;
}

// One insert's printf directive, split into the parts that decide the argument type.
struct InsertSpec {
  std::wstring conversion;  // "%" + flags/width/precision/size/conversion, ready for VormFormat
  enum Kind { kWide, kNarrow, kChar, kInt32, kInt64, kPointer, kBad } kind = kWide;
};

// The body must be exactly one directive, [flags][width][.precision][size]conversion, and
// its size decides the argument's type the way the formatter reads it (see text.h): an
// argument read as one type and formatted as another would be undefined. '*' is refused, as
// are floating point and %n.
InsertSpec ParseSpec(std::wstring_view body) {
  InsertSpec r;
  r.conversion = L"%";
  r.conversion.append(body);
  r.kind = InsertSpec::kBad;
  const auto isDigit = [](wchar_t c) { return c >= L'0' && c <= L'9'; };
  size_t i = 0;
  while (i < body.size() && std::wstring_view(L"-+ #0").find(body[i]) != std::wstring_view::npos) ++i;
  while (i < body.size() && isDigit(body[i])) ++i;
  if (i < body.size() && body[i] == L'.') {
    ++i;
    while (i < body.size() && isDigit(body[i])) ++i;
  }
  std::wstring_view size;
  for (std::wstring_view s : {L"I64", L"I32", L"hh", L"ll", L"h", L"l", L"L", L"w", L"z", L"t", L"j", L"I"}) {
    if (body.substr(i, s.size()) == s) {
      size = s;
      break;
    }
  }
  i += size.size();
  if (i + 1 != body.size()) return r;
  const bool is64 =
      size == L"ll" || size == L"I64" || size == L"L" || size == L"z" || size == L"t" || size == L"j" || size == L"I";
  switch (body[i]) {
    case L's':
    case L'S':
      r.kind =
          size == L"h" || (body[i] == L'S' && size != L"l" && size != L"w") ? InsertSpec::kNarrow : InsertSpec::kWide;
      break;
    case L'c':
    case L'C': r.kind = InsertSpec::kChar; break;
    case L'd':
    case L'i':
    case L'u':
    case L'x':
    case L'X':
    case L'o': r.kind = is64 ? InsertSpec::kInt64 : InsertSpec::kInt32; break;
    case L'p': r.kind = InsertSpec::kPointer; break;
    default: break;
  }
  return r;
}

// The argument of one insert, read once.
struct InsertValue {
  bool present = false;
  DWORD_PTR bits = 0;    // integers, characters, pointers, strings (as pointers)
  long long wide64 = 0;  // 64-bit integers read from a va_list
};

// The longest message: the platform's 128K bytes of UTF-16, counted here in characters.
constexpr size_t kMaxMessageLength = 65535;

// Appends one formatted insert to `out`, measured first so that no text beyond the message
// limit is ever made. Returns the error, ERROR_SUCCESS when appended.
template <class T>
DWORD AppendFormatted(std::wstring& out, const std::wstring& conversion, T value) {
  const int needed = _snwprintf(nullptr, 0, conversion.c_str(), value);
  if (needed < 0) return ERROR_INVALID_PARAMETER;  // a field the formatter refuses
  if (out.size() + static_cast<size_t>(needed) > kMaxMessageLength) return ERROR_MORE_DATA;
  out += VormFormat(conversion.c_str(), value);
  return ERROR_SUCCESS;
}

DWORD AppendInsert(std::wstring& out, const InsertSpec& conversion, const InsertValue& v) {
  switch (conversion.kind) {
    case InsertSpec::kWide:
      return AppendFormatted(out, conversion.conversion, reinterpret_cast<const wchar_t*>(v.bits));
    case InsertSpec::kNarrow: return AppendFormatted(out, conversion.conversion, reinterpret_cast<const char*>(v.bits));
    case InsertSpec::kChar:
    case InsertSpec::kInt32: return AppendFormatted(out, conversion.conversion, static_cast<int>(v.bits));
    case InsertSpec::kInt64: return AppendFormatted(out, conversion.conversion, v.wide64);
    case InsertSpec::kPointer: return AppendFormatted(out, conversion.conversion, reinterpret_cast<void*>(v.bits));
    case InsertSpec::kBad: break;
  }
  return ERROR_SUCCESS;
}

struct InsertRef {
  unsigned number;
  InsertSpec conversion;
};

// Reads "%<digits>[!conversion!]" at text[i] (text[i] is the first digit). Returns false for a
// malformed conversion (no closing '!').
bool ReadInsert(std::wstring_view text, size_t& i, InsertRef& out) {
  unsigned n = static_cast<unsigned>(text[i] - L'0');
  ++i;
  if (i < text.size() && text[i] >= L'0' && text[i] <= L'9') {
    n = n * 10 + static_cast<unsigned>(text[i] - L'0');
    ++i;
  }
  out.number = n;
  if (i < text.size() && text[i] == L'!') {
    const size_t close = text.find(L'!', i + 1);
    if (close == std::wstring_view::npos) return false;
    out.conversion = ParseSpec(text.substr(i + 1, close - i - 1));
    i = close + 1;
  } else {
    out.conversion = ParseSpec(L"s");
  }
  return true;
}

class MessageFormatter {
 public:
  MessageFormatter(DWORD flags, va_list* args) : flags_(flags), args_(args) {}

  // Formats `text` into out_; false with the error code in error_ on failure.
  bool Run(std::wstring_view text) {
    const bool ignoreInserts = (flags_ & FORMAT_MESSAGE_IGNORE_INSERTS) != 0;
    if (!ignoreInserts && !CollectArguments(text)) return false;
    const bool joinLines = (flags_ & FORMAT_MESSAGE_MAX_WIDTH_MASK) == FORMAT_MESSAGE_MAX_WIDTH_MASK;
    for (size_t i = 0; i < text.size();) {
      if (out_.size() > kMaxMessageLength) return Fail(ERROR_MORE_DATA);
      const wchar_t c = text[i];
      if (c == L'\r' || c == L'\n') {
        // A line break of the text: kept as written, or one blank when lines are joined.
        const size_t len = (c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') ? 2 : 1;
        if (joinLines)
          out_.push_back(L' ');
        else
          out_.append(text.substr(i, len));
        i += len;
        continue;
      }
      if (c != L'%' || i + 1 >= text.size()) {
        out_.push_back(c);
        ++i;
        continue;
      }
      const wchar_t e = text[i + 1];
      if (e >= L'1' && e <= L'9') {
        const size_t start = i;
        ++i;
        InsertRef ref;
        if (!ReadInsert(text, i, ref)) return Fail(ERROR_INVALID_PARAMETER);
        if (ignoreInserts) {
          out_.append(text.substr(start, i - start));
        } else if (const DWORD error = AppendInsert(out_, ref.conversion, values_[ref.number])) {
          return Fail(error);
        }
        continue;
      }
      i += 2;
      switch (e) {
        case L'0': return EndText();  // here, without its closing line break
        case L'n': out_.append(L"\r\n"); break;
        case L'r': out_.push_back(L'\r'); break;
        case L't': out_.push_back(L'\t'); break;
        default: out_.push_back(e);  // %%, "% ", %., %! and anything else: the character itself
      }
    }
    return EndText();
  }

  std::wstring& text() { return out_; }
  DWORD error() const { return error_; }

 private:
  bool Fail(DWORD code) {
    error_ = code;
    return false;
  }

  bool EndText() { return out_.size() <= kMaxMessageLength || Fail(ERROR_MORE_DATA); }

  // Reads the value of every insert the text names, before any output is made.
  bool CollectArguments(std::wstring_view text) {
    std::vector<InsertRef> refs;
    unsigned highest = 0;
    for (size_t i = 0; i + 1 < text.size();) {
      if (text[i] != L'%') {
        ++i;
        continue;
      }
      const wchar_t e = text[i + 1];
      if (e < L'1' || e > L'9') {
        i += 2;
        continue;
      }
      ++i;
      InsertRef ref;
      if (!ReadInsert(text, i, ref)) return Fail(ERROR_INVALID_PARAMETER);
      if (ref.conversion.kind == InsertSpec::kBad) return Fail(ERROR_INVALID_PARAMETER);
      if (ref.number > highest) highest = ref.number;
      refs.push_back(std::move(ref));
    }
    values_.assign(highest + 1, InsertValue{});
    if (highest == 0) return true;
    if (!args_) return Fail(ERROR_INVALID_PARAMETER);
    if (flags_ & FORMAT_MESSAGE_ARGUMENT_ARRAY) {
      const DWORD_PTR* array = reinterpret_cast<const DWORD_PTR*>(args_);
      for (unsigned n = 1; n <= highest; ++n) {
        values_[n].bits = array[n - 1];
        values_[n].wide64 = static_cast<long long>(array[n - 1]);
        values_[n].present = true;
      }
      return true;
    }
    // A va_list is read in insert-number order with the type of each insert's conversion; every
    // number up to the highest must be used so that the reading stays in step.
    std::vector<const InsertSpec*> specOf(highest + 1, nullptr);
    for (const InsertRef& r : refs) {
      if (!specOf[r.number]) specOf[r.number] = &r.conversion;
    }
    for (unsigned n = 1; n <= highest; ++n) {
      if (!specOf[n]) return Fail(ERROR_INVALID_PARAMETER);
      InsertValue& v = values_[n];
      switch (specOf[n]->kind) {
        case InsertSpec::kWide: v.bits = reinterpret_cast<DWORD_PTR>(va_arg(*args_, const wchar_t*)); break;
        case InsertSpec::kNarrow: v.bits = reinterpret_cast<DWORD_PTR>(va_arg(*args_, const char*)); break;
        case InsertSpec::kPointer: v.bits = reinterpret_cast<DWORD_PTR>(va_arg(*args_, void*)); break;
        case InsertSpec::kChar:
        case InsertSpec::kInt32: v.bits = static_cast<DWORD_PTR>(static_cast<unsigned>(va_arg(*args_, int))); break;
        case InsertSpec::kInt64: v.wide64 = va_arg(*args_, long long); break;
        case InsertSpec::kBad: return Fail(ERROR_INVALID_PARAMETER);
      }
      v.present = true;
    }
    return true;
  }

  DWORD flags_;
  va_list* args_;
  std::vector<InsertValue> values_;
  std::wstring out_;
  DWORD error_ = ERROR_SUCCESS;
};

}  // namespace

DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPWSTR buffer, DWORD size,
                     va_list* arguments) {
  if (!buffer) return VormLastError_details::Fail(ERROR_INVALID_PARAMETER, DWORD{0});
  const bool fromString = (flags & FORMAT_MESSAGE_FROM_STRING) != 0;
  const bool fromSystem = (flags & FORMAT_MESSAGE_FROM_SYSTEM) != 0;
  const bool fromModule = (flags & FORMAT_MESSAGE_FROM_HMODULE) != 0;
  if (fromString && (fromSystem || fromModule)) return VormLastError_details::Fail(ERROR_INVALID_PARAMETER, DWORD{0});
  if (!fromString && !fromSystem && !fromModule) return VormLastError_details::Fail(ERROR_INVALID_PARAMETER, DWORD{0});

  std::wstring_view text;
  if (fromString) {
    if (!source) return VormLastError_details::Fail(ERROR_INVALID_PARAMETER, DWORD{0});
    text = static_cast<const wchar_t*>(source);
  } else {
    if (!LanguageSupported(languageId)) return VormLastError_details::Fail(ERROR_RESOURCE_LANG_NOT_FOUND, DWORD{0});
    const wchar_t* found = fromSystem ? LookupSystem(messageId) : nullptr;
    if (!found) return VormLastError_details::Fail(ERROR_MR_MID_NOT_FOUND, DWORD{0});
    text = found;
  }

  MessageFormatter formatter(flags, arguments);
  if (!formatter.Run(text)) return VormLastError_details::Fail(formatter.error(), DWORD{0});
  std::wstring& out = formatter.text();
  const size_t length = out.size();

  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    const size_t chars = length + 1 > size ? length + 1 : size;
    auto* block = static_cast<wchar_t*>(LocalAlloc(LMEM_ZEROINIT, chars * sizeof(wchar_t)));
    if (!block) return VormLastError_details::Fail(ERROR_NOT_ENOUGH_MEMORY, DWORD{0});
    std::memcpy(block, out.c_str(), (length + 1) * sizeof(wchar_t));
    *reinterpret_cast<wchar_t**>(buffer) = block;
  } else {
    if (length + 1 > size) return VormLastError_details::Fail(ERROR_INSUFFICIENT_BUFFER, DWORD{0});
    std::memcpy(buffer, out.c_str(), (length + 1) * sizeof(wchar_t));
  }
  return static_cast<DWORD>(length);
}

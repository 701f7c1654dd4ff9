// The COM task allocator and the text form of GUIDs.
#include <cstdlib>

#include <vorm/platform/com.h>

LPVOID CoTaskMemAlloc(SIZE_T bytes) { return std::malloc(bytes ? bytes : 1); }

LPVOID CoTaskMemRealloc(LPVOID block, SIZE_T bytes) { return std::realloc(block, bytes ? bytes : 1); }

void CoTaskMemFree(LPVOID block) { std::free(block); }

namespace {

constexpr int kGuidChars = 38;  // {8-4-4-4-12}

void PutHex(wchar_t*& out, unsigned long long value, int digits) {
  static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
  for (int i = digits - 1; i >= 0; --i) *out++ = kDigits[(value >> (4 * i)) & 0xF];
}

// Writes the 38 characters and the terminator.
void WriteGuid(REFGUID id, wchar_t* out) {
  *out++ = L'{';
  PutHex(out, id.Data1, 8);
  *out++ = L'-';
  PutHex(out, id.Data2, 4);
  *out++ = L'-';
  PutHex(out, id.Data3, 4);
  *out++ = L'-';
  PutHex(out, id.Data4[0], 2);
  PutHex(out, id.Data4[1], 2);
  *out++ = L'-';
  for (int i = 2; i < 8; ++i) PutHex(out, id.Data4[i], 2);
  *out++ = L'}';
  *out = L'\0';
}

}  // namespace

int StringFromGUID2(REFGUID id, LPOLESTR buffer, int capacity) {
  if (!buffer || capacity < kGuidChars + 1) return 0;
  WriteGuid(id, buffer);
  return kGuidChars + 1;
}

HRESULT StringFromCLSID(REFCLSID id, LPOLESTR* text) {
  if (!text) return E_INVALIDARG;
  *text = static_cast<LPOLESTR>(CoTaskMemAlloc((kGuidChars + 1) * sizeof(wchar_t)));
  if (!*text) return E_OUTOFMEMORY;
  WriteGuid(id, *text);
  return S_OK;
}

HRESULT StringFromIID(REFIID id, LPOLESTR* text) { return StringFromCLSID(id, text); }

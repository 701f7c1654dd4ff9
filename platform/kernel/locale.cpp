// GetLocaleInfoW / SetLocaleInfoW for the number separators.
#include <langinfo.h>
#include <locale.h>

#include <cwchar>
#include <map>
#include <mutex>
#include <string>

#include <vorm/platform/kernel.h>
#include <vorm/platform/nls.h>
#include <vorm/platform/text.h>

#include "platform/kernel/last_error.h"

namespace {

using VormLastError_details::Fail;

struct Separators {
  std::wstring decimal = L".";
  std::wstring thousand = L",";
};

// The environment's numeric conventions, read once through a locale object of its own so
// that the process-wide locale stays untouched.
const Separators& EnvironmentSeparators() {
  static const Separators separators = [] {
    Separators s;
    locale_t loc = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
    if (!loc) return s;
    const char* radix = nl_langinfo_l(RADIXCHAR, loc);
    const char* group = nl_langinfo_l(THOUSEP, loc);
    if (radix && *radix) s.decimal = VormFromUtf8(radix);
    if (group && *group) s.thousand = VormFromUtf8(group);
    freelocale(loc);
    return s;
  }();
  return separators;
}

std::mutex g_mutex;
std::map<LCTYPE, std::wstring> g_overrides;  // guarded by g_mutex

bool Lookup(LCID locale, LCTYPE item, bool useOverride, std::wstring& value) {
  const bool user = locale == LOCALE_USER_DEFAULT || locale == LOCALE_SYSTEM_DEFAULT || locale == 0;
  if (!user && locale != LOCALE_INVARIANT && locale != LOCALE_EN_US) return false;
  if (user && useOverride) {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_overrides.find(item);
    if (it != g_overrides.end()) {
      value = it->second;
      return true;
    }
  }
  Separators s = user ? EnvironmentSeparators() : Separators();
  switch (item) {
    case LOCALE_SDECIMAL: value = s.decimal; return true;
    case LOCALE_STHOUSAND: value = s.thousand; return true;
    case LOCALE_SLIST: value = s.decimal == L"," ? L";" : L","; return true;
    case LOCALE_SPOSITIVESIGN: value.clear(); return true;
    case LOCALE_SNEGATIVESIGN: value = L"-"; return true;
    default: return false;
  }
}

}  // namespace

int GetLocaleInfoW(LCID locale, LCTYPE type, wchar_t* data, int size) {
  if (size < 0 || (!data && size > 0)) return Fail(ERROR_INVALID_PARAMETER, 0);
  if (type & ~(LOCALE_NOUSEROVERRIDE | 0xFFFF)) return Fail(ERROR_INVALID_FLAGS, 0);
  std::wstring value;
  if (!Lookup(locale, type & 0xFFFF, (type & LOCALE_NOUSEROVERRIDE) == 0, value))
    return Fail(ERROR_INVALID_PARAMETER, 0);
  const int needed = static_cast<int>(value.size()) + 1;
  if (size == 0) return needed;
  if (size < needed) return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
  std::wmemcpy(data, value.c_str(), value.size() + 1);
  return needed;
}

BOOL SetLocaleInfoW(LCID locale, LCTYPE type, const wchar_t* value) {
  if ((locale != LOCALE_USER_DEFAULT && locale != LOCALE_SYSTEM_DEFAULT) || !value || std::wcslen(value) > 3 ||
      (type != LOCALE_SDECIMAL && type != LOCALE_STHOUSAND && type != LOCALE_SLIST))
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
  std::lock_guard<std::mutex> lock(g_mutex);
  g_overrides[type] = value;
  return TRUE;
}

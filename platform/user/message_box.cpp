// MessageBoxW through its provider; the default prints the box to standard error and
// answers with the default button.
#include <unistd.h>

#include <cerrno>
#include <string>

#include <vorm/platform/kernel.h>
#include <vorm/platform/text.h>
#include <vorm/platform/user.h>

#include "platform/kernel/last_error.h"
#include "platform/user/provider_slot.h"
#include "platform/user/write_all.h"

using VormUser_details::WriteAll;

namespace {

struct ButtonSet {
  int count;
  int answers[3];
  const wchar_t* names;
};

// Indexed by the button code (type & MB_TYPEMASK).
constexpr ButtonSet kButtonSets[] = {
    {1, {IDOK}, L"OK"},
    {2, {IDOK, IDCANCEL}, L"OK/Cancel"},
    {3, {IDABORT, IDRETRY, IDIGNORE}, L"Abort/Retry/Ignore"},
    {3, {IDYES, IDNO, IDCANCEL}, L"Yes/No/Cancel"},
    {2, {IDYES, IDNO}, L"Yes/No"},
    {2, {IDRETRY, IDCANCEL}, L"Retry/Cancel"},
    {3, {IDCANCEL, IDTRYAGAIN, IDCONTINUE}, L"Cancel/Try Again/Continue"},
};
constexpr UINT kButtonSetCount = sizeof(kButtonSets) / sizeof(kButtonSets[0]);

const wchar_t* AnswerName(int answer) {
  switch (answer) {
    case IDOK: return L"OK";
    case IDCANCEL: return L"Cancel";
    case IDABORT: return L"Abort";
    case IDRETRY: return L"Retry";
    case IDIGNORE: return L"Ignore";
    case IDYES: return L"Yes";
    case IDNO: return L"No";
    case IDTRYAGAIN: return L"Try Again";
    case IDCONTINUE: return L"Continue";
    default: return L"?";
  }
}

class StandardErrorMessageBox final : public VormMessageBoxProvider {
 public:
  int Show(HWND, const wchar_t* text, const wchar_t* caption, UINT type) override {
    const int answer = VormDefaultMessageBoxAnswer(type);
    std::wstring out = L"[message box] ";
    out += caption;
    out += L" (";
    out += kButtonSets[type & MB_TYPEMASK].names;
    out += L")\n";
    out += text;
    if (out.empty() || out.back() != L'\n') out += L'\n';
    out += L"[message box] answered ";
    out += AnswerName(answer);
    out += L'\n';
    WriteAll(2, VormToUtf8(out));
    return answer;
  }
};

using Slot = vorm_user_details::ProviderSlot<VormMessageBoxProvider, StandardErrorMessageBox>;

// Never destroyed, so boxes shown while the process exits still find a provider.
Slot& TheSlot() {
  static Slot* slot = new Slot;
  return *slot;
}

}  // namespace

int VormDefaultMessageBoxAnswer(UINT type) {
  const UINT buttons = type & MB_TYPEMASK;
  if (buttons >= kButtonSetCount) return 0;
  const ButtonSet& set = kButtonSets[buttons];
  const int def = static_cast<int>((type & MB_DEFMASK) >> 8);
  return set.answers[def < set.count ? def : 0];
}

int MessageBoxW(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type) {
  if ((type & MB_TYPEMASK) >= kButtonSetCount) return VormLastError_details::Fail(ERROR_INVALID_MSGBOX_STYLE, 0);
  return TheSlot().Get()->Show(owner, text ? text : L"", caption ? caption : L"Error", type);
}

std::shared_ptr<VormMessageBoxProvider> VormSetMessageBoxProvider(std::shared_ptr<VormMessageBoxProvider> provider) {
  return TheSlot().Set(std::move(provider));
}

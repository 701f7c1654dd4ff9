#include <cstdlib>
#include <iterator>
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <vorm/platform/kernel.h>
#include <vorm/platform/user.h>

#include "support/temp_tree.h"

namespace {

TEST(MessageBox, DefaultAnswerIsTheDefaultButton) {
  const struct {
    UINT type;
    int answer;
  } cases[] = {
      {MB_OKCANCEL | MB_ICONERROR, IDOK},
      {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
      {MB_ABORTRETRYIGNORE | MB_DEFBUTTON3, IDIGNORE},
      {MB_YESNOCANCEL, IDYES},
      {MB_YESNO | MB_DEFBUTTON2, IDNO},
      {MB_RETRYCANCEL, IDRETRY},
      {MB_CANCELTRYCONTINUE | MB_DEFBUTTON3, IDCONTINUE},
      {MB_OK | MB_DEFBUTTON3, IDOK},
      {MB_YESNO | MB_DEFBUTTON4, IDYES},  // beyond the buttons: the first
      {7, 0},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(VormDefaultMessageBoxAnswer(cases[i].type), cases[i].answer) << "case " << i;
  }
}

class RecordingBox : public VormMessageBoxProvider {
 public:
  int Show(HWND, const wchar_t* text, const wchar_t* caption, UINT) override {
    last = std::wstring(text) + L"|" + caption;
    return IDRETRY;
  }
  std::wstring last;
};

TEST(MessageBox, ArgumentsReachTheInstalledProvider) {
  auto box = std::make_shared<RecordingBox>();
  auto previous = VormSetMessageBoxProvider(box);
  EXPECT_EQ(MessageBoxW(nullptr, nullptr, nullptr, MB_RETRYCANCEL), IDRETRY);
  EXPECT_EQ(box->last, L"|Error");
  SetLastError(vorm_test::kErrorSentinel);
  EXPECT_EQ(MessageBoxW(nullptr, L"t", L"c", 9), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_MSGBOX_STYLE);
  EXPECT_EQ(VormSetMessageBoxProvider(previous), box);
  // The default answers without a prompt (its text goes to standard error).
  VormSetMessageBoxProvider(nullptr);
  EXPECT_EQ(MessageBoxW(nullptr, L"default provider", L"test", MB_YESNO), IDYES);
  VormSetMessageBoxProvider(previous);
}

class ShiftOnly : public VormKeyStateProvider {
 public:
  SHORT KeyState(int key) override { return key == VK_SHIFT ? static_cast<SHORT>(0x8000) : 0; }
};

TEST(KeyState, NoKeyDownByDefault) {
  auto previous = VormSetKeyStateProvider(nullptr);
  EXPECT_EQ(GetAsyncKeyState(VK_SHIFT), 0);
  VormSetKeyStateProvider(std::make_shared<ShiftOnly>());
  EXPECT_LT(GetAsyncKeyState(VK_SHIFT), 0);
  EXPECT_EQ(GetAsyncKeyState(VK_CONTROL), 0);
  EXPECT_EQ(GetAsyncKeyState(0), 0);
  EXPECT_EQ(GetAsyncKeyState(VK_SHIFT + 0x10000), 0);
  VormSetKeyStateProvider(previous);
}

TEST(DebugOutput, DefaultFollowsTheEnvironment) {
  vorm_test::TempTree tree;
  auto previous = VormSetDebugOutputProvider(nullptr);
  const std::string path = (tree.root() / "debug.txt").string();
  setenv("VORM_DEBUG_OUTPUT", path.c_str(), 1);
  OutputDebugStringW(L"caf\u00e9 ");
  OutputDebugStringA("line\n");
  OutputDebugStringW(nullptr);
  setenv("VORM_DEBUG_OUTPUT", "OFF", 1);
  OutputDebugStringW(L"dropped");
  setenv("VORM_DEBUG_OUTPUT", path.c_str(), 1);
  OutputDebugStringW(L"again");
  unsetenv("VORM_DEBUG_OUTPUT");
  VormSetDebugOutputProvider(previous);
  EXPECT_EQ(tree.ReadFile("debug.txt"), "caf\xc3\xa9 line\nagain");
}

}  // namespace

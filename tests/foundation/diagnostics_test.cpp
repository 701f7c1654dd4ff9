#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <deque>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <vorm/diagnostics.h>
#include <vorm/platform/kernel.h>
#include <vorm/platform/registry.h>
#include <vorm/platform/text.h>
#include <vorm/platform/user.h>

#include "support/temp_tree.h"

namespace {

// Records every debugger text, one entry per OutputDebugStringW call.
class CapturedOutput : public VormDebugOutputProvider {
 public:
  void Write(const wchar_t* text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    texts_.emplace_back(text);
  }
  std::vector<std::wstring> Texts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::wstring> texts_;
};

struct ShownBox {
  std::wstring text, caption;
  UINT type;
};

// Answers boxes from a script (IDOK when it runs out) and records what was shown.
class ScriptedBoxes : public VormMessageBoxProvider {
 public:
  int Show(HWND, const wchar_t* text, const wchar_t* caption, UINT type) override {
    std::lock_guard<std::mutex> lock(mutex_);
    shown.push_back({text, caption, type});
    const int a = answers.empty() ? IDOK : answers.front();
    if (!answers.empty()) answers.pop_front();
    return a;
  }
  std::mutex mutex_;
  std::deque<int> answers;
  std::vector<ShownBox> shown;
};

class ScriptedKeys : public VormKeyStateProvider {
 public:
  SHORT KeyState(int key) override { return key == VK_SHIFT && shiftDown ? static_cast<SHORT>(0x8000) : 0; }
  std::atomic<bool> shiftDown{false};
};

class DiagnosticsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    oldOutput_ = VormSetDebugOutputProvider(output_);
    oldBoxes_ = VormSetMessageBoxProvider(boxes_);
    oldKeys_ = VormSetKeyStateProvider(keys_);
  }
  void TearDown() override {
    VormSetDebugOutputProvider(oldOutput_);
    VormSetMessageBoxProvider(oldBoxes_);
    VormSetKeyStateProvider(oldKeys_);
  }

  std::wstring OnlyText() {
    const auto texts = output_->Texts();
    EXPECT_EQ(texts.size(), 1u);
    return texts.empty() ? std::wstring() : texts.back();
  }

  static std::wstring Tid() { return VormFormat(L"TID=%08X", static_cast<unsigned>(GetCurrentThreadId())); }

  std::shared_ptr<CapturedOutput> output_ = std::make_shared<CapturedOutput>();
  std::shared_ptr<ScriptedBoxes> boxes_ = std::make_shared<ScriptedBoxes>();
  std::shared_ptr<ScriptedKeys> keys_ = std::make_shared<ScriptedKeys>();

 private:
  std::shared_ptr<VormDebugOutputProvider> oldOutput_;
  std::shared_ptr<VormMessageBoxProvider> oldBoxes_;
  std::shared_ptr<VormKeyStateProvider> oldKeys_;
};

// An error object with a description (NULL leaves it unset).
IErrorInfo* MakeErrorInfo(const wchar_t* description) {
  ICreateErrorInfo* create = nullptr;
  EXPECT_EQ(CreateErrorInfo(&create), S_OK);
  if (description) create->SetDescription(const_cast<wchar_t*>(description));
  IErrorInfo* info = nullptr;
  EXPECT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
  create->Release();
  return info;
}

// --- LOG lines and debug text -------------------------------------------------------------

TEST_F(DiagnosticsTest, LogLineLayoutAroundTheThreadColumn) {
  // The header "<file>(7): LOG " is the file name plus 9 characters; the thread id starts at
  // column 98 while the header leaves room for it.
  const struct { size_t headerLength, fullStops; } cases[] = {{14, 84}, {97, 1}, {98, 0}, {99, 0}, {300, 0}};
  for (size_t i = 0; i < std::size(cases); ++i) {
    output_ = std::make_shared<CapturedOutput>();
    VormSetDebugOutputProvider(output_);
    const std::wstring file(cases[i].headerLength - 9, L'f');
    VormLog(file.c_str(), 7, L"x=%d %s", 5, L"done");
    const std::wstring header = file + L"(7): LOG ";
    EXPECT_EQ(OnlyText(), header + std::wstring(cases[i].fullStops, L'.') + Tid() + L" x=5 done\n") << "case " << i;
  }
}

TEST_F(DiagnosticsTest, LongTextsAreCutAtTheirBuffers) {
  const std::wstring longText(3000, L'm');
  VormLog(L"a.cpp", 1, L"%s", longText.c_str());
  VormDebugPrint(L"%s", longText.c_str());
  VormDebugPrint(L"%s", longText.substr(0, 2047).c_str());
  VormDebugPrint(L"n=%d", 42);
  const auto texts = output_->Texts();
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0].substr(111), std::wstring(1023, L'm') + L"\n");
  EXPECT_EQ(texts[1], std::wstring(2047, L'm'));
  EXPECT_EQ(texts[2], std::wstring(2047, L'm'));
  EXPECT_EQ(texts[3], L"n=42");  // no prefix, no line break
}

TEST_F(DiagnosticsTest, LogLinesOfThreadsStayWholeAndCarryTheirThread) {
  constexpr int kLines = 200;
  std::vector<std::wstring> tids(2);
  auto worker = [&](int n) {
    tids[n] = Tid();
    for (int i = 0; i < kLines; ++i) VormLog(L"t.cpp", n, L"line %d", i);
  };
  std::thread a(worker, 0), b(worker, 1);
  a.join();
  b.join();
  EXPECT_NE(tids[0], tids[1]);
  const auto texts = output_->Texts();
  ASSERT_EQ(texts.size(), 2u * kLines);
  for (const std::wstring& t : texts) {
    const int n = t[6] - L'0';  // "t.cpp(<n>): LOG "
    ASSERT_TRUE(n == 0 || n == 1) << VormToUtf8(t);
    EXPECT_EQ(t.substr(98, 12), tids[static_cast<size_t>(n)]);
    EXPECT_EQ(t.back(), L'\n');
  }
}

// --- Error texts and boxes ---------------------------------------------------------------

TEST_F(DiagnosticsTest, ErrorTextsPreferANonEmptyDescription) {
  EXPECT_EQ(VormSystemErrorText(ERROR_FILE_NOT_FOUND), L"The system cannot find the file specified.\r\n");
  EXPECT_EQ(VormSystemErrorText(0xDEAD1234), L"");
  EXPECT_EQ(VormComErrorText(_com_error(E_POINTER)), L"Invalid pointer\r\n");
  EXPECT_EQ(VormComErrorText(_com_error(E_FAIL, MakeErrorInfo(L"Node not found"))), L"Node not found");
  EXPECT_EQ(VormComErrorText(_com_error(E_FAIL, MakeErrorInfo(L""))), L"Unspecified error\r\n");
  EXPECT_EQ(VormComErrorText(_com_error(E_FAIL, MakeErrorInfo(nullptr))), L"Unspecified error\r\n");
  EXPECT_EQ(VormComErrorText(_com_error(static_cast<HRESULT>(0x8DEAD000))), L"");
}

TEST_F(DiagnosticsTest, SystemErrorBoxShowsTheTextAndPassesTheAnswerOn) {
  boxes_->answers = {IDCANCEL};
  EXPECT_EQ(VormSystemErrorBox(ERROR_ACCESS_DENIED), IDCANCEL);
  ASSERT_EQ(boxes_->shown.size(), 1u);
  EXPECT_EQ(boxes_->shown[0].text, L"Access is denied.\r\n");
  EXPECT_EQ(boxes_->shown[0].type, MB_OKCANCEL);
}

TEST_F(DiagnosticsTest, ComErrorBoxSuppressesASiteOnlyAfterShiftOk) {
  const _com_error error(E_FAIL, MakeErrorInfo(L"Load failed"));
  const struct {
    int line;
    bool shift;
    int answer, expected;
    bool boxShown;
  } steps[] = {
      {10, true, IDCANCEL, IDCANCEL, true},  // cancel never suppresses, with or without shift
      {10, false, IDOK, IDOK, true},         // OK without shift does not suppress
      {10, true, 0, 0, true},                // a failed box passes 0 on and adds nothing
      {10, true, IDOK, IDOK, true},          // shift+OK: from now on the site is quiet
      {10, false, IDCANCEL, IDOK, false},
      {10, true, IDCANCEL, IDOK, false},
      {11, false, IDCANCEL, IDCANCEL, true},  // same file, other line: still shown
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    const size_t before = boxes_->shown.size();
    keys_->shiftDown = steps[i].shift;
    boxes_->answers = {steps[i].answer};
    EXPECT_EQ(VormComErrorBox(error, L"suppress.cpp", steps[i].line), steps[i].expected) << "step " << i;
    ASSERT_EQ(boxes_->shown.size(), before + (steps[i].boxShown ? 1 : 0)) << "step " << i;
    if (!steps[i].boxShown) continue;
    EXPECT_EQ(boxes_->shown.back().text, L"Load failed") << "step " << i;
    EXPECT_EQ(boxes_->shown.back().caption, L"") << "step " << i;
    EXPECT_EQ(boxes_->shown.back().type, MB_OKCANCEL) << "step " << i;
  }
}

TEST_F(DiagnosticsTest, ComErrorBoxSitesAreSharedSafelyByThreads) {
  keys_->shiftDown = true;
  constexpr int kThreads = 4, kCalls = 50;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kCalls; ++i) VormComErrorBox(_com_error(E_FAIL), L"threads.cpp", (t * kCalls + i) % 20);
    });
  }
  for (std::thread& t : threads) t.join();
  // Every one of the 20 sites is suppressed now, whichever thread answered it first.
  const size_t shown = boxes_->shown.size();
  EXPECT_GE(shown, 20u);
  for (int line = 0; line < 20; ++line) EXPECT_EQ(VormComErrorBox(_com_error(E_FAIL), L"threads.cpp", line), IDOK);
  EXPECT_EQ(boxes_->shown.size(), shown);
}

// --- Registry --------------------------------------------------------------------------

TEST(ReadRegistryDword, ReadsAnyValueOfAtMostFourBytes) {
  vorm_test::TempTree tree;
  setenv("VORM_REGISTRY", (tree.root() / "registry.reg").c_str(), 1);
  const wchar_t* kKey = L"SOFTWARE\\Nolvane\\VOR\\VormHeapDebugFlags";
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const DWORD seven = 7;
  const ULONGLONG big = 1;
  const BYTE four[] = {1, 2, 3, 4}, two[] = {0xAA, 0xBB};
  const wchar_t on[] = L"on";
  ASSERT_EQ(RegSetValueExW(key, L"Dword", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&seven), 4), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, L"Binary4", 0, REG_BINARY, four, 4), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, L"Binary2", 0, REG_BINARY, two, 2), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, L"Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(on), sizeof(on)), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, L"Qword", 0, REG_QWORD, reinterpret_cast<const BYTE*>(&big), 8), ERROR_SUCCESS);
  RegCloseKey(key);
  const struct {
    const wchar_t *key, *name;
    BOOL ok;
    DWORD value;
  } cases[] = {
      // the buffer starts as 0xCCCCCCCC
      {kKey, L"Dword", TRUE, 7},
      {kKey, L"Binary4", TRUE, 0x04030201},
      {kKey, L"Binary2", TRUE, 0xCCCCBBAA},  // a shorter value fills only its bytes
      {kKey, L"Text", FALSE, 0xCCCCCCCC},    // REG_SZ of 12 bytes: too long
      {kKey, L"Qword", FALSE, 0xCCCCCCCC},
      {kKey, L"Missing", FALSE, 0xCCCCCCCC},
      {L"SOFTWARE\\Nolvane\\Missing", L"Dword", FALSE, 0xCCCCCCCC},
      {VormHeapDebugFlagNames[VormHeapDebugKey], L"dword", TRUE, 7},  // names are case-blind
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    DWORD value = 0xCCCCCCCC;
    EXPECT_EQ(VormReadRegistryDword(cases[i].key, cases[i].name, &value), cases[i].ok) << "case " << i;
    EXPECT_EQ(value, cases[i].value) << "case " << i;
  }
  EXPECT_FALSE(VormReadRegistryDword(kKey, L"Dword", nullptr));
  unsetenv("VORM_REGISTRY");
}

}  // namespace

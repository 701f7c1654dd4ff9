// The user-interface services a Linux process has no counterpart of: message boxes, the
// keyboard state and the debugger output. Each goes through a replaceable provider, a
// small interface with a default implementation; tests and host programs install their
// own (VormSet...Provider, safe from any thread; a call already running keeps using the
// provider it started with, which stays alive until that call returns).
//
// Defaults (no interactive prompt in a library):
// - MessageBoxW prints the caption, the text and the answer to standard error and answers
//   with the box's default button, as a user pressing Enter would: IDOK for MB_OK and
//   MB_OKCANCEL, IDYES for MB_YESNO and MB_YESNOCANCEL, IDABORT for MB_ABORTRETRYIGNORE,
//   IDRETRY for MB_RETRYCANCEL, IDCANCEL for MB_CANCELTRYCONTINUE; MB_DEFBUTTON2..4 pick
//   the second to fourth button (a number beyond the box's buttons picks the first).
// - GetAsyncKeyState: no key is down (0 for every key).
// - OutputDebugStringW writes the text as UTF-8 to standard error, unchanged (no line
//   break is added). The environment variable VORM_DEBUG_OUTPUT, read at each call,
//   redirects it: "off" discards the output, any other non-empty value names a file that
//   the text is appended to (created when missing; standard error is used when it cannot
//   be opened). Each call leaves in one write, so texts of different threads never mix.
#pragma once

#include <cstdint>
#include <memory>

#include <vorm/platform/wintypes.h>

using SHORT = std::int16_t;

// MessageBoxW buttons (low four bits), icons, default button and modality.
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_ABORTRETRYIGNORE = 0x00000002;
constexpr UINT MB_YESNOCANCEL = 0x00000003;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_RETRYCANCEL = 0x00000005;
constexpr UINT MB_CANCELTRYCONTINUE = 0x00000006;
constexpr UINT MB_ICONHAND = 0x00000010;
constexpr UINT MB_ICONERROR = MB_ICONHAND;
constexpr UINT MB_ICONSTOP = MB_ICONHAND;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONASTERISK = 0x00000040;
constexpr UINT MB_ICONINFORMATION = MB_ICONASTERISK;
constexpr UINT MB_DEFBUTTON1 = 0x00000000;
constexpr UINT MB_DEFBUTTON2 = 0x00000100;
constexpr UINT MB_DEFBUTTON3 = 0x00000200;
constexpr UINT MB_DEFBUTTON4 = 0x00000300;
constexpr UINT MB_APPLMODAL = 0x00000000;
constexpr UINT MB_SYSTEMMODAL = 0x00001000;
constexpr UINT MB_TASKMODAL = 0x00002000;
constexpr UINT MB_HELP = 0x00004000;
constexpr UINT MB_SETFOREGROUND = 0x00010000;
constexpr UINT MB_TOPMOST = 0x00040000;
constexpr UINT MB_TYPEMASK = 0x0000000F;
constexpr UINT MB_ICONMASK = 0x000000F0;
constexpr UINT MB_DEFMASK = 0x00000F00;

// Answers.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
constexpr int IDTRYAGAIN = 10;
constexpr int IDCONTINUE = 11;

// Virtual-key codes.
constexpr int VK_LBUTTON = 0x01;
constexpr int VK_RBUTTON = 0x02;
constexpr int VK_CANCEL = 0x03;
constexpr int VK_MBUTTON = 0x04;
constexpr int VK_BACK = 0x08;
constexpr int VK_TAB = 0x09;
constexpr int VK_RETURN = 0x0D;
constexpr int VK_SHIFT = 0x10;
constexpr int VK_CONTROL = 0x11;
constexpr int VK_MENU = 0x12;
constexpr int VK_ESCAPE = 0x1B;
constexpr int VK_SPACE = 0x20;
constexpr int VK_LSHIFT = 0xA0;
constexpr int VK_RSHIFT = 0xA1;
constexpr int VK_LCONTROL = 0xA2;
constexpr int VK_RCONTROL = 0xA3;
constexpr int VK_LMENU = 0xA4;
constexpr int VK_RMENU = 0xA5;

// Shows a modal box and returns the answer (IDOK ...), or 0 on failure: a button code
// above MB_CANCELTRYCONTINUE => 0 with ERROR_INVALID_MSGBOX_STYLE. A NULL caption is
// shown as "Error" and a NULL text as an empty one, as on the platform. The owner window
// is passed to the provider and otherwise ignored.
VORM_API int MessageBoxW(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);

// The state of a key at this moment: the high bit (0x8000, a negative SHORT) is set while
// the key is down. Codes outside 1..254 give 0.
VORM_API SHORT GetAsyncKeyState(int virtualKey);

// Text for the debugger. NULL does nothing; OutputDebugStringA takes UTF-8.
VORM_API void OutputDebugStringW(const wchar_t* text);
VORM_API void OutputDebugStringA(const char* text);

// The answer of the default message-box provider for a box of `type` (its default
// button); 0 for an invalid button code.
//   VormDefaultMessageBoxAnswer(MB_OKCANCEL) => IDOK
//   VormDefaultMessageBoxAnswer(MB_YESNO | MB_DEFBUTTON2) => IDNO
//   VormDefaultMessageBoxAnswer(MB_OK | MB_DEFBUTTON3) => IDOK
VORM_API int VormDefaultMessageBoxAnswer(UINT type);

// Provider interfaces. Implementations are called from whatever thread calls the API
// function, possibly several at once; they are shared with the caller that installed them.
class VORM_API VormMessageBoxProvider {
 public:
  virtual ~VormMessageBoxProvider() = default;
  // Called with a valid type, a non-null text and caption; returns the answer.
  virtual int Show(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type) = 0;
};

class VORM_API VormKeyStateProvider {
 public:
  virtual ~VormKeyStateProvider() = default;
  // Called for keys 1..254; the GetAsyncKeyState result.
  virtual SHORT KeyState(int virtualKey) = 0;
};

class VORM_API VormDebugOutputProvider {
 public:
  virtual ~VormDebugOutputProvider() = default;
  // Called with a non-null text.
  virtual void Write(const wchar_t* text) = 0;
};

// Install a provider and return the one it replaces; NULL reinstalls the default. Hand the
// returned pointer back to restore the previous provider.
VORM_API std::shared_ptr<VormMessageBoxProvider> VormSetMessageBoxProvider(
    std::shared_ptr<VormMessageBoxProvider> provider);
VORM_API std::shared_ptr<VormKeyStateProvider> VormSetKeyStateProvider(std::shared_ptr<VormKeyStateProvider> provider);
VORM_API std::shared_ptr<VormDebugOutputProvider> VormSetDebugOutputProvider(
    std::shared_ptr<VormDebugOutputProvider> provider);

// Thread message queues, window classes and hidden windows, with the platform's semantics.
// No display is involved: a window here is a handle, a window procedure and an owning
// thread - what a program needs to carry messages between threads.
//
// Thread rules:
// - every thread gets a message queue on first use of PeekMessageW, GetMessageW,
//   MsgWaitForMultipleObjects(Ex), PostQuitMessage, SendMessageW or CreateWindowExW;
//   PostThreadMessageW to a thread without one fails with ERROR_INVALID_THREAD_ID. A queue
//   holds at most 10,000 posted messages; a post beyond that fails with
//   ERROR_NOT_ENOUGH_QUOTA;
// - a window belongs to the thread that created it: its procedure runs there, either in a
//   direct call (SendMessageW from the owner, DispatchMessageW) or while the owner looks
//   at its queue (a message sent from another thread is handled inside the owner's
//   GetMessageW, PeekMessageW or SendMessageW). DestroyWindow must be called by the owner;
//   when a thread ends, its windows go with it;
// - SendMessageW to another thread's window waits for the answer, and while it waits the
//   sending thread handles the messages sent to it, so A -> B -> A completes. A window or
//   thread that goes away before answering releases its waiting senders with 0.
// - the other functions may be called from any thread.
// A successful call leaves the last error as it was.
#pragma once

#include <vorm/platform/sync.h>
#include <vorm/platform/wintypes.h>

using ATOM = WORD;
using WNDPROC = LRESULT (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
struct HICON__;
using HICON = HICON__*;
using HCURSOR = HICON;
struct HBRUSH__;
using HBRUSH = HBRUSH__*;
struct HMENU__;
using HMENU = HMENU__*;

struct POINT {
  LONG x;
  LONG y;
};

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;  // GetTickCount when it was posted
  POINT pt;    // always 0, 0: there is no pointer
};
using LPMSG = MSG*;

struct WNDCLASSW {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCWSTR lpszMenuName;
  LPCWSTR lpszClassName;
};

// What WM_NCCREATE and WM_CREATE carry in lParam.
struct CREATESTRUCTW {
  LPVOID lpCreateParams;
  HINSTANCE hInstance;
  HMENU hMenu;
  HWND hwndParent;
  int cy;
  int cx;
  int y;
  int x;
  LONG style;
  LPCWSTR lpszName;
  LPCWSTR lpszClass;
  DWORD dwExStyle;
};

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_NCCREATE = 0x0081;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;
constexpr UINT PM_NOYIELD = 0x0002;

// Kinds of queue input (MsgWaitForMultipleObjectsEx's wake mask). Only posted messages
// (QS_POSTMESSAGE, QS_ALLPOSTMESSAGE; a pending quit counts as one) and messages sent from
// other threads (QS_SENDMESSAGE) ever arrive here.
constexpr DWORD QS_KEY = 0x0001;
constexpr DWORD QS_MOUSEMOVE = 0x0002;
constexpr DWORD QS_MOUSEBUTTON = 0x0004;
constexpr DWORD QS_POSTMESSAGE = 0x0008;
constexpr DWORD QS_TIMER = 0x0010;
constexpr DWORD QS_PAINT = 0x0020;
constexpr DWORD QS_SENDMESSAGE = 0x0040;
constexpr DWORD QS_HOTKEY = 0x0080;
constexpr DWORD QS_ALLPOSTMESSAGE = 0x0100;
constexpr DWORD QS_RAWINPUT = 0x0400;
constexpr DWORD QS_MOUSE = QS_MOUSEMOVE | QS_MOUSEBUTTON;
constexpr DWORD QS_INPUT = QS_MOUSE | QS_KEY | QS_RAWINPUT;
constexpr DWORD QS_ALLEVENTS = QS_INPUT | QS_POSTMESSAGE | QS_TIMER | QS_PAINT | QS_HOTKEY;
constexpr DWORD QS_ALLINPUT = QS_ALLEVENTS | QS_SENDMESSAGE;

constexpr DWORD MWMO_WAITALL = 0x0001;
constexpr DWORD MWMO_ALERTABLE = 0x0002;
constexpr DWORD MWMO_INPUTAVAILABLE = 0x0004;

// The parent of a message-only window; accepted like any parent and otherwise ignored.
#define HWND_MESSAGE (reinterpret_cast<HWND>(static_cast<LONG_PTR>(-3)))
constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000);

// A class atom as the class-name argument.
inline LPCWSTR MAKEINTATOM(ATOM atom) { return reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(atom)); }

// ---- Window classes and windows ---------------------------------------------------------
// Registers a class by name for a module (a null module is the executable's): its atom
// (0xC000 and up), or 0 with ERROR_CLASS_ALREADY_EXISTS when the module already has a class
// of that name (names compare without regard to case), ERROR_INVALID_PARAMETER for a null
// record, name or procedure. Styles, extra bytes, icon, cursor, brush and menu are kept
// out of the picture: accepted and ignored.
VORM_API ATOM RegisterClassW(const WNDCLASSW* windowClass);
// `className` is a name or MAKEINTATOM(atom). FALSE with ERROR_CLASS_DOES_NOT_EXIST, or
// ERROR_CLASS_HAS_WINDOWS while windows of the class exist.
VORM_API BOOL UnregisterClassW(LPCWSTR className, HINSTANCE instance);
// A hidden window of a registered class, owned by the calling thread. Its procedure gets
// WM_NCCREATE (FALSE refuses the window) and WM_CREATE (-1 refuses it) with a CREATESTRUCTW
// before the call returns. NULL with ERROR_CANNOT_FIND_WND_CLASS for an unknown class.
// Position, size, styles, title, parent and menu are accepted and ignored.
VORM_API HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                              int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
// Sends WM_DESTROY and WM_NCDESTROY, then the handle is gone: posted messages for it are
// dropped and senders waiting on it get 0. FALSE with ERROR_INVALID_WINDOW_HANDLE for a
// window that does not exist, ERROR_ACCESS_DENIED when called from another thread than the
// window's.
VORM_API BOOL DestroyWindow(HWND window);
// Whether `window` names an existing window.
VORM_API BOOL IsWindow(HWND window);
// The default answers: TRUE for WM_NCCREATE, DestroyWindow for WM_CLOSE, 0 otherwise.
VORM_API LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// ---- Posting ------------------------------------------------------------------------------
// Queues a message for `window`'s thread (a null window: for the calling thread, as
// PostThreadMessageW to its own id). FALSE with ERROR_INVALID_WINDOW_HANDLE,
// ERROR_INVALID_THREAD_ID (no queue) or ERROR_NOT_ENOUGH_QUOTA (queue full).
VORM_API BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Queues a window-less message for the thread `threadId`. A WM_QUIT posted this way is an
// ordinary message that keeps its place in the queue. FALSE with ERROR_INVALID_THREAD_ID
// for a thread that does not exist or has no queue, ERROR_NOT_ENOUGH_QUOTA when full.
VORM_API BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
// Asks the calling thread's message loop to end: GetMessageW reports WM_QUIT (wParam =
// exitCode) once no posted message matching its filter is left.
VORM_API void PostQuitMessage(int exitCode);

// ---- Sending ------------------------------------------------------------------------------
// The window procedure's answer: a direct call from the window's own thread; from another
// thread, see the thread rules above (0 when the window or its thread goes away first).
// 0 with ERROR_INVALID_WINDOW_HANDLE for a window that does not exist.
VORM_API LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// ---- Reading the queue --------------------------------------------------------------------
// Both first handle the messages other threads have sent to the caller, then look for the
// oldest posted message that matches the filter: `window` NULL takes any message of the
// thread, (HWND)-1 only window-less ones, a window only its own; `first`/`last` 0, 0 take
// every number, otherwise first <= number <= last. Both mark the queue's input as seen.
// GetMessageW waits for one (not alertable) and returns nonzero, or 0 for WM_QUIT, or -1
// with ERROR_INVALID_WINDOW_HANDLE for a filter window that is not the caller's, or
// ERROR_INVALID_PARAMETER for a null `msg`.
VORM_API BOOL GetMessageW(LPMSG msg, HWND window, UINT first, UINT last);
// TRUE and the message (removed with PM_REMOVE), FALSE when none: never waits.
VORM_API BOOL PeekMessageW(LPMSG msg, HWND window, UINT first, UINT last, UINT removeFlags);
// Calls the procedure of msg->hwnd and returns its answer; 0 for a window-less message,
// 0 with ERROR_INVALID_WINDOW_HANDLE when the window is gone.
VORM_API LRESULT DispatchMessageW(const MSG* msg);
// There is no keyboard: nothing to translate, FALSE.
VORM_API BOOL TranslateMessage(const MSG* msg);

// ---- Waiting for objects or input ---------------------------------------------------------
// As WaitForMultipleObjectsEx on 0 to 63 handles plus the calling thread's queue: returns
// WAIT_OBJECT_0 + count when queue input of a kind in `wakeMask` ends the wait. Input the
// thread has already looked at with PeekMessageW or GetMessageW does not count, unless
// MWMO_INPUTAVAILABLE is given. MWMO_WAITALL waits for every handle and input together;
// MWMO_ALERTABLE runs APCs. WAIT_FAILED with ERROR_INVALID_PARAMETER for 64 handles or more
// or unknown flags, and as WaitForMultipleObjectsEx for bad handles.
VORM_API DWORD MsgWaitForMultipleObjectsEx(DWORD count, const HANDLE* handles, DWORD milliseconds, DWORD wakeMask,
                                           DWORD flags);
VORM_API DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds,
                                         DWORD wakeMask);

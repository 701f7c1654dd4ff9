// Events, threads, waits, asynchronous procedure calls (APCs), critical sections and the
// interlocked operations, with the platform's semantics, return codes and last errors.
//
// Thread rules: every function may be called from any thread. Handles are closed with
// CloseHandle (kernel.h). A successful call leaves the last error as it was; a failing one
// sets it, as the platform's functions do.
//
// How waits behave (WaitForSingleObject(Ex), WaitForMultipleObjects(Ex), SleepEx, and
// MsgWaitForMultipleObjectsEx in window.h):
// - the objects are checked first: a wait for any object takes the lowest signalled index;
//   a wait for all takes every object at once or none, so no other waiter ever sees a
//   partly consumed set (an auto-reset event that ends a wait is reset by it);
// - then, for an alertable wait, the thread's queued APCs: all of them run, in the order
//   they were queued (including APCs that an APC queues), and the wait returns
//   WAIT_IO_COMPLETION. An object that is already signalled wins over a pending APC;
// - then the time-out, measured on a monotonic clock (INFINITE never ends).
// A blocked thread uses no processor time. Closing a handle while another thread waits on
// it does not disturb that wait: the object lives until the wait ends.
// Argument errors give WAIT_FAILED with the last error: ERROR_INVALID_PARAMETER for a
// count of 0 or above MAXIMUM_WAIT_OBJECTS, or the same object twice in a wait for all;
// ERROR_INVALID_HANDLE for a handle that is unknown, closed or not waitable; ERROR_NOACCESS
// for a null handle array.
#pragma once

#include <vorm/platform/kernel.h>
#include <vorm/platform/wintypes.h>

constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

constexpr DWORD WAIT_OBJECT_0 = 0x00000000;
constexpr DWORD WAIT_ABANDONED_0 = 0x00000080;
constexpr DWORD WAIT_IO_COMPLETION = 0x000000C0;
constexpr DWORD WAIT_TIMEOUT = 0x00000102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

constexpr DWORD STILL_ACTIVE = 259;
constexpr DWORD CREATE_SUSPENDED = 0x00000004;
constexpr DWORD STACK_SIZE_PARAM_IS_A_RESERVATION = 0x00010000;

// Access rights: accepted and not checked (every handle of the layer has full access).
constexpr DWORD SYNCHRONIZE = 0x00100000;
constexpr DWORD EVENT_MODIFY_STATE = 0x0002;
constexpr DWORD EVENT_ALL_ACCESS = 0x001F0003;
constexpr DWORD THREAD_TERMINATE = 0x0001;
constexpr DWORD THREAD_SUSPEND_RESUME = 0x0002;
constexpr DWORD THREAD_SET_CONTEXT = 0x0010;
constexpr DWORD THREAD_QUERY_INFORMATION = 0x0040;
constexpr DWORD THREAD_ALL_ACCESS = 0x001FFFFF;

using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID parameter);
using PAPCFUNC = void (*)(ULONG_PTR data);

// ---- Events -------------------------------------------------------------------------------
// A new unnamed event: manual-reset (stays signalled until ResetEvent) or auto-reset (the
// one wait it ends resets it), signalled or not at first. Security attributes are ignored.
// Named events are not supported: a non-null name gives NULL with ERROR_NOT_SUPPORTED.
VORM_API HANDLE CreateEventW(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState, LPCWSTR name);
// Signals the event. Auto-reset: the longest-waiting thread whose wait it completes takes
// it (the event resets); with no such waiter it stays signalled until one comes.
VORM_API BOOL SetEvent(HANDLE event);
VORM_API BOOL ResetEvent(HANDLE event);
// Releases the threads waiting right now and leaves the event unsignalled: all of them for
// a manual-reset event, one for an auto-reset event; with no waiter it leaves no trace.
VORM_API BOOL PulseEvent(HANDLE event);
// These three fail with ERROR_INVALID_HANDLE for a handle that is not an event.

// ---- Waits --------------------------------------------------------------------------------
// WAIT_OBJECT_0 (+ index), WAIT_IO_COMPLETION (alertable only), WAIT_TIMEOUT or WAIT_FAILED;
// see the rules at the top. The objects here never give WAIT_ABANDONED_0.
VORM_API DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
VORM_API DWORD WaitForSingleObjectEx(HANDLE object, DWORD milliseconds, BOOL alertable);
VORM_API DWORD WaitForMultipleObjects(DWORD count, const HANDLE* objects, BOOL waitAll, DWORD milliseconds);
VORM_API DWORD WaitForMultipleObjectsEx(DWORD count, const HANDLE* objects, BOOL waitAll, DWORD milliseconds,
                                        BOOL alertable);
// Sleep(0) gives up the rest of the time slice. SleepEx returns 0 when the time is up, or
// WAIT_IO_COMPLETION when alertable and APCs ran (at once when some are already queued).
VORM_API void Sleep(DWORD milliseconds);
VORM_API DWORD SleepEx(DWORD milliseconds, BOOL alertable);

// ---- APCs ---------------------------------------------------------------------------------
// Queues `routine(data)` to run on `thread` at its next alertable wait (or, for a thread
// created suspended, when it starts, before its routine). Nonzero on success; 0 with
// ERROR_INVALID_PARAMETER for a null routine, ERROR_INVALID_HANDLE for a handle that is
// not a thread, ERROR_GEN_FAILURE for a thread that has ended or was terminated. APCs still
// queued when a thread ends are dropped without being called.
VORM_API DWORD QueueUserAPC(PAPCFUNC routine, HANDLE thread, ULONG_PTR data);

// ---- Threads ------------------------------------------------------------------------------
// Starts `start(parameter)` on a new thread and returns its handle (NULL with the last error
// on failure: ERROR_INVALID_PARAMETER for a null routine, ERROR_NOT_ENOUGH_MEMORY when the
// system refuses a thread). The id (GetCurrentThreadId of the new thread) is stored through
// `threadId` when it is not null. CREATE_SUSPENDED holds the thread until ResumeThread;
// other flags are accepted. `stackSize` 0 takes the system's default; otherwise the stack
// has at least that many bytes. The thread's handle is signalled when the routine returns,
// with its result as the exit code. An exception leaving the routine ends the process.
VORM_API HANDLE CreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                             LPVOID parameter, DWORD flags, LPDWORD threadId);
// The C runtime's form: the handle as an integer, 0 on failure with errno set (EINVAL for a
// null routine, EAGAIN when no thread can be made).
VORM_API uintptr_t _beginthreadex(void* security, unsigned stackSize, unsigned (*start)(void*), void* argument,
                                  unsigned flags, unsigned* threadId);
// Lowers the suspend count of a thread created suspended; the thread starts when it reaches
// 0. Returns the count before the call (0 for a running thread), or (DWORD)-1 with
// ERROR_INVALID_HANDLE.
VORM_API DWORD ResumeThread(HANDLE thread);
// STILL_ACTIVE (259) while the thread runs, then its exit code. FALSE with
// ERROR_INVALID_HANDLE for a handle that is not a thread, ERROR_INVALID_PARAMETER for a
// null `exitCode`.
VORM_API BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
// POSIX threads cannot be stopped from outside safely, so this marks the thread ended at
// once: its handle is signalled, its exit code is `exitCode`, APCs and messages to it are
// refused, its windows are gone and the senders waiting on it are released with 0. The
// thread itself stops when it next enters a wait, a sleep or a message function of this
// layer (at once when it is blocked in one, and at once when it terminates itself): it
// then leaves through pthread_exit, so its stack unwinds and its destructors run; a
// catch (...) on that path must rethrow. Code that never calls the layer again runs on.
// TRUE also for a thread that has already ended (its exit code is kept); FALSE with
// ERROR_INVALID_HANDLE for a handle that is not a thread.
VORM_API BOOL TerminateThread(HANDLE thread, DWORD exitCode);
// The pseudo-handle (HANDLE)-2 that names the calling thread in any thread function; use
// DuplicateHandle for a real handle another thread can use.
VORM_API HANDLE GetCurrentThread();
// GetCurrentThreadId is in kernel.h.

// ---- Critical sections --------------------------------------------------------------------
// A recursive lock that lives in the caller's memory. The fields are this layer's own (not
// the platform's meaning): LockCount is the lock word, RecursionCount the owner's depth,
// OwningThread the owner's thread id as a HANDLE-sized value. A thread that must wait sleeps
// in the kernel; the spin count is kept and not used. Leaving a section the caller does not
// hold does nothing; deleting one that is held is a caller error, as on the platform. Null
// pointers are ignored.
struct CRITICAL_SECTION {
  void* DebugInfo;
  LONG LockCount;
  LONG RecursionCount;
  HANDLE OwningThread;
  HANDLE LockSemaphore;
  ULONG_PTR SpinCount;
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

VORM_API void InitializeCriticalSection(LPCRITICAL_SECTION section);
VORM_API BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION section, DWORD spinCount);
VORM_API void DeleteCriticalSection(LPCRITICAL_SECTION section);
VORM_API void EnterCriticalSection(LPCRITICAL_SECTION section);
// TRUE when the caller now holds the section (also when it already did), FALSE at once when
// another thread holds it.
VORM_API BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section);
VORM_API void LeaveCriticalSection(LPCRITICAL_SECTION section);

// ---- Interlocked operations ---------------------------------------------------------------
// Atomic read-modify-write with a full barrier, as on the platform. Increment/Decrement
// return the new value; Exchange, CompareExchange and ExchangeAdd return the old one.
//   LONG n = 5; InterlockedIncrement(&n) => 6
//   InterlockedCompareExchange(&n, 9, 6) => 6, n == 9;  InterlockedCompareExchange(&n, 1, 6) => 9, n == 9
namespace VormInterlocked_details {
template <class T>
inline T Add(T volatile* target, T value) {
  return __atomic_add_fetch(target, value, __ATOMIC_SEQ_CST);
}
template <class T>
inline T Exchange(T volatile* target, T value) {
  return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
template <class T>
inline T ExchangeAdd(T volatile* target, T value) {
  return __atomic_fetch_add(target, value, __ATOMIC_SEQ_CST);
}
template <class T>
inline T CompareExchange(T volatile* target, T exchange, T comparand) {
  __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comparand;
}
}  // namespace VormInterlocked_details

inline LONG InterlockedIncrement(LONG volatile* t) { return VormInterlocked_details::Add<LONG>(t, 1); }
inline LONG InterlockedDecrement(LONG volatile* t) { return VormInterlocked_details::Add<LONG>(t, -1); }
inline LONG InterlockedExchange(LONG volatile* t, LONG v) { return VormInterlocked_details::Exchange(t, v); }
inline LONG InterlockedExchangeAdd(LONG volatile* t, LONG v) { return VormInterlocked_details::ExchangeAdd(t, v); }
inline LONG InterlockedCompareExchange(LONG volatile* t, LONG exchange, LONG comparand) {
  return VormInterlocked_details::CompareExchange(t, exchange, comparand);
}
inline LONGLONG InterlockedIncrement64(LONGLONG volatile* t) { return VormInterlocked_details::Add<LONGLONG>(t, 1); }
inline LONGLONG InterlockedDecrement64(LONGLONG volatile* t) { return VormInterlocked_details::Add<LONGLONG>(t, -1); }
inline LONGLONG InterlockedExchange64(LONGLONG volatile* t, LONGLONG v) {
  return VormInterlocked_details::Exchange(t, v);
}
inline LONGLONG InterlockedExchangeAdd64(LONGLONG volatile* t, LONGLONG v) {
  return VormInterlocked_details::ExchangeAdd(t, v);
}
inline LONGLONG InterlockedCompareExchange64(LONGLONG volatile* t, LONGLONG exchange, LONGLONG comparand) {
  return VormInterlocked_details::CompareExchange(t, exchange, comparand);
}
inline PVOID InterlockedExchangePointer(PVOID volatile* t, PVOID v) { return VormInterlocked_details::Exchange(t, v); }
inline PVOID InterlockedCompareExchangePointer(PVOID volatile* t, PVOID exchange, PVOID comparand) {
  return VormInterlocked_details::CompareExchange(t, exchange, comparand);
}

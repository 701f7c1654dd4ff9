// Thread functions and APCs: thin checks in front of the per-thread records.
#include <cerrno>
#include <new>

#include <vorm/platform/sync.h>

#include "platform/kernel/last_error.h"
#include "platform/kernel/thread_record.h"

using VormLastError_details::Fail;

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T stackSize, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                    DWORD flags, LPDWORD threadId) {
  if (!start) return Fail(ERROR_INVALID_PARAMETER, HANDLE{});
  std::shared_ptr<VormThreadRecord> record;
  try {
    record = VormThreadRecord::MakeUnstarted((flags & CREATE_SUSPENDED) != 0);
  } catch (const std::bad_alloc&) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY, HANDLE{});
  }
  // The handle exists before the thread runs, so the thread can never be without one.
  HANDLE handle = VormHandles_details::Register(record);
  if (!handle) return nullptr;
  if (!record->Launch(start, parameter, stackSize)) {
    const DWORD error = GetLastError();
    VormHandles_details::Remove(handle, VormObjectType::Thread);
    return Fail(error, HANDLE{});
  }
  if (threadId) *threadId = record->Id();
  return handle;
}

uintptr_t _beginthreadex(void* security, unsigned stackSize, unsigned (*start)(void*), void* argument, unsigned flags,
                         unsigned* threadId) {
  if (!start) {
    errno = EINVAL;
    return 0;
  }
  DWORD id = 0;
  HANDLE handle = CreateThread(static_cast<LPSECURITY_ATTRIBUTES>(security), stackSize, start, argument, flags, &id);
  if (!handle) {
    errno = EAGAIN;
    return 0;
  }
  if (threadId) *threadId = id;
  return reinterpret_cast<uintptr_t>(handle);
}

DWORD ResumeThread(HANDLE thread) {
  std::shared_ptr<VormThreadRecord> record = VormThreadRecord::FromHandle(thread);
  if (!record) return Fail(ERROR_INVALID_HANDLE, static_cast<DWORD>(-1));
  VormDispatcherLock lock;
  return record->Resume(lock);
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
  std::shared_ptr<VormThreadRecord> record = VormThreadRecord::FromHandle(thread);
  if (!record) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!exitCode) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  *exitCode = record->ExitCode();  // no lock needed: see ExitCode
  return TRUE;
}

BOOL TerminateThread(HANDLE thread, DWORD exitCode) {
  std::shared_ptr<VormThreadRecord> record = VormThreadRecord::FromHandle(thread);
  if (!record) return Fail(ERROR_INVALID_HANDLE, FALSE);
  {
    VormDispatcherLock lock;
    record->End(lock, exitCode, true);
  }
  VormWait_details::LeaveIfTerminated();  // a thread terminating itself stops here
  return TRUE;
}

HANDLE GetCurrentThread() { return VormHandles_details::CurrentThreadPseudoHandle(); }

DWORD QueueUserAPC(PAPCFUNC routine, HANDLE thread, ULONG_PTR data) {
  if (!routine) return Fail(ERROR_INVALID_PARAMETER, DWORD{0});
  std::shared_ptr<VormThreadRecord> record = VormThreadRecord::FromHandle(thread);
  if (!record) return Fail(ERROR_INVALID_HANDLE, DWORD{0});
  bool queued;
  try {
    VormDispatcherLock lock;
    queued = record->QueueApc(lock, {routine, data});
  } catch (const std::bad_alloc&) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY, DWORD{0});
  }
  return queued ? 1 : Fail(ERROR_GEN_FAILURE, DWORD{0});
}

// WaitForSingleObject(Ex), WaitForMultipleObjects(Ex), Sleep, SleepEx: argument checks in
// front of the dispatcher's one wait.
#include <thread>

#include <vorm/platform/sync.h>

#include "platform/kernel/last_error.h"
#include "platform/kernel/waitable.h"

using VormLastError_details::Fail;

namespace VormWait_details {

DWORD HoldHandles(const HANDLE* handles, DWORD count, bool waitAll, HeldObjects& out) {
  if (count && !handles) return ERROR_NOACCESS;
  for (DWORD i = 0; i < count; ++i) {
    std::shared_ptr<VormWaitable> object = LookupWaitable(handles[i]);
    if (!object) return ERROR_INVALID_HANDLE;
    if (waitAll) {
      for (DWORD j = 0; j < out.count; ++j) {
        if (out.objects[j] == object.get()) return ERROR_INVALID_PARAMETER;
      }
    }
    out.Add(std::move(object));
  }
  return ERROR_SUCCESS;
}

}  // namespace VormWait_details

DWORD WaitForMultipleObjectsEx(DWORD count, const HANDLE* objects, BOOL waitAll, DWORD milliseconds, BOOL alertable) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS) return Fail(ERROR_INVALID_PARAMETER, WAIT_FAILED);
  VormWait_details::HeldObjects held;
  const DWORD error = VormWait_details::HoldHandles(objects, count, waitAll != FALSE, held);
  if (error != ERROR_SUCCESS) return Fail(error, WAIT_FAILED);
  VormWait_details::WaitOptions options;
  options.waitAll = waitAll != FALSE;
  options.alertable = alertable != FALSE;
  return VormWait_details::Wait(held.objects, held.count, milliseconds, options);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* objects, BOOL waitAll, DWORD milliseconds) {
  return WaitForMultipleObjectsEx(count, objects, waitAll, milliseconds, FALSE);
}

DWORD WaitForSingleObjectEx(HANDLE object, DWORD milliseconds, BOOL alertable) {
  return WaitForMultipleObjectsEx(1, &object, FALSE, milliseconds, alertable);
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
  return WaitForMultipleObjectsEx(1, &object, FALSE, milliseconds, FALSE);
}

DWORD SleepEx(DWORD milliseconds, BOOL alertable) {
  if (milliseconds == 0 && !alertable) {
    VormWait_details::LeaveIfTerminated();
    std::this_thread::yield();
    return 0;
  }
  VormWait_details::WaitOptions options;
  options.alertable = alertable != FALSE;
  const DWORD result = VormWait_details::Wait(nullptr, 0, milliseconds, options);
  return result == WAIT_IO_COMPLETION ? WAIT_IO_COMPLETION : 0;
}

void Sleep(DWORD milliseconds) { SleepEx(milliseconds, FALSE); }

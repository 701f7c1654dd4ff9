// The synchronized selector: 17 buckets of handle records and one wait on the enabled ones.
#include <new>

#include <vorm/selector.h>

namespace {

unsigned BucketOf(HANDLE handle) { return static_cast<unsigned>((reinterpret_cast<ULONG_PTR>(handle) >> 4) % 17); }

}  // namespace

VormSynchronizedSelector::VormSynchronizedSelector() = default;
VormSynchronizedSelector::~VormSynchronizedSelector() = default;

const VormSynchronizedSelector::Entry* VormSynchronizedSelector::Find(HANDLE handle) const {
  for (const Entry& e : m_buckets[BucketOf(handle)]) {
    if (e.handle == handle) return &e;
  }
  return nullptr;
}

VormSynchronizedSelector::Entry* VormSynchronizedSelector::Find(HANDLE handle) {
  return const_cast<Entry*>(static_cast<const VormSynchronizedSelector*>(this)->Find(handle));
}

DWORD VormSynchronizedSelector::Add(HANDLE handle, VormServerEventHandler* handler) {
  if (Find(handle) || m_enabled >= MAXIMUM_WAIT_OBJECTS) return VormFailed;
  std::vector<Entry>& bucket = m_buckets[BucketOf(handle)];
  try {
    bucket.insert(bucket.begin(), Entry{handle, {true, handler}});
  } catch (const std::bad_alloc&) {
    return VormOutOfMemory;
  }
  ++m_enabled;
  return VormOk;
}

DWORD VormSynchronizedSelector::Remove(HANDLE handle, VormServerEventHandler** handler) {
  std::vector<Entry>& bucket = m_buckets[BucketOf(handle)];
  for (auto it = bucket.begin(); it != bucket.end(); ++it) {
    if (it->handle != handle) continue;
    if (handler) *handler = it->record.handler;
    if (it->record.enabled) --m_enabled;
    bucket.erase(it);
    return VormOk;
  }
  return VormFailed;
}

DWORD VormSynchronizedSelector::Lookup(HANDLE handle, VormServerEventHandler** handler) const {
  const Entry* e = Find(handle);
  if (!e || !handler) return VormFailed;
  *handler = e->record.handler;
  return VormOk;
}

DWORD VormSynchronizedSelector::SetEnabled(HANDLE handle, bool enabled) {
  Entry* e = Find(handle);
  if (!e) return VormFailed;
  if (enabled && !e->record.enabled) {
    if (m_enabled >= MAXIMUM_WAIT_OBJECTS) return VormFailed;
    ++m_enabled;
  } else if (!enabled && e->record.enabled) {
    --m_enabled;
  }
  e->record.enabled = enabled;
  return VormOk;
}

DWORD VormSynchronizedSelector::Count() const {
  DWORD n = 0;
  for (const std::vector<Entry>& bucket : m_buckets) n += static_cast<DWORD>(bucket.size());
  return n;
}

DWORD VormSynchronizedSelector::GetHandles(HANDLE* handles) const {
  DWORD n = 0;
  for (const std::vector<Entry>& bucket : m_buckets) {
    for (const Entry& e : bucket) {
      if (e.record.enabled && n < MAXIMUM_WAIT_OBJECTS) handles[n++] = e.handle;
    }
  }
  return n;
}

DWORD VormSynchronizedSelector::Wait(BOOL waitAll, DWORD milliseconds, BOOL alertable, HANDLE* handle,
                                     VormServerEventHandler** handler) {
  HANDLE handles[MAXIMUM_WAIT_OBJECTS];
  const DWORD n = GetHandles(handles);
  if (n == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  DWORD result = WaitForMultipleObjectsEx(n, handles, waitAll, milliseconds, alertable);
  if (waitAll) return result;
  DWORD index;
  if (result < WAIT_OBJECT_0 + n) {
    index = result - WAIT_OBJECT_0;
    result = WAIT_OBJECT_0;
  } else if (result >= WAIT_ABANDONED_0 && result < WAIT_ABANDONED_0 + n) {
    index = result - WAIT_ABANDONED_0;
    result = WAIT_ABANDONED_0;
  } else {
    return result;
  }
  if (handle) *handle = handles[index];
  if (handler) Lookup(handles[index], handler);
  return result;
}

// Change notifications over inotify: FindFirstChangeNotificationW and its family. One
// inotify instance per process, read by one monitor thread that blocks in read(2); each
// change handle is a waitable object of the kernel core that the monitor signals. This is
// the only file of the layer that speaks inotify.
#include "platform/fs/change_notify.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/fs/fs_internal.h"
#include "platform/kernel/last_error.h"
#include "platform/kernel/waitable.h"

using VormLastError_details::Fail;

static_assert(sizeof(VormChangeNotify_details::RecordHeader) == sizeof(inotify_event));
static_assert(offsetof(VormChangeNotify_details::RecordHeader, wd) == offsetof(inotify_event, wd));
static_assert(offsetof(VormChangeNotify_details::RecordHeader, mask) == offsetof(inotify_event, mask));
static_assert(offsetof(VormChangeNotify_details::RecordHeader, len) == offsetof(inotify_event, len));

namespace VormChangeNotify_details {

static_assert(kAccess == IN_ACCESS && kModify == IN_MODIFY && kAttrib == IN_ATTRIB && kMovedFrom == IN_MOVED_FROM &&
              kMovedTo == IN_MOVED_TO && kCreate == IN_CREATE && kDelete == IN_DELETE &&
              kDeleteSelf == IN_DELETE_SELF && kUnmount == IN_UNMOUNT && kOverflow == IN_Q_OVERFLOW &&
              kIgnored == IN_IGNORED && kIsDir == IN_ISDIR);

namespace {

constexpr DWORD kValidFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                               FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE |
                               FILE_NOTIFY_CHANGE_LAST_ACCESS | FILE_NOTIFY_CHANGE_CREATION |
                               FILE_NOTIFY_CHANGE_SECURITY;

// One change handle. Signalled from the monitor thread, re-armed and waited on by its
// owner. Thread rule: the state is guarded by the dispatcher lock. Ownership: shared by the
// handle table, waits in progress and the monitor's watch table.
class ChangeObject final : public VormWaitable {
 public:
  ChangeObject(DWORD filter, int wd, std::string native)
      : VormWaitable(VormObjectType::ChangeNotification), filter_(filter), wd_(wd), native_(std::move(native)) {}
  bool ClosableByCloseHandle() const override { return false; }
  bool IsSignalled(const VormWaitBlock&) const override { return signalled_; }

  DWORD Filter() const { return filter_; }
  int Wd() const { return wd_; }
  const std::string& Native() const { return native_; }

  // A change arrived: signal, or, while signalled already, remember one more (never a count).
  void Signal(bool retire) {
    VormDispatcherLock lock;
    if (retired_) return;
    retired_ = retire;
    if (signalled_) {
      pending_ = true;
      return;
    }
    signalled_ = true;
    WakeWaiters(lock);
  }

  // FindNextChangeNotification: signalled again at once when a change came meanwhile.
  void Rearm() {
    VormDispatcherLock lock;
    signalled_ = pending_;
    pending_ = false;
    if (signalled_) WakeWaiters(lock);
  }

 private:
  const DWORD filter_;
  const int wd_;
  const std::string native_;  // to ask the kernel for a smaller mask later
  bool signalled_ = false;    // these three: dispatcher lock
  bool pending_ = false;
  bool retired_ = false;
};

// The process's inotify instance and its reader. Thread rule: any thread adds and removes
// handles (under mutex_); the monitor thread alone reads the descriptor. Ownership: one
// instance for the process run, never destroyed (the monitor thread may outlive any
// static destructor order).
class Monitor {
 public:
  static Monitor& Instance() {
    static Monitor* const monitor = new Monitor;
    return *monitor;
  }

  // A handle on the folder `native` for `filter`, or null with the last error set.
  std::shared_ptr<ChangeObject> Add(const std::string& native, DWORD filter) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (fd_ < 0 && !Start()) return nullptr;
    const int wd = inotify_add_watch(fd_, native.c_str(), MaskFor(filter) | IN_ONLYDIR | IN_MASK_ADD);
    if (wd < 0) return Fail(ErrorFor(errno, native), nullptr);
    auto object = std::make_shared<ChangeObject>(filter, wd, native);
    Watch& watch = watches_[wd];
    watch.objects.push_back(object);
    watch.mask |= MaskFor(filter);
    return object;
  }

  // Takes `object` off its folder's watch; the last one off ends the kernel's watch, others
  // left ask only for what they need.
  void Remove(const std::shared_ptr<ChangeObject>& object) {
    std::lock_guard<std::mutex> guard(mutex_);
    auto it = watches_.find(object->Wd());
    if (it == watches_.end()) return;  // retired: the kernel has ended the watch already
    std::vector<std::shared_ptr<ChangeObject>>& objects = it->second.objects;
    auto mine = std::find(objects.begin(), objects.end(), object);
    if (mine == objects.end()) return;
    objects.erase(mine);
    if (objects.empty()) {
      inotify_rm_watch(fd_, it->first);
      watches_.erase(it);
      return;
    }
    std::uint32_t needed = 0;
    for (const auto& other : objects) needed |= MaskFor(other->Filter());
    if (needed == it->second.mask) return;
    // Replacing the mask goes by path; a folder renamed meanwhile keeps the wider mask.
    const int wd = inotify_add_watch(fd_, objects.front()->Native().c_str(), needed | IN_ONLYDIR);
    if (wd == it->first) {
      it->second.mask = needed;
    } else if (wd >= 0 && watches_.find(wd) == watches_.end()) {
      inotify_rm_watch(fd_, wd);
    }
  }

 private:
  struct Watch {
    std::vector<std::shared_ptr<ChangeObject>> objects;
    std::uint32_t mask = 0;
  };

  Monitor() = default;

  // The platform's error for a folder that cannot be watched.
  static DWORD ErrorFor(int err, const std::string& native) {
    if (err == ENOSPC) return ERROR_NOT_ENOUGH_QUOTA;  // the watch limit, not a full disk
    if (err == ENOTDIR) {
      struct stat st;
      return stat(native.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) ? ERROR_DIRECTORY : ERROR_PATH_NOT_FOUND;
    }
    return VormFiles_details::ErrorForPath(err, native);
  }

  // Opens the instance and starts the monitor; mutex_ held.
  bool Start() {
    fd_ = inotify_init1(IN_CLOEXEC);
    if (fd_ < 0) return Fail(errno == EMFILE ? ERROR_TOO_MANY_OPEN_FILES : VormErrorFromErrno(errno), false);
    try {
      std::thread([this] { Run(); }).detach();
    } catch (const std::system_error&) {
      close(fd_);
      fd_ = -1;
      return Fail(ERROR_NOT_ENOUGH_MEMORY, false);
    }
    return true;
  }

  // The monitor thread: blocks in read(2) until the kernel has events.
  void Run() {
    alignas(inotify_event) unsigned char buffer[64 * 1024];
    std::vector<std::pair<std::shared_ptr<ChangeObject>, bool>> signals;
    for (;;) {
      const ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n <= 0) {
        if (n < 0 && errno == EINTR) continue;
        return;  // the descriptor is gone; nothing more will come
      }
      {
        std::lock_guard<std::mutex> guard(mutex_);
        DecodeEvents(buffer, static_cast<std::size_t>(n), [&](const Event& event) { Collect(event, signals); });
      }
      // Signalled outside the table's lock: the dispatcher lock is never taken under it.
      for (auto& [object, retire] : signals) object->Signal(retire);
      signals.clear();
    }
  }

  // The handles `event` signals; mutex_ held.
  void Collect(const Event& event, std::vector<std::pair<std::shared_ptr<ChangeObject>, bool>>& out) {
    if (event.mask & IN_Q_OVERFLOW) {
      for (const auto& [wd, watch] : watches_) {
        for (const auto& object : watch.objects) out.emplace_back(object, false);
      }
      return;
    }
    auto it = watches_.find(event.wd);
    if (it == watches_.end()) return;
    const bool retire = Retires(event);
    for (const auto& object : it->second.objects) {
      if (Signals(object->Filter(), event)) out.emplace_back(object, retire);
    }
    if (event.mask & IN_IGNORED) watches_.erase(it);  // the kernel has ended this watch
  }

  std::mutex mutex_;
  int fd_ = -1;  // written once under mutex_, before the monitor starts
  std::unordered_map<int, Watch> watches_;
};

std::shared_ptr<ChangeObject> Lookup(HANDLE handle) {
  return VormHandles_details::LookupAs<ChangeObject>(handle, VormObjectType::ChangeNotification);
}

}  // namespace

}  // namespace VormChangeNotify_details

using namespace VormChangeNotify_details;

HANDLE FindFirstChangeNotificationW(const wchar_t* pathName, BOOL watchSubtree, DWORD filter) {
  return VormFiles_details::Guarded(INVALID_HANDLE_VALUE, [&]() -> HANDLE {
    if (filter == 0 || (filter & ~kValidFilter) != 0) return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    if (watchSubtree) return Fail(ERROR_NOT_SUPPORTED, INVALID_HANDLE_VALUE);
    std::string native;
    if (!VormFiles_details::ToNative(pathName, native)) return INVALID_HANDLE_VALUE;
    std::shared_ptr<ChangeObject> object = Monitor::Instance().Add(native, filter);
    if (!object) return INVALID_HANDLE_VALUE;
    HANDLE handle = VormHandles_details::Register(object);
    if (!handle) {
      Monitor::Instance().Remove(object);
      return INVALID_HANDLE_VALUE;
    }
    return handle;
  });
}

BOOL FindNextChangeNotification(HANDLE change) {
  const std::shared_ptr<ChangeObject> object = Lookup(change);
  if (!object) return Fail(ERROR_INVALID_HANDLE, FALSE);
  object->Rearm();
  return TRUE;
}

BOOL FindCloseChangeNotification(HANDLE change) {
  const std::shared_ptr<ChangeObject> object = Lookup(change);
  if (!object || !VormHandles_details::Remove(change, VormObjectType::ChangeNotification)) {
    return Fail(ERROR_INVALID_HANDLE, FALSE);
  }
  Monitor::Instance().Remove(object);
  return TRUE;
}

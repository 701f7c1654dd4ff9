// Internal interface of the change notifications: the decoder of the inotify event stream,
// and which events signal a handle with a given filter. Pure functions; safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include <vorm/platform/files.h>

namespace VormChangeNotify_details {

// One event as the monitor sees it: the watch descriptor (-1 for a queue overflow), the
// inotify mask, and whether it names an entry of the folder (false: about the folder itself).
struct Event {
  int wd = 0;
  std::uint32_t mask = 0;
  bool named = false;
};

// The fixed part of a kernel event record (struct inotify_event without its name; the
// monitor checks that the layouts agree). The name, `len` bytes with NUL padding, follows.
struct RecordHeader {
  std::int32_t wd;
  std::uint32_t mask;
  std::uint32_t cookie;
  std::uint32_t len;
};

// Calls visit(event) for each whole record of `buffer` (`length` bytes, as read(2) left
// them, any alignment); a record cut short by the end of the buffer, or whose name would
// run past it, ends the walk unread. Returns the number of records visited.
template <class Visit>
std::size_t DecodeEvents(const unsigned char* buffer, std::size_t length, Visit&& visit) {
  std::size_t offset = 0, count = 0;
  while (length - offset >= sizeof(RecordHeader)) {
    RecordHeader header;
    std::memcpy(&header, buffer + offset, sizeof header);
    if (header.len > length - offset - sizeof header) break;
    Event event;
    event.wd = header.wd;
    event.mask = header.mask;
    event.named = header.len != 0 && buffer[offset + sizeof header] != 0;
    visit(event);
    ++count;
    offset += sizeof header + header.len;
  }
  return count;
}

// The kernel's event bits (the values of <sys/inotify.h>, which the monitor checks), kept
// here so that the filter rules below are plain inline code.
constexpr std::uint32_t kAccess = 0x00000001, kModify = 0x00000002, kAttrib = 0x00000004, kMovedFrom = 0x00000040,
                        kMovedTo = 0x00000080, kCreate = 0x00000100, kDelete = 0x00000200, kDeleteSelf = 0x00000400,
                        kUnmount = 0x00002000, kOverflow = 0x00004000, kIgnored = 0x00008000, kIsDir = 0x40000000;
constexpr std::uint32_t kNameEvents = kCreate | kDelete | kMovedFrom | kMovedTo;
constexpr DWORD kAttribFilters = FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_LAST_WRITE |
                                 FILE_NOTIFY_CHANGE_LAST_ACCESS | FILE_NOTIFY_CHANGE_SECURITY;

// The inotify events a handle with `filter` (FILE_NOTIFY_CHANGE_* bits) asks the kernel for.
inline std::uint32_t MaskFor(DWORD filter) {
  std::uint32_t mask = kDeleteSelf | kUnmount;
  if (filter & (FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME)) mask |= kNameEvents;
  if (filter & FILE_NOTIFY_CHANGE_CREATION) mask |= kCreate | kMovedTo;
  if (filter & (FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE)) mask |= kModify;
  if (filter & kAttribFilters) mask |= kAttrib;  // `touch` and chmod report only this
  if (filter & FILE_NOTIFY_CHANGE_LAST_ACCESS) mask |= kAccess;
  return mask;
}

// Whether `event` ends the watch of its folder (deleted, unmounted, or its watch removed).
inline bool Retires(const Event& event) { return event.wd >= 0 && (event.mask & (kDeleteSelf | kUnmount | kIgnored)); }

// Whether `event` signals a handle with `filter`. Events about the folder itself never do,
// except its deletion or unmounting (which also retire the handle) and a queue overflow.
inline bool Signals(DWORD filter, const Event& event) {
  if ((event.mask & kOverflow) || Retires(event)) return true;
  if (!event.named) return false;  // about the folder itself, which the platform never reports
  const DWORD nameBit = (event.mask & kIsDir) ? FILE_NOTIFY_CHANGE_DIR_NAME : FILE_NOTIFY_CHANGE_FILE_NAME;
  return ((event.mask & kNameEvents) && (filter & nameBit)) ||
         ((event.mask & (kCreate | kMovedTo)) && (filter & FILE_NOTIFY_CHANGE_CREATION)) ||
         ((event.mask & kModify) && (filter & (FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE))) ||
         ((event.mask & kAttrib) && (filter & kAttribFilters)) ||
         ((event.mask & kAccess) && (filter & FILE_NOTIFY_CHANGE_LAST_ACCESS));
}

}  // namespace VormChangeNotify_details

// Writes a whole byte string to a descriptor, retrying short and interrupted writes; gives
// up silently on an error (diagnostic output has nowhere to report it).
#pragma once

#include <unistd.h>

#include <cerrno>
#include <string>

namespace VormUser_details {

inline void WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

}  // namespace VormUser_details

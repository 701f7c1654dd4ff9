// OutputDebugStringW through its provider; the default writes UTF-8 to standard error or,
// as VORM_DEBUG_OUTPUT says, to a file or nowhere.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>
#include <string_view>

#include <vorm/platform/text.h>
#include <vorm/platform/user.h>

#include "platform/user/provider_slot.h"
#include "platform/user/write_all.h"

using VormUser_details::WriteAll;

namespace {

bool IsOff(std::string_view v) {
  return v.size() == 3 && (v[0] | 0x20) == 'o' && (v[1] | 0x20) == 'f' && (v[2] | 0x20) == 'f';
}

class DefaultDebugOutput final : public VormDebugOutputProvider {
 public:
  void Write(const wchar_t* text) override {
    const std::string bytes = VormToUtf8(text);
    if (bytes.empty()) return;
    const char* target = std::getenv("VORM_DEBUG_OUTPUT");
    if (target && IsOff(target)) return;
    // The lock keeps each text whole even where a single write could be split.
    std::lock_guard<std::mutex> lock(mutex_);
    if (target && *target) {
      // Opened for each text, so a file that is moved or deleted meanwhile is recreated.
      const int fd = ::open(target, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
      if (fd >= 0) {
        WriteAll(fd, bytes);
        ::close(fd);
        return;
      }
    }
    WriteAll(2, bytes);
  }

 private:
  std::mutex mutex_;
};

using Slot = vorm_user_details::ProviderSlot<VormDebugOutputProvider, DefaultDebugOutput>;

Slot& TheSlot() {
  static Slot* slot = new Slot;
  return *slot;
}

}  // namespace

void OutputDebugStringW(const wchar_t* text) {
  if (!text) return;
  TheSlot().Get()->Write(text);
}

void OutputDebugStringA(const char* text) {
  if (!text) return;
  const std::wstring wide = VormFromUtf8(text);
  TheSlot().Get()->Write(wide.c_str());
}

std::shared_ptr<VormDebugOutputProvider> VormSetDebugOutputProvider(std::shared_ptr<VormDebugOutputProvider> provider) {
  return TheSlot().Set(std::move(provider));
}

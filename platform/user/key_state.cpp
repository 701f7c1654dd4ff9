// GetAsyncKeyState through its provider; by default no key is down.
#include <vorm/platform/user.h>

#include "platform/user/provider_slot.h"

namespace {

class NoKeyDown final : public VormKeyStateProvider {
 public:
  SHORT KeyState(int) override { return 0; }
};

using Slot = vorm_user_details::ProviderSlot<VormKeyStateProvider, NoKeyDown>;

Slot& TheSlot() {
  static Slot* slot = new Slot;
  return *slot;
}

}  // namespace

SHORT GetAsyncKeyState(int virtualKey) {
  if (virtualKey < 1 || virtualKey > 254) return 0;
  return TheSlot().Get()->KeyState(virtualKey);
}

std::shared_ptr<VormKeyStateProvider> VormSetKeyStateProvider(std::shared_ptr<VormKeyStateProvider> provider) {
  return TheSlot().Set(std::move(provider));
}

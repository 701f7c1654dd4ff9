// One replaceable provider: the installed object, or a default made on first use.
// Thread-safe: installation and lookup take a lock; the caller keeps the provider alive by
// the shared pointer it gets for the duration of its call.
#pragma once

#include <memory>
#include <mutex>
#include <utility>

namespace vorm_user_details {

template <class Provider, class Default>
class ProviderSlot {
 public:
  std::shared_ptr<Provider> Get() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!current_) current_ = std::make_shared<Default>();
    return current_;
  }

  std::shared_ptr<Provider> Set(std::shared_ptr<Provider> next) {
    if (!next) next = std::make_shared<Default>();
    std::lock_guard<std::mutex> lock(mutex_);
    std::swap(current_, next);
    if (!next) next = std::make_shared<Default>();  // nothing was installed yet
    return next;
  }

 private:
  std::mutex mutex_;
  std::shared_ptr<Provider> current_;
};

}  // namespace vorm_user_details

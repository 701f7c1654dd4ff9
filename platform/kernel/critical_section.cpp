// Critical sections: a recursive lock in the caller's memory. The lock word takes three
// states - 0 free, 1 held, 2 held with sleepers - so an uncontended enter and leave is one
// atomic operation each, and a waiting thread sleeps in the kernel (futex) instead of
// spinning.
#include <atomic>

#include <vorm/platform/sync.h>

namespace {

constexpr LONG kFree = 0;
constexpr LONG kHeld = 1;
constexpr LONG kContended = 2;

std::atomic_ref<LONG> LockWord(CRITICAL_SECTION& section) { return std::atomic_ref<LONG>(section.LockCount); }
// Written by the owner only, read by any thread that asks whether it is the owner.
std::atomic_ref<HANDLE> Owner(CRITICAL_SECTION& section) { return std::atomic_ref<HANDLE>(section.OwningThread); }

HANDLE Me() { return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(GetCurrentThreadId())); }

void Acquired(CRITICAL_SECTION& section, HANDLE me) {
  Owner(section).store(me, std::memory_order_relaxed);
  section.RecursionCount = 1;
}

}  // namespace

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
  if (section) *section = CRITICAL_SECTION{nullptr, kFree, 0, nullptr, nullptr, 0};
}

BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION section, DWORD spinCount) {
  InitializeCriticalSection(section);
  if (section) section->SpinCount = spinCount;
  return TRUE;
}

void DeleteCriticalSection(LPCRITICAL_SECTION section) { InitializeCriticalSection(section); }

void EnterCriticalSection(LPCRITICAL_SECTION section) {
  if (!section) return;
  const HANDLE me = Me();
  if (Owner(*section).load(std::memory_order_relaxed) == me) {
    ++section->RecursionCount;
    return;
  }
  std::atomic_ref<LONG> word = LockWord(*section);
  LONG state = kFree;
  if (!word.compare_exchange_strong(state, kHeld, std::memory_order_acquire)) {
    // Mark the lock contended so the holder wakes someone when it leaves, then sleep until
    // the word changes; whoever finds it free takes it still marked contended.
    if (state != kContended) state = word.exchange(kContended, std::memory_order_acquire);
    while (state != kFree) {
      word.wait(kContended, std::memory_order_relaxed);
      state = word.exchange(kContended, std::memory_order_acquire);
    }
  }
  Acquired(*section, me);
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section) {
  if (!section) return FALSE;
  const HANDLE me = Me();
  if (Owner(*section).load(std::memory_order_relaxed) == me) {
    ++section->RecursionCount;
    return TRUE;
  }
  LONG state = kFree;
  if (!LockWord(*section).compare_exchange_strong(state, kHeld, std::memory_order_acquire)) return FALSE;
  Acquired(*section, me);
  return TRUE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION section) {
  if (!section || Owner(*section).load(std::memory_order_relaxed) != Me()) return;
  if (--section->RecursionCount > 0) return;
  Owner(*section).store(nullptr, std::memory_order_relaxed);
  std::atomic_ref<LONG> word = LockWord(*section);
  if (word.exchange(kFree, std::memory_order_release) == kContended) word.notify_one();
}

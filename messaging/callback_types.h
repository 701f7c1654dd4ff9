// Two members of the callback family that exist as types only: the library constructs and
// destroys them and gives them no other operation.
#pragma once

#include <list>

#include <vorm/callbacks.h>

// Thread rule: one thread at a time. Ownership: lists callbacks it does not own; destroying
// it leaves them alive.
class VormCallbackDispatcher {
 public:
  VormCallbackDispatcher() = default;
  virtual ~VormCallbackDispatcher() { m_callbacks.clear(); }

 protected:
  std::list<VormCallback*> m_callbacks;
};

// Thread rule: none needed (no state). Ownership: none.
class VormChangeManager {
 public:
  VormChangeManager() = default;
  virtual ~VormChangeManager() = default;
};

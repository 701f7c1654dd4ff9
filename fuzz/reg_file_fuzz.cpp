// The registry file: parse -> write -> parse. Any bytes either parse or fail with a reason; a
// tree that parsed is written, and the written text must parse back to the same tree (names
// as spelled, value order, types and data) and write out to the same text again.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "platform/registry/reg_tree.h"

namespace {

using registry_details::RegKey;
using registry_details::RegTree;

bool SameKey(const RegKey& a, const RegKey& b) {
  if (a.name() != b.name() || a.values().size() != b.values().size() || a.children().size() != b.children().size()) {
    return false;
  }
  for (size_t i = 0; i < a.values().size(); ++i) {
    const auto& x = a.values()[i];
    const auto& y = b.values()[i];
    if (x.name != y.name || x.type != y.type || x.data != y.data) return false;
  }
  for (size_t i = 0; i < a.children().size(); ++i) {
    if (!SameKey(*a.children()[i], *b.children()[i])) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  RegTree first;
  std::string error;
  if (!registry_details::ParseRegFile(bytes, &first, &error)) {
    FUZZ_CHECK(!error.empty());
    return 0;
  }
  const std::string written = registry_details::FormatRegFile(first);
  RegTree second;
  FUZZ_CHECK(registry_details::ParseRegFile(written, &second, &error));
  for (int i = 0; i < registry_details::kRootCount; ++i) FUZZ_CHECK(SameKey(*first.roots[i], *second.roots[i]));
  FUZZ_CHECK(registry_details::FormatRegFile(second) == written);
  return 0;
}

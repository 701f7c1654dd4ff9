#include "support/temp_tree.h"

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include <stdlib.h>

#include <vorm/platform/text.h>

namespace vorm_test {

TempTree::TempTree() {
  std::string base = (std::filesystem::temp_directory_path() / "vormtest.XXXXXX").string();
  if (!mkdtemp(base.data())) throw std::runtime_error("mkdtemp failed");
  root_ = base;
}

TempTree::~TempTree() {
  std::error_code ec;
  // Make everything writable again so removal cannot fail on read-only entries.
  for (auto it = std::filesystem::recursive_directory_iterator(root_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_symlink()) {
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                   ec);
    }
  }
  std::filesystem::remove_all(root_, ec);
}

std::wstring TempTree::wroot() const { return VormFromUtf8(root_.string()) + L"/"; }

std::wstring TempTree::wpath(const std::string& rel) const { return VormFromUtf8((root_ / rel).string()); }

void TempTree::Make(std::initializer_list<std::string> paths) const {
  for (const std::string& p : paths) {
    if (!p.empty() && p.back() == '/') {
      std::filesystem::create_directories(root_ / p);
    } else {
      std::filesystem::create_directories((root_ / p).parent_path());
      WriteFile(p, p);
    }
  }
}

void TempTree::WriteFile(const std::string& rel, const std::string& content) const {
  std::ofstream out(root_ / rel, std::ios::binary | std::ios::trunc);
  out << content;
}

std::string TempTree::ReadFile(const std::string& rel) const {
  std::ifstream in(root_ / rel, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace vorm_test

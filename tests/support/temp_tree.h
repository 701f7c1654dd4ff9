// Test support: a fresh temporary folder per test, removed afterwards, and a helper that
// builds a tree from a short list of relative paths (a trailing '/' makes a folder).
#pragma once

#include <filesystem>
#include <initializer_list>
#include <string>

namespace vorm_test {

class TempTree {
 public:
  TempTree();
  ~TempTree();
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const std::filesystem::path& root() const { return root_; }
  // Root as a wide string with a trailing '/'.
  std::wstring wroot() const;
  // Absolute wide path of a relative one.
  std::wstring wpath(const std::string& rel) const;
  // Creates folders ("a/b/") and files ("a/b/f.txt", content = its own name).
  void Make(std::initializer_list<std::string> paths) const;
  void WriteFile(const std::string& rel, const std::string& content) const;
  std::string ReadFile(const std::string& rel) const;

 private:
  std::filesystem::path root_;
};

// Sentinel for the last error before a platform call under test.
constexpr unsigned kErrorSentinel = 0xDEADBEEF;

}  // namespace vorm_test

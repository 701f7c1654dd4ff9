// Test support for tree code that must never leave its tree: a tree whose names the path
// grammar would read as separators, ".." steps, drives, wildcards or quotes, sentinels
// around it, byte-exact listings and an unprivileged child process.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace vorm_test {

// Builds the hostile tree in `tree` (created, with its parents) and returns its entries as
// TreeContents lists them.
std::vector<std::string> MakeHostileTree(const std::filesystem::path& tree);

// Sentinel files beside and above `tree`, named so that a tree operation that misreads a
// hostile name would reach them ("../keep.txt", "../../keep.txt", "../x.txt", "../?", ...).
void MakeSentinels(const std::filesystem::path& tree);
// Whether every sentinel of MakeSentinels is still there with its content.
bool SentinelsIntact(const std::filesystem::path& tree);

// Every entry below `root` as "rel" + "=content" (files), "rel/" (folders) or
// "rel->target" (links), with the names' bytes as on disk, sorted.
std::vector<std::string> TreeContents(const std::filesystem::path& root);

// Runs `body` in a child process as an unprivileged user (uid 65534 when the test runs as
// root) and returns its exit code; 77 when no such child could be made.
int RunUnprivileged(const std::function<int()>& body);

}  // namespace vorm_test

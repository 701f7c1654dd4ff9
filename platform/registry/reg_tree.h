// In-memory registry tree and its .reg text form. Internal to platform/registry.
//
// A RegTree is plain data: one thread at a time (the store holds its mutex around it).
// Values keep their data in process form: string types (REG_SZ, REG_EXPAND_SZ,
// REG_MULTI_SZ) as wchar_t units, everything else as the bytes the caller gave.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <vorm/platform/wintypes.h>

namespace registry_details {

struct RegValue {
  std::wstring name;  // empty for the default value ("@" in the file)
  DWORD type = 0;
  std::vector<BYTE> data;
};

// A key owns its sub-keys and values. Names keep the case they were created with;
// lookups fold case. Sub-keys and values keep their creation order.
class RegKey {
 public:
  explicit RegKey(std::wstring name) : name_(std::move(name)) {}

  const std::wstring& name() const { return name_; }

  RegKey* FindChild(std::wstring_view name) const;
  // Returns the existing child or a new one; `created` tells which.
  RegKey* GetOrAddChild(std::wstring_view name, bool* created);
  void RemoveChild(std::wstring_view name);
  const std::vector<std::unique_ptr<RegKey>>& children() const { return children_; }

  const RegValue* FindValue(std::wstring_view name) const;
  void SetValue(std::wstring_view name, DWORD type, std::vector<BYTE> data);
  bool RemoveValue(std::wstring_view name);
  const std::vector<RegValue>& values() const { return values_; }

 private:
  std::wstring name_;
  std::vector<std::unique_ptr<RegKey>> children_;
  std::unordered_map<std::wstring, RegKey*> childIndex_;  // folded name -> child
  std::vector<RegValue> values_;
};

// The predefined roots, in the order of their handle values (0x80000000 + index).
constexpr int kRootCount = 4;
extern const wchar_t* const kRootNames[kRootCount];

struct RegTree {
  RegTree();
  std::unique_ptr<RegKey> roots[kRootCount];
};

// The deepest a key may lie below its root, as on the platform. Deeper keys are refused (a
// file holding one is malformed), which keeps the tree's recursive walks shallow.
constexpr size_t kMaxKeyDepth = 512;

// Case folding used for key and value names (per code point).
std::wstring FoldName(std::wstring_view name);

// Splits "a\b\c" into its components. A trailing backslash is allowed; an empty
// component elsewhere (leading "\", "a\\b") makes the path invalid (returns false).
//   "Software\Vorm"  => {"Software", "Vorm"}
//   "Software\"      => {"Software"}
//   ""               => {}
//   "\Software"      => false
bool SplitKeyPath(std::wstring_view path, std::vector<std::wstring>* parts);

// Parses a whole .reg file (raw bytes: UTF-8 with or without BOM, or UTF-16LE with BOM).
// Returns false for a malformed file and then leaves `*tree` unspecified; `*error`
// names the first offending line ("line 7: bad hex byte").
bool ParseRegFile(std::string_view bytes, RegTree* tree, std::string* error);

// Writes the tree in the .reg text form (LF line ends) that ParseRegFile reads back to the
// same tree: UTF-8, or UTF-16LE with its mark when a name holds a lone surrogate, which UTF-8
// cannot carry (such names come from UTF-16 files).
std::string FormatRegFile(const RegTree& tree);

// wchar_t units <-> UTF-16LE bytes, as string data is kept in hex(1)/hex(2)/hex(7) lines.
// Code points above U+10FFFF cannot be written (returns false); a byte count that is
// odd cannot be read (returns false).
bool WideToUtf16Le(const wchar_t* units, size_t count, std::vector<BYTE>* out);
bool Utf16LeToWide(const BYTE* bytes, size_t count, std::wstring* out);

}  // namespace registry_details

// The registry tree and its .reg text form: parsing and writing.
#include "platform/registry/reg_tree.h"

#include <cstring>

#include <vorm/platform/registry.h>
#include <vorm/platform/text.h>

namespace registry_details {

const wchar_t* const kRootNames[kRootCount] = {L"HKEY_CLASSES_ROOT", L"HKEY_CURRENT_USER", L"HKEY_LOCAL_MACHINE",
                                               L"HKEY_USERS"};

namespace {

// Short root names that hand-written files sometimes use.
const wchar_t* const kRootShortNames[kRootCount] = {L"HKCR", L"HKCU", L"HKLM", L"HKU"};

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::wstring_view Trim(std::wstring_view s) {
  while (!s.empty() && (IsBlank(s.front()) || s.front() == L'\r')) s.remove_prefix(1);
  while (!s.empty() && (IsBlank(s.back()) || s.back() == L'\r')) s.remove_suffix(1);
  return s;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (VormToLower(a[i]) != VormToLower(b[i])) return false;
  }
  return true;
}

bool StartsWithNoCase(std::wstring_view s, std::wstring_view prefix) {
  return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// Parses 1..8 hex digits (the whole of `s`).
bool ParseHex32(std::wstring_view s, DWORD* out) {
  if (s.empty() || s.size() > 8) return false;
  DWORD v = 0;
  for (wchar_t c : s) {
    int d = HexDigit(c);
    if (d < 0) return false;
    v = (v << 4) | static_cast<DWORD>(d);
  }
  *out = v;
  return true;
}

// Parses a comma-separated list of hex bytes ("01,ab, 2"), a trailing comma allowed.
bool ParseHexBytes(std::wstring_view s, std::vector<BYTE>* out) {
  out->clear();
  s = Trim(s);
  while (!s.empty()) {
    size_t comma = s.find(L',');
    std::wstring_view token = Trim(s.substr(0, comma));
    DWORD v = 0;
    if (token.size() > 2 || !ParseHex32(token, &v)) return false;
    out->push_back(static_cast<BYTE>(v));
    if (comma == std::wstring_view::npos) break;
    s = Trim(s.substr(comma + 1));
  }
  return true;
}

// Reads a quoted text starting at s[*pos] == '"' with the \\ and \" escapes; leaves
// *pos after the closing quote.
bool ParseQuoted(std::wstring_view s, size_t* pos, std::wstring* out) {
  out->clear();
  size_t i = *pos + 1;
  while (i < s.size()) {
    wchar_t c = s[i];
    if (c == L'"') {
      *pos = i + 1;
      return true;
    }
    if (c == L'\\') {
      if (i + 1 >= s.size() || (s[i + 1] != L'\\' && s[i + 1] != L'"')) return false;
      out->push_back(s[i + 1]);
      i += 2;
      continue;
    }
    out->push_back(c);
    ++i;
  }
  return false;
}

void AppendQuoted(std::wstring_view text, std::wstring* out) {
  out->push_back(L'"');
  for (wchar_t c : text) {
    if (c == L'\\' || c == L'"') out->push_back(L'\\');
    out->push_back(c);
  }
  out->push_back(L'"');
}

std::vector<BYTE> UnitsToBytes(const std::wstring& units) {
  std::vector<BYTE> bytes(units.size() * sizeof(wchar_t));
  if (!bytes.empty()) std::memcpy(bytes.data(), units.data(), bytes.size());
  return bytes;
}

// Decodes the file's bytes into wide text according to its BOM.
bool DecodeFile(std::string_view bytes, std::wstring* text) {
  if (bytes.size() >= 2 && static_cast<BYTE>(bytes[0]) == 0xFF && static_cast<BYTE>(bytes[1]) == 0xFE) {
    return Utf16LeToWide(reinterpret_cast<const BYTE*>(bytes.data()) + 2, bytes.size() - 2, text);
  }
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  *text = VormFromUtf8(bytes);
  return true;
}

class Parser {
 public:
  Parser(RegTree* tree, std::string* error) : tree_(tree), error_(error) {}

  bool Parse(const std::wstring& text) {
    // Split into lines up front so that continuations can pull the following lines.
    size_t start = 0;
    while (start <= text.size()) {
      size_t nl = text.find(L'\n', start);
      if (nl == std::wstring::npos) nl = text.size();
      lines_.emplace_back(text.data() + start, nl - start);
      start = nl + 1;
    }
    bool headerSeen = false;
    for (line_ = 0; line_ < lines_.size(); ++line_) {
      std::wstring_view l = Trim(lines_[line_]);
      if (l.empty() || l.front() == L';') continue;
      if (!headerSeen) {
        if (VormToUtf8(l) != kHeader) return Fail("missing 'Windows Registry Editor Version 5.00' header");
        headerSeen = true;
        continue;
      }
      if (l.front() == L'[') {
        if (!ParseSection(l)) return false;
      } else if (l.front() == L'"' || l.front() == L'@') {
        if (!ParseValue(l)) return false;
      } else {
        return Fail("unexpected text");
      }
    }
    return true;
  }

 private:
  bool Fail(const char* what) {
    *error_ = "line " + std::to_string(line_ + 1) + ": " + what;
    return false;
  }

  bool ParseSection(std::wstring_view l) {
    if (l.back() != L']') return Fail("section without ']'");
    std::wstring_view inner = l.substr(1, l.size() - 2);
    bool remove = !inner.empty() && inner.front() == L'-';
    if (remove) inner.remove_prefix(1);
    size_t sep = inner.find(L'\\');
    std::wstring_view rootName = inner.substr(0, sep);
    int root = -1;
    for (int i = 0; i < kRootCount; ++i) {
      if (EqualsNoCase(rootName, kRootNames[i]) || EqualsNoCase(rootName, kRootShortNames[i])) root = i;
    }
    if (root < 0) return Fail("unknown root key");
    std::vector<std::wstring> parts;
    if (sep != std::wstring_view::npos && !SplitKeyPath(inner.substr(sep + 1), &parts)) {
      return Fail("empty key name in path");
    }
    if (!remove && parts.size() > kMaxKeyDepth) return Fail("key nested deeper than 512 levels");
    RegKey* key = tree_->roots[root].get();
    if (remove) {
      // "[-path]" deletes the key with its sub-keys; values below it until the next
      // section have nowhere to go and are skipped.
      for (size_t i = 0; key && i + 1 < parts.size(); ++i) key = key->FindChild(parts[i]);
      if (key && !parts.empty()) key->RemoveChild(parts.back());
      current_ = nullptr;
      skipping_ = true;
      return true;
    }
    for (const std::wstring& p : parts) key = key->GetOrAddChild(p, nullptr);
    current_ = key;
    skipping_ = false;
    return true;
  }

  bool ParseValue(std::wstring_view l) {
    std::wstring name;
    size_t pos = 0;
    if (l.front() == L'@') {
      pos = 1;
    } else if (!ParseQuoted(l, &pos, &name)) {
      return Fail("bad value name");
    }
    while (pos < l.size() && IsBlank(l[pos])) ++pos;
    if (pos >= l.size() || l[pos] != L'=') return Fail("'=' expected after the value name");
    std::wstring_view data = Trim(l.substr(pos + 1));
    if (!current_ && !skipping_) return Fail("value outside any key");

    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
    if (data == L"-") {
      if (current_) current_->RemoveValue(name);
      return true;
    }
    if (!data.empty() && data.front() == L'"') {
      size_t end = 0;
      std::wstring text;
      if (!ParseQuoted(data, &end, &text)) return Fail("bad quoted string");
      if (!Trim(data.substr(end)).empty()) return Fail("text after the closing quote");
      text.push_back(L'\0');
      type = REG_SZ;
      bytes = UnitsToBytes(text);
    } else if (StartsWithNoCase(data, L"dword:")) {
      DWORD v = 0;
      if (!ParseHex32(Trim(data.substr(6)), &v)) return Fail("bad dword");
      type = REG_DWORD;
      bytes.resize(4);
      std::memcpy(bytes.data(), &v, 4);  // the host is little-endian, as the platform
    } else if (StartsWithNoCase(data, L"hex")) {
      std::wstring_view rest = data.substr(3);
      type = REG_BINARY;
      if (!rest.empty() && rest.front() == L'(') {
        size_t close = rest.find(L')');
        if (close == std::wstring_view::npos || !ParseHex32(rest.substr(1, close - 1), &type)) {
          return Fail("bad hex(type)");
        }
        rest.remove_prefix(close + 1);
      }
      if (rest.empty() || rest.front() != L':') return Fail("':' expected after hex");
      std::wstring list(Trim(rest.substr(1)));
      // A trailing backslash continues the byte list on the next line.
      while (!list.empty() && list.back() == L'\\') {
        list.pop_back();
        if (++line_ >= lines_.size() || Trim(lines_[line_]).empty()) return Fail("continuation into nothing");
        list += Trim(lines_[line_]);
      }
      if (!ParseHexBytes(list, &bytes)) return Fail("bad hex byte list");
      if (IsStringType(type)) {
        std::wstring units;
        if (!Utf16LeToWide(bytes.data(), bytes.size(), &units)) return Fail("odd byte count in UTF-16 text");
        bytes = UnitsToBytes(units);
      }
    } else {
      return Fail("unknown value data");
    }
    if (current_) current_->SetValue(name, type, std::move(bytes));
    return true;
  }

  RegTree* tree_;
  std::string* error_;
  std::vector<std::wstring_view> lines_;
  size_t line_ = 0;
  RegKey* current_ = nullptr;
  bool skipping_ = false;
};

void AppendHexData(std::wstring* out, size_t lineStart, const std::vector<BYTE>& bytes) {
  static const wchar_t kDigits[] = L"0123456789abcdef";
  size_t column = out->size() - lineStart;
  for (size_t i = 0; i < bytes.size(); ++i) {
    out->push_back(kDigits[bytes[i] >> 4]);
    out->push_back(kDigits[bytes[i] & 15]);
    column += 2;
    if (i + 1 < bytes.size()) {
      out->push_back(L',');
      ++column;
      if (column > 76) {
        out->append(L"\\\n  ");
        column = 2;
      }
    }
  }
}

// True when REG_SZ data can be written as "text": one terminator at the end and no
// character that the quoted form cannot carry on one line.
bool FitsQuoted(const std::wstring& units) {
  if (units.empty() || units.back() != L'\0') return false;
  for (size_t i = 0; i + 1 < units.size(); ++i) {
    wchar_t c = units[i];
    if (c == L'\0' || c == L'\r' || c == L'\n' || (c >= 0xD800 && c <= 0xDFFF) ||
        static_cast<unsigned long>(c) > 0x10FFFF) {
      return false;
    }
  }
  return true;
}

void AppendValue(const RegValue& v, std::wstring* out) {
  const size_t lineStart = out->size();
  if (v.name.empty()) {
    *out += L"@";
  } else {
    AppendQuoted(v.name, out);
  }
  out->push_back(L'=');
  if (IsStringType(v.type)) {
    std::wstring units(v.data.size() / sizeof(wchar_t), L'\0');
    if (!units.empty()) std::memcpy(units.data(), v.data.data(), units.size() * sizeof(wchar_t));
    if (v.type == REG_SZ && FitsQuoted(units)) {
      AppendQuoted(std::wstring_view(units).substr(0, units.size() - 1), out);
      out->push_back(L'\n');
      return;
    }
    for (wchar_t& c : units) {
      if (static_cast<unsigned long>(c) > 0x10FFFF) c = 0xFFFD;  // never stored; see RegSetValueExW
    }
    std::vector<BYTE> utf16;
    WideToUtf16Le(units.data(), units.size(), &utf16);
    *out += L"hex(" + std::to_wstring(v.type) + L"):";
    AppendHexData(out, lineStart, utf16);
  } else if (v.type == REG_DWORD && v.data.size() == 4) {
    DWORD d = 0;
    std::memcpy(&d, v.data.data(), 4);
    char buf[16];
    std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(d));
    *out += VormFromUtf8(buf);
  } else {
    if (v.type == REG_BINARY) {
      *out += L"hex:";
    } else {
      char buf[24];
      std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(v.type));
      *out += VormFromUtf8(buf);
    }
    AppendHexData(out, lineStart, v.data);
  }
  out->push_back(L'\n');
}

// `path` is the key's path; children extend it in place and restore it, so a deep tree costs
// one path, not one per level.
void AppendKey(const RegKey& key, std::wstring& path, bool isRoot, std::wstring* out) {
  // Every key gets its section so that empty keys survive; a root only when it has values.
  if (!isRoot || !key.values().empty()) {
    out->push_back(L'[');
    out->append(path);
    out->append(L"]\n");
    for (const RegValue& v : key.values()) AppendValue(v, out);
    out->push_back(L'\n');
  }
  const size_t length = path.size();
  for (const auto& child : key.children()) {
    path += L'\\';
    path += child->name();
    AppendKey(*child, path, false, out);
    path.resize(length);
  }
}

}  // namespace

std::wstring FoldName(std::wstring_view name) {
  std::wstring folded(name);
  for (wchar_t& c : folded) c = VormToLower(c);
  return folded;
}

RegKey* RegKey::FindChild(std::wstring_view name) const {
  auto it = childIndex_.find(FoldName(name));
  return it == childIndex_.end() ? nullptr : it->second;
}

RegKey* RegKey::GetOrAddChild(std::wstring_view name, bool* created) {
  std::wstring folded = FoldName(name);
  auto it = childIndex_.find(folded);
  if (created) *created = it == childIndex_.end();
  if (it != childIndex_.end()) return it->second;
  children_.push_back(std::make_unique<RegKey>(std::wstring(name)));
  RegKey* child = children_.back().get();
  childIndex_.emplace(std::move(folded), child);
  return child;
}

void RegKey::RemoveChild(std::wstring_view name) {
  auto it = childIndex_.find(FoldName(name));
  if (it == childIndex_.end()) return;
  RegKey* child = it->second;
  childIndex_.erase(it);
  for (auto c = children_.begin(); c != children_.end(); ++c) {
    if (c->get() == child) {
      children_.erase(c);
      break;
    }
  }
}

const RegValue* RegKey::FindValue(std::wstring_view name) const {
  std::wstring folded = FoldName(name);
  for (const RegValue& v : values_) {
    if (v.name.size() == folded.size() && FoldName(v.name) == folded) return &v;
  }
  return nullptr;
}

void RegKey::SetValue(std::wstring_view name, DWORD type, std::vector<BYTE> data) {
  if (const RegValue* existing = FindValue(name)) {
    // Keeps the value's place and the spelling of its name, as the platform does.
    RegValue& v = values_[static_cast<size_t>(existing - values_.data())];
    v.type = type;
    v.data = std::move(data);
    return;
  }
  values_.push_back(RegValue{std::wstring(name), type, std::move(data)});
}

bool RegKey::RemoveValue(std::wstring_view name) {
  const RegValue* v = FindValue(name);
  if (!v) return false;
  values_.erase(values_.begin() + (v - values_.data()));
  return true;
}

RegTree::RegTree() {
  for (int i = 0; i < kRootCount; ++i) roots[i] = std::make_unique<RegKey>(kRootNames[i]);
}

bool SplitKeyPath(std::wstring_view path, std::vector<std::wstring>* parts) {
  parts->clear();
  if (!path.empty() && path.back() == L'\\') path.remove_suffix(1);
  if (path.empty()) return true;
  size_t start = 0;
  while (true) {
    size_t sep = path.find(L'\\', start);
    std::wstring_view part = path.substr(start, sep == std::wstring_view::npos ? std::wstring_view::npos : sep - start);
    if (part.empty()) return false;
    parts->emplace_back(part);
    if (sep == std::wstring_view::npos) return true;
    start = sep + 1;
  }
}

bool ParseRegFile(std::string_view bytes, RegTree* tree, std::string* error) {
  std::wstring text;
  if (!DecodeFile(bytes, &text)) {
    *error = "odd byte count in a UTF-16 file";
    return false;
  }
  return Parser(tree, error).Parse(text);
}

std::string FormatRegFile(const RegTree& tree) {
  std::wstring text = VormFromUtf8(kHeader);
  text.append(L"\n\n");
  for (int i = 0; i < kRootCount; ++i) {
    std::wstring path = kRootNames[i];
    AppendKey(*tree.roots[i], path, true, &text);
  }
  // UTF-8, unless a name holds what UTF-8 cannot carry (a lone surrogate read from a UTF-16
  // file): then UTF-16LE with its mark, the platform's own form, so no name is ever changed.
  std::string utf8 = VormToUtf8(text);
  std::vector<BYTE> utf16;
  if (VormFromUtf8(utf8) == text || !WideToUtf16Le(text.data(), text.size(), &utf16)) return utf8;
  std::string out("\xFF\xFE");
  out.append(utf16.begin(), utf16.end());
  return out;
}

bool WideToUtf16Le(const wchar_t* units, size_t count, std::vector<BYTE>* out) {
  out->clear();
  out->reserve(count * 2);
  auto put = [out](unsigned u) {
    out->push_back(static_cast<BYTE>(u & 0xFF));
    out->push_back(static_cast<BYTE>(u >> 8));
  };
  for (size_t i = 0; i < count; ++i) {
    unsigned long c = static_cast<unsigned long>(units[i]);
    if (c > 0x10FFFF) return false;
    if (c >= 0x10000) {
      c -= 0x10000;
      put(0xD800 + static_cast<unsigned>(c >> 10));
      put(0xDC00 + static_cast<unsigned>(c & 0x3FF));
    } else {
      put(static_cast<unsigned>(c));  // lone surrogates travel as themselves
    }
  }
  return true;
}

bool Utf16LeToWide(const BYTE* bytes, size_t count, std::wstring* out) {
  out->clear();
  if (count % 2 != 0) return false;
  size_t n = count / 2;
  out->reserve(n);
  for (size_t i = 0; i < n; ++i) {
    unsigned u = bytes[2 * i] | (static_cast<unsigned>(bytes[2 * i + 1]) << 8);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n) {
      unsigned low = bytes[2 * i + 2] | (static_cast<unsigned>(bytes[2 * i + 3]) << 8);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        out->push_back(static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00)));
        ++i;
        continue;
      }
    }
    out->push_back(static_cast<wchar_t>(u));
  }
  return true;
}

}  // namespace registry_details

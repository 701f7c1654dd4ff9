// Writing documents: serialisation, the declared encoding, and the atomic file replace.
#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <utility>
#include <vector>

#include <vorm/platform/files.h>
#include <vorm/platform/kernel.h>
#include <vorm/platform/text.h>

#include "platform/xmldom/dom_internal.h"

namespace VormXmlDom_details {

namespace {

// Collects what pugixml writes and scans each piece as it arrives, while it is still in the
// cache: the finished text's scan tells whether it holds a character XML cannot represent,
// references, "xml:space" or carriage returns, without reading it all again.
class BufferWriter : public pugi::xml_writer {
 public:
  explicit BufferWriter(ByteBuffer& out) : out_(out), scanner_(false) {}
  void write(const void* data, size_t size) override { Add(static_cast<const char*>(data), size); }
  // The scan of everything written; once, after the save.
  TextScan Finish() {
    scanner_.Advance(out_.View(), true);
    return scanner_.Result();
  }

 protected:
  void Add(const char* data, size_t size) {
    out_.Append(data, size);
    scanner_.Advance(out_.View(), false);
  }

 private:
  ByteBuffer& out_;
  TextScanner scanner_;
};

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

void AppendEscaped(std::string& out, std::string_view value) {
  for (char c : value) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '"': out += "&quot;"; break;
      case '\t': out += "&#9;"; break;
      case '\n': out += "&#10;"; break;
      case '\r': out += "&#13;"; break;
      default: out += c;
    }
  }
}

// Encodes UTF-8 text in the declared encoding. UTF-16 gets a byte-order mark, as readers
// of "UTF-16" need one to know the byte order.
HRESULT Encode(const std::string& declared, ByteBuffer& text) {
  const std::string upper = Upper(declared);
  if (upper.empty() || upper == "UTF-8" || upper == "UTF8") return S_OK;
  const bool utf16 = upper == "UTF-16" || upper == "UNICODE";
  std::string encoded;
  bool unsupported = false;
  size_t converted = 0;
  if (!Recode(text.View(), "UTF-8", utf16 ? "UTF-16LE" : declared.c_str(), encoded, unsupported, converted)) {
    const std::wstring name = VormFromUtf8(declared);
    const std::wstring reason =
        unsupported ? L"The document's encoding '" + name + L"' is not supported for saving."
                    : L"The document holds a character that the encoding '" + name + L"' cannot represent.";
    return Fail(E_FAIL, reason.c_str());
  }
  text.Clear();
  if (utf16) text.Append("\xFF\xFE", 2);
  text.Append(encoded.data(), encoded.size());
  return S_OK;
}

HRESULT FromErrno(int err) {
  const DWORD code = (err == ENOENT || err == ENOTDIR) ? ERROR_PATH_NOT_FOUND : VormErrorFromErrno(err);
  return HRESULT_FROM_WIN32(code);
}

bool WriteFully(int fd, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// A name for the temporary file next to the target: hidden, and unlikely to be taken.
std::string TemporaryName(const std::string& folder, const std::string& base) {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  char suffix[24];
  std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random()));
  return folder + "/." + base + ".tmp" + suffix;
}

// Indenting puts `depth` tabs before each line, so the file of a deep document would
// grow with the square of its depth. The indenting writer gives up at the first line
// indented deeper than this, and the document is written without indentation instead.
constexpr size_t kMaxIndent = 256;

struct TooDeepToIndent {};

class IndentingWriter final : public BufferWriter {
 public:
  explicit IndentingWriter(ByteBuffer& out) : BufferWriter(out) {}
  void write(const void* data, size_t size) override {
    const std::string_view chunk(static_cast<const char*>(data), size);
    const size_t leading = chunk.find_first_not_of('\t');
    if (run_ + (leading == std::string_view::npos ? size : leading) >= kMaxIndent || HasLongTabRun(chunk))
      throw TooDeepToIndent();
    const size_t last = chunk.find_last_not_of('\t');
    run_ = last == std::string_view::npos ? run_ + size : size - last - 1;
    Add(chunk.data(), chunk.size());
  }

 private:
  // Whether `chunk` holds kMaxIndent tabs in a row. Such a run covers a multiple of
  // kMaxIndent, so only the tabs at those places need a closer look.
  static bool HasLongTabRun(std::string_view chunk) {
    for (size_t at = 0; at < chunk.size(); at += kMaxIndent) {
      if (chunk[at] != '\t') continue;
      size_t first = at, end = at + 1;
      while (first > 0 && chunk[first - 1] == '\t') --first;
      while (end < chunk.size() && chunk[end] == '\t' && end - first < kMaxIndent) ++end;
      if (end - first >= kMaxIndent) return true;
    }
    return false;
  }

  size_t run_ = 0;  // tabs at the end of what was written so far
};

// pugixml writes control characters as numeric references ("&#01;"), which no XML 1.0
// reader accepts; a literal '&' is always written "&amp;", so every "&#" is such a one.
bool HasForbiddenCharacterReference(std::string_view text) {
  for (size_t at = text.find("&#"); at != std::string_view::npos; at = text.find("&#", at + 2)) {
    unsigned value = 0;
    size_t i = at + 2;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && value < 0x110000)
      value = value * 10 + (text[i++] - '0');
    if (value < 0x20 && value != 0x9 && value != 0xA && value != 0xD) return true;
  }
  return false;
}

// pugixml writes a carriage return in text as it is, and a reader turns it into a line
// feed. Such text is written again with each CR swapped for a control character, which
// pugixml writes as "&#01;" and which is then changed into "&#13;". Text of the subtree
// is restored before this returns. Only for output that holds a CR and no "&#01;" of its
// own (that fails the save anyway).
template <typename Write>
bool EscapeCarriageReturns(pugi::xml_node subtree, ByteBuffer& out, const TextScan& scan, Write write) {
  const std::string_view written = out.View();
  if (!scan.carriageReturns || (scan.references && HasForbiddenCharacterReference(written))) return false;
  std::vector<std::pair<pugi::xml_node, std::string>> changed;
  struct Restore {
    std::vector<std::pair<pugi::xml_node, std::string>>& nodes;
    ~Restore() {
      for (auto& [node, value] : nodes) node.set_value(value.c_str(), value.size());
    }
  } restore{changed};
  for (pugi::xml_node n = subtree; n; n = NextInSubtree(n, subtree)) {
    if (n.type() != pugi::node_pcdata || !std::strchr(n.value(), '\r')) continue;
    changed.emplace_back(n, n.value());
    std::string swapped = changed.back().second;
    std::replace(swapped.begin(), swapped.end(), '\r', '\x01');
    if (!n.set_value(swapped.c_str(), swapped.size())) throw std::bad_alloc();
  }
  if (changed.empty()) return false;
  out.Clear();
  write();
  std::string fixed(out.View());
  for (size_t at = fixed.find("&#01;"); at != std::string::npos; at = fixed.find("&#01;", at + 5))
    fixed.replace(at, 5, "&#13;");
  out.Clear();
  out.Append(fixed.data(), fixed.size());
  return true;
}

}  // namespace

bool Recode(std::string_view in, const char* from, const char* to, std::string& out, bool& unsupported,
            size_t& converted) {
  unsupported = false;
  converted = 0;
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    unsupported = true;
    return false;
  }
  out.resize(in.size() * 2 + 16);
  char* source = const_cast<char*>(in.data());  // iconv does not write through it
  size_t sourceLeft = in.size();
  bool ok = true;
  while (sourceLeft > 0) {
    char* target = out.data() + converted;
    size_t targetLeft = out.size() - converted;
    const size_t r = iconv(cd, &source, &sourceLeft, &target, &targetLeft);
    converted = out.size() - targetLeft;
    if (r != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      out.resize(out.size() * 2);
      continue;
    }
    ok = false;  // EILSEQ or EINVAL: no character of the encoding
    break;
  }
  if (ok) {  // flush a shift state, if the encoding has one
    char* target = out.data() + converted;
    size_t targetLeft = out.size() - converted;
    iconv(cd, nullptr, nullptr, &target, &targetLeft);
    converted = out.size() - targetLeft;
  }
  iconv_close(cd);
  out.resize(converted);
  return ok;
}

void ByteBuffer::Append(const char* data, size_t size) {
  if (size > capacity_ - size_) {
    // Doubling keeps appends amortised; for large blocks realloc remaps pages instead of
    // copying them.
    size_t capacity = capacity_ < 4096 ? 4096 : capacity_;
    while (capacity - size_ < size) capacity *= 2;
    auto* grown = static_cast<char*>(std::realloc(data_, capacity));
    if (!grown) throw std::bad_alloc();
    data_ = grown;
    capacity_ = capacity;
  }
  std::memcpy(data_ + size_, data, size);
  size_ += size;
}

HRESULT SerializeDocument(const Tree& tree, bool preserveWhiteSpace, ByteBuffer& out) {
  // Indentation adds whitespace-only text, which a reader drops, unless whitespace is
  // preserved: then the document is written as it stands.
  bool raw = preserveWhiteSpace;
  TextScan scan;
  if (!raw) {
    try {
      out.Clear();
      IndentingWriter writer(out);
      tree.doc.save(writer, "\t", pugi::format_indent | pugi::format_no_declaration, pugi::encoding_utf8);
      scan = writer.Finish();
      raw = scan.xmlSpace;
    } catch (const TooDeepToIndent&) {
      raw = true;
    }
  }
  if (raw) {
    out.Clear();
    BufferWriter writer(out);
    tree.doc.save(writer, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    scan = writer.Finish();
  }
  const bool rewritten = EscapeCarriageReturns(tree.doc, out, scan, [&] {
    BufferWriter writer(out);  // indenting succeeded before, and the text is no deeper now
    tree.doc.save(writer, raw ? "" : "\t", (raw ? pugi::format_raw : pugi::format_indent) | pugi::format_no_declaration,
                  pugi::encoding_utf8);
  });
  if (rewritten) scan = ScanText(out.View(), false);
  if (scan.invalid != static_cast<size_t>(-1) || (scan.references && HasForbiddenCharacterReference(out.View())))
    return Fail(E_FAIL, L"The document holds a character that XML cannot represent.");
  std::string declared;
  for (pugi::xml_node n = tree.doc.first_child(); n; n = n.next_sibling())
    if (n.type() == pugi::node_declaration) declared = n.attribute("encoding").value();
  return Encode(declared, out);
}

std::string SerializeNode(const Place& place) {
  std::string out;
  if (place.IsAttribute()) {
    out.append(place.attr.name()).append("=\"");
    AppendEscaped(out, place.attr.value());
    out += '"';
    return out;
  }
  ByteBuffer buffer;
  BufferWriter writer(buffer);
  if (place.node.type() == pugi::node_document) {
    place.tree->doc.save(writer, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
  } else {
    place.node.print(writer, "", pugi::format_raw, pugi::encoding_utf8);
  }
  EscapeCarriageReturns(place.node, buffer, writer.Finish(), [&] {
    BufferWriter again(buffer);
    if (place.node.type() == pugi::node_document)
      place.tree->doc.save(again, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    else
      place.node.print(again, "", pugi::format_raw, pugi::encoding_utf8);
  });
  return std::string(buffer.View());
}

HRESULT SaveFileAtomically(const wchar_t* path, std::string_view bytes) {
  std::string target = VormNativePath(path);
  if (target.empty()) return Fail(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), L"The path names no file here.");
  // A link is followed: the file it names is replaced, the link stays.
  struct stat st;
  if (::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* resolved = ::realpath(target.c_str(), nullptr)) {
      target = resolved;
      std::free(resolved);
    }
  }
  bool exists = false;
  mode_t mode = 0;
  if (::stat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return Fail(E_ACCESSDENIED, L"The path names a folder.");
    if (!(st.st_mode & S_IWUSR)) return Fail(E_ACCESSDENIED, L"The file is read-only.");
    exists = true;
    mode = st.st_mode & 07777;
  }
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    temporary = TemporaryName(folder == "/" ? "" : folder, base);
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return Fail(FromErrno(errno), L"The file cannot be written.");
  bool ok = (!exists || ::fchmod(fd, mode) == 0) && WriteFully(fd, bytes) && ::fsync(fd) == 0;
  int err = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) ok = false, err = errno;
  if (ok && ::rename(temporary.c_str(), target.c_str()) != 0) ok = false, err = errno;
  if (!ok) {
    ::unlink(temporary.c_str());
    return Fail(FromErrno(err), L"The file cannot be written.");
  }
  return S_OK;
}

}  // namespace VormXmlDom_details

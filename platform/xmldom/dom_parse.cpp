// Loading: encoding to UTF-8, a check of every character, pugixml's parser, then one
// pass over the tree for what pugixml lets through (several roots, text outside the
// root, duplicate attributes, references to entities other than the predefined ones)
// and for whitespace-only text. Nothing here recurses.
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <unordered_set>
#include <vector>

#include <vorm/platform/text.h>

#include "platform/text/utf8_codec.h"
#include "platform/xmldom/dom_internal.h"

namespace VormXmlDom_details {

namespace {

constexpr size_t kNone = static_cast<size_t>(-1);

struct Error {
  LONG code = 0;
  std::wstring reason;
  size_t offset = kNone;  // in the UTF-8 text; kNone: the error has no position
  // For a bad reference in a value: where the value starts in the source and the character
  // that ends it there. The exact offset comes from decoding the untouched source again
  // (pugixml may have moved the parsed value's characters).
  size_t valueStart = kNone;
  char valueStop = 0;
};

// --- positions ---------------------------------------------------------------------------

void Locate(std::string_view text, size_t offset, ParseFailure& failure) {
  if (offset > text.size()) offset = text.size();
  LONG line = 1, column = 1, position = 0;
  size_t lineStart = 0;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  for (size_t i = 0; i < offset;) {
    std::uint32_t c = 0;
    const size_t n = vorm_text_details::DecodeUtf8(p + i, text.size() - i, c);
    i += n;
    ++position;
    const bool crlf = c == '\r' && i < text.size() && text[i] == '\n';
    if ((c == '\n' || c == '\r') && !crlf) {
      ++line;
      column = 1;
      lineStart = i;
    } else if (!crlf) {
      ++column;
    }
  }
  size_t lineEnd = lineStart;
  while (lineEnd < text.size() && text[lineEnd] != '\n' && text[lineEnd] != '\r' && lineEnd - lineStart < 4096)
    ++lineEnd;
  failure.line = line;
  failure.linepos = column;
  failure.filepos = position;
  failure.srcText = VormFromUtf8(text.substr(lineStart, lineEnd - lineStart));
}

bool Fill(const Error& error, std::string_view text, ParseFailure& failure) {
  failure.code = error.code;
  failure.reason = error.reason;
  if (error.offset != kNone) Locate(text, error.offset, failure);
  return false;
}

// --- encodings ---------------------------------------------------------------------------

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

// The encoding named in an XML declaration at the start of ASCII-compatible bytes
// ("<?xmlfoo" begins an instruction, not a declaration).
std::string DeclaredEncoding(std::string_view bytes) {
  if (bytes.size() < 6 || bytes.substr(0, 5) != "<?xml" || !IsXmlWhitespace(bytes[5])) return std::string();
  const size_t end = bytes.find("?>");
  const std::string_view declaration =
      bytes.substr(0, end == std::string_view::npos ? std::min<size_t>(bytes.size(), 512) : end);
  size_t at = declaration.find("encoding");
  if (at == std::string_view::npos) return std::string();
  at += 8;
  while (at < declaration.size() && IsXmlWhitespace(declaration[at])) ++at;
  if (at >= declaration.size() || declaration[at] != '=') return std::string();
  ++at;
  while (at < declaration.size() && IsXmlWhitespace(declaration[at])) ++at;
  if (at >= declaration.size() || (declaration[at] != '"' && declaration[at] != '\'')) return std::string();
  const size_t close = declaration.find(declaration[at], at + 1);
  if (close == std::string_view::npos) return std::string();
  return std::string(declaration.substr(at + 1, close - at - 1));
}

bool IsUtf8Name(const std::string& upper) { return upper.empty() || upper == "UTF-8" || upper == "UTF8"; }

bool IsWideName(const std::string& upper) {
  return upper.rfind("UTF-16", 0) == 0 || upper.rfind("UTF-32", 0) == 0 || upper.rfind("UCS-", 0) == 0 ||
         upper == "UNICODE";
}

// Converts to UTF-8; false with `error` at the first byte that is not in the encoding.
bool Transcode(std::string_view bytes, const char* from, std::string& out, Error& error) {
  bool unsupported = false;
  size_t converted = 0;
  if (Recode(bytes, from, "UTF-8", out, unsupported, converted)) return true;
  if (unsupported)
    error = {VORM_XML_E_UNSUPPORTED_ENCODING,
             L"The encoding '" + VormFromUtf8(from) + L"' of the document is not supported.", 0};
  else
    error = {VORM_XML_E_INVALID_CHARACTER, L"The document holds bytes that are invalid in its encoding.", converted};
  return false;
}

// The document as UTF-8 without a byte-order mark. `stripped` counts the bytes taken off
// the front of UTF-8 input (kNone when the text was converted from another encoding).
bool ToUtf8(std::string&& bytes, std::string& text, Error& error, size_t& stripped) {
  stripped = kNone;
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  const char* wide = nullptr;
  size_t skip = 0;
  if (n >= 4 && b[0] == 0xFF && b[1] == 0xFE && b[2] == 0 && b[3] == 0)
    wide = "UTF-32LE", skip = 4;
  else if (n >= 4 && b[0] == 0 && b[1] == 0 && b[2] == 0xFE && b[3] == 0xFF)
    wide = "UTF-32BE", skip = 4;
  else if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE)
    wide = "UTF-16LE", skip = 2;
  else if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF)
    wide = "UTF-16BE", skip = 2;
  else if (n >= 4 && b[0] == '<' && b[1] == 0 && b[2] == 0 && b[3] == 0)
    wide = "UTF-32LE";
  else if (n >= 4 && b[0] == 0 && b[1] == 0 && b[2] == 0 && b[3] == '<')
    wide = "UTF-32BE";
  else if (n >= 2 && b[0] == '<' && b[1] == 0)
    wide = "UTF-16LE";
  else if (n >= 2 && b[0] == 0 && b[1] == '<')
    wide = "UTF-16BE";
  if (wide) return Transcode(std::string_view(bytes).substr(skip), wide, text, error);
  const size_t bom = n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF ? 3 : 0;
  if (bom) bytes.erase(0, bom);
  const std::string declared = DeclaredEncoding(bytes);
  const std::string upper = Upper(declared);
  if (IsUtf8Name(upper)) {
    text = std::move(bytes);
    stripped = bom;
    return true;
  }
  if (IsWideName(upper)) {
    error = {VORM_XML_E_ENCODING_SWITCH,
             L"The document declares the encoding '" + VormFromUtf8(declared) + L"' but is not written in it.", 0};
    return false;
  }
  return Transcode(bytes, declared.c_str(), text, error);
}

// --- characters ----------------------------------------------------------------------------

bool IsXmlChar(std::uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

}  // namespace

namespace {

bool NameByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
         c == '.' || c == ':' || static_cast<unsigned char>(c) >= 0x80;
}

// Watches every '=' for what pugixml would let through in a start tag: two attributes of
// one name, or a '<' inside a quoted value. It looks at text, not at markup, so it may
// also suspect '=' in text or comments; it never misses a real case (two '=' of one tag
// have no '<' between them unless a value holds one, which is suspect itself).
class AttributeWatch {
 public:
  bool Suspect() const { return suspect_; }
  // The text seen so far; unless `final`, more follows, so a value that runs past its end
  // cannot be judged and counts as suspect.
  void SetText(std::string_view text, bool final) {
    text_ = text;
    final_ = final;
  }

  // Both are called in text order.
  void OnLess(size_t at) { lastLess_ = at; }
  void OnEquals(size_t at) {
    if (suspect_) return;
    size_t j = at + 1;
    while (j < text_.size() && IsXmlWhitespace(text_[j])) ++j;
    if (j < text_.size() && (text_[j] == '"' || text_[j] == '\'')) {
      const std::string_view value = text_.substr(j + 1);
      const size_t length = std::min(value.find(text_[j]), value.size());
      if (std::memchr(value.data(), '<', length)) suspect_ = true;
      j += 1 + length;  // at the closing quote, or the end of the text
    }
    if (j >= text_.size() && !final_) suspect_ = true;
    size_t k = at;
    while (k > 0 && IsXmlWhitespace(text_[k - 1])) --k;
    const size_t nameEnd = k;
    while (k > 0 && NameByte(text_[k - 1])) --k;
    const std::string_view name = text_.substr(k, nameEnd - k);
    const bool sameTag = previous_ != kNone && (lastLess_ == kNone || lastLess_ < previous_);
    if (!sameTag) names_.clear();
    for (std::string_view seen : names_)
      if (seen == name) suspect_ = true;
    names_.push_back(name);
    previous_ = at;
  }

 private:
  std::string_view text_;
  size_t previous_ = kNone;              // the last '='
  size_t lastLess_ = kNone;              // the last '<'
  std::vector<std::string_view> names_;  // the attribute names of the tag being read
  bool suspect_ = false;
  bool final_ = true;
};

// Notes "xml:space" around the ':' at `at`.
inline void NoteColon(std::string_view text, size_t at, TextScan& scan) {
  if (at >= 3 && at + 6 <= text.size() && text.compare(at - 3, 9, "xml:space") == 0) scan.xmlSpace = true;
}

// Checks one byte (or the UTF-8 sequence it starts) at `i`; false when it is no XML
// character. Advances `i`.
bool ScanOne(const unsigned char* p, size_t n, size_t& i, TextScan& scan, AttributeWatch* watch) {
  std::uint32_t c = p[i];
  size_t used = 1;
  if (c >= 0x80)
    used = vorm_text_details::DecodeUtf8(p + i, n - i, c);
  else if (c == '&')
    scan.references = true;
  else if (c == '=' && watch)
    watch->OnEquals(i);
  else if (c == '<' && watch)
    watch->OnLess(i);
  else if (c == ':')
    NoteColon(std::string_view(reinterpret_cast<const char*>(p), n), i, scan);
  else if (c == '\r')
    scan.carriageReturns = true;
  if (!IsXmlChar(c)) return false;
  i += used;
  return true;
}

}  // namespace

class TextScanner::Watch : public AttributeWatch {};

TextScanner::TextScanner(bool watchAttributes) : watch_(std::make_unique<Watch>()), watching_(watchAttributes) {}

TextScanner::~TextScanner() = default;

TextScan TextScanner::Result() const {
  TextScan scan = scan_;
  scan.attributesSuspect = watch_->Suspect();
  return scan;
}

void TextScanner::Advance(std::string_view text, bool final) {
  if (scan_.invalid != kNone) return;
  const size_t n = text.size();
  // Unless the text is complete, the last 64 bytes wait: a character, a value or
  // "xml:space" may continue past them.
  const size_t limit = final ? n : (n > 64 ? n - 64 : 0);
  watch_->SetText(text, final);
  AttributeWatch* attributes = watching_ ? watch_.get() : nullptr;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  size_t i = done_;
#if defined(__SSE2__)
  // Sixty-four bytes at a time: only a stretch with a byte that is not plain printable
  // ASCII (or tab, line feed, carriage return) is looked at byte by byte.
  const __m128i space = _mm_set1_epi8(0x20), tab = _mm_set1_epi8(0x09), lf = _mm_set1_epi8(0x0A),
                cr = _mm_set1_epi8(0x0D), amp = _mm_set1_epi8('&'), equals = _mm_set1_epi8('='),
                less = _mm_set1_epi8('<'), colon = _mm_set1_epi8(':');
  while (i + 64 <= limit) {
    std::uint64_t special = 0, ampersands = 0, eq = 0, lt = 0, colons = 0, returns = 0;
    for (int part = 0; part < 4; ++part) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 16 * part));
      const __m128i low = _mm_cmplt_epi8(v, space);  // below 0x20, or 0x80 and above (signed)
      const __m128i isCr = _mm_cmpeq_epi8(v, cr);
      const __m128i blank = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, tab), _mm_cmpeq_epi8(v, lf)), isCr);
      const int shift = 16 * part;
      returns |= static_cast<std::uint64_t>(_mm_movemask_epi8(isCr)) << shift;
      special |= static_cast<std::uint64_t>(_mm_movemask_epi8(_mm_andnot_si128(blank, low))) << shift;
      ampersands |= static_cast<std::uint64_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, amp))) << shift;
      eq |= static_cast<std::uint64_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, equals))) << shift;
      lt |= static_cast<std::uint64_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, less))) << shift;
      colons |= static_cast<std::uint64_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, colon))) << shift;
    }
    if (special) {
      const size_t stop = i + 64;
      while (i < stop)
        if (!ScanOne(p, n, i, scan_, attributes)) return void(scan_.invalid = i);
      continue;
    }
    if (ampersands) scan_.references = true;
    if (returns) scan_.carriageReturns = true;
    for (; colons; colons &= colons - 1) NoteColon(text, i + static_cast<size_t>(__builtin_ctzll(colons)), scan_);
    if (attributes) {
      if (eq == 0) {
        if (lt != 0) attributes->OnLess(i + 63 - static_cast<size_t>(__builtin_clzll(lt)));
      } else {
        for (std::uint64_t bits = eq | lt; bits; bits &= bits - 1) {
          const unsigned bit = static_cast<unsigned>(__builtin_ctzll(bits));
          if (eq & (std::uint64_t{1} << bit))
            attributes->OnEquals(i + bit);
          else
            attributes->OnLess(i + bit);
        }
      }
    }
    i += 64;
  }
#endif
  while (i < limit)
    if (!ScanOne(p, n, i, scan_, attributes)) return void(scan_.invalid = i);
  done_ = i;
}

TextScan ScanText(std::string_view text, bool watchAttributes) {
  TextScanner scanner(watchAttributes);
  scanner.Advance(text, true);
  return scanner.Result();
}

namespace {

// --- references ------------------------------------------------------------------------------

// Decodes the references of `in` into `out`. On failure `error` holds the reason and the
// index of the offending '&'.
bool DecodeReferences(std::string_view in, std::string& out, Error& error) {
  out.clear();
  out.reserve(in.size());
  size_t i = 0;
  while (i < in.size()) {
    const size_t amp = in.find('&', i);
    if (amp == std::string_view::npos) {
      out.append(in.substr(i));
      break;
    }
    out.append(in.substr(i, amp - i));
    const size_t semi = in.find(';', amp + 1);
    const std::string_view body =
        semi == std::string_view::npos ? std::string_view() : in.substr(amp + 1, semi - amp - 1);
    auto bad = [&](LONG code, std::wstring reason) {
      error = {code, std::move(reason), amp};
      return false;
    };
    if (body.empty() || body.size() > 64)
      return bad(VORM_XML_E_BAD_REFERENCE,
                 L"A '&' does not start a reference; write \"&amp;\" for the character itself.");
    if (body[0] == '#') {
      const bool hex = body.size() > 1 && body[1] == 'x';
      const std::string_view digits = body.substr(hex ? 2 : 1);
      std::uint32_t value = 0;
      bool ok = !digits.empty();
      for (char d : digits) {
        int v = (d >= '0' && d <= '9')          ? d - '0'
                : (hex && d >= 'a' && d <= 'f') ? d - 'a' + 10
                : (hex && d >= 'A' && d <= 'F') ? d - 'A' + 10
                                                : -1;
        if (v < 0 || value > 0x10FFFF) {
          ok = false;
          break;
        }
        value = value * (hex ? 16 : 10) + static_cast<std::uint32_t>(v);
      }
      if (!ok || !IsXmlChar(value))
        return bad(VORM_XML_E_BAD_REFERENCE,
                   L"The character reference &" + VormFromUtf8(body) + L"; does not name a character XML allows.");
      char bytes[4];
      out.append(bytes, vorm_text_details::EncodeUtf8(value, bytes));
    } else if (body == "lt") {
      out.push_back('<');
    } else if (body == "gt") {
      out.push_back('>');
    } else if (body == "amp") {
      out.push_back('&');
    } else if (body == "apos") {
      out.push_back('\'');
    } else if (body == "quot") {
      out.push_back('"');
    } else {
      for (char c : body)
        if (!NameByte(c))
          return bad(VORM_XML_E_BAD_REFERENCE,
                     L"A '&' does not start a reference; write \"&amp;\" for the character itself.");
      return bad(VORM_XML_E_UNDEFINED_ENTITY, L"Reference to undefined entity '" + VormFromUtf8(body) + L"'.");
    }
    i = semi + 1;
  }
  return true;
}

// Decodes a parsed value that starts at `start` in the source and ends there at `stop`.
bool DecodeValue(size_t start, char stop, const char* value, std::string& decoded, Error& error, bool& changed) {
  changed = false;
  if (!std::strchr(value, '&')) return true;
  if (DecodeReferences(value, decoded, error)) {
    changed = true;
    return true;
  }
  error.offset = start;
  error.valueStart = start;
  error.valueStop = stop;
  return false;
}

// The exact offset of a bad reference: the same reference fails when the untouched value
// is decoded.
void LocateReference(std::string_view source, Error& error) {
  if (error.valueStart == kNone || error.valueStart > source.size()) return;
  size_t end = source.find(error.valueStop, error.valueStart);
  if (end == std::string_view::npos) end = source.size();
  std::string scratch;
  Error exact;
  if (!DecodeReferences(source.substr(error.valueStart, end - error.valueStart), scratch, exact))
    error.offset = error.valueStart + exact.offset;
}

bool AllWhitespace(const char* s) {
  for (; *s; ++s)
    if (!IsXmlWhitespace(*s)) return false;
  return true;
}

Error ParserError(const pugi::xml_parse_result& result) {
  switch (result.status) {
    case pugi::status_out_of_memory:
      return {VORM_XML_E_OUT_OF_MEMORY, L"Not enough memory to load the document.", kNone};
    case pugi::status_bad_pi:
      return {VORM_XML_E_SYNTAX, L"A processing instruction or the XML declaration is malformed.", 0};
    case pugi::status_bad_comment: return {VORM_XML_E_SYNTAX, L"A comment is malformed or not closed.", 0};
    case pugi::status_bad_cdata: return {VORM_XML_E_SYNTAX, L"A CDATA section is malformed or not closed.", 0};
    case pugi::status_bad_doctype: return {VORM_XML_E_SYNTAX, L"The document type declaration is malformed.", 0};
    case pugi::status_bad_pcdata: return {VORM_XML_E_SYNTAX, L"Text content is malformed.", 0};
    case pugi::status_bad_start_element: return {VORM_XML_E_SYNTAX, L"A start tag is malformed.", 0};
    case pugi::status_bad_attribute: return {VORM_XML_E_SYNTAX, L"An attribute is malformed.", 0};
    case pugi::status_bad_end_element: return {VORM_XML_E_SYNTAX, L"An end tag is malformed.", 0};
    case pugi::status_end_element_mismatch:
      return {VORM_XML_E_TAG_MISMATCH, L"An end tag does not match its start tag, or an element is not closed.", 0};
    default: return {VORM_XML_E_SYNTAX, L"The document is not well-formed XML.", 0};
  }
}

// What may stand outside the root element: one declaration at the very start, a
// DOCTYPE before the root, instructions and comments. Whitespace between them is dropped.
bool CheckTopLevel(Tree& tree, std::string_view text, Error& error) {
  int elements = 0;
  bool first = true;
  pugi::xml_node node = tree.doc.first_child();
  while (node) {
    const pugi::xml_node next = node.next_sibling();
    const size_t offset = static_cast<size_t>(std::max<ptrdiff_t>(node.offset_debug(), 2));
    switch (node.type()) {
      case pugi::node_element:
        if (++elements > 1) {
          error = {VORM_XML_E_MULTIPLE_ROOTS, L"Only one top level element is allowed in an XML document.", offset - 1};
          return false;
        }
        break;
      case pugi::node_pcdata:
        if (!AllWhitespace(node.value())) {
          error = {VORM_XML_E_TOP_LEVEL, L"Text is not allowed outside the root element.", offset};
          return false;
        }
        tree.doc.remove_child(node);
        node = next;
        continue;
      case pugi::node_cdata:
        error = {VORM_XML_E_TOP_LEVEL, L"A CDATA section is not allowed outside the root element.", offset};
        return false;
      case pugi::node_declaration:
        if (!first || node.offset_debug() != 2) {
          error = {VORM_XML_E_TOP_LEVEL, L"The XML declaration must stand at the very start of the document.",
                   offset - 2};
          return false;
        }
        if (!IsDeclarationWellFormed(node)) {
          error = {VORM_XML_E_SYNTAX,
                   L"The XML declaration needs a version 1.x and may name only an encoding and standalone yes or no.",
                   offset - 2};
          return false;
        }
        break;
      case pugi::node_doctype:
        if (elements > 0) {
          error = {VORM_XML_E_TOP_LEVEL, L"The document type declaration must come before the root element.", offset};
          return false;
        }
        break;
      default: break;
    }
    first = false;
    node = next;
  }
  if (elements == 0) {
    error = {VORM_XML_E_MISSING_ROOT, L"XML document must have a top level element.", text.size()};
    return false;
  }
  return true;
}

bool DuplicateAttribute(pugi::xml_node element, pugi::xml_attribute& duplicate) {
  pugi::xml_attribute first = element.first_attribute();
  if (!first || !first.next_attribute()) return false;
  size_t count = 0;
  for (pugi::xml_attribute a = first; a; a = a.next_attribute()) ++count;
  if (count <= 8) {
    for (pugi::xml_attribute a = first; a; a = a.next_attribute())
      for (pugi::xml_attribute b = a.next_attribute(); b; b = b.next_attribute())
        if (std::strcmp(a.name(), b.name()) == 0) return duplicate = b, true;
    return false;
  }
  std::unordered_set<std::string_view> seen;
  for (pugi::xml_attribute a = first; a; a = a.next_attribute())
    if (!seen.insert(a.name()).second) return duplicate = a, true;
  return false;
}

// One pass over everything below the top level, without recursion. Whitespace-only text
// is dropped outside xml:space="preserve" unless `keepWhitespace`: text that pugixml kept
// because some scope preserves (`scoped`), and text that only its references made
// whitespace ("&#32;"), which reads the same as the characters themselves.
bool CheckTree(Tree& tree, std::string_view text, bool references, bool scoped, bool keepWhitespace, Error& error) {
  const pugi::xml_node root = tree.doc;
  pugi::xml_node anyElement;
  for (pugi::xml_node n = root.first_child(); n; n = n.next_sibling())
    if (n.type() == pugi::node_element) anyElement = n;
  // pugixml's buffer holds the text at the same offsets; an element's name gives its start.
  const char* buffer = anyElement.name() - anyElement.offset_debug();
  auto offsetOf = [&](const char* p) { return static_cast<size_t>(p - buffer); };

  std::vector<unsigned char> preserve{0};  // the xml:space scope of each open element
  std::string decoded;
  pugi::xml_node node = anyElement;
  pugi::xml_node parent = root;
  while (node) {
    const pugi::xml_node next = node.next_sibling();
    bool descend = false;
    if (node.type() == pugi::node_element) {
      pugi::xml_attribute duplicate;
      if (DuplicateAttribute(node, duplicate)) {
        error = {VORM_XML_E_DUPLICATE_ATTRIBUTE, L"Duplicate attribute '" + VormFromUtf8(duplicate.name()) + L"'.",
                 offsetOf(duplicate.name())};
        return false;
      }
      bool keep = preserve.back() != 0;
      for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
        const size_t start = offsetOf(a.value());
        const char quote = start > 0 ? text[start - 1] : '"';
        if (std::strchr(a.value(), '<')) {  // pugixml takes it; XML does not
          error = {VORM_XML_E_SYNTAX, L"The character '<' cannot be used in an attribute value.",
                   text.find('<', start)};
          return false;
        }
        if (references) {
          bool changed = false;
          if (!DecodeValue(start, quote, a.value(), decoded, error, changed)) return false;
          if (changed) a.set_value(decoded.c_str(), decoded.size());
        }
        if (std::strcmp(a.name(), "xml:space") == 0) keep = std::strcmp(a.value(), "preserve") == 0;
      }
      if (node.first_child()) {
        preserve.push_back(keep ? 1 : 0);
        parent = node;
        node = node.first_child();
        descend = true;
      }
    } else if (node.type() == pugi::node_pcdata) {
      bool changed = false;
      if (references) {
        if (!DecodeValue(static_cast<size_t>(node.offset_debug()), '<', node.value(), decoded, error, changed))
          return false;
        if (changed) node.set_value(decoded.c_str(), decoded.size());
      }
      if (!keepWhitespace && (scoped || changed) && !preserve.back() && AllWhitespace(node.value()))
        parent.remove_child(node);
    }
    if (descend) continue;
    node = next;
    while (!node && parent != root) {
      preserve.pop_back();
      node = parent.next_sibling();
      parent = parent.parent();
    }
    if (parent == root) break;  // the root element is done; the top level was checked before
  }
  return true;
}

}  // namespace

bool ParseDocument(std::string&& bytes, const ParseOptions& options, Tree& tree, ParseFailure& failure) {
  std::string text;
  Error error;
  size_t stripped = kNone;
  if (options.alreadyDecoded) {
    text = std::move(bytes);
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  } else if (!ToUtf8(std::move(bytes), text, error, stripped)) {
    return Fill(error, text, failure);
  }
  // A scan made while the bytes were read still holds when they were UTF-8 already.
  TextScan scan;
  if (options.rawScan && stripped != kNone) {
    scan = *options.rawScan;
    if (scan.invalid != kNone) scan.invalid = scan.invalid >= stripped ? scan.invalid - stripped : 0;
  } else {
    scan = ScanText(text, true);
  }
  if (scan.invalid != kNone)
    return Fill({VORM_XML_E_INVALID_CHARACTER, L"An invalid character was found in the document.", scan.invalid}, text,
                failure);

  const bool keepAll = options.preserveWhiteSpace;
  const bool scoped = !keepAll && scan.xmlSpace;
  unsigned flags = pugi::parse_cdata | pugi::parse_wconv_attribute | pugi::parse_eol | pugi::parse_declaration |
                   pugi::parse_doctype | pugi::parse_pi | pugi::parse_comments | pugi::parse_fragment;
  if (keepAll || scoped) flags |= pugi::parse_ws_pcdata;
  // When the source can be read again, pugixml parses the text where it lies (the tree
  // keeps it) and an error is located in a fresh copy; otherwise it parses a copy and the
  // text stays untouched for locating errors.
  const bool inPlace = static_cast<bool>(options.reload);
  pugi::xml_parse_result result;
  if (inPlace) {
    tree.source = std::move(text);
    result = tree.doc.load_buffer_inplace(tree.source.data(), tree.source.size(), flags, pugi::encoding_utf8);
  } else {
    result = tree.doc.load_buffer(text.data(), text.size(), flags, pugi::encoding_utf8);
  }
  const std::string_view parsed = inPlace ? std::string_view(tree.source) : std::string_view(text);
  if (!result) {
    error = ParserError(result);
    if (error.offset != kNone) error.offset = static_cast<size_t>(result.offset);
  } else {
    // The walk over every node costs about as much as parsing; it runs only when the text
    // shows a reason for it.
    const bool walk = scan.references || scoped || scan.attributesSuspect;
    if (CheckTopLevel(tree, parsed, error) &&
        (!walk || CheckTree(tree, parsed, scan.references, scoped, keepAll, error))) {
      tree.detached = false;
      return true;
    }
  }
  tree.doc.reset();
  if (inPlace) {
    tree.source.clear();
    // The parse changed the text; read the source again to say where the error is.
    std::string again;
    Error ignored;
    size_t ignoredStrip = 0;
    if (!options.reload(again) || (!options.alreadyDecoded && !ToUtf8(std::move(again), text, ignored, ignoredStrip))) {
      text.clear();
      error.offset = kNone;
    } else if (options.alreadyDecoded) {
      text = std::move(again);
      if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    }
  }
  LocateReference(text, error);
  return Fill(error, text, failure);
}

}  // namespace VormXmlDom_details

// Internal structure of the XML DOM over pugixml.
//
// A document's nodes live in pugixml trees. The document owns its main tree; every node
// that is not in it (created and not yet inserted, removed, or left behind by a reload)
// lives in a tree of its own, kept alive by the COM objects that point into it. A COM
// object for a node is made on demand and registered in its tree's `live` table, so a
// node has at most one object at a time; when a node moves to another tree (pugixml
// cannot move nodes between documents, so its subtree is copied there), the objects of
// the moved nodes are re-pointed at the copies before the originals are freed. Nodes
// are never freed while an object points at them: a subtree with live objects is moved
// to a tree of its own instead.
//
// Everything here runs on the document's thread (see xmldom.h); nothing is locked.
#pragma once

#include <pugixml.hpp>

#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include <vorm/platform/xmldom.h>

namespace VormXmlDom_details {

class DocumentObject;
class NodeBase;

struct Tree {
  explicit Tree(DocumentObject* document, bool isDetached) : owner(document), detached(isDetached) {}
  Tree(const Tree&) = delete;
  Tree& operator=(const Tree&) = delete;

  // The text pugixml parsed in place, when it did: the parsed nodes point into it. Declared
  // before `doc`, so the nodes go first.
  std::string source;
  pugi::xml_document doc;
  // The document the nodes belong to (alive while any node object of the tree is).
  DocumentObject* owner;
  // Node and attribute records (pugixml's internal objects) -> the COM object for them.
  std::unordered_map<const void*, NodeBase*> live;
  // Bumped by every change, so lists and selections know when to look again.
  unsigned long long version = 0;
  // True for trees whose top nodes are detached nodes (their root is no DOM node);
  // false for a document's current main tree, whose root is the document node.
  bool detached;
  // Trees made for a detached attribute hold it on a placeholder element that is never
  // shown as a node.
  bool attributeHolder = false;
};

// Where a node lives: a node of a tree, or an attribute (then `node` is its element).
// pugixml's handles act like pointers but mark their changing methods non-const; a const
// Place still lets its node be changed, so the handles are mutable.
struct Place {
  std::shared_ptr<Tree> tree;
  mutable pugi::xml_node node;
  mutable pugi::xml_attribute attr;

  bool IsAttribute() const { return static_cast<bool>(attr); }
  bool IsTreeRoot() const { return !attr && node == tree->doc; }
  const void* Key() const {
    return attr ? static_cast<const void*>(attr.internal_object()) : static_cast<const void*>(node.internal_object());
  }
};

// State every DOM node object (the document included) carries, reachable from any of its
// interfaces with dynamic_cast.
class NodeBase {
 public:
  virtual ~NodeBase() = default;
  virtual Place CurrentPlace() const = 0;
  virtual IXMLDOMNode* AsNode() = 0;
  // Moves the object to another place (its node was copied there); only node objects.
  virtual void Repoint(const std::shared_ptr<Tree>& tree, pugi::xml_node node, pugi::xml_attribute attr) {
    (void)tree, (void)node, (void)attr;
  }
  // Set by createNode on an element that got a namespace declaration only to carry its
  // namespace while detached; the first insertion drops it where the namespace is in scope.
  bool TakeImplicitNamespace() {
    const bool had = implicitNamespace_;
    implicitNamespace_ = false;
    return had;
  }
  void MarkImplicitNamespace() { implicitNamespace_ = true; }

 private:
  bool implicitNamespace_ = false;
};

// --- conversions --------------------------------------------------------------------------
std::string Utf8(const wchar_t* text, size_t length);
inline std::string Utf8(BSTR text) { return Utf8(text, SysStringLen(text)); }
// A new BSTR (E_OUTOFMEMORY when it cannot be made) from UTF-8 / wide text.
HRESULT NewBstr(std::string_view utf8, BSTR* out);
HRESULT NewBstr(std::wstring_view text, BSTR* out);
// The text a variant stands for when the DOM stores it (see xmldom.h).
HRESULT VariantText(const VARIANT& value, std::string& out);
// XML 1.0 names ("a", "x:y", "_1"; not "1a", "a b", "").
bool IsXmlName(std::string_view utf8);
inline bool IsXmlWhitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Records the error description for the failing call and returns hr.
HRESULT Fail(HRESULT hr, const wchar_t* description);

// --- node objects -------------------------------------------------------------------------
// The object for the node at `place` with a new reference (the document object for the
// main tree's root), or null for places that are no DOM node (the root of a detached
// tree, an attribute holder's placeholder element).
IXMLDOMNode* Wrap(const Place& place);
// Wrap as a given interface (E_NOINTERFACE-free: the place must be of a fitting kind).
template <class I>
HRESULT WrapAs(const Place& place, I** out) {
  *out = nullptr;
  IXMLDOMNode* node = Wrap(place);
  if (!node) return S_FALSE;
  const HRESULT hr = node->QueryInterface(I::kIid, reinterpret_cast<void**>(out));
  node->Release();
  return hr;
}
// The place of a node object of this DOM; false for null or foreign objects.
bool PlaceOf(IUnknown* object, Place& place);
// A detached tree of the document with nothing in it yet.
std::shared_ptr<Tree> NewDetachedTree(DocumentObject* owner);
// The DOM node type of a place.
DOMNodeType TypeOf(const Place& place);

// --- tree surgery (dom_tree.cpp) ------------------------------------------------------------
// Inserts `child` under `parent` before `before` (null: at the end), moving it from wherever
// it is. Checks the DOM's rules first; E_FAIL/E_INVALIDARG with a description when they
// forbid it. On success `child` is updated to its new place.
// With `replacing` (a child of `parent`), the rules are checked as if it were gone.
HRESULT InsertNode(const Place& parent, Place& child, const Place* before, const Place* replacing = nullptr);
// Attaches an attribute node to `element`, moving it there (from a detached tree, or from
// its element); an attribute of the same name is removed first. Updates `attribute`.
HRESULT AttachAttribute(const Place& element, Place& attribute);
// Takes `child` out of its parent into a detached tree of its own; updates `child`.
HRESULT DetachNode(Place& child);
// Removes every child of `node`, keeping the ones that still have objects alive as
// detached nodes.
void ClearChildren(const Place& node);
// Removes one attribute, keeping it as a detached attribute when an object points at it.
void RemoveAttribute(const Place& element, pugi::xml_attribute attr);
// Frees a subtree without recursion (pugixml frees subtrees recursively).
void DestroySubtree(pugi::xml_node node);
// The node after `node` in document order within the subtree of `root`, or null: the
// non-recursive walk every traversal of the DOM uses.
inline pugi::xml_node NextInSubtree(pugi::xml_node node, pugi::xml_node root) {
  if (pugi::xml_node child = node.first_child()) return child;
  while (node && node != root) {
    if (pugi::xml_node sibling = node.next_sibling()) return sibling;
    node = node.parent();
  }
  return pugi::xml_node();
}
// A detached deep or shallow copy.
HRESULT CloneNode(const Place& source, bool deep, Place& copy);
// Bumps the version of the place's tree (after any change).
inline void Touch(const Place& place) { ++place.tree->version; }

// --- text and namespaces (dom_text.cpp) -------------------------------------------------------
// The DOM's text of a node (see xmldom.h).
std::string NodeText(const Place& place);
// Whether xml:space="preserve" is in scope at an element (or the element of an attribute).
bool PreservesSpace(pugi::xml_node element);
// The namespace URI an element's prefix (or the default namespace) resolves to, "" for
// none; also for prefixes of attribute names.
std::string ResolveNamespace(pugi::xml_node element, std::string_view prefix);
// The text of the XML declaration's pseudo-attributes: version="1.0" encoding="UTF-8".
std::string DeclarationText(pugi::xml_node declaration);
// Parses pseudo-attributes into a declaration node; false when malformed.
bool SetDeclarationText(pugi::xml_node declaration, std::string_view text);
// Whether a parsed declaration holds version="1.<digits>", then optionally an encoding name
// and standalone="yes"/"no", in that order and nothing else.
bool IsDeclarationWellFormed(pugi::xml_node declaration);

// --- documents (dom_parse.cpp, dom_save.cpp) ------------------------------------------------
// One pass over UTF-8 text: the offset of the first byte that is not valid UTF-8 or is no
// XML character (size_t(-1) when there is none), whether a '&' or "xml:space" occurs
// (the latter found before the first invalid byte only), and, when asked,
// whether some '=' hints at a start tag that repeats an attribute or holds '<' in a value
// (see dom_parse.cpp). Plain ASCII is passed over sixty-four bytes at a time.
struct TextScan {
  size_t invalid = static_cast<size_t>(-1);
  bool references = false;
  bool xmlSpace = false;
  bool carriageReturns = false;
  bool attributesSuspect = false;
};
TextScan ScanText(std::string_view text, bool watchAttributes);
// The same scan made piece by piece while the text arrives (each call sees all the text
// so far), so that every piece is scanned while it is still in the cache.
class TextScanner {
 public:
  explicit TextScanner(bool watchAttributes);
  ~TextScanner();
  TextScanner(const TextScanner&) = delete;
  TextScanner& operator=(const TextScanner&) = delete;
  // Scans what `text` holds beyond the previous call; `final` once it is complete.
  void Advance(std::string_view text, bool final);
  TextScan Result() const;

 private:
  class Watch;
  std::unique_ptr<Watch> watch_;
  bool watching_;
  size_t done_ = 0;
  TextScan scan_;
};

struct ParseFailure {
  LONG code = 0;
  std::wstring reason;
  std::wstring srcText;
  LONG line = 0;
  LONG linepos = 0;
  LONG filepos = 0;
};
struct ParseOptions {
  bool preserveWhiteSpace = false;
  bool alreadyDecoded = false;  // loadXML: the text is UTF-8 already, the declared encoding is not used
  // Reads the same bytes again (false when it cannot). Given, the text is parsed in place
  // instead of copied, and read again only to locate an error.
  std::function<bool(std::string&)> reload;
  // The scan of the bytes as they were read, used when they need no conversion.
  std::optional<TextScan> rawScan;
};
// Parses `bytes` (consumed) into `tree`; false with `failure` filled on any error.
bool ParseDocument(std::string&& bytes, const ParseOptions& options, Tree& tree, ParseFailure& failure);

// Bytes in malloc'd memory that grow in place (realloc) and that a memory stream can take
// over without a copy. One owner; one thread.
class ByteBuffer {
 public:
  ByteBuffer() = default;
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;
  ~ByteBuffer() { std::free(data_); }
  void Append(const char* data, size_t size);  // std::bad_alloc when memory runs out
  void Clear() { size_ = 0; }
  std::string_view View() const { return std::string_view(data_, size_); }
  // Gives the memory away (free it with std::free); the buffer is empty afterwards.
  char* Release() {
    char* data = data_;
    data_ = nullptr;
    size_ = capacity_ = 0;
    return data;
  }

 private:
  char* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

// The document written out: indented unless whitespace is preserved somewhere (or it is
// nested too deep), in the declared encoding. E_FAIL with a description when a character
// cannot be written.
HRESULT SerializeDocument(const Tree& tree, bool preserveWhiteSpace, ByteBuffer& out);
// One node as XML text (UTF-8, no added whitespace).
std::string SerializeNode(const Place& place);
// Converts `in` from one iconv encoding to another. false when the encoding is unknown
// (`unsupported` set) or at the first character that cannot be converted; `converted`
// then counts the bytes written before it.
bool Recode(std::string_view in, const char* from, const char* to, std::string& out, bool& unsupported,
            size_t& converted);
// Writes `bytes` to `path` through a temporary file and a rename.
HRESULT SaveFileAtomically(const wchar_t* path, std::string_view bytes);

}  // namespace VormXmlDom_details

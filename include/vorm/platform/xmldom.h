// The XML DOM: the platform's DOM interfaces (IXMLDOMDocument2, IXMLDOMNode and the node
// kinds, node lists, named node maps, the parse error), each method in its raw form
// returning an HRESULT (get_x/put_x for properties, raw_x for methods) and in the raising
// form of the compiler support's wrappers (Getx/Putx, x) that returns the value and raises
// _com_error when the HRESULT is a failure. Documents come from CoCreateInstance of
// CLSID_DOMDocument (or CLSID_DOMDocument30/60, the same class here).
//
// What this DOM does, where the platform leaves a choice or the platform's DOM differs:
// - Loading honours the declared encoding (UTF-8 when none; a byte-order mark wins;
//   UTF-16 with or without one; ISO-8859-1, windows-1252 and whatever else iconv knows),
//   and invalid bytes are a parse error. Exactly one root element. Only the five
//   predefined entities and character references are expanded: a DTD is kept as written
//   but never fetched or expanded, a reference to any other entity is a parse error, and
//   nothing a document names (DTD, schema, entity) is ever fetched. Whitespace-only text
//   (also "&#32;") is dropped unless preserveWhiteSpace is set or xml:space="preserve" is
//   in scope. A declaration holds version="1.x", then optionally encoding and standalone.
// - Parse errors carry a code (VORM_XML_E_...), line and column counted in characters
//   from 1, the character position in the document, the reason, the source line and URL.
//   load and loadXML answer VARIANT_FALSE with S_FALSE on any failure (also a missing
//   file, whose code is then the HRESULT of the read) and leave an empty document.
// - Loading is synchronous whatever `async` says: readyState is 4 (complete) whenever a
//   caller can look.
// - Selection paths are XPath 1.0 (SelectionLanguage is always "XPath"), names matched as
//   written: a default namespace does not hide elements from an unprefixed name test.
//   A syntax error, or a path that yields no node set, fails with E_FAIL and an error
//   description. selectNodes lists are evaluated again when the document changed since
//   they were made, so they never hold a node that was removed.
// - An element's text (and its typed value, always VT_BSTR without a schema) is the text
//   of its descendants with leading and trailing whitespace trimmed, kept under
//   xml:space="preserve". setAttribute and the typed value writers store text: booleans
//   as "true"/"false", doubles in the shortest form that reads back to the same value,
//   integers in decimal.
// - save writes the declaration the document holds and none otherwise, in the encoding it
//   declares (UTF-8 when none), indented with tabs unless whitespace is preserved
//   anywhere in the document or it nests deeper than 256 levels (indentation would grow
//   with the square of the depth); a carriage return in text is written "&#13;"; it fails (E_FAIL, nothing touched)
//   when a character cannot be written in that encoding or in XML at all. A save to a file replaces it atomically
//   (temporary file in the same folder, then rename; a link is followed), so a failed save
//   leaves the old file intact; a read-only target is E_ACCESSDENIED.
// - Created nodes not yet inserted, and removed nodes, are real nodes with their own
//   subtree (each in a small tree of its own; inserting copies it in, so such a node costs
//   a memory page while detached). Inserting a node from another document moves it there.
// - Deep documents (hundreds of thousands of levels) are parsed, walked, searched,
//   copied, freed and saved without recursion.
//
// Thread rules: a document and all its nodes, lists and maps belong to one thread at a
// time (the platform's apartment rule); reference counts are atomic, so releasing from
// another thread is safe when no call runs at the same time.
#pragma once

#include <vorm/platform/com.h>
#include <vorm/platform/stream.h>
#include <vorm/platform/variant.h>

enum DOMNodeType : int {
  NODE_INVALID = 0,
  NODE_ELEMENT = 1,
  NODE_ATTRIBUTE = 2,
  NODE_TEXT = 3,
  NODE_CDATA_SECTION = 4,
  NODE_ENTITY_REFERENCE = 5,
  NODE_ENTITY = 6,
  NODE_PROCESSING_INSTRUCTION = 7,
  NODE_COMMENT = 8,
  NODE_DOCUMENT = 9,
  NODE_DOCUMENT_TYPE = 10,
  NODE_DOCUMENT_FRAGMENT = 11,
  NODE_NOTATION = 12,
};

// Parse error codes of this DOM (IXMLDOMParseError::errorCode). A failed read of the
// source reports the read's HRESULT instead (INET_E_RESOURCE_NOT_FOUND, ...).
enum : LONG {
  VORM_XML_E_INVALID_CHARACTER = static_cast<LONG>(0xC00CE501),  // bytes invalid in the encoding, or no XML character
  VORM_XML_E_UNSUPPORTED_ENCODING = static_cast<LONG>(0xC00CE502),
  VORM_XML_E_ENCODING_SWITCH = static_cast<LONG>(0xC00CE503),  // declared encoding contradicts the bytes
  VORM_XML_E_SYNTAX = static_cast<LONG>(0xC00CE504),           // malformed markup
  VORM_XML_E_TAG_MISMATCH = static_cast<LONG>(0xC00CE505),     // end tag does not match, or element not closed
  VORM_XML_E_MULTIPLE_ROOTS = static_cast<LONG>(0xC00CE506),
  VORM_XML_E_MISSING_ROOT = static_cast<LONG>(0xC00CE507),
  VORM_XML_E_TOP_LEVEL = static_cast<LONG>(0xC00CE508),  // text or a misplaced declaration outside the root
  VORM_XML_E_UNDEFINED_ENTITY = static_cast<LONG>(0xC00CE509),
  VORM_XML_E_BAD_REFERENCE = static_cast<LONG>(0xC00CE50A),  // malformed reference or a forbidden character
  VORM_XML_E_DUPLICATE_ATTRIBUTE = static_cast<LONG>(0xC00CE50B),
  VORM_XML_E_OUT_OF_MEMORY = static_cast<LONG>(0xC00CE50C),
};

struct IXMLDOMNode;
struct IXMLDOMNodeList;
struct IXMLDOMNamedNodeMap;
struct IXMLDOMDocument;
struct IXMLDOMDocument2;
struct IXMLDOMDocumentType;
struct IXMLDOMElement;
struct IXMLDOMAttribute;
struct IXMLDOMCharacterData;
struct IXMLDOMText;
struct IXMLDOMCDATASection;
struct IXMLDOMComment;
struct IXMLDOMProcessingInstruction;
struct IXMLDOMParseError;

_COM_SMARTPTR_TYPEDEF(IXMLDOMNode, IID_IXMLDOMNode);
_COM_SMARTPTR_TYPEDEF(IXMLDOMNodeList, IID_IXMLDOMNodeList);
_COM_SMARTPTR_TYPEDEF(IXMLDOMNamedNodeMap, IID_IXMLDOMNamedNodeMap);
_COM_SMARTPTR_TYPEDEF(IXMLDOMDocument, IID_IXMLDOMDocument);
_COM_SMARTPTR_TYPEDEF(IXMLDOMDocument2, IID_IXMLDOMDocument2);
_COM_SMARTPTR_TYPEDEF(IXMLDOMDocumentType, IID_IXMLDOMDocumentType);
_COM_SMARTPTR_TYPEDEF(IXMLDOMElement, IID_IXMLDOMElement);
_COM_SMARTPTR_TYPEDEF(IXMLDOMAttribute, IID_IXMLDOMAttribute);
_COM_SMARTPTR_TYPEDEF(IXMLDOMCharacterData, IID_IXMLDOMCharacterData);
_COM_SMARTPTR_TYPEDEF(IXMLDOMText, IID_IXMLDOMText);
_COM_SMARTPTR_TYPEDEF(IXMLDOMCDATASection, IID_IXMLDOMCDATASection);
_COM_SMARTPTR_TYPEDEF(IXMLDOMComment, IID_IXMLDOMComment);
_COM_SMARTPTR_TYPEDEF(IXMLDOMProcessingInstruction, IID_IXMLDOMProcessingInstruction);
_COM_SMARTPTR_TYPEDEF(IXMLDOMParseError, IID_IXMLDOMParseError);

// Class identifiers of the document.
inline constexpr CLSID CLSID_DOMDocument = {
    0xF6D90F11, 0x9C73, 0x11D3, {0xB3, 0x2E, 0x00, 0xC0, 0x4F, 0x99, 0x0B, 0xB4}};
inline constexpr CLSID CLSID_DOMDocument30 = {
    0xF5078F32, 0xC551, 0x11D3, {0x89, 0xB9, 0x00, 0x00, 0xF8, 0x1F, 0xE2, 0x21}};
inline constexpr CLSID CLSID_DOMDocument60 = {
    0x88D96A05, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}};

// Any node. Properties that may be absent (parentNode, firstChild, attributes, ...)
// answer S_FALSE with null. Operations that the node's kind does not allow fail with
// E_FAIL and an error description; a node of another DOM implementation as an argument
// is E_INVALIDARG.
//   nodeName: the element's or attribute's qualified name, the instruction's target,
//     "#text", "#cdata-section", "#comment", "#document"; the DOCTYPE's name.
//   nodeValue: text of attributes, text, CDATA, comments and instructions; VT_NULL
//     for elements and documents.
//   nodeTypeString: "element", "attribute", "text", "cdatasection", "comment",
//     "processinginstruction", "document", "documenttype".
struct VORM_API IXMLDOMNode : IUnknown {
  static constexpr IID kIid = {0x2933BF80, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
  virtual HRESULT get_nodeName(BSTR* name) = 0;
  virtual HRESULT get_nodeValue(VARIANT* value) = 0;
  virtual HRESULT put_nodeValue(VARIANT value) = 0;
  virtual HRESULT get_nodeType(DOMNodeType* type) = 0;
  virtual HRESULT get_parentNode(IXMLDOMNode** parent) = 0;
  virtual HRESULT get_childNodes(IXMLDOMNodeList** children) = 0;
  virtual HRESULT get_firstChild(IXMLDOMNode** child) = 0;
  virtual HRESULT get_lastChild(IXMLDOMNode** child) = 0;
  virtual HRESULT get_previousSibling(IXMLDOMNode** sibling) = 0;
  virtual HRESULT get_nextSibling(IXMLDOMNode** sibling) = 0;
  virtual HRESULT get_attributes(IXMLDOMNamedNodeMap** attributes) = 0;
  // `refChild` is VT_UNKNOWN/VT_DISPATCH (a child of this node) or VT_EMPTY/VT_NULL/null
  // for the end. A node already elsewhere is moved.
  virtual HRESULT raw_insertBefore(IXMLDOMNode* newChild, VARIANT refChild, IXMLDOMNode** inserted) = 0;
  virtual HRESULT raw_replaceChild(IXMLDOMNode* newChild, IXMLDOMNode* oldChild, IXMLDOMNode** replaced) = 0;
  virtual HRESULT raw_removeChild(IXMLDOMNode* child, IXMLDOMNode** removed) = 0;
  virtual HRESULT raw_appendChild(IXMLDOMNode* newChild, IXMLDOMNode** appended) = 0;
  virtual HRESULT raw_hasChildNodes(VARIANT_BOOL* has) = 0;
  virtual HRESULT get_ownerDocument(IXMLDOMDocument** document) = 0;          // S_FALSE/null for a document
  virtual HRESULT raw_cloneNode(VARIANT_BOOL deep, IXMLDOMNode** clone) = 0;  // a detached copy
  virtual HRESULT get_nodeTypeString(BSTR* type) = 0;
  virtual HRESULT get_text(BSTR* text) = 0;
  // Elements: replaces the children by one text node (none for empty text).
  virtual HRESULT put_text(BSTR text) = 0;
  virtual HRESULT get_nodeTypedValue(VARIANT* value) = 0;
  virtual HRESULT put_nodeTypedValue(VARIANT value) = 0;
  virtual HRESULT get_xml(BSTR* xml) = 0;  // the node written as XML, without added whitespace
  virtual HRESULT raw_selectNodes(BSTR path, IXMLDOMNodeList** nodes) = 0;
  virtual HRESULT raw_selectSingleNode(BSTR path, IXMLDOMNode** node) = 0;  // S_FALSE/null: no match
  // The namespace of the node's prefix (or default namespace) as declared in scope; ""
  // for none. Attributes without a prefix have none.
  virtual HRESULT get_namespaceURI(BSTR* uri) = 0;
  virtual HRESULT get_prefix(BSTR* prefix) = 0;
  virtual HRESULT get_baseName(BSTR* name) = 0;

  _bstr_t GetnodeName();
  _variant_t GetnodeValue();
  void PutnodeValue(const _variant_t& value);
  DOMNodeType GetnodeType();
  IXMLDOMNodePtr GetparentNode();
  IXMLDOMNodeListPtr GetchildNodes();
  IXMLDOMNodePtr GetfirstChild();
  IXMLDOMNodePtr GetlastChild();
  IXMLDOMNodePtr GetpreviousSibling();
  IXMLDOMNodePtr GetnextSibling();
  IXMLDOMNamedNodeMapPtr Getattributes();
  IXMLDOMNodePtr insertBefore(IXMLDOMNode* newChild, const _variant_t& refChild);
  IXMLDOMNodePtr replaceChild(IXMLDOMNode* newChild, IXMLDOMNode* oldChild);
  IXMLDOMNodePtr removeChild(IXMLDOMNode* child);
  IXMLDOMNodePtr appendChild(IXMLDOMNode* newChild);
  VARIANT_BOOL hasChildNodes();
  IXMLDOMDocumentPtr GetownerDocument();
  IXMLDOMNodePtr cloneNode(VARIANT_BOOL deep);
  _bstr_t GetnodeTypeString();
  _bstr_t Gettext();
  void Puttext(const _bstr_t& text);
  _variant_t GetnodeTypedValue();
  void PutnodeTypedValue(const _variant_t& value);
  _bstr_t Getxml();
  IXMLDOMNodeListPtr selectNodes(const _bstr_t& path);
  IXMLDOMNodePtr selectSingleNode(const _bstr_t& path);
  _bstr_t GetnamespaceURI();
  _bstr_t Getprefix();
  _bstr_t GetbaseName();

 protected:
  ~IXMLDOMNode() = default;
};

// An ordered list of nodes: live children (childNodes, reflecting every change) or the
// result of a selection. item answers S_FALSE/null outside 0..length-1. nextNode walks
// from the start (or the last reset) and answers S_FALSE/null at the end.
struct VORM_API IXMLDOMNodeList : IUnknown {
  static constexpr IID kIid = {0x2933BF82, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
  virtual HRESULT get_item(LONG index, IXMLDOMNode** node) = 0;
  virtual HRESULT get_length(LONG* length) = 0;
  virtual HRESULT raw_nextNode(IXMLDOMNode** node) = 0;
  virtual HRESULT raw_reset() = 0;

  IXMLDOMNodePtr Getitem(LONG index);
  LONG Getlength();
  IXMLDOMNodePtr nextNode();
  HRESULT reset();

 protected:
  ~IXMLDOMNodeList() = default;
};

// An element's attributes, live, in document order.
struct VORM_API IXMLDOMNamedNodeMap : IUnknown {
  static constexpr IID kIid = {0x2933BF83, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
  virtual HRESULT raw_getNamedItem(BSTR name, IXMLDOMNode** attribute) = 0;  // S_FALSE/null when absent
  // Attaches an attribute node (detached, or moved from its element); one of the same
  // name is replaced and comes back in `replaced`.
  virtual HRESULT raw_setNamedItem(IXMLDOMNode* attribute, IXMLDOMNode** replaced) = 0;
  virtual HRESULT raw_removeNamedItem(BSTR name, IXMLDOMNode** removed) = 0;  // S_FALSE/null when absent
  virtual HRESULT get_item(LONG index, IXMLDOMNode** attribute) = 0;
  virtual HRESULT get_length(LONG* length) = 0;
  virtual HRESULT raw_nextNode(IXMLDOMNode** attribute) = 0;
  virtual HRESULT raw_reset() = 0;

  IXMLDOMNodePtr getNamedItem(const _bstr_t& name);
  IXMLDOMNodePtr setNamedItem(IXMLDOMNode* attribute);
  IXMLDOMNodePtr removeNamedItem(const _bstr_t& name);
  IXMLDOMNodePtr Getitem(LONG index);
  LONG Getlength();
  IXMLDOMNodePtr nextNode();
  HRESULT reset();

 protected:
  ~IXMLDOMNamedNodeMap() = default;
};

struct VORM_API IXMLDOMParseError : IUnknown {
  static constexpr IID kIid = {0x3EFAA426, 0x272F, 0x11D2, {0x83, 0x6F, 0x00, 0x00, 0xF8, 0x7A, 0x77, 0x82}};
  virtual HRESULT get_errorCode(LONG* code) = 0;  // 0 after a clean load
  virtual HRESULT get_url(BSTR* url) = 0;
  virtual HRESULT get_reason(BSTR* reason) = 0;
  virtual HRESULT get_srcText(BSTR* text) = 0;
  virtual HRESULT get_line(LONG* line) = 0;         // from 1; 0 when the error has no position
  virtual HRESULT get_linepos(LONG* column) = 0;    // characters from 1
  virtual HRESULT get_filepos(LONG* position) = 0;  // characters from 0

  LONG GeterrorCode();
  _bstr_t Geturl();
  _bstr_t Getreason();
  _bstr_t GetsrcText();
  LONG Getline();
  LONG Getlinepos();
  LONG Getfilepos();

 protected:
  ~IXMLDOMParseError() = default;
};

struct VORM_API IXMLDOMDocument : IXMLDOMNode {
  static constexpr IID kIid = {0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
  virtual HRESULT get_doctype(IXMLDOMDocumentType** doctype) = 0;
  virtual HRESULT get_documentElement(IXMLDOMElement** root) = 0;
  // Node factories: the new node belongs to this document and is detached. Names must be
  // XML names (E_INVALIDARG with a description otherwise); an instruction's data must
  // not hold "?>". Target "xml" makes the XML declaration, whose data is its
  // pseudo-attributes (version="1.0" encoding="UTF-8" standalone="yes").
  virtual HRESULT raw_createElement(BSTR tagName, IXMLDOMElement** element) = 0;
  virtual HRESULT raw_createTextNode(BSTR data, IXMLDOMText** text) = 0;
  virtual HRESULT raw_createComment(BSTR data, IXMLDOMComment** comment) = 0;
  virtual HRESULT raw_createCDATASection(BSTR data, IXMLDOMCDATASection** cdata) = 0;
  virtual HRESULT raw_createProcessingInstruction(BSTR target, BSTR data, IXMLDOMProcessingInstruction** pi) = 0;
  virtual HRESULT raw_createAttribute(BSTR name, IXMLDOMAttribute** attribute) = 0;
  virtual HRESULT raw_getElementsByTagName(BSTR tagName, IXMLDOMNodeList** elements) = 0;  // "*" for all
  // `type` is a DOMNodeType number (any integer variant) or its nodeTypeString. An
  // element created with a namespace carries the declaration it needs, dropped again when
  // it is inserted where that namespace is already in scope.
  virtual HRESULT raw_createNode(VARIANT type, BSTR name, BSTR namespaceURI, IXMLDOMNode** node) = 0;
  virtual HRESULT get_readyState(LONG* state) = 0;  // always 4
  virtual HRESULT get_parseError(IXMLDOMParseError** error) = 0;
  virtual HRESULT get_url(BSTR* url) = 0;  // of the last load by name
  virtual HRESULT get_async(VARIANT_BOOL* async) = 0;
  virtual HRESULT put_async(VARIANT_BOOL async) = 0;
  virtual HRESULT raw_abort() = 0;
  // `source`: a VT_BSTR path or URL (see URLOpenBlockingStreamW in stream.h) or an IStream
  // (VT_UNKNOWN). S_OK/VARIANT_TRUE, or S_FALSE/VARIANT_FALSE with parseError set.
  virtual HRESULT raw_load(VARIANT source, VARIANT_BOOL* loaded) = 0;
  virtual HRESULT raw_loadXML(BSTR xml, VARIANT_BOOL* loaded) = 0;
  // `destination`: a VT_BSTR file name or an IStream (VT_UNKNOWN).
  virtual HRESULT raw_save(VARIANT destination) = 0;
  virtual HRESULT get_validateOnParse(VARIANT_BOOL* validate) = 0;  // kept, no effect: no DTD is read
  virtual HRESULT put_validateOnParse(VARIANT_BOOL validate) = 0;
  virtual HRESULT get_resolveExternals(VARIANT_BOOL* resolve) = 0;  // kept, no effect: nothing is fetched
  virtual HRESULT put_resolveExternals(VARIANT_BOOL resolve) = 0;
  virtual HRESULT get_preserveWhiteSpace(VARIANT_BOOL* preserve) = 0;
  virtual HRESULT put_preserveWhiteSpace(VARIANT_BOOL preserve) = 0;

  IXMLDOMDocumentTypePtr Getdoctype();
  IXMLDOMElementPtr GetdocumentElement();
  IXMLDOMElementPtr createElement(const _bstr_t& tagName);
  IXMLDOMTextPtr createTextNode(const _bstr_t& data);
  IXMLDOMCommentPtr createComment(const _bstr_t& data);
  IXMLDOMCDATASectionPtr createCDATASection(const _bstr_t& data);
  IXMLDOMProcessingInstructionPtr createProcessingInstruction(const _bstr_t& target, const _bstr_t& data);
  IXMLDOMAttributePtr createAttribute(const _bstr_t& name);
  IXMLDOMNodeListPtr getElementsByTagName(const _bstr_t& tagName);
  IXMLDOMNodePtr createNode(const _variant_t& type, const _bstr_t& name, const _bstr_t& namespaceURI);
  LONG GetreadyState();
  IXMLDOMParseErrorPtr GetparseError();
  _bstr_t Geturl();
  VARIANT_BOOL Getasync();
  void Putasync(VARIANT_BOOL async);
  HRESULT abort();
  VARIANT_BOOL load(const _variant_t& source);
  VARIANT_BOOL loadXML(const _bstr_t& xml);
  HRESULT save(const _variant_t& destination);
  VARIANT_BOOL GetvalidateOnParse();
  void PutvalidateOnParse(VARIANT_BOOL validate);
  VARIANT_BOOL GetresolveExternals();
  void PutresolveExternals(VARIANT_BOOL resolve);
  VARIANT_BOOL GetpreserveWhiteSpace();
  void PutpreserveWhiteSpace(VARIANT_BOOL preserve);

 protected:
  ~IXMLDOMDocument() = default;
};

// Properties: "SelectionLanguage" ("XPath"; "XSLPattern" is refused), "SelectionNamespaces"
// (kept: names are matched as written), "ProhibitDTD", "NewParser", "ResolveExternals",
// "ValidateOnParse", "AllowDocumentFunction", "AllowXsltScript", "MaxElementDepth" (kept,
// no effect beyond ResolveExternals/ValidateOnParse mirroring the document's properties).
// Another name is E_INVALIDARG.
struct VORM_API IXMLDOMDocument2 : IXMLDOMDocument {
  static constexpr IID kIid = {0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
  virtual HRESULT raw_setProperty(BSTR name, VARIANT value) = 0;
  virtual HRESULT raw_getProperty(BSTR name, VARIANT* value) = 0;

  HRESULT setProperty(const _bstr_t& name, const _variant_t& value);
  _variant_t getProperty(const _bstr_t& name);

 protected:
  ~IXMLDOMDocument2() = default;
};

struct VORM_API IXMLDOMDocumentType : IXMLDOMNode {
  static constexpr IID kIid = {0x2933BF8B, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
  virtual HRESULT get_name(BSTR* name) = 0;

  _bstr_t Getname();

 protected:
  ~IXMLDOMDocumentType() = default;
};

struct VORM_API IXMLDOMElement : IXMLDOMNode {
  static constexpr IID kIid = {0x2933BF86, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
  virtual HRESULT get_tagName(BSTR* name) = 0;
  virtual HRESULT raw_getAttribute(BSTR name, VARIANT* value) = 0;  // VT_NULL and S_FALSE when absent
  // Sets or adds the attribute; the value is stored as text (see the notes above).
  virtual HRESULT raw_setAttribute(BSTR name, VARIANT value) = 0;
  virtual HRESULT raw_removeAttribute(BSTR name) = 0;  // S_FALSE when absent
  virtual HRESULT raw_getAttributeNode(BSTR name, IXMLDOMAttribute** attribute) = 0;
  virtual HRESULT raw_setAttributeNode(IXMLDOMAttribute* attribute, IXMLDOMAttribute** replaced) = 0;
  virtual HRESULT raw_removeAttributeNode(IXMLDOMAttribute* attribute, IXMLDOMAttribute** removed) = 0;
  virtual HRESULT raw_getElementsByTagName(BSTR tagName, IXMLDOMNodeList** elements) = 0;
  virtual HRESULT raw_normalize() = 0;  // merges adjacent text nodes, drops empty ones

  _bstr_t GettagName();
  _variant_t getAttribute(const _bstr_t& name);
  HRESULT setAttribute(const _bstr_t& name, const _variant_t& value);
  HRESULT removeAttribute(const _bstr_t& name);
  IXMLDOMAttributePtr getAttributeNode(const _bstr_t& name);
  IXMLDOMAttributePtr setAttributeNode(IXMLDOMAttribute* attribute);
  IXMLDOMAttributePtr removeAttributeNode(IXMLDOMAttribute* attribute);
  IXMLDOMNodeListPtr getElementsByTagName(const _bstr_t& tagName);
  HRESULT normalize();

 protected:
  ~IXMLDOMElement() = default;
};

struct VORM_API IXMLDOMAttribute : IXMLDOMNode {
  static constexpr IID kIid = {0x2933BF85, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
  virtual HRESULT get_name(BSTR* name) = 0;
  virtual HRESULT get_value(VARIANT* value) = 0;
  virtual HRESULT put_value(VARIANT value) = 0;

  _bstr_t Getname();
  _variant_t Getvalue();
  void Putvalue(const _variant_t& value);

 protected:
  ~IXMLDOMAttribute() = default;
};

// Offsets and counts are in characters; outside the data they fail with E_INVALIDARG.
struct VORM_API IXMLDOMCharacterData : IXMLDOMNode {
  static constexpr IID kIid = {0x2933BF84, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
  virtual HRESULT get_data(BSTR* data) = 0;
  virtual HRESULT put_data(BSTR data) = 0;
  virtual HRESULT get_length(LONG* length) = 0;
  virtual HRESULT raw_substringData(LONG offset, LONG count, BSTR* data) = 0;
  virtual HRESULT raw_appendData(BSTR data) = 0;
  virtual HRESULT raw_insertData(LONG offset, BSTR data) = 0;
  virtual HRESULT raw_deleteData(LONG offset, LONG count) = 0;
  virtual HRESULT raw_replaceData(LONG offset, LONG count, BSTR data) = 0;

  _bstr_t Getdata();
  void Putdata(const _bstr_t& data);
  LONG Getlength();
  _bstr_t substringData(LONG offset, LONG count);
  HRESULT appendData(const _bstr_t& data);
  HRESULT insertData(LONG offset, const _bstr_t& data);
  HRESULT deleteData(LONG offset, LONG count);
  HRESULT replaceData(LONG offset, LONG count, const _bstr_t& data);

 protected:
  ~IXMLDOMCharacterData() = default;
};

struct VORM_API IXMLDOMText : IXMLDOMCharacterData {
  static constexpr IID kIid = {0x2933BF87, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
  // Keeps the first `offset` characters and inserts the rest as a new node after this one.
  virtual HRESULT raw_splitText(LONG offset, IXMLDOMText** rest) = 0;

  IXMLDOMTextPtr splitText(LONG offset);

 protected:
  ~IXMLDOMText() = default;
};

struct VORM_API IXMLDOMCDATASection : IXMLDOMText {
  static constexpr IID kIid = {0x2933BF8A, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

 protected:
  ~IXMLDOMCDATASection() = default;
};

struct VORM_API IXMLDOMComment : IXMLDOMCharacterData {
  static constexpr IID kIid = {0x2933BF88, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

 protected:
  ~IXMLDOMComment() = default;
};

struct VORM_API IXMLDOMProcessingInstruction : IXMLDOMNode {
  static constexpr IID kIid = {0x2933BF89, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
  virtual HRESULT get_target(BSTR* target) = 0;
  virtual HRESULT get_data(BSTR* data) = 0;
  virtual HRESULT put_data(BSTR data) = 0;

  _bstr_t Gettarget();
  _bstr_t Getdata();
  void Putdata(const _bstr_t& data);

 protected:
  ~IXMLDOMProcessingInstruction() = default;
};

inline constexpr IID IID_IXMLDOMNode = IXMLDOMNode::kIid;
inline constexpr IID IID_IXMLDOMNodeList = IXMLDOMNodeList::kIid;
inline constexpr IID IID_IXMLDOMNamedNodeMap = IXMLDOMNamedNodeMap::kIid;
inline constexpr IID IID_IXMLDOMParseError = IXMLDOMParseError::kIid;
inline constexpr IID IID_IXMLDOMDocument = IXMLDOMDocument::kIid;
inline constexpr IID IID_IXMLDOMDocument2 = IXMLDOMDocument2::kIid;
inline constexpr IID IID_IXMLDOMDocumentType = IXMLDOMDocumentType::kIid;
inline constexpr IID IID_IXMLDOMElement = IXMLDOMElement::kIid;
inline constexpr IID IID_IXMLDOMAttribute = IXMLDOMAttribute::kIid;
inline constexpr IID IID_IXMLDOMCharacterData = IXMLDOMCharacterData::kIid;
inline constexpr IID IID_IXMLDOMText = IXMLDOMText::kIid;
inline constexpr IID IID_IXMLDOMCDATASection = IXMLDOMCDATASection::kIid;
inline constexpr IID IID_IXMLDOMComment = IXMLDOMComment::kIid;
inline constexpr IID IID_IXMLDOMProcessingInstruction = IXMLDOMProcessingInstruction::kIid;

// ---------------------------------------------------------------------------------------
// The raising wrappers
// ---------------------------------------------------------------------------------------
namespace VormXmlDom_details {

// Raises the failure of a call made on `self` through its interface I.
template <class I>
inline HRESULT Check(I* self, HRESULT hr) {
  if (FAILED(hr)) _com_issue_errorex(hr, self, I::kIid);
  return hr;
}

// Property getters: the out type comes from the method.
template <class I>
inline _bstr_t GetText(I* self, HRESULT (I::*get)(BSTR*)) {
  BSTR out = nullptr;
  Check(self, (self->*get)(&out));
  return _bstr_t(out, false);
}
template <class I, class T>
inline T GetValue(I* self, HRESULT (I::*get)(T*)) {
  T out{};
  Check(self, (self->*get)(&out));
  return out;
}
template <class I>
inline _variant_t GetVariant(I* self, HRESULT (I::*get)(VARIANT*)) {
  _variant_t out;
  Check(self, (self->*get)(&out));
  return out;
}
template <class I, class R>
inline _com_ptr_t<R> GetObject(I* self, HRESULT (I::*get)(R**)) {
  R* out = nullptr;
  Check(self, (self->*get)(&out));
  return _com_ptr_t<R>(out, false);
}

// Methods with arguments: the out value follows them.
template <class I, class Method, class... Args>
inline _bstr_t CallText(I* self, Method method, Args&&... args) {
  BSTR out = nullptr;
  Check(self, (self->*method)(static_cast<Args&&>(args)..., &out));
  return _bstr_t(out, false);
}
template <class T, class I, class Method, class... Args>
inline T CallValue(I* self, Method method, Args&&... args) {
  T out{};
  Check(self, (self->*method)(static_cast<Args&&>(args)..., &out));
  return out;
}
template <class I, class Method, class... Args>
inline _variant_t CallVariant(I* self, Method method, Args&&... args) {
  _variant_t out;
  Check(self, (self->*method)(static_cast<Args&&>(args)..., &out));
  return out;
}
template <class R, class I, class Method, class... Args>
inline _com_ptr_t<R> CallObject(I* self, Method method, Args&&... args) {
  R* out = nullptr;
  Check(self, (self->*method)(static_cast<Args&&>(args)..., &out));
  return _com_ptr_t<R>(out, false);
}

}  // namespace VormXmlDom_details

// IXMLDOMNode
inline _bstr_t IXMLDOMNode::GetnodeName() { return VormXmlDom_details::GetText(this, &IXMLDOMNode::get_nodeName); }
inline _variant_t IXMLDOMNode::GetnodeValue() {
  return VormXmlDom_details::GetVariant(this, &IXMLDOMNode::get_nodeValue);
}
inline void IXMLDOMNode::PutnodeValue(const _variant_t& value) {
  VormXmlDom_details::Check(this, put_nodeValue(value));
}
inline DOMNodeType IXMLDOMNode::GetnodeType() { return VormXmlDom_details::GetValue(this, &IXMLDOMNode::get_nodeType); }
inline IXMLDOMNodePtr IXMLDOMNode::GetparentNode() {
  return VormXmlDom_details::GetObject(this, &IXMLDOMNode::get_parentNode);
}
inline IXMLDOMNodeListPtr IXMLDOMNode::GetchildNodes() {
  return VormXmlDom_details::GetObject(this, &IXMLDOMNode::get_childNodes);
}
inline IXMLDOMNodePtr IXMLDOMNode::GetfirstChild() {
  return VormXmlDom_details::GetObject(this, &IXMLDOMNode::get_firstChild);
}
inline IXMLDOMNodePtr IXMLDOMNode::GetlastChild() {
  return VormXmlDom_details::GetObject(this, &IXMLDOMNode::get_lastChild);
}
inline IXMLDOMNodePtr IXMLDOMNode::GetpreviousSibling() {
  return VormXmlDom_details::GetObject(this, &IXMLDOMNode::get_previousSibling);
}
inline IXMLDOMNodePtr IXMLDOMNode::GetnextSibling() {
  return VormXmlDom_details::GetObject(this, &IXMLDOMNode::get_nextSibling);
}
inline IXMLDOMNamedNodeMapPtr IXMLDOMNode::Getattributes() {
  return VormXmlDom_details::GetObject(this, &IXMLDOMNode::get_attributes);
}
inline IXMLDOMNodePtr IXMLDOMNode::insertBefore(IXMLDOMNode* newChild, const _variant_t& refChild) {
  return VormXmlDom_details::CallObject<IXMLDOMNode>(this, &IXMLDOMNode::raw_insertBefore, newChild, refChild);
}
inline IXMLDOMNodePtr IXMLDOMNode::replaceChild(IXMLDOMNode* newChild, IXMLDOMNode* oldChild) {
  return VormXmlDom_details::CallObject<IXMLDOMNode>(this, &IXMLDOMNode::raw_replaceChild, newChild, oldChild);
}
inline IXMLDOMNodePtr IXMLDOMNode::removeChild(IXMLDOMNode* child) {
  return VormXmlDom_details::CallObject<IXMLDOMNode>(this, &IXMLDOMNode::raw_removeChild, child);
}
inline IXMLDOMNodePtr IXMLDOMNode::appendChild(IXMLDOMNode* newChild) {
  return VormXmlDom_details::CallObject<IXMLDOMNode>(this, &IXMLDOMNode::raw_appendChild, newChild);
}
inline VARIANT_BOOL IXMLDOMNode::hasChildNodes() {
  return VormXmlDom_details::GetValue(this, &IXMLDOMNode::raw_hasChildNodes);
}
inline IXMLDOMDocumentPtr IXMLDOMNode::GetownerDocument() {
  return VormXmlDom_details::GetObject(this, &IXMLDOMNode::get_ownerDocument);
}
inline IXMLDOMNodePtr IXMLDOMNode::cloneNode(VARIANT_BOOL deep) {
  return VormXmlDom_details::CallObject<IXMLDOMNode>(this, &IXMLDOMNode::raw_cloneNode, deep);
}
inline _bstr_t IXMLDOMNode::GetnodeTypeString() {
  return VormXmlDom_details::GetText(this, &IXMLDOMNode::get_nodeTypeString);
}
inline _bstr_t IXMLDOMNode::Gettext() { return VormXmlDom_details::GetText(this, &IXMLDOMNode::get_text); }
inline void IXMLDOMNode::Puttext(const _bstr_t& text) { VormXmlDom_details::Check(this, put_text(text)); }
inline _variant_t IXMLDOMNode::GetnodeTypedValue() {
  return VormXmlDom_details::GetVariant(this, &IXMLDOMNode::get_nodeTypedValue);
}
inline void IXMLDOMNode::PutnodeTypedValue(const _variant_t& value) {
  VormXmlDom_details::Check(this, put_nodeTypedValue(value));
}
inline _bstr_t IXMLDOMNode::Getxml() { return VormXmlDom_details::GetText(this, &IXMLDOMNode::get_xml); }
inline IXMLDOMNodeListPtr IXMLDOMNode::selectNodes(const _bstr_t& path) {
  return VormXmlDom_details::CallObject<IXMLDOMNodeList>(this, &IXMLDOMNode::raw_selectNodes, path);
}
inline IXMLDOMNodePtr IXMLDOMNode::selectSingleNode(const _bstr_t& path) {
  return VormXmlDom_details::CallObject<IXMLDOMNode>(this, &IXMLDOMNode::raw_selectSingleNode, path);
}
inline _bstr_t IXMLDOMNode::GetnamespaceURI() {
  return VormXmlDom_details::GetText(this, &IXMLDOMNode::get_namespaceURI);
}
inline _bstr_t IXMLDOMNode::Getprefix() { return VormXmlDom_details::GetText(this, &IXMLDOMNode::get_prefix); }
inline _bstr_t IXMLDOMNode::GetbaseName() { return VormXmlDom_details::GetText(this, &IXMLDOMNode::get_baseName); }

// IXMLDOMNodeList
inline IXMLDOMNodePtr IXMLDOMNodeList::Getitem(LONG index) {
  return VormXmlDom_details::CallObject<IXMLDOMNode>(this, &IXMLDOMNodeList::get_item, index);
}
inline LONG IXMLDOMNodeList::Getlength() { return VormXmlDom_details::GetValue(this, &IXMLDOMNodeList::get_length); }
inline IXMLDOMNodePtr IXMLDOMNodeList::nextNode() {
  return VormXmlDom_details::GetObject(this, &IXMLDOMNodeList::raw_nextNode);
}
inline HRESULT IXMLDOMNodeList::reset() { return VormXmlDom_details::Check(this, raw_reset()); }

// IXMLDOMNamedNodeMap
inline IXMLDOMNodePtr IXMLDOMNamedNodeMap::getNamedItem(const _bstr_t& name) {
  return VormXmlDom_details::CallObject<IXMLDOMNode>(this, &IXMLDOMNamedNodeMap::raw_getNamedItem, name);
}
inline IXMLDOMNodePtr IXMLDOMNamedNodeMap::setNamedItem(IXMLDOMNode* attribute) {
  return VormXmlDom_details::CallObject<IXMLDOMNode>(this, &IXMLDOMNamedNodeMap::raw_setNamedItem, attribute);
}
inline IXMLDOMNodePtr IXMLDOMNamedNodeMap::removeNamedItem(const _bstr_t& name) {
  return VormXmlDom_details::CallObject<IXMLDOMNode>(this, &IXMLDOMNamedNodeMap::raw_removeNamedItem, name);
}
inline IXMLDOMNodePtr IXMLDOMNamedNodeMap::Getitem(LONG index) {
  return VormXmlDom_details::CallObject<IXMLDOMNode>(this, &IXMLDOMNamedNodeMap::get_item, index);
}
inline LONG IXMLDOMNamedNodeMap::Getlength() {
  return VormXmlDom_details::GetValue(this, &IXMLDOMNamedNodeMap::get_length);
}
inline IXMLDOMNodePtr IXMLDOMNamedNodeMap::nextNode() {
  return VormXmlDom_details::GetObject(this, &IXMLDOMNamedNodeMap::raw_nextNode);
}
inline HRESULT IXMLDOMNamedNodeMap::reset() { return VormXmlDom_details::Check(this, raw_reset()); }

// IXMLDOMParseError
inline LONG IXMLDOMParseError::GeterrorCode() {
  return VormXmlDom_details::GetValue(this, &IXMLDOMParseError::get_errorCode);
}
inline _bstr_t IXMLDOMParseError::Geturl() { return VormXmlDom_details::GetText(this, &IXMLDOMParseError::get_url); }
inline _bstr_t IXMLDOMParseError::Getreason() {
  return VormXmlDom_details::GetText(this, &IXMLDOMParseError::get_reason);
}
inline _bstr_t IXMLDOMParseError::GetsrcText() {
  return VormXmlDom_details::GetText(this, &IXMLDOMParseError::get_srcText);
}
inline LONG IXMLDOMParseError::Getline() { return VormXmlDom_details::GetValue(this, &IXMLDOMParseError::get_line); }
inline LONG IXMLDOMParseError::Getlinepos() {
  return VormXmlDom_details::GetValue(this, &IXMLDOMParseError::get_linepos);
}
inline LONG IXMLDOMParseError::Getfilepos() {
  return VormXmlDom_details::GetValue(this, &IXMLDOMParseError::get_filepos);
}

// IXMLDOMDocument
inline IXMLDOMDocumentTypePtr IXMLDOMDocument::Getdoctype() {
  return VormXmlDom_details::GetObject(this, &IXMLDOMDocument::get_doctype);
}
inline IXMLDOMElementPtr IXMLDOMDocument::GetdocumentElement() {
  return VormXmlDom_details::GetObject(this, &IXMLDOMDocument::get_documentElement);
}
inline IXMLDOMElementPtr IXMLDOMDocument::createElement(const _bstr_t& tagName) {
  return VormXmlDom_details::CallObject<IXMLDOMElement>(this, &IXMLDOMDocument::raw_createElement, tagName);
}
inline IXMLDOMTextPtr IXMLDOMDocument::createTextNode(const _bstr_t& data) {
  return VormXmlDom_details::CallObject<IXMLDOMText>(this, &IXMLDOMDocument::raw_createTextNode, data);
}
inline IXMLDOMCommentPtr IXMLDOMDocument::createComment(const _bstr_t& data) {
  return VormXmlDom_details::CallObject<IXMLDOMComment>(this, &IXMLDOMDocument::raw_createComment, data);
}
inline IXMLDOMCDATASectionPtr IXMLDOMDocument::createCDATASection(const _bstr_t& data) {
  return VormXmlDom_details::CallObject<IXMLDOMCDATASection>(this, &IXMLDOMDocument::raw_createCDATASection, data);
}
inline IXMLDOMProcessingInstructionPtr IXMLDOMDocument::createProcessingInstruction(const _bstr_t& target,
                                                                                    const _bstr_t& data) {
  return VormXmlDom_details::CallObject<IXMLDOMProcessingInstruction>(
      this, &IXMLDOMDocument::raw_createProcessingInstruction, target, data);
}
inline IXMLDOMAttributePtr IXMLDOMDocument::createAttribute(const _bstr_t& name) {
  return VormXmlDom_details::CallObject<IXMLDOMAttribute>(this, &IXMLDOMDocument::raw_createAttribute, name);
}
inline IXMLDOMNodeListPtr IXMLDOMDocument::getElementsByTagName(const _bstr_t& tagName) {
  return VormXmlDom_details::CallObject<IXMLDOMNodeList>(this, &IXMLDOMDocument::raw_getElementsByTagName, tagName);
}
inline IXMLDOMNodePtr IXMLDOMDocument::createNode(const _variant_t& type, const _bstr_t& name,
                                                  const _bstr_t& namespaceURI) {
  return VormXmlDom_details::CallObject<IXMLDOMNode>(this, &IXMLDOMDocument::raw_createNode, type, name, namespaceURI);
}
inline LONG IXMLDOMDocument::GetreadyState() {
  return VormXmlDom_details::GetValue(this, &IXMLDOMDocument::get_readyState);
}
inline IXMLDOMParseErrorPtr IXMLDOMDocument::GetparseError() {
  return VormXmlDom_details::GetObject(this, &IXMLDOMDocument::get_parseError);
}
inline _bstr_t IXMLDOMDocument::Geturl() { return VormXmlDom_details::GetText(this, &IXMLDOMDocument::get_url); }
inline VARIANT_BOOL IXMLDOMDocument::Getasync() {
  return VormXmlDom_details::GetValue(this, &IXMLDOMDocument::get_async);
}
inline void IXMLDOMDocument::Putasync(VARIANT_BOOL async) { VormXmlDom_details::Check(this, put_async(async)); }
inline HRESULT IXMLDOMDocument::abort() { return VormXmlDom_details::Check(this, raw_abort()); }
inline VARIANT_BOOL IXMLDOMDocument::load(const _variant_t& source) {
  return VormXmlDom_details::CallValue<VARIANT_BOOL>(this, &IXMLDOMDocument::raw_load, source);
}
inline VARIANT_BOOL IXMLDOMDocument::loadXML(const _bstr_t& xml) {
  return VormXmlDom_details::CallValue<VARIANT_BOOL>(this, &IXMLDOMDocument::raw_loadXML, xml);
}
inline HRESULT IXMLDOMDocument::save(const _variant_t& destination) {
  return VormXmlDom_details::Check(this, raw_save(destination));
}
inline VARIANT_BOOL IXMLDOMDocument::GetvalidateOnParse() {
  return VormXmlDom_details::GetValue(this, &IXMLDOMDocument::get_validateOnParse);
}
inline void IXMLDOMDocument::PutvalidateOnParse(VARIANT_BOOL validate) {
  VormXmlDom_details::Check(this, put_validateOnParse(validate));
}
inline VARIANT_BOOL IXMLDOMDocument::GetresolveExternals() {
  return VormXmlDom_details::GetValue(this, &IXMLDOMDocument::get_resolveExternals);
}
inline void IXMLDOMDocument::PutresolveExternals(VARIANT_BOOL resolve) {
  VormXmlDom_details::Check(this, put_resolveExternals(resolve));
}
inline VARIANT_BOOL IXMLDOMDocument::GetpreserveWhiteSpace() {
  return VormXmlDom_details::GetValue(this, &IXMLDOMDocument::get_preserveWhiteSpace);
}
inline void IXMLDOMDocument::PutpreserveWhiteSpace(VARIANT_BOOL preserve) {
  VormXmlDom_details::Check(this, put_preserveWhiteSpace(preserve));
}

// IXMLDOMDocument2
inline HRESULT IXMLDOMDocument2::setProperty(const _bstr_t& name, const _variant_t& value) {
  return VormXmlDom_details::Check(this, raw_setProperty(name, value));
}
inline _variant_t IXMLDOMDocument2::getProperty(const _bstr_t& name) {
  return VormXmlDom_details::CallVariant(this, &IXMLDOMDocument2::raw_getProperty, name);
}

// IXMLDOMDocumentType
inline _bstr_t IXMLDOMDocumentType::Getname() {
  return VormXmlDom_details::GetText(this, &IXMLDOMDocumentType::get_name);
}

// IXMLDOMElement
inline _bstr_t IXMLDOMElement::GettagName() { return VormXmlDom_details::GetText(this, &IXMLDOMElement::get_tagName); }
inline _variant_t IXMLDOMElement::getAttribute(const _bstr_t& name) {
  return VormXmlDom_details::CallVariant(this, &IXMLDOMElement::raw_getAttribute, name);
}
inline HRESULT IXMLDOMElement::setAttribute(const _bstr_t& name, const _variant_t& value) {
  return VormXmlDom_details::Check(this, raw_setAttribute(name, value));
}
inline HRESULT IXMLDOMElement::removeAttribute(const _bstr_t& name) {
  return VormXmlDom_details::Check(this, raw_removeAttribute(name));
}
inline IXMLDOMAttributePtr IXMLDOMElement::getAttributeNode(const _bstr_t& name) {
  return VormXmlDom_details::CallObject<IXMLDOMAttribute>(this, &IXMLDOMElement::raw_getAttributeNode, name);
}
inline IXMLDOMAttributePtr IXMLDOMElement::setAttributeNode(IXMLDOMAttribute* attribute) {
  return VormXmlDom_details::CallObject<IXMLDOMAttribute>(this, &IXMLDOMElement::raw_setAttributeNode, attribute);
}
inline IXMLDOMAttributePtr IXMLDOMElement::removeAttributeNode(IXMLDOMAttribute* attribute) {
  return VormXmlDom_details::CallObject<IXMLDOMAttribute>(this, &IXMLDOMElement::raw_removeAttributeNode, attribute);
}
inline IXMLDOMNodeListPtr IXMLDOMElement::getElementsByTagName(const _bstr_t& tagName) {
  return VormXmlDom_details::CallObject<IXMLDOMNodeList>(this, &IXMLDOMElement::raw_getElementsByTagName, tagName);
}
inline HRESULT IXMLDOMElement::normalize() { return VormXmlDom_details::Check(this, raw_normalize()); }

// IXMLDOMAttribute
inline _bstr_t IXMLDOMAttribute::Getname() { return VormXmlDom_details::GetText(this, &IXMLDOMAttribute::get_name); }
inline _variant_t IXMLDOMAttribute::Getvalue() {
  return VormXmlDom_details::GetVariant(this, &IXMLDOMAttribute::get_value);
}
inline void IXMLDOMAttribute::Putvalue(const _variant_t& value) { VormXmlDom_details::Check(this, put_value(value)); }

// IXMLDOMCharacterData
inline _bstr_t IXMLDOMCharacterData::Getdata() {
  return VormXmlDom_details::GetText(this, &IXMLDOMCharacterData::get_data);
}
inline void IXMLDOMCharacterData::Putdata(const _bstr_t& data) { VormXmlDom_details::Check(this, put_data(data)); }
inline LONG IXMLDOMCharacterData::Getlength() {
  return VormXmlDom_details::GetValue(this, &IXMLDOMCharacterData::get_length);
}
inline _bstr_t IXMLDOMCharacterData::substringData(LONG offset, LONG count) {
  return VormXmlDom_details::CallText(this, &IXMLDOMCharacterData::raw_substringData, offset, count);
}
inline HRESULT IXMLDOMCharacterData::appendData(const _bstr_t& data) {
  return VormXmlDom_details::Check(this, raw_appendData(data));
}
inline HRESULT IXMLDOMCharacterData::insertData(LONG offset, const _bstr_t& data) {
  return VormXmlDom_details::Check(this, raw_insertData(offset, data));
}
inline HRESULT IXMLDOMCharacterData::deleteData(LONG offset, LONG count) {
  return VormXmlDom_details::Check(this, raw_deleteData(offset, count));
}
inline HRESULT IXMLDOMCharacterData::replaceData(LONG offset, LONG count, const _bstr_t& data) {
  return VormXmlDom_details::Check(this, raw_replaceData(offset, count, data));
}

// IXMLDOMText
inline IXMLDOMTextPtr IXMLDOMText::splitText(LONG offset) {
  return VormXmlDom_details::CallObject<IXMLDOMText>(this, &IXMLDOMText::raw_splitText, offset);
}

// IXMLDOMProcessingInstruction
inline _bstr_t IXMLDOMProcessingInstruction::Gettarget() {
  return VormXmlDom_details::GetText(this, &IXMLDOMProcessingInstruction::get_target);
}
inline _bstr_t IXMLDOMProcessingInstruction::Getdata() {
  return VormXmlDom_details::GetText(this, &IXMLDOMProcessingInstruction::get_data);
}
inline void IXMLDOMProcessingInstruction::Putdata(const _bstr_t& data) {
  VormXmlDom_details::Check(this, put_data(data));
}

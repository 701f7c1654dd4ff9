// Node objects and the IXMLDOMNode operations.
#include <atomic>
#include <cstring>

#include <vorm/platform/text.h>

#include "platform/xmldom/dom_document.h"

namespace VormXmlDom_details {

namespace {

bool HasNoInstructionEnd(std::string_view data) { return data.find("?>") == std::string_view::npos; }

// One object serves every kind of node; QueryInterface answers the interfaces of the kind
// the node is. One thread at a time (the document's); holds a reference to its document.
class NodeObject final : public DomNode<IXMLDOMElement, IXMLDOMAttribute, IXMLDOMCDATASection, IXMLDOMComment,
                                        IXMLDOMProcessingInstruction, IXMLDOMDocumentType> {
 public:
  explicit NodeObject(const Place& place) : place_(place), document_(place.tree->owner) {
    document_->AddRef();
    place_.tree->live.emplace(place_.Key(), this);
  }

  Place CurrentPlace() const override { return place_; }
  IXMLDOMNode* AsNode() override { return static_cast<IXMLDOMElement*>(this); }
  void Repoint(const std::shared_ptr<Tree>& tree, pugi::xml_node node, pugi::xml_attribute attr) override {
    if (tree->owner != document_) {
      DocumentObject* old = document_;
      document_ = tree->owner;
      document_->AddRef();
      old->Release();
    }
    place_ = Place{tree, node, attr};
  }

  // IXMLDOMElement
  HRESULT get_tagName(BSTR* out) override {
    return Guarded([&] { return Is(NODE_ELEMENT) ? NewBstr(std::string_view(place_.node.name()), out) : WrongKind(); });
  }
  HRESULT raw_getAttribute(BSTR name, VARIANT* out) override {
    return Guarded([&]() -> HRESULT {
      if (!out) return E_INVALIDARG;
      VariantInit(out);
      if (!Is(NODE_ELEMENT)) return WrongKind();
      pugi::xml_attribute a = place_.node.attribute(Utf8(name).c_str());
      if (!a) {
        out->vt = VT_NULL;
        return S_FALSE;
      }
      out->vt = VT_BSTR;
      return NewBstr(std::string_view(a.value()), &out->bstrVal);
    });
  }
  HRESULT raw_setAttribute(BSTR name, VARIANT value) override {
    return Guarded([&]() -> HRESULT {
      if (!Is(NODE_ELEMENT)) return WrongKind();
      const std::string n = Utf8(name);
      if (!IsXmlName(n)) return Fail(E_INVALIDARG, L"The attribute name is not a valid XML name.");
      std::string text;
      const HRESULT hr = VariantText(value, text);
      if (FAILED(hr)) return hr;
      pugi::xml_attribute a = place_.node.attribute(n.c_str());
      if (!a) a = place_.node.append_attribute(n.c_str());
      if (!a || !a.set_value(text.c_str(), text.size())) return E_OUTOFMEMORY;
      Touch(place_);
      return S_OK;
    });
  }
  HRESULT raw_removeAttribute(BSTR name) override {
    return Guarded([&]() -> HRESULT {
      if (!Is(NODE_ELEMENT)) return WrongKind();
      pugi::xml_attribute a = place_.node.attribute(Utf8(name).c_str());
      if (!a) return S_FALSE;
      RemoveAttribute(place_, a);
      return S_OK;
    });
  }
  HRESULT raw_getAttributeNode(BSTR name, IXMLDOMAttribute** out) override {
    return Guarded([&]() -> HRESULT {
      if (!out) return E_INVALIDARG;
      *out = nullptr;
      if (!Is(NODE_ELEMENT)) return WrongKind();
      pugi::xml_attribute a = place_.node.attribute(Utf8(name).c_str());
      return a ? WrapAs(Place{place_.tree, place_.node, a}, out) : S_FALSE;
    });
  }
  HRESULT raw_setAttributeNode(IXMLDOMAttribute* attribute, IXMLDOMAttribute** replaced) override {
    return Guarded([&]() -> HRESULT {
      if (replaced) *replaced = nullptr;
      Place attr;
      if (!PlaceOf(attribute, attr)) return Fail(E_INVALIDARG, L"The attribute is not a node of this DOM.");
      if (replaced && attr.IsAttribute() && !(attr.tree == place_.tree && attr.node == place_.node)) {
        if (pugi::xml_attribute same = place_.node.attribute(attr.attr.name()))
          WrapAs(Place{place_.tree, place_.node, same}, replaced);  // kept alive, so detached rather than freed
      }
      return AttachAttribute(place_, attr);
    });
  }
  HRESULT raw_removeAttributeNode(IXMLDOMAttribute* attribute, IXMLDOMAttribute** removed) override {
    return Guarded([&]() -> HRESULT {
      if (removed) *removed = nullptr;
      Place attr;
      if (!PlaceOf(attribute, attr) || !attr.IsAttribute() || attr.tree != place_.tree || attr.node != place_.node)
        return Fail(E_INVALIDARG, L"The attribute does not belong to this element.");
      attribute->AddRef();  // the caller's object survives the removal as a detached attribute
      RemoveAttribute(place_, attr.attr);
      if (removed)
        *removed = attribute;
      else
        attribute->Release();
      return S_OK;
    });
  }
  HRESULT raw_getElementsByTagName(BSTR tagName, IXMLDOMNodeList** out) override {
    return Guarded([&] { return NewSelection(AsNode(), ElementsByTagNamePath(tagName), out); });
  }
  HRESULT raw_normalize() override {
    return Guarded([&]() -> HRESULT {
      if (!Is(NODE_ELEMENT)) return WrongKind();
      Normalize();
      return S_OK;
    });
  }

  // IXMLDOMAttribute and IXMLDOMDocumentType
  HRESULT get_name(BSTR* out) override {
    return Guarded([&]() -> HRESULT {
      if (!Is(NODE_ATTRIBUTE) && !Is(NODE_DOCUMENT_TYPE)) return WrongKind();
      return NodeOps::GetName(place_, out);
    });
  }
  HRESULT get_value(VARIANT* out) override {
    return Guarded([&] { return Is(NODE_ATTRIBUTE) ? NodeOps::GetValue(place_, out) : WrongKind(); });
  }
  HRESULT put_value(VARIANT value) override {
    return Guarded([&] { return Is(NODE_ATTRIBUTE) ? NodeOps::PutValue(place_, value) : WrongKind(); });
  }

  // IXMLDOMCharacterData and IXMLDOMProcessingInstruction
  HRESULT get_data(BSTR* out) override {
    return Guarded([&] { return HasData() ? NodeOps::GetText(place_, out) : WrongKind(); });
  }
  HRESULT put_data(BSTR data) override {
    return Guarded([&] { return HasData() ? NodeOps::PutText(place_, data) : WrongKind(); });
  }
  HRESULT get_length(LONG* out) override {
    return Guarded([&]() -> HRESULT {
      if (!out) return E_INVALIDARG;
      if (!IsCharacterData()) return WrongKind();
      *out = static_cast<LONG>(Data().size());
      return S_OK;
    });
  }
  HRESULT raw_substringData(LONG offset, LONG count, BSTR* out) override {
    return Guarded([&]() -> HRESULT {
      if (!IsCharacterData()) return WrongKind();
      const std::wstring data = Data();
      if (offset < 0 || count < 0 || static_cast<size_t>(offset) > data.size()) return OutOfRange();
      return NewBstr(std::wstring_view(data).substr(static_cast<size_t>(offset), static_cast<size_t>(count)), out);
    });
  }
  HRESULT raw_appendData(BSTR data) override { return Edit(-1, 0, data); }
  HRESULT raw_insertData(LONG offset, BSTR data) override { return Edit(offset, 0, data); }
  HRESULT raw_deleteData(LONG offset, LONG count) override { return Edit(offset, count, nullptr); }
  HRESULT raw_replaceData(LONG offset, LONG count, BSTR data) override { return Edit(offset, count, data); }
  HRESULT raw_splitText(LONG offset, IXMLDOMText** out) override {
    return Guarded([&]() -> HRESULT {
      if (!out) return E_INVALIDARG;
      *out = nullptr;
      if (!Is(NODE_TEXT) && !Is(NODE_CDATA_SECTION)) return WrongKind();
      const std::wstring data = Data();
      if (offset < 0 || static_cast<size_t>(offset) > data.size()) return OutOfRange();
      const std::string rest = VormToUtf8(std::wstring_view(data).substr(static_cast<size_t>(offset)));
      Place second{place_.tree, {}, {}};
      if (pugi::xml_node parent = place_.node.parent();
          parent && !place_.IsTreeRoot() && !(place_.tree->detached && parent == place_.tree->doc)) {
        second.node = parent.insert_child_after(place_.node.type(), place_.node);
      } else {
        second.tree = NewDetachedTree(place_.tree->owner);  // a detached node gets a detached rest
        second.node = second.tree->doc.append_child(place_.node.type());
      }
      if (!second.node || !second.node.set_value(rest.c_str(), rest.size())) return E_OUTOFMEMORY;
      const std::string kept = VormToUtf8(std::wstring_view(data).substr(0, static_cast<size_t>(offset)));
      if (!place_.node.set_value(kept.c_str(), kept.size())) return E_OUTOFMEMORY;
      Touch(place_);
      return WrapAs(second, out);
    });
  }
  HRESULT get_target(BSTR* out) override {
    return Guarded([&] { return Is(NODE_PROCESSING_INSTRUCTION) ? NodeOps::GetName(place_, out) : WrongKind(); });
  }

 private:
  ~NodeObject() override {
    place_.tree->live.erase(place_.Key());
    document_->Release();
  }

  void* Find(REFIID iid) override {
    const DOMNodeType type = TypeOf(place_);
    IXMLDOMCDATASection* cdata = this;
    IXMLDOMComment* comment = this;
    if (iid == IID_IUnknown || iid == IID_IXMLDOMNode) return AsNode();
    if (iid == IID_ISupportErrorInfo) return static_cast<ISupportErrorInfo*>(this);
    switch (type) {
      case NODE_ELEMENT: return iid == IID_IXMLDOMElement ? static_cast<IXMLDOMElement*>(this) : nullptr;
      case NODE_ATTRIBUTE: return iid == IID_IXMLDOMAttribute ? static_cast<IXMLDOMAttribute*>(this) : nullptr;
      case NODE_TEXT:
        if (iid == IID_IXMLDOMText) return static_cast<IXMLDOMText*>(cdata);
        return iid == IID_IXMLDOMCharacterData ? static_cast<IXMLDOMCharacterData*>(cdata) : nullptr;
      case NODE_CDATA_SECTION:
        if (iid == IID_IXMLDOMCDATASection) return cdata;
        if (iid == IID_IXMLDOMText) return static_cast<IXMLDOMText*>(cdata);
        return iid == IID_IXMLDOMCharacterData ? static_cast<IXMLDOMCharacterData*>(cdata) : nullptr;
      case NODE_COMMENT:
        if (iid == IID_IXMLDOMComment) return comment;
        return iid == IID_IXMLDOMCharacterData ? static_cast<IXMLDOMCharacterData*>(comment) : nullptr;
      case NODE_PROCESSING_INSTRUCTION:
        return iid == IID_IXMLDOMProcessingInstruction ? static_cast<IXMLDOMProcessingInstruction*>(this) : nullptr;
      case NODE_DOCUMENT_TYPE:
        return iid == IID_IXMLDOMDocumentType ? static_cast<IXMLDOMDocumentType*>(this) : nullptr;
      default: return nullptr;
    }
  }

  bool Is(DOMNodeType type) const { return TypeOf(place_) == type; }
  bool IsCharacterData() const { return Is(NODE_TEXT) || Is(NODE_CDATA_SECTION) || Is(NODE_COMMENT); }
  bool HasData() const { return IsCharacterData() || Is(NODE_PROCESSING_INSTRUCTION); }
  static HRESULT WrongKind() { return Fail(E_FAIL, L"This operation is not available on a node of this type."); }
  static HRESULT OutOfRange() { return Fail(E_INVALIDARG, L"The offset or count is outside the node's data."); }
  std::wstring Data() const { return VormFromUtf8(place_.node.value()); }

  // appendData (offset -1), insertData (count 0), deleteData (no data), replaceData.
  HRESULT Edit(LONG offset, LONG count, BSTR data) {
    return Guarded([&]() -> HRESULT {
      if (!IsCharacterData()) return WrongKind();
      std::wstring text = Data();
      const size_t at = offset < 0 ? text.size() : static_cast<size_t>(offset);
      if (count < 0 || at > text.size()) return OutOfRange();
      text.replace(at, static_cast<size_t>(count), data ? std::wstring(data, SysStringLen(data)) : std::wstring());
      const std::string utf8 = VormToUtf8(text);
      if (!place_.node.set_value(utf8.c_str(), utf8.size())) return E_OUTOFMEMORY;
      Touch(place_);
      return S_OK;
    });
  }

  // Joins adjacent text nodes and drops empty ones in the element's subtree.
  void Normalize() {
    const pugi::xml_node root = place_.node;
    for (pugi::xml_node n = root; n; n = NextInSubtree(n, root)) {
      pugi::xml_node child = n.first_child();
      while (child) {
        pugi::xml_node next = child.next_sibling();
        if (child.type() == pugi::node_pcdata) {
          std::string joined = child.value();
          while (next && next.type() == pugi::node_pcdata) {
            joined += next.value();
            pugi::xml_node after = next.next_sibling();
            Place gone{place_.tree, next, {}};
            if (place_.tree->live.count(next.internal_object()))
              DetachNode(gone);
            else
              DestroySubtree(next);
            next = after;
          }
          if (joined.empty() && !place_.tree->live.count(child.internal_object()))
            DestroySubtree(child);
          else
            child.set_value(joined.c_str(), joined.size());
        }
        child = next;
      }
    }
    Touch(place_);
  }

  Place place_;
  DocumentObject* document_;  // one reference
};

const char* TypeString(DOMNodeType type) {
  switch (type) {
    case NODE_ELEMENT: return "element";
    case NODE_ATTRIBUTE: return "attribute";
    case NODE_TEXT: return "text";
    case NODE_CDATA_SECTION: return "cdatasection";
    case NODE_COMMENT: return "comment";
    case NODE_PROCESSING_INSTRUCTION: return "processinginstruction";
    case NODE_DOCUMENT: return "document";
    case NODE_DOCUMENT_TYPE: return "documenttype";
    default: return "";
  }
}

std::string_view QualifiedName(const Place& p) {
  if (p.IsAttribute()) return p.attr.name();
  return TypeOf(p) == NODE_ELEMENT ? p.node.name() : std::string_view();
}

std::string_view DoctypeName(pugi::xml_node doctype) {
  std::string_view text = doctype.value();
  size_t end = 0;
  while (end < text.size() && !IsXmlWhitespace(text[end]) && text[end] != '[') ++end;
  return text.substr(0, end);
}

template <class Get>
HRESULT Neighbour(const Place& p, IXMLDOMNode** out, Get get) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (p.IsAttribute()) return S_FALSE;
  // The top node of a detached tree has no siblings and no parent.
  const pugi::xml_node found = get(p.node);
  if (!found) return S_FALSE;
  *out = Wrap(Place{p.tree, found, {}});
  return *out ? S_OK : S_FALSE;
}

HRESULT PlaceOfArgument(IXMLDOMNode* node, Place& place) {
  if (!node) return Fail(E_INVALIDARG, L"A node argument is null.");
  if (!PlaceOf(node, place)) return Fail(E_INVALIDARG, L"The node does not belong to this DOM implementation.");
  return S_OK;
}

bool IsChildOf(const Place& child, const Place& parent) {
  return !child.IsAttribute() && child.tree == parent.tree && !parent.IsAttribute() &&
         child.node.parent() == parent.node;
}

// Drops the declaration createNode added once the inserted element's namespace is in
// scope anyway.
void DropRedundantDeclaration(const Place& element, const Place& parent) {
  const std::string_view name = element.node.name();
  const size_t colon = name.find(':');
  const std::string_view prefix = colon == std::string_view::npos ? std::string_view() : name.substr(0, colon);
  const std::string attrName = prefix.empty() ? std::string("xmlns") : "xmlns:" + std::string(prefix);
  pugi::xml_attribute declaration = element.node.attribute(attrName.c_str());
  if (declaration && TypeOf(parent) == NODE_ELEMENT && ResolveNamespace(parent.node, prefix) == declaration.value())
    RemoveAttribute(element, declaration);
}

HRESULT SetText(const Place& p, const std::string& text) {
  pugi::xml_node node = p.node;
  pugi::xml_attribute attr = p.attr;
  switch (TypeOf(p)) {
    case NODE_ATTRIBUTE:
      if (!attr.set_value(text.c_str(), text.size())) return E_OUTOFMEMORY;
      break;
    case NODE_ELEMENT:
      ClearChildren(p);
      if (!text.empty()) {
        pugi::xml_node child = node.append_child(pugi::node_pcdata);
        if (!child || !child.set_value(text.c_str(), text.size())) return E_OUTOFMEMORY;
      }
      break;
    case NODE_PROCESSING_INSTRUCTION:
      if (p.node.type() == pugi::node_declaration) {
        if (!SetDeclarationText(p.node, text)) return Fail(E_INVALIDARG, L"The XML declaration's text is malformed.");
        break;
      }
      if (!HasNoInstructionEnd(text)) return Fail(E_INVALIDARG, L"A processing instruction cannot contain \"?>\".");
      [[fallthrough]];
    case NODE_TEXT:
    case NODE_CDATA_SECTION:
    case NODE_COMMENT:
      if (!node.set_value(text.c_str(), text.size())) return E_OUTOFMEMORY;
      break;
    default: return Fail(E_FAIL, L"The text of this node cannot be set.");
  }
  Touch(p);
  return S_OK;
}

}  // namespace

DOMNodeType TypeOf(const Place& place) {
  if (place.IsAttribute()) return NODE_ATTRIBUTE;
  switch (place.node.type()) {
    case pugi::node_document: return NODE_DOCUMENT;
    case pugi::node_element: return NODE_ELEMENT;
    case pugi::node_pcdata: return NODE_TEXT;
    case pugi::node_cdata: return NODE_CDATA_SECTION;
    case pugi::node_comment: return NODE_COMMENT;
    case pugi::node_pi:
    case pugi::node_declaration: return NODE_PROCESSING_INSTRUCTION;
    case pugi::node_doctype: return NODE_DOCUMENT_TYPE;
    default: return NODE_INVALID;
  }
}

IXMLDOMNode* Wrap(const Place& place) {
  Tree& tree = *place.tree;
  if (place.IsTreeRoot()) {
    if (tree.detached || tree.owner->MainTree().get() != &tree) return nullptr;
    IXMLDOMNode* document = tree.owner->AsNode();
    document->AddRef();
    return document;
  }
  if (tree.attributeHolder && !place.IsAttribute()) return nullptr;  // the placeholder element
  auto it = tree.live.find(place.Key());
  if (it != tree.live.end()) {
    IXMLDOMNode* node = it->second->AsNode();
    node->AddRef();
    return node;
  }
  return (new NodeObject(place))->AsNode();
}

bool PlaceOf(IUnknown* object, Place& place) {
  auto* base = dynamic_cast<NodeBase*>(object);
  if (!base) return false;
  place = base->CurrentPlace();
  return true;
}

std::string ElementsByTagNamePath(BSTR tagName) {
  const std::string name = Utf8(tagName);
  if (name == "*") return "descendant::*";
  if (!IsXmlName(name)) return "descendant::*[false()]";
  return "descendant::*[name()='" + name + "']";  // an XML name holds no quote
}

namespace NodeOps {

HRESULT GetName(const Place& p, BSTR* out) {
  switch (TypeOf(p)) {
    case NODE_ELEMENT:
    case NODE_ATTRIBUTE: return NewBstr(QualifiedName(p), out);
    case NODE_TEXT: return NewBstr(std::wstring_view(L"#text"), out);
    case NODE_CDATA_SECTION: return NewBstr(std::wstring_view(L"#cdata-section"), out);
    case NODE_COMMENT: return NewBstr(std::wstring_view(L"#comment"), out);
    case NODE_DOCUMENT: return NewBstr(std::wstring_view(L"#document"), out);
    case NODE_PROCESSING_INSTRUCTION:
      return NewBstr(
          p.node.type() == pugi::node_declaration ? std::string_view("xml") : std::string_view(p.node.name()), out);
    case NODE_DOCUMENT_TYPE: return NewBstr(DoctypeName(p.node), out);
    default: return NewBstr(std::wstring_view(), out);
  }
}

HRESULT GetValue(const Place& p, VARIANT* out) {
  if (!out) return E_INVALIDARG;
  VariantInit(out);
  const DOMNodeType type = TypeOf(p);
  if (type == NODE_ELEMENT || type == NODE_DOCUMENT || type == NODE_DOCUMENT_TYPE) {
    out->vt = VT_NULL;
    return S_FALSE;
  }
  out->vt = VT_BSTR;
  return NewBstr(std::string_view(NodeText(p)), &out->bstrVal);
}

HRESULT PutValue(const Place& p, const VARIANT& value) {
  const DOMNodeType type = TypeOf(p);
  if (type == NODE_ELEMENT || type == NODE_DOCUMENT || type == NODE_DOCUMENT_TYPE)
    return Fail(E_FAIL, L"This node has no value to set.");
  std::string text;
  const HRESULT hr = VariantText(value, text);
  return FAILED(hr) ? hr : SetText(p, text);
}

HRESULT GetType(const Place& p, DOMNodeType* out) {
  if (!out) return E_INVALIDARG;
  *out = TypeOf(p);
  return S_OK;
}

HRESULT GetParent(const Place& p, IXMLDOMNode** out) {
  return Neighbour(p, out, [](pugi::xml_node n) { return n.parent(); });
}

HRESULT GetChildNodes(IXMLDOMNode* self, IXMLDOMNodeList** out) { return NewChildList(self, out); }

HRESULT GetFirstChild(const Place& p, IXMLDOMNode** out) {
  return Neighbour(p, out, [](pugi::xml_node n) { return n.first_child(); });
}

HRESULT GetLastChild(const Place& p, IXMLDOMNode** out) {
  return Neighbour(p, out, [](pugi::xml_node n) { return n.last_child(); });
}

HRESULT GetPreviousSibling(const Place& p, IXMLDOMNode** out) {
  return Neighbour(p, out, [&](pugi::xml_node n) {
    return p.tree->detached && n.parent() == p.tree->doc ? pugi::xml_node() : n.previous_sibling();
  });
}

HRESULT GetNextSibling(const Place& p, IXMLDOMNode** out) {
  return Neighbour(p, out, [&](pugi::xml_node n) {
    return p.tree->detached && n.parent() == p.tree->doc ? pugi::xml_node() : n.next_sibling();
  });
}

HRESULT GetAttributes(IXMLDOMNode* self, const Place& p, IXMLDOMNamedNodeMap** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (TypeOf(p) != NODE_ELEMENT) return S_FALSE;
  return NewAttributeMap(self, out);
}

HRESULT InsertBefore(const Place& p, IXMLDOMNode* newChild, const VARIANT& ref, IXMLDOMNode** out) {
  if (out) *out = nullptr;
  Place child;
  HRESULT hr = PlaceOfArgument(newChild, child);
  if (FAILED(hr)) return hr;
  Place before;
  const bool hasRef = (ref.vt == VT_UNKNOWN || ref.vt == VT_DISPATCH) && ref.punkVal;
  if (hasRef && !PlaceOf(ref.punkVal, before))
    return Fail(E_INVALIDARG, L"The reference node does not belong to this DOM.");
  if (!hasRef && ref.vt != VT_EMPTY && ref.vt != VT_NULL && ref.vt != VT_UNKNOWN && ref.vt != VT_DISPATCH)
    return Fail(E_INVALIDARG, L"The reference node must be a node or empty.");
  hr = InsertNode(p, child, hasRef ? &before : nullptr);
  if (FAILED(hr)) return hr;
  if (dynamic_cast<NodeBase*>(newChild)->TakeImplicitNamespace() && TypeOf(child) == NODE_ELEMENT)
    DropRedundantDeclaration(child, p);
  if (out) {
    newChild->AddRef();
    *out = newChild;
  }
  return S_OK;
}

HRESULT ReplaceChild(const Place& p, IXMLDOMNode* newChild, IXMLDOMNode* oldChild, IXMLDOMNode** out) {
  if (out) *out = nullptr;
  Place child, old;
  HRESULT hr = PlaceOfArgument(newChild, child);
  if (SUCCEEDED(hr)) hr = PlaceOfArgument(oldChild, old);
  if (FAILED(hr)) return hr;
  if (!IsChildOf(old, p)) return Fail(E_INVALIDARG, L"The node to replace is not a child of this node.");
  if (!(child.tree == old.tree && child.node == old.node)) {
    hr = InsertNode(p, child, &old, &old);
    if (FAILED(hr)) return hr;
    hr = DetachNode(old);
    if (FAILED(hr)) return hr;
  }
  if (out) {
    oldChild->AddRef();
    *out = oldChild;
  }
  return S_OK;
}

HRESULT RemoveChild(const Place& p, IXMLDOMNode* child, IXMLDOMNode** out) {
  if (out) *out = nullptr;
  Place place;
  HRESULT hr = PlaceOfArgument(child, place);
  if (FAILED(hr)) return hr;
  if (!IsChildOf(place, p)) return Fail(E_INVALIDARG, L"The node to remove is not a child of this node.");
  hr = DetachNode(place);
  if (FAILED(hr)) return hr;
  if (out) {
    child->AddRef();
    *out = child;
  }
  return S_OK;
}

HRESULT HasChildNodes(const Place& p, VARIANT_BOOL* out) {
  if (!out) return E_INVALIDARG;
  *out = !p.IsAttribute() && p.node.first_child() ? VARIANT_TRUE : VARIANT_FALSE;
  return *out ? S_OK : S_FALSE;
}

HRESULT GetOwnerDocument(const Place& p, IXMLDOMDocument** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (TypeOf(p) == NODE_DOCUMENT) return S_FALSE;
  return p.tree->owner->QueryInterface(IID_IXMLDOMDocument, reinterpret_cast<void**>(out));
}

HRESULT Clone(const Place& p, VARIANT_BOOL deep, IXMLDOMNode** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (TypeOf(p) == NODE_DOCUMENT) return p.tree->owner->CloneDocument(deep != VARIANT_FALSE, out);
  Place copy;
  const HRESULT hr = CloneNode(p, deep != VARIANT_FALSE, copy);
  if (FAILED(hr)) return hr;
  *out = Wrap(copy);
  return S_OK;
}

HRESULT GetTypeString(const Place& p, BSTR* out) { return NewBstr(std::string_view(TypeString(TypeOf(p))), out); }

HRESULT GetText(const Place& p, BSTR* out) { return NewBstr(std::string_view(NodeText(p)), out); }

HRESULT PutText(const Place& p, BSTR text) { return SetText(p, Utf8(text)); }

HRESULT GetTypedValue(const Place& p, VARIANT* out) {
  if (!out) return E_INVALIDARG;
  VariantInit(out);
  out->vt = VT_BSTR;
  return NewBstr(std::string_view(NodeText(p)), &out->bstrVal);
}

HRESULT PutTypedValue(const Place& p, const VARIANT& value) {
  std::string text;
  const HRESULT hr = VariantText(value, text);
  return FAILED(hr) ? hr : SetText(p, text);
}

HRESULT GetXml(const Place& p, BSTR* out) { return NewBstr(std::string_view(SerializeNode(p)), out); }

HRESULT SelectNodes(IXMLDOMNode* self, BSTR path, IXMLDOMNodeList** out) { return NewSelection(self, Utf8(path), out); }

HRESULT SelectSingleNode(const Place& p, BSTR path, IXMLDOMNode** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  Place found;
  bool any = false;
  const HRESULT hr = SelectFirst(p, Utf8(path), found, any);
  if (FAILED(hr) || !any) return FAILED(hr) ? hr : S_FALSE;
  *out = Wrap(found);
  return *out ? S_OK : S_FALSE;
}

HRESULT GetNamespaceURI(const Place& p, BSTR* out) {
  const std::string_view name = QualifiedName(p);
  const size_t colon = name.find(':');
  const std::string_view prefix = colon == std::string_view::npos ? std::string_view() : name.substr(0, colon);
  if (p.IsAttribute()) {
    if (name == "xmlns" || prefix == "xmlns") return NewBstr(std::string_view("http://www.w3.org/2000/xmlns/"), out);
    if (prefix.empty()) return NewBstr(std::string_view(), out);
  } else if (TypeOf(p) != NODE_ELEMENT) {
    return NewBstr(std::string_view(), out);
  }
  return NewBstr(std::string_view(ResolveNamespace(p.node, prefix)), out);
}

HRESULT GetPrefix(const Place& p, BSTR* out) {
  const std::string_view name = QualifiedName(p);
  const size_t colon = name.find(':');
  return NewBstr(colon == std::string_view::npos ? std::string_view() : name.substr(0, colon), out);
}

HRESULT GetBaseName(const Place& p, BSTR* out) {
  if (TypeOf(p) == NODE_PROCESSING_INSTRUCTION) return GetName(p, out);
  const std::string_view name = QualifiedName(p);
  const size_t colon = name.find(':');
  return NewBstr(colon == std::string_view::npos ? name : name.substr(colon + 1), out);
}

}  // namespace NodeOps

}  // namespace VormXmlDom_details

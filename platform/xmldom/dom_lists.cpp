// Node lists (children, selections) and attribute maps.
#include <atomic>
#include <memory>
#include <vector>

#include <vorm/platform/text.h>

#include "platform/xmldom/dom_node.h"

namespace VormXmlDom_details {

namespace {

// Reference counting, ISupportErrorInfo and the nextNode/reset cursor shared by the lists
// and maps. One thread at a time (the document's); each holds a reference to the node it
// lists from.
template <class Interface>
class ListObject : public VormComObjectOf<Interface, ISupportErrorInfo> {
 public:
  explicit ListObject(IXMLDOMNode* owner) : owner_(owner) {}

  HRESULT InterfaceSupportsErrorInfo(REFIID) override { return S_OK; }

  HRESULT get_item(LONG index, IXMLDOMNode** out) override {
    return Guarded([&]() -> HRESULT {
      if (!out) return E_INVALIDARG;
      *out = nullptr;
      if (index < 0) return S_FALSE;
      Place place;
      if (!Item(index, place)) return S_FALSE;
      *out = Wrap(place);
      return *out ? S_OK : S_FALSE;
    });
  }
  HRESULT get_length(LONG* out) override {
    return Guarded([&]() -> HRESULT {
      if (!out) return E_INVALIDARG;
      *out = Length();
      return S_OK;
    });
  }
  HRESULT raw_nextNode(IXMLDOMNode** out) override {
    const HRESULT hr = get_item(cursor_, out);
    if (hr == S_OK) ++cursor_;
    return hr;
  }
  HRESULT raw_reset() override {
    cursor_ = 0;
    return S_OK;
  }

 protected:
  void* Find(REFIID iid) override {
    if (iid == IID_IUnknown || iid == Interface::kIid) return static_cast<Interface*>(this);
    return iid == IID_ISupportErrorInfo ? static_cast<ISupportErrorInfo*>(this) : nullptr;
  }
  virtual bool Item(LONG index, Place& place) = 0;
  virtual LONG Length() = 0;
  Place OwnerPlace() const {
    Place place;
    PlaceOf(owner_, place);
    return place;
  }

  IXMLDOMNodePtr owner_;

 private:
  LONG cursor_ = 0;
};

// The children of a node, live. Walking by index is linear from a remembered position, so
// a loop over item(0..length-1) costs one step per item as long as the tree is unchanged.
class ChildList final : public ListObject<IXMLDOMNodeList> {
 public:
  using ListObject::ListObject;

 private:
  bool Item(LONG index, Place& place) override {
    const Place parent = OwnerPlace();
    if (parent.IsAttribute()) return false;
    Sync(parent);
    if (index < cachedIndex_ || !cachedNode_) {
      cachedNode_ = parent.node.first_child();
      cachedIndex_ = 0;
    }
    while (cachedNode_ && cachedIndex_ < index) {
      cachedNode_ = cachedNode_.next_sibling();
      ++cachedIndex_;
    }
    if (!cachedNode_) return false;
    place = Place{parent.tree, cachedNode_, {}};
    return true;
  }
  LONG Length() override {
    const Place parent = OwnerPlace();
    if (parent.IsAttribute()) return 0;
    Sync(parent);
    if (length_ < 0) {
      length_ = 0;
      for (pugi::xml_node n = parent.node.first_child(); n; n = n.next_sibling()) ++length_;
    }
    return length_;
  }
  // Forgets what was remembered about another tree state.
  void Sync(const Place& parent) {
    if (tree_ == parent.tree && version_ == parent.tree->version && node_ == parent.node) return;
    tree_ = parent.tree;
    version_ = parent.tree->version;
    node_ = parent.node;
    cachedNode_ = pugi::xml_node();
    cachedIndex_ = 0;
    length_ = -1;
  }

  std::shared_ptr<Tree> tree_;  // held, so a freed tree's address is never mistaken for it
  unsigned long long version_ = 0;
  pugi::xml_node node_;
  pugi::xml_node cachedNode_;
  LONG cachedIndex_ = 0;
  LONG length_ = -1;
};

// Nodes that are not DOM nodes (the root of a detached tree, an attribute's placeholder).
bool Hidden(const Tree& tree, const pugi::xpath_node& n) {
  if (n.attribute()) return false;
  return (tree.detached && n.node() == tree.doc) || (tree.attributeHolder && n.node().type() == pugi::node_element);
}

pugi::xpath_node ContextOf(const Place& place) {
  return place.IsAttribute() ? pugi::xpath_node(place.attr, place.node) : pugi::xpath_node(place.node);
}

Place PlaceOfResult(const Place& context, const pugi::xpath_node& n) {
  return n.attribute() ? Place{context.tree, n.parent(), n.attribute()} : Place{context.tree, n.node(), {}};
}

HRESULT Compile(const std::string& path, std::shared_ptr<pugi::xpath_query>& query) {
  try {
    query = std::make_shared<pugi::xpath_query>(path.c_str());
  } catch (const pugi::xpath_exception& e) {
    const std::wstring reason = L"The selection path is not valid XPath: " + VormFromUtf8(e.result().description()) +
                                L" (at character " + std::to_wstring(e.result().offset + 1) + L").";
    return Fail(E_FAIL, reason.c_str());
  }
  if (query->return_type() != pugi::xpath_type_node_set)
    return Fail(E_FAIL, L"The selection path does not select nodes.");
  return S_OK;
}

// The nodes a path selects from a context node, in document order. Evaluated again when
// the context's tree changed since the last evaluation, so no entry ever points at a
// freed node.
class Selection final : public ListObject<IXMLDOMNodeList> {
 public:
  Selection(IXMLDOMNode* context, std::shared_ptr<pugi::xpath_query> query)
      : ListObject(context), query_(std::move(query)) {}

 private:
  bool Item(LONG index, Place& place) override {
    const Place context = Evaluate();
    if (static_cast<size_t>(index) >= nodes_.size()) return false;
    place = PlaceOfResult(context, nodes_[static_cast<size_t>(index)]);
    return true;
  }
  LONG Length() override {
    Evaluate();
    return static_cast<LONG>(nodes_.size());
  }
  Place Evaluate() {
    const Place context = OwnerPlace();
    if (tree_ == context.tree && version_ == context.tree->version && key_ == context.Key()) return context;
    pugi::xpath_node_set set = query_->evaluate_node_set(ContextOf(context));
    set.sort();
    nodes_.clear();
    nodes_.reserve(set.size());
    for (const pugi::xpath_node& n : set)
      if (!Hidden(*context.tree, n)) nodes_.push_back(n);
    tree_ = context.tree;
    version_ = context.tree->version;
    key_ = context.Key();
    return context;
  }

  std::shared_ptr<pugi::xpath_query> query_;
  std::vector<pugi::xpath_node> nodes_;
  std::shared_ptr<Tree> tree_;
  unsigned long long version_ = 0;
  const void* key_ = nullptr;
};

class AttributeMap final : public ListObject<IXMLDOMNamedNodeMap> {
 public:
  using ListObject::ListObject;

  HRESULT raw_getNamedItem(BSTR name, IXMLDOMNode** out) override {
    return Guarded([&]() -> HRESULT {
      if (!out) return E_INVALIDARG;
      *out = nullptr;
      const Place element = OwnerPlace();
      pugi::xml_attribute a = element.node.attribute(Utf8(name).c_str());
      if (!a) return S_FALSE;
      *out = Wrap(Place{element.tree, element.node, a});
      return S_OK;
    });
  }
  HRESULT raw_setNamedItem(IXMLDOMNode* attribute, IXMLDOMNode** replaced) override {
    return Guarded([&]() -> HRESULT {
      if (replaced) *replaced = nullptr;
      Place attr;
      if (!attribute || !PlaceOf(attribute, attr) || !attr.IsAttribute())
        return Fail(E_INVALIDARG, L"Only an attribute node of this DOM can be set.");
      const Place element = OwnerPlace();
      if (replaced && !(attr.tree == element.tree && attr.node == element.node)) {
        if (pugi::xml_attribute same = element.node.attribute(attr.attr.name()))
          *replaced = Wrap(Place{element.tree, element.node, same});  // kept alive, so detached rather than freed
      }
      return AttachAttribute(element, attr);
    });
  }
  HRESULT raw_removeNamedItem(BSTR name, IXMLDOMNode** out) override {
    return Guarded([&]() -> HRESULT {
      if (out) *out = nullptr;
      const Place element = OwnerPlace();
      pugi::xml_attribute a = element.node.attribute(Utf8(name).c_str());
      if (!a) return S_FALSE;
      IXMLDOMNode* removed = Wrap(Place{element.tree, element.node, a});  // detached, not freed
      RemoveAttribute(element, a);
      if (out)
        *out = removed;
      else
        removed->Release();
      return S_OK;
    });
  }

 private:
  bool Item(LONG index, Place& place) override {
    const Place element = OwnerPlace();
    pugi::xml_attribute a = element.node.first_attribute();
    for (LONG i = 0; a && i < index; ++i) a = a.next_attribute();
    if (!a) return false;
    place = Place{element.tree, element.node, a};
    return true;
  }
  LONG Length() override {
    LONG n = 0;
    for (pugi::xml_attribute a = OwnerPlace().node.first_attribute(); a; a = a.next_attribute()) ++n;
    return n;
  }
};

}  // namespace

HRESULT NewChildList(IXMLDOMNode* parent, IXMLDOMNodeList** out) {
  if (!out) return E_INVALIDARG;
  *out = new ChildList(parent);
  return S_OK;
}

HRESULT NewSelection(IXMLDOMNode* context, const std::string& path, IXMLDOMNodeList** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  std::shared_ptr<pugi::xpath_query> query;
  const HRESULT hr = Compile(path, query);
  if (FAILED(hr)) return hr;
  auto* selection = new Selection(context, std::move(query));
  LONG length = 0;
  selection->get_length(&length);  // evaluates now, as the platform's selectNodes does
  *out = selection;
  return S_OK;
}

HRESULT NewAttributeMap(IXMLDOMNode* element, IXMLDOMNamedNodeMap** out) {
  if (!out) return E_INVALIDARG;
  *out = new AttributeMap(element);
  return S_OK;
}

HRESULT SelectFirst(const Place& place, const std::string& path, Place& found, bool& any) {
  any = false;
  std::shared_ptr<pugi::xpath_query> query;
  const HRESULT hr = Compile(path, query);
  if (FAILED(hr)) return hr;
  const pugi::xpath_node first = query->evaluate_node(ContextOf(place));
  if (first && !Hidden(*place.tree, first)) {
    found = PlaceOfResult(place, first);
    any = true;
    return S_OK;
  }
  if (!first) return S_OK;
  pugi::xpath_node_set set = query->evaluate_node_set(ContextOf(place));
  set.sort();
  for (const pugi::xpath_node& n : set) {
    if (Hidden(*place.tree, n)) continue;
    found = PlaceOfResult(place, n);
    any = true;
    break;
  }
  return S_OK;
}

}  // namespace VormXmlDom_details

// Internal: the IXMLDOMNode methods written once for the document object and the node
// objects, and the call guard every DOM method runs under.
#pragma once

#include <new>

#include "platform/xmldom/dom_internal.h"

namespace VormXmlDom_details {

// Every DOM method runs inside Guarded: exceptions never leave a COM method (out of
// memory becomes E_OUTOFMEMORY), and a failure that recorded no description clears the
// thread's error object, so a raising wrapper never picks up an older one.
void BeginCall();
HRESULT EndCall(HRESULT hr);
template <class F>
HRESULT Guarded(F&& work) {
  BeginCall();
  HRESULT hr;
  try {
    hr = work();
  } catch (const std::bad_alloc&) {
    hr = Fail(E_OUTOFMEMORY, L"Not enough memory to complete the operation.");
  } catch (...) {
    hr = Fail(E_FAIL, L"Unexpected failure inside the XML DOM.");
  }
  return EndCall(hr);
}

// The IXMLDOMNode operations on a node at a place. `self` is the node's own object.
namespace NodeOps {
HRESULT GetName(const Place& p, BSTR* out);
HRESULT GetValue(const Place& p, VARIANT* out);
HRESULT PutValue(const Place& p, const VARIANT& value);
HRESULT GetType(const Place& p, DOMNodeType* out);
HRESULT GetParent(const Place& p, IXMLDOMNode** out);
HRESULT GetChildNodes(IXMLDOMNode* self, IXMLDOMNodeList** out);
HRESULT GetFirstChild(const Place& p, IXMLDOMNode** out);
HRESULT GetLastChild(const Place& p, IXMLDOMNode** out);
HRESULT GetPreviousSibling(const Place& p, IXMLDOMNode** out);
HRESULT GetNextSibling(const Place& p, IXMLDOMNode** out);
HRESULT GetAttributes(IXMLDOMNode* self, const Place& p, IXMLDOMNamedNodeMap** out);
HRESULT InsertBefore(const Place& p, IXMLDOMNode* newChild, const VARIANT& ref, IXMLDOMNode** out);
HRESULT ReplaceChild(const Place& p, IXMLDOMNode* newChild, IXMLDOMNode* oldChild, IXMLDOMNode** out);
HRESULT RemoveChild(const Place& p, IXMLDOMNode* child, IXMLDOMNode** out);
HRESULT HasChildNodes(const Place& p, VARIANT_BOOL* out);
HRESULT GetOwnerDocument(const Place& p, IXMLDOMDocument** out);
HRESULT Clone(const Place& p, VARIANT_BOOL deep, IXMLDOMNode** out);
HRESULT GetTypeString(const Place& p, BSTR* out);
HRESULT GetText(const Place& p, BSTR* out);
HRESULT PutText(const Place& p, BSTR text);
HRESULT GetTypedValue(const Place& p, VARIANT* out);
HRESULT PutTypedValue(const Place& p, const VARIANT& value);
HRESULT GetXml(const Place& p, BSTR* out);
HRESULT SelectNodes(IXMLDOMNode* self, BSTR path, IXMLDOMNodeList** out);
HRESULT SelectSingleNode(const Place& p, BSTR path, IXMLDOMNode** out);
HRESULT GetNamespaceURI(const Place& p, BSTR* out);
HRESULT GetPrefix(const Place& p, BSTR* out);
HRESULT GetBaseName(const Place& p, BSTR* out);
}  // namespace NodeOps

// IXMLDOMNode (and ISupportErrorInfo) for a class implementing `Interfaces`, all of
// which derive from IXMLDOMNode or are IPersistStreamInit. The class supplies
// CurrentPlace, AsNode and Find.
template <class... Interfaces>
class DomNode : public VormComObjectOf<Interfaces..., ISupportErrorInfo>, public NodeBase {
 public:
  HRESULT InterfaceSupportsErrorInfo(REFIID) override { return S_OK; }

  HRESULT get_nodeName(BSTR* out) override {
    return Guarded([&] { return NodeOps::GetName(CurrentPlace(), out); });
  }
  HRESULT get_nodeValue(VARIANT* out) override {
    return Guarded([&] { return NodeOps::GetValue(CurrentPlace(), out); });
  }
  HRESULT put_nodeValue(VARIANT value) override {
    return Guarded([&] { return NodeOps::PutValue(CurrentPlace(), value); });
  }
  HRESULT get_nodeType(DOMNodeType* out) override {
    return Guarded([&] { return NodeOps::GetType(CurrentPlace(), out); });
  }
  HRESULT get_parentNode(IXMLDOMNode** out) override {
    return Guarded([&] { return NodeOps::GetParent(CurrentPlace(), out); });
  }
  HRESULT get_childNodes(IXMLDOMNodeList** out) override {
    return Guarded([&] { return NodeOps::GetChildNodes(AsNode(), out); });
  }
  HRESULT get_firstChild(IXMLDOMNode** out) override {
    return Guarded([&] { return NodeOps::GetFirstChild(CurrentPlace(), out); });
  }
  HRESULT get_lastChild(IXMLDOMNode** out) override {
    return Guarded([&] { return NodeOps::GetLastChild(CurrentPlace(), out); });
  }
  HRESULT get_previousSibling(IXMLDOMNode** out) override {
    return Guarded([&] { return NodeOps::GetPreviousSibling(CurrentPlace(), out); });
  }
  HRESULT get_nextSibling(IXMLDOMNode** out) override {
    return Guarded([&] { return NodeOps::GetNextSibling(CurrentPlace(), out); });
  }
  HRESULT get_attributes(IXMLDOMNamedNodeMap** out) override {
    return Guarded([&] { return NodeOps::GetAttributes(AsNode(), CurrentPlace(), out); });
  }
  HRESULT raw_insertBefore(IXMLDOMNode* newChild, VARIANT ref, IXMLDOMNode** out) override {
    return Guarded([&] { return NodeOps::InsertBefore(CurrentPlace(), newChild, ref, out); });
  }
  HRESULT raw_replaceChild(IXMLDOMNode* newChild, IXMLDOMNode* oldChild, IXMLDOMNode** out) override {
    return Guarded([&] { return NodeOps::ReplaceChild(CurrentPlace(), newChild, oldChild, out); });
  }
  HRESULT raw_removeChild(IXMLDOMNode* child, IXMLDOMNode** out) override {
    return Guarded([&] { return NodeOps::RemoveChild(CurrentPlace(), child, out); });
  }
  HRESULT raw_appendChild(IXMLDOMNode* newChild, IXMLDOMNode** out) override {
    VARIANT end;
    VariantInit(&end);
    return Guarded([&] { return NodeOps::InsertBefore(CurrentPlace(), newChild, end, out); });
  }
  HRESULT raw_hasChildNodes(VARIANT_BOOL* out) override {
    return Guarded([&] { return NodeOps::HasChildNodes(CurrentPlace(), out); });
  }
  HRESULT get_ownerDocument(IXMLDOMDocument** out) override {
    return Guarded([&] { return NodeOps::GetOwnerDocument(CurrentPlace(), out); });
  }
  HRESULT raw_cloneNode(VARIANT_BOOL deep, IXMLDOMNode** out) override {
    return Guarded([&] { return NodeOps::Clone(CurrentPlace(), deep, out); });
  }
  HRESULT get_nodeTypeString(BSTR* out) override {
    return Guarded([&] { return NodeOps::GetTypeString(CurrentPlace(), out); });
  }
  HRESULT get_text(BSTR* out) override {
    return Guarded([&] { return NodeOps::GetText(CurrentPlace(), out); });
  }
  HRESULT put_text(BSTR text) override {
    return Guarded([&] { return NodeOps::PutText(CurrentPlace(), text); });
  }
  HRESULT get_nodeTypedValue(VARIANT* out) override {
    return Guarded([&] { return NodeOps::GetTypedValue(CurrentPlace(), out); });
  }
  HRESULT put_nodeTypedValue(VARIANT value) override {
    return Guarded([&] { return NodeOps::PutTypedValue(CurrentPlace(), value); });
  }
  HRESULT get_xml(BSTR* out) override {
    return Guarded([&] { return NodeOps::GetXml(CurrentPlace(), out); });
  }
  HRESULT raw_selectNodes(BSTR path, IXMLDOMNodeList** out) override {
    return Guarded([&] { return NodeOps::SelectNodes(AsNode(), path, out); });
  }
  HRESULT raw_selectSingleNode(BSTR path, IXMLDOMNode** out) override {
    return Guarded([&] { return NodeOps::SelectSingleNode(CurrentPlace(), path, out); });
  }
  HRESULT get_namespaceURI(BSTR* out) override {
    return Guarded([&] { return NodeOps::GetNamespaceURI(CurrentPlace(), out); });
  }
  HRESULT get_prefix(BSTR* out) override {
    return Guarded([&] { return NodeOps::GetPrefix(CurrentPlace(), out); });
  }
  HRESULT get_baseName(BSTR* out) override {
    return Guarded([&] { return NodeOps::GetBaseName(CurrentPlace(), out); });
  }
};

// A node list over the children of a node (live) and one over a selection.
HRESULT NewChildList(IXMLDOMNode* parent, IXMLDOMNodeList** out);
// `path` is XPath in UTF-8; E_FAIL with a description when it does not compile or yields
// no node set.
HRESULT NewSelection(IXMLDOMNode* context, const std::string& path, IXMLDOMNodeList** out);
HRESULT NewAttributeMap(IXMLDOMNode* element, IXMLDOMNamedNodeMap** out);
// Evaluates `path` at `place`: the first node in document order, or none.
HRESULT SelectFirst(const Place& place, const std::string& path, Place& found, bool& any);
// The XPath that getElementsByTagName uses for a tag name ("*" for every element).
std::string ElementsByTagNamePath(BSTR tagName);

}  // namespace VormXmlDom_details

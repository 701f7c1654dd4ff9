// VormXml's node operations: typed values, counting, visiting, walking, appending, and
// the LandXML root element.
#include <cwchar>
#include <vector>

#include <vorm/platform/text.h>
#include <vorm/xml.h>

#include "xml_internal.h"

namespace {

// The typed value of the node `path` selects, converted to `vt`; VT_EMPTY when there is
// no node. A failing conversion raises _com_error.
_variant_t SelectedValue(IXMLDOMNodePtr node, const CString& path, VARTYPE vt) {
  if (!node) return _variant_t();
  IXMLDOMNodePtr match = node->selectSingleNode(_bstr_t(path));
  if (!match) return _variant_t();
  _variant_t value = match->GetnodeTypedValue();
  value.ChangeType(vt);
  return value;
}

// The reader's value: the member of the converted variant when the conversion gave `vt`.
template <class T>
T Read(IXMLDOMNodePtr node, const CString& path, VARTYPE vt, T VARIANT::*member) {
  const _variant_t value = SelectedValue(node, path, vt);
  return value.vt == vt ? value.*member : T{};
}

void SetTyped(IXMLDOMNodePtr node, const CString& name, const _variant_t& value) {
  IXMLDOMElementPtr element(node);
  if (element) element->setAttribute(_bstr_t(name), value);
}

// Calls back for a node and then for its attributes while the answers are true.
bool Visit(IXMLDOMNodePtr node, VormXmlNodeCallback callback, void* context) {
  bool go = callback(CString(static_cast<const wchar_t*>(node->GetnodeName())), node, context);
  if (!go) return false;
  IXMLDOMNamedNodeMapPtr attributes = node->Getattributes();
  if (!attributes) return true;
  while (IXMLDOMNodePtr attribute = attributes->nextNode()) {
    if (!callback(CString(static_cast<const wchar_t*>(attribute->GetnodeName())), attribute, context)) return false;
  }
  return true;
}

}  // namespace

CString VormXml::GetString(IXMLDOMNodePtr node, const CString& path) {
  if (!node) return CString();
  IXMLDOMNodePtr match = node->selectSingleNode(_bstr_t(path));
  if (!match) return CString();
  const _variant_t value = match->GetnodeTypedValue();
  if (value.vt != VT_BSTR) return CString();  // a typed node reads as empty
  return CString(value.bstrVal, static_cast<int>(SysStringLen(value.bstrVal)));
}

bool VormXml::GetBool(IXMLDOMNodePtr node, const CString& path) {
  return Read(node, path, VT_BOOL, &VARIANT::boolVal) != VARIANT_FALSE;
}

short VormXml::GetShort(IXMLDOMNodePtr node, const CString& path) { return Read(node, path, VT_I2, &VARIANT::iVal); }

LONG VormXml::GetLong(IXMLDOMNodePtr node, const CString& path) { return Read(node, path, VT_I4, &VARIANT::lVal); }

LONGLONG VormXml::GetInt64(IXMLDOMNodePtr node, const CString& path) {
  if (IsWindowsXPOrLater()) return Read(node, path, VT_I8, &VARIANT::llVal);
  const CString text = GetString(node, path);
  long long value = 0;
  return std::swscanf(text, L"%lld", &value) == 1 ? value : 0;
}

ULONG VormXml::GetULong(IXMLDOMNodePtr node, const CString& path) { return Read(node, path, VT_UI4, &VARIANT::ulVal); }

double VormXml::GetDouble(IXMLDOMNodePtr node, const CString& path) {
  // The conversion always reads '.' as the decimal separator, so no locale setting of the
  // user or the process is touched for it.
  return Read(node, path, VT_R8, &VARIANT::dblVal);
}

void VormXml::SetString(IXMLDOMNodePtr node, const CString& name, const CString& value) {
  SetTyped(node, name, _variant_t(static_cast<const wchar_t*>(value)));
}

void VormXml::SetBool(IXMLDOMNodePtr node, const CString& name, bool value) { SetTyped(node, name, _variant_t(value)); }

void VormXml::SetShort(IXMLDOMNodePtr node, const CString& name, short value) {
  SetTyped(node, name, _variant_t(value));
}

void VormXml::SetLong(IXMLDOMNodePtr node, const CString& name, LONG value) { SetTyped(node, name, _variant_t(value)); }

void VormXml::SetInt64(IXMLDOMNodePtr node, const CString& name, LONGLONG value) {
  if (IsWindowsXPOrLater()) {
    SetTyped(node, name, _variant_t(value));
    return;
  }
  SetString(node, name, CString(VormFormat(L"%I64d", value)));
}

void VormXml::SetULong(IXMLDOMNodePtr node, const CString& name, ULONG value) {
  SetTyped(node, name, _variant_t(value));
}

void VormXml::SetDouble(IXMLDOMNodePtr node, const CString& name, double value) {
  SetTyped(node, name, _variant_t(value));
}

IXMLDOMNodePtr VormXml::ContextOrDocument(IXMLDOMNodePtr context) const {
  return context ? context : IXMLDOMNodePtr(m_pDoc);
}

LONG VormXml::CountNodes(const CString& path, IXMLDOMNodePtr context) {
  IXMLDOMNodeListPtr list = ContextOrDocument(context)->selectNodes(_bstr_t(path));
  return list ? list->Getlength() : 0;
}

bool VormXml::ForEachSelected(const CString& path, VormXmlNodeCallback callback, void* callbackContext,
                              IXMLDOMNodePtr context) {
  IXMLDOMNodeListPtr list = ContextOrDocument(context)->selectNodes(_bstr_t(path));
  bool go = true;
  if (!list) return go;
  const LONG length = list->Getlength();
  for (LONG i = 0; i < length && go; ++i) {
    IXMLDOMNodePtr item = list->Getitem(i);
    if (item) go = callback(CString(static_cast<const wchar_t*>(item->GetnodeName())), item, callbackContext);
  }
  return go;
}

bool VormXml::Walk(VormXmlNodeCallback callback, void* callbackContext) {
  if (!callback) return true;
  IXMLDOMNodePtr node(m_pDoc);
  return node ? WalkNode(node, 0, callback, callbackContext) : true;
}

bool VormXml::WalkNode(IXMLDOMNodePtr node, int /*depth*/, VormXmlNodeCallback callback, void* callbackContext) {
  if (!node) return true;
  if (!Visit(node, callback, callbackContext)) return false;
  // The chain of nodes whose subtrees are being walked, in place of the call stack: a
  // sibling is read only once the subtree before it is done, as a recursive walk would.
  std::vector<IXMLDOMNodePtr> open;
  IXMLDOMNodePtr child = node->GetfirstChild();
  for (;;) {
    if (child) {
      if (!Visit(child, callback, callbackContext)) return false;
      IXMLDOMNodePtr first = child->GetfirstChild();
      open.push_back(child);
      child = first;
      continue;
    }
    if (open.empty()) return true;
    child = open.back()->GetnextSibling();
    open.pop_back();
  }
}

IXMLDOMNodePtr VormXml::AppendElement(IXMLDOMDocument2Ptr document, IXMLDOMNodePtr parent, const CString& name) {
  if (!document) return nullptr;
  IXMLDOMElementPtr element = document->createElement(_bstr_t(name));
  IXMLDOMNodePtr node(element);
  if (!node) return nullptr;
  return parent ? parent->appendChild(node) : document->appendChild(node);
}

IXMLDOMNodePtr VormXml::CreateLandXMLRoot(IXMLDOMDocument2Ptr document) {
  IXMLDOMNodePtr root = AppendElement(document, nullptr, L"LandXML");
  if (!root) return nullptr;
  const __time64_t now = _time64(nullptr);
  SetString(root, L"xmlns", L"http://www.landxml.org/schema/landxml-1.0");
  SetString(root, L"xmlns:xsi", L"http://www.w3.org/2001/XMLSchema-instance");
  SetString(root, L"xsi:schemaLocation",
            L"http://www.landxml.org/schema/LandXML-1.0 http://www.landxml.org/schema/LandXML-1.0/LandXML-1.0.xsd");
  SetString(root, L"version", L"1.0");
  SetString(root, L"date", VormXml_details::LocalTimeText(now, L"%Y-%m-%d"));
  SetString(root, L"time", VormXml_details::LocalTimeText(now, L"%H-%M-%S"));
  SetString(root, L"readOnly", L"false");
  SetString(root, L"language", L"English");
  return root;
}

IXMLDOMNodePtr VormXml::GetLandXMLRoot(IXMLDOMDocument2Ptr document) {
  if (!document) return nullptr;
  return document->selectSingleNode(L"LandXML");
}

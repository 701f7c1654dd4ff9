// VormXmlUtil: searching, collecting, reading and changing nodes. Searches over child
// lists keep their own stack of (list, position) instead of recursing, so a document of
// any depth is walked in the same pre-order a recursive search would take.
#include <memory>
#include <new>
#include <unordered_set>
#include <vector>

#include <vorm/result_codes.h>
#include <vorm/xml.h>
#include <vorm/xml_util.h>

#include "xml_internal.h"

namespace {

using VormXml_details::Guard;
using VormXml_details::kAttributeCatch;
using VormXml_details::kNestedCatch;
using VormXml_details::kNodeArrayCatch;
using VormXml_details::kNodeArrayNestedCatch;
using VormXml_details::ThrowUnlessOk;

// Owns a node array until it is handed out: released and deleted otherwise.
class ArrayOwner {
 public:
  explicit ArrayOwner(VormXmlNodeArray* array = nullptr) : array_(array) {}
  ~ArrayOwner() { Reset(); }
  ArrayOwner(const ArrayOwner&) = delete;
  ArrayOwner& operator=(const ArrayOwner&) = delete;
  VormXmlNodeArray* get() const { return array_; }
  VormXmlNodeArray* Release() {
    VormXmlNodeArray* array = array_;
    array_ = nullptr;
    return array;
  }
  void Reset(VormXmlNodeArray* array = nullptr) {
    if (array_) {
      VormXmlUtil::ReleaseNodeArray(array_);
      delete array_;
    }
    array_ = array;
  }

 private:
  VormXmlNodeArray* array_;
};

void Append(VormXmlNodeArray& array, IXMLDOMNode* node) {
  node->AddRef();
  array.Add(node);
}

CString TextOf(BSTR text) { return CString(text, static_cast<int>(SysStringLen(text))); }

// A checked raw read of a text property: false with the message set on a non-zero result.
bool ReadText(IXMLDOMNode* node, HRESULT (IXMLDOMNode::*get)(BSTR*), CString& out, CString& message) {
  BSTR text = nullptr;
  const HRESULT hr = (node->*get)(&text);
  if (hr != 0) {
    SysFreeString(text);
    message = VormXmlUtil::HResultText(hr);
    return false;
  }
  out = TextOf(text);
  SysFreeString(text);
  return true;
}

// The value of a node's attribute looked up by name; false when it has none. A failing
// raw read sets the message and answers false too (with `failed`).
bool AttributeValue(IXMLDOMNode* node, const CString& name, CString& value, CString& message, bool& failed) {
  failed = false;
  IXMLDOMNamedNodeMap* raw = nullptr;
  HRESULT hr = node->get_attributes(&raw);
  IXMLDOMNamedNodeMapPtr attributes(raw, false);
  if (FAILED(hr)) {
    message = VormXmlUtil::HResultText(hr);
    failed = true;
    return false;
  }
  if (!attributes) return false;
  IXMLDOMNodePtr attribute = attributes->getNamedItem(_bstr_t(static_cast<const wchar_t*>(name)));
  if (!attribute) return false;
  VARIANT v;
  VariantInit(&v);
  hr = attribute->get_nodeValue(&v);
  if (hr != 0) {
    VariantClear(&v);
    message = VormXmlUtil::HResultText(hr);
    failed = true;
    return false;
  }
  value = v.vt == VT_BSTR ? TextOf(v.bstrVal) : CString();
  VariantClear(&v);
  return true;
}

// What a search looks for. Match answers whether a node matches; false with `message` set
// when a read failed.
struct Criterion {
  const CString* name;
  const CString* text = nullptr;           // name and text
  const CString* attributeName = nullptr;  // name and one attribute
  const CString* attributeValue = nullptr;
  const CStringArray* pairs = nullptr;  // name and attribute pairs

  bool Match(IXMLDOMNode* node, bool& matched, CString& message) const {
    matched = false;
    CString nodeName;
    if (!ReadText(node, &IXMLDOMNode::get_nodeName, nodeName, message)) return false;
    if (nodeName != *name) return true;
    if (text) {
      CString nodeText;
      if (!ReadText(node, &IXMLDOMNode::get_text, nodeText, message)) return false;
      matched = nodeText == *text;
      return true;
    }
    if (attributeName) return HasAttributeValue(node, *attributeName, *attributeValue, matched, message);
    if (pairs) {
      int tested = 0, agreed = 0;
      for (int i = 0; i + 1 < pairs->GetSize(); i += 2) {  // a last name without a value is ignored
        if ((*pairs)[i].IsEmpty()) continue;
        ++tested;
        bool same = false;
        if (!HasAttributeValue(node, (*pairs)[i], (*pairs)[i + 1], same, message)) return false;
        if (same) ++agreed;
      }
      matched = tested == agreed;
      return true;
    }
    matched = true;
    return true;
  }

  static bool HasAttributeValue(IXMLDOMNode* node, const CString& attribute, const CString& wanted, bool& same,
                                CString& message) {
    CString value;
    bool failed = false;
    same = AttributeValue(node, attribute, value, message, failed) && value == wanted;
    return !failed;
  }
};

// The children of a node through a checked raw read.
IXMLDOMNodeListPtr ChildrenOf(IXMLDOMNode* node, CString& message, bool& failed) {
  IXMLDOMNodeList* raw = nullptr;
  const HRESULT hr = node->get_childNodes(&raw);
  failed = hr != 0;
  if (failed) message = VormXmlUtil::HResultText(hr);
  return IXMLDOMNodeListPtr(raw, false);
}

struct Level {
  IXMLDOMNodeListPtr list;
  LONG index;
  LONG length;
};

// Walks `list` in pre-order. `visit(item)` answers whether to stop; `descend(item)` whether
// to walk below the item. False when a read failed (message set).
template <class Visit, class Descend>
bool WalkList(IXMLDOMNodeListPtr list, bool recursive, CString& message, Visit visit, Descend descend) {
  std::vector<Level> stack;
  stack.push_back({list, 0, list->Getlength()});
  while (!stack.empty()) {
    Level& level = stack.back();
    if (level.index >= level.length) {
      stack.pop_back();
      continue;
    }
    IXMLDOMNodePtr item = level.list->Getitem(level.index++);
    if (!item) continue;
    bool stop = false;
    if (!visit(item, stop)) return false;
    if (stop) return true;
    if (!recursive || !descend(item)) continue;
    bool failed = false;
    IXMLDOMNodeListPtr children = ChildrenOf(item, message, failed);
    if (failed) return false;
    if (children) stack.push_back({children, 0, children->Getlength()});
  }
  return true;
}

IXMLDOMNodePtr FindFirst(IXMLDOMNodeListPtr list, const Criterion& criterion, BOOL recursive) {
  CString message = L"E_FAIL";
  IXMLDOMNodePtr found;
  if (!list) {
    message = L"pNodes is NULL!";
  } else {
    bool matched = false;
    const bool ok = WalkList(
        list, recursive != FALSE, message,
        [&](IXMLDOMNodePtr item, bool& stop) {
          if (!criterion.Match(item, matched, message)) return false;
          if (matched) found = item, stop = true;
          return true;
        },
        [&](IXMLDOMNodePtr) { return !matched; });  // a matching node is not searched below
    if (ok) message = L"OK";
  }
  ThrowUnlessOk(message);
  return found;
}

// The collections: every match, below each item too when recursive.
VormXmlNodeArray* CollectFromList(IXMLDOMNodeListPtr list, const Criterion& criterion, BOOL recursive) {
  CString message = L"OK";
  ArrayOwner found(new (std::nothrow) VormXmlNodeArray);
  Guard(message, kNodeArrayCatch, [&] {
    if (!found.get()) {
      message = L"pFound is NULL!";
    } else if (!list) {
      message = L"pNodes is NULL!";
    } else {
      WalkList(
          list, recursive != FALSE, message,
          [&](IXMLDOMNodePtr item, bool&) {
            bool matched = false;
            if (!criterion.Match(item, matched, message)) return false;
            if (matched) Append(*found.get(), item);
            return true;
          },
          [](IXMLDOMNodePtr) { return true; });
    }
  });
  ThrowUnlessOk(message);
  return found.Release();
}

// Steps 1 to 3 shared by the FindChildNodes and GetValuesOfAttribute families: the
// target found in the document by `criterion`, then its children. The messages are the
// plain ones of those steps; nested operations throw their own.
IXMLDOMNodeListPtr TargetChildren(IXMLDOMDocument2Ptr document, const Criterion& criterion, CString& message) {
  if (!document) {
    message = L"pDoc is NULL!";
    return nullptr;
  }
  IXMLDOMNodeListPtr list = VormXmlUtil::GetChildNodes(document);
  if (!list) {
    message = L"pRootNodeList is NULL!";
    return nullptr;
  }
  IXMLDOMNodePtr target = FindFirst(list, criterion, TRUE);
  if (!target) {
    message = L"pTargetRootNode is NULL!";
    return nullptr;
  }
  IXMLDOMNodeList* raw = nullptr;
  const HRESULT hr = target->get_childNodes(&raw);
  IXMLDOMNodeListPtr children(raw, false);
  if (FAILED(hr) || !children) {
    message = CString(L"pTargetRootNode->get_childNodes failed:\n") + VormXmlUtil::HResultText(hr);
    return nullptr;
  }
  return children;
}

// FindChildNodes with the children further filtered by `keep`.
template <class Keep>
VormXmlNodeArray* ChildNodes(IXMLDOMDocument2Ptr document, const CString& targetName, const Criterion& childCriterion,
                             Keep keep) {
  CString message = L"E_FAIL";
  ArrayOwner result;
  const Criterion target{&targetName};
  if (IXMLDOMNodeListPtr children = TargetChildren(document, target, message)) {
    result.Reset(CollectFromList(children, childCriterion, TRUE));
    message = L"OK";
    keep(result, message);
  }
  ThrowUnlessOk(message);
  return result.Release();
}

// Keeps the nodes whose attribute is present (and, with `value`, has that value).
void KeepWithAttribute(ArrayOwner& nodes, const CString& name, const CString* value, CString& message) {
  ArrayOwner kept(new (std::nothrow) VormXmlNodeArray);
  if (!kept.get()) {
    message = L"pDesiredChildNodes is NULL!";
    return;
  }
  for (IXMLDOMNode* node : *nodes.get()) {
    CString found;
    bool failed = false;
    const bool present = AttributeValue(node, name, found, message, failed);
    if (failed) return;
    if (present && (!value || found == *value)) Append(*kept.get(), node);
  }
  nodes.Reset(kept.Release());
}

template <class Read>
CStringArray* ValuesOfChildren(IXMLDOMDocument2Ptr document, const Criterion& target, const CString& childName,
                               Read read) {
  CString message = L"E_FAIL";
  std::unique_ptr<CStringArray> values;
  try {
    if (IXMLDOMNodeListPtr children = TargetChildren(document, target, message)) {
      const Criterion child{&childName};
      ArrayOwner nodes(CollectFromList(children, child, TRUE));
      values.reset(read(nodes.get()));
      message = L"OK";
    }
  } catch (const CString& nested) {
    message = CString(L"Exception in GetValuesOfAttribute():\n") + nested;
  }
  ThrowUnlessOk(message);
  return values.release();
}

// A created node appended to a parent: the shared steps of the Append operations.
template <class Result>
Result AppendCreated(IXMLDOMNodePtr parent, IXMLDOMNode* created) {
  CString message = L"E_FAIL";
  IXMLDOMNodePtr owned(created, false);
  Result result;
  if (!owned) {
    message = L"pCreatedNode is NULL!";
  } else if (!parent) {
    message = L"pRootNode is NULL!";
  } else {
    IXMLDOMNodePtr appended = parent->appendChild(owned);
    if (!appended) {
      message = L"pAppendedNode is NULL!";
    } else {
      result = appended;
      message = L"OK";
    }
  }
  ThrowUnlessOk(message);
  return result;
}

void ThrowIfNoDocument(IXMLDOMDocument2Ptr document) {
  if (!document) throw CString(L"pDoc is NULL!");
}

}  // namespace

// ---- searching ------------------------------------------------------------------------------

IXMLDOMNodePtr VormXmlUtil::FindNodeByName(IXMLDOMNodeListPtr pNodes, const CString& name, BOOL recursive) {
  return FindFirst(pNodes, Criterion{&name}, recursive);
}

IXMLDOMNodePtr VormXmlUtil::FindNodeByNameAndText(IXMLDOMNodeListPtr pNodes, const CString& name, const CString& text,
                                                  BOOL recursive) {
  return FindFirst(pNodes, Criterion{&name, &text}, recursive);
}

IXMLDOMNodePtr VormXmlUtil::FindNodeByNameAndAttribute(IXMLDOMNodeListPtr pNodes, const CString& name,
                                                       const CString& attributeName, const CString& attributeValue,
                                                       BOOL recursive) {
  return FindFirst(pNodes, Criterion{&name, nullptr, &attributeName, &attributeValue}, recursive);
}

IXMLDOMNodePtr VormXmlUtil::FindNodeByNameAndAttributes(IXMLDOMNodeListPtr pNodes, const CString& name,
                                                        const CStringArray& pairs, BOOL recursive) {
  return FindFirst(pNodes, Criterion{&name, nullptr, nullptr, nullptr, &pairs}, recursive);
}

// ---- collecting -----------------------------------------------------------------------------

VormXmlNodeArray* VormXmlUtil::FindAllNodesByName(IXMLDOMNodeListPtr pNodes, const CString& name, BOOL recursive) {
  return CollectFromList(pNodes, Criterion{&name}, recursive);
}

VormXmlNodeArray* VormXmlUtil::FindAllNodesByNameAndText(IXMLDOMNodeListPtr pNodes, const CString& name,
                                                         const CString& text, BOOL recursive) {
  return CollectFromList(pNodes, Criterion{&name, &text}, recursive);
}

VormXmlNodeArray* VormXmlUtil::FindAllNodesByNameInArray(VormXmlNodeArray* pNodes, const CString& name,
                                                         BOOL recursive) {
  CString message = L"OK";
  ArrayOwner found(new (std::nothrow) VormXmlNodeArray);
  Guard(message, kNodeArrayCatch, [&] {
    if (!found.get()) {
      message = L"pFound is NULL!";
    } else if (!pNodes) {
      message = L"pNodes is NULL!";
    } else {
      const Criterion criterion{&name};
      for (IXMLDOMNode* node : *pNodes) {
        if (!node) continue;
        bool matched = false;
        if (!criterion.Match(node, matched, message)) break;
        if (matched) Append(*found.get(), node);
        if (!recursive) continue;
        bool failed = false;
        IXMLDOMNodeListPtr children = ChildrenOf(node, message, failed);
        if (failed) break;
        if (!children) continue;
        ArrayOwner below(FindAllNodesByName(children, name, TRUE));
        for (IXMLDOMNode* match : *below.get()) found.get()->Add(match);  // the references move over
        below.get()->RemoveAll();
      }
    }
  });
  ThrowUnlessOk(message);
  return found.Release();
}

VormXmlNodeArray* VormXmlUtil::FindChildNodes(IXMLDOMDocument2Ptr pDoc, const CString& targetName,
                                              const CString& childName) {
  return ChildNodes(pDoc, targetName, Criterion{&childName}, [](ArrayOwner&, CString&) {});
}

VormXmlNodeArray* VormXmlUtil::FindChildNodesByText(IXMLDOMDocument2Ptr pDoc, const CString& targetName,
                                                    const CString& childName, const CString& childText) {
  return ChildNodes(pDoc, targetName, Criterion{&childName, &childText}, [](ArrayOwner&, CString&) {});
}

VormXmlNodeArray* VormXmlUtil::FindChildNodesWithAttribute(IXMLDOMDocument2Ptr pDoc, const CString& targetName,
                                                           const CString& childName, const CString& attributeName) {
  return ChildNodes(pDoc, targetName, Criterion{&childName}, [&](ArrayOwner& nodes, CString& message) {
    KeepWithAttribute(nodes, attributeName, nullptr, message);
  });
}

VormXmlNodeArray* VormXmlUtil::FindChildNodesByAttribute(IXMLDOMDocument2Ptr pDoc, const CString& targetName,
                                                         const CString& childName, const CString& attributeName,
                                                         const CString& attributeValue) {
  return ChildNodes(pDoc, targetName, Criterion{&childName}, [&](ArrayOwner& nodes, CString& message) {
    KeepWithAttribute(nodes, attributeName, &attributeValue, message);
  });
}

void VormXmlUtil::ReleaseNodeArray(VormXmlNodeArray* nodes) {
  if (!nodes) return;
  for (int i = nodes->GetSize() - 1; i >= 0; --i)
    if (IXMLDOMNode* node = nodes->GetAt(i)) node->Release();
  nodes->RemoveAll();
}

namespace {

// MergeNodes and MergeNodesByAttribute: `key` reads what two nodes are compared by; false
// when it cannot be read (such a node is skipped).
template <class Key>
void Merge(VormXmlNodeArray* toAdd, VormXmlNodeArray* growing, Key key) {
  for (int i = 0; i < toAdd->GetSize(); ++i) {
    IXMLDOMNode* node = toAdd->GetAt(i);
    if (!node) continue;
    CString name, value;
    if (!key(node, name, value)) continue;
    bool present = false;
    for (int j = 0; j < growing->GetSize() && !present; ++j) {
      IXMLDOMNode* other = growing->GetAt(j);
      CString otherName, otherValue;
      present = other && key(other, otherName, otherValue) && otherName == name && otherValue == value;
    }
    if (!present) growing->Add(node);  // the same pointer, no added reference
  }
}

}  // namespace

void VormXmlUtil::MergeNodes(VormXmlNodeArray* pNodesToAdd, VormXmlNodeArray* pGrowingNodes) {
  CString message = L"E_FAIL";
  if (!pNodesToAdd) {
    message = L"pNodesToAdd is NULL!";
  } else if (!pGrowingNodes) {
    message = L"pGrowingNodes is NULL!";
  } else {
    Merge(pNodesToAdd, pGrowingNodes, [](IXMLDOMNode* node, CString& name, CString& text) {
      CString ignored;
      return ReadText(node, &IXMLDOMNode::get_nodeName, name, ignored) &&
             ReadText(node, &IXMLDOMNode::get_text, text, ignored);
    });
    message = L"OK";
  }
  ThrowUnlessOk(message);
}

void VormXmlUtil::MergeNodesByAttribute(VormXmlNodeArray* pNodesToAdd, VormXmlNodeArray* pGrowingNodes,
                                        const CString& AttributeName) {
  CString message = L"E_FAIL";
  if (!pNodesToAdd) {
    message = L"pNodesToAdd is NULL!";
  } else if (!pGrowingNodes) {
    message = L"pGrowingNodes is NULL!";
  } else if (AttributeName.IsEmpty()) {
    message = L"AttributeName is empty!";
  } else {
    Merge(pNodesToAdd, pGrowingNodes, [&](IXMLDOMNode* node, CString& name, CString& value) {
      CString ignored;
      bool failed = false;
      return ReadText(node, &IXMLDOMNode::get_nodeName, name, ignored) &&
             AttributeValue(node, AttributeName, value, ignored, failed);
    });
    message = L"OK";
  }
  ThrowUnlessOk(message);
}

// ---- reading texts --------------------------------------------------------------------------

IXMLDOMNodeListPtr VormXmlUtil::GetChildNodes(IXMLDOMDocument2Ptr pDoc) {
  CString message = L"E_FAIL";
  IXMLDOMNodeListPtr result;
  Guard(message, kNodeArrayNestedCatch, [&] {
    if (!pDoc) {
      message = L"pDoc is NULL!";
    } else {
      IXMLDOMNodeList* raw = nullptr;
      const HRESULT hr = pDoc->get_childNodes(&raw);
      IXMLDOMNodeListPtr list(raw, false);
      if (FAILED(hr) || !list) {
        message = L"get_childNodes failed!";
      } else {
        if (list->Getlength() > 0) result = list;
        message = L"OK";
      }
    }
  });
  ThrowUnlessOk(message);
  return result;
}

CStringArray* VormXmlUtil::GetNodeNames(IXMLDOMNodePtr pNode, BOOL recursive) {
  CString message = L"E_FAIL";
  std::unique_ptr<CStringArray> names(new (std::nothrow) CStringArray);
  Guard(message, kNestedCatch, [&] {
    if (!pNode) {
      message = L"pNode is NULL!";
    } else if (!names) {
      message = L"pNames is NULL!";
    } else {
      bool failed = false;
      IXMLDOMNodeListPtr list = ChildrenOf(pNode, message, failed);
      if (!list) {
        message = L"pNodeList is NULL!";
      } else {
        // Pre-order over the descendants gives the names in the order a recursive
        // gathering finds them first.
        std::unordered_set<std::wstring> seen;
        std::vector<Level> stack{{list, 0, list->Getlength()}};
        message = L"OK";
        while (!stack.empty() && message == L"OK") {
          Level& level = stack.back();
          if (level.index >= level.length) {
            stack.pop_back();
            continue;
          }
          IXMLDOMNodePtr item = level.list->Getitem(level.index++);
          if (!item) {
            message = L"pCurNode is NULL!";
            break;
          }
          CString name;
          if (!ReadText(item, &IXMLDOMNode::get_nodeName, name, message)) break;
          if (seen.insert(name.str()).second) names->Add(name);
          if (!recursive) continue;
          IXMLDOMNodeListPtr children = ChildrenOf(item, message, failed);
          if (failed) break;
          if (!children) {
            message = L"pNodeList is NULL!";
            break;
          }
          stack.push_back({children, 0, children->Getlength()});
        }
      }
    }
  });
  ThrowUnlessOk(message);
  return names.release();
}

CStringArray* VormXmlUtil::GetDocumentNodeNames(IXMLDOMDocument2Ptr pDoc) {
  CString message = L"E_FAIL";
  CStringArray* names = nullptr;
  Guard(message, kNodeArrayNestedCatch, [&] {
    if (!pDoc) {
      message = L"pDoc is NULL!";
    } else {
      names = GetNodeNames(IXMLDOMNodePtr(pDoc), TRUE);
      message = L"OK";
    }
  });
  ThrowUnlessOk(message);
  return names;
}

CStringArray* VormXmlUtil::GetAttributeNames(IXMLDOMNodePtr pNode) {
  CString message = L"E_FAIL";
  std::unique_ptr<CStringArray> names(new (std::nothrow) CStringArray);
  IXMLDOMNamedNodeMap* raw = nullptr;
  const HRESULT hr = pNode ? pNode->get_attributes(&raw) : E_POINTER;
  IXMLDOMNamedNodeMapPtr attributes(raw, false);
  if (!pNode) {
    message = L"pNode is NULL!";
  } else if (!names) {
    message = L"pNames is NULL!";
  } else if (FAILED(hr)) {
    message = HResultText(hr);
  } else if (!attributes) {
    message = L"pAttributes is NULL!";
  } else {
    const LONG size = attributes->Getlength();
    message = size <= 0 ? L"AttributesSize < 0!" : L"OK";
    for (LONG i = 0; i < size && message == L"OK"; ++i) {
      IXMLDOMAttributePtr attribute = attributes->Getitem(i);
      if (!attribute)
        message = L"pCurAttribute is NULL!";
      else
        names->Add(CString(static_cast<const wchar_t*>(attribute->Getname())));
    }
  }
  ThrowUnlessOk(message);
  return names.release();
}

CString VormXmlUtil::GetAttributeValue(IXMLDOMElementPtr pElement, const CString& DesiredAttributeName) {
  CString message = L"E_FAIL";
  CString value;
  if (DesiredAttributeName.IsEmpty()) {
    message = L"DesiredAttributeName is empty!";
  } else if (!pElement) {
    message = L"OK";  // no element, no attributes map: empty
  } else {
    IXMLDOMNamedNodeMap* raw = nullptr;
    HRESULT hr = pElement->get_attributes(&raw);
    IXMLDOMNamedNodeMapPtr attributes(raw, false);
    if (FAILED(hr)) {
      message = L"get_Attributes failed!";
    } else if (!attributes) {
      message = L"OK";
    } else if (IXMLDOMNodePtr attribute =
                   attributes->getNamedItem(_bstr_t(static_cast<const wchar_t*>(DesiredAttributeName)))) {
      VARIANT v;
      VariantInit(&v);
      hr = attribute->get_nodeValue(&v);
      if (hr != 0) {
        message = L"get_nodeValue failed!";
      } else {
        if (v.vt == VT_BSTR) value = TextOf(v.bstrVal);
        message = L"OK";
      }
      VariantClear(&v);
    } else {
      message = L"OK";
    }
  }
  ThrowUnlessOk(message);
  return value;
}

CStringArray* VormXmlUtil::GetAttributeValues(VormXmlNodeArray* pNodes, const CString& DesiredAttributeName) {
  CString message = L"E_FAIL";
  std::unique_ptr<CStringArray> values;
  if (!pNodes) {
    message = L"pNodes is NULL!";
  } else if (pNodes->GetSize() == 0) {
    message = L"DesiredChildNodesLen = 0!";
  } else {
    values.reset(new CStringArray);
    for (IXMLDOMNode* node : *pNodes) values->Add(GetAttributeValue(IXMLDOMElementPtr(node), DesiredAttributeName));
    message = L"OK";
  }
  ThrowUnlessOk(message);
  return values.release();
}

CStringArray* VormXmlUtil::GetValuesOfNodes(VormXmlNodeArray* pDesiredChildNodes) {
  CString message = L"E_FAIL";
  std::unique_ptr<CStringArray> values;
  if (!pDesiredChildNodes) {
    message = L"pDesiredChildNodes is NULL!";
  } else if (pDesiredChildNodes->GetSize() == 0) {
    message = L"DesiredChildNodesLen = 0!";
  } else {
    values.reset(new CStringArray);
    for (IXMLDOMNode* node : *pDesiredChildNodes) {
      if (!node) continue;
      BSTR text = nullptr;
      const HRESULT hr = node->get_text(&text);
      if (hr != 0) {
        message = CString(L"Exception on CurNode->get_nodeValue():\n") + HResultText(hr);
      } else {
        values->Add(TextOf(text));
        message = L"OK";
      }
      SysFreeString(text);
    }
  }
  ThrowUnlessOk(message);
  return values.release();
}

CStringArray* VormXmlUtil::GetValuesOfAttribute(IXMLDOMDocument2Ptr pDoc, const CString& targetName,
                                                const VormXmlByAttribute& target, const CString& childName,
                                                const CString& attributeName) {
  return ValuesOfChildren(pDoc, Criterion{&targetName, nullptr, &target.name, &target.value}, childName,
                          [&](VormXmlNodeArray* nodes) { return GetAttributeValues(nodes, attributeName); });
}

CStringArray* VormXmlUtil::GetValuesOfAttribute(IXMLDOMDocument2Ptr pDoc, const CString& targetName,
                                                const VormXmlByText& target, const CString& childName,
                                                const CString& attributeName) {
  return ValuesOfChildren(pDoc, Criterion{&targetName, &target.text}, childName,
                          [&](VormXmlNodeArray* nodes) { return GetAttributeValues(nodes, attributeName); });
}

CStringArray* VormXmlUtil::GetValuesOfAttribute(IXMLDOMDocument2Ptr pDoc, const CString& targetName,
                                                const CString& childName, const CString& attributeName) {
  return ValuesOfChildren(pDoc, Criterion{&targetName}, childName,
                          [&](VormXmlNodeArray* nodes) { return GetAttributeValues(nodes, attributeName); });
}

CStringArray* VormXmlUtil::GetValuesOfAttribute(IXMLDOMDocument2Ptr pDoc, const CString& targetName,
                                                const VormXmlByAttribute& target, const CString& childName) {
  return ValuesOfChildren(pDoc, Criterion{&targetName, nullptr, &target.name, &target.value}, childName,
                          [](VormXmlNodeArray* nodes) { return GetValuesOfNodes(nodes); });
}

CStringArray* VormXmlUtil::GetValuesOfAttribute(IXMLDOMDocument2Ptr pDoc, const CString& targetName,
                                                const VormXmlByText& target, const CString& childName) {
  return ValuesOfChildren(pDoc, Criterion{&targetName, &target.text}, childName,
                          [](VormXmlNodeArray* nodes) { return GetValuesOfNodes(nodes); });
}

CStringArray* VormXmlUtil::GetValuesOfAttribute(IXMLDOMDocument2Ptr pDoc, const CString& targetName,
                                                const CString& childName) {
  return ValuesOfChildren(pDoc, Criterion{&targetName}, childName,
                          [](VormXmlNodeArray* nodes) { return GetValuesOfNodes(nodes); });
}

CString VormXmlUtil::LookupValue(IXMLDOMNodePtr pNode, const CString& path, const CString& keyPath,
                                 const CString& keyValue, const CString& valuePath) {
  IXMLDOMNodeListPtr list = pNode->selectNodes(_bstr_t(static_cast<const wchar_t*>(path)));
  const LONG length = list ? list->Getlength() : 0;
  for (LONG i = 0; i < length; ++i) {
    IXMLDOMNodePtr item = list->Getitem(i);
    if (VormXml::GetString(item, keyPath) == keyValue) return VormXml::GetString(item, valuePath);
  }
  return CString();
}

// ---- creating and changing nodes ------------------------------------------------------------

IXMLDOMTextPtr VormXmlUtil::AppendTextNode(IXMLDOMDocument2Ptr pDoc, IXMLDOMNodePtr pRootNode, const CString& text) {
  ThrowIfNoDocument(pDoc);
  IXMLDOMText* created = nullptr;
  pDoc->raw_createTextNode(_bstr_t(static_cast<const wchar_t*>(text)), &created);
  return AppendCreated<IXMLDOMTextPtr>(pRootNode, created);
}

IXMLDOMCDATASectionPtr VormXmlUtil::AppendCDATASection(IXMLDOMDocument2Ptr pDoc, IXMLDOMNodePtr pRootNode,
                                                       const CString& data) {
  ThrowIfNoDocument(pDoc);
  IXMLDOMCDATASection* created = nullptr;
  pDoc->raw_createCDATASection(_bstr_t(static_cast<const wchar_t*>(data)), &created);
  return AppendCreated<IXMLDOMCDATASectionPtr>(pRootNode, created);
}

IXMLDOMNodePtr VormXmlUtil::AppendElementNode(IXMLDOMDocument2Ptr pDoc, IXMLDOMNodePtr pRootNode, const CString& name) {
  ThrowIfNoDocument(pDoc);
  IXMLDOMElement* created = nullptr;
  pDoc->raw_createElement(_bstr_t(static_cast<const wchar_t*>(name)), &created);
  return AppendCreated<IXMLDOMNodePtr>(pRootNode, created);
}

IXMLDOMElementPtr VormXmlUtil::AppendNamespacedElement(IXMLDOMDocument2Ptr pDoc, IXMLDOMNodePtr pRootNode,
                                                       const CString& name) {
  ThrowIfNoDocument(pDoc);
  IXMLDOMElementPtr parent(pRootNode);
  if (!parent) throw CString(L"pRootElement is NULL!");
  IXMLDOMNode* created = nullptr;
  pDoc->raw_createNode(_variant_t(static_cast<int>(NODE_ELEMENT), VT_INT), _bstr_t(static_cast<const wchar_t*>(name)),
                       parent->GetnamespaceURI(), &created);
  return AppendCreated<IXMLDOMElementPtr>(pRootNode, created);
}

IXMLDOMElementPtr VormXmlUtil::AppendChildElement(IXMLDOMNodePtr pRootNode, const CString& name) {
  CString message = L"E_FAIL";
  IXMLDOMElementPtr element;
  Guard(message, kNestedCatch, [&] {
    if (!pRootNode) {
      message = L"pRootNode is NULL!";
    } else {
      IXMLDOMDocument2Ptr document(pRootNode->GetownerDocument());
      if (!document) {
        message = L"pDoc is NULL!";
      } else {
        element = AppendNamespacedElement(document, pRootNode, name);
        message = element ? L"OK" : L"pNewElement is NULL!";
      }
    }
  });
  ThrowUnlessOk(message);
  return element;
}

IXMLDOMAttributePtr VormXmlUtil::AddAttribute(IXMLDOMDocument2Ptr pDoc, IXMLDOMElementPtr pRootNode,
                                              const CString& name, const CString& value) {
  CString message = L"E_FAIL";
  IXMLDOMAttributePtr result;
  Guard(message, kAttributeCatch, [&] {
    if (!pDoc) {
      message = L"pDoc is NULL!";
    } else {
      IXMLDOMAttribute* raw = nullptr;
      pDoc->raw_createAttribute(_bstr_t(static_cast<const wchar_t*>(name)), &raw);
      IXMLDOMAttributePtr created(raw, false);
      if (!created) {
        message = L"pCreatedNode is NULL!";
      } else if (!pRootNode) {
        message = L"pRootNode is NULL!";
      } else {
        const HRESULT hr = pRootNode->setAttribute(_bstr_t(static_cast<const wchar_t*>(name)),
                                                   _variant_t(static_cast<const wchar_t*>(value)));
        if (hr == 0) {
          result = created;
          message = L"OK";
        } else {
          message = HResultText(hr);
        }
      }
    }
  });
  ThrowUnlessOk(message);
  return result;
}

BOOL VormXmlUtil::SetAttribute(IXMLDOMDocument2Ptr pDoc, IXMLDOMElementPtr pRootNode, const CString& name,
                               const CString& value) {
  CString message = L"E_FAIL";
  Guard(message, kAttributeCatch, [&] {
    if (!pRootNode) {
      message = L"pRootNode is NULL!";
    } else {
      IXMLDOMNamedNodeMapPtr attributes = pRootNode->Getattributes();
      if (attributes && attributes->getNamedItem(_bstr_t(static_cast<const wchar_t*>(name)))) {
        const HRESULT hr = pRootNode->setAttribute(_bstr_t(static_cast<const wchar_t*>(name)),
                                                   _variant_t(static_cast<const wchar_t*>(value)));
        message = hr != 0 ? HResultText(hr) : CString(L"OK");
      } else {
        message = AddAttribute(pDoc, pRootNode, name, value) ? L"OK" : L"pDesiredAttribute is NULL!";
      }
    }
  });
  ThrowUnlessOk(message);
  return TRUE;
}

BOOL VormXmlUtil::SetAttribute(IXMLDOMElementPtr pRootNode, const CString& name, const CString& value) {
  CString message = L"E_FAIL";
  Guard(message, kAttributeCatch, [&] {
    if (!pRootNode) {
      message = L"pRootNode is NULL!";
    } else if (IXMLDOMDocument2Ptr document = IXMLDOMDocument2Ptr(pRootNode->GetownerDocument())) {
      SetAttribute(document, pRootNode, name, value);
      message = L"OK";
    } else {
      message = L"pDoc is NULL!";
    }
  });
  ThrowUnlessOk(message);
  return TRUE;
}

void VormXmlUtil::AddTextToNode(IXMLDOMDocument2Ptr pDoc, const CString& targetName, const CString& attributeName,
                                const CString& attributeValue, const CString& newName, const CString& text) {
  CString message = L"E_FAIL";
  IXMLDOMNodeListPtr list = GetChildNodes(pDoc);
  if (!list) {
    message = L"pRootNodeList is NULL!";
  } else if (IXMLDOMNodePtr target =
                 FindNodeByNameAndAttribute(list, targetName, attributeName, attributeValue, TRUE)) {
    IXMLDOMTextPtr node = AppendTextNode(pDoc, target, newName);
    if (!node) {
      message = L"pNewNode is NULL!";
    } else {
      const HRESULT hr = node->put_text(_bstr_t(static_cast<const wchar_t*>(text)));
      message = hr != 0 ? CString(L"pNewNode->put_text failed!\n") + HResultText(hr) : CString(L"OK");
    }
  } else {
    message = L"pTargetRootNode is NULL!";
  }
  ThrowUnlessOk(message);
}

// Moving, removing and copying nodes between the trees of a document.
#include "platform/xmldom/dom_internal.h"

namespace VormXmlDom_details {

namespace {

const void* KeyOf(pugi::xml_node node) { return node.internal_object(); }
const void* KeyOf(pugi::xml_attribute attr) { return attr.internal_object(); }

// Whether any node or attribute of the subtree has an object.
bool HasLiveObjects(const Tree& tree, pugi::xml_node root) {
  if (tree.live.empty()) return false;
  for (pugi::xml_node n = root; n; n = NextInSubtree(n, root)) {
    if (tree.live.count(KeyOf(n))) return true;
    for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute())
      if (tree.live.count(KeyOf(a))) return true;
  }
  return false;
}

// Whether `copy` has the shape of `original` (a copy cut short by a failed allocation
// does not).
bool SameShape(pugi::xml_node original, pugi::xml_node copy) {
  pugi::xml_node a = original, b = copy;
  while (a && b) {
    if (a.type() != b.type()) return false;
    pugi::xml_attribute x = a.first_attribute(), y = b.first_attribute();
    for (; x && y; x = x.next_attribute(), y = y.next_attribute()) {
    }
    if (x || y) return false;
    a = NextInSubtree(a, original);
    b = NextInSubtree(b, copy);
  }
  return !a && !b;
}

void MoveObject(Tree& from, const void* oldKey, const std::shared_ptr<Tree>& to, pugi::xml_node node,
                pugi::xml_attribute attr) {
  auto it = from.live.find(oldKey);
  if (it == from.live.end()) return;
  NodeBase* object = it->second;
  from.live.erase(it);
  object->Repoint(to, node, attr);
  to->live.emplace(attr ? KeyOf(attr) : KeyOf(node), object);
}

// Re-points every object of the original subtree at the same node of its copy.
void RepointSubtree(Tree& from, pugi::xml_node original, const std::shared_ptr<Tree>& to, pugi::xml_node copy) {
  if (from.live.empty()) return;
  for (pugi::xml_node a = original, b = copy; a && b; a = NextInSubtree(a, original), b = NextInSubtree(b, copy)) {
    for (pugi::xml_attribute x = a.first_attribute(), y = b.first_attribute(); x && y;
         x = x.next_attribute(), y = y.next_attribute())
      MoveObject(from, KeyOf(x), to, b, y);
    MoveObject(from, KeyOf(a), to, b, pugi::xml_attribute());
  }
}

// Copies `node` (of place.tree) to the position made by `makeCopy` in `to`, re-points the
// objects and frees the original. E_OUTOFMEMORY leaves everything as it was.
template <class MakeCopy>
HRESULT MoveAcross(Place& place, const std::shared_ptr<Tree>& to, MakeCopy makeCopy) {
  pugi::xml_node copy = makeCopy();
  if (!copy) return E_OUTOFMEMORY;
  if (!SameShape(place.node, copy)) {
    DestroySubtree(copy);
    return E_OUTOFMEMORY;
  }
  RepointSubtree(*place.tree, place.node, to, copy);
  Touch(place);
  DestroySubtree(place.node);
  place.tree = to;
  place.node = copy;
  Touch(place);
  return S_OK;
}

bool IsAncestorOrSelf(pugi::xml_node candidate, pugi::xml_node node) {
  for (pugi::xml_node n = node; n; n = n.parent())
    if (n == candidate) return true;
  return false;
}

HRESULT CheckInsert(const Place& parent, const Place& child, const Place* before, const Place* replacing) {
  const DOMNodeType parentType = TypeOf(parent);
  if (parentType != NODE_ELEMENT && parentType != NODE_DOCUMENT)
    return Fail(E_FAIL, L"This node cannot have child nodes.");
  const DOMNodeType childType = TypeOf(child);
  if (childType == NODE_ATTRIBUTE) return Fail(E_FAIL, L"An attribute cannot be inserted as a child node.");
  if (childType == NODE_DOCUMENT || child.IsTreeRoot())
    return Fail(E_FAIL, L"A document cannot be inserted into a node.");
  if (childType == NODE_DOCUMENT_TYPE) return Fail(E_FAIL, L"A document type node cannot be moved.");
  if (child.tree == parent.tree && IsAncestorOrSelf(child.node, parent.node))
    return Fail(E_FAIL, L"A node cannot be inserted under itself or one of its descendants.");
  if (before && (before->IsAttribute() || before->tree != parent.tree || before->node.parent() != parent.node))
    return Fail(E_INVALIDARG, L"The reference node is not a child of this node.");
  const bool declaration = child.node.type() == pugi::node_declaration;
  if (parentType == NODE_ELEMENT) {
    if (declaration) return Fail(E_FAIL, L"The XML declaration can only be the first node of a document.");
    return S_OK;
  }
  if (childType == NODE_TEXT || childType == NODE_CDATA_SECTION)
    return Fail(E_FAIL, L"Text cannot be inserted at the top level of a document.");
  for (pugi::xml_node n = parent.node.first_child(); n; n = n.next_sibling()) {
    if (n == child.node && child.tree == parent.tree) continue;
    if (replacing && n == replacing->node) continue;
    if (childType == NODE_ELEMENT && n.type() == pugi::node_element)
      return Fail(E_FAIL, L"Only one top level element is allowed in an XML document.");
    if (declaration && n.type() == pugi::node_declaration)
      return Fail(E_FAIL, L"The document already has an XML declaration.");
  }
  pugi::xml_node first = parent.node.first_child();
  if (first == child.node && child.tree == parent.tree) first = first.next_sibling();
  const pugi::xml_node target = before ? before->node : pugi::xml_node();
  if (declaration && target != first)
    return Fail(E_FAIL, L"The XML declaration must be the first node of the document.");
  if (!declaration && target && target.type() == pugi::node_declaration)
    return Fail(E_FAIL, L"Nothing can be inserted before the XML declaration.");
  return S_OK;
}

}  // namespace

std::shared_ptr<Tree> NewDetachedTree(DocumentObject* owner) { return std::make_shared<Tree>(owner, true); }

void DestroySubtree(pugi::xml_node node) {
  if (!node) return;
  // Leaves first: removing a node without children frees no subtree, so pugixml's own
  // recursive freeing never goes deeper than one level.
  pugi::xml_node current = node;
  for (;;) {
    while (pugi::xml_node child = current.first_child()) current = child;
    if (current == node) break;
    pugi::xml_node parent = current.parent();
    parent.remove_child(current);
    current = parent;
  }
  if (pugi::xml_node parent = node.parent()) parent.remove_child(node);
}

HRESULT InsertNode(const Place& parent, Place& child, const Place* before, const Place* replacing) {
  const HRESULT check = CheckInsert(parent, child, before, replacing);
  if (FAILED(check)) return check;
  if (before && before->node == child.node && before->tree == child.tree) return S_OK;
  if (child.tree == parent.tree) {
    const pugi::xml_node moved =
        before ? parent.node.insert_move_before(child.node, before->node) : parent.node.append_move(child.node);
    if (!moved) return Fail(E_FAIL, L"The node cannot be inserted here.");
    Touch(parent);
    return S_OK;
  }
  const pugi::xml_node target = before ? before->node : pugi::xml_node();
  pugi::xml_node parentNode = parent.node;
  return MoveAcross(child, parent.tree, [&] {
    return target ? parentNode.insert_copy_before(child.node, target) : parentNode.append_copy(child.node);
  });
}

HRESULT DetachNode(Place& child) {
  if (child.IsAttribute() || child.IsTreeRoot()) return Fail(E_FAIL, L"This node cannot be removed.");
  auto holder = NewDetachedTree(child.tree->owner);
  return MoveAcross(child, holder, [&] { return holder->doc.append_copy(child.node); });
}

void ClearChildren(const Place& node) {
  pugi::xml_node child = node.node.first_child();
  while (child) {
    pugi::xml_node next = child.next_sibling();
    if (HasLiveObjects(*node.tree, child)) {
      Place place{node.tree, child, {}};
      if (FAILED(DetachNode(place))) return;  // out of memory: keep the rest as it is
    } else {
      DestroySubtree(child);
    }
    child = next;
  }
  Touch(node);
}

void RemoveAttribute(const Place& element, pugi::xml_attribute attr) {
  if (element.tree->live.count(KeyOf(attr))) {
    auto holder = NewDetachedTree(element.tree->owner);
    holder->attributeHolder = true;
    pugi::xml_node placeholder = holder->doc.append_child(pugi::node_element);
    pugi::xml_attribute copy = placeholder ? placeholder.append_copy(attr) : pugi::xml_attribute();
    if (!copy) return;  // out of memory: the attribute stays where it is
    MoveObject(*element.tree, KeyOf(attr), holder, placeholder, copy);
  }
  element.node.remove_attribute(attr);
  Touch(element);
}

HRESULT AttachAttribute(const Place& element, Place& attribute) {
  if (TypeOf(element) != NODE_ELEMENT) return Fail(E_FAIL, L"Only elements have attributes.");
  if (!attribute.IsAttribute()) return Fail(E_INVALIDARG, L"The node is not an attribute.");
  if (attribute.tree == element.tree && attribute.node == element.node) return S_OK;  // already there
  if (pugi::xml_attribute same = element.node.attribute(attribute.attr.name())) RemoveAttribute(element, same);
  pugi::xml_attribute copy = element.node.append_copy(attribute.attr);
  if (!copy) return E_OUTOFMEMORY;
  Place old = attribute;
  MoveObject(*old.tree, KeyOf(old.attr), element.tree, element.node, copy);
  old.node.remove_attribute(old.attr);
  Touch(old);
  Touch(element);
  attribute = Place{element.tree, element.node, copy};
  return S_OK;
}

HRESULT CloneNode(const Place& source, bool deep, Place& copy) {
  auto holder = NewDetachedTree(source.tree->owner);
  copy = Place{holder, {}, {}};
  if (source.IsAttribute()) {
    holder->attributeHolder = true;
    copy.node = holder->doc.append_child(pugi::node_element);
    if (copy.node) copy.attr = copy.node.append_copy(source.attr);
    return copy.attr ? S_OK : E_OUTOFMEMORY;
  }
  if (deep) {
    copy.node = holder->doc.append_copy(source.node);
    if (!copy.node || !SameShape(source.node, copy.node)) return E_OUTOFMEMORY;
    return S_OK;
  }
  const pugi::xml_node_type type = source.node.type();
  const bool named = type == pugi::node_element || type == pugi::node_pi || type == pugi::node_declaration;
  const bool valued = type == pugi::node_pcdata || type == pugi::node_cdata || type == pugi::node_comment ||
                      type == pugi::node_pi || type == pugi::node_doctype;
  copy.node = holder->doc.append_child(type);
  if (!copy.node || (named && !copy.node.set_name(source.node.name())) ||
      (valued && !copy.node.set_value(source.node.value())))
    return E_OUTOFMEMORY;
  for (pugi::xml_attribute a = source.node.first_attribute(); a; a = a.next_attribute())
    if (!copy.node.append_copy(a)) return E_OUTOFMEMORY;
  return S_OK;
}

}  // namespace VormXmlDom_details

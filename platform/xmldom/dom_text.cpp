// Text, whitespace scope, namespaces and the XML declaration's pseudo-attributes.
#include <cstring>

#include "platform/xmldom/dom_internal.h"

namespace VormXmlDom_details {

namespace {

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsXmlWhitespace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsXmlWhitespace(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

bool PreservesSpace(pugi::xml_node element) {
  for (pugi::xml_node n = element; n; n = n.parent()) {
    if (n.type() != pugi::node_element) continue;
    if (pugi::xml_attribute space = n.attribute("xml:space")) return std::strcmp(space.value(), "preserve") == 0;
  }
  return false;
}

std::string NodeText(const Place& place) {
  if (place.IsAttribute()) return place.attr.value();
  const pugi::xml_node node = place.node;
  switch (node.type()) {
    case pugi::node_element:
    case pugi::node_document: {
      std::string text;
      for (pugi::xml_node n = node; n; n = NextInSubtree(n, node))
        if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) text += n.value();
      if (node.type() == pugi::node_element && PreservesSpace(node)) return text;
      return std::string(Trimmed(text));
    }
    case pugi::node_declaration:
      return DeclarationText(node);
    case pugi::node_doctype:
      return std::string();
    default:
      return node.value();
  }
}

std::string ResolveNamespace(pugi::xml_node element, std::string_view prefix) {
  if (prefix == "xml") return "http://www.w3.org/XML/1998/namespace";
  if (prefix == "xmlns") return "http://www.w3.org/2000/xmlns/";
  std::string declaration = prefix.empty() ? std::string("xmlns") : "xmlns:" + std::string(prefix);
  for (pugi::xml_node n = element; n; n = n.parent()) {
    if (n.type() != pugi::node_element) continue;
    if (pugi::xml_attribute a = n.attribute(declaration.c_str())) return a.value();
  }
  return std::string();
}

std::string DeclarationText(pugi::xml_node declaration) {
  std::string text;
  for (pugi::xml_attribute a = declaration.first_attribute(); a; a = a.next_attribute()) {
    if (!text.empty()) text += ' ';
    const char quote = std::strchr(a.value(), '"') ? '\'' : '"';
    text.append(a.name()).append("=").append(1, quote).append(a.value()).append(1, quote);
  }
  return text;
}

bool SetDeclarationText(pugi::xml_node declaration, std::string_view text) {
  struct Pseudo {
    std::string_view name, value;
  };
  Pseudo found[3];
  int count = 0;
  size_t i = 0;
  auto skipBlanks = [&] {
    while (i < text.size() && IsXmlWhitespace(text[i])) ++i;
  };
  for (skipBlanks(); i < text.size(); skipBlanks()) {
    const size_t nameStart = i;
    while (i < text.size() && ((text[i] >= 'a' && text[i] <= 'z') || (text[i] >= 'A' && text[i] <= 'Z'))) ++i;
    const std::string_view name = text.substr(nameStart, i - nameStart);
    if (name != "version" && name != "encoding" && name != "standalone") return false;
    skipBlanks();
    if (i >= text.size() || text[i] != '=') return false;
    ++i;
    skipBlanks();
    if (i >= text.size() || (text[i] != '"' && text[i] != '\'')) return false;
    const char quote = text[i++];
    const size_t valueEnd = text.find(quote, i);
    if (valueEnd == std::string_view::npos || count == 3) return false;
    found[count++] = {name, text.substr(i, valueEnd - i)};
    i = valueEnd + 1;
  }
  if (count == 0 || found[0].name != "version") return false;
  while (pugi::xml_attribute a = declaration.first_attribute()) declaration.remove_attribute(a);
  for (int k = 0; k < count; ++k) {
    pugi::xml_attribute a = declaration.append_attribute(std::string(found[k].name).c_str());
    if (!a || !a.set_value(std::string(found[k].value).c_str())) return false;
  }
  return true;
}

}  // namespace VormXmlDom_details

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

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// "1." and digits.
bool IsVersionNumber(std::string_view v) {
  if (v.size() < 3 || v.substr(0, 2) != "1.") return false;
  for (char c : v.substr(2))
    if (!IsAsciiDigit(c)) return false;
  return true;
}

// A letter, then letters, digits, '.', '_' and '-'.
bool IsEncodingName(std::string_view v) {
  if (v.empty() || !IsAsciiLetter(v[0])) return false;
  for (char c : v)
    if (!IsAsciiLetter(c) && !IsAsciiDigit(c) && c != '.' && c != '_' && c != '-') return false;
  return true;
}

// Collects the declaration's pseudo-attributes in order; Add refuses one out of place or with
// a bad value. The views point into the caller's text. A local helper of one call.
struct DeclarationPseudoAttributes {
  struct Item {
    std::string_view name, value;
  };
  Item items[3];
  int count = 0;
  int lastRank = -1;
  bool Add(std::string_view name, std::string_view value);
};

bool DeclarationPseudoAttributes::Add(std::string_view name, std::string_view value) {
  // version first, then encoding, then standalone, each at most once.
  static constexpr std::string_view kOrder[] = {"version", "encoding", "standalone"};
  int rank = 0;
  while (rank < 3 && kOrder[rank] != name) ++rank;
  if (rank == 3 || (count == 0 && rank != 0) || (count > 0 && rank <= lastRank)) return false;
  const bool valid = rank == 0   ? IsVersionNumber(value)
                     : rank == 1 ? IsEncodingName(value)
                                 : value == "yes" || value == "no";
  if (!valid) return false;
  items[count++] = {name, value};
  lastRank = rank;
  return true;
}

}  // namespace

bool IsDeclarationWellFormed(pugi::xml_node declaration) {
  DeclarationPseudoAttributes found;
  for (pugi::xml_attribute a = declaration.first_attribute(); a; a = a.next_attribute())
    if (!found.Add(a.name(), a.value())) return false;
  return found.count > 0;
}

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
    case pugi::node_declaration: return DeclarationText(node);
    case pugi::node_doctype: return std::string();
    default: return node.value();
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
  DeclarationPseudoAttributes found;
  size_t i = 0;
  auto skipBlanks = [&] {
    while (i < text.size() && IsXmlWhitespace(text[i])) ++i;
  };
  for (skipBlanks(); i < text.size(); skipBlanks()) {
    const size_t nameStart = i;
    while (i < text.size() && IsAsciiLetter(text[i])) ++i;
    const std::string_view name = text.substr(nameStart, i - nameStart);
    skipBlanks();
    if (i >= text.size() || text[i] != '=') return false;
    ++i;
    skipBlanks();
    if (i >= text.size() || (text[i] != '"' && text[i] != '\'')) return false;
    const char quote = text[i++];
    const size_t valueEnd = text.find(quote, i);
    if (valueEnd == std::string_view::npos || !found.Add(name, text.substr(i, valueEnd - i))) return false;
    i = valueEnd + 1;
  }
  if (found.count == 0) return false;
  while (pugi::xml_attribute a = declaration.first_attribute()) declaration.remove_attribute(a);
  for (int k = 0; k < found.count; ++k) {
    pugi::xml_attribute a = declaration.append_attribute(std::string(found.items[k].name).c_str());
    if (!a || !a.set_value(std::string(found.items[k].value).c_str())) return false;
  }
  return true;
}

}  // namespace VormXmlDom_details

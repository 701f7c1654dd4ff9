// Loading an XML file for the xml and survey commands, with its parse error in hand.
#pragma once

#include <string>

#include <vorm/platform/xmldom.h>
#include <vorm/xml.h>

namespace vorm_cli {

// Where and why a file did not load; line 0 when the error has no position.
struct ParseProblem {
  long line = 0;
  long column = 0;
  std::string reason;
};

// Loads `file` into `xml`'s document. False with `problem` filled when it does not load.
bool LoadXmlFile(VormXml& xml, const std::string& file, ParseProblem& problem);

// "file:line:column: reason" (or "file: reason" without a position).
std::string Describe(const std::string& file, const ParseProblem& problem);

// Text from a wide DOM string, UTF-8.
std::string Utf8(const _bstr_t& text);

}  // namespace vorm_cli

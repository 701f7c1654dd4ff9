// vorm xml: XPath queries and parse checks over the library's XML document.
#include <cstdio>

#include <vorm/platform/text.h>

#include "cli.h"
#include "commands.h"
#include "xml_load.h"

namespace vorm_cli {

std::string Utf8(const _bstr_t& text) {
  const wchar_t* wide = static_cast<const wchar_t*>(text);
  return VormToUtf8(wide ? wide : L"");
}

bool LoadXmlFile(VormXml& xml, const std::string& file, ParseProblem& problem) {
  try {
    IXMLDOMDocument2Ptr document = xml.GetDocument();
    if (!document) {
      problem.reason = "no XML document could be made";
      return false;
    }
    if (document->load(_variant_t(Wide(file).c_str())) == VARIANT_TRUE) return true;
    IXMLDOMParseErrorPtr error = document->GetparseError();
    problem.line = error->Getline();
    problem.column = error->Getlinepos();
    problem.reason = Utf8(error->Getreason());
  } catch (const _com_error& e) {
    problem.reason = Utf8(_bstr_t(e.ErrorMessage()));
  }
  while (!problem.reason.empty() && (problem.reason.back() == '\n' || problem.reason.back() == '\r')) {
    problem.reason.pop_back();
  }
  if (problem.reason.empty()) problem.reason = "the file could not be loaded";
  return false;
}

std::string Describe(const std::string& file, const ParseProblem& problem) {
  if (problem.line <= 0) return file + ": " + problem.reason;
  return file + ":" + std::to_string(problem.line) + ":" + std::to_string(problem.column) + ": " + problem.reason;
}

int XmlCommand(const Words& words) {
  const Args args = Parse(words, {}, {});
  if (!args.error.empty()) return UsageError("xml", args.error);
  if (args.operands.empty()) return UsageError("xml", "missing action");
  const std::string& verb = args.operands[0];
  if (verb == "check") {
    if (args.operands.size() < 2) return UsageError("xml", "check takes FILE...");
    int result = kOk;
    for (size_t i = 1; i < args.operands.size(); ++i) {
      VormXml xml;
      ParseProblem problem;
      if (!LoadXmlFile(xml, args.operands[i], problem)) {
        std::fprintf(stderr, "%s\n", Describe(args.operands[i], problem).c_str());
        result = kFailed;
      }
    }
    return result;
  }
  if (verb == "query") {
    if (args.operands.size() != 3) return UsageError("xml", "query takes FILE and XPATH");
    const std::string& file = args.operands[1];
    const std::string& path = args.operands[2];
    VormXml xml;
    ParseProblem problem;
    if (!LoadXmlFile(xml, file, problem)) return Complain(Describe(file, problem));
    try {
      IXMLDOMNodeListPtr nodes = xml.GetDocument()->selectNodes(_bstr_t(VormFromUtf8(path).c_str()));
      const LONG count = nodes->Getlength();
      std::printf("%ld\n", static_cast<long>(count));
      for (LONG i = 0; i < count; ++i) std::printf("%s\n", Utf8(nodes->Getitem(i)->Gettext()).c_str());
    } catch (const _com_error& e) {
      std::string reason = Utf8(e.Description());
      if (reason.empty()) reason = Utf8(_bstr_t(e.ErrorMessage()));
      return Complain("bad XPath '" + path + "': " + reason);
    }
    return kOk;
  }
  return UsageError("xml", "unknown action '" + verb + "'");
}

}  // namespace vorm_cli

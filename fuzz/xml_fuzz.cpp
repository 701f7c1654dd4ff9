// The XML DOM on any bytes. The first byte chooses how much of the rest is a selection
// path (the remainder is the document). Whatever the bytes, loading answers with a parse
// error or a document; a document that loaded is queried with the path (a bad path must
// fail as an HRESULT), walked through its text, and saved; what it saves must load again
// into the same text.
#include <cstdint>
#include <string>

#include <vorm/platform/xmldom.h>
#include <vorm/xml.h>

#include "fuzz/fuzz_check.h"

namespace {

// Bytes through IPersistStreamInit, as VormXml's memory and stream loads hand them over.
HRESULT Load(IXMLDOMDocument2* document, const uint8_t* data, size_t size) {
  return VormXml::LoadFromMemory(document, data, static_cast<ULONG>(size));
}

std::wstring Xml(IXMLDOMDocument2* document) {
  BSTR text = nullptr;
  FUZZ_CHECK(document->get_xml(&text) == S_OK);
  std::wstring out(text ? text : L"", SysStringLen(text));
  SysFreeString(text);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const HRESULT initialised = CoInitialize(nullptr);
  (void)initialised;
  if (size == 0) return 0;
  const size_t pathLength = data[0] % 64 < size - 1 ? data[0] % 64 : size - 1;
  const std::string path(reinterpret_cast<const char*>(data + 1), pathLength);
  const uint8_t* document = data + 1 + pathLength;
  const size_t documentSize = size - 1 - pathLength;

  IXMLDOMDocument2* doc = nullptr;
  FUZZ_CHECK(CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_ALL, IID_IXMLDOMDocument2,
                              reinterpret_cast<void**>(&doc)) == S_OK);
  const HRESULT loaded = Load(doc, document, documentSize);
  IXMLDOMParseError* error = nullptr;
  FUZZ_CHECK(doc->get_parseError(&error) == S_OK);
  LONG code = 0;
  error->get_errorCode(&code);
  error->Release();
  FUZZ_CHECK((loaded == S_OK) == (code == 0));  // no failure reported as success
  if (code == 0) {
    // Any path: a node list or a failing HRESULT.
    std::wstring widePath(path.begin(), path.end());
    BSTR bstrPath = SysAllocStringLen(widePath.data(), static_cast<UINT>(widePath.size()));
    IXMLDOMNodeList* list = nullptr;
    const HRESULT selected = doc->raw_selectNodes(bstrPath, &list);
    FUZZ_CHECK(SUCCEEDED(selected) == (list != nullptr));
    if (list) {
      LONG length = 0;
      list->get_length(&length);
      for (LONG i = 0; i < length && i < 16; ++i) {
        IXMLDOMNode* node = nullptr;
        if (list->get_item(i, &node) == S_OK) {
          BSTR text = nullptr;
          node->get_text(&text);
          SysFreeString(text);
          node->Release();
        }
      }
      list->Release();
    }
    SysFreeString(bstrPath);
    // What is saved loads again to the same document.
    BYTE* saved = nullptr;
    ULONG savedSize = 0;
    if (VormXml::SaveToMemory(doc, &saved, &savedSize) == S_OK) {
      IXMLDOMDocument2* again = nullptr;
      FUZZ_CHECK(CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_ALL, IID_IXMLDOMDocument2,
                                  reinterpret_cast<void**>(&again)) == S_OK);
      FUZZ_CHECK(Load(again, saved, savedSize) == S_OK);
      FUZZ_CHECK(Xml(again) == Xml(doc));
      again->Release();
    }
    delete[] saved;
  }
  doc->Release();
  return 0;
}

// Internal: the document object. One thread at a time (see xmldom.h); it owns its main
// tree, and every node object holds a reference to it.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <string>

#include "platform/xmldom/dom_factory.h"
#include "platform/xmldom/dom_node.h"

namespace VormXmlDom_details {

class DocumentObject final : public DomNode<IXMLDOMDocument2, IPersistStreamInit> {
 public:
  DocumentObject();

  // NodeBase
  Place CurrentPlace() const override { return Place{main_, main_->doc, {}}; }
  IXMLDOMNode* AsNode() override { return static_cast<IXMLDOMDocument2*>(this); }
  const std::shared_ptr<Tree>& MainTree() const { return main_; }

  // IXMLDOMDocument
  HRESULT get_doctype(IXMLDOMDocumentType** doctype) override;
  HRESULT get_documentElement(IXMLDOMElement** root) override;
  HRESULT raw_createElement(BSTR tagName, IXMLDOMElement** element) override;
  HRESULT raw_createTextNode(BSTR data, IXMLDOMText** text) override;
  HRESULT raw_createComment(BSTR data, IXMLDOMComment** comment) override;
  HRESULT raw_createCDATASection(BSTR data, IXMLDOMCDATASection** cdata) override;
  HRESULT raw_createProcessingInstruction(BSTR target, BSTR data, IXMLDOMProcessingInstruction** pi) override;
  HRESULT raw_createAttribute(BSTR name, IXMLDOMAttribute** attribute) override;
  HRESULT raw_getElementsByTagName(BSTR tagName, IXMLDOMNodeList** elements) override;
  HRESULT raw_createNode(VARIANT type, BSTR name, BSTR namespaceURI, IXMLDOMNode** node) override;
  HRESULT get_readyState(LONG* state) override;
  HRESULT get_parseError(IXMLDOMParseError** error) override;
  HRESULT get_url(BSTR* url) override;
  HRESULT get_async(VARIANT_BOOL* async) override;
  HRESULT put_async(VARIANT_BOOL async) override;
  HRESULT raw_abort() override;
  HRESULT raw_load(VARIANT source, VARIANT_BOOL* loaded) override;
  HRESULT raw_loadXML(BSTR xml, VARIANT_BOOL* loaded) override;
  HRESULT raw_save(VARIANT destination) override;
  HRESULT get_validateOnParse(VARIANT_BOOL* validate) override;
  HRESULT put_validateOnParse(VARIANT_BOOL validate) override;
  HRESULT get_resolveExternals(VARIANT_BOOL* resolve) override;
  HRESULT put_resolveExternals(VARIANT_BOOL resolve) override;
  HRESULT get_preserveWhiteSpace(VARIANT_BOOL* preserve) override;
  HRESULT put_preserveWhiteSpace(VARIANT_BOOL preserve) override;

  // IXMLDOMDocument2
  HRESULT raw_setProperty(BSTR name, VARIANT value) override;
  HRESULT raw_getProperty(BSTR name, VARIANT* value) override;

  // IPersistStreamInit: Load answers S_OK once the stream was read to its end, whether
  // the bytes parse or not (the outcome is in parseError); a failing Read is returned.
  HRESULT GetClassID(CLSID* clsid) override;
  HRESULT IsDirty() override;
  HRESULT Load(IStream* stream) override;
  HRESULT Save(IStream* stream, BOOL clearDirty) override;
  HRESULT GetSizeMax(ULARGE_INTEGER* size) override;
  HRESULT InitNew() override;

  // A new document object with this one's settings and, when `deep`, a copy of its nodes.
  HRESULT CloneDocument(bool deep, IXMLDOMNode** clone);

 private:
  ~DocumentObject() override;
  void* Find(REFIID iid) override;

  // Parses `bytes` into a new main tree (an empty one when they do not parse) and
  // records the outcome; true when the bytes parsed.
  // `reload` reads the same bytes again, when that is possible (see ParseOptions).
  bool LoadBytes(std::string&& bytes, bool alreadyDecoded, const std::wstring& url,
                 std::function<bool(std::string&)> reload = nullptr, std::optional<TextScan> rawScan = std::nullopt);
  // Records a failure to read the source: the document is emptied.
  void FailedRead(HRESULT hr, const std::wstring& url);
  void ReplaceMainTree(std::shared_ptr<Tree> tree);
  void SetParseError(const ParseFailure& failure, const std::wstring& url);
  HRESULT SaveToStream(IStream* stream);
  template <class I>
  HRESULT CreateLeaf(pugi::xml_node_type type, const char* name, BSTR data, I** out);

  std::shared_ptr<Tree> main_;
  IXMLDOMParseError* parseError_ = nullptr;  // one reference
  std::wstring url_;
  VARIANT_BOOL async_ = VARIANT_TRUE;
  VARIANT_BOOL validateOnParse_ = VARIANT_TRUE;
  VARIANT_BOOL resolveExternals_ = VARIANT_FALSE;
  VARIANT_BOOL preserveWhiteSpace_ = VARIANT_FALSE;
  std::map<std::wstring, std::wstring> properties_;  // the kept, inert properties
};

}  // namespace VormXmlDom_details

// The document object: node factories, loading, saving, properties and IPersistStreamInit.
#include <algorithm>

#include <vorm/platform/text.h>

#include "platform/com/com_internal.h"
#include "platform/xmldom/dom_document.h"

namespace VormXmlDom_details {

namespace {

constexpr size_t kMaxStreamBytes = size_t{2} << 30;

// The outcome of the last load. Immutable; any thread.
class ParseErrorObject final : public VormComObject<IXMLDOMParseError> {
 public:
  ParseErrorObject(const ParseFailure& failure, const std::wstring& url) : failure_(failure), url_(url) {}

  HRESULT get_errorCode(LONG* out) override { return Put(out, failure_.code); }
  HRESULT get_url(BSTR* out) override { return NewBstr(std::wstring_view(url_), out); }
  HRESULT get_reason(BSTR* out) override { return NewBstr(std::wstring_view(failure_.reason), out); }
  HRESULT get_srcText(BSTR* out) override { return NewBstr(std::wstring_view(failure_.srcText), out); }
  HRESULT get_line(LONG* out) override { return Put(out, failure_.line); }
  HRESULT get_linepos(LONG* out) override { return Put(out, failure_.linepos); }
  HRESULT get_filepos(LONG* out) override { return Put(out, failure_.filepos); }

 private:
  static HRESULT Put(LONG* out, LONG value) {
    if (!out) return E_INVALIDARG;
    *out = value;
    return S_OK;
  }
  const ParseFailure failure_;
  const std::wstring url_;
};

std::wstring ReadFailureReason(HRESULT hr) {
  switch (hr) {
    case INET_E_RESOURCE_NOT_FOUND: return L"The system cannot locate the resource specified.";
    case E_ACCESSDENIED: return L"Access is denied.";
    case INET_E_UNKNOWN_PROTOCOL: return L"The URL's protocol is not supported.";
    case INET_E_CANNOT_CONNECT: return L"The connection to the server could not be made.";
    case E_OUTOFMEMORY: return L"Not enough memory to read the document.";
    default: return VormFormat(L"The document could not be read (error 0x%08X).", static_cast<DWORD>(hr));
  }
}

// Reads a stream to its end (a read of 0 bytes, whatever the HRESULT says).
HRESULT ReadAll(IStream* stream, std::string& bytes) {
  char chunk[65536];
  for (;;) {
    ULONG got = 0;
    const HRESULT hr = stream->Read(chunk, sizeof chunk, &got);
    if (FAILED(hr)) return hr;
    if (got == 0) return S_OK;
    if (bytes.size() + got > kMaxStreamBytes) return E_OUTOFMEMORY;
    bytes.append(chunk, got > sizeof chunk ? sizeof chunk : got);
  }
}

HRESULT WriteAll(IStream* stream, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ULONG chunk = static_cast<ULONG>(std::min<size_t>(bytes.size() - done, 1u << 30));
    ULONG written = 0;
    const HRESULT hr = stream->Write(bytes.data() + done, chunk, &written);
    if (FAILED(hr)) return hr;
    if (written == 0) return STG_E_WRITEFAULT;
    done += written;
  }
  return S_OK;
}

HRESULT GetFlag(VARIANT_BOOL flag, VARIANT_BOOL* out) {
  if (!out) return E_INVALIDARG;
  *out = flag;
  return S_OK;
}

HRESULT PutFlag(VARIANT_BOOL& flag, VARIANT_BOOL value) {
  flag = value ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

bool IsTrue(const VARIANT& value) {
  VARIANT b;
  VariantInit(&b);
  return SUCCEEDED(VariantChangeType(&b, &value, 0, VT_BOOL)) && b.boolVal != VARIANT_FALSE;
}

// createNode's type: a number or the name nodeTypeString gives.
bool NodeTypeOf(const VARIANT& type, LONG& out) {
  if (type.vt == VT_BSTR) {
    static const struct {
      const wchar_t* name;
      LONG type;
    } kNames[] = {{L"element", NODE_ELEMENT}, {L"attribute", NODE_ATTRIBUTE},
                  {L"text", NODE_TEXT},       {L"cdatasection", NODE_CDATA_SECTION},
                  {L"comment", NODE_COMMENT}, {L"processinginstruction", NODE_PROCESSING_INSTRUCTION}};
    for (const auto& entry : kNames) {
      if (VormCompareNoCase(std::wstring_view(type.bstrVal, SysStringLen(type.bstrVal)), entry.name) == 0) {
        out = entry.type;
        return true;
      }
    }
    return false;
  }
  VARIANT number;
  VariantInit(&number);
  if (FAILED(VariantChangeType(&number, &type, 0, VT_I4))) return false;
  out = number.lVal;
  return true;
}

}  // namespace

DocumentObject::DocumentObject() : main_(std::make_shared<Tree>(this, false)) {
  parseError_ = new ParseErrorObject(ParseFailure(), std::wstring());
}

DocumentObject::~DocumentObject() { parseError_->Release(); }

void* DocumentObject::Find(REFIID iid) {
  if (iid == IID_IUnknown || iid == IID_IXMLDOMNode) return AsNode();
  if (iid == IID_IXMLDOMDocument) return static_cast<IXMLDOMDocument*>(this);
  if (iid == IID_IXMLDOMDocument2) return static_cast<IXMLDOMDocument2*>(this);
  if (iid == IID_IPersistStreamInit) return static_cast<IPersistStreamInit*>(this);
  if (iid == IID_IPersist) return static_cast<IPersist*>(this);
  return iid == IID_ISupportErrorInfo ? static_cast<ISupportErrorInfo*>(this) : nullptr;
}

void DocumentObject::ReplaceMainTree(std::shared_ptr<Tree> tree) {
  main_->detached = true;  // what still points into it now holds detached nodes
  ++main_->version;
  main_ = std::move(tree);
}

void DocumentObject::SetParseError(const ParseFailure& failure, const std::wstring& url) {
  IXMLDOMParseError* fresh = new ParseErrorObject(failure, url);
  parseError_->Release();
  parseError_ = fresh;
}

bool DocumentObject::LoadBytes(std::string&& bytes, bool alreadyDecoded, const std::wstring& url,
                               std::function<bool(std::string&)> reload, std::optional<TextScan> rawScan) {
  auto tree = std::make_shared<Tree>(this, false);
  ParseFailure failure;
  const ParseOptions options{preserveWhiteSpace_ != VARIANT_FALSE, alreadyDecoded, std::move(reload), rawScan};
  const bool parsed = ParseDocument(std::move(bytes), options, *tree, failure);
  ReplaceMainTree(parsed ? std::move(tree) : std::make_shared<Tree>(this, false));
  url_ = url;
  SetParseError(parsed ? ParseFailure() : failure, url);
  return parsed;
}

void DocumentObject::FailedRead(HRESULT hr, const std::wstring& url) {
  ReplaceMainTree(std::make_shared<Tree>(this, false));
  url_ = url;
  ParseFailure failure;
  failure.code = hr;
  failure.reason = ReadFailureReason(hr);
  SetParseError(failure, url);
}

HRESULT DocumentObject::get_doctype(IXMLDOMDocumentType** out) {
  return Guarded([&]() -> HRESULT {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    for (pugi::xml_node n = main_->doc.first_child(); n; n = n.next_sibling())
      if (n.type() == pugi::node_doctype) return WrapAs(Place{main_, n, {}}, out);
    return S_FALSE;
  });
}

HRESULT DocumentObject::get_documentElement(IXMLDOMElement** out) {
  return Guarded([&]() -> HRESULT {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    for (pugi::xml_node n = main_->doc.first_child(); n; n = n.next_sibling())
      if (n.type() == pugi::node_element) return WrapAs(Place{main_, n, {}}, out);
    return S_FALSE;
  });
}

template <class I>
HRESULT DocumentObject::CreateLeaf(pugi::xml_node_type type, const char* name, BSTR data, I** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  auto holder = NewDetachedTree(this);
  pugi::xml_node node = holder->doc.append_child(type);
  if (!node || (name && !node.set_name(name))) return E_OUTOFMEMORY;
  const Place place{holder, node, {}};
  if (type != pugi::node_element) {
    const HRESULT hr = NodeOps::PutText(place, data);
    if (FAILED(hr)) return hr;
  }
  return WrapAs(place, out);
}

HRESULT DocumentObject::raw_createElement(BSTR tagName, IXMLDOMElement** out) {
  return Guarded([&]() -> HRESULT {
    const std::string name = Utf8(tagName);
    if (!IsXmlName(name)) return Fail(E_INVALIDARG, L"The element name is not a valid XML name.");
    return CreateLeaf(pugi::node_element, name.c_str(), nullptr, out);
  });
}

HRESULT DocumentObject::raw_createTextNode(BSTR data, IXMLDOMText** out) {
  return Guarded([&] { return CreateLeaf(pugi::node_pcdata, nullptr, data, out); });
}

HRESULT DocumentObject::raw_createComment(BSTR data, IXMLDOMComment** out) {
  return Guarded([&] { return CreateLeaf(pugi::node_comment, nullptr, data, out); });
}

HRESULT DocumentObject::raw_createCDATASection(BSTR data, IXMLDOMCDATASection** out) {
  return Guarded([&] { return CreateLeaf(pugi::node_cdata, nullptr, data, out); });
}

HRESULT DocumentObject::raw_createProcessingInstruction(BSTR target, BSTR data, IXMLDOMProcessingInstruction** out) {
  return Guarded([&]() -> HRESULT {
    const std::string name = Utf8(target);
    if (name == "xml") return CreateLeaf(pugi::node_declaration, "xml", data, out);
    if (!IsXmlName(name) || name.find(':') != std::string::npos || VormCompareNoCase(VormFromUtf8(name), L"xml") == 0)
      return Fail(E_INVALIDARG, L"The processing instruction's target is not a valid name.");
    return CreateLeaf(pugi::node_pi, name.c_str(), data, out);
  });
}

HRESULT DocumentObject::raw_createAttribute(BSTR name, IXMLDOMAttribute** out) {
  return Guarded([&]() -> HRESULT {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    const std::string n = Utf8(name);
    if (!IsXmlName(n)) return Fail(E_INVALIDARG, L"The attribute name is not a valid XML name.");
    auto holder = NewDetachedTree(this);
    holder->attributeHolder = true;
    pugi::xml_node placeholder = holder->doc.append_child(pugi::node_element);
    pugi::xml_attribute attr = placeholder ? placeholder.append_attribute(n.c_str()) : pugi::xml_attribute();
    if (!attr) return E_OUTOFMEMORY;
    return WrapAs(Place{holder, placeholder, attr}, out);
  });
}

HRESULT DocumentObject::raw_getElementsByTagName(BSTR tagName, IXMLDOMNodeList** out) {
  return Guarded([&] { return NewSelection(AsNode(), ElementsByTagNamePath(tagName), out); });
}

HRESULT DocumentObject::raw_createNode(VARIANT type, BSTR name, BSTR namespaceURI, IXMLDOMNode** out) {
  return Guarded([&]() -> HRESULT {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    LONG kind = 0;
    if (!NodeTypeOf(type, kind)) return Fail(E_INVALIDARG, L"The node type is not known.");
    switch (kind) {
      case NODE_ELEMENT: {
        IXMLDOMElementPtr element;
        HRESULT hr = raw_createElement(name, &element);
        if (FAILED(hr)) return hr;
        const std::string uri = Utf8(namespaceURI);
        if (!uri.empty()) {
          const std::string qname = Utf8(name);
          const size_t colon = qname.find(':');
          const std::string attr = colon == std::string::npos ? "xmlns" : "xmlns:" + qname.substr(0, colon);
          Place place;
          PlaceOf(element, place);
          pugi::xml_attribute declaration = place.node.append_attribute(attr.c_str());
          if (!declaration || !declaration.set_value(uri.c_str())) return E_OUTOFMEMORY;
          dynamic_cast<NodeBase*>(element.GetInterfacePtr())->MarkImplicitNamespace();
        }
        return element->QueryInterface(IID_IXMLDOMNode, reinterpret_cast<void**>(out));
      }
      case NODE_ATTRIBUTE: {
        IXMLDOMAttribute* attribute = nullptr;
        const HRESULT hr = raw_createAttribute(name, &attribute);
        *out = attribute;
        return hr;
      }
      case NODE_TEXT: return CreateLeaf(pugi::node_pcdata, nullptr, nullptr, out);
      case NODE_CDATA_SECTION: return CreateLeaf(pugi::node_cdata, nullptr, nullptr, out);
      case NODE_COMMENT: return CreateLeaf(pugi::node_comment, nullptr, nullptr, out);
      case NODE_PROCESSING_INSTRUCTION: {
        IXMLDOMProcessingInstruction* pi = nullptr;
        const HRESULT hr = raw_createProcessingInstruction(name, nullptr, &pi);
        *out = pi;
        return hr;
      }
      default: return Fail(E_INVALIDARG, L"Nodes of this type cannot be created.");
    }
  });
}

HRESULT DocumentObject::get_readyState(LONG* out) {
  if (!out) return E_INVALIDARG;
  *out = 4;  // loads complete before they return
  return S_OK;
}

HRESULT DocumentObject::get_parseError(IXMLDOMParseError** out) {
  if (!out) return E_INVALIDARG;
  parseError_->AddRef();
  *out = parseError_;
  return S_OK;
}

HRESULT DocumentObject::get_url(BSTR* out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  return url_.empty() ? S_FALSE : NewBstr(std::wstring_view(url_), out);
}

HRESULT DocumentObject::get_async(VARIANT_BOOL* out) { return GetFlag(async_, out); }
HRESULT DocumentObject::put_async(VARIANT_BOOL async) { return PutFlag(async_, async); }

HRESULT DocumentObject::raw_abort() { return S_OK; }

HRESULT DocumentObject::raw_load(VARIANT source, VARIANT_BOOL* loaded) {
  return Guarded([&]() -> HRESULT {
    if (loaded) *loaded = VARIANT_FALSE;
    std::string bytes;
    std::wstring url;
    HRESULT hr;
    // Each piece of a file is scanned as it arrives, while it is still in the cache.
    TextScanner scanner(true);
    if (source.vt == VT_BSTR) {
      // A load replaces the tree whatever its outcome; letting the old one go first lets its
      // memory serve the new one.
      ReplaceMainTree(std::make_shared<Tree>(this, false));
      url.assign(source.bstrVal ? source.bstrVal : L"", SysStringLen(source.bstrVal));
      hr = VormCom_details::ReadUrl(url.c_str(), bytes,
                                    [&](const std::string& sofar) { scanner.Advance(sofar, false); });
    } else if ((source.vt == VT_UNKNOWN || source.vt == VT_DISPATCH) && source.punkVal) {
      IStreamPtr stream(source.punkVal);
      if (!stream) return Fail(E_INVALIDARG, L"The object to load from is not a stream.");
      hr = ReadAll(stream, bytes);
    } else {
      return Fail(E_INVALIDARG, L"Load needs a file name, a URL or a stream.");
    }
    if (FAILED(hr)) {
      FailedRead(hr, url);
      return S_FALSE;
    }
    // A local file can be read again, which lets the parser work on the bytes in place.
    std::function<bool(std::string&)> reload;
    const bool remote =
        source.vt == VT_BSTR && (VormCompareNoCase(std::wstring_view(url).substr(0, 5), L"http:") == 0 ||
                                 VormCompareNoCase(std::wstring_view(url).substr(0, 6), L"https:") == 0);
    if (source.vt == VT_BSTR && !remote)
      reload = [&url](std::string& again) { return SUCCEEDED(VormCom_details::ReadUrl(url.c_str(), again)); };
    scanner.Advance(bytes, true);
    const bool parsed = LoadBytes(std::move(bytes), false, url, std::move(reload), scanner.Result());
    if (loaded) *loaded = parsed ? VARIANT_TRUE : VARIANT_FALSE;
    return parsed ? S_OK : S_FALSE;
  });
}

HRESULT DocumentObject::raw_loadXML(BSTR xml, VARIANT_BOOL* loaded) {
  return Guarded([&]() -> HRESULT {
    ReplaceMainTree(std::make_shared<Tree>(this, false));  // as in raw_load
    const bool parsed = LoadBytes(Utf8(xml), true, std::wstring(), [xml](std::string& again) {
      again = Utf8(xml);
      return true;
    });
    if (loaded) *loaded = parsed ? VARIANT_TRUE : VARIANT_FALSE;
    return parsed ? S_OK : S_FALSE;
  });
}

HRESULT DocumentObject::raw_save(VARIANT destination) {
  return Guarded([&]() -> HRESULT {
    const bool toFile = destination.vt == VT_BSTR && SysStringLen(destination.bstrVal) > 0;
    const bool toStream = (destination.vt == VT_UNKNOWN || destination.vt == VT_DISPATCH) && destination.punkVal;
    if (!toFile && !toStream) return Fail(E_INVALIDARG, L"Save needs a file name or a stream.");
    if (toStream) {
      IStreamPtr stream(destination.punkVal);
      if (!stream) return Fail(E_INVALIDARG, L"The object to save to is not a stream.");
      return SaveToStream(stream);
    }
    ByteBuffer bytes;
    const HRESULT hr = SerializeDocument(*main_, preserveWhiteSpace_ != VARIANT_FALSE, bytes);
    return FAILED(hr) ? hr : SaveFileAtomically(destination.bstrVal, bytes.View());
  });
}

HRESULT DocumentObject::get_validateOnParse(VARIANT_BOOL* out) { return GetFlag(validateOnParse_, out); }
HRESULT DocumentObject::put_validateOnParse(VARIANT_BOOL value) { return PutFlag(validateOnParse_, value); }
HRESULT DocumentObject::get_resolveExternals(VARIANT_BOOL* out) { return GetFlag(resolveExternals_, out); }
HRESULT DocumentObject::put_resolveExternals(VARIANT_BOOL value) { return PutFlag(resolveExternals_, value); }
HRESULT DocumentObject::get_preserveWhiteSpace(VARIANT_BOOL* out) { return GetFlag(preserveWhiteSpace_, out); }
HRESULT DocumentObject::put_preserveWhiteSpace(VARIANT_BOOL value) { return PutFlag(preserveWhiteSpace_, value); }

HRESULT DocumentObject::raw_setProperty(BSTR name, VARIANT value) {
  return Guarded([&]() -> HRESULT {
    const std::wstring key(name ? name : L"", SysStringLen(name));
    if (key == L"SelectionLanguage") {
      if (value.vt != VT_BSTR ||
          VormCompareNoCase(std::wstring_view(value.bstrVal, SysStringLen(value.bstrVal)), L"XPath") != 0)
        return Fail(E_FAIL, L"Only XPath is supported as the selection language.");
      return S_OK;
    }
    if (key == L"ResolveExternals") return put_resolveExternals(IsTrue(value) ? VARIANT_TRUE : VARIANT_FALSE);
    if (key == L"ValidateOnParse") return put_validateOnParse(IsTrue(value) ? VARIANT_TRUE : VARIANT_FALSE);
    static const wchar_t* const kKept[] = {L"SelectionNamespaces",   L"ProhibitDTD",     L"NewParser",
                                           L"AllowDocumentFunction", L"AllowXsltScript", L"MaxElementDepth"};
    for (const wchar_t* kept : kKept) {
      if (key != kept) continue;
      VARIANT text;
      VariantInit(&text);
      if (FAILED(VariantChangeType(&text, &value, 0, VT_BSTR)))
        return Fail(E_INVALIDARG, L"The property value is not valid.");
      properties_[key].assign(text.bstrVal ? text.bstrVal : L"", SysStringLen(text.bstrVal));
      VariantClear(&text);
      return S_OK;
    }
    return Fail(E_INVALIDARG, L"The property name is not valid.");
  });
}

HRESULT DocumentObject::raw_getProperty(BSTR name, VARIANT* out) {
  return Guarded([&]() -> HRESULT {
    if (!out) return E_INVALIDARG;
    VariantInit(out);
    const std::wstring key(name ? name : L"", SysStringLen(name));
    auto text = [&](std::wstring_view value) {
      out->vt = VT_BSTR;
      return NewBstr(value, &out->bstrVal);
    };
    if (key == L"SelectionLanguage") return text(L"XPath");
    if (key == L"ResolveExternals" || key == L"ValidateOnParse") {
      out->vt = VT_BOOL;
      out->boolVal = key == L"ResolveExternals" ? resolveExternals_ : validateOnParse_;
      return S_OK;
    }
    auto it = properties_.find(key);
    if (it != properties_.end()) return text(it->second);
    if (key == L"SelectionNamespaces") return text(L"");
    return Fail(E_INVALIDARG, L"The property name is not valid.");
  });
}

HRESULT DocumentObject::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = CLSID_DOMDocument;
  return S_OK;
}

HRESULT DocumentObject::IsDirty() { return S_FALSE; }

HRESULT DocumentObject::Load(IStream* stream) {
  return Guarded([&]() -> HRESULT {
    if (!stream) return E_POINTER;
    std::string bytes;
    const HRESULT hr = ReadAll(stream, bytes);
    if (FAILED(hr)) {
      FailedRead(hr, std::wstring());
      return hr;
    }
    LoadBytes(std::move(bytes), false, std::wstring());
    return S_OK;
  });
}

HRESULT DocumentObject::SaveToStream(IStream* stream) {
  ByteBuffer bytes;
  const HRESULT hr = SerializeDocument(*main_, preserveWhiteSpace_ != VARIANT_FALSE, bytes);
  if (FAILED(hr)) return hr;
  // An empty memory stream takes the bytes over instead of copying them.
  const size_t size = bytes.View().size();
  char* data = bytes.Release();
  if (VormCom_details::AdoptIntoStream(stream, data, size) == S_OK) return S_OK;
  const HRESULT written = WriteAll(stream, std::string_view(data, size));
  std::free(data);
  return written;
}

HRESULT DocumentObject::Save(IStream* stream, BOOL) {
  return Guarded([&]() -> HRESULT { return stream ? SaveToStream(stream) : E_POINTER; });
}

HRESULT DocumentObject::GetSizeMax(ULARGE_INTEGER* size) {
  return Guarded([&]() -> HRESULT {
    if (!size) return E_POINTER;
    ByteBuffer bytes;
    const HRESULT hr = SerializeDocument(*main_, preserveWhiteSpace_ != VARIANT_FALSE, bytes);
    size->QuadPart = bytes.View().size();
    return hr;
  });
}

HRESULT DocumentObject::InitNew() {
  ReplaceMainTree(std::make_shared<Tree>(this, false));
  url_.clear();
  SetParseError(ParseFailure(), url_);
  return S_OK;
}

HRESULT DocumentObject::CloneDocument(bool deep, IXMLDOMNode** out) {
  auto* copy = new DocumentObject();
  copy->async_ = async_;
  copy->validateOnParse_ = validateOnParse_;
  copy->resolveExternals_ = resolveExternals_;
  copy->preserveWhiteSpace_ = preserveWhiteSpace_;
  copy->properties_ = properties_;
  copy->url_ = url_;
  if (deep) copy->main_->doc.reset(main_->doc);
  *out = copy->AsNode();
  return S_OK;
}

HRESULT CreateDocumentObject(REFIID iid, void** object) {
  auto* document = new DocumentObject();
  const HRESULT hr = document->QueryInterface(iid, object);
  document->Release();
  return hr;
}

}  // namespace VormXmlDom_details

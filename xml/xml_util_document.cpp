// VormXmlUtil: message texts and the document-level operations.
#include <vorm/platform/files.h>
#include <vorm/platform/kernel.h>
#include <vorm/platform/text.h>
#include <vorm/platform/time.h>
#include <vorm/result_codes.h>
#include <vorm/xml_util.h>

#include "xml_internal.h"

namespace VormXml_details {

CString NodeArrayComErrorText(const _com_error& error) {
  const _bstr_t description = error.Description();
  return CString(L"_com_error = ") + (description.length() > 0
                                          ? CString(static_cast<const wchar_t*>(description))
                                          : CString(L"No IErrorInfo recorded - Error is undefined!"));
}

CString ComErrorText(const _com_error& error) {
  const _bstr_t description = error.Description();
  return CString(L"COM Error:") + L"\n" + CString(!description ? L"" : static_cast<const wchar_t*>(description));
}

}  // namespace VormXml_details

using VormXml_details::Guard;
using VormXml_details::kLoadCatch;
using VormXml_details::ThrowUnlessOk;

CString VormXmlUtil::HResultText(HRESULT hr) {
  wchar_t buffer[260];
  _snwprintf(buffer, 260, L"HRESULT = 0x%08X ", static_cast<DWORD>(hr));
  buffer[259] = L'\0';
  CString text(buffer);
  text += L".\n";
  text += L"\t";
  wchar_t* message = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
                     nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  if (length > 0 && message) text += message;
  LocalFree(message);
  return text;
}

CString VormXmlUtil::LocalTimeText(const wchar_t* format) {
  return VormXml_details::LocalTimeText(_time64(nullptr), format);
}

BOOL VormXmlUtil::FileExists(const CString& path) { return _waccess(path, 0) != -1; }

BOOL VormXmlUtil::LoadDocument(const CString& XMLFullFilename, IXMLDOMDocument2Ptr pDoc) {
  CString message = L"E_FAIL";
  BOOL result = FALSE;
  Guard(message, kLoadCatch, [&] {
    if (XMLFullFilename.IsEmpty()) {
      message = L"XMLFullFilename is empty!";
    } else if (!pDoc) {
      message = L"pDoc is NULL!";
    } else {
      VARIANT_BOOL loaded = VARIANT_FALSE;
      const HRESULT hr = pDoc->raw_load(_variant_t(static_cast<const wchar_t*>(XMLFullFilename)), &loaded);
      if (hr == 0 && loaded) {
        message = L"OK";
        result = TRUE;
      } else if (hr == 0) {
        message = L"pDoc->load failed!";
      } else {
        message = CString(L"Exception on pDoc->raw_load of file:\n") + XMLFullFilename + L"\n" + HResultText(hr);
      }
    }
  });
  ThrowUnlessOk(message);
  return result;
}

BOOL VormXmlUtil::SaveDocument(const CString& XMLFullFilename, IXMLDOMDocument2Ptr pDoc) {
  CString message = L"E_FAIL";
  BOOL result = FALSE;
  if (XMLFullFilename.IsEmpty()) {
    message = L"XMLFullFilename is empty!";
  } else if (!pDoc) {
    message = L"pDoc is NULL!";
  } else {
    const HRESULT hr = pDoc->save(_variant_t(static_cast<const wchar_t*>(XMLFullFilename)));
    if (hr != 0) {
      message = HResultText(hr);
    } else {
      message = L"OK";
      result = TRUE;
    }
  }
  ThrowUnlessOk(message);
  return result;
}

IXMLDOMElementPtr VormXmlUtil::OpenOrCreateDocument(IXMLDOMDocument2Ptr pDoc, const CString& XMLFullFilename,
                                                    const CStringArray& processingInstructions,
                                                    const CStringArray& rootDefinition, BOOL overwrite) {
  IXMLDOMElementPtr root;
  CString message = L"E_FAIL";
  auto finish = [&]() -> IXMLDOMElementPtr {
    ThrowUnlessOk(message);
    return root;
  };
  if (FileExists(XMLFullFilename)) {
    if (!overwrite) {
      LoadDocument(XMLFullFilename, pDoc);
      message = L"OK";
      return finish();
    }
    if (_wremove(XMLFullFilename) != 0) {
      message = CString(L"Removal of file failed!\nFile =") + L" " + XMLFullFilename;
      return finish();
    }
  }
  if (!pDoc) {
    message = L"pDoc is NULL!";
    return finish();
  }
  bool xmlInstruction = false;
  for (int i = 0; i + 1 < processingInstructions.GetSize(); i += 2) {
    const CString& target = processingInstructions[i];
    const CString& data = processingInstructions[i + 1];
    if (target.IsEmpty() || data.IsEmpty()) continue;
    IXMLDOMProcessingInstructionPtr instruction = pDoc->createProcessingInstruction(
        _bstr_t(static_cast<const wchar_t*>(target)), _bstr_t(static_cast<const wchar_t*>(data)));
    if (!instruction) continue;
    if (pDoc->appendChild(instruction) && target == L"xml") xmlInstruction = true;
  }
  if (!xmlInstruction) {
    message = L"bXmlInstruction is FALSE!";
    return finish();
  }
  if (rootDefinition.GetSize() > 0 && !rootDefinition[0].IsEmpty()) {
    IXMLDOMElementPtr element = pDoc->createElement(_bstr_t(static_cast<const wchar_t*>(rootDefinition[0])));
    root = pDoc->appendChild(element);
    for (int i = 1; root && i < rootDefinition.GetSize(); ++i) {
      const CString& entry = rootDefinition[i];
      const int equals = entry.Find(L'=');
      if (equals < 0) continue;
      CString name = entry.Left(equals);
      CString value = entry.Mid(equals + 1);
      name.Trim();
      value.Trim();
      if (name.IsEmpty() || value.IsEmpty()) continue;
      try {
        AddAttribute(pDoc, root, name, value);
      } catch (const CString&) {
        // a refused attribute does not stop the others
      }
    }
  }
  if (root) {
    SaveDocument(XMLFullFilename, pDoc);
    message = L"OK";
  } else {
    message = L"pAppendedNode is NULL!";
  }
  return finish();
}

HRESULT VormXmlUtil::LoadFromURL(const CString& url, IXMLDOMDocument2Ptr pDoc) {
  IStreamPtr stream;
  HRESULT hr = URLOpenBlockingStreamW(nullptr, url, 0, nullptr, &stream);
  if (FAILED(hr)) return hr;
  IPersistStreamInitPtr persist(pDoc);
  if (!persist) return E_POINTER;
  hr = persist->Load(stream);
  if (FAILED(hr)) return hr;
  VormXml_details::PumpUntilComplete(pDoc, true);
  IXMLDOMParseError* error = nullptr;
  hr = pDoc->get_parseError(&error);
  if (FAILED(hr) || !error) return FAILED(hr) ? hr : E_FAIL;
  IXMLDOMParseErrorPtr holder(error, false);
  LONG code = 0, line = 0, position = 0;
  BSTR text = nullptr;
  hr = error->get_errorCode(&code);
  if (SUCCEEDED(hr)) hr = error->get_line(&line);
  if (SUCCEEDED(hr)) hr = error->get_linepos(&position);
  if (SUCCEEDED(hr)) hr = error->get_url(&text);
  SysFreeString(text);
  text = nullptr;
  if (SUCCEEDED(hr)) hr = error->get_reason(&text);
  SysFreeString(text);
  // A document that does not parse is reported as its parse error, not as success.
  return SUCCEEDED(hr) && code != 0 ? code : hr;
}

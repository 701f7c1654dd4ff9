// CoCreateInstance for the classes this layer serves, and OleRun.
#include <vorm/platform/com.h>
#include <vorm/platform/xmldom.h>

#include "platform/com/com_internal.h"
#include "platform/xmldom/dom_factory.h"

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, LPVOID* object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!VormCom_details::ThreadInitialized()) return CO_E_NOTINITIALIZED;
  if (outer) return CLASS_E_NOAGGREGATION;
  const bool document = clsid == CLSID_DOMDocument || clsid == CLSID_DOMDocument30 || clsid == CLSID_DOMDocument60;
  if (!document || !(context & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
  return VormXmlDom_details::CreateDocumentObject(iid, object);
}

HRESULT OleRun(IUnknown* object) { return object ? S_OK : E_INVALIDARG; }

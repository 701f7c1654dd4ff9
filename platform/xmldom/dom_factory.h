// Internal: the factory CoCreateInstance calls for the DOM document classes.
#pragma once

#include <vorm/platform/com.h>

namespace VormXmlDom_details {

// A new document answering `iid`: S_OK or E_NOINTERFACE (*object null).
HRESULT CreateDocumentObject(REFIID iid, void** object);

}  // namespace VormXmlDom_details

// Internal pieces shared by the XML component's files.
#pragma once

#include <vorm/platform/cstring.h>
#include <vorm/platform/time.h>
#include <vorm/platform/xmldom.h>

namespace VormXml_details {

// The texts a caught _com_error becomes: in the node-array operations
// ("_com_error = " + description, or the text for a missing description) and elsewhere
// ("COM Error:\n" + description).
CString NodeArrayComErrorText(const _com_error& error);
CString ComErrorText(const _com_error& error);

// `time` in local time formatted by wcsftime into 128 characters; "" when it cannot be
// converted or does not fit.
CString LocalTimeText(__time64_t time, const wchar_t* format);

// Dispatches the thread's messages until `readyState` (the document's) is 4; with
// `stopOnFailure` a failing read of readyState ends the wait, otherwise it raises. Then
// dispatches what is still queued, leaving a quit message for the caller's own loop.
void PumpUntilComplete(IXMLDOMDocument2Ptr document, bool stopOnFailure);

}  // namespace VormXml_details

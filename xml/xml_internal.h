// Internal pieces shared by the XML component's files.
#pragma once

#include <vorm/platform/cstring.h>
#include <vorm/platform/time.h>
#include <vorm/platform/xmldom.h>
#include <vorm/result_codes.h>

namespace VormXml_details {

// The texts a caught _com_error becomes: in the node-array operations
// ("_com_error = " + description, or the text for a missing description) and elsewhere
// ("COM Error:\n" + description).
CString NodeArrayComErrorText(const _com_error& error);
CString ComErrorText(const _com_error& error);

// What a guarded operation turns the exceptions it catches into (see xml_util.h).
struct Catching {
  bool comError;            // _com_error: the texts above
  bool nodeArrayText;       // "_com_error = ..." rather than "COM Error:\n..."
  const wchar_t* ellipsis;  // the text for VormEllipsis; null lets it pass
  bool nested;              // a CString thrown by a nested operation becomes the message
};
inline constexpr Catching kNodeArrayCatch{true, true, L"Unhandled Exception!", false};
inline constexpr Catching kNodeArrayNestedCatch{true, true, L"Unhandled Exception!", true};
inline constexpr Catching kLoadCatch{true, false, L"Unhandled Exception!", false};
inline constexpr Catching kAttributeCatch{true, false, L"Unhandled Exception.", true};
inline constexpr Catching kNestedCatch{false, false, nullptr, true};

// Runs `body`; a caught exception becomes `message`, others pass through.
template <class Body>
void Guard(CString& message, const Catching& catching, Body body) {
  try {
    body();
  } catch (const _com_error& error) {
    if (!catching.comError) throw;
    message = catching.nodeArrayText ? NodeArrayComErrorText(error) : ComErrorText(error);
  } catch (const VormEllipsis&) {
    if (!catching.ellipsis) throw;
    message = catching.ellipsis;
  } catch (const CString& nested) {
    if (!catching.nested) throw;
    message = nested;
  }
}

// The end of every operation: anything but "OK" is thrown.
inline void ThrowUnlessOk(const CString& message) {
  if (message != L"OK") throw message;
}

// `time` in local time formatted by wcsftime into 128 characters; "" when it cannot be
// converted or does not fit.
CString LocalTimeText(__time64_t time, const wchar_t* format);

// Dispatches the thread's messages until `readyState` (the document's) is 4; with
// `stopOnFailure` a failing read of readyState ends the wait, otherwise it raises. Then
// dispatches what is still queued, leaving a quit message for the caller's own loop.
void PumpUntilComplete(IXMLDOMDocument2Ptr document, bool stopOnFailure);

}  // namespace VormXml_details

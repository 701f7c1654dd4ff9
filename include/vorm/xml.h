// VormXml: one XML document of the platform DOM, loaded from a file, a URL, a stream or
// memory and saved to a file or memory, plus the node operations on any document or node:
// typed values read by XPath and written as attributes, counting, visiting and walking
// nodes, appending elements, and the root element of LandXML files.
//
// Failures: DOM calls go through the raising wrappers, so a failing one raises _com_error
// to the caller (nothing here catches it); loads return a parse error code or HRESULT
// (0 for success); missing nodes are not failures (readers give 0, false or "", writers to
// a non-element do nothing).
//
// Thread rule: an object belongs to the thread that made it. Its constructor initialises
// COM on that thread (CoInitialize, never undone), and that thread must also load, since a
// load dispatches the thread's window messages until the document is complete. The static
// operations follow the document they are given (see xmldom.h). Ownership: the object
// holds one reference to its document; GetDocument hands out more, so the document may
// outlive the object.
#pragma once

#include <vorm/export.h>
#include <vorm/platform/cstring.h>
#include <vorm/platform/xmldom.h>

// Visited node: its name, the node (a reference the callee owns while it holds the smart
// pointer), the caller's context. Answer true to go on, false to stop.
using VormXmlNodeCallback = bool (*)(const CString& name, IXMLDOMNodePtr node, void* context);

class VORM_API VormXml {
 public:
  // Stores the settings, then CreateDocument (its result is not checked: a failed
  // creation leaves GetDocument null and the loads raise E_POINTER).
  VormXml(const CString& fileName = CString(), bool async = false, bool useStream = false, bool useFileStream = false);
  virtual ~VormXml();
  VormXml(const VormXml&) = delete;
  VormXml& operator=(const VormXml&) = delete;

  // CoInitialize on this thread, then a new DOM document (CLSID_DOMDocument, run and
  // queried for IXMLDOMDocument2): its HRESULT; the document stays null on failure.
  HRESULT CreateDocument();
  IXMLDOMDocument2Ptr GetDocument() const;
  CString GetFileName() const;

  // Loads the stored file name: 0 with an empty name (nothing loaded). By name: LoadAsync
  // or LoadSync. Through a stream: a VormFileStream on the local file (E_FAIL when it
  // cannot be opened) or OpenStream's stream (its failing HRESULT), then LoadFromStream.
  // The result is 0, a parse error code (after its message box) or a failing HRESULT.
  LONG Load();
  // Stores the four settings, then Load().
  LONG Load(const CString& fileName, bool async, bool useStream, bool useFileStream);
  // 0 without doing anything for an empty name; otherwise the static Save.
  HRESULT Save(const CString& fileName);

  // The DOM's save to the file (replaced atomically, see xmldom.h); raises _com_error when
  // the save fails.
  static HRESULT Save(IXMLDOMDocument2Ptr document, const wchar_t* fileName);
  // The DOM's load by name with async true / false. A load the DOM accepts returns
  // CheckParseError (0 when clean); one it rejects (a missing file, a parse error) also
  // returns CheckParseError, so the failure is reported and its code returned.
  static LONG LoadAsync(IXMLDOMDocument2Ptr document, const wchar_t* fileName);
  static LONG LoadSync(IXMLDOMDocument2Ptr document, const wchar_t* fileName);
  // IPersistStreamInit::Load of the stream: its failing HRESULT, else WaitForReadyState and
  // CheckParseError. 0 when the document offers no IPersistStreamInit.
  static LONG LoadFromStream(IXMLDOMDocument2Ptr document, IStream* stream);
  // URLOpenBlockingStreamW of the name: a name starting exactly "http:" as it is, any other
  // made absolute first (GetFullPathNameW, 260 characters; a longer one gives
  // HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE)).
  static HRESULT OpenStream(const wchar_t* fileName, IStream** stream);
  // Dispatches this thread's messages until the document's readyState is 4, then those
  // still queued (a quit message is left in the queue for the caller's loop).
  static void WaitForReadyState(IXMLDOMDocument2Ptr document);
  // The parse error code (0 for none; E_FAIL when the document has no parse error object);
  // a non-zero code is shown first with ReportParseError.
  static LONG CheckParseError(IXMLDOMDocument2Ptr document);
  // An ownerless MB_OK message box: caption the reason, text
  // "Error on line <line>, position <column> in \"<url>\".\n", or empty when the line is 0.
  static void ReportParseError(IXMLDOMParseErrorPtr error);
  // The document as bytes (IPersistStreamInit::Save into a memory stream): *data is new[]'d
  // for the caller (delete[]), *size its length. E_POINTER for null out pointers,
  // E_OUTOFMEMORY, or the failing HRESULT of a step; 0 with nothing written when the
  // document offers no IPersistStreamInit.
  static HRESULT SaveToMemory(IXMLDOMDocument2Ptr document, BYTE** data, ULONG* size);
  // Loads bytes made by SaveToMemory (or any XML bytes): 0, a failing HRESULT, or the parse
  // error code when the bytes do not parse (no message box).
  static HRESULT LoadFromMemory(IXMLDOMDocument2Ptr document, const BYTE* data, ULONG size);
  // Whether the platform is version 5.1 or later (GetVersionExW), asked once per process.
  static BOOL IsWindowsXPOrLater();

  // Typed readers: the node that `path` (XPath) selects from `node`, its typed value
  // converted to the reader's type with VariantChangeType ('.' is the decimal separator
  // whatever the locale). A null node or no match gives "", false, 0 or 0.0; text that does
  // not convert raises _com_error (DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW).
  //   <P id="7" h="1.5"/>:  GetLong(p, L"@id") => 7   GetDouble(p, L"@h") => 1.5   GetLong(p, L"@x") => 0
  //   GetLong(p, L"@h") => 2 (rounded half to even)   GetString(p, L".") => the text
  static CString GetString(IXMLDOMNodePtr node, const CString& path);
  static bool GetBool(IXMLDOMNodePtr node, const CString& path);
  static short GetShort(IXMLDOMNodePtr node, const CString& path);
  static LONG GetLong(IXMLDOMNodePtr node, const CString& path);
  // Before version 5.1 the text is scanned as a decimal 64-bit number instead (0 when it
  // holds none).
  static LONGLONG GetInt64(IXMLDOMNodePtr node, const CString& path);
  static ULONG GetULong(IXMLDOMNodePtr node, const CString& path);
  static double GetDouble(IXMLDOMNodePtr node, const CString& path);

  // Typed writers: set the attribute `name` of `node` when it is an element (nothing
  // otherwise); the DOM stores text that the readers read back to the same value:
  // "true"/"false", decimal integers, the shortest round-trip form of a double.
  static void SetString(IXMLDOMNodePtr node, const CString& name, const CString& value);
  static void SetBool(IXMLDOMNodePtr node, const CString& name, bool value);
  static void SetShort(IXMLDOMNodePtr node, const CString& name, short value);
  static void SetLong(IXMLDOMNodePtr node, const CString& name, LONG value);
  static void SetInt64(IXMLDOMNodePtr node, const CString& name, LONGLONG value);
  static void SetULong(IXMLDOMNodePtr node, const CString& name, ULONG value);
  static void SetDouble(IXMLDOMNodePtr node, const CString& name, double value);

  // The number of nodes `path` selects from `context` (this object's document when null).
  LONG CountNodes(const CString& path, IXMLDOMNodePtr context = nullptr);
  // Calls back for each selected node in document order while the answers are true;
  // false when the callback stopped the visit, true otherwise (also for no node).
  bool ForEachSelected(const CString& path, VormXmlNodeCallback callback, void* callbackContext,
                       IXMLDOMNodePtr context = nullptr);
  // WalkNode over this object's document; true at once for a null callback.
  bool Walk(VormXmlNodeCallback callback, void* callbackContext);
  // Pre-order: the node, its attributes in map order, then each child's subtree; stops at
  // the first false answer and returns it. The document node is visited as "#document".
  // Walks any depth without recursion. `depth` is passed along only.
  //   <a x="1" y="2">t</a> => "#document", "a", "x", "y", "#text"
  static bool WalkNode(IXMLDOMNodePtr node, int depth, VormXmlNodeCallback callback, void* callbackContext);
  // A new element appended to `parent`, or to the document when `parent` is null; null
  // for a null document.
  static IXMLDOMNodePtr AppendElement(IXMLDOMDocument2Ptr document, IXMLDOMNodePtr parent, const CString& name);

  // Appends the LandXML root to the document with, in this order: xmlns, xmlns:xsi,
  // xsi:schemaLocation (the LandXML 1.0 namespace and schema), version "1.0", date
  // ("%Y-%m-%d") and time ("%H-%M-%S") of one reading of the local clock (empty when it
  // cannot be formatted), readOnly "false", language "English". Null for a null document.
  static IXMLDOMNodePtr CreateLandXMLRoot(IXMLDOMDocument2Ptr document);
  // The first node the path "LandXML" selects from the document (names match as written,
  // whatever namespace the file declares), or null (also for a null document).
  static IXMLDOMNodePtr GetLandXMLRoot(IXMLDOMDocument2Ptr document);

 private:
  IXMLDOMNodePtr ContextOrDocument(IXMLDOMNodePtr context) const;

  IXMLDOMDocument2Ptr m_pDoc;
  bool m_bAsync;
  bool m_bUseStream;
  bool m_bUseFileStream;
  CString m_FileName;
};

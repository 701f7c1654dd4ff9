// VormXmlUtil: static operations on DOM documents and nodes that report failures as
// message texts. Each operation keeps one message that starts as "E_FAIL" ("OK" for the
// three FindAllNodes operations), becomes "OK" on success or a specific text on failure,
// and is thrown as a CString when it is not "OK" at the end:
//   try { VormXmlUtil::SaveDocument(L"", doc); } catch (const CString& m) { m == L"XMLFullFilename is empty!" }
// A message thrown by a nested operation reaches the caller unchanged, except through the
// GetValuesOfAttribute family, which prefixes "Exception in GetValuesOfAttribute():\n".
// The node-array operations (FindAllNodes..., GetChildNodes, GetDocumentNodeNames) turn a
// _com_error into "_com_error = " + its description (or "No IErrorInfo recorded - Error
// is undefined!"), the load and the attribute operations into "COM Error:\n" + its
// description; a VormEllipsis becomes "Unhandled Exception!" ("Unhandled Exception." in
// the attribute operations). Other exceptions pass through, as do the _com_error of the
// operations that do not catch it.
//
// Ownership: node arrays and string arrays an operation returns are new'd for the caller,
// each node in a node array holding one reference; give node arrays back with
// ReleaseNodeArray, then delete them. When an operation throws, whatever it allocated is
// freed first. Searches and collections walk any depth without recursion.
// Thread rule: stateless; the documents and nodes follow their own rule (xmldom.h).
#pragma once

#include <vorm/export.h>
#include <vorm/platform/cstring.h>
#include <vorm/platform/ptr_array.h>
#include <vorm/platform/xmldom.h>

using VormXmlNodeArray = CTypedPtrArray<CPtrArray, IXMLDOMNode*>;

// Selects the target of the GetValuesOfAttribute family by its text, or by the value of
// one of its attributes (the forms without one select by name alone).
struct VormXmlByText {
  CString text;
};
struct VormXmlByAttribute {
  CString name;
  CString value;
};

class VORM_API VormXmlUtil {
 public:
  VormXmlUtil() = default;
  ~VormXmlUtil() = default;

  // ---- texts -------------------------------------------------------------------------
  // "HRESULT = 0x%08X " + ".\n" + "\t" + the system's text for the code (nothing after
  // the tab when there is none).
  //   HResultText(E_FAIL) => L"HRESULT = 0x80004005 .\n\tUnspecified error\r\n"
  static CString HResultText(HRESULT hr);
  // The current local time formatted with wcsftime into 128 characters; "" when the time
  // cannot be converted or the text does not fit.   LocalTimeText(L"%H-%M-%S") => L"09-05-03"
  static CString LocalTimeText(const wchar_t* format);
  // Whether `_waccess(path, 0)` finds the path.
  static BOOL FileExists(const CString& path);

  // ---- documents ---------------------------------------------------------------------
  // Messages: "XMLFullFilename is empty!", "pDoc is NULL!", "pDoc->load failed!",
  // "Exception on pDoc->raw_load of file:\n" + name + "\n" + HResultText.
  static BOOL LoadDocument(const CString& XMLFullFilename, IXMLDOMDocument2Ptr pDoc);
  // Messages: "XMLFullFilename is empty!", "pDoc is NULL!", HResultText of a non-zero
  // answer. A failing save raises _com_error to the caller.
  static BOOL SaveDocument(const CString& XMLFullFilename, IXMLDOMDocument2Ptr pDoc);
  // An existing file is loaded (null root returned) unless `overwrite`, which deletes it
  // first ("Removal of file failed!\nFile = " + name). A new document gets the processing
  // instructions (name/value pairs; pairs with an empty part are skipped; "xml" must be
  // among them: "bXmlInstruction is FALSE!"), then the root element named by the first
  // entry of `rootDefinition` with one attribute per further "name = value" entry (parts
  // trimmed; entries without '=' or with an empty part skipped), and is saved. Returns
  // the root; "pAppendedNode is NULL!" without one, "pDoc is NULL!" for a null document.
  //   instructions {L"xml", L"version=\"1.0\""}, root {L"LandXML", L" version = 1.2 "}
  //     => <?xml version="1.0"?> <LandXML version="1.2"/> written to the file
  static IXMLDOMElementPtr OpenOrCreateDocument(IXMLDOMDocument2Ptr pDoc, const CString& XMLFullFilename,
                                                const CStringArray& processingInstructions,
                                                const CStringArray& rootDefinition, BOOL overwrite);
  // Loads the URL or path (URLOpenBlockingStreamW) through IPersistStreamInit, waits for
  // the document as VormXml::WaitForReadyState does, and reads its parse error: the parse
  // error code when there is one, else the HRESULT of the last call. Throws nothing
  // itself (DOM failures raise _com_error); E_POINTER for a null document.
  static HRESULT LoadFromURL(const CString& url, IXMLDOMDocument2Ptr pDoc);

  // ---- searching a node list (first match in document order, or null) ----------------
  // With `recursive`, a node that does not match is searched below; "pNodes is NULL!".
  static IXMLDOMNodePtr FindNodeByName(IXMLDOMNodeListPtr pNodes, const CString& name, BOOL recursive);
  static IXMLDOMNodePtr FindNodeByNameAndText(IXMLDOMNodeListPtr pNodes, const CString& name, const CString& text,
                                              BOOL recursive);
  static IXMLDOMNodePtr FindNodeByNameAndAttribute(IXMLDOMNodeListPtr pNodes, const CString& name,
                                                   const CString& attributeName, const CString& attributeValue,
                                                   BOOL recursive);
  // `pairs` holds attribute name, value, name, value ...; pairs with an empty name are
  // skipped (an empty array matches on the name alone); a last name without a value is
  // ignored.
  static IXMLDOMNodePtr FindNodeByNameAndAttributes(IXMLDOMNodeListPtr pNodes, const CString& name,
                                                    const CStringArray& pairs, BOOL recursive);

  // ---- collecting nodes (new arrays, matches in document order) ------------------------
  static VormXmlNodeArray* FindAllNodesByName(IXMLDOMNodeListPtr pNodes, const CString& name, BOOL recursive);
  static VormXmlNodeArray* FindAllNodesByNameAndText(IXMLDOMNodeListPtr pNodes, const CString& name,
                                                     const CString& text, BOOL recursive);
  // Each element of the array whose name matches, then (recursive) the matches below it.
  static VormXmlNodeArray* FindAllNodesByNameInArray(VormXmlNodeArray* pNodes, const CString& name, BOOL recursive);
  // The children named `childName`, at any depth, of the first node named `targetName`.
  // Messages: "pDoc is NULL!", "pRootNodeList is NULL!", "pTargetRootNode is NULL!",
  // "pTargetRootNode->get_childNodes failed:\n" + HResultText.
  static VormXmlNodeArray* FindChildNodes(IXMLDOMDocument2Ptr pDoc, const CString& targetName,
                                          const CString& childName);
  static VormXmlNodeArray* FindChildNodesByText(IXMLDOMDocument2Ptr pDoc, const CString& targetName,
                                                const CString& childName, const CString& childText);
  static VormXmlNodeArray* FindChildNodesWithAttribute(IXMLDOMDocument2Ptr pDoc, const CString& targetName,
                                                       const CString& childName, const CString& attributeName);
  static VormXmlNodeArray* FindChildNodesByAttribute(IXMLDOMDocument2Ptr pDoc, const CString& targetName,
                                                     const CString& childName, const CString& attributeName,
                                                     const CString& attributeValue);
  // Releases every node (last first) and empties the array; null is ignored. No message.
  static void ReleaseNodeArray(VormXmlNodeArray* nodes);
  // Appends to pGrowingNodes each node of pNodesToAdd not already there by name and text
  // (by name and the named attribute's value), as the same pointer without an added
  // reference: the caller arranges which array gives the reference back.
  static void MergeNodes(VormXmlNodeArray* pNodesToAdd, VormXmlNodeArray* pGrowingNodes);
  static void MergeNodesByAttribute(VormXmlNodeArray* pNodesToAdd, VormXmlNodeArray* pGrowingNodes,
                                    const CString& AttributeName);

  // ---- reading texts ---------------------------------------------------------------------
  // The document's children; null when it has none. "pDoc is NULL!", "get_childNodes failed!".
  static IXMLDOMNodeListPtr GetChildNodes(IXMLDOMDocument2Ptr pDoc);
  // The distinct names of the node's children (recursive: of all descendants), in order of
  // first occurrence.
  static CStringArray* GetNodeNames(IXMLDOMNodePtr pNode, BOOL recursive);
  static CStringArray* GetDocumentNodeNames(IXMLDOMDocument2Ptr pDoc);
  // The attribute names in map order; "AttributesSize < 0!" for an element without any.
  static CStringArray* GetAttributeNames(IXMLDOMNodePtr pNode);
  // "" when the element (or the attribute) is missing; "DesiredAttributeName is empty!".
  static CString GetAttributeValue(IXMLDOMElementPtr pElement, const CString& DesiredAttributeName);
  static CStringArray* GetAttributeValues(VormXmlNodeArray* pNodes, const CString& DesiredAttributeName);
  // The texts of the non-null nodes; a node whose text cannot be read is left out, and the
  // array is thrown away only when the last node failed.
  static CStringArray* GetValuesOfNodes(VormXmlNodeArray* pDesiredChildNodes);
  // The children named `childName` below the target (see FindChildNodes), as the values of
  // their attribute `attributeName`, or (without it) as their texts.
  static CStringArray* GetValuesOfAttribute(IXMLDOMDocument2Ptr pDoc, const CString& targetName,
                                            const VormXmlByAttribute& target, const CString& childName,
                                            const CString& attributeName);
  static CStringArray* GetValuesOfAttribute(IXMLDOMDocument2Ptr pDoc, const CString& targetName,
                                            const VormXmlByText& target, const CString& childName,
                                            const CString& attributeName);
  static CStringArray* GetValuesOfAttribute(IXMLDOMDocument2Ptr pDoc, const CString& targetName,
                                            const CString& childName, const CString& attributeName);
  static CStringArray* GetValuesOfAttribute(IXMLDOMDocument2Ptr pDoc, const CString& targetName,
                                            const VormXmlByAttribute& target, const CString& childName);
  static CStringArray* GetValuesOfAttribute(IXMLDOMDocument2Ptr pDoc, const CString& targetName,
                                            const VormXmlByText& target, const CString& childName);
  static CStringArray* GetValuesOfAttribute(IXMLDOMDocument2Ptr pDoc, const CString& targetName,
                                            const CString& childName);
  // selectNodes(path) below the node; the valuePath text of the first item whose keyPath
  // text equals keyValue, "" when none does. No message.
  static CString LookupValue(IXMLDOMNodePtr pNode, const CString& path, const CString& keyPath, const CString& keyValue,
                             const CString& valuePath);

  // ---- creating and changing nodes ---------------------------------------------------------
  // Messages: "pDoc is NULL!", "pCreatedNode is NULL!", "pRootNode is NULL!",
  // "pAppendedNode is NULL!".
  static IXMLDOMTextPtr AppendTextNode(IXMLDOMDocument2Ptr pDoc, IXMLDOMNodePtr pRootNode, const CString& text);
  static IXMLDOMCDATASectionPtr AppendCDATASection(IXMLDOMDocument2Ptr pDoc, IXMLDOMNodePtr pRootNode,
                                                   const CString& data);
  static IXMLDOMNodePtr AppendElementNode(IXMLDOMDocument2Ptr pDoc, IXMLDOMNodePtr pRootNode, const CString& name);
  // An element in the parent's namespace ("pRootElement is NULL!" unless the parent is one).
  static IXMLDOMElementPtr AppendNamespacedElement(IXMLDOMDocument2Ptr pDoc, IXMLDOMNodePtr pRootNode,
                                                   const CString& name);
  // AppendNamespacedElement on the parent's owner document ("pDoc is NULL!",
  // "pNewElement is NULL!", "pRootNode is NULL!" for a null parent).
  static IXMLDOMElementPtr AppendChildElement(IXMLDOMNodePtr pRootNode, const CString& name);
  // createAttribute(name) then the element's setAttribute(name, value); returns the created
  // attribute node, which stays detached (the element holds its own).
  static IXMLDOMAttributePtr AddAttribute(IXMLDOMDocument2Ptr pDoc, IXMLDOMElementPtr pRootNode, const CString& name,
                                          const CString& value);
  // Sets an existing attribute, or adds it ("pDesiredAttribute is NULL!"); TRUE.
  static BOOL SetAttribute(IXMLDOMDocument2Ptr pDoc, IXMLDOMElementPtr pRootNode, const CString& name,
                           const CString& value);
  static BOOL SetAttribute(IXMLDOMElementPtr pRootNode, const CString& name, const CString& value);
  // Appends to the first node named `targetName` whose attribute has the value a text
  // node holding `text` (`newName` only seeds it). "pRootNodeList is NULL!",
  // "pTargetRootNode is NULL!", "pNewNode is NULL!", "pNewNode->put_text failed!\n" + ...
  static void AddTextToNode(IXMLDOMDocument2Ptr pDoc, const CString& targetName, const CString& attributeName,
                            const CString& attributeValue, const CString& newName, const CString& text);
};

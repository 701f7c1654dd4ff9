#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <vorm/xml.h>
#include <vorm/xml_util.h>

#include "support/temp_tree.h"
#include "support/xml_fixture.h"

namespace {

using vorm_test::ComTest;
using vorm_test::ParseDocument;
using vorm_test::SamplePath;

class XmlUtil : public ComTest {
 protected:
  vorm_test::TempTree tree_;
};

std::wstring Text(const _bstr_t& b) { return !b ? std::wstring() : std::wstring(b, b.length()); }

// The message an operation throws ("" when it throws none).
template <class F>
std::wstring MessageOf(F operation) {
  try {
    operation();
  } catch (const CString& message) {
    return message.str();
  }
  return std::wstring();
}

// Owns a node array the way callers must give it back.
struct Nodes {
  explicit Nodes(VormXmlNodeArray* a) : array(a) {}
  ~Nodes() {
    VormXmlUtil::ReleaseNodeArray(array);
    delete array;
  }
  std::vector<std::wstring> Names() const {
    std::vector<std::wstring> names;
    for (IXMLDOMNode* node : *array) names.push_back(Text(node->GetnodeName()) + L"=" + Text(node->Gettext()));
    return names;
  }
  VormXmlNodeArray* array;
};

std::vector<std::wstring> Strings(CStringArray* array) {
  std::unique_ptr<CStringArray> owned(array);
  std::vector<std::wstring> out;
  for (const CString& s : *owned) out.push_back(s.str());
  return out;
}

IXMLDOMDocument2Ptr LoadSample(const char* name) {
  IXMLDOMDocument2Ptr document = vorm_test::NewDocument();
  EXPECT_TRUE(VormXmlUtil::LoadDocument(SamplePath(name).c_str(), document));
  return document;
}

// A node list whose calls all fail without recording error information.
class FailingList final : public VormComObject<IXMLDOMNodeList> {
 public:
  HRESULT get_item(LONG, IXMLDOMNode**) override { return E_FAIL; }
  HRESULT get_length(LONG*) override { return E_FAIL; }
  HRESULT raw_nextNode(IXMLDOMNode**) override { return E_FAIL; }
  HRESULT raw_reset() override { return E_FAIL; }
};

// A node that answers only its text, with the given result.
class TextNode final : public VormComObject<IXMLDOMNode> {
 public:
  explicit TextNode(HRESULT result) : result_(result) {}
  HRESULT get_text(BSTR* text) override {
    *text = SUCCEEDED(result_) ? SysAllocString(L"read") : nullptr;
    return result_;
  }
#define VORM_UNUSED(signature) \
  HRESULT signature override { return E_NOTIMPL; }
  VORM_UNUSED(get_nodeName(BSTR*))
  VORM_UNUSED(get_nodeValue(VARIANT*))
  VORM_UNUSED(put_nodeValue(VARIANT))
  VORM_UNUSED(get_nodeType(DOMNodeType*))
  VORM_UNUSED(get_parentNode(IXMLDOMNode**))
  VORM_UNUSED(get_childNodes(IXMLDOMNodeList**))
  VORM_UNUSED(get_firstChild(IXMLDOMNode**))
  VORM_UNUSED(get_lastChild(IXMLDOMNode**))
  VORM_UNUSED(get_previousSibling(IXMLDOMNode**))
  VORM_UNUSED(get_nextSibling(IXMLDOMNode**))
  VORM_UNUSED(get_attributes(IXMLDOMNamedNodeMap**))
  VORM_UNUSED(raw_insertBefore(IXMLDOMNode*, VARIANT, IXMLDOMNode**))
  VORM_UNUSED(raw_replaceChild(IXMLDOMNode*, IXMLDOMNode*, IXMLDOMNode**))
  VORM_UNUSED(raw_removeChild(IXMLDOMNode*, IXMLDOMNode**))
  VORM_UNUSED(raw_appendChild(IXMLDOMNode*, IXMLDOMNode**))
  VORM_UNUSED(raw_hasChildNodes(VARIANT_BOOL*))
  VORM_UNUSED(get_ownerDocument(IXMLDOMDocument**))
  VORM_UNUSED(raw_cloneNode(VARIANT_BOOL, IXMLDOMNode**))
  VORM_UNUSED(get_nodeTypeString(BSTR*))
  VORM_UNUSED(put_text(BSTR))
  VORM_UNUSED(get_nodeTypedValue(VARIANT*))
  VORM_UNUSED(put_nodeTypedValue(VARIANT))
  VORM_UNUSED(get_xml(BSTR*))
  VORM_UNUSED(raw_selectNodes(BSTR, IXMLDOMNodeList**))
  VORM_UNUSED(raw_selectSingleNode(BSTR, IXMLDOMNode**))
  VORM_UNUSED(get_namespaceURI(BSTR*))
  VORM_UNUSED(get_prefix(BSTR*))
  VORM_UNUSED(get_baseName(BSTR*))
#undef VORM_UNUSED

 private:
  HRESULT result_;
};

TEST_F(XmlUtil, HResultText) {
  EXPECT_EQ(VormXmlUtil::HResultText(E_FAIL).str(), L"HRESULT = 0x80004005 .\n\tUnspecified error\r\n");
  EXPECT_EQ(VormXmlUtil::HResultText(static_cast<HRESULT>(0x8DEAD000)).str(), L"HRESULT = 0x8DEAD000 .\n\t");
}

TEST_F(XmlUtil, LoadAndSaveMessages) {
  IXMLDOMDocument2Ptr document = vorm_test::NewDocument();
  EXPECT_EQ(MessageOf([&] { VormXmlUtil::LoadDocument(L"", document); }), L"XMLFullFilename is empty!");
  EXPECT_EQ(MessageOf([&] { VormXmlUtil::LoadDocument(L"x.xml", nullptr); }), L"pDoc is NULL!");
  const std::wstring missing = tree_.wpath("missing.xml");
  EXPECT_EQ(MessageOf([&] { VormXmlUtil::LoadDocument(missing.c_str(), document); }),
            L"Exception on pDoc->raw_load of file:\n" + missing + L"\n" + VormXmlUtil::HResultText(S_FALSE).str());
  EXPECT_EQ(MessageOf([&] { VormXmlUtil::SaveDocument(L"", document); }), L"XMLFullFilename is empty!");
  EXPECT_EQ(MessageOf([&] { VormXmlUtil::SaveDocument(L"x.xml", nullptr); }), L"pDoc is NULL!");
  document->loadXML(L"<a/>");
  EXPECT_TRUE(VormXmlUtil::SaveDocument(tree_.wpath("a.xml").c_str(), document));
  EXPECT_THROW(VormXmlUtil::SaveDocument(tree_.wpath("no/such/folder.xml").c_str(), document), _com_error);
}

TEST_F(XmlUtil, OpenOrCreateDocument) {
  const std::wstring name = tree_.wpath("new.xml");
  CStringArray instructions, root;
  instructions.Add(L"xml");
  instructions.Add(L"version=\"1.0\" encoding=\"UTF-8\"");
  instructions.Add(L"style");
  instructions.Add(L"");  // empty value: skipped
  root.Add(L"LandXML");
  root.Add(L"  version =  1.2  ");
  root.Add(L"no equals sign");
  root.Add(L" = empty name");
  root.Add(L"empty value = ");
  IXMLDOMDocument2Ptr document = vorm_test::NewDocument();
  IXMLDOMElementPtr created = VormXmlUtil::OpenOrCreateDocument(document, name.c_str(), instructions, root, FALSE);
  ASSERT_TRUE(created);
  EXPECT_EQ(tree_.ReadFile("new.xml"), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<LandXML version=\"1.2\" />\n");
  // Existing, no overwrite: loaded, no root returned.
  IXMLDOMDocument2Ptr loaded = vorm_test::NewDocument();
  EXPECT_FALSE(VormXmlUtil::OpenOrCreateDocument(loaded, name.c_str(), instructions, root, FALSE));
  EXPECT_EQ(Text(loaded->GetdocumentElement()->GetnodeName()), L"LandXML");
  // Existing, overwrite: rebuilt from the definition.
  root.SetSize(1);
  IXMLDOMDocument2Ptr rebuilt = vorm_test::NewDocument();
  EXPECT_TRUE(VormXmlUtil::OpenOrCreateDocument(rebuilt, name.c_str(), instructions, root, TRUE));
  EXPECT_EQ(tree_.ReadFile("new.xml"), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<LandXML />\n");
  // Without the "xml" instruction: the others are appended, then the message.
  CStringArray others;
  others.Add(L"style");
  others.Add(L"type=\"text/xsl\"");
  IXMLDOMDocument2Ptr partial = vorm_test::NewDocument();
  EXPECT_EQ(MessageOf([&] {
              VormXmlUtil::OpenOrCreateDocument(partial, tree_.wpath("other.xml").c_str(), others, root, FALSE);
            }),
            L"bXmlInstruction is FALSE!");
  EXPECT_EQ(Text(partial->Getxml()), L"<?style type=\"text/xsl\"?>");
  // A read-only file cannot be deleted for overwriting.
  ::chmod((tree_.root() / "new.xml").c_str(), 0444);
  EXPECT_EQ(MessageOf([&] { VormXmlUtil::OpenOrCreateDocument(rebuilt, name.c_str(), instructions, root, TRUE); }),
            L"Removal of file failed!\nFile = " + name);
  CStringArray noRoot;
  EXPECT_EQ(MessageOf([&] {
              VormXmlUtil::OpenOrCreateDocument(vorm_test::NewDocument(), tree_.wpath("none.xml").c_str(), instructions,
                                                noRoot, FALSE);
            }),
            L"pAppendedNode is NULL!");
}

TEST_F(XmlUtil, SearchesArePreOrderAndFirstMatchWins) {
  IXMLDOMDocument2Ptr document = ParseDocument(L"<r><a><b><x>deep</x></b></a><x>shallow</x><y k='1' j='2'>t</y></r>");
  IXMLDOMNodeListPtr children = document->GetdocumentElement()->GetchildNodes();
  EXPECT_EQ(Text(VormXmlUtil::FindNodeByName(children, L"x", TRUE)->Gettext()), L"deep");
  EXPECT_EQ(Text(VormXmlUtil::FindNodeByName(children, L"x", FALSE)->Gettext()), L"shallow");
  EXPECT_FALSE(VormXmlUtil::FindNodeByName(children, L"z", TRUE));
  EXPECT_TRUE(VormXmlUtil::FindNodeByNameAndText(children, L"x", L"shallow", TRUE));
  EXPECT_TRUE(VormXmlUtil::FindNodeByNameAndAttribute(children, L"y", L"k", L"1", FALSE));
  EXPECT_FALSE(VormXmlUtil::FindNodeByNameAndAttribute(children, L"y", L"k", L"2", FALSE));
  CStringArray pairs;
  EXPECT_TRUE(VormXmlUtil::FindNodeByNameAndAttributes(children, L"y", pairs, FALSE));  // name alone
  pairs.Add(L"k");
  pairs.Add(L"1");
  pairs.Add(L"");
  pairs.Add(L"ignored");
  pairs.Add(L"j");
  EXPECT_TRUE(VormXmlUtil::FindNodeByNameAndAttributes(children, L"y", pairs, FALSE));  // the lone "j" is ignored
  pairs.Add(L"3");
  EXPECT_FALSE(VormXmlUtil::FindNodeByNameAndAttributes(children, L"y", pairs, FALSE));
  EXPECT_EQ(MessageOf([] { VormXmlUtil::FindNodeByName(nullptr, L"x", TRUE); }), L"pNodes is NULL!");
  Nodes all(VormXmlUtil::FindAllNodesByName(children, L"x", TRUE));
  EXPECT_EQ(all.Names(), (std::vector<std::wstring>{L"x=deep", L"x=shallow"}));
  Nodes inArray(VormXmlUtil::FindAllNodesByNameInArray(all.array, L"x", TRUE));
  EXPECT_EQ(inArray.array->GetSize(), 2);
  Nodes none(VormXmlUtil::FindAllNodesByNameAndText(children, L"x", L"nothing", TRUE));
  EXPECT_EQ(none.array->GetSize(), 0);  // an empty collection is no failure
}

TEST_F(XmlUtil, SearchingADeepDocumentNeedsNoRecursion) {
  constexpr int kDepth = 200000;
  const std::wstring xml = vorm_test::NestedElements(kDepth, L"<target/>");
  IXMLDOMDocument2Ptr document = ParseDocument(xml.c_str());
  EXPECT_TRUE(VormXmlUtil::FindNodeByName(VormXmlUtil::GetChildNodes(document), L"target", TRUE));
  EXPECT_EQ(Strings(VormXmlUtil::GetDocumentNodeNames(document)), (std::vector<std::wstring>{L"a", L"target"}));
  Nodes found(VormXmlUtil::FindAllNodesByName(VormXmlUtil::GetChildNodes(document), L"a", TRUE));
  EXPECT_EQ(found.array->GetSize(), kDepth);
}

TEST_F(XmlUtil, ChildNodeFamiliesOnTheSamples) {
  IXMLDOMDocument2Ptr tin = LoadSample("tin-small.xml");
  Nodes points(VormXmlUtil::FindChildNodes(tin, L"Pnts", L"P"));
  EXPECT_EQ(points.array->GetSize(), 17);
  Nodes withId(VormXmlUtil::FindChildNodesWithAttribute(tin, L"Pnts", L"P", L"id"));
  EXPECT_EQ(withId.array->GetSize(), 17);
  Nodes third(VormXmlUtil::FindChildNodesByAttribute(tin, L"Pnts", L"P", L"id", L"3"));
  ASSERT_EQ(third.array->GetSize(), 1);
  const std::wstring text = Text(third.array->GetAt(0)->Gettext());
  Nodes byText(VormXmlUtil::FindChildNodesByText(tin, L"Pnts", L"P", text.c_str()));
  EXPECT_EQ(byText.array->GetSize(), 1);
  const std::vector<std::wstring> ids = Strings(VormXmlUtil::GetValuesOfAttribute(tin, L"Pnts", L"P", L"id"));
  ASSERT_EQ(ids.size(), 17u);
  EXPECT_EQ(ids.front(), L"1");
  EXPECT_EQ(Strings(VormXmlUtil::GetValuesOfAttribute(tin, L"Pnts", L"P"))[2], text);

  IXMLDOMDocument2Ptr subdivision = LoadSample("subdivision.xml");
  EXPECT_EQ(Strings(VormXmlUtil::GetValuesOfAttribute(subdivision, L"Surface", VormXmlByAttribute{L"name", L"FG"}, L"P",
                                                      L"id"))
                .size(),
            2716u);
  EXPECT_EQ(
      Strings(VormXmlUtil::GetValuesOfAttribute(subdivision, L"Surface", VormXmlByAttribute{L"name", L"EG"}, L"F"))
          .size(),
      1284u);
  const std::wstring firstCode =
      Strings(VormXmlUtil::GetValuesOfAttribute(subdivision, L"CgPoints", L"CgPoint", L"code"))[0];
  EXPECT_EQ(firstCode, L"PCOR");
  // Found by its text (else the message would be "pTargetRootNode is NULL!"), it has no such child.
  EXPECT_EQ(MessageOf([&] {
              VormXmlUtil::GetValuesOfAttribute(subdivision, L"CgPoint",
                                                VormXmlByText{L"1145.99755444 -626.27773323 0.000000"}, L"x", L"y");
            }),
            L"Exception in GetValuesOfAttribute():\nDesiredChildNodesLen = 0!");
}

TEST_F(XmlUtil, FamilyMessages) {
  IXMLDOMDocument2Ptr tin = LoadSample("tin-small.xml");
  EXPECT_EQ(MessageOf([&] { VormXmlUtil::FindChildNodes(nullptr, L"Pnts", L"P"); }), L"pDoc is NULL!");
  EXPECT_EQ(MessageOf([&] { VormXmlUtil::FindChildNodes(vorm_test::NewDocument(), L"Pnts", L"P"); }),
            L"pRootNodeList is NULL!");
  EXPECT_EQ(MessageOf([&] { VormXmlUtil::FindChildNodes(tin, L"Nothing", L"P"); }), L"pTargetRootNode is NULL!");
  EXPECT_EQ(MessageOf([&] { VormXmlUtil::GetValuesOfAttribute(tin, L"Nothing", L"P"); }), L"pTargetRootNode is NULL!");
  // A nested operation's message comes with the family's prefix.
  EXPECT_EQ(MessageOf([&] { VormXmlUtil::GetValuesOfAttribute(tin, L"Pnts", L"Nothing"); }),
            L"Exception in GetValuesOfAttribute():\nDesiredChildNodesLen = 0!");
  EXPECT_EQ(MessageOf([&] { VormXmlUtil::GetValuesOfAttribute(nullptr, L"Pnts", L"P"); }), L"pDoc is NULL!");
}

TEST_F(XmlUtil, ComErrorsWithoutErrorInformation) {
  IXMLDOMNodeListPtr failing(new FailingList, false);
  EXPECT_EQ(MessageOf([&] { Nodes n(VormXmlUtil::FindAllNodesByName(failing, L"x", TRUE)); }),
            L"_com_error = No IErrorInfo recorded - Error is undefined!");
  // With error information the description is used.
  IXMLDOMDocument2Ptr document = ParseDocument(L"<a/>");
  try {
    document->selectNodes(L"//[");
  } catch (const _com_error& e) {
    EXPECT_FALSE(Text(e.Description()).empty());
  }
}

TEST_F(XmlUtil, ReadingTexts) {
  IXMLDOMDocument2Ptr document = ParseDocument(L"<r><a/><b x='1' y='2'><c/></b><a>t</a></r>");
  IXMLDOMNodePtr r = document->GetdocumentElement();
  EXPECT_EQ(Strings(VormXmlUtil::GetNodeNames(r, FALSE)), (std::vector<std::wstring>{L"a", L"b"}));
  EXPECT_EQ(Strings(VormXmlUtil::GetNodeNames(r, TRUE)), (std::vector<std::wstring>{L"a", L"b", L"c", L"#text"}));
  EXPECT_EQ(Strings(VormXmlUtil::GetDocumentNodeNames(document)),
            (std::vector<std::wstring>{L"r", L"a", L"b", L"c", L"#text"}));
  IXMLDOMNodePtr b = r->selectSingleNode(L"b");
  EXPECT_EQ(Strings(VormXmlUtil::GetAttributeNames(b)), (std::vector<std::wstring>{L"x", L"y"}));
  EXPECT_EQ(MessageOf([&] { VormXmlUtil::GetAttributeNames(r); }), L"AttributesSize < 0!");
  EXPECT_EQ(VormXmlUtil::GetAttributeValue(b, L"y"), L"2");
  EXPECT_EQ(VormXmlUtil::GetAttributeValue(b, L"z"), L"");
  EXPECT_EQ(MessageOf([&] { VormXmlUtil::GetAttributeValue(b, L""); }), L"DesiredAttributeName is empty!");
  EXPECT_EQ(MessageOf([] { VormXmlUtil::GetDocumentNodeNames(nullptr); }), L"pDoc is NULL!");
  EXPECT_EQ(VormXmlUtil::LookupValue(r, L"b", L"@x", L"1", L"@y"), L"2");
  EXPECT_EQ(VormXmlUtil::LookupValue(r, L"nothing", L"@x", L"1", L"@y"), L"");

  // Only the first of two nodes fails: the array comes back with the second's text.
  VormXmlNodeArray mixed;
  mixed.Add(new TextNode(E_FAIL));
  mixed.Add(new TextNode(S_OK));
  EXPECT_EQ(Strings(VormXmlUtil::GetValuesOfNodes(&mixed)), std::vector<std::wstring>{L"read"});
  std::swap(mixed[0], mixed[1]);
  EXPECT_EQ(MessageOf([&] { delete VormXmlUtil::GetValuesOfNodes(&mixed); }),
            L"Exception on CurNode->get_nodeValue():\n" + VormXmlUtil::HResultText(E_FAIL).str());
  VormXmlUtil::ReleaseNodeArray(&mixed);
  EXPECT_EQ(mixed.GetSize(), 0);
  EXPECT_EQ(MessageOf([] { VormXmlUtil::GetValuesOfNodes(nullptr); }), L"pDesiredChildNodes is NULL!");
}

TEST_F(XmlUtil, Merging) {
  IXMLDOMDocument2Ptr document = ParseDocument(L"<r><p k='1'>t</p><p k='2'>t</p><q k='1'>t</q></r>");
  Nodes ps(VormXmlUtil::FindAllNodesByName(VormXmlUtil::GetChildNodes(document), L"p", TRUE));
  Nodes growing(new VormXmlNodeArray);
  ps.array->GetAt(0)->AddRef();
  growing.array->Add(ps.array->GetAt(0));
  VormXmlUtil::MergeNodes(ps.array, growing.array);  // same name and text: nothing new
  EXPECT_EQ(growing.array->GetSize(), 1);
  VormXmlUtil::MergeNodesByAttribute(ps.array, growing.array, L"k");  // k=2 differs
  ASSERT_EQ(growing.array->GetSize(), 2);
  growing.array->GetAt(1)->AddRef();  // merged without a reference; this test's array gives one back
  EXPECT_EQ(MessageOf([&] { VormXmlUtil::MergeNodesByAttribute(ps.array, growing.array, L""); }),
            L"AttributeName is empty!");
  EXPECT_EQ(MessageOf([&] { VormXmlUtil::MergeNodes(nullptr, growing.array); }), L"pNodesToAdd is NULL!");
}

TEST_F(XmlUtil, CreatingNodesAndAttributes) {
  IXMLDOMDocument2Ptr document = ParseDocument(L"<LandXML xmlns='urn:landxml'><Pnts k='a'/></LandXML>");
  IXMLDOMNodePtr pnts = document->selectSingleNode(L"//Pnts");
  IXMLDOMElementPtr p = VormXmlUtil::AppendChildElement(pnts, L"P");
  EXPECT_EQ(Text(p->GetnamespaceURI()), L"urn:landxml");
  EXPECT_EQ(Text(pnts->Getxml()), L"<Pnts k=\"a\"><P/></Pnts>");
  VormXmlUtil::AppendTextNode(document, p, L"1 2 3");
  VormXmlUtil::AppendCDATASection(document, pnts, L"<raw>");
  EXPECT_TRUE(VormXmlUtil::AppendElementNode(document, pnts, L"Q"));
  IXMLDOMAttributePtr detached = VormXmlUtil::AddAttribute(document, p, L"id", L"7");
  EXPECT_FALSE(detached->GetparentNode());
  EXPECT_EQ(VormXmlUtil::GetAttributeValue(p, L"id"), L"7");
  EXPECT_TRUE(VormXmlUtil::SetAttribute(p, L"id", L"8"));
  EXPECT_TRUE(VormXmlUtil::SetAttribute(document, p, L"new", L"n"));
  EXPECT_EQ(Text(p->Getxml()), L"<P id=\"8\" new=\"n\">1 2 3</P>");
  VormXmlUtil::AddTextToNode(document, L"Pnts", L"k", L"a", L"seed", L"added");
  EXPECT_EQ(Text(pnts->GetlastChild()->Gettext()), L"added");
  EXPECT_EQ(MessageOf([&] { VormXmlUtil::AddTextToNode(document, L"Pnts", L"k", L"b", L"s", L"t"); }),
            L"pTargetRootNode is NULL!");
  EXPECT_EQ(MessageOf([&] { VormXmlUtil::AppendTextNode(nullptr, p, L"t"); }), L"pDoc is NULL!");
  EXPECT_EQ(MessageOf([&] { VormXmlUtil::AppendTextNode(document, nullptr, L"t"); }), L"pRootNode is NULL!");
  EXPECT_EQ(MessageOf([&] { VormXmlUtil::AppendElementNode(document, p, L"bad name"); }), L"pCreatedNode is NULL!");
  EXPECT_EQ(MessageOf([&] { VormXmlUtil::AppendNamespacedElement(document, p->GetfirstChild(), L"X"); }),
            L"pRootElement is NULL!");
  EXPECT_EQ(MessageOf([&] { VormXmlUtil::SetAttribute(nullptr, L"a", L"b"); }), L"pRootNode is NULL!");
  EXPECT_EQ(MessageOf([&] { VormXmlUtil::AddAttribute(document, p, L"bad name", L"v"); }), L"pCreatedNode is NULL!");
}

TEST_F(XmlUtil, LoadFromURL) {
  IXMLDOMDocument2Ptr document = vorm_test::NewDocument();
  EXPECT_EQ(VormXmlUtil::LoadFromURL(SamplePath("tin-small.xml").c_str(), document), S_OK);
  EXPECT_TRUE(VormXml::GetLandXMLRoot(document));
  tree_.WriteFile("bad.xml", "<a><b></a>");
  EXPECT_EQ(VormXmlUtil::LoadFromURL(tree_.wpath("bad.xml").c_str(), document), VORM_XML_E_TAG_MISMATCH);
  EXPECT_EQ(VormXmlUtil::LoadFromURL(tree_.wpath("none.xml").c_str(), document), INET_E_RESOURCE_NOT_FOUND);
}

}  // namespace

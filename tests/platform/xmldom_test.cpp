#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <vorm/platform/text.h>
#include <vorm/platform/xmldom.h>

#include "support/temp_tree.h"
#include "support/xml_fixture.h"

namespace {

using vorm_test::ComTest;
using vorm_test::NewDocument;
using vorm_test::ParseDocument;

class XmlDom : public ComTest {};

std::wstring Text(const _bstr_t& b) { return !b ? std::wstring() : std::wstring(b, b.length()); }

// Loads raw bytes through IPersistStreamInit, as VormXml's memory and stream loads do.
IXMLDOMParseErrorPtr LoadBytes(IXMLDOMDocument2Ptr document, const std::string& bytes) {
  IStreamPtr stream;
  EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
  stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr);
  LARGE_INTEGER start{};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  IPersistStreamInitPtr persist(document);
  EXPECT_EQ(persist->Load(stream), S_OK);
  return document->GetparseError();
}

std::string SaveBytes(IXMLDOMDocument2Ptr document) {
  IStreamPtr stream;
  CreateStreamOnHGlobal(nullptr, TRUE, &stream);
  EXPECT_EQ(IPersistStreamInitPtr(document)->Save(stream, TRUE), S_OK);
  STATSTG stat;
  stream->Stat(&stat, STATFLAG_NONAME);
  std::string bytes(static_cast<size_t>(stat.cbSize.QuadPart), '\0');
  LARGE_INTEGER start{};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr);
  return bytes;
}

std::string Utf16Le(const std::wstring& text) {
  std::string out = "\xFF\xFE";
  for (wchar_t c : text) out += {static_cast<char>(c & 0xFF), static_cast<char>((c >> 8) & 0xFF)};
  return out;
}

TEST_F(XmlDom, ParseErrorsCarryCodeAndCharacterPositions) {
  struct Case {
    std::string bytes;
    LONG code;
    LONG line, column;
  };
  const Case cases[] = {
      {"<a>\xC3(</a>", VORM_XML_E_INVALID_CHARACTER, 1, 4},                 // invalid UTF-8
      {"<a>\n\xC3\xA4\xC3\xA4&x;</a>", VORM_XML_E_UNDEFINED_ENTITY, 2, 3},  // columns count characters
      {"<a/>\r\n\r\n<b/>", VORM_XML_E_MULTIPLE_ROOTS, 3, 1},                // CRLF is one line break
      {"<a>&nbsp;</a>", VORM_XML_E_UNDEFINED_ENTITY, 1, 4},
      {"<a x='&lt;&bad;'/>", VORM_XML_E_UNDEFINED_ENTITY, 1, 11},
      {"<a>a & b</a>", VORM_XML_E_BAD_REFERENCE, 1, 6},
      {"<a>&#0;</a>", VORM_XML_E_BAD_REFERENCE, 1, 4},
      {"<a>\x01</a>", VORM_XML_E_INVALID_CHARACTER, 1, 4},
      {"<a x='1' x='2'/>", VORM_XML_E_DUPLICATE_ATTRIBUTE, 1, 10},
      {"<a x='<'/>", VORM_XML_E_SYNTAX, 1, 7},
      {"<a/>junk", VORM_XML_E_TOP_LEVEL, 1, 5},
      {"<!-- only -->", VORM_XML_E_MISSING_ROOT, 1, 14},
      {"<?xml version='1.0' encoding='x-no-such'?><a/>", VORM_XML_E_UNSUPPORTED_ENCODING, 1, 1},
      {"<?xml version='1.0' encoding='windows-1252'?><a>\x81</a>", VORM_XML_E_INVALID_CHARACTER, 1, 49},
      {Utf16Le(L"<a>\n\u00E4\u00E4&x;</a>"), VORM_XML_E_UNDEFINED_ENTITY, 2, 3},
      // The declaration: a version 1.x first, then only encoding and standalone, in order.
      {"<?xml version='1.0<!--' encoding='ISO-8859-1'?><a/>", VORM_XML_E_SYNTAX, 1, 1},
      {"<?xml version='2.0'?><a/>", VORM_XML_E_SYNTAX, 1, 1},
      {"<?xml encoding='UTF-8' version='1.0'?><a/>", VORM_XML_E_SYNTAX, 1, 1},
      {"<?xml version='1.0' standalone='maybe'?><a/>", VORM_XML_E_SYNTAX, 1, 1},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    IXMLDOMDocument2Ptr document = NewDocument();
    IXMLDOMParseErrorPtr error = LoadBytes(document, cases[i].bytes);
    EXPECT_EQ(error->GeterrorCode(), cases[i].code) << i;
    EXPECT_EQ(error->Getline(), cases[i].line) << i;
    EXPECT_EQ(error->Getlinepos(), cases[i].column) << i;
    EXPECT_FALSE(Text(error->Getreason()).empty()) << i;
    EXPECT_FALSE(document->GetdocumentElement()) << i;  // a failed load leaves an empty document
  }
  // Text that only looks like repeated attributes is fine.
  ParseDocument(L"<!-- x=1 x=2 --><r a='x=1' x='2'>x=3 x=4</r>");
  // Errors pugixml finds itself: code, line and the source line.
  IXMLDOMDocument2Ptr document = NewDocument();
  EXPECT_EQ(document->loadXML(L"<a>\n  <b></a>"), VARIANT_FALSE);
  IXMLDOMParseErrorPtr error = document->GetparseError();
  EXPECT_EQ(error->GeterrorCode(), VORM_XML_E_TAG_MISMATCH);
  EXPECT_EQ(error->Getline(), 2);
  EXPECT_EQ(Text(error->GetsrcText()), L"  <b></a>");
}

// Files and text are parsed where they lie (pugixml changes the text as it goes); errors
// are still located in the text as written.
TEST_F(XmlDom, ErrorPositionsDoNotDependOnHowTheTextArrived) {
  vorm_test::TempTree tree;
  const std::string inputs[] = {"<a v='x\r\ny'>x\r\ny\r\n\xC3\xA4&bad;</a>", "<a>\r\n <b x='1'\r\n x='2'/></a>",
                                "<a>\r\n\r\n <b></a>"};
  for (const std::string& input : inputs) {
    IXMLDOMDocument2Ptr byStream = NewDocument();
    IXMLDOMParseErrorPtr expected = LoadBytes(byStream, input);
    ASSERT_NE(expected->GeterrorCode(), 0) << input;
    tree.WriteFile("e.xml", input);
    IXMLDOMDocument2Ptr byFile = NewDocument();
    EXPECT_EQ(byFile->load(tree.wpath("e.xml").c_str()), VARIANT_FALSE);
    IXMLDOMDocument2Ptr byText = NewDocument();
    EXPECT_EQ(byText->loadXML(VormFromUtf8(input).c_str()), VARIANT_FALSE);
    for (IXMLDOMParseErrorPtr error : {byFile->GetparseError(), byText->GetparseError()}) {
      EXPECT_EQ(error->GeterrorCode(), expected->GeterrorCode()) << input;
      EXPECT_EQ(error->Getline(), expected->Getline()) << input;
      EXPECT_EQ(error->Getlinepos(), expected->Getlinepos()) << input;
    }
  }
  EXPECT_EQ(NewDocument()->GetparseError()->GeterrorCode(), 0);
}

// Files are checked piece by piece (256 KiB at a time) as they are read.
TEST_F(XmlDom, LargeFilesAreCheckedAcrossTheirPieces) {
  constexpr size_t kPiece = 256 * 1024;
  auto around = [](size_t at, const std::string& inner) {
    std::string text = "<r>" + std::string(at - 3, ' ') + inner + "</r>";
    return text;
  };
  const struct {
    std::string text;
    LONG code;
  } cases[] = {
      {around(kPiece - 8, "<e a='1' a='2'/>"), VORM_XML_E_DUPLICATE_ATTRIBUTE},
      {around(kPiece - 1, "\xC3\xA4"), 0},  // a character split between two pieces
      {around(kPiece + 100, "\xFF"), VORM_XML_E_INVALID_CHARACTER},
      {around(kPiece - 20, "<e a='" + std::string(100, 'x') + "<'/>"), VORM_XML_E_SYNTAX},
  };
  vorm_test::TempTree tree;
  for (const auto& c : cases) {
    tree.WriteFile("big.xml", c.text);
    IXMLDOMDocument2Ptr byFile = NewDocument();
    byFile->load(tree.wpath("big.xml").c_str());
    IXMLDOMParseErrorPtr error = byFile->GetparseError();
    EXPECT_EQ(error->GeterrorCode(), c.code);
    IXMLDOMParseErrorPtr expected = LoadBytes(NewDocument(), c.text);
    EXPECT_EQ(error->Getlinepos(), expected->Getlinepos());
  }
}

TEST_F(XmlDom, EntitiesAreNeverExpandedNorFetched) {
  std::string bomb = "<?xml version='1.0'?><!DOCTYPE lolz [<!ENTITY lol \"lol\">";
  for (int i = 1; i <= 9; ++i) {
    const std::string ref = i == 1 ? "&lol;" : "&lol" + std::to_string(i - 1) + ";";
    std::string value;
    for (int k = 0; k < 10; ++k) value += ref;
    bomb += "<!ENTITY lol" + std::to_string(i) + " \"" + value + "\">";
  }
  bomb += "]><lolz>&lol9;</lolz>";
  const auto start = std::chrono::steady_clock::now();
  IXMLDOMDocument2Ptr document = NewDocument();
  EXPECT_EQ(LoadBytes(document, bomb)->GeterrorCode(), VORM_XML_E_UNDEFINED_ENTITY);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

  // An external DTD that would define the entity is not read.
  vorm_test::TempTree tree;
  tree.WriteFile("e.dtd", "<!ENTITY e 'expanded'>");
  const std::string external = "<!DOCTYPE a SYSTEM \"file://" + tree.root().string() + "/e.dtd\"><a>&e;</a>";
  EXPECT_EQ(LoadBytes(document, external)->GeterrorCode(), VORM_XML_E_UNDEFINED_ENTITY);
  // The predefined ones and character references are.
  document = ParseDocument(L"<!DOCTYPE a><a q='&quot;&#x41;'>&lt;&amp;&#233;</a>");
  EXPECT_EQ(Text(document->GetdocumentElement()->Gettext()), L"<&\u00E9");
  EXPECT_EQ(Text(document->GetdocumentElement()->getAttribute(L"q")), L"\"A");
  EXPECT_TRUE(document->Getdoctype());
}

TEST_F(XmlDom, DeclaredEncodingsRoundTrip) {
  const struct {
    std::string bytes;
    std::wstring text;
  } cases[] = {
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<a>caf\xE9</a>", L"caf\u00E9"},
      {"<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<a>\x80 5</a>", L"\u20AC 5"},
      {Utf16Le(L"<?xml version=\"1.0\" encoding=\"UTF-16\"?><a>\u00E9\u4E2D</a>"), L"\u00E9\u4E2D"},
  };
  for (const auto& c : cases) {
    IXMLDOMDocument2Ptr document = NewDocument();
    ASSERT_EQ(LoadBytes(document, c.bytes)->GeterrorCode(), 0);
    EXPECT_EQ(Text(document->GetdocumentElement()->Gettext()), c.text);
    const std::string saved = SaveBytes(document);
    IXMLDOMDocument2Ptr again = NewDocument();
    ASSERT_EQ(LoadBytes(again, saved)->GeterrorCode(), 0);
    EXPECT_EQ(Text(again->GetdocumentElement()->Gettext()), c.text);
    EXPECT_EQ(saved.find("\xC3"), std::string::npos);  // written in the declared encoding, not UTF-8
  }
  // A character the declared encoding lacks fails the save and touches nothing.
  IXMLDOMDocument2Ptr latin = NewDocument();
  LoadBytes(latin, cases[0].bytes);
  latin->GetdocumentElement()->Puttext(L"\u20AC");
  vorm_test::TempTree tree;
  tree.WriteFile("old.xml", "old");
  EXPECT_EQ(latin->raw_save(_variant_t(tree.wpath("old.xml").c_str())), E_FAIL);
  EXPECT_EQ(tree.ReadFile("old.xml"), "old");
  // No declaration: none is added, UTF-8 is written.
  IXMLDOMDocument2Ptr plain = ParseDocument(L"<a>\u00E9</a>");
  EXPECT_EQ(SaveBytes(plain).rfind("<a>\xC3\xA9</a>", 0), 0u);
  // An instruction whose target only begins with "xml" declares nothing.
  IXMLDOMDocument2Ptr instruction = NewDocument();
  ASSERT_EQ(LoadBytes(instruction, "<?xmlish encoding='ISO-8859-1'?><a>\xC3\xA9</a>")->GeterrorCode(), 0);
  EXPECT_EQ(Text(instruction->GetdocumentElement()->Gettext()), L"\u00E9");
}

TEST_F(XmlDom, EachLoadReplacesTheTreeWhateverItsOutcomeAndHeldNodesStayReadable) {
  vorm_test::TempTree tree;
  tree.WriteFile("a.xml", "<a>first</a>");
  tree.WriteFile("b.xml", "<b>second</b>");
  tree.WriteFile("bad.xml", "<b>");
  IXMLDOMDocument2Ptr document = NewDocument();
  ASSERT_EQ(document->load(tree.wpath("a.xml").c_str()), VARIANT_TRUE);
  IXMLDOMElementPtr held = document->GetdocumentElement();
  for (const char* failing : {"missing.xml", "bad.xml"}) {
    EXPECT_EQ(document->load(tree.wpath(failing).c_str()), VARIANT_FALSE) << failing;
    EXPECT_EQ(document->GetdocumentElement(), nullptr) << failing;
    EXPECT_NE(document->GetparseError()->GeterrorCode(), 0) << failing;
  }
  ASSERT_EQ(document->load(tree.wpath("b.xml").c_str()), VARIANT_TRUE);
  EXPECT_EQ(Text(document->GetdocumentElement()->GetnodeName()), L"b");
  EXPECT_EQ(document->loadXML(L"<c/>"), VARIANT_TRUE);
  EXPECT_EQ(Text(document->GetdocumentElement()->GetnodeName()), L"c");
  EXPECT_EQ(Text(held->GetnodeName()), L"a");  // a node of the first tree, now detached
  EXPECT_EQ(Text(held->Gettext()), L"first");
}

TEST_F(XmlDom, WhitespaceIsDroppedUnlessPreserved) {
  IXMLDOMDocument2Ptr document =
      ParseDocument(L"<a>\n  <b xml:space='preserve'> <c/>\n</b>\n  <d>  x <e> y </e>  </d>\n</a>");
  IXMLDOMElementPtr a = document->GetdocumentElement();
  EXPECT_EQ(a->GetchildNodes()->Getlength(), 2);
  IXMLDOMNodePtr b = a->GetfirstChild();
  EXPECT_EQ(b->GetchildNodes()->Getlength(), 3);
  EXPECT_EQ(Text(b->Gettext()), L" \n");  // not trimmed under preserve
  EXPECT_EQ(Text(a->GetlastChild()->Gettext()), L"x  y");
  // Whitespace written as references is whitespace too, so what is saved reloads the same.
  IXMLDOMDocument2Ptr referenced = ParseDocument(L"<r>&#32;<a>&#x9;&#10;</a> <b xml:space='preserve'>&#32;</b></r>");
  EXPECT_EQ(Text(referenced->Getxml()), L"<r><a/><b xml:space=\"preserve\"> </b></r>");
  // Saved as it stands, so the preserved whitespace is exactly what reloads.
  IXMLDOMDocument2Ptr again = NewDocument();
  ASSERT_EQ(LoadBytes(again, SaveBytes(document))->GeterrorCode(), 0);
  EXPECT_EQ(Text(again->Getxml()), Text(document->Getxml()));
  // preserveWhiteSpace keeps every whitespace node.
  IXMLDOMDocument2Ptr keep = NewDocument();
  keep->PutpreserveWhiteSpace(VARIANT_TRUE);
  keep->loadXML(L"<a> <b/> </a>");
  EXPECT_EQ(keep->GetdocumentElement()->GetchildNodes()->Getlength(), 3);
}

TEST_F(XmlDom, DeepDocumentsNeedNoRecursion) {
  constexpr int kDepth = 200000;
  std::wstring xml = vorm_test::NestedElements(kDepth, L"x");
  IXMLDOMDocument2Ptr document = ParseDocument(xml.c_str());
  EXPECT_EQ(document->selectNodes(L"//a")->Getlength(), kDepth);
  EXPECT_EQ(Text(document->Gettext()), L"x");
  EXPECT_EQ(document->Getxml().length(), xml.size());
  EXPECT_EQ(SaveBytes(document), VormToUtf8(xml));  // too deep to indent
  IXMLDOMNodePtr clone = document->GetdocumentElement()->cloneNode(VARIANT_TRUE);
  IXMLDOMNodePtr removed = document->removeChild(document->GetdocumentElement());
  EXPECT_EQ(removed->selectNodes(L"descendant::a")->Getlength(), kDepth - 1);
  clone = nullptr;
  removed = nullptr;
  // Unclosed, it is a parse error, not a crash.
  xml.resize(xml.size() - 4);
  EXPECT_EQ(document->loadXML(xml.c_str()), VARIANT_FALSE);
  EXPECT_EQ(document->GetparseError()->GeterrorCode(), VORM_XML_E_TAG_MISMATCH);
}

TEST_F(XmlDom, NodesOutliveTheirPlaceInTheTree) {
  IXMLDOMDocument2Ptr document = ParseDocument(L"<r><a><b>1</b><b>2</b></a><c/></r>");
  IXMLDOMElementPtr root = document->GetdocumentElement();
  IXMLDOMNodeListPtr bs = document->selectNodes(L"//b");
  IXMLDOMNodePtr firstB = bs->Getitem(0);
  IXMLDOMNodePtr a = root->GetfirstChild();
  EXPECT_TRUE(a->GetfirstChild() == firstB);  // one object per node
  // Removing keeps the subtree and its objects usable; lists look again.
  IXMLDOMNodePtr removed = root->removeChild(a);
  EXPECT_FALSE(removed->GetparentNode());
  EXPECT_EQ(bs->Getlength(), 0);
  EXPECT_TRUE(firstB->GetparentNode() == removed);
  EXPECT_EQ(Text(firstB->Gettext()), L"1");
  // Replacing an element's text keeps the old children alive as detached nodes.
  IXMLDOMElementPtr c(root->GetlastChild());
  root->Puttext(L"new");
  EXPECT_FALSE(c->GetparentNode());
  c->setAttribute(L"k", _variant_t(L"v"));
  EXPECT_EQ(Text(c->Getxml()), L"<c k=\"v\"/>");
  // A created node is detached until inserted, then belongs where it went.
  IXMLDOMElementPtr created = document->createElement(L"n");
  created->appendChild(document->createTextNode(L"t"));
  EXPECT_FALSE(created->GetparentNode());
  removed->appendChild(created);
  EXPECT_TRUE(created->GetparentNode() == removed);
  EXPECT_EQ(Text(removed->Getxml()), L"<a><b>1</b><b>2</b><n>t</n></a>");
  // Moving into another document changes the owner.
  IXMLDOMDocument2Ptr other = NewDocument();
  other->appendChild(removed);
  EXPECT_TRUE(removed->GetownerDocument() == other);
  EXPECT_EQ(other->selectNodes(L"//b")->Getlength(), 2);
}

TEST_F(XmlDom, InsertionRulesAreEnforced) {
  IXMLDOMDocument2Ptr document = ParseDocument(L"<r><a/></r>");
  IXMLDOMElementPtr root = document->GetdocumentElement();
  IXMLDOMNodePtr a = root->GetfirstChild();
  const struct {
    IXMLDOMNode* parent;
    IXMLDOMNodePtr child;
  } refused[] = {
      {document, document->createElement(L"second")},
      {document, document->createTextNode(L"text")},
      {a, root},
      {root, document->createAttribute(L"x")},
      {root, document->createProcessingInstruction(L"xml", L"version='1.0'")},
  };
  for (const auto& r : refused) {
    IXMLDOMNode* out = nullptr;
    EXPECT_EQ(r.parent->raw_appendChild(r.child, &out), E_FAIL);
    EXPECT_EQ(out, nullptr);
  }
  try {
    document->appendChild(document->createElement(L"second"));
    FAIL();
  } catch (const _com_error& e) {
    EXPECT_EQ(Text(e.Description()), L"Only one top level element is allowed in an XML document.");
  }
  IXMLDOMElement* bad = nullptr;
  EXPECT_EQ(document->raw_createElement(_bstr_t(L"1bad"), &bad), E_INVALIDARG);
  IXMLDOMProcessingInstruction* badDeclaration = nullptr;
  EXPECT_EQ(document->raw_createProcessingInstruction(_bstr_t(L"xml"), _bstr_t(L"version='1.0&lt;'"), &badDeclaration),
            E_INVALIDARG);
  // replaceChild may swap the root element.
  document->replaceChild(document->createElement(L"new"), root);
  EXPECT_EQ(Text(document->GetdocumentElement()->GetnodeName()), L"new");
}

TEST_F(XmlDom, XPathIsXPathAndErrorsAreReported) {
  IXMLDOMDocument2Ptr document =
      ParseDocument(L"<LandXML xmlns='urn:x' xmlns:p='urn:p'><P id='1'/><P id='2'/><p:Q/></LandXML>");
  EXPECT_TRUE(document->selectSingleNode(L"LandXML"));
  EXPECT_EQ(document->selectNodes(L"LandXML/P[@id>1]")->Getlength(), 1);
  EXPECT_EQ(Text(document->selectSingleNode(L"//P/@id")->Gettext()), L"1");
  EXPECT_EQ(Text(document->selectSingleNode(L"//p:Q")->GetnamespaceURI()), L"urn:p");
  EXPECT_EQ(Text(document->GetdocumentElement()->GetnamespaceURI()), L"urn:x");
  for (const wchar_t* bad : {L"//P[", L"count(//P)", L"$undefined"}) {
    try {
      document->selectNodes(bad);
      ADD_FAILURE() << bad;
    } catch (const _com_error& e) {
      EXPECT_EQ(e.Error(), E_FAIL);
      EXPECT_FALSE(Text(e.Description()).empty());
    }
  }
  std::wstring deep(100000, L'(');
  IXMLDOMNodeList* list = nullptr;
  EXPECT_EQ(document->raw_selectNodes(_bstr_t(deep.c_str()), &list), E_FAIL);
}

TEST_F(XmlDom, NamespacedElementsCarryOnlyNeededDeclarations) {
  IXMLDOMDocument2Ptr document = ParseDocument(L"<r xmlns='urn:x'/>");
  IXMLDOMNodePtr same = document->createNode(_variant_t(1, VT_INT), L"a", L"urn:x");
  EXPECT_EQ(Text(same->GetnamespaceURI()), L"urn:x");
  document->GetdocumentElement()->appendChild(same);
  IXMLDOMNodePtr other = document->createNode(_variant_t(L"element"), L"b", L"urn:y");
  document->GetdocumentElement()->appendChild(other);
  EXPECT_EQ(Text(document->GetdocumentElement()->Getxml()), L"<r xmlns=\"urn:x\"><a/><b xmlns=\"urn:y\"/></r>");
}

TEST_F(XmlDom, ALongRunOfTabsInTextStopsIndentingWhereverItFalls) {
  // Indenting gives up at 256 tabs in a row, wherever the run falls in what is written (the
  // text before it moves the run across the writer's pieces); 255 are still indented.
  for (const size_t before : {1, 63, 255, 2047, 2048, 4095, 8191, 8192, 10000}) {
    for (const size_t tabs : {255, 256, 300}) {
      const std::wstring xml =
          L"<a><p>" + std::wstring(before, L'y') + L"</p><b>" + std::wstring(tabs, L'\t') + L"x</b></a>";
      IXMLDOMDocument2Ptr document = ParseDocument(xml.c_str());
      const std::string saved = SaveBytes(document);
      if (tabs < 256)
        EXPECT_NE(saved, VormToUtf8(xml)) << before << " " << tabs;  // indented
      else
        EXPECT_EQ(saved, VormToUtf8(xml)) << before << " " << tabs;  // as it stands
      IXMLDOMDocument2Ptr again = NewDocument();
      ASSERT_EQ(LoadBytes(again, saved)->GeterrorCode(), 0);
      EXPECT_EQ(Text(again->Getxml()), Text(document->Getxml()));
    }
  }
}

TEST_F(XmlDom, ValuesSurviveWriting) {
  IXMLDOMDocument2Ptr document = ParseDocument(L"<a><t>x&#13;y</t></a>");
  IXMLDOMElementPtr a = document->GetdocumentElement();
  const std::wstring awkward = L"line1\r\nline2\t<&\"'";
  a->setAttribute(L"v", _variant_t(awkward.c_str()));
  a->setAttribute(L"b", _variant_t(true));
  a->setAttribute(L"d", _variant_t(0.1));
  IXMLDOMDocument2Ptr again = NewDocument();
  const std::string saved = SaveBytes(document);
  ASSERT_EQ(LoadBytes(again, saved)->GeterrorCode(), 0);
  IXMLDOMElementPtr back = again->GetdocumentElement();
  EXPECT_EQ(Text(back->getAttribute(L"v")), awkward);
  // A carriage return in text is written as a reference, or a reader would make it a line
  // feed; the tree is left as it was.
  EXPECT_EQ(Text(back->GetfirstChild()->Gettext()), L"x\ry");
  EXPECT_NE(saved.find("<t>x&#13;y</t>"), std::string::npos);
  EXPECT_NE(Text(document->Getxml()).find(L"<t>x&#13;y</t>"), std::wstring::npos);
  EXPECT_EQ(Text(a->GetfirstChild()->Gettext()), L"x\ry");
  EXPECT_EQ(Text(back->getAttribute(L"b")), L"true");
  EXPECT_EQ(Text(back->getAttribute(L"d")), L"0.1");
  // A character XML cannot carry is refused at save time.
  a->setAttribute(L"bad", _variant_t(L"\x01"));
  IStreamPtr stream;
  CreateStreamOnHGlobal(nullptr, TRUE, &stream);
  EXPECT_EQ(IPersistStreamInitPtr(document)->Save(stream, TRUE), E_FAIL);
}

TEST_F(XmlDom, SavesReplaceFilesAtomically) {
  vorm_test::TempTree tree;
  tree.WriteFile("doc.xml", "old");
  tree.WriteFile("target.xml", "old target");
  ASSERT_EQ(::symlink((tree.root() / "target.xml").c_str(), (tree.root() / "link.xml").c_str()), 0);
  IXMLDOMDocument2Ptr document = ParseDocument(L"<a>new</a>");
  document->save(tree.wpath("doc.xml").c_str());
  EXPECT_EQ(tree.ReadFile("doc.xml"), "<a>new</a>\n");
  document->save(tree.wpath("link.xml").c_str());  // the link stays, its target is replaced
  EXPECT_EQ(tree.ReadFile("target.xml"), "<a>new</a>\n");
  struct stat st;
  EXPECT_EQ(::lstat((tree.root() / "link.xml").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ::chmod((tree.root() / "doc.xml").c_str(), 0444);
  EXPECT_EQ(document->raw_save(_variant_t(tree.wpath("doc.xml").c_str())), E_ACCESSDENIED);
  EXPECT_EQ(document->raw_save(_variant_t(tree.wpath("missing/doc.xml").c_str())),
            HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tree.root()), {}), 3);  // no temporary left
}

TEST_F(XmlDom, LoadFailuresEmptyTheDocument) {
  IXMLDOMDocument2Ptr document = ParseDocument(L"<a/>");
  VARIANT_BOOL loaded = VARIANT_TRUE;
  EXPECT_EQ(document->raw_load(_variant_t(L"/no/such/file.xml"), &loaded), S_FALSE);
  EXPECT_EQ(loaded, VARIANT_FALSE);
  EXPECT_EQ(document->GetparseError()->GeterrorCode(), INET_E_RESOURCE_NOT_FOUND);
  EXPECT_EQ(Text(document->GetparseError()->Geturl()), L"/no/such/file.xml");
  EXPECT_FALSE(document->GetdocumentElement());
  EXPECT_EQ(document->GetreadyState(), 4);
}

}  // namespace

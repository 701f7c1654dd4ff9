#include <cfloat>
#include <climits>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <vorm/platform/nls.h>
#include <vorm/platform/text.h>
#include <vorm/platform/window.h>
#include <vorm/xml.h>

#include "support/temp_tree.h"
#include "support/xml_fixture.h"

namespace {

using vorm_test::ComTest;
using vorm_test::MessageBoxRecorder;
using vorm_test::SamplePath;

class Xml : public ComTest {
 protected:
  vorm_test::TempTree tree_;
};

std::wstring Text(const _bstr_t& b) { return !b ? std::wstring() : std::wstring(b, b.length()); }

const char* const kSamples[] = {"alignment-bom.xml", "alignment-spirals.xml", "foreign-namespace-cgpoints.xml",
                                "subdivision.xml", "tin-small.xml"};

TEST_F(Xml, EverySampleLoadsByEveryRouteAndHasItsRoot) {
  for (const char* sample : kSamples) {
    for (int route = 0; route < 4; ++route) {
      VormXml xml(SamplePath(sample).c_str(), route == 1, route >= 2, route == 3);
      EXPECT_EQ(xml.Load(), 0) << sample << " route " << route;
      IXMLDOMNodePtr root = VormXml::GetLandXMLRoot(xml.GetDocument());
      ASSERT_TRUE(root) << sample << " route " << route;
      EXPECT_EQ(Text(root->GetnodeName()), L"LandXML");
    }
  }
  VormXml subdivision(SamplePath("subdivision.xml").c_str());
  ASSERT_EQ(subdivision.Load(), 0);
  EXPECT_EQ(subdivision.CountNodes(L"//Pnts/P"), 3429);
  EXPECT_EQ(subdivision.CountNodes(L"Pnts/P",
                                   subdivision.GetDocument()->selectSingleNode(L"//Surface[@name='EG']/Definition")),
            713);
}

TEST_F(Xml, LoadWithoutANameOrSaveWithoutOneDoesNothing) {
  VormXml xml;
  xml.GetDocument()->loadXML(L"<kept/>");
  EXPECT_EQ(xml.Load(), 0);
  EXPECT_TRUE(xml.GetDocument()->GetdocumentElement());
  EXPECT_EQ(xml.Save(L""), 0);
  EXPECT_EQ(xml.Save(tree_.wpath("out.xml").c_str()), S_OK);
  EXPECT_EQ(tree_.ReadFile("out.xml"), "<kept />\n");
}

TEST_F(Xml, ParseErrorsAreReportedOnceInABox) {
  tree_.WriteFile("bad.xml", "<a>\n  <b>\xC3\xA4</a>");
  for (int route = 0; route < 3; ++route) {
    MessageBoxRecorder boxes;
    VormXml xml(tree_.wpath("bad.xml").c_str(), route == 0, route > 0, route == 2);
    EXPECT_EQ(xml.Load(), VORM_XML_E_TAG_MISMATCH) << route;
    ASSERT_EQ(boxes.Boxes().size(), 1u) << route;
    const vorm_test::RecordedBox& box = boxes.Boxes()[0];
    EXPECT_EQ(box.caption, Text(xml.GetDocument()->GetparseError()->Getreason()));
    EXPECT_EQ(box.type, MB_OK);
    EXPECT_TRUE(box.text.rfind(L"Error on line 2, position ", 0) == 0) << box.text;
    EXPECT_EQ(box.text.back(), L'\n');
  }
  // An error without a line (the file is missing) shows an empty text.
  MessageBoxRecorder boxes;
  VormXml missing(tree_.wpath("missing.xml").c_str());
  EXPECT_EQ(missing.Load(), INET_E_RESOURCE_NOT_FOUND);
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, L"");
}

TEST_F(Xml, LoadsDispatchWaitingMessagesButLeaveAQuitRequest) {
  MSG msg;
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue
  ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0));
  PostQuitMessage(3);
  tree_.WriteFile("a.xml", "<a/>");
  VormXml xml(tree_.wpath("a.xml").c_str(), true, false, false);
  EXPECT_EQ(xml.Load(), 0);
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_QUIT);  // the posted message was taken, the quit request stays
  EXPECT_EQ(msg.wParam, 3u);
}

TEST_F(Xml, OpenStreamMakesLocalNamesAbsolute) {
  IStreamPtr stream;
  // "http:" goes to the URL moniker as it is (nothing listens on port 1) ...
  EXPECT_EQ(VormXml::OpenStream(L"http://127.0.0.1:1/x.xml", &stream), INET_E_CANNOT_CONNECT);
  // ... "HTTP:" is a local name like any other.
  EXPECT_EQ(VormXml::OpenStream(L"HTTP://127.0.0.1:1/x.xml", &stream), INET_E_RESOURCE_NOT_FOUND);
  tree_.WriteFile("a.xml", "<a/>");
  EXPECT_EQ(VormXml::OpenStream(tree_.wpath("a.xml").c_str(), &stream), S_OK);
  const std::wstring tooLong = tree_.wroot() + std::wstring(300, L'x');
  EXPECT_EQ(VormXml::OpenStream(tooLong.c_str(), &stream), HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE));
}

TEST_F(Xml, MemoryRoundTrip) {
  VormXml source(SamplePath("foreign-namespace-cgpoints.xml").c_str());
  ASSERT_EQ(source.Load(), 0);
  BYTE* data = nullptr;
  ULONG size = 0;
  ASSERT_EQ(VormXml::SaveToMemory(source.GetDocument(), &data, &size), S_OK);
  VormXml copy;
  EXPECT_EQ(VormXml::LoadFromMemory(copy.GetDocument(), data, size), S_OK);
  delete[] data;
  EXPECT_EQ(Text(copy.GetDocument()->Getxml()), Text(source.GetDocument()->Getxml()));
  const BYTE garbage[] = {'<', 'a', '>'};
  EXPECT_EQ(VormXml::LoadFromMemory(copy.GetDocument(), garbage, sizeof garbage), VORM_XML_E_TAG_MISMATCH);
  EXPECT_EQ(VormXml::SaveToMemory(source.GetDocument(), nullptr, &size), E_POINTER);
}

TEST_F(Xml, TypedValuesRoundTrip) {
  VormXml xml;
  IXMLDOMNodePtr p = VormXml::AppendElement(xml.GetDocument(), nullptr, L"P");
  for (bool value : {true, false}) {
    VormXml::SetBool(p, L"v", value);
    EXPECT_EQ(VormXml::GetBool(p, L"@v"), value);
  }
  for (short value : {short{SHRT_MIN}, short{0}, short{SHRT_MAX}}) {
    VormXml::SetShort(p, L"v", value);
    EXPECT_EQ(VormXml::GetShort(p, L"@v"), value);
  }
  for (LONG value : {LONG{INT32_MIN}, LONG{0}, LONG{INT32_MAX}}) {
    VormXml::SetLong(p, L"v", value);
    EXPECT_EQ(VormXml::GetLong(p, L"@v"), value);
  }
  for (ULONG value : {0u, UINT32_MAX}) {
    VormXml::SetULong(p, L"v", value);
    EXPECT_EQ(VormXml::GetULong(p, L"@v"), value);
  }
  ASSERT_TRUE(VormXml::IsWindowsXPOrLater());
  for (LONGLONG value : {LONGLONG{INT64_MIN}, LONGLONG{0}, LONGLONG{INT64_MAX}}) {
    VormXml::SetInt64(p, L"v", value);
    EXPECT_EQ(VormXml::GetInt64(p, L"@v"), value);
  }
  for (double value : {0.1, -1.5, DBL_MAX, -DBL_MAX, DBL_MIN, DBL_TRUE_MIN, 1.0 / 3}) {
    VormXml::SetDouble(p, L"v", value);
    EXPECT_EQ(VormXml::GetDouble(p, L"@v"), value) << Text(IXMLDOMElementPtr(p)->getAttribute(L"v"));
  }
  VormXml::SetString(p, L"s", L"\u00E4 text");
  EXPECT_EQ(VormXml::GetString(p, L"@s"), L"\u00E4 text");
  // Missing nodes give the default; text that is no number raises.
  EXPECT_EQ(VormXml::GetLong(p, L"@none"), 0);
  EXPECT_EQ(VormXml::GetLong(nullptr, L"@v"), 0);
  EXPECT_THROW(VormXml::GetLong(p, L"@s"), _com_error);
  // Writers ignore what is not an element.
  IXMLDOMNodePtr text = p->appendChild(xml.GetDocument()->createTextNode(L"t"));
  VormXml::SetLong(text, L"v", 1);
  EXPECT_EQ(Text(text->Getxml()), L"t");
}

TEST_F(Xml, GetDoubleReadsAFullStopAndLeavesTheUsersSeparatorsAlone) {
  ASSERT_TRUE(SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, L","));
  ASSERT_TRUE(SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, L"."));
  IXMLDOMDocument2Ptr document = vorm_test::ParseDocument(L"<P h='1.5'/>");
  EXPECT_EQ(VormXml::GetDouble(document->GetdocumentElement(), L"@h"), 1.5);
  wchar_t separator[4];
  GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, 4);
  EXPECT_STREQ(separator, L",");
  GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, separator, 4);
  EXPECT_STREQ(separator, L".");
  SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, L".");
  SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, L",");
}

struct Visits {
  std::vector<std::wstring> names;
  size_t stopAfter = SIZE_MAX;
};

bool Record(const CString& name, IXMLDOMNodePtr node, void* context) {
  auto* visits = static_cast<Visits*>(context);
  EXPECT_TRUE(node);
  visits->names.push_back(name.str());
  return visits->names.size() < visits->stopAfter;
}

TEST_F(Xml, WalkAndVisitOrder) {
  VormXml xml;
  xml.GetDocument()->loadXML(L"<a x='1' y='2'>t<b/></a>");
  Visits all;
  EXPECT_TRUE(xml.Walk(&Record, &all));
  EXPECT_EQ(all.names, (std::vector<std::wstring>{L"#document", L"a", L"x", L"y", L"#text", L"b"}));
  Visits stopped;
  stopped.stopAfter = 3;
  EXPECT_FALSE(xml.Walk(&Record, &stopped));
  EXPECT_EQ(stopped.names.size(), 3u);
  EXPECT_TRUE(xml.Walk(nullptr, nullptr));

  Visits selected;
  selected.stopAfter = 1;
  EXPECT_FALSE(xml.ForEachSelected(L"//@*", &Record, &selected));
  EXPECT_EQ(selected.names, std::vector<std::wstring>{L"x"});
  Visits none;
  EXPECT_TRUE(xml.ForEachSelected(L"//nothing", &Record, &none));
  EXPECT_TRUE(none.names.empty());
}

TEST_F(Xml, WalkingADeepDocumentNeedsNoRecursion) {
  constexpr int kDepth = 200000;
  const std::wstring text = vorm_test::NestedElements(kDepth);
  VormXml xml;
  ASSERT_EQ(xml.GetDocument()->loadXML(text.c_str()), VARIANT_TRUE);
  Visits visits;
  EXPECT_TRUE(xml.Walk(&Record, &visits));
  EXPECT_EQ(visits.names.size(), kDepth + 1u);
  EXPECT_EQ(xml.CountNodes(L"//a"), kDepth);
}

TEST_F(Xml, LandXMLRoot) {
  VormXml xml;
  IXMLDOMNodePtr root = VormXml::CreateLandXMLRoot(xml.GetDocument());
  ASSERT_TRUE(root);
  EXPECT_EQ(xml.GetDocument()->GetchildNodes()->Getlength(), 1);
  IXMLDOMNamedNodeMapPtr attributes = root->Getattributes();
  const wchar_t* const names[] = {L"xmlns", L"xmlns:xsi", L"xsi:schemaLocation", L"version",
                                  L"date",  L"time",      L"readOnly",           L"language"};
  ASSERT_EQ(attributes->Getlength(), 8);
  for (LONG i = 0; i < 8; ++i) EXPECT_EQ(Text(attributes->Getitem(i)->GetnodeName()), names[i]);
  // XPath does not show namespace declarations as attributes; the element does.
  IXMLDOMElementPtr element(root);
  EXPECT_EQ(Text(element->getAttribute(L"xmlns")), L"http://www.landxml.org/schema/landxml-1.0");
  EXPECT_EQ(Text(element->getAttribute(L"xmlns:xsi")), L"http://www.w3.org/2001/XMLSchema-instance");
  EXPECT_EQ(VormXml::GetString(root, L"@xsi:schemaLocation"),
            L"http://www.landxml.org/schema/LandXML-1.0 http://www.landxml.org/schema/LandXML-1.0/LandXML-1.0.xsd");
  EXPECT_TRUE(std::regex_match(VormXml::GetString(root, L"@date").str(), std::wregex(L"\\d{4}-\\d\\d-\\d\\d")));
  EXPECT_TRUE(std::regex_match(VormXml::GetString(root, L"@time").str(), std::wregex(L"\\d\\d-\\d\\d-\\d\\d")));
  EXPECT_TRUE(VormXml::GetLandXMLRoot(xml.GetDocument()) == root);
  // Saved, the attributes keep their order.
  ASSERT_EQ(xml.Save(tree_.wpath("l.xml").c_str()), S_OK);
  const std::string saved = tree_.ReadFile("l.xml");
  size_t at = 0;
  for (const char* name :
       {"xmlns=", "xmlns:xsi=", "xsi:schemaLocation=", "version=", "date=", "time=", "readOnly=", "language="}) {
    const size_t found = saved.find(name, at);
    ASSERT_NE(found, std::string::npos) << name;
    at = found;
  }
  VormXml empty;
  EXPECT_FALSE(VormXml::GetLandXMLRoot(empty.GetDocument()));
  EXPECT_FALSE(VormXml::CreateLandXMLRoot(nullptr));
}

}  // namespace

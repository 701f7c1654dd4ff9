// IsWindowsXPOrLater asks once per process, so the older platform's branch has a suite of
// its own: the version is set before any test runs.
#include <climits>

#include <gtest/gtest.h>
#include <vorm/platform/version.h>
#include <vorm/xml.h>

#include "support/xml_fixture.h"

namespace {

class OlderPlatform : public ::testing::Environment {
 public:
  void SetUp() override { VormSetReportedVersion(5, 0, 2195); }
  void TearDown() override { VormResetReportedVersion(); }
};
::testing::Environment* const kOlderPlatform = ::testing::AddGlobalTestEnvironment(new OlderPlatform);

class OlderPlatformXml : public vorm_test::ComTest {};

TEST_F(OlderPlatformXml, Int64ValuesGoThroughText) {
  EXPECT_FALSE(VormXml::IsWindowsXPOrLater());
  IXMLDOMDocument2Ptr document = vorm_test::ParseDocument(L"<P n=' 12 apples'/>");
  IXMLDOMNodePtr p = document->GetdocumentElement();
  for (LONGLONG value : {LONGLONG{INT64_MIN}, LONGLONG{-1}, LONGLONG{INT64_MAX}}) {
    VormXml::SetInt64(p, L"v", value);
    EXPECT_EQ(VormXml::GetInt64(p, L"@v"), value);
  }
  EXPECT_EQ(VormXml::GetString(p, L"@v"), L"9223372036854775807");
  EXPECT_EQ(VormXml::GetInt64(p, L"@n"), 12);  // one field scanned, the rest ignored
  VormXml::SetString(p, L"n", L"none");
  EXPECT_EQ(VormXml::GetInt64(p, L"@n"), 0);  // no number: 0, not an exception
}

}  // namespace

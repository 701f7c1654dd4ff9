// Test support for the COM, DOM and XML suites: COM initialised per test, new documents,
// the sample files, and a message-box provider that records the boxes instead of showing
// them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <vorm/platform/user.h>
#include <vorm/platform/xmldom.h>

namespace vorm_test {

// CoInitialize for the test's thread, undone afterwards.
class ComTest : public ::testing::Test {
 protected:
  void SetUp() override { CoInitialize(nullptr); }
  void TearDown() override { CoUninitialize(); }
};

// A new, empty DOM document (raises _com_error when it cannot be made).
IXMLDOMDocument2Ptr NewDocument();
// A document loaded from text; fails the test when it does not parse.
IXMLDOMDocument2Ptr ParseDocument(const wchar_t* xml);

// `depth` nested <a> elements around `inner`: <a><a>inner</a></a> for depth 2.
std::wstring NestedElements(int depth, const wchar_t* inner = L"");

// The folder of the LandXML samples, with a trailing '/'.
std::wstring SamplesFolder();
inline std::wstring SamplePath(const char* name) {
  return SamplesFolder() + std::wstring(name, name + std::char_traits<char>::length(name));
}

struct RecordedBox {
  std::wstring text;
  std::wstring caption;
  UINT type;
};

// Installs itself as the message-box provider for its lifetime, answering IDOK.
class MessageBoxRecorder {
 public:
  MessageBoxRecorder();
  ~MessageBoxRecorder();
  MessageBoxRecorder(const MessageBoxRecorder&) = delete;
  MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;
  const std::vector<RecordedBox>& Boxes() const;

 private:
  struct Provider;
  std::shared_ptr<Provider> provider_;
  std::shared_ptr<VormMessageBoxProvider> previous_;
};

}  // namespace vorm_test

#include "support/xml_fixture.h"

#include <filesystem>
#include <mutex>

#include <vorm/platform/text.h>

namespace vorm_test {

IXMLDOMDocument2Ptr NewDocument() { return IXMLDOMDocument2Ptr(CLSID_DOMDocument); }

IXMLDOMDocument2Ptr ParseDocument(const wchar_t* xml) {
  IXMLDOMDocument2Ptr document = NewDocument();
  const VARIANT_BOOL loaded = document->loadXML(xml);
  EXPECT_EQ(loaded, VARIANT_TRUE) << static_cast<const wchar_t*>(document->GetparseError()->Getreason());
  return document;
}

std::wstring NestedElements(int depth, const wchar_t* inner) {
  std::wstring xml;
  xml.reserve(static_cast<size_t>(depth) * 7 + 16);
  for (int i = 0; i < depth; ++i) xml += L"<a>";
  xml += inner;
  for (int i = 0; i < depth; ++i) xml += L"</a>";
  return xml;
}

std::wstring SamplesFolder() {
  const std::filesystem::path here(__FILE__);
  const std::filesystem::path samples = here.parent_path().parent_path().parent_path() / "data" / "samples" / "landxml";
  return VormFromUtf8(samples.string()) + L"/";
}

struct MessageBoxRecorder::Provider : VormMessageBoxProvider {
  std::mutex mutex;
  std::vector<RecordedBox> boxes;
  int Show(HWND, const wchar_t* text, const wchar_t* caption, UINT type) override {
    std::lock_guard<std::mutex> lock(mutex);
    boxes.push_back({text, caption, type});
    return IDOK;
  }
};

MessageBoxRecorder::MessageBoxRecorder()
    : provider_(std::make_shared<Provider>()), previous_(VormSetMessageBoxProvider(provider_)) {}

MessageBoxRecorder::~MessageBoxRecorder() { VormSetMessageBoxProvider(previous_); }

const std::vector<RecordedBox>& MessageBoxRecorder::Boxes() const { return provider_->boxes; }

}  // namespace vorm_test

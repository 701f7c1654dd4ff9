#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <vorm/platform/com.h>
#include <vorm/platform/cstring.h>
#include <vorm/platform/xmldom.h>

namespace {

TEST(Bstr, LengthPrefixedAndNullSafe) {
  BSTR a = SysAllocString(L"abc");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(SysStringLen(a), 3u);
  EXPECT_EQ(SysStringByteLen(a), 3u * sizeof(wchar_t));
  EXPECT_EQ(a[3], L'\0');
  BSTR nul = SysAllocStringLen(L"a\0b", 3);
  EXPECT_EQ(SysStringLen(nul), 3u);
  EXPECT_EQ(std::wmemcmp(nul, L"a\0b", 4), 0);
  BSTR blank = SysAllocStringLen(nullptr, 4);
  EXPECT_EQ(std::wmemcmp(blank, L"\0\0\0\0", 5), 0);
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysAllocStringLen(L"x", 0xFFFFFFFFu), nullptr);  // byte count beyond 32 bits
  // Reallocating from a part of itself.
  EXPECT_TRUE(SysReAllocString(&a, a + 1));
  EXPECT_STREQ(a, L"bc");
  EXPECT_FALSE(SysReAllocString(nullptr, L"x"));
  for (BSTR b : {a, nul, blank, BSTR{nullptr}}) SysFreeString(b);

  BSTR copy = CString(std::wstring(L"x\0y", 3)).AllocSysString();
  EXPECT_EQ(SysStringLen(copy), 3u);
  EXPECT_EQ(std::wmemcmp(copy, L"x\0y", 4), 0);
  SysFreeString(copy);
}

TEST(Bstr, BstrTOwnsACopy) {
  _bstr_t empty;
  EXPECT_EQ(static_cast<const wchar_t*>(empty), nullptr);
  EXPECT_TRUE(!empty);
  EXPECT_TRUE(empty == L"");
  _bstr_t a(L"ab");
  _bstr_t b = a;
  EXPECT_NE(static_cast<const wchar_t*>(a), static_cast<const wchar_t*>(b));
  b += _bstr_t(L"cd");
  EXPECT_TRUE(b == L"abcd");
  EXPECT_EQ(b.length(), 4u);
  EXPECT_TRUE(a == L"ab");
  BSTR raw = b.Detach();
  EXPECT_TRUE(!b);
  _bstr_t adopted(raw, false);
  EXPECT_EQ(static_cast<const wchar_t*>(adopted), raw);
  SysReAllocString(adopted.GetAddress(), L"new");
  EXPECT_TRUE(adopted == L"new");
}

TEST(Guid, TextForms) {
  const GUID id = IID_IErrorInfo;
  LPOLESTR text = nullptr;
  ASSERT_EQ(StringFromCLSID(id, &text), S_OK);
  EXPECT_STREQ(text, L"{1CF2B120-547D-101B-8E65-08002B2BD119}");
  CoTaskMemFree(text);
  wchar_t buffer[39];
  EXPECT_EQ(StringFromGUID2(IID_IUnknown, buffer, 39), 39);
  EXPECT_STREQ(buffer, L"{00000000-0000-0000-C000-000000000046}");
}

// Counts live objects so reference leaks show.
std::atomic<int> g_live{0};

struct ITestThing : IUnknown {
  static constexpr IID kIid = {0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};
  virtual int Value() = 0;
};

class Thing : public VormComObject<ITestThing> {
 public:
  Thing() { ++g_live; }
  ~Thing() override { --g_live; }
  int Value() override { return 7; }
};

TEST(ComObject, ReferenceCountingAndQueryInterface) {
  ITestThing* thing = new Thing;
  EXPECT_EQ(g_live, 1);
  IUnknown* unknown = nullptr;
  EXPECT_EQ(thing->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  void* other = reinterpret_cast<void*>(1);
  EXPECT_EQ(thing->QueryInterface(IID_IErrorInfo, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(thing->QueryInterface(ITestThing::kIid, nullptr), E_POINTER);
  // AddRef/Release from several threads at once.
  std::thread t([&] {
    for (int i = 0; i < 1000; ++i) thing->AddRef(), thing->Release();
  });
  for (int i = 0; i < 1000; ++i) unknown->AddRef(), unknown->Release();
  t.join();
  EXPECT_EQ(unknown->Release(), 1u);
  EXPECT_EQ(thing->Release(), 0u);
  EXPECT_EQ(g_live, 0);
}

IErrorInfo* NewErrorInfo(const wchar_t* description, const wchar_t* source) {
  ICreateErrorInfo* create = nullptr;
  EXPECT_EQ(CreateErrorInfo(&create), S_OK);
  create->SetDescription(const_cast<wchar_t*>(description));
  create->SetSource(const_cast<wchar_t*>(source));
  IErrorInfo* info = nullptr;
  EXPECT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
  create->Release();
  return info;
}

TEST(ComError, HoldsItsErrorObjectAndDescribesIt) {
  IErrorInfo* info = NewErrorInfo(L"Bad node", L"xml");
  info->AddRef();  // one reference kept here to watch the count
  {
    _com_error error(E_FAIL, info);  // takes over the creator's reference
    _com_error copy = error;
    EXPECT_EQ(copy.Error(), E_FAIL);
    EXPECT_TRUE(copy.Description() == L"Bad node");
    EXPECT_TRUE(copy.Source() == L"xml");
    IErrorInfo* got = copy.ErrorInfo();
    EXPECT_EQ(got, info);
    got->Release();
    EXPECT_STREQ(copy.ErrorMessage(), L"Unspecified error");
  }
  EXPECT_EQ(info->Release(), 0u);  // the errors gave their references back

  EXPECT_TRUE(!_com_error(E_POINTER).Description());
  EXPECT_STREQ(_com_error(E_POINTER).ErrorMessage(), L"Invalid pointer");
  EXPECT_STREQ(_com_error(static_cast<HRESULT>(0x80040201)).ErrorMessage(), L"IDispatch error #1");
  EXPECT_STREQ(_com_error(static_cast<HRESULT>(0x8DEAD000)).ErrorMessage(), L"Unknown error 0x8DEAD000");
  EXPECT_THROW(_com_issue_error(E_ABORT), _com_error);
}

TEST(ComError, ThreadErrorObject) {
  IErrorInfo* info = NewErrorInfo(L"d", L"s");
  EXPECT_EQ(SetErrorInfo(0, info), S_OK);
  info->Release();
  IErrorInfo* got = nullptr;
  EXPECT_EQ(GetErrorInfo(0, &got), S_OK);
  EXPECT_EQ(got, info);
  EXPECT_EQ(GetErrorInfo(0, &got), S_FALSE);  // taken: the slot is empty now
  EXPECT_EQ(got, nullptr);
  EXPECT_EQ(SetErrorInfo(1, nullptr), E_INVALIDARG);
  EXPECT_EQ(info->Release(), 0u);
}

}  // namespace

namespace {

std::wstring Text(const _bstr_t& b) { return !b ? std::wstring() : std::wstring(b, b.length()); }

// Answers ITestThing only; records an error object for its failures when asked to.
class Picky final : public VormComObject<ITestThing>, public ISupportErrorInfo {
 public:
  explicit Picky(bool supportsErrorInfo) : supports_(supportsErrorInfo) {}
  ULONG AddRef() override { return VormComObject::AddRef(); }
  ULONG Release() override { return VormComObject::Release(); }
  int Value() override { return 1; }
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (iid == IID_ISupportErrorInfo && !supports_) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    if (iid == IID_ISupportErrorInfo) {
      *object = static_cast<ISupportErrorInfo*>(this);
      VormComObject::AddRef();
      return S_OK;
    }
    if (iid == IID_IErrorInfo) return E_ACCESSDENIED;  // a failure other than "no such interface"
    return VormComObject::QueryInterface(iid, object);
  }
  HRESULT InterfaceSupportsErrorInfo(REFIID iid) override { return iid == ITestThing::kIid ? S_OK : S_FALSE; }

 private:
  bool supports_;
};
_COM_SMARTPTR_TYPEDEF(ITestThing, ITestThing::kIid);

TEST(ComPtr, QueriesReleasesAndRaises) {
  ITestThingPtr thing(new Picky(true), false);
  IUnknownPtr unknown(thing);
  EXPECT_TRUE(unknown == thing);               // same object through different interfaces
  _com_ptr_t<ICreateErrorInfo> none(unknown);  // E_NOINTERFACE: simply null
  EXPECT_FALSE(none);
  EXPECT_THROW(IErrorInfoPtr{unknown}, _com_error);  // any other failure raises
  ITestThingPtr empty;
  try {
    empty->Value();
    FAIL();
  } catch (const _com_error& e) {
    EXPECT_EQ(e.Error(), E_POINTER);
  }
  ITestThing* raw = thing.Detach();
  EXPECT_FALSE(thing);
  thing.Attach(raw);
  EXPECT_EQ(thing->Value(), 1);
}

TEST(ComPtr, RaisedErrorsCarryTheObjectsErrorInfoOnlyWhenItSupportsIt) {
  for (bool supports : {true, false}) {
    ITestThingPtr thing(new Picky(supports), false);
    IErrorInfo* info = NewErrorInfo(L"described", L"src");
    SetErrorInfo(0, info);
    info->Release();
    try {
      _com_issue_errorex(E_FAIL, thing, ITestThing::kIid);
    } catch (const _com_error& e) {
      EXPECT_EQ(Text(e.Description()), supports ? L"described" : L"") << supports;
    }
    SetErrorInfo(0, nullptr);
  }
  EXPECT_EQ(VormSetErrorInfo(E_INVALIDARG, L"why"), E_INVALIDARG);
  IErrorInfo* recorded = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &recorded), S_OK);
  BSTR description = nullptr;
  recorded->GetDescription(&description);
  EXPECT_STREQ(description, L"why");
  SysFreeString(description);
  recorded->Release();
}

TEST(CoCreateInstance, NeedsAnApartmentAndAKnownClass) {
  void* object = nullptr;
  std::thread([&] {
    EXPECT_EQ(CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_ALL, IID_IUnknown, &object), CO_E_NOTINITIALIZED);
  }).join();
  CoInitialize(nullptr);
  EXPECT_EQ(CoCreateInstance(IID_IErrorInfo, nullptr, CLSCTX_ALL, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &object),
            REGDB_E_CLASSNOTREG);
  ITestThingPtr outer(new Picky(false), false);
  EXPECT_EQ(CoCreateInstance(CLSID_DOMDocument, outer, CLSCTX_ALL, IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
  ASSERT_EQ(CoCreateInstance(CLSID_DOMDocument60, nullptr, CLSCTX_ALL, IID_IXMLDOMDocument2, &object), S_OK);
  IXMLDOMDocument2Ptr document(static_cast<IXMLDOMDocument2*>(object), false);
  EXPECT_EQ(OleRun(document), S_OK);
  EXPECT_EQ(OleRun(nullptr), E_INVALIDARG);
  CoUninitialize();
}

}  // namespace

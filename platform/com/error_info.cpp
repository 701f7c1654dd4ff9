// The error object of CreateErrorInfo and the per-thread current error object.
#include <mutex>

#include <vorm/platform/com.h>

namespace {

// Both interfaces over one set of details. Details may be set and read from several
// threads (the object is shared by reference), so they are guarded.
class ErrorInfoObject final : public VormComObject<ICreateErrorInfo>, public IErrorInfo {
 public:
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (iid == IErrorInfo::kIid) {
      *object = static_cast<IErrorInfo*>(this);
      VormComObject::AddRef();
      return S_OK;
    }
    return VormComObject::QueryInterface(iid, object);
  }
  ULONG AddRef() override { return VormComObject::AddRef(); }
  ULONG Release() override { return VormComObject::Release(); }

  // ICreateErrorInfo
  HRESULT SetGUID(REFGUID guid) override {
    std::lock_guard<std::mutex> lock(mutex_);
    guid_ = guid;
    return S_OK;
  }
  HRESULT SetSource(LPOLESTR text) override { return Store(source_, text); }
  HRESULT SetDescription(LPOLESTR text) override { return Store(description_, text); }
  HRESULT SetHelpFile(LPOLESTR text) override { return Store(helpFile_, text); }
  HRESULT SetHelpContext(DWORD context) override {
    std::lock_guard<std::mutex> lock(mutex_);
    helpContext_ = context;
    return S_OK;
  }

  // IErrorInfo
  HRESULT GetGUID(GUID* guid) override {
    if (!guid) return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(mutex_);
    *guid = guid_;
    return S_OK;
  }
  HRESULT GetSource(BSTR* text) override { return Load(source_, text); }
  HRESULT GetDescription(BSTR* text) override { return Load(description_, text); }
  HRESULT GetHelpFile(BSTR* text) override { return Load(helpFile_, text); }
  HRESULT GetHelpContext(DWORD* context) override {
    if (!context) return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(mutex_);
    *context = helpContext_;
    return S_OK;
  }

 private:
  ~ErrorInfoObject() override {
    SysFreeString(source_);
    SysFreeString(description_);
    SysFreeString(helpFile_);
  }

  HRESULT Store(BSTR& slot, LPOLESTR text) {
    BSTR copy = SysAllocString(text);
    if (text && !copy) return E_OUTOFMEMORY;
    std::lock_guard<std::mutex> lock(mutex_);
    SysFreeString(slot);
    slot = copy;
    return S_OK;
  }

  HRESULT Load(BSTR slot, BSTR* text) {
    if (!text) return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(mutex_);
    *text = slot ? SysAllocStringLen(slot, SysStringLen(slot)) : nullptr;
    return (slot && !*text) ? E_OUTOFMEMORY : S_OK;
  }

  std::mutex mutex_;
  GUID guid_ = GUID_NULL;
  BSTR source_ = nullptr;
  BSTR description_ = nullptr;
  BSTR helpFile_ = nullptr;
  DWORD helpContext_ = 0;
};

// The thread's current error object; the reference is released when the thread ends.
struct ThreadErrorSlot {
  IErrorInfo* info = nullptr;
  ~ThreadErrorSlot() {
    if (info) info->Release();
  }
};
thread_local ThreadErrorSlot t_error;

}  // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** result) {
  if (!result) return E_INVALIDARG;
  *result = new ErrorInfoObject;
  return S_OK;
}

HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* info) {
  if (reserved != 0) return E_INVALIDARG;
  if (info) info->AddRef();
  IErrorInfo* old = t_error.info;
  t_error.info = info;
  if (old) old->Release();
  return S_OK;
}

HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** info) {
  if (reserved != 0 || !info) return E_INVALIDARG;
  *info = t_error.info;
  t_error.info = nullptr;
  return *info ? S_OK : S_FALSE;
}

// The stream over a global memory block (CreateStreamOnHGlobal) and its lookup.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include <vorm/platform/stream.h>

#include "platform/com/com_internal.h"

namespace {

// The block shared by a stream and its clones; freed with the last of them when asked.
struct SharedBlock {
  HGLOBAL block = nullptr;
  bool deleteOnRelease = false;
  ~SharedBlock() {
    if (deleteOnRelease && block) GlobalFree(block);
  }
};

// One thread at a time per stream; clones share the block, each keeps its own position.
class HGlobalStream final : public VormComObject<IStream, ISequentialStream> {
 public:
  explicit HGlobalStream(std::shared_ptr<SharedBlock> shared) : shared_(std::move(shared)) {}

  HGLOBAL Block() const { return shared_->block; }

  bool Adopt(void* data, size_t size) {
    if (position_ != 0 || GlobalSize(Block()) != 0 || !VormCom_details::AdoptIntoBlock(Block(), data, size))
      return false;
    position_ = size;
    return true;
  }

  HRESULT Read(void* pv, ULONG cb, ULONG* read) override {
    if (read) *read = 0;
    if (!pv) return STG_E_INVALIDPOINTER;
    const ULONGLONG size = GlobalSize(Block());
    ULONG count = 0;
    if (position_ < size && cb > 0) {
      count = static_cast<ULONG>(std::min<ULONGLONG>(cb, size - position_));
      auto* data = static_cast<unsigned char*>(GlobalLock(Block()));
      if (!data) return STG_E_READFAULT;
      std::memcpy(pv, data + position_, count);
      GlobalUnlock(Block());
      position_ += count;
    }
    if (read) *read = count;
    return S_OK;
  }

  HRESULT Write(const void* pv, ULONG cb, ULONG* written) override {
    if (written) *written = 0;
    if (!pv) return STG_E_INVALIDPOINTER;
    if (cb == 0) return S_OK;
    const ULONGLONG end = position_ + cb;
    if (end > GlobalSize(Block())) {
      ULARGE_INTEGER size;
      size.QuadPart = end;
      if (FAILED(SetSize(size))) return STG_E_MEDIUMFULL;
    }
    auto* data = static_cast<unsigned char*>(GlobalLock(Block()));
    if (!data) return STG_E_WRITEFAULT;
    std::memcpy(data + position_, pv, cb);
    GlobalUnlock(Block());
    position_ = end;
    if (written) *written = cb;
    return S_OK;
  }

  HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
    LONGLONG base;
    switch (origin) {
      case STREAM_SEEK_SET: base = 0; break;
      case STREAM_SEEK_CUR: base = static_cast<LONGLONG>(position_); break;
      case STREAM_SEEK_END: base = static_cast<LONGLONG>(GlobalSize(Block())); break;
      default: return STG_E_INVALIDFUNCTION;
    }
    if (move.QuadPart < 0 && base < -move.QuadPart) return STG_E_INVALIDFUNCTION;
    position_ = static_cast<ULONGLONG>(base + move.QuadPart);
    if (newPosition) newPosition->QuadPart = position_;
    return S_OK;
  }

  HRESULT SetSize(ULARGE_INTEGER newSize) override {
    const ULONGLONG old = GlobalSize(Block());
    if (newSize.QuadPart == old) return S_OK;
    if (newSize.QuadPart > 0xFFFFFFFFull) return STG_E_MEDIUMFULL;  // the platform's limit
    HGLOBAL grown = GlobalReAlloc(Block(), static_cast<SIZE_T>(newSize.QuadPart), GMEM_MOVEABLE | GMEM_ZEROINIT);
    if (!grown) return E_OUTOFMEMORY;
    shared_->block = grown;
    return S_OK;
  }

  HRESULT CopyTo(IStream* target, ULARGE_INTEGER cb, ULARGE_INTEGER* read, ULARGE_INTEGER* written) override {
    if (read) read->QuadPart = 0;
    if (written) written->QuadPart = 0;
    if (!target) return STG_E_INVALIDPOINTER;
    unsigned char buffer[8192];
    ULONGLONG left = cb.QuadPart;
    while (left > 0) {
      ULONG got = 0;
      Read(buffer, static_cast<ULONG>(std::min<ULONGLONG>(left, sizeof buffer)), &got);
      if (got == 0) break;
      if (read) read->QuadPart += got;
      ULONG put = 0;
      const HRESULT hr = target->Write(buffer, got, &put);
      if (written) written->QuadPart += put;
      if (FAILED(hr)) return hr;
      left -= got;
    }
    return S_OK;
  }

  HRESULT Commit(DWORD) override { return S_OK; }
  HRESULT Revert() override { return S_OK; }
  HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
  HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }

  HRESULT Stat(STATSTG* stat, DWORD) override {
    if (!stat) return STG_E_INVALIDPOINTER;
    std::memset(stat, 0, sizeof *stat);
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = GlobalSize(Block());
    return S_OK;
  }

  HRESULT Clone(IStream** clone) override {
    if (!clone) return STG_E_INVALIDPOINTER;
    auto* copy = new (std::nothrow) HGlobalStream(shared_);
    if (!copy) return E_OUTOFMEMORY;
    copy->position_ = position_;
    *clone = copy;
    return S_OK;
  }

 private:
  std::shared_ptr<SharedBlock> shared_;
  ULONGLONG position_ = 0;
};

}  // namespace

HRESULT CreateStreamOnHGlobal(HGLOBAL block, BOOL deleteOnRelease, IStream** stream) {
  if (!stream) return E_INVALIDARG;
  *stream = nullptr;
  auto shared = std::make_shared<SharedBlock>();
  shared->block = block ? block : GlobalAlloc(GMEM_MOVEABLE | GMEM_NODISCARD, 0);
  if (!shared->block) return E_OUTOFMEMORY;
  shared->deleteOnRelease = deleteOnRelease != FALSE;
  auto* created = new (std::nothrow) HGlobalStream(std::move(shared));
  if (!created) return E_OUTOFMEMORY;
  *stream = created;
  return S_OK;
}

HRESULT GetHGlobalFromStream(IStream* stream, HGLOBAL* block) {
  if (!block) return E_INVALIDARG;
  *block = nullptr;
  auto* ours = dynamic_cast<HGlobalStream*>(stream);
  if (!ours) return E_INVALIDARG;
  *block = ours->Block();
  return S_OK;
}

HRESULT VormCom_details::AdoptIntoStream(IStream* stream, void* data, size_t size) {
  auto* ours = dynamic_cast<HGlobalStream*>(stream);
  return ours && size <= 0xFFFFFFFFull && ours->Adopt(data, size) ? S_OK : S_FALSE;
}

HRESULT VormCom_details::StreamOnBytes(const void* data, size_t size, IStream** stream) {
  if (!stream) return E_INVALIDARG;
  *stream = nullptr;
  if (size > 0xFFFFFFFFull) return E_OUTOFMEMORY;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
  if (!block) return E_OUTOFMEMORY;
  if (size > 0) {
    void* p = GlobalLock(block);
    std::memcpy(p, data, size);
    GlobalUnlock(block);
  }
  const HRESULT hr = CreateStreamOnHGlobal(block, TRUE, stream);
  if (FAILED(hr)) GlobalFree(block);
  return hr;
}

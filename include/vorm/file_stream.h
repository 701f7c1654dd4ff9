// VormFileStream: a minimal, one-directional IStream over a file handle, for handing a
// local file to a DOM document's IPersistStreamInit::Load (or for writing one). Opened for
// reading, only Read works; opened for writing, only Write; every other stream operation
// answers E_FAIL. No buffering: each Read or Write is one call on the file handle.
//
// Thread rule: only the reference count is thread-safe; reads and writes from several
// threads at once are not serialised. Ownership: created with `new` (never on the
// stack) holding one reference; the last Release closes the file and deletes it.
//   auto* stream = new VormFileStream;
//   if (stream->Open(L"survey.xml", true)) persist->Load(stream);
//   stream->Release();
#pragma once

#include <vorm/export.h>
#include <vorm/platform/stream.h>

class VORM_API VormFileStream : public IStream {
 public:
  // A null handle, opened for reading, one reference.
  VormFileStream();
  VormFileStream(const VormFileStream&) = delete;
  VormFileStream& operator=(const VormFileStream&) = delete;

  // Opens the file through its ANSI name (UTF-8 here) of at most 99 bytes: for reading
  // (OPEN_EXISTING) or for writing (CREATE_ALWAYS, an existing file is truncated), shared
  // for reading only. False when the name does not convert or does not fit (nothing is
  // touched then) or the file cannot be opened.
  //   Open(L"a.xml", true)  => true for an existing readable file
  //   a name of 100 ANSI characters => false, the disk untouched
  bool Open(const wchar_t* name, bool forReading);

  // IUnknown: IID_IUnknown and IID_IStream only (not ISequentialStream).
  HRESULT QueryInterface(REFIID iid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;

  // S_OK, S_FALSE with 0 bytes at the end of the file, E_FAIL when the stream was opened
  // for writing or the read fails. *read gets the count when not null.
  HRESULT Read(void* pv, ULONG cb, ULONG* read) override;
  // S_OK, or E_FAIL when the stream was opened for reading or the write fails.
  HRESULT Write(const void* pv, ULONG cb, ULONG* written) override;

  // Not supported: E_FAIL.
  HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override;
  HRESULT SetSize(ULARGE_INTEGER newSize) override;
  HRESULT CopyTo(IStream* target, ULARGE_INTEGER cb, ULARGE_INTEGER* read, ULARGE_INTEGER* written) override;
  HRESULT Commit(DWORD flags) override;
  HRESULT Revert() override;
  HRESULT LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER cb, DWORD lockType) override;
  HRESULT UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER cb, DWORD lockType) override;
  HRESULT Stat(STATSTG* stat, DWORD flags) override;
  HRESULT Clone(IStream** clone) override;

 protected:
  virtual ~VormFileStream();  // Release only

 private:
  HANDLE m_hFile;
  bool m_bRead;
  LONG m_cRef;
};

// Internal helpers of the COM layer shared between its files.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include <vorm/platform/stream.h>

namespace VormCom_details {

// A memory stream filled with a copy of `size` bytes, positioned at the start.
// S_OK with a new stream (its block freed with the stream), E_INVALIDARG, E_OUTOFMEMORY.
HRESULT StreamOnBytes(const void* data, size_t size, IStream** stream);

// Hands `data` (malloc'd, `size` bytes) to a stream made by CreateStreamOnHGlobal that is
// empty and at its start: the stream's memory becomes that block, positioned at its end,
// as if the bytes had been written. S_OK when taken over (the stream owns it now),
// S_FALSE when the stream is of another kind or not empty (the caller still owns it).
HRESULT AdoptIntoStream(IStream* stream, void* data, size_t size);

// Replaces the memory of an unlocked movable block by `data` (malloc'd), freeing the old.
bool AdoptIntoBlock(HGLOBAL block, void* data, size_t size);

// Reads the whole resource a URLOpenBlockingStreamW name designates (see stream.h for
// the forms and the error codes). `progress`, when given, is called with all the bytes so
// far after each piece of a local file arrives.
HRESULT ReadUrl(const wchar_t* url, std::string& bytes,
                const std::function<void(const std::string&)>& progress = nullptr);

// Whether the calling thread has initialised COM (CoInitialize/CoInitializeEx).
bool ThreadInitialized();

}  // namespace VormCom_details

// Internal helpers of the COM layer shared between its files.
#pragma once

#include <cstddef>
#include <string>

#include <vorm/platform/stream.h>

namespace VormCom_details {

// A memory stream filled with a copy of `size` bytes, positioned at the start.
// S_OK with a new stream (its block freed with the stream), E_INVALIDARG, E_OUTOFMEMORY.
HRESULT StreamOnBytes(const void* data, size_t size, IStream** stream);

// Reads the whole resource a URLOpenBlockingStreamW name designates (see stream.h for
// the forms and the error codes).
HRESULT ReadUrl(const wchar_t* url, std::string& bytes);

// Whether the calling thread has initialised COM (CoInitialize/CoInitializeEx).
bool ThreadInitialized();

}  // namespace VormCom_details

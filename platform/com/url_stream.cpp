// URLOpenBlockingStreamW: local files, "file:" URLs, and http(s) through libcurl.
#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>

#include <vorm/platform/files.h>
#include <vorm/platform/kernel.h>
#include <vorm/platform/stream.h>
#include <vorm/platform/text.h>

#include "platform/com/com_internal.h"

namespace {

constexpr size_t kMaxResource = size_t{2} << 30;  // a stream's size is counted in 32 bits
constexpr DWORD kChunk = 256 * 1024;

// The scheme of a URL ("http", "file", ...), or empty for a path. One letter before ':'
// is a drive, not a scheme.
std::wstring_view SchemeOf(std::wstring_view url) {
  size_t i = 0;
  while (i < url.size() &&
         ((url[i] >= L'a' && url[i] <= L'z') || (url[i] >= L'A' && url[i] <= L'Z') ||
          (i > 0 && ((url[i] >= L'0' && url[i] <= L'9') || url[i] == L'+' || url[i] == L'-' || url[i] == L'.'))))
    ++i;
  if (i < 2 || i >= url.size() || url[i] != L':') return {};
  return url.substr(0, i);
}

HRESULT FromWin32(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return INET_E_RESOURCE_NOT_FOUND;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return E_ACCESSDENIED;
    case ERROR_NOT_ENOUGH_MEMORY: return E_OUTOFMEMORY;
    default: return INET_E_DOWNLOAD_FAILURE;
  }
}

HRESULT ReadFileResource(const std::wstring& path, std::string& bytes,
                         const std::function<void(const std::string&)>& progress) {
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FromWin32(GetLastError());
  DWORD high = 0;
  const DWORD low = GetFileSize(file, &high);
  const unsigned long long size = (static_cast<unsigned long long>(high) << 32) | low;
  HRESULT hr = S_OK;
  if (size > kMaxResource) {
    hr = INET_E_DOWNLOAD_FAILURE;
  } else {
    // Read a cache-sized piece at a time straight into place, up to the size the file
    // reports; past it (files that report 0, like /proc, or that grow) through a small
    // buffer until the end, so the string never reallocates for a file that keeps its size.
    const size_t known = static_cast<size_t>(size);
    bytes.reserve(known);
    char probe[4096];
    for (;;) {
      const size_t done = bytes.size();
      const bool inPlace = done < known;
      const DWORD want = inPlace ? static_cast<DWORD>(std::min<size_t>(kChunk, known - done)) : sizeof probe;
      if (done + want > kMaxResource) {
        hr = INET_E_DOWNLOAD_FAILURE;
        break;
      }
      if (inPlace) bytes.resize(done + want);
      DWORD got = 0;
      const BOOL ok = ReadFile(file, inPlace ? bytes.data() + done : probe, want, &got, nullptr);
      if (inPlace)
        bytes.resize(done + got);
      else
        bytes.append(probe, got);
      if (!ok) {
        hr = FromWin32(GetLastError());
        break;
      }
      if (got == 0) break;
      if (progress) progress(bytes);
    }
  }
  CloseHandle(file);
  return hr;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "file:///a/b%20c" => "/a/b c". False for another host.
bool PathOfFileUrl(std::wstring_view url, std::wstring& path) {
  std::wstring_view rest = url.substr(5);  // after "file:"
  if (rest.substr(0, 2) == L"//") {
    rest.remove_prefix(2);
    const size_t slash = rest.find(L'/');
    const std::wstring_view host = rest.substr(0, slash);
    if (!host.empty() && VormCompareNoCase(host, L"localhost") != 0) return false;
    rest = slash == std::wstring_view::npos ? std::wstring_view() : rest.substr(slash);
  }
  const std::string encoded = VormToUtf8(rest);
  std::string decoded;
  decoded.reserve(encoded.size());
  for (size_t i = 0; i < encoded.size(); ++i) {
    if (encoded[i] == '%' && i + 2 < encoded.size() && HexValue(encoded[i + 1]) >= 0 && HexValue(encoded[i + 2]) >= 0) {
      decoded.push_back(static_cast<char>(HexValue(encoded[i + 1]) * 16 + HexValue(encoded[i + 2])));
      i += 2;
    } else {
      decoded.push_back(encoded[i]);
    }
  }
  // "/C:/dir" names a drive path.
  if (decoded.size() >= 3 && decoded[0] == '/' && decoded[2] == ':' &&
      std::isalpha(static_cast<unsigned char>(decoded[1])))
    decoded.erase(0, 1);
  path = VormFromOsPath(decoded);
  return true;
}

// --- http(s) ---------------------------------------------------------------------------------

struct Download {
  std::string* bytes;
  bool tooLarge = false;
};

size_t Collect(char* data, size_t size, size_t count, void* context) {
  auto* download = static_cast<Download*>(context);
  const size_t n = size * count;
  if (download->bytes->size() + n > kMaxResource) {
    download->tooLarge = true;
    return 0;  // makes libcurl stop with CURLE_WRITE_ERROR
  }
  download->bytes->append(data, n);
  return n;
}

HRESULT FromCurl(CURLcode code) {
  switch (code) {
    case CURLE_OK: return S_OK;
    case CURLE_UNSUPPORTED_PROTOCOL: return INET_E_UNKNOWN_PROTOCOL;
    case CURLE_URL_MALFORMAT: return INET_E_INVALID_URL;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return INET_E_RESOURCE_NOT_FOUND;
    case CURLE_COULDNT_CONNECT: return INET_E_CANNOT_CONNECT;
    case CURLE_OPERATION_TIMEDOUT: return INET_E_CONNECTION_TIMEOUT;
    case CURLE_OUT_OF_MEMORY: return E_OUTOFMEMORY;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE: return INET_E_SECURITY_PROBLEM;
    default: return INET_E_DOWNLOAD_FAILURE;
  }
}

HRESULT FromHttpStatus(long status) {
  if (status < 400) return S_OK;
  if (status == 404 || status == 410) return INET_E_RESOURCE_NOT_FOUND;
  if (status == 401 || status == 403) return E_ACCESSDENIED;
  return INET_E_DOWNLOAD_FAILURE;
}

HRESULT ReadHttpResource(const wchar_t* url, std::string& bytes) {
  static std::once_flag once;
  static CURLcode initialised = CURLE_FAILED_INIT;
  std::call_once(once, [] { initialised = curl_global_init(CURL_GLOBAL_DEFAULT); });
  if (initialised != CURLE_OK) return INET_E_DOWNLOAD_FAILURE;
  CURL* curl = curl_easy_init();
  if (!curl) return E_OUTOFMEMORY;
  const std::string narrow = VormToUtf8(url);
  Download download{&bytes};
  curl_easy_setopt(curl, CURLOPT_URL, narrow.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);  // no SIGALRM in a library
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 60L);
  // A transfer that stalls (under 1 byte/s for 60 s) ends; a slow but moving one does not.
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 60L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &download);
  const CURLcode code = curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_cleanup(curl);
  if (download.tooLarge) return INET_E_DOWNLOAD_FAILURE;
  const HRESULT hr = FromCurl(code);
  return FAILED(hr) ? hr : FromHttpStatus(status);
}

}  // namespace

HRESULT VormCom_details::ReadUrl(const wchar_t* url, std::string& bytes,
                                 const std::function<void(const std::string&)>& progress) {
  bytes.clear();
  if (!url) return E_INVALIDARG;
  const std::wstring_view view(url);
  const std::wstring_view scheme = SchemeOf(view);
  if (scheme.empty()) return ReadFileResource(std::wstring(view), bytes, progress);
  if (VormCompareNoCase(scheme, L"http") == 0 || VormCompareNoCase(scheme, L"https") == 0)
    return ReadHttpResource(url, bytes);
  if (VormCompareNoCase(scheme, L"file") == 0) {
    std::wstring path;
    if (!PathOfFileUrl(view, path)) return INET_E_UNKNOWN_PROTOCOL;
    return ReadFileResource(path, bytes, progress);
  }
  return INET_E_UNKNOWN_PROTOCOL;
}

HRESULT URLOpenBlockingStreamW(IUnknown*, const wchar_t* url, DWORD, IBindStatusCallback*, IStream** stream) {
  if (!url || !stream) return E_INVALIDARG;
  *stream = nullptr;
  std::string bytes;
  const HRESULT hr = VormCom_details::ReadUrl(url, bytes);
  if (FAILED(hr)) return hr;
  return VormCom_details::StreamOnBytes(bytes.data(), bytes.size(), stream);
}

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <vorm/platform/kernel.h>
#include <vorm/platform/stream.h>
#include <vorm/platform/text.h>

#include "support/temp_tree.h"

namespace {

std::string ReadAll(IStream* stream) {
  std::string bytes;
  char chunk[7];  // small, so reads cross chunk edges
  ULONG got = 0;
  while (stream->Read(chunk, sizeof chunk, &got) == S_OK && got > 0) bytes.append(chunk, got);
  return bytes;
}

TEST(GlobalMemory, HandlesAreCheckedAndLocksCounted) {
  HGLOBAL fixed = GlobalAlloc(GPTR, 16);
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(GlobalLock(fixed), fixed);
  EXPECT_EQ(static_cast<unsigned char*>(fixed)[15], 0);
  HGLOBAL movable = GlobalAlloc(GMEM_MOVEABLE, 4);
  auto* p = static_cast<char*>(GlobalLock(movable));
  ASSERT_NE(p, nullptr);
  EXPECT_NE(static_cast<void*>(p), movable);
  GlobalLock(movable);
  EXPECT_TRUE(GlobalUnlock(movable));  // two locks, one left
  SetLastError(0xDEAD);
  EXPECT_FALSE(GlobalUnlock(movable));
  EXPECT_EQ(GetLastError(), NO_ERROR);
  EXPECT_FALSE(GlobalUnlock(movable));
  EXPECT_EQ(GetLastError(), ERROR_NOT_LOCKED);
  // Fixed memory does not move without GMEM_MOVEABLE.
  EXPECT_EQ(GlobalReAlloc(fixed, 1 << 20, 0), nullptr);
  HGLOBAL grown = GlobalReAlloc(movable, 1 << 20, GMEM_ZEROINIT);
  EXPECT_EQ(grown, movable);
  EXPECT_EQ(GlobalSize(grown), 1u << 20);
  EXPECT_EQ(GlobalFree(grown), nullptr);
  EXPECT_EQ(GlobalFree(fixed), nullptr);
  int onStack = 0;
  EXPECT_EQ(GlobalFree(&onStack), &onStack);  // unknown: refused, not freed
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(GlobalLock(GlobalAlloc(GMEM_MOVEABLE, 0)), nullptr);
}

TEST(HGlobalStream, ReadsWritesSeeksAndShares) {
  IStreamPtr stream;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
  ULONG written = 0;
  EXPECT_EQ(stream->Write("hello world", 11, &written), S_OK);
  EXPECT_EQ(written, 11u);
  LARGE_INTEGER move{};
  ULARGE_INTEGER position{};
  move.QuadPart = -5;
  EXPECT_EQ(stream->Seek(move, STREAM_SEEK_END, &position), S_OK);
  EXPECT_EQ(position.QuadPart, 6u);
  EXPECT_EQ(ReadAll(stream), "world");
  ULONG got = 1;
  char c;
  EXPECT_EQ(stream->Read(&c, 1, &got), S_OK);  // at the end: S_OK, nothing read
  EXPECT_EQ(got, 0u);
  move.QuadPart = -100;
  EXPECT_EQ(stream->Seek(move, STREAM_SEEK_CUR, nullptr), STG_E_INVALIDFUNCTION);
  move.QuadPart = 13;
  stream->Seek(move, STREAM_SEEK_SET, nullptr);
  stream->Write("!", 1, nullptr);  // past the end: the gap reads as zeros
  IStreamPtr clone;
  ASSERT_EQ(stream->Clone(&clone), S_OK);
  move.QuadPart = 0;
  clone->Seek(move, STREAM_SEEK_SET, nullptr);
  EXPECT_EQ(ReadAll(clone), std::string("hello world\0\0!", 14));
  HGLOBAL block = nullptr;
  ASSERT_EQ(GetHGlobalFromStream(stream, &block), S_OK);
  EXPECT_EQ(GlobalSize(block), 14u);
  STATSTG stat;
  EXPECT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(stat.cbSize.QuadPart, 14u);
  EXPECT_EQ(GetHGlobalFromStream(nullptr, &block), E_INVALIDARG);
}

// A one-request-at-a-time HTTP server on the loopback address, answering from a table.
class LoopbackServer {
 public:
  explicit LoopbackServer(int requests) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 4);
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this, requests] { Serve(requests); });
  }
  ~LoopbackServer() {
    thread_.join();
    ::close(listener_);
  }
  std::wstring Url(const char* path) const { return VormFromUtf8("http://127.0.0.1:" + std::to_string(port_) + path); }

 private:
  void Serve(int requests) {
    for (int i = 0; i < requests; ++i) {
      pollfd wait{listener_, POLLIN, 0};
      if (::poll(&wait, 1, 30000) <= 0) return;  // the test failed to connect; give up
      const int client = ::accept(listener_, nullptr, nullptr);
      std::string request;
      char buffer[1024];
      while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        request.append(buffer, static_cast<size_t>(n));
      }
      const bool found = request.rfind("GET /doc.xml ", 0) == 0;
      const std::string body = found ? "<a>served</a>" : "missing";
      const std::string response = std::string(found ? "HTTP/1.1 200 OK" : "HTTP/1.1 404 Not Found") +
                                   "\r\nContent-Length: " + std::to_string(body.size()) +
                                   "\r\nConnection: close\r\n\r\n" + body;
      ::send(client, response.data(), response.size(), MSG_NOSIGNAL);
      ::close(client);
    }
  }

  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
};

TEST(UrlStream, LocalFilesFileUrlsAndHttp) {
  vorm_test::TempTree tree;
  tree.WriteFile("a b.xml", "<a/>");
  IStreamPtr stream;
  ASSERT_EQ(URLOpenBlockingStreamW(nullptr, tree.wpath("a b.xml").c_str(), 0, nullptr, &stream), S_OK);
  EXPECT_EQ(ReadAll(stream), "<a/>");
  const std::wstring url = L"file://" + tree.wroot() + L"a%20b.xml";
  ASSERT_EQ(URLOpenBlockingStreamW(nullptr, url.c_str(), 0, nullptr, &stream), S_OK);
  EXPECT_EQ(ReadAll(stream), "<a/>");
  EXPECT_EQ(URLOpenBlockingStreamW(nullptr, tree.wpath("none.xml").c_str(), 0, nullptr, &stream),
            INET_E_RESOURCE_NOT_FOUND);
  EXPECT_EQ(URLOpenBlockingStreamW(nullptr, L"file://elsewhere/x.xml", 0, nullptr, &stream), INET_E_UNKNOWN_PROTOCOL);
  EXPECT_EQ(URLOpenBlockingStreamW(nullptr, L"gopher://x/y", 0, nullptr, &stream), INET_E_UNKNOWN_PROTOCOL);
  EXPECT_EQ(URLOpenBlockingStreamW(nullptr, tree.wroot().c_str(), 0, nullptr, &stream), E_ACCESSDENIED);
  EXPECT_EQ(URLOpenBlockingStreamW(nullptr, nullptr, 0, nullptr, &stream), E_INVALIDARG);

  ::setenv("no_proxy", "*", 1);  // the loopback server must be reached directly
  LoopbackServer server(2);
  ASSERT_EQ(URLOpenBlockingStreamW(nullptr, server.Url("/doc.xml").c_str(), 0, nullptr, &stream), S_OK);
  EXPECT_EQ(ReadAll(stream), "<a>served</a>");
  EXPECT_EQ(URLOpenBlockingStreamW(nullptr, server.Url("/gone.xml").c_str(), 0, nullptr, &stream),
            INET_E_RESOURCE_NOT_FOUND);
}

}  // namespace

#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <vorm/file_stream.h>
#include <vorm/platform/text.h>

#include "support/temp_tree.h"

namespace {

// Open descriptors of the process, to see a stream close its file.
size_t OpenFiles() {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

// An absolute name of exactly `length` characters in the tree.
std::wstring NameOfLength(const vorm_test::TempTree& tree, size_t length) {
  const std::wstring folder = tree.wroot();
  return folder + std::wstring(length - folder.size(), L'n');
}

TEST(VormFileStream, NameLimitIs99AnsiBytes) {
  vorm_test::TempTree tree;
  const std::wstring fits = NameOfLength(tree, 99);
  auto* writer = new VormFileStream;
  EXPECT_TRUE(writer->Open(fits.c_str(), false));
  writer->Release();
  EXPECT_TRUE(std::filesystem::exists(VormToUtf8(fits)));
  const std::wstring tooLong = NameOfLength(tree, 100);
  auto* refused = new VormFileStream;
  EXPECT_FALSE(refused->Open(tooLong.c_str(), false));
  refused->Release();
  EXPECT_FALSE(std::filesystem::exists(VormToUtf8(tooLong)));
  // Multi-byte characters count by their bytes.
  auto* wide = new VormFileStream;
  EXPECT_FALSE(wide->Open((tree.wroot() + std::wstring(45, L'\u00E4')).c_str(), false));
  wide->Release();
}

TEST(VormFileStream, OneDirectionOnly) {
  vorm_test::TempTree tree;
  tree.WriteFile("f.txt", "previous content");
  auto* writer = new VormFileStream;
  ASSERT_TRUE(writer->Open(tree.wpath("f.txt").c_str(), false));
  EXPECT_EQ(tree.ReadFile("f.txt"), "");  // truncated on opening for writing
  ULONG count = 0;
  EXPECT_EQ(writer->Write("abc", 3, &count), S_OK);
  EXPECT_EQ(count, 3u);
  char buffer[8];
  EXPECT_EQ(writer->Read(buffer, sizeof buffer, &count), E_FAIL);
  writer->Release();

  auto* reader = new VormFileStream;
  ASSERT_TRUE(reader->Open(tree.wpath("f.txt").c_str(), true));
  EXPECT_EQ(reader->Write("x", 1, &count), E_FAIL);
  EXPECT_EQ(reader->Read(buffer, sizeof buffer, &count), S_OK);
  EXPECT_EQ(std::string(buffer, count), "abc");
  count = 99;
  EXPECT_EQ(reader->Read(buffer, sizeof buffer, &count), S_FALSE);
  EXPECT_EQ(count, 0u);
  LARGE_INTEGER zero{};
  STATSTG stat;
  EXPECT_EQ(reader->Seek(zero, STREAM_SEEK_SET, nullptr), E_FAIL);
  EXPECT_EQ(reader->Stat(&stat, STATFLAG_NONAME), E_FAIL);
  reader->Release();
  EXPECT_EQ(tree.ReadFile("f.txt"), "abc");
}

TEST(VormFileStream, ReferencesAndInterfaces) {
  vorm_test::TempTree tree;
  tree.WriteFile("f.txt", "x");
  const size_t before = OpenFiles();
  auto* stream = new VormFileStream;
  ASSERT_TRUE(stream->Open(tree.wpath("f.txt").c_str(), true));
  EXPECT_EQ(OpenFiles(), before + 1);
  void* sequential = reinterpret_cast<void*>(1);
  EXPECT_EQ(stream->QueryInterface(IID_ISequentialStream, &sequential), E_NOINTERFACE);
  EXPECT_EQ(sequential, nullptr);
  IStream* asStream = nullptr;
  ASSERT_EQ(stream->QueryInterface(IID_IStream, reinterpret_cast<void**>(&asStream)), S_OK);
  EXPECT_EQ(asStream->Release(), 1u);
  EXPECT_EQ(stream->Release(), 0u);
  EXPECT_EQ(OpenFiles(), before);  // the last release closed the file
  // A stream whose open failed fails in the calls.
  auto* unopened = new VormFileStream;
  EXPECT_FALSE(unopened->Open(tree.wpath("missing.txt").c_str(), true));
  char c;
  EXPECT_EQ(unopened->Read(&c, 1, nullptr), E_FAIL);
  unopened->Release();
}

}  // namespace

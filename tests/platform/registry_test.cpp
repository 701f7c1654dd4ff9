#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <vorm/platform/registry.h>
#include <vorm/platform/text.h>

#include "support/temp_tree.h"

namespace {

std::vector<BYTE> Bytes(const void* p, size_t n) {
  return {static_cast<const BYTE*>(p), static_cast<const BYTE*>(p) + n};
}
std::vector<BYTE> Bytes(const std::wstring& units) { return Bytes(units.data(), units.size() * sizeof(wchar_t)); }
// Wide text with its terminator, as REG_SZ data is normally stored.
std::vector<BYTE> Sz(const std::wstring& text) { return Bytes(text + L'\0'); }

const BYTE kOne[4] = {1, 0, 0, 0};

// The result of a size query for a value.
LONG Probe(HKEY key, const wchar_t* name) {
  DWORD size = 0;
  return RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &size);
}

// Reads a value whole; returns the result code.
LONG Read(HKEY key, const wchar_t* name, DWORD* type, std::vector<BYTE>* data) {
  DWORD size = 0;
  LONG r = RegQueryValueExW(key, name, nullptr, type, nullptr, &size);
  if (r != ERROR_SUCCESS) return r;
  data->assign(size, 0xCC);
  return RegQueryValueExW(key, name, nullptr, type, data->data(), &size);
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { UseFile("cfg/registry.reg"); }
  void TearDown() override { unsetenv("VORM_REGISTRY"); }

  void UseFile(const std::string& rel) { setenv("VORM_REGISTRY", (tree_.root() / rel).c_str(), 1); }

  HKEY Create(const wchar_t* path, HKEY root = HKEY_CURRENT_USER, DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, disposition), ERROR_SUCCESS);
    return key;
  }

  vorm_test::TempTree tree_;
};

TEST_F(RegistryTest, EveryTypeSurvivesTheFile) {
  std::vector<BYTE> blob(100);
  for (size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<BYTE>(i * 7);
  const ULONGLONG qword = 0x0123456789ABCDEFull;
  const DWORD ten = 10;
  const struct {
    const wchar_t* name;
    DWORD type;
    std::vector<BYTE> data;
    const char* fileLine;
  } values[] = {
      {L"Plain", REG_SZ, Sz(L"C:\\Data \"quoted\""), "\"Plain\"=\"C:\\\\Data \\\"quoted\\\"\""},
      {L"", REG_SZ, Sz(L"default"), "@=\"default\""},
      {L"Unicode \u00e9", REG_SZ, Sz(L"\u00e9t\u00e9 \U0001D11E"),
       "\"Unicode \xc3\xa9\"=\"\xc3\xa9t\xc3\xa9 \xf0\x9d\x84\x9e\""},
      {L"Lines", REG_SZ, Sz(L"a\nb"), "\"Lines\"=hex(1):61,00,0a,00,62,00,00,00"},
      {L"NoTerminator", REG_SZ, Bytes(L"ab"), "\"NoTerminator\"=hex(1):61,00,62,00"},
      {L"Expand", REG_EXPAND_SZ, Sz(L"%A%"), "\"Expand\"=hex(2):25,00,41,00,25,00,00,00"},
      {L"Multi", REG_MULTI_SZ, Bytes(std::wstring(L"a\0bc\0\0", 6)),
       "\"Multi\"=hex(7):61,00,00,00,62,00,63,00,00,00,00,00"},
      {L"Dword", REG_DWORD, Bytes(&ten, 4), "\"Dword\"=dword:0000000a"},
      {L"Qword", REG_QWORD, Bytes(&qword, 8), "\"Qword\"=hex(b):ef,cd,ab,89,67,45,23,01"},
      {L"Blob", REG_BINARY, blob, ",\\"},  // long hex lists continue on the next line
      {L"EmptyBlob", REG_BINARY, {}, "\"EmptyBlob\"=hex:"},
      {L"ShortDword", REG_DWORD, {1, 2}, "\"ShortDword\"=hex(4):01,02"},
  };
  HKEY key = Create(L"Software\\Vorm\\Types");
  for (const auto& v : values) {
    EXPECT_EQ(RegSetValueExW(key, v.name, 0, v.type, v.data.data(), static_cast<DWORD>(v.data.size())), ERROR_SUCCESS)
        << v.fileLine;
  }
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

  const std::string text = tree_.ReadFile("cfg/registry.reg");
  EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\n", 0), 0u) << text;
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Vorm\\Types]\n"), std::string::npos) << text;
  for (const auto& v : values) EXPECT_NE(text.find(std::string(v.fileLine) + "\n"), std::string::npos) << v.fileLine;

  // A fresh path makes the store parse the written text instead of using its cache.
  std::filesystem::copy_file(tree_.root() / "cfg/registry.reg", tree_.root() / "copy.reg");
  UseFile("copy.reg");
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Vorm\\Types", 0, KEY_READ, &key), ERROR_SUCCESS);
  for (const auto& v : values) {
    DWORD type = 0xFFFF;
    std::vector<BYTE> data;
    ASSERT_EQ(Read(key, v.name, &type, &data), ERROR_SUCCESS) << v.fileLine;
    EXPECT_EQ(type, v.type) << v.fileLine;
    EXPECT_EQ(data, v.data) << v.fileLine;
  }
  RegCloseKey(key);
}

TEST_F(RegistryTest, QuerySizeRules) {
  HKEY key = Create(L"Sizes");
  const std::vector<BYTE> text = Sz(L"abc");  // 16 bytes
  ASSERT_EQ(RegSetValueExW(key, L"Text", 0, REG_SZ, text.data(), 16), ERROR_SUCCESS);
  const struct {
    bool withData, withSize, withType;
    DWORD size;
    LONG result;
    DWORD sizeAfter;
  } cases[] = {
      {false, true, true, 0, ERROR_SUCCESS, 16},           // size query
      {false, true, false, 999, ERROR_SUCCESS, 16},        // size query, no type wanted
      {false, false, true, 0, ERROR_SUCCESS, 0},           // existence and type only
      {true, true, true, 15, ERROR_MORE_DATA, 16},         // one byte short
      {true, true, true, 0, ERROR_MORE_DATA, 16},          // empty buffer
      {true, true, true, 16, ERROR_SUCCESS, 16},           // exact
      {true, true, false, 64, ERROR_SUCCESS, 16},          // larger
      {true, false, true, 0, ERROR_INVALID_PARAMETER, 0},  // data without size
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    std::vector<BYTE> buffer(c.size + 8, 0xAB);  // guard bytes after the announced size
    DWORD size = c.size;
    DWORD type = 0xFFFF;
    const LONG r = RegQueryValueExW(key, L"Text", nullptr, c.withType ? &type : nullptr,
                                    c.withData ? buffer.data() : nullptr, c.withSize ? &size : nullptr);
    EXPECT_EQ(r, c.result) << i;
    EXPECT_EQ(c.withSize ? size : 0u, c.sizeAfter) << i;
    EXPECT_EQ(type, c.withType && r != ERROR_INVALID_PARAMETER ? REG_SZ : 0xFFFFu) << i;
    for (size_t g = c.size; g < buffer.size(); ++g) ASSERT_EQ(buffer[g], 0xAB) << i << " overrun at " << g;
    EXPECT_TRUE(r != ERROR_SUCCESS || !c.withData || std::memcmp(buffer.data(), text.data(), 16) == 0) << i;
  }
  DWORD reserved = 0;
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(key, L"Text", &reserved, nullptr, nullptr, &size), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Probe(key, L"Missing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Probe(key, nullptr), ERROR_FILE_NOT_FOUND);  // no default value
  RegCloseKey(key);
}

TEST_F(RegistryTest, NamesCompareWithoutCase) {
  HKEY key = Create(L"Software\\Vorm\\\u00c4rger");
  const std::vector<BYTE> v = Sz(L"x");
  ASSERT_EQ(RegSetValueExW(key, L"Folder", 0, REG_SZ, v.data(), static_cast<DWORD>(v.size())), ERROR_SUCCESS);
  // Setting through another spelling replaces the value and keeps the first spelling.
  ASSERT_EQ(RegSetValueExW(key, L"FOLDER", 0, REG_SZ, v.data(), static_cast<DWORD>(v.size())), ERROR_SUCCESS);
  RegCloseKey(key);

  for (const wchar_t* s : {L"software\\VORM\\\u00e4rger", L"Software\\Vorm\\\u00c4RGER\\"}) {
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, s, 0, KEY_READ, &key), ERROR_SUCCESS) << VormToUtf8(s);
    EXPECT_EQ(Probe(key, L"fOlDeR"), ERROR_SUCCESS);
    RegCloseKey(key);
  }
}

TEST_F(RegistryTest, ReadsHandWrittenFiles) {
  tree_.WriteFile("hand.reg",
                  "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n; a comment\r\n"
                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Nolvane\\VOR\\VormHeapDebugFlags]\r\n"
                  "\"DoHeapCheck\"=dword:00000001\r\n\"Quote\"=\"say \\\"hi\\\" C:\\\\\"\r\n@=\"the default\"\r\n"
                  "  \"Spaced\" = dword:1f\r\n\"Long\"=hex:01,02,\\\r\n  03,04,\\\r\n  05\r\n"
                  "\"Gone\"=\"x\"\r\n\"Gone\"=-\r\n\r\n"
                  "[HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders]\n"
                  "\"Desktop\"=\"/home/u/Desktop\"\n\"Multi\"=hex(7):61,00,00,00,00,00\n"
                  "[-HKEY_CURRENT_USER\\Dropped]\n\"Ignored\"=\"under a deleted key\"\n");
  UseFile("hand.reg");
  const wchar_t* flags = L"SOFTWARE\\Nolvane\\VOR\\VormHeapDebugFlags";
  const wchar_t* shell = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  const struct {
    HKEY root;
    const wchar_t* key;
    const wchar_t* value;
    DWORD type;
    std::vector<BYTE> data;
  } cases[] = {
      {HKEY_LOCAL_MACHINE, flags, L"DoHeapCheck", REG_DWORD, {1, 0, 0, 0}},
      {HKEY_LOCAL_MACHINE, flags, L"Quote", REG_SZ, Sz(L"say \"hi\" C:\\")},
      {HKEY_LOCAL_MACHINE, flags, nullptr, REG_SZ, Sz(L"the default")},
      {HKEY_LOCAL_MACHINE, flags, L"Spaced", REG_DWORD, {0x1f, 0, 0, 0}},
      {HKEY_LOCAL_MACHINE, flags, L"Long", REG_BINARY, {1, 2, 3, 4, 5}},
      {HKEY_CURRENT_USER, shell, L"Desktop", REG_SZ, Sz(L"/home/u/Desktop")},
      {HKEY_CURRENT_USER, shell, L"Multi", REG_MULTI_SZ, Bytes(std::wstring(L"a\0\0", 3))},
  };
  HKEY key = nullptr;
  for (size_t i = 0; i < std::size(cases); ++i) {
    ASSERT_EQ(RegOpenKeyExW(cases[i].root, cases[i].key, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS) << i;
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_EQ(Read(key, cases[i].value, &type, &data), ERROR_SUCCESS) << i;
    EXPECT_EQ(type, cases[i].type) << i;
    EXPECT_EQ(data, cases[i].data) << i;
    RegCloseKey(key);
  }
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, flags, 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(Probe(key, L"Gone"), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Dropped", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

// UTF-16 files (the platform's own form) may name a key or value with a lone surrogate, which
// UTF-8 cannot carry: rewriting such a file must keep every name.
TEST_F(RegistryTest, NamesOnlyUtf16CanCarrySurviveARewrite) {
  const std::u16string text =
      u"\uFEFFWindows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Odd\xD800]\r\n"
      u"\"v\xDBFF\"=dword:00000001\r\n";
  tree_.WriteFile("utf16.reg", std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2));
  UseFile("utf16.reg");
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Odd\xD800", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, L"New", 0, REG_DWORD, kOne, 4), ERROR_SUCCESS);  // rewrites the file
  RegCloseKey(key);

  std::filesystem::copy_file(tree_.root() / "utf16.reg", tree_.root() / "copy.reg");
  UseFile("copy.reg");
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Odd\xD800", 0, KEY_READ, &key), ERROR_SUCCESS);
  for (const wchar_t* name : {L"v\xDBFF", L"New"}) {
    DWORD type = 0;
    std::vector<BYTE> data;
    EXPECT_EQ(Read(key, name, &type, &data), ERROR_SUCCESS);
    EXPECT_EQ(data, Bytes(kOne, 4));
  }
  RegCloseKey(key);
}

// A path of `levels` keys named k below the root: "k\k\...".
std::wstring DeepPath(size_t levels) {
  std::wstring path = L"k";
  for (size_t i = 1; i < levels; ++i) path += L"\\k";
  return path;
}

TEST_F(RegistryTest, MalformedFileFailsLookupsAndIsNotOverwritten) {
  const std::string header = "Windows Registry Editor Version 5.00\n", key = header + "[HKEY_CURRENT_USER\\K]\n";
  const std::string bad[] = {
      key + "[HKEY_CURRENT_USER\\" + VormToUtf8(DeepPath(513)) + "]\n",  // deeper than a key may lie
      "[HKEY_CURRENT_USER\\K]\n\"V\"=\"x\"\n",                           // no header
      key + "\"V\"=hex:01,zz\n",                                         // bad hex byte
      header + "[HKEY_NOWHERE\\K]\n",                                    // unknown root
      header + "[HKEY_CURRENT_USER\\K\n",                                // no closing bracket
      header + "\"V\"=\"x\"\n",                                          // value outside a key
      key + "\"V\"=\"unterminated\n",                                    // quote not closed
      key + "\"V\"=\"C:\\Temp\"\n",                                      // unknown escape
      key + "\"V\"=dword:123456789\n",                                   // dword too wide
      key + "\"V\"=hex(2):41\n",                                         // odd UTF-16 byte count
      key + "\"V\"=hex:01,\\\n",                                         // continuation at the end
      key + "stray\n",                                                   // stray line
      std::string("\xFF\xFE\x41", 3),                                    // odd-sized UTF-16 file
  };
  for (size_t i = 0; i < std::size(bad); ++i) {
    // A new file name per case: the store must not mistake one case for the last.
    const std::string rel = "bad" + std::to_string(i) + ".reg";
    tree_.WriteFile(rel, bad[i]);
    UseFile(rel);
    HKEY opened = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"K", 0, KEY_READ, &opened), ERROR_BADDB) << i;
    EXPECT_EQ(opened, nullptr) << i;
    EXPECT_EQ(Probe(HKEY_CURRENT_USER, L"V"), ERROR_BADDB) << i;
    EXPECT_EQ(RegSetValueExW(HKEY_CURRENT_USER, L"V", 0, REG_DWORD, kOne, 4), ERROR_BADDB) << i;
    EXPECT_EQ(tree_.ReadFile(rel), bad[i]) << i;
  }
}

// Keys lie at most 512 levels below their root, as on the platform, so no file or caller can
// make the store's walks arbitrarily deep.
TEST_F(RegistryTest, KeysNestAtMost512Levels) {
  HKEY key = nullptr;
  EXPECT_EQ(
      RegCreateKeyExW(HKEY_CURRENT_USER, DeepPath(513).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
      ERROR_BAD_PATHNAME);
  HKEY middle = Create(DeepPath(300).c_str());
  EXPECT_EQ(RegCreateKeyExW(middle, DeepPath(213).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_BAD_PATHNAME);
  key = Create(DeepPath(212).c_str(), middle);
  ASSERT_EQ(RegSetValueExW(key, L"V", 0, REG_DWORD, kOne, 4), ERROR_SUCCESS);
  RegCloseKey(key);
  RegCloseKey(middle);
  std::filesystem::copy_file(tree_.root() / "cfg/registry.reg", tree_.root() / "copy.reg");
  UseFile("copy.reg");
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, DeepPath(512).c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(Probe(key, L"V"), ERROR_SUCCESS);
  RegCloseKey(key);
}

TEST_F(RegistryTest, WritesAreAtomicAndFollowOutsideChanges) {
  HKEY key = Create(L"A\\B\\C");  // the folder "cfg" does not exist yet
  for (DWORD i = 0; i < 5; ++i) {
    ASSERT_EQ(RegSetValueExW(key, L"N", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&i), 4), ERROR_SUCCESS);
  }
  ASSERT_EQ(RegDeleteValueW(key, L"N"), ERROR_SUCCESS);
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(tree_.root() / "cfg")) names.push_back(e.path().filename());
  EXPECT_EQ(names, std::vector<std::string>{"registry.reg"}) << "no temporary file is left behind";

  // Another writer replaces the file, keeping its size: the next lookup sees the change.
  const std::string header = "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A\\B\\C]\n";
  for (DWORD expected : {1u, 2u}) {
    tree_.WriteFile("cfg/registry.reg", header + "\"N\"=dword:0000000" + std::to_string(expected) + "\n");
    DWORD value = 0;
    DWORD size = 4;
    EXPECT_EQ(RegQueryValueExW(key, L"N", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
    EXPECT_EQ(value, expected);
  }
  // The key vanishes from the file while a handle is open.
  tree_.WriteFile("cfg/registry.reg", "Windows Registry Editor Version 5.00\n");
  EXPECT_EQ(Probe(key, L"N"), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryTest, HandlesAccessAndBadArguments) {
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Missing", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);  // no file
  DWORD disposition = 0;
  key = Create(L"SOFTWARE\\Nolvane", HKEY_LOCAL_MACHINE, &disposition);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);  // closed twice
  EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  EXPECT_EQ(Probe(key, L"V"), ERROR_INVALID_HANDLE);

  const struct {
    const wchar_t* path;
    LONG result;
  } opens[] = {
      {L"SOFTWARE\\Nolvane", ERROR_SUCCESS},
      {L"software\\nolvane\\", ERROR_SUCCESS},
      {L"", ERROR_SUCCESS},
      {nullptr, ERROR_SUCCESS},
      {L"SOFTWARE\\Other", ERROR_FILE_NOT_FOUND},
      {L"\\SOFTWARE", ERROR_BAD_PATHNAME},
      {L"SOFTWARE\\\\Nolvane", ERROR_BAD_PATHNAME},
  };
  for (size_t i = 0; i < std::size(opens); ++i) {
    key = reinterpret_cast<HKEY>(&disposition);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, opens[i].path, 0, 0xF003F, &key), opens[i].result) << i;
    if (opens[i].result == ERROR_SUCCESS && RegCloseKey(key) == ERROR_SUCCESS) key = nullptr;
    EXPECT_EQ(key, nullptr) << i << ": closed when opened, cleared when refused";
  }
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);

  // A read-only handle reads but does not write; one without query rights does not read.
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Nolvane", 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(key, L"V", 0, REG_DWORD, kOne, 4), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueW(key, L"V"), ERROR_ACCESS_DENIED);
  RegCloseKey(key);
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Nolvane", 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(key, L"V", 0, REG_DWORD, kOne, 4), ERROR_SUCCESS);
  EXPECT_EQ(Probe(key, L"V"), ERROR_ACCESS_DENIED);
  // Data the file cannot carry is refused.
  EXPECT_EQ(RegSetValueExW(key, L"S", 0, REG_SZ, kOne, 3), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExW(key, L"a\nb", 0, REG_DWORD, kOne, 4), ERROR_INVALID_PARAMETER);
  RegCloseKey(key);
}

TEST_F(RegistryTest, ConcurrentWritersLoseNothing) {
  constexpr int kThreads = 4;
  constexpr DWORD kValues = 10;
  auto path = [](int t) { return L"Threads\\T" + std::to_wstring(t); };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      HKEY key = nullptr;
      if (RegCreateKeyExW(HKEY_CURRENT_USER, path(t).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr))
        return;
      for (DWORD i = 0; i < kValues; ++i) {
        RegSetValueExW(key, std::to_wstring(i).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&i), 4);
      }
      RegCloseKey(key);
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, path(t).c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    for (DWORD i = 0; i < kValues; ++i) {
      DWORD type = 0;
      std::vector<BYTE> data;
      EXPECT_EQ(Read(key, std::to_wstring(i).c_str(), &type, &data), ERROR_SUCCESS) << t;
      EXPECT_EQ(data, Bytes(&i, 4)) << t;
    }
    RegCloseKey(key);
  }
}

}  // namespace

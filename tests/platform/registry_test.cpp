// threaded: also under ThreadSanitizer
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

std::vector<BYTE> Bytes(const std::wstring& units) {
  std::vector<BYTE> b(units.size() * sizeof(wchar_t));
  if (!b.empty()) std::memcpy(b.data(), units.data(), b.size());
  return b;
}
// Wide text with its terminator, as REG_SZ data is normally stored.
std::vector<BYTE> Sz(const std::wstring& text) { return Bytes(text + L'\0'); }

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { UseFile("cfg/registry.reg"); }
  void TearDown() override { unsetenv("VORM_REGISTRY"); }

  void UseFile(const std::string& rel) { setenv("VORM_REGISTRY", (tree_.root() / rel).c_str(), 1); }

  HKEY Create(const wchar_t* path, REGSAM access = KEY_ALL_ACCESS) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    return key;
  }

  // Reads a value whole; returns the result code.
  LONG Read(HKEY key, const wchar_t* name, DWORD* type, std::vector<BYTE>* data) {
    DWORD size = 0;
    LONG r = RegQueryValueExW(key, name, nullptr, type, nullptr, &size);
    if (r != ERROR_SUCCESS) return r;
    data->assign(size, 0xCC);
    return RegQueryValueExW(key, name, nullptr, type, data->data(), &size);
  }

  vorm_test::TempTree tree_;
};

struct TypedValue {
  const wchar_t* name;
  DWORD type;
  std::vector<BYTE> data;
  const char* fileLine;  // how the value is written to the file, when it matters
};

std::vector<TypedValue> EveryType() {
  std::vector<BYTE> blob(100);
  for (size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<BYTE>(i * 7);
  ULONGLONG q = 0x0123456789ABCDEFull;
  std::vector<BYTE> qword(8);
  std::memcpy(qword.data(), &q, 8);
  DWORD ten = 10;
  std::vector<BYTE> dword(4);
  std::memcpy(dword.data(), &ten, 4);
  return {
      {L"Plain", REG_SZ, Sz(L"C:\\Data \"quoted\""), "\"Plain\"=\"C:\\\\Data \\\"quoted\\\"\""},
      {L"", REG_SZ, Sz(L"default"), "@=\"default\""},
      {L"Unicode \u00e9", REG_SZ, Sz(L"\u00e9t\u00e9 \U0001D11E"), "\"Unicode \xc3\xa9\"=\"\xc3\xa9t\xc3\xa9 \xf0\x9d\x84\x9e\""},
      {L"Empty", REG_SZ, Sz(L""), "\"Empty\"=\"\""},
      {L"Lines", REG_SZ, Sz(L"a\nb"), "\"Lines\"=hex(1):61,00,0a,00,62,00,00,00"},
      {L"NoTerminator", REG_SZ, Bytes(L"ab"), "\"NoTerminator\"=hex(1):61,00,62,00"},
      {L"Expand", REG_EXPAND_SZ, Sz(L"%A%"), "\"Expand\"=hex(2):25,00,41,00,25,00,00,00"},
      {L"Multi", REG_MULTI_SZ, Bytes(std::wstring(L"a\0bc\0\0", 6)), "\"Multi\"=hex(7):61,00,00,00,62,00,63,00,00,00,00,00"},
      {L"Dword", REG_DWORD, dword, "\"Dword\"=dword:0000000a"},
      {L"Qword", REG_QWORD, qword, "\"Qword\"=hex(b):ef,cd,ab,89,67,45,23,01"},
      {L"Blob", REG_BINARY, blob, nullptr},
      {L"EmptyBlob", REG_BINARY, {}, "\"EmptyBlob\"=hex:"},
      {L"None", REG_NONE, {1, 2}, "\"None\"=hex(0):01,02"},
      {L"ShortDword", REG_DWORD, {1, 2}, "\"ShortDword\"=hex(4):01,02"},
  };
}

TEST_F(RegistryTest, EveryTypeSurvivesTheFile) {
  HKEY key = Create(L"Software\\Vorm\\Types");
  const auto values = EveryType();
  for (const TypedValue& v : values) {
    EXPECT_EQ(RegSetValueExW(key, v.name, 0, v.type, v.data.data(), static_cast<DWORD>(v.data.size())), ERROR_SUCCESS)
        << static_cast<int>(&v - values.data());
  }
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

  const std::string text = tree_.ReadFile("cfg/registry.reg");
  EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\n", 0), 0u) << text;
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Vorm\\Types]\n"), std::string::npos) << text;
  for (const TypedValue& v : values) {
    if (v.fileLine) {
      EXPECT_NE(text.find(std::string(v.fileLine) + "\n"), std::string::npos) << v.fileLine << "\n" << text;
    }
  }
  EXPECT_NE(text.find(",\\\n  "), std::string::npos) << "long hex lists continue on the next line\n" << text;

  // A fresh path makes the store parse the written text instead of using its cache.
  std::filesystem::copy_file(tree_.root() / "cfg/registry.reg", tree_.root() / "copy.reg");
  UseFile("copy.reg");
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Vorm\\Types", 0, KEY_READ, &key), ERROR_SUCCESS);
  for (size_t i = 0; i < values.size(); ++i) {
    DWORD type = 0xFFFF;
    std::vector<BYTE> data;
    ASSERT_EQ(Read(key, values[i].name, &type, &data), ERROR_SUCCESS) << i;
    EXPECT_EQ(type, values[i].type) << i;
    EXPECT_EQ(data, values[i].data) << i;
  }
  RegCloseKey(key);
}

TEST_F(RegistryTest, QuerySizeRules) {
  HKEY key = Create(L"Sizes");
  const std::vector<BYTE> text = Sz(L"abc");  // 16 bytes
  ASSERT_EQ(RegSetValueExW(key, L"Text", 0, REG_SZ, text.data(), 16), ERROR_SUCCESS);

  struct Case {
    bool withData;
    bool withSize;
    bool withType;
    DWORD size;
    LONG result;
    DWORD sizeAfter;
  } cases[] = {
      {false, true, true, 0, ERROR_SUCCESS, 16},       // size query
      {false, true, false, 999, ERROR_SUCCESS, 16},    // size query, no type wanted
      {false, false, true, 0, ERROR_SUCCESS, 0},       // existence and type only
      {true, true, true, 15, ERROR_MORE_DATA, 16},     // one byte short
      {true, true, true, 0, ERROR_MORE_DATA, 16},      // empty buffer
      {true, true, true, 16, ERROR_SUCCESS, 16},       // exact
      {true, true, false, 64, ERROR_SUCCESS, 16},      // larger
      {true, false, true, 0, ERROR_INVALID_PARAMETER, 0},  // data without size
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    // Guard bytes after the announced size catch any overrun.
    std::vector<BYTE> buffer(c.size + 8, 0xAB);
    DWORD size = c.size;
    DWORD type = 0xFFFF;
    LONG r = RegQueryValueExW(key, L"Text", nullptr, c.withType ? &type : nullptr, c.withData ? buffer.data() : nullptr,
                              c.withSize ? &size : nullptr);
    EXPECT_EQ(r, c.result) << i;
    if (c.withSize) {
      EXPECT_EQ(size, c.sizeAfter) << i;
    }
    if (c.withType && r != ERROR_INVALID_PARAMETER) {
      EXPECT_EQ(type, REG_SZ) << i;
    }
    for (size_t g = c.size; g < buffer.size(); ++g) ASSERT_EQ(buffer[g], 0xAB) << i << " overrun at " << g;
    if (r == ERROR_SUCCESS && c.withData) {
      EXPECT_EQ(std::memcmp(buffer.data(), text.data(), 16), 0) << i;
    }
  }

  DWORD reserved = 0;
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(key, L"Text", &reserved, nullptr, nullptr, &size), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueExW(key, L"Missing", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);  // no default
  RegCloseKey(key);
}

TEST_F(RegistryTest, NamesCompareWithoutCase) {
  HKEY key = Create(L"Software\\Vorm\\\u00c4rger");
  const std::vector<BYTE> v = Sz(L"x");
  ASSERT_EQ(RegSetValueExW(key, L"Folder", 0, REG_SZ, v.data(), static_cast<DWORD>(v.size())), ERROR_SUCCESS);
  // Setting through another spelling replaces the value and keeps the first spelling.
  ASSERT_EQ(RegSetValueExW(key, L"FOLDER", 0, REG_SZ, v.data(), static_cast<DWORD>(v.size())), ERROR_SUCCESS);
  RegCloseKey(key);

  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\vorm", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  RegCloseKey(key);

  const wchar_t* spellings[] = {L"software\\VORM\\\u00e4rger", L"Software\\Vorm\\\u00c4RGER\\"};
  for (const wchar_t* s : spellings) {
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, s, 0, KEY_READ, &key), ERROR_SUCCESS) << VormToUtf8(s);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, L"fOlDeR", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    RegCloseKey(key);
  }
  const std::string text = tree_.ReadFile("cfg/registry.reg");
  EXPECT_NE(text.find("\"Folder\"="), std::string::npos) << text;
  EXPECT_EQ(text.find("FOLDER"), std::string::npos) << text;
}

TEST_F(RegistryTest, ReadsHandWrittenFiles) {
  const std::string body =
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
      "\r\n"
      "; a comment\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Nolvane\\VOR\\VormHeapDebugFlags]\r\n"
      "\"DoHeapCheck\"=dword:00000001\r\n"
      "\"Quote\"=\"say \\\"hi\\\" C:\\\\\"\r\n"
      "@=\"the default\"\r\n"
      "  \"Spaced\" = dword:1f\r\n"
      "\"Long\"=hex:01,02,\\\r\n"
      "  03,04,\\\r\n"
      "  05\r\n"
      "\"Gone\"=\"x\"\r\n"
      "\"Gone\"=-\r\n"
      "\r\n"
      "[HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders]\n"
      "\"Desktop\"=\"/home/u/Desktop\"\n"
      "\"Multi\"=hex(7):61,00,00,00,00,00\n"
      "[-HKEY_CURRENT_USER\\Dropped]\n"
      "\"Ignored\"=\"under a deleted key\"\n";
  tree_.WriteFile("hand.reg", body);
  UseFile("hand.reg");

  struct Case {
    HKEY root;
    const wchar_t* key;
    const wchar_t* value;
    DWORD type;
    std::vector<BYTE> data;
  } cases[] = {
      {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Nolvane\\VOR\\VormHeapDebugFlags", L"DoHeapCheck", REG_DWORD, {1, 0, 0, 0}},
      {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Nolvane\\VOR\\VormHeapDebugFlags", L"Quote", REG_SZ, Sz(L"say \"hi\" C:\\")},
      {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Nolvane\\VOR\\VormHeapDebugFlags", nullptr, REG_SZ, Sz(L"the default")},
      {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Nolvane\\VOR\\VormHeapDebugFlags", L"Spaced", REG_DWORD, {0x1f, 0, 0, 0}},
      {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Nolvane\\VOR\\VormHeapDebugFlags", L"Long", REG_BINARY, {1, 2, 3, 4, 5}},
      {HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", L"Desktop", REG_SZ,
       Sz(L"/home/u/Desktop")},
      {HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", L"Multi",
       REG_MULTI_SZ, Bytes(std::wstring(L"a\0\0", 3))},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(cases[i].root, cases[i].key, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS) << i;
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_EQ(Read(key, cases[i].value, &type, &data), ERROR_SUCCESS) << i;
    EXPECT_EQ(type, cases[i].type) << i;
    EXPECT_EQ(data, cases[i].data) << i;
    RegCloseKey(key);
  }
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Nolvane\\VOR\\VormHeapDebugFlags", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(key, L"Gone", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Dropped", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);

  // The same content as UTF-16LE with a BOM.
  std::string utf16 = "\xFF\xFE";
  for (char c : std::string("Windows Registry Editor Version 5.00\r\n[HKEY_USERS\\U]\r\n\"V\"=\"w\"\r\n")) {
    utf16.push_back(c);
    utf16.push_back('\0');
  }
  tree_.WriteFile("utf16.reg", utf16);
  UseFile("utf16.reg");
  ASSERT_EQ(RegOpenKeyExW(HKEY_USERS, L"U", 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD type = 0;
  std::vector<BYTE> data;
  EXPECT_EQ(Read(key, L"V", &type, &data), ERROR_SUCCESS);
  EXPECT_EQ(data, Sz(L"w"));
  RegCloseKey(key);
}

TEST_F(RegistryTest, MalformedFileFailsLookupsAndIsNotOverwritten) {
  const std::string header = "Windows Registry Editor Version 5.00\n";
  const std::string bad[] = {
      "[HKEY_CURRENT_USER\\K]\n\"V\"=\"x\"\n",                       // no header
      header + "[HKEY_CURRENT_USER\\K]\n\"V\"=hex:01,zz\n",          // bad hex byte
      header + "[HKEY_CURRENT_USER\\K]\n\"V\"=hex:123\n",            // byte too wide
      header + "[HKEY_NOWHERE\\K]\n",                                // unknown root
      header + "[HKEY_CURRENT_USER\\K\n",                             // no closing bracket
      header + "[HKEY_CURRENT_USER\\\\K]\n",                          // empty key name
      header + "\"V\"=\"x\"\n",                                       // value outside a key
      header + "[HKEY_CURRENT_USER\\K]\n\"V\"=\"unterminated\n",       // quote not closed
      header + "[HKEY_CURRENT_USER\\K]\n\"V\"=\"C:\\Temp\"\n",         // unknown escape
      header + "[HKEY_CURRENT_USER\\K]\n\"V\"=\"x\" trailing\n",       // text after the string
      header + "[HKEY_CURRENT_USER\\K]\n\"V\"=dword:123456789\n",     // dword too wide
      header + "[HKEY_CURRENT_USER\\K]\n\"V\"=hex(2):41\n",           // odd UTF-16 byte count
      header + "[HKEY_CURRENT_USER\\K]\n\"V\"=hex:01,\\\n",           // continuation at the end
      header + "[HKEY_CURRENT_USER\\K]\n\"V\"=word:1\n",              // unknown data kind
      header + "[HKEY_CURRENT_USER\\K]\nstray\n",                    // stray line
      std::string("\xFF\xFE\x41", 3),                                // odd-sized UTF-16 file
  };
  for (size_t i = 0; i < std::size(bad); ++i) {
    // A new file name per case: the store must not mistake one case for the last.
    const std::string rel = "bad" + std::to_string(i) + ".reg";
    tree_.WriteFile(rel, bad[i]);
    UseFile(rel);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"K", 0, KEY_READ, &key), ERROR_BADDB) << i;
    EXPECT_EQ(key, nullptr) << i;
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(HKEY_CURRENT_USER, L"V", nullptr, nullptr, nullptr, &size), ERROR_BADDB) << i;
    const BYTE one[4] = {1, 0, 0, 0};
    EXPECT_EQ(RegSetValueExW(HKEY_CURRENT_USER, L"V", 0, REG_DWORD, one, 4), ERROR_BADDB) << i;
    EXPECT_EQ(tree_.ReadFile(rel), bad[i]) << i;
  }

  // Repairing the file makes it usable again.
  tree_.WriteFile("bad0.reg", header + "[HKEY_CURRENT_USER\\K]\n\"V\"=\"x\"\n");
  UseFile("bad0.reg");
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"K", 0, KEY_READ, &key), ERROR_SUCCESS);
  RegCloseKey(key);
}

TEST_F(RegistryTest, WritesAreAtomicAndFollowOutsideChanges) {
  HKEY key = Create(L"A\\B\\C");  // the folder "cfg" does not exist yet
  for (DWORD i = 0; i < 5; ++i) {
    ASSERT_EQ(RegSetValueExW(key, L"N", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&i), 4), ERROR_SUCCESS);
  }
  ASSERT_EQ(RegDeleteValueW(key, L"N"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(key, L"N"), ERROR_FILE_NOT_FOUND);
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(tree_.root() / "cfg")) {
    names.push_back(e.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{"registry.reg"});

  // Another writer replaces the file, keeping its size: the next lookup sees the change.
  const std::string header = "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A\\B\\C]\n";
  tree_.WriteFile("cfg/registry.reg", header + "\"N\"=dword:00000001\n");
  DWORD value = 0;
  DWORD size = 4;
  EXPECT_EQ(RegQueryValueExW(key, L"N", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
  EXPECT_EQ(value, 1u);
  tree_.WriteFile("cfg/registry.reg", header + "\"N\"=dword:00000002\n");
  EXPECT_EQ(RegQueryValueExW(key, L"N", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
  EXPECT_EQ(value, 2u);

  // The key vanishes from the file while a handle is open.
  tree_.WriteFile("cfg/registry.reg", "Windows Registry Editor Version 5.00\n");
  EXPECT_EQ(RegQueryValueExW(key, L"N", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryTest, HandlesAccessAndBadArguments) {
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Missing", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);  // no file
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Nolvane", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);  // closed twice
  EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(key, L"V", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);

  struct Case {
    const wchar_t* path;
    LONG result;
  } opens[] = {
      {L"SOFTWARE\\Nolvane", ERROR_SUCCESS}, {L"software\\nolvane\\", ERROR_SUCCESS}, {L"", ERROR_SUCCESS},
      {nullptr, ERROR_SUCCESS},             {L"SOFTWARE\\Other", ERROR_FILE_NOT_FOUND},
      {L"\\SOFTWARE", ERROR_BAD_PATHNAME},   {L"SOFTWARE\\\\Nolvane", ERROR_BAD_PATHNAME},
  };
  for (size_t i = 0; i < std::size(opens); ++i) {
    key = reinterpret_cast<HKEY>(&size);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, opens[i].path, 0, 0xF003F, &key), opens[i].result) << i;
    if (opens[i].result == ERROR_SUCCESS) {
      EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS) << i;
    } else {
      EXPECT_EQ(key, nullptr) << i;
    }
  }
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);

  // A read-only handle reads but does not write; one without query rights does not read.
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Nolvane", 0, KEY_READ, &key), ERROR_SUCCESS);
  const BYTE one[4] = {1, 0, 0, 0};
  EXPECT_EQ(RegSetValueExW(key, L"V", 0, REG_DWORD, one, 4), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueW(key, L"V"), ERROR_ACCESS_DENIED);
  RegCloseKey(key);
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Nolvane", 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(key, L"V", 0, REG_DWORD, one, 4), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExW(key, L"V", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
  // Data the file cannot carry is refused.
  EXPECT_EQ(RegSetValueExW(key, L"S", 0, REG_SZ, one, 3), ERROR_INVALID_PARAMETER);
  const wchar_t tooBig[] = {static_cast<wchar_t>(0x110000), 0};
  EXPECT_EQ(RegSetValueExW(key, L"S", 0, REG_SZ, reinterpret_cast<const BYTE*>(tooBig), sizeof tooBig),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExW(key, L"a\nb", 0, REG_DWORD, one, 4), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExW(key, L"S", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
  RegCloseKey(key);
}

TEST_F(RegistryTest, ConcurrentWritersLoseNothing) {
  constexpr int kThreads = 4;
  constexpr DWORD kValues = 10;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      HKEY key = nullptr;
      const std::wstring path = L"Threads\\T" + std::to_wstring(t);
      if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != 0) {
        return;
      }
      for (DWORD i = 0; i < kValues; ++i) {
        RegSetValueExW(key, std::to_wstring(i).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&i), 4);
      }
      RegCloseKey(key);
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, (L"Threads\\T" + std::to_wstring(t)).c_str(), 0, KEY_READ, &key),
              ERROR_SUCCESS);
    for (DWORD i = 0; i < kValues; ++i) {
      DWORD v = 99;
      DWORD size = 4;
      EXPECT_EQ(RegQueryValueExW(key, std::to_wstring(i).c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &size),
                ERROR_SUCCESS);
      EXPECT_EQ(v, i) << t;
    }
    RegCloseKey(key);
  }
}

}  // namespace

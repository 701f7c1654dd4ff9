// The registry API over one .reg file: a process-wide store that caches the parsed file,
// re-reads it when it changed on disk, and rewrites it atomically on every change.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vorm/platform/kernel.h>
#include <vorm/platform/registry.h>
#include <vorm/platform/text.h>

#include "platform/registry/reg_tree.h"

namespace registry_details {
namespace {

constexpr ULONG_PTR kRootBase = 0x80000000u;

// What an HKEY from RegOpenKeyExW/RegCreateKeyExW points at. The key is named by its
// path, not by a tree node, because a reload replaces the tree.
struct KeyHandle {
  int root;
  std::vector<std::wstring> path;
  REGSAM access;
};

struct FileStamp {
  bool exists = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  timespec mtime{};
  timespec ctime{};

  bool operator==(const FileStamp& o) const {
    return exists == o.exists && dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
           mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec;
  }
};

FileStamp StampOf(const struct stat& st) {
  FileStamp s;
  s.exists = true;
  s.dev = st.st_dev;
  s.ino = st.st_ino;
  s.size = st.st_size;
  s.mtime = st.st_mtim;
  s.ctime = st.st_ctim;
  return s;
}

bool ReadWholeFile(const std::string& path, std::string* out, int* err) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *err = errno;
    return false;
  }
  out->clear();
  char buf[16384];
  while (true) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      *err = errno;
      close(fd);
      return false;
    }
    if (n == 0) break;
    out->append(buf, static_cast<size_t>(n));
  }
  close(fd);
  return true;
}

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// mkdir -p; true when the folder exists afterwards.
bool MakeFolders(const std::string& dir) {
  if (dir.empty()) return true;
  struct stat st;
  if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  size_t slash = dir.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolders(dir.substr(0, slash))) return false;
  return mkdir(dir.c_str(), 0777) == 0 || errno == EEXIST;
}

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  struct passwd pw;
  struct passwd* found = nullptr;
  std::vector<char> buf(16384);
  if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir) return found->pw_dir;
  return std::string();
}

// $VORM_REGISTRY, else $XDG_CONFIG_HOME/vorm/registry.reg, else ~/.config/vorm/registry.reg.
std::string RegistryPath() {
  const char* explicitPath = std::getenv("VORM_REGISTRY");
  if (explicitPath && *explicitPath) return explicitPath;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg == '/') return std::string(xdg) + "/vorm/registry.reg";
  std::string home = HomeFolder();
  if (home.empty()) return std::string();
  return home + "/.config/vorm/registry.reg";
}

timespec Now() {
  timespec t{};
  clock_gettime(CLOCK_REALTIME, &t);
  return t;
}

// Process-wide store. All members under mutex_; handles are owned by the store and live
// from RegOpenKeyExW/RegCreateKeyExW to RegCloseKey.
class Store {
 public:
  static Store& Get() {
    static Store* store = new Store;  // never destroyed: callers may run during exit
    return *store;
  }

  LONG Open(HKEY key, const wchar_t* subKey, REGSAM access, HKEY* result) {
    std::lock_guard<std::mutex> lock(mutex_);
    KeyHandle base;
    if (!Resolve(key, &base)) return ERROR_INVALID_HANDLE;
    std::vector<std::wstring> parts;
    if (!SplitKeyPath(subKey ? subKey : L"", &parts)) return ERROR_BAD_PATHNAME;
    if (LONG err = Refresh()) return err;
    RegKey* node = Locate(base);
    if (!node) return ERROR_KEY_DELETED;
    for (const std::wstring& p : parts) {
      node = node->FindChild(p);
      if (!node) return ERROR_FILE_NOT_FOUND;
    }
    *result = NewHandle(base, parts, access);
    return ERROR_SUCCESS;
  }

  LONG Create(HKEY key, const wchar_t* subKey, REGSAM access, HKEY* result, DWORD* disposition) {
    std::lock_guard<std::mutex> lock(mutex_);
    KeyHandle base;
    if (!Resolve(key, &base)) return ERROR_INVALID_HANDLE;
    std::vector<std::wstring> parts;
    if (!SplitKeyPath(subKey, &parts) || base.path.size() + parts.size() > kMaxKeyDepth) return ERROR_BAD_PATHNAME;
    for (const std::wstring& p : parts) {
      if (p.find_first_of(L"\r\n") != std::wstring::npos) return ERROR_BAD_PATHNAME;  // cannot be stored
    }
    if (LONG err = Refresh()) return err;
    RegKey* node = Locate(base);
    if (!node) return ERROR_KEY_DELETED;
    bool createdAny = false;
    for (const std::wstring& p : parts) {
      RegKey* child = node->FindChild(p);
      if (!child) {
        if (!(base.access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
        child = node->GetOrAddChild(p, nullptr);
        createdAny = true;
      }
      node = child;
    }
    if (createdAny) {
      if (LONG err = Save()) return err;
    }
    if (disposition) *disposition = createdAny ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = NewHandle(base, parts, access);
    return ERROR_SUCCESS;
  }

  LONG Close(HKEY key) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (RootIndex(key) >= 0) return ERROR_SUCCESS;
    auto it = handles_.find(reinterpret_cast<KeyHandle*>(key));
    if (it == handles_.end()) return ERROR_INVALID_HANDLE;
    delete *it;
    handles_.erase(it);
    return ERROR_SUCCESS;
  }

  // The key behind an open handle that grants `access`, from a fresh read of the file.
  // Caller holds the mutex.
  LONG KeyFor(HKEY key, REGSAM access, RegKey** node) {
    KeyHandle base;
    if (!Resolve(key, &base)) return ERROR_INVALID_HANDLE;
    if (!(base.access & access)) return ERROR_ACCESS_DENIED;
    if (LONG err = Refresh()) return err;
    *node = Locate(base);
    return *node ? ERROR_SUCCESS : ERROR_KEY_DELETED;
  }

  LONG Query(HKEY key, const wchar_t* name, DWORD* type, BYTE* data, DWORD* dataSize) {
    std::lock_guard<std::mutex> lock(mutex_);
    RegKey* node = nullptr;
    if (LONG err = KeyFor(key, KEY_QUERY_VALUE, &node)) return err;
    const RegValue* v = node->FindValue(name ? name : L"");
    if (!v) return ERROR_FILE_NOT_FOUND;
    if (type) *type = v->type;
    DWORD needed = static_cast<DWORD>(v->data.size());
    if (data) {
      if (*dataSize < needed) {
        *dataSize = needed;
        return ERROR_MORE_DATA;
      }
      if (needed) std::memcpy(data, v->data.data(), needed);
    }
    if (dataSize) *dataSize = needed;
    return ERROR_SUCCESS;
  }

  LONG Set(HKEY key, const wchar_t* name, DWORD type, std::vector<BYTE> data) {
    std::lock_guard<std::mutex> lock(mutex_);
    RegKey* node = nullptr;
    if (LONG err = KeyFor(key, KEY_SET_VALUE, &node)) return err;
    node->SetValue(name ? name : L"", type, std::move(data));
    return Save();
  }

  LONG Delete(HKEY key, const wchar_t* name) {
    std::lock_guard<std::mutex> lock(mutex_);
    RegKey* node = nullptr;
    if (LONG err = KeyFor(key, KEY_SET_VALUE, &node)) return err;
    if (!node->RemoveValue(name ? name : L"")) return ERROR_FILE_NOT_FOUND;
    return Save();
  }

 private:
  static int RootIndex(HKEY key) {
    ULONG_PTR v = reinterpret_cast<ULONG_PTR>(key);
    if (v >= kRootBase && v < kRootBase + kRootCount) return static_cast<int>(v - kRootBase);
    return -1;
  }

  // Copies what `key` names into *out; false for a handle this store did not hand out.
  bool Resolve(HKEY key, KeyHandle* out) const {
    int root = RootIndex(key);
    if (root >= 0) {
      *out = KeyHandle{root, {}, KEY_ALL_ACCESS};
      return true;
    }
    auto it = handles_.find(reinterpret_cast<KeyHandle*>(key));
    if (it == handles_.end()) return false;
    *out = **it;
    return true;
  }

  HKEY NewHandle(const KeyHandle& base, const std::vector<std::wstring>& parts, REGSAM access) {
    auto* h = new KeyHandle{base.root, base.path, access};
    h->path.insert(h->path.end(), parts.begin(), parts.end());
    handles_.insert(h);
    return reinterpret_cast<HKEY>(h);
  }

  RegKey* Locate(const KeyHandle& h) const {
    RegKey* node = tree_.roots[h.root].get();
    for (const std::wstring& p : h.path) {
      node = node->FindChild(p);
      if (!node) return nullptr;
    }
    return node;
  }

  // Brings the cache up to date with the file. Returns 0, or the error every lookup
  // reports while the file stays as it is (ERROR_BADDB for a malformed file).
  LONG Refresh() {
    std::string path = RegistryPath();
    if (path.empty()) return ERROR_PATH_NOT_FOUND;
    if (path != path_) {
      path_ = path;
      loaded_ = false;
    }
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
      if (errno != ENOENT && errno != ENOTDIR) return static_cast<LONG>(VormErrorFromErrno(errno));
      if (!loaded_ || stamp_.exists) Install(RegTree(), FileStamp(), std::string(), 0);
      return ERROR_SUCCESS;
    }
    FileStamp stamp = StampOf(st);
    // File times are taken from a coarse clock: a change written in the same tick as our
    // last read can leave the stamp unchanged, so a recent file is compared by content.
    bool recent = stamp.mtime.tv_sec + 2 >= loadedAt_.tv_sec;
    if (loaded_ && stamp == stamp_ && !recent) return loadError_;
    std::string bytes;
    int err = 0;
    if (!ReadWholeFile(path, &bytes, &err)) return static_cast<LONG>(VormErrorFromErrno(err));
    if (loaded_ && stamp_.exists && bytes == bytes_) {
      stamp_ = stamp;
      loadedAt_ = Now();
      return loadError_;
    }
    RegTree tree;
    std::string parseError;
    if (!ParseRegFile(bytes, &tree, &parseError)) {
      Install(RegTree(), stamp, std::move(bytes), ERROR_BADDB);
      return ERROR_BADDB;
    }
    Install(std::move(tree), stamp, std::move(bytes), 0);
    return ERROR_SUCCESS;
  }

  void Install(RegTree tree, const FileStamp& stamp, std::string bytes, LONG error) {
    tree_ = std::move(tree);
    stamp_ = stamp;
    bytes_ = std::move(bytes);
    loadError_ = error;
    loadedAt_ = Now();
    loaded_ = true;
  }

  // Writes the tree to a temporary file beside the registry file and renames it over
  // the file. On failure the cache is dropped so that the next call re-reads the file
  // and the change is not seen as made.
  LONG Save() {
    std::string target = path_;
    char resolved[PATH_MAX];
    struct stat lst;
    if (lstat(target.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode) && realpath(target.c_str(), resolved)) {
      target = resolved;  // keep a symbolic link in place and replace what it points at
    }
    size_t slash = target.find_last_of('/');
    std::string dir = slash == std::string::npos ? std::string(".") : target.substr(0, slash);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    LONG result = ERROR_SUCCESS;
    std::string text = FormatRegFile(tree_);
    if (!MakeFolders(dir)) {
      result = static_cast<LONG>(VormErrorFromErrno(errno));
    } else {
      std::string temp = dir + "/." + base + ".XXXXXX";
      int fd = mkostemp(temp.data(), O_CLOEXEC);
      if (fd < 0) {
        result = static_cast<LONG>(VormErrorFromErrno(errno));
      } else {
        struct stat old;
        if (stat(target.c_str(), &old) == 0) fchmod(fd, old.st_mode & 07777);
        bool ok = WriteAll(fd, text) && fsync(fd) == 0;
        int err = errno;
        if (close(fd) != 0 && ok) {
          ok = false;
          err = errno;
        }
        if (ok && rename(temp.c_str(), target.c_str()) != 0) {
          ok = false;
          err = errno;
        }
        if (!ok) {
          unlink(temp.c_str());
          result = static_cast<LONG>(VormErrorFromErrno(err));
        }
      }
    }
    struct stat st;
    if (result == ERROR_SUCCESS && stat(path_.c_str(), &st) == 0) {
      stamp_ = StampOf(st);
      bytes_ = std::move(text);
      loadedAt_ = Now();
    } else {
      loaded_ = false;
    }
    return result;
  }

  std::mutex mutex_;
  std::unordered_set<KeyHandle*> handles_;
  std::string path_;
  bool loaded_ = false;
  FileStamp stamp_;
  timespec loadedAt_{};
  std::string bytes_;
  RegTree tree_;
  LONG loadError_ = 0;
};

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

}  // namespace
}  // namespace registry_details

using registry_details::Store;

LONG RegOpenKeyExW(HKEY key, const wchar_t* subKey, DWORD /*options*/, REGSAM access, HKEY* result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  return Store::Get().Open(key, subKey, access, result);
}

LONG RegQueryValueExW(HKEY key, const wchar_t* valueName, DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataSize) {
  if (reserved || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
  return Store::Get().Query(key, valueName, type, data, dataSize);
}

LONG RegCloseKey(HKEY key) { return Store::Get().Close(key); }

LONG RegCreateKeyExW(HKEY key, const wchar_t* subKey, DWORD /*reserved*/, wchar_t* /*className*/, DWORD /*options*/,
                     REGSAM access, SECURITY_ATTRIBUTES* /*security*/, HKEY* result, DWORD* disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  if (!subKey) return ERROR_INVALID_PARAMETER;
  return Store::Get().Create(key, subKey, access, result, disposition);
}

LONG RegSetValueExW(HKEY key, const wchar_t* valueName, DWORD /*reserved*/, DWORD type, const BYTE* data,
                    DWORD dataSize) {
  if (!data && dataSize) return ERROR_INVALID_PARAMETER;
  if (valueName && std::wcspbrk(valueName, L"\r\n")) return ERROR_INVALID_PARAMETER;  // cannot be stored
  std::vector<BYTE> bytes(data, data + dataSize);
  if (registry_details::IsStringType(type)) {
    // Wide data is kept as code points and stored as UTF-16: it must be whole units
    // that UTF-16 can carry.
    if (dataSize % sizeof(wchar_t) != 0) return ERROR_INVALID_PARAMETER;
    for (size_t i = 0; i < dataSize; i += sizeof(wchar_t)) {
      wchar_t c;
      std::memcpy(&c, data + i, sizeof c);
      if (static_cast<unsigned long>(c) > 0x10FFFF) return ERROR_INVALID_PARAMETER;
    }
  }
  return Store::Get().Set(key, valueName, type, std::move(bytes));
}

LONG RegDeleteValueW(HKEY key, const wchar_t* valueName) { return Store::Get().Delete(key, valueName); }

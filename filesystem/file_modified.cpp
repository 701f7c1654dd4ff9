// The file status registry and its comparison.
#include <cwchar>
#include <list>

#include <vorm/file_modified.h>

namespace VormFileModifiedManager_details {
namespace {
// The last status seen per file, in the order files were first asked about (a changed file
// moves to the end). Process-wide, no lock: see the header.
std::list<VormFileModifiedStatus> g_registry;
}  // namespace
}  // namespace VormFileModifiedManager_details

using VormFileModifiedManager_details::g_registry;

VormFileModifiedStatus::VormFileModifiedStatus() = default;

VormFileModifiedStatus::VormFileModifiedStatus(CFileStatus status) : CFileStatus(status) {}

VormFileModifiedStatus::VormFileModifiedStatus(const VormFileModifiedStatus& other) = default;

VormFileModifiedStatus::~VormFileModifiedStatus() = default;

VormFileModifiedStatus& VormFileModifiedStatus::operator=(const VormFileModifiedStatus& other) {
  if (this == &other) return *this;
  std::wmemcpy(m_szFullName, other.m_szFullName, MAX_PATH);
  m_ctime = other.m_ctime;
  m_mtime = other.m_mtime;
  m_size = other.m_size;
  return *this;
}

bool VormFileModifiedStatus::operator==(const VormFileModifiedStatus& other) const {
  if (this == &other) return true;
  return std::wcsncmp(m_szFullName, other.m_szFullName, MAX_PATH) == 0 && m_ctime == other.m_ctime &&
         m_mtime == other.m_mtime && m_size == other.m_size;
}

bool VormFileModifiedStatus::operator!=(const VormFileModifiedStatus& other) const { return !(*this == other); }

VormFileModifiedManager::VormFileModifiedManager() = default;

VormFileModifiedManager::~VormFileModifiedManager() = default;

bool VormFileModifiedManager::IsModified(VormPath path) {
  CFileStatus status;
  if (!CFile::GetStatus(path, status)) return true;
  VormFileModifiedStatus current(status);

  auto stored = g_registry.end();
  for (auto it = g_registry.begin(); it != g_registry.end(); ++it) {
    if (std::wcsncmp(it->m_szFullName, current.m_szFullName, MAX_PATH) == 0) {
      stored = it;
      break;
    }
  }
  if (stored == g_registry.end()) {
    g_registry.push_back(current);
    return true;
  }
  if (stored->m_mtime == current.m_mtime) return false;

  // Drop every entry equal to the stored one (there is one unless a caller built
  // duplicates), then keep the new status.
  VormFileModifiedStatus old(*stored);
  g_registry.remove_if([&old](const VormFileModifiedStatus& s) { return s == old; });
  g_registry.push_back(current);
  return true;
}

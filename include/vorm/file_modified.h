// Has this file changed since anybody last asked? VormFileModifiedManager::IsModified keeps,
// for the whole process, the last status seen of every file asked about and compares the
// file's current last-write time (whole seconds) with it. VormFileModifiedStatus is the
// status record it keeps: CFileStatus with value comparison.
//
// Thread rule: the registry of statuses is process-wide and has no lock; IsModified must
// not run in two threads at once. The registry lives until the library is unloaded; there
// is no operation to forget a file.
#pragma once

#include <vorm/export.h>
#include <vorm/path.h>
#include <vorm/platform/mfc_file.h>

// A file status compared by value. A plain value.
class VORM_API VormFileModifiedStatus : public CFileStatus {
 public:
  // The three times are zero, as are the other fields.
  VormFileModifiedStatus();
  VormFileModifiedStatus(CFileStatus status);  // every field copied
  VormFileModifiedStatus(const VormFileModifiedStatus& other);
  virtual ~VormFileModifiedStatus();

  // Copies the full name, creation time, last-write time and size; the access time and the
  // attribute stay as they were.
  VormFileModifiedStatus& operator=(const VormFileModifiedStatus& other);
  // True for the same object, or when full names (as text, case counts), creation times,
  // last-write times and sizes are all equal; access time and attribute are not compared.
  bool operator==(const VormFileModifiedStatus& other) const;
  bool operator!=(const VormFileModifiedStatus& other) const;
};

class VORM_API VormFileModifiedManager {
 public:
  VormFileModifiedManager();
  virtual ~VormFileModifiedManager();

  // True when `path` is seen for the first time, when its last-write time differs from the
  // one stored at the last call that reported a change, and every time its status cannot
  // be read (missing or unreadable; nothing is stored then). The file is identified by the
  // absolute name the status query reports (CFile::GetStatus), so a relative path, or one
  // written with other separators, finds the same entry as the absolute one; letter case
  // counts, as it does for the file system. Two changes within one second are not told
  // apart.
  //   first call => true;  again at once => false;  after a rewrite => true, then false
  static bool IsModified(VormPath path);
};

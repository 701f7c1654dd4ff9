// VormStdioFile: a report or log file opened in one step. The constructor optionally stamps
// the file name with the current time, creates the file's folder and any missing parents,
// opens the file as text for reading and writing with exclusive sharing (emptied, or kept
// and appended to), and optionally writes a two-line header. Everything after construction
// is CStdioFile's own interface (WriteString, Flush, Close, ...). Text goes to the file as
// UTF-8 with "\n" line ends.
//
// Thread rule: one thread at a time per object. Ownership: the object owns its file and
// closes it when destroyed. While it is open, another open of the same file through the
// platform file classes, in this process or another, fails with a sharing violation.
#pragma once

#include <vorm/export.h>
#include <vorm/path.h>
#include <vorm/platform/mfc_file.h>
#include <vorm/platform/wintypes.h>

class VORM_API VormStdioFile : public CStdioFile {
 public:
  // - An empty `path` gives an object with no file (IsOpened() FALSE) and no error.
  // - `timestamp`: " - " and the current time in seconds since 1970 (its low 32 bits as a
  //   signed number) are added to the file title; the separator written is the backslash:
  //     "/logs/run.txt" at 1700000000 => "\logs\run - 1700000000.txt"
  // - The folder (root joined with directory) is created first; a failure there shows as
  //   the open's failure.
  // - `overwrite` empties an existing file; otherwise its contents stay and every write
  //   goes to its end.
  // - `header` writes "File Report - <path>\nOpened:  <ctime text>\n" (the ctime text has
  //   its own "\n"); the "Opened:" line is left out when the time cannot be turned into
  //   text.
  // Throws CFileException* (cause, platform error code, file name) when the file cannot be
  // opened; the catcher calls Delete() on it.
  VormStdioFile(VormPath path, BOOL timestamp, BOOL overwrite, BOOL header);
  ~VormStdioFile() override;

  // TRUE once the constructor has opened the file; it stays TRUE even after Close().
  BOOL IsOpened() const { return m_opened; }

 protected:
  BOOL m_opened;
};

// The report file's constructor.
#include <vorm/file_ops.h>
#include <vorm/platform/time.h>
#include <vorm/stdio_file.h>

VormStdioFile::VormStdioFile(VormPath path, BOOL timestamp, BOOL overwrite, BOOL header) : m_opened(FALSE) {
  VormPath p(path, 0);
  if (p.GetText().IsEmpty()) return;

  __time64_t now = _time64(nullptr);

  if (timestamp) {
    CString title;
    title.Format(L"%s - %d", static_cast<const wchar_t*>(p.GetFileTitle()), static_cast<int>(static_cast<DWORD>(now)));
    p.SetFileTitle(title);
  }

  // The folder's creation may fail (a missing drive, no permission); the open then fails
  // with the reason.
  VormPath folder = p.GetRoot().Join(static_cast<const wchar_t*>(p.GetDirectory()));
  VormCreatePath(folder);

  UINT flags = CFile::modeCreate | CFile::modeReadWrite | CFile::shareExclusive | CFile::typeText;
  if (!overwrite) flags |= CFile::modeNoTruncate;
  CFileException error(CFileException::none, -1);
  if (!Open(p, flags, &error)) AfxThrowFileException(error.m_cause, error.m_lOsError, error.m_strFileName);

  if (header) {
    CString text = CString(L"File Report - ") + static_cast<const wchar_t*>(p);
    wchar_t stamp[MAX_PATH];
    if (_wctime64_s(stamp, MAX_PATH, &now) == 0) {
      text += L"\nOpened:  ";
      text += stamp;
    }
    text += L"\n";
    WriteString(text);
  }
  m_opened = TRUE;
}

VormStdioFile::~VormStdioFile() = default;

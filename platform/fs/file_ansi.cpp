// CreateFileA: the narrow name is ANSI text, which is UTF-8 here (see codepage.h).
#include <string>

#include <vorm/platform/codepage.h>
#include <vorm/platform/files.h>
#include <vorm/platform/text.h>

HANDLE CreateFileA(const char* fileName, DWORD access, DWORD shareMode, SECURITY_ATTRIBUTES* security,
                   DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile) {
  if (!fileName)
    return CreateFileW(nullptr, access, shareMode, security, disposition, flagsAndAttributes, templateFile);
  const std::wstring wide = VormFromUtf8(fileName);
  return CreateFileW(wide.c_str(), access, shareMode, security, disposition, flagsAndAttributes, templateFile);
}

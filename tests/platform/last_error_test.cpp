#include <cerrno>
#include <thread>

#include <gtest/gtest.h>
#include <vorm/platform/kernel.h>

TEST(LastError, IsPerThreadAndMapsErrno) {
  SetLastError(1234);
  DWORD other = 0;
  std::thread([&] { other = GetLastError(); }).join();
  EXPECT_EQ(other, 0u);
  EXPECT_EQ(GetLastError(), 1234u);

  const struct {
    int err;
    DWORD code;
  } cases[] = {{ENOENT, ERROR_FILE_NOT_FOUND},   {ENOTDIR, ERROR_PATH_NOT_FOUND},
               {EACCES, ERROR_ACCESS_DENIED},    {EEXIST, ERROR_ALREADY_EXISTS},
               {ENOTEMPTY, ERROR_DIR_NOT_EMPTY}, {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
               {12345, ERROR_GEN_FAILURE}};
  for (const auto& c : cases) EXPECT_EQ(VormErrorFromErrno(c.err), c.code) << c.err;
}

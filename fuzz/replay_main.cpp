// Runs a fuzz target over saved inputs without fuzzing: each argument is a file, or a folder
// whose files (in name order, recursively) are fed to LLVMFuzzerTestOneInput one at a time.
// A failing input aborts in the target itself, after its name was printed; this program also
// fails when it found no input, so a corpus that went missing is noticed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool Replay(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", file.c_str());
    return false;
  }
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // A copy of exactly the input's size, so a read past its end is caught as in fuzzing.
  std::vector<uint8_t> exact(bytes.begin(), bytes.end());
  // Named before it runs: a failing input aborts, and the log then ends with its name.
  std::fprintf(stderr, "%s\n", file.c_str());
  LLVMFuzzerTestOneInput(exact.data(), exact.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::filesystem::path> files;
  for (int i = 1; i < argc; ++i) {
    std::error_code ec;
    if (std::filesystem::is_directory(argv[i], ec)) {
      for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i], ec)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
    } else {
      files.emplace_back(argv[i]);
    }
  }
  std::sort(files.begin(), files.end());
  size_t replayed = 0;
  for (const auto& f : files) {
    if (!Replay(f)) return 1;
    ++replayed;
  }
  std::printf("replayed %zu inputs\n", replayed);
  return replayed ? 0 : 1;
}

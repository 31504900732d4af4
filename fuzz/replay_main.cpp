// Runs a fuzz target's LLVMFuzzerTestOneInput over saved inputs without libFuzzer, so that the
// ordinary builds (and their sanitizers) replay every input that once found a fault.
//
//   replay_<target> PATH...
//
// Each PATH is a file or a directory whose files are replayed in name order; a directory that
// or file that does not exist holds nothing. Each input is handed over in a heap buffer of exactly
// its size. A fault ends the program as it would end the fuzzer; otherwise it prints how many
// inputs ran, and fails when there were none (the paths named nothing).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

bool replay(const std::filesystem::path& file) {
  std::ifstream input(file, std::ios::binary);
  if (!input) {
    std::fprintf(stderr, "replay: cannot read %s\n", file.c_str());
    return false;
  }
  const std::vector<char> bytes((std::istreambuf_iterator<char>(input)),
                                std::istreambuf_iterator<char>());
  const std::unique_ptr<uint8_t[]> data(new uint8_t[bytes.size()]);
  std::copy(bytes.begin(), bytes.end(), data.get());
  LLVMFuzzerTestOneInput(data.get(), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
  unsigned int count = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path(argv[i]);
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(path)) {
      for (const auto& entry : std::filesystem::directory_iterator(path)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
      std::sort(files.begin(), files.end());
    } else if (std::filesystem::exists(path)) {
      files.push_back(path);
    }
    for (const auto& file : files) {
      if (!replay(file)) return 1;
      ++count;
    }
  }
  std::printf("replayed %u inputs\n", count);
  return count > 0 ? 0 : 1;
}

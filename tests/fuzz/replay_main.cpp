// Runs a fuzz target over files without libFuzzer: every file named on the
// command line, and every file in each folder named, is passed to the target
// once. The normal build (any compiler) uses it to replay the checked-in
// corpora and the inputs that once broke a target, as regression tests.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) {
    if (!fs::is_directory(argv[i])) files.push_back(argv[i]);
    else
      for (const auto& entry : fs::recursive_directory_iterator(argv[i]))
        if (entry.is_regular_file()) files.push_back(entry.path());
  }
  for (const fs::path& path : files) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "%s: cannot read %s\n", argv[0], path.string().c_str());
      return 2;
    }
    // Exactly the input's size, so that a read past its end is caught by
    // AddressSanitizer as it would be under libFuzzer.
    std::vector<uint8_t> input{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(input.data(), input.size());
  }
  std::printf("%zu inputs passed\n", files.size());
  return files.empty() ? 2 : 0;
}

// Runs a fuzz target over files without libFuzzer: every file named on the
// command line, and every file in each folder named, is passed to the target
// once. The normal build (any compiler) uses it to replay the checked-in
// corpora and the inputs that once broke a target, as regression tests.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool read_whole(const std::string& path, std::vector<uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  bytes.clear();
  uint8_t block[65536];
  size_t got;
  while ((got = std::fread(block, 1, sizeof block, file)) > 0) bytes.insert(bytes.end(), block, block + got);
  bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}

void collect(const std::string& path, std::vector<std::string>& files) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return;
  if (!S_ISDIR(info.st_mode)) {
    files.push_back(path);
    return;
  }
  DIR* dir = opendir(path.c_str());
  if (!dir) return;
  std::vector<std::string> names;
  while (dirent* entry = readdir(dir))
    if (entry->d_name[0] != '.') names.push_back(entry->d_name);
  closedir(dir);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) collect(path + "/" + name, files);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) collect(argv[i], files);
  if (files.empty()) {
    std::fprintf(stderr, "%s: no input files in the folders given\n", argv[0]);
    return 2;
  }
  std::vector<uint8_t> bytes;
  for (const std::string& path : files) {
    if (!read_whole(path, bytes)) {
      std::fprintf(stderr, "%s: cannot read %s\n", argv[0], path.c_str());
      return 2;
    }
    // A copy of exactly the input's size, so that a read past its end is
    // caught by AddressSanitizer as it would be under libFuzzer.
    std::vector<uint8_t> input(bytes);
    LLVMFuzzerTestOneInput(input.data(), input.size());
  }
  std::printf("%zu inputs passed\n", files.size());
  return 0;
}

// Golden replays: expectations read once, lines compared as they come,
// hashes of whole files at the end.
#include "tools/harness/golden.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tools/replay/frame_hash.h"

namespace {

bool exists(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

bool read_lines(const std::string& path, std::vector<std::string>& lines) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return true;
}

// The hash a sha256sum line starts with; "" when the file cannot be read.
std::string read_hash(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string hash;
  in >> hash;
  return hash;
}

std::string file_hash(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "";
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return frame_hash_hex(bytes.data(), bytes.size());
}

bool write_hash(const std::string& path, const std::string& hash, const std::string& name) {
  std::ofstream out(path, std::ios::binary);
  out << hash << "  " << name << "\n";
  return bool(out.flush());
}

// One kind of output (frames or ports): kept by line, else by hash.
int open_kind(const std::string& dir, const char* name, std::vector<std::string>& lines,
              std::string& hash, std::string& error) {
  const std::string text = dir + "/" + name + ".txt", pinned = dir + "/" + name + ".sha256";
  if (exists(text)) {
    if (read_lines(text, lines)) return -1;
    error = "cannot read " + text;
    return 0;
  }
  if (exists(pinned)) hash = read_hash(pinned);
  return -1;
}

void differ(GoldenCheck& check, long frame, const std::string& what) {
  check.first_difference = what;
  check.differing_frame = frame;
}

}  // namespace

int golden_open(GoldenCheck& check, const std::string& dir, std::string& error) {
  check = GoldenCheck{};
  check.dir = dir;
  check.audio_hash = read_hash(dir + "/audio.sha256");
  if (check.audio_hash.empty()) {
    error = "no golden in " + dir + " (its audio.sha256 is missing)";
    return 0;
  }
  return open_kind(dir, "frames", check.frames, check.frames_hash, error) &&
         open_kind(dir, "ports", check.ports, check.ports_hash, error);
}

int golden_frame(GoldenCheck& check, long frame, const std::string& line) {
  const long index = check.frames_seen++;
  if (!check.first_difference.empty() || !check.frames_hash.empty()) return 0;
  const std::string expected = index < long(check.frames.size()) ? check.frames[size_t(index)] : "(no frame)";
  if (line == expected) return 0;
  differ(check, frame, "frame " + std::to_string(frame) + " differs\n  expected: " + expected +
                           "\n  got:      " + line);
  return -1;
}

int golden_port(GoldenCheck& check, long frame, const std::string& line) {
  const long index = check.ports_seen++;
  if (!check.first_difference.empty() || !check.ports_hash.empty()) return 0;
  const std::string expected = index < long(check.ports.size()) ? check.ports[size_t(index)] : "(no write)";
  if (line == expected) return 0;
  differ(check, frame, "port write " + std::to_string(index + 1) + " (in frame " + std::to_string(frame) +
                           ") differs\n  expected: " + expected + "\n  got:      " + line);
  return -1;
}

int golden_finish(GoldenCheck& check, const std::string& out, std::string& report) {
  std::ostringstream text;
  if (!check.first_difference.empty()) text << check.first_difference << "\n";
  if (check.frames_hash.empty() && check.frames_seen != long(check.frames.size()))
    text << "the run has " << check.frames_seen << " frames, the golden " << check.frames.size() << "\n";
  if (check.ports_hash.empty() && check.ports_seen != long(check.ports.size()))
    text << "the run made " << check.ports_seen << " port writes, the golden " << check.ports.size() << "\n";
  const struct {
    const char*        file;
    const std::string& hash;
  } pinned[] = {{"frames.txt", check.frames_hash}, {"ports.txt", check.ports_hash},
                {"audio.wav", check.audio_hash}};
  for (const auto& p : pinned)
    if (!p.hash.empty() && file_hash(out + "/" + p.file) != p.hash)
      text << p.file << " is not the golden one (its SHA-256 differs)\n";
  report = text.str();
  return report.empty() ? -1 : 0;
}

int golden_write(const std::string& dir, const std::string& out, std::string& error) {
  std::error_code failed;
  std::filesystem::create_directories(dir, failed);
  for (const char* name : {"frames", "ports"}) {
    const std::string from = out + "/" + name + ".txt", pinned = dir + "/" + name + ".sha256";
    const bool ok = exists(pinned) ? write_hash(pinned, file_hash(from), std::string(name) + ".txt")
                                   : std::filesystem::copy_file(from, dir + "/" + name + ".txt",
                                                                std::filesystem::copy_options::overwrite_existing, failed);
    if (!ok) {
      error = "cannot write " + std::string(name) + " into " + dir;
      return 0;
    }
  }
  if (!write_hash(dir + "/audio.sha256", file_hash(out + "/audio.wav"), "audio.wav")) {
    error = "cannot write " + dir + "/audio.sha256";
    return 0;
  }
  return -1;
}

#include "harness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

fs::path updaterProgram() { return buildDir() / (std::string("dnUpdater") + kExe); }

fs::path sampleProgram(const std::string& version) {
  const fs::path name = std::string("DrevNaxis") + kExe;
  return version == "1.0" ? buildDir() / "v1" / name : buildDir() / name;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.is_open()) << utf8(path);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.flush()) << utf8(path);
}

std::string patternBytes(std::size_t size, unsigned seed) {
  std::mt19937 gen(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(gen() & 0xFF);
  return bytes;
}

std::string utf8(const fs::path& path) {
  const auto u8 = path.u8string();
  return {u8.begin(), u8.end()};
}

std::string lines(const std::vector<std::string>& texts) {
  std::string out;
  for (const auto& text : texts) out += text + kNewline;
  return out;
}

namespace {

fs::path freshTempDir() {
  static std::atomic<unsigned> counter{0};
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  fs::path dir =
      fs::temp_directory_path() / ("dnu-" + std::to_string(now) + "-" + std::to_string(counter++));
  fs::create_directories(dir);
  return dir;
}

}  // namespace

// root ("Program Files": a space the command lines must carry) sits in a
// directory of its own, so ../DrevNaxis.exe seen from root is missing.
Installation::Installation() : Installation(freshTempDir() / "Program Files") { owned_ = true; }

Installation::Installation(const fs::path& rootDir)
    : root(rootDir),
      upd(rootDir / "upd"),
      updater(upd / (std::string("dnUpdater") + kExe)),
      installed(rootDir / "DrevNaxis.exe"),
      newCopy(upd / "DrevNaxis.exe"),
      recordFile(upd / "record.txt"),
      owned_(false) {
  fs::create_directories(upd);
  fs::copy_file(updaterProgram(), updater, fs::copy_options::overwrite_existing);
}

Installation::~Installation() {
  std::error_code ignored;
  fs::remove_all(owned_ ? root.parent_path() : upd, ignored);
}

Outcome Installation::run(const std::string& argv0, const fs::path& cwd,
                          const std::vector<std::string>& extraArgs,
                          const std::vector<std::string>& env) const {
  Launch launch{updater, {argv0}, cwd, env};
  launch.args.insert(launch.args.end(), extraArgs.begin(), extraArgs.end());
  launch.env.push_back("DREVNAXIS_RECORD=" + utf8(recordFile));
  return runProgram(launch);
}

Outcome Installation::run() const { return run(utf8(updater), upd); }

std::optional<std::map<std::string, std::string>> Installation::record() const {
  // The application may outlive the updater (Windows): wait for its record's
  // last line, but not for ever.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  std::string text;
  while (std::chrono::steady_clock::now() < deadline) {
    if (fs::exists(recordFile)) {
      text = readFile(recordFile);
      if (text.size() >= 4 && text.compare(text.size() - 4, 4, "end\n") == 0) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (text.empty()) return std::nullopt;
  std::map<std::string, std::string> fields;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const auto eq = line.find('=');
    if (eq != std::string::npos) fields[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return fields;
}

void Installation::installSamples() const {
  fs::copy_file(sampleProgram("1.0"), installed);
  fs::copy_file(sampleProgram("2.0"), newCopy);
}

void expectUpdated(const Installation& inst, const Outcome& outcome) {
  EXPECT_EQ(outcome.status, 0);
  const std::string newBytes = readFile(sampleProgram("2.0"));
  EXPECT_EQ(readFile(inst.installed), newBytes);
  EXPECT_EQ(readFile(inst.newCopy), newBytes);
  const auto record = inst.record();
  ASSERT_TRUE(record.has_value()) << "the application was not started";
  EXPECT_EQ(record->at("version"), "2.0");
  EXPECT_TRUE(fs::equivalent(fs::u8path(record->at("cwd")), inst.upd)) << record->at("cwd");
  // The banner reaches a pipe also when the updater ends inside the start,
  // and before the application's own lines.
  EXPECT_EQ(outcome.out, lines({kBanner, "DrevNaxis 2.0", "argv[0]: " + record->at("argv0"),
                                "directory: " + record->at("cwd")}));
}

// Helpers for starting the built programs in a temporary installation.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

#ifdef _WIN32
inline constexpr const char* kExe = ".exe";
inline constexpr const char* kNewline = "\r\n";  // stdout is a text stream
#else
inline constexpr const char* kExe = "";
inline constexpr const char* kNewline = "\n";
#endif

struct Launch {
  fs::path program;
  // Argument words as the program sees them, argv[0] first (UTF-8). Empty:
  // no argv[0] at all (possible on POSIX only).
  std::vector<std::string> args;
  fs::path cwd;
  std::vector<std::string> env;  // NAME=value, added to the test's own
};

struct Outcome {
  int status = -1;
  std::string out;  // standard output, byte for byte
  long pid = 0;
};

// Runs the program to its end, reading its standard output until every
// holder of it (a started application too) has let go.
Outcome runProgram(const Launch& launch);

#ifdef _WIN32
// A program kept running until the object is destroyed, which closes its
// standard input and waits for it (the sample application's --hold).
class HeldProgram {
 public:
  explicit HeldProgram(const Launch& launch);
  ~HeldProgram();
  HeldProgram(const HeldProgram&) = delete;
  HeldProgram& operator=(const HeldProgram&) = delete;

 private:
  void* process_;  // HANDLEs
  void* thread_;
  void* input_;
};
#endif

// The directory holding the test program, the updater and the samples.
fs::path buildDir();
fs::path updaterProgram();
// The sample application: "2.0" is the new version, "1.0" the installed one.
fs::path sampleProgram(const std::string& version);

std::string readFile(const fs::path& path);
void writeFile(const fs::path& path, const std::string& bytes);
std::string patternBytes(std::size_t size, unsigned seed);
std::string utf8(const fs::path& path);

// The expected standard output: each line ends with the platform's newline.
std::string lines(const std::vector<std::string>& texts);

// A fresh directory tree removed again at the end of the test:
//   root/                 the application's directory, with DrevNaxis.exe
//   root/upd/             the updater and the new copy
class Installation {
 public:
  Installation();
  explicit Installation(const fs::path& root);
  ~Installation();
  Installation(const Installation&) = delete;
  Installation& operator=(const Installation&) = delete;

  fs::path root;
  fs::path upd;
  fs::path updater;    // root/upd/dnUpdater(.exe)
  fs::path installed;  // root/DrevNaxis.exe
  fs::path newCopy;    // root/upd/DrevNaxis.exe
  fs::path recordFile;

  // Runs the updater started by argv0 from cwd, with the record variable set.
  Outcome run(const std::string& argv0, const fs::path& cwd,
              const std::vector<std::string>& extraArgs = {},
              const std::vector<std::string>& env = {}) const;
  // The updater started by its full path from its own directory.
  Outcome run() const;
  // Version 1.0 of the sample application installed, 2.0 as the new copy.
  void installSamples() const;
  // What the started application wrote about itself, after a bounded wait;
  // nothing when no application was started.
  std::optional<std::map<std::string, std::string>> record() const;
  bool started() const { return fs::exists(recordFile); }

 private:
  bool owned_;
};

// Checks a successful update of installSamples(): status 0, the banner and
// then what the new version prints, both files now 2.0, and the application
// started in the updater's directory.
void expectUpdated(const Installation& inst, const Outcome& outcome);

// The updater's lines, without their newline.
inline const std::string kBanner = "Start dnUpdater..";
inline const std::string kNewMissing = "!open new file 'DrevNaxis.exe'";
inline const std::string kOldMissing = "!open old file '../DrevNaxis.exe'";
inline const std::string kSameFile = "!same file '../DrevNaxis.exe'";
inline const std::string kWriteFailed = "!write old file '../DrevNaxis.exe'";
inline const std::string kStartFailed = "!start old file '../DrevNaxis.exe'";

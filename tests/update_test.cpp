// The replacement, end to end: the built updater in a temporary installation.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "harness.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include "platform.h"
#else
#include <unistd.h>
#endif

namespace {

// The installed copy is longer than most new copies, so a tail that
// survived the overwrite would show.
const std::string kOldBytes = patternBytes(5000, 1);

TEST(Replacement, CopiesEveryByteOfTheNewCopyAndNothingElse) {
  // None of these is a program, so the start that follows fails.
  const std::size_t sizes[] = {0, 1, 511, 512, 513, 1000, 1024, 3 * 1024 * 1024 + 7};
  for (const std::size_t size : sizes) {
    SCOPED_TRACE("new copy of " + std::to_string(size) + " bytes");
    Installation inst;
    const std::string newBytes = patternBytes(size, 2);
    writeFile(inst.installed, kOldBytes);
    writeFile(inst.newCopy, newBytes);

    const Outcome outcome = inst.run();

    EXPECT_EQ(outcome.out, lines({kBanner, kStartFailed}));
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(readFile(inst.installed) == newBytes) << "installed file differs";
    EXPECT_TRUE(readFile(inst.newCopy) == newBytes) << "new copy changed";
  }
}

TEST(Replacement, MissingFilesAreReportedAndNothingIsTouched) {
  struct Case {
    const char* name;
    bool newExists;
    bool oldExists;
    std::string line;
  };
  const Case cases[] = {
      {"new copy missing", false, true, kNewMissing},
      {"installed executable missing", true, false, kOldMissing},
      {"both missing", false, false, kNewMissing},
  };
  const std::string newBytes = patternBytes(700, 3);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Installation inst;
    if (c.newExists) writeFile(inst.newCopy, newBytes);
    if (c.oldExists) writeFile(inst.installed, kOldBytes);

    const Outcome outcome = inst.run();

    EXPECT_EQ(outcome.out, lines({kBanner, c.line}));
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(fs::exists(inst.installed), c.oldExists) << "installed file created or lost";
    if (c.oldExists) {
      EXPECT_TRUE(readFile(inst.installed) == kOldBytes);
    }
    if (c.newExists) {
      EXPECT_TRUE(readFile(inst.newCopy) == newBytes);
    }
    EXPECT_FALSE(inst.started());
  }
}

// The updater finds its directory in the path it was started by, whatever
// the working directory it inherited.
TEST(Replacement, FindsItsDirectoryFromTheWayItWasStarted) {
  struct Case {
    const char* name;
    std::string argv0;  // "@" stands for the installation's root
    bool fromRoot;      // inherited working directory: root, or root/upd
    std::vector<std::string> extraArgs;
    bool updated;  // otherwise it works in root, where ../DrevNaxis.exe is missing
  };
  const std::string sep = fs::path::preferred_separator == '\\' ? "\\" : "/";
  const std::string updater = std::string("dnUpdater") + kExe;
  const std::vector<Case> cases = {
      {"full path", "@" + sep + "upd" + sep + updater, true, {}, true},
      {"full path, extra words",
       "@" + sep + "upd" + sep + updater,
       true,
       {"--now", "a b", ""},
       true},
      {"relative path", "upd/" + updater, true, {}, true},
      {"bare name, from its directory", updater, false, {}, true},
      {"bare name, from elsewhere", updater, true, {}, false},
#ifdef _WIN32
      {"relative path with backslash", "upd\\" + updater, true, {}, true},
      {"full path with forward slashes", "@/upd/" + updater, true, {}, true},
#else
      {"backslash is no separator", "upd\\" + updater, true, {}, false},
#endif
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Installation inst;
    inst.installSamples();
    std::string argv0 = c.argv0;
    if (argv0[0] == '@') {
      argv0 = utf8(inst.root) + argv0.substr(1);
    }
    const Outcome outcome = inst.run(argv0, c.fromRoot ? inst.root : inst.upd, c.extraArgs);
    if (c.updated) {
      expectUpdated(inst, outcome);
    } else {
      EXPECT_EQ(outcome.out, lines({kBanner, kOldMissing}));
      EXPECT_EQ(outcome.status, 1);
      EXPECT_EQ(readFile(inst.installed), readFile(sampleProgram("1.0")));
      EXPECT_FALSE(inst.started());
    }
  }
}

#ifndef _WIN32
TEST(Replacement, WithoutArgv0WorksInTheInheritedDirectory) {
  Installation inst;
  inst.installSamples();
  const Outcome outcome =
      runProgram({inst.updater, {}, inst.root, {"DREVNAXIS_RECORD=" + utf8(inst.recordFile)}});
  EXPECT_EQ(outcome.out, lines({kBanner, kOldMissing}));
  EXPECT_EQ(outcome.status, 1);
  EXPECT_FALSE(inst.started());
}
#endif

// Opening one file for writing under the second name would truncate it
// under the first as well, losing both copies.
TEST(Replacement, RefusesWhenBothNamesAreOneFile) {
  struct Case {
    const char* name;
    void (*link)(const Installation&);
  };
  const std::vector<Case> cases = {
      {"hard link", [](const Installation& i) { fs::create_hard_link(i.newCopy, i.installed); }},
#ifndef _WIN32
      {"installed is a symbolic link to the new copy",
       [](const Installation& i) { fs::create_symlink(i.newCopy, i.installed); }},
      {"new copy is a symbolic link to the installed one",
       [](const Installation& i) {
         fs::rename(i.newCopy, i.installed);
         fs::create_symlink(i.installed, i.newCopy);
       }},
#endif
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Installation inst;
    const std::string bytes = readFile(sampleProgram("2.0"));
    writeFile(inst.newCopy, bytes);
    c.link(inst);

    const Outcome outcome = inst.run();

    EXPECT_EQ(outcome.out, lines({kBanner, kSameFile}));
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(readFile(inst.newCopy), bytes);
    EXPECT_EQ(readFile(inst.installed), bytes);
    EXPECT_FALSE(inst.started());
  }
}

#ifndef _WIN32
TEST(Replacement, RefusesToRunFromARootDirectory) {
  // Chrooted into the installation's root, the updater started as
  // "/dnUpdater" finds its directory "/", whose ".." is "/" itself.
  const fs::path updater = buildDir() / "dnUpdater_static";
  if (!fs::exists(updater)) GTEST_SKIP() << "no static updater: sanitizer builds cannot link one";
  if (::geteuid() != 0) GTEST_SKIP() << "chroot needs root";
  Installation inst;
  const std::string bytes = readFile(sampleProgram("2.0"));
  fs::copy_file(updater, inst.root / "dnUpdater");
  writeFile(inst.root / "DrevNaxis.exe", bytes);

  const Outcome outcome =
      runProgram({"/usr/sbin/chroot", {"chroot", utf8(inst.root), "/dnUpdater"}, inst.root, {}});

  EXPECT_EQ(outcome.out, lines({kBanner, kSameFile}));
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(readFile(inst.root / "DrevNaxis.exe"), bytes);
}
#else
TEST(Replacement, RefusesToRunFromARootDirectory) {
  // ctest maps drive R: to a directory of its own. There "..\" of "R:\" is
  // "R:\" itself: the new copy is also the installed executable.
  const fs::path root = "R:\\";
  const std::string bytes = readFile(sampleProgram("2.0"));
  fs::copy_file(updaterProgram(), root / "dnUpdater.exe", fs::copy_options::overwrite_existing);
  writeFile(root / "DrevNaxis.exe", bytes);

  const Outcome outcome =
      runProgram({root / "dnUpdater.exe", {"R:\\dnUpdater.exe"}, buildDir(), {}});

  EXPECT_EQ(outcome.out, lines({kBanner, kSameFile}));
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(readFile(root / "DrevNaxis.exe"), bytes);
  fs::remove(root / "DrevNaxis.exe");
  fs::remove(root / "dnUpdater.exe");
}
#endif

TEST(Replacement, AnInstalledPathThatIsADirectoryIsLeftAlone) {
  Installation inst;
  fs::copy_file(sampleProgram("2.0"), inst.newCopy);
  fs::create_directory(inst.installed);
  writeFile(inst.installed / "inside", "kept");

  const Outcome outcome = inst.run();

  // POSIX opens a directory for reading, only writing fails; Windows opens
  // neither.
#ifdef _WIN32
  EXPECT_EQ(outcome.out, lines({kBanner, kOldMissing}));
#else
  EXPECT_EQ(outcome.out, lines({kBanner, kWriteFailed}));
#endif
  EXPECT_EQ(outcome.status, 1);
  EXPECT_TRUE(fs::is_directory(inst.installed));
  EXPECT_EQ(readFile(inst.installed / "inside"), "kept");
  EXPECT_FALSE(inst.started());
}

TEST(Replacement, ANewCopyThatCannotBeReadIsNotTakenForAnEmptyFile) {
  Installation inst;
  writeFile(inst.installed, kOldBytes);
  fs::create_directory(inst.newCopy);

  const Outcome outcome = inst.run();

  // POSIX opens a directory for reading and fails the first read, after the
  // installed file was opened for writing; Windows does not open it at all.
#ifdef _WIN32
  EXPECT_EQ(outcome.out, lines({kBanner, kNewMissing}));
  EXPECT_TRUE(readFile(inst.installed) == kOldBytes);
#else
  EXPECT_EQ(outcome.out, lines({kBanner, kWriteFailed}));
#endif
  EXPECT_EQ(outcome.status, 1);
  EXPECT_FALSE(inst.started());
}

TEST(Replacement, AWriteThatFailsPartWayIsReportedAndNothingIsStarted) {
  // DrevNaxis.exe in this installation is a link to /dev/full, made by
  // ctest: every write fails with "no space left".
  const Installation inst(buildDir() / "fixtures" / "full-install");
  const std::string newBytes = readFile(sampleProgram("2.0"));
  fs::copy_file(sampleProgram("2.0"), inst.newCopy);

  const Outcome outcome = inst.run();

  EXPECT_EQ(outcome.out, lines({kBanner, kWriteFailed}));
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(readFile(inst.newCopy), newBytes);
  EXPECT_FALSE(inst.started());
}

#ifdef _WIN32
TEST(Replacement, AnInstalledProgramThatIsRunningIsLeftAlone) {
  Installation inst;
  inst.installSamples();
  const std::string oldBytes = readFile(inst.installed);
  {
    // Windows refuses to open a running program's image for writing.
    const HeldProgram running({inst.installed, {"DrevNaxis.exe", "--hold"}, inst.root, {}});
    // Until its image is mapped, the program holds nothing: wait for that.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
      const HANDLE h = CreateFileW(inst.installed.c_str(), GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
      if (h == INVALID_HANDLE_VALUE) break;
      CloseHandle(h);
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the program never started";
      Sleep(10);
    }
    const Outcome outcome = inst.run();
    EXPECT_EQ(outcome.out, lines({kBanner, kWriteFailed}));
    EXPECT_EQ(outcome.status, 1);
  }
  EXPECT_EQ(readFile(inst.installed), oldBytes);
  EXPECT_FALSE(inst.started());
}

TEST(Replacement, ADoubleByteCharacterEndingIn5CIsNoSeparator) {
  // In code page 932, Shift-JIS, katakana "so" (U+30BD) is 0x83 0x5C. Wine
  // takes the code page from LC_ALL, which ctest sets for the "cp932." run.
  const char* locale = std::getenv("LC_ALL");
  if (GetACP() != 932) {
    ASSERT_TRUE(locale == nullptr || std::string(locale) != "ja_JP.UTF-8")
        << "LC_ALL=ja_JP.UTF-8 gave code page " << GetACP() << "; is the locale installed?";
    GTEST_SKIP() << "needs the ANSI code page 932 (LC_ALL=ja_JP.UTF-8 under Wine)";
  }
  Installation inst;
  inst.installSamples();
  // Cut at that byte, the path would name the directory "upd\dnUpdater\x83".
  const fs::path updater = inst.upd / fs::u8path("dnUpdater\u30bd.exe");
  fs::copy_file(inst.updater, updater);

  // Started from root: a directory cut at the 0x5C byte would fail to be
  // entered, and root has no ../DrevNaxis.exe.
  const Outcome outcome = inst.run(utf8(updater), inst.root);

  expectUpdated(inst, outcome);
  const auto record = inst.record();
  ASSERT_TRUE(record.has_value());
  EXPECT_EQ(record->at("acp"), "932");
}

TEST(Manifest, TheUpdaterAsksForNoElevation) {
  // Without it, installer detection would ask for elevation ("Updater").
  const HMODULE module = LoadLibraryExW(updaterProgram().c_str(), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(module, nullptr) << GetLastError();
  const HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(resource, nullptr) << "no RT_MANIFEST resource with ID 1";
  const auto* data = static_cast<const char*>(LockResource(LoadResource(module, resource)));
  const std::string manifest(data, SizeofResource(module, resource));
  FreeLibrary(module);
  EXPECT_NE(manifest.find(R"(<requestedExecutionLevel level="asInvoker" uiAccess="false"/>)"),
            std::string::npos)
      << manifest;
}

TEST(DenyNone, OthersMayReadAndWriteAnOpenFileButNotDeleteOrRenameIt) {
  const platform::OpenMode modes[] = {platform::OpenMode::readBinary, platform::OpenMode::readText,
                                      platform::OpenMode::writeBinary};
  Installation inst;
  for (const auto mode : modes) {
    SCOPED_TRACE(static_cast<int>(mode));
    writeFile(inst.installed, "content");
    const int fd = platform::openFile(utf8(inst.installed).c_str(), mode);
    ASSERT_GE(fd, 0);

    const HANDLE other = CreateFileW(inst.installed.c_str(), GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(other, INVALID_HANDLE_VALUE) << GetLastError();
    if (other != INVALID_HANDLE_VALUE) CloseHandle(other);

    EXPECT_FALSE(DeleteFileW(inst.installed.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    const fs::path moved = inst.root / "moved";
    EXPECT_FALSE(MoveFileW(inst.installed.c_str(), moved.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

    EXPECT_EQ(_close(fd), 0);
    EXPECT_TRUE(fs::exists(inst.installed));
  }
}
#endif

}  // namespace

// dnUpdater: replaces the installed DrevNaxis.exe, one directory up, with the
// new copy beside the updater, then starts it again.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "file_stream.h"

// The names resolve against the working directory, which the run makes the
// updater's own directory.
inline constexpr const char* appFileName = "DrevNaxis.exe";
inline constexpr const char* newFilePath = appFileName;
inline constexpr const char* oldFilePath = "../DrevNaxis.exe";
static_assert(std::string_view(oldFilePath) == "../DrevNaxis.exe" &&
              std::string_view(oldFilePath).substr(3) == appFileName);

inline constexpr int kStatusDone = 0;
inline constexpr int kStatusFailed = 1;

// How a platform spells paths, for finding the updater's directory.
struct PathRules {
  // Windows: '\' separates as well as '/', and "C:" starts a drive.
  bool dosPaths = false;
  // The ANSI code page's double-byte lead bytes; null where there are none.
  bool (*isLeadByte)(unsigned char) = nullptr;
};

// The directory part of the updater's path, or nothing when the path has no
// separator. A root keeps its separator ("/", "\", "C:\").
std::optional<std::string> updaterDirectory(std::string_view updaterPath, const PathRules& rules);

// Makes the updater's own directory the working directory. A path without a
// directory, or a change that fails, leaves it as inherited.
void enterUpdaterDirectory(const char* updaterPath);

// Writes the run's one failure line: "!<what> '<path>'".
void reportFailure(const char* what, const char* path);

using CopyBuffer = std::array<char, 512>;

// Opens the new copy for reading and probes the installed executable, without
// writing to either. On false the line that says why has been written.
bool openUpdateFiles(FileStream& newFileStream);
bool openOldFileStream(FileStream& oldFileStream);
// Copies the new copy in 512-byte chunks; false at the first chunk that
// cannot be read or written.
bool copyNewFile(FileStream& newFileStream, FileStream& oldFileStream, CopyBuffer& copyBuffer);
// Flushes, syncs to stable storage and closes the installed executable.
bool finishOldFile(FileStream& oldFileStream);

// Starts ../DrevNaxis.exe in place of the updater; returns only on failure.
int restartApplication();

// Runs work, turning an exception into one "Ex: " line and a failure status.
int runGuarded(std::ostream& out, const std::function<int()>& work);

// The whole update; the result is the exit status.
int runUpdater(int argc, char** argv);

// The few things that differ between Windows and POSIX. One source file per
// platform implements them; the rest of the updater is platform-free.
#pragma once

#include <string>

struct PathRules;

namespace platform {

enum class OpenMode { readBinary, readText, writeBinary };

// Opens path with the deny-none sharing mode (others may read and write the
// file, not delete or rename it). Writing creates or truncates. Returns a
// file descriptor, or -1.
int openFile(const char* path, OpenMode mode);

void closeFile(int fd);

// True when both descriptors refer to the same file.
bool sameFile(int fd1, int fd2);

// Pushes the file's data to stable storage.
bool syncFile(int fd);

bool changeDirectory(const std::string& dir);

const PathRules& pathRules();

// Replaces the updater with the program at path, its only argument word being
// path itself. Returns only when the start failed.
void startProgram(const char* path);

}  // namespace platform

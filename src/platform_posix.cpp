#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform.h"
#include "updater.h"

namespace platform {

int openFile(const char* path, OpenMode mode) {
  // POSIX has no sharing modes: others may always read, write and rename.
  if (mode == OpenMode::writeBinary) {
    // 0777 under the umask: the file is a program.
    return ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0777);
  }
  return ::open(path, O_RDONLY | O_CLOEXEC);
}

void closeFile(int fd) { ::close(fd); }

bool sameFile(int fd1, int fd2) {
  struct stat st1 {};
  struct stat st2 {};
  if (::fstat(fd1, &st1) != 0 || ::fstat(fd2, &st2) != 0) return false;
  return st1.st_dev == st2.st_dev && st1.st_ino == st2.st_ino;
}

bool syncFile(int fd) {
  // EINVAL: a file that cannot be synced (a device, say), not a failed sync.
  return ::fsync(fd) == 0 || errno == EINVAL;
}

bool changeDirectory(const std::string& dir) { return ::chdir(dir.c_str()) == 0; }

const PathRules& pathRules() {
  static const PathRules rules{};
  return rules;
}

void startProgram(const char* path) {
  // execv, not execvp: those run a file they do not know as a shell script.
  char* const argv[] = {const_cast<char*>(path), nullptr};
  ::execv(path, argv);
}

}  // namespace platform

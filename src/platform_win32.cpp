#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include "platform.h"
#include "updater.h"

namespace platform {

namespace {

HANDLE osHandle(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

bool isLeadByte(unsigned char c) { return IsDBCSLeadByte(c) != 0; }

}  // namespace

int openFile(const char* path, OpenMode mode) {
  int flags = _O_NOINHERIT;
  switch (mode) {
    case OpenMode::readBinary:
      flags |= _O_RDONLY | _O_BINARY;
      break;
    case OpenMode::readText:
      flags |= _O_RDONLY | _O_TEXT;
      break;
    case OpenMode::writeBinary:
      flags |= _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY;
      break;
  }
  // _SH_DENYNO shares read and write, not delete: nobody can remove or
  // rename the file while the updater holds it.
  return _sopen(path, flags, _SH_DENYNO, _S_IREAD | _S_IWRITE);
}

void closeFile(int fd) { _close(fd); }

bool sameFile(int fd1, int fd2) {
  BY_HANDLE_FILE_INFORMATION info1{};
  BY_HANDLE_FILE_INFORMATION info2{};
  if (!GetFileInformationByHandle(osHandle(fd1), &info1) ||
      !GetFileInformationByHandle(osHandle(fd2), &info2)) {
    return false;
  }
  return info1.dwVolumeSerialNumber == info2.dwVolumeSerialNumber &&
         info1.nFileIndexHigh == info2.nFileIndexHigh && info1.nFileIndexLow == info2.nFileIndexLow;
}

bool syncFile(int fd) { return FlushFileBuffers(osHandle(fd)) != 0; }

bool changeDirectory(const std::string& dir) { return _chdir(dir.c_str()) == 0; }

const PathRules& pathRules() {
  static const PathRules rules{true, isLeadByte};
  return rules;
}

void startProgram(const char* path) {
  // The C runtime starts the program with the command line "path",
  // inheriting handles, environment and working directory, then ends the
  // updater with status 0.
  _execlp(path, path, nullptr);
}

}  // namespace platform

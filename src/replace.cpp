#include "platform.h"
#include "updater.h"

using platform::OpenMode;

bool openUpdateFiles(FileStream& newFileStream) {
  if (!newFileStream.open(newFilePath, OpenMode::readBinary)) {
    reportFailure("open new file", newFilePath);
    return false;
  }
  // Only opened, never written: a failed check leaves both files as they were.
  FileStream oldFileProbe;
  if (!oldFileProbe.open(oldFilePath, OpenMode::readText)) {
    reportFailure("open old file", oldFilePath);
    return false;
  }
  // One file under both names (the updater in a root directory, a link):
  // opening it for writing would truncate the new copy as well.
  if (platform::sameFile(newFileStream.fd(), oldFileProbe.fd())) {
    reportFailure("same file", oldFilePath);
    return false;
  }
  oldFileProbe.close();
  return true;
}

bool openOldFileStream(FileStream& oldFileStream) {
  return oldFileStream.open(oldFilePath, OpenMode::writeBinary);
}

bool copyNewFile(FileStream& newFileStream, FileStream& oldFileStream, CopyBuffer& copyBuffer) {
  for (;;) {
    newFileStream.read(copyBuffer.data(), static_cast<std::streamsize>(copyBuffer.size()));
    const std::streamsize n = newFileStream.gcount();
    if (n > 0 && !oldFileStream.write(copyBuffer.data(), n)) return false;
    // A short read ends the copy: at the end of the file (eof) or on a read
    // error (bad), which must not pass for the end.
    if (!newFileStream) return newFileStream.eof() && !newFileStream.bad();
  }
}

bool finishOldFile(FileStream& oldFileStream) {
  // Synced before success is reported, so a power cut afterwards cannot
  // leave a truncated program behind.
  const bool written = oldFileStream.flush() && platform::syncFile(oldFileStream.fd());
  return oldFileStream.close() && written;
}

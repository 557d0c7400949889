#include <exception>
#include <iostream>

#include "updater.h"

namespace {

int update(int argc, char** argv) {
  std::cout << "Start dnUpdater..\n";
  enterUpdaterDirectory(argc > 0 ? argv[0] : nullptr);

  FileStream newFileStream;
  if (!openUpdateFiles(newFileStream)) return kStatusFailed;

  // A failed open truncated nothing: the installed executable is intact.
  FileStream oldFileStream;
  if (!openOldFileStream(oldFileStream)) {
    reportFailure("write old file", oldFilePath);
    return kStatusFailed;
  }
  CopyBuffer copyBuffer{};
  const bool copied = copyNewFile(newFileStream, oldFileStream, copyBuffer);
  newFileStream.close();
  // An incomplete program is never started; the new copy is still in place,
  // so running the updater again finishes the update.
  if (!copied || !finishOldFile(oldFileStream)) {
    reportFailure("write old file", oldFilePath);
    return kStatusFailed;
  }

  restartApplication();
  reportFailure("start old file", oldFilePath);
  return kStatusFailed;
}

}  // namespace

int runGuarded(std::ostream& out, const std::function<int()>& work) {
  try {
    return work();
  } catch (const std::exception& e) {
    out << "Ex: " << e.what() << '\n' << std::flush;
  } catch (...) {
    out << "Ex: unknown\n" << std::flush;
  }
  return kStatusFailed;
}

int runUpdater(int argc, char** argv) {
  return runGuarded(std::cout, [argc, argv] { return update(argc, argv); });
}

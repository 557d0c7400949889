#pragma once

#include <ext/stdio_filebuf.h>

#include <iostream>
#include <memory>

#include "platform.h"

// A buffered stream over one file opened through the platform (so with its
// sharing mode). Failures show as stream state, as with std::fstream.
class FileStream : public std::iostream {
 public:
  FileStream();
  ~FileStream() override;
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  // Clears the state on success; sets failbit and stays closed on failure.
  bool open(const char* path, platform::OpenMode mode);
  bool isOpen() const { return buf_ != nullptr; }
  // Flushes and closes; sets failbit when either fails.
  bool close();
  int fd() const;

 private:
  std::unique_ptr<__gnu_cxx::stdio_filebuf<char>> buf_;
};

#include "file_stream.h"

namespace {

// Large enough that system calls move big blocks while the copy itself goes
// 512 bytes at a time (mingw's default buffer is only 512 bytes).
constexpr std::size_t kBufferSize = std::size_t{128} * 1024;

std::ios_base::openmode streamMode(platform::OpenMode mode) {
  switch (mode) {
    case platform::OpenMode::readBinary:
      return std::ios_base::in | std::ios_base::binary;
    case platform::OpenMode::readText:
      return std::ios_base::in;
    case platform::OpenMode::writeBinary:
      break;
  }
  return std::ios_base::out | std::ios_base::binary;
}

}  // namespace

FileStream::FileStream() : std::iostream(nullptr) { setstate(failbit); }

FileStream::~FileStream() { close(); }

bool FileStream::open(const char* path, platform::OpenMode mode) {
  close();
  const int opened = platform::openFile(path, mode);
  if (opened < 0) {
    setstate(failbit);
    return false;
  }
  // Once open, the filebuf owns the descriptor and closes it.
  buf_ = std::make_unique<__gnu_cxx::stdio_filebuf<char>>(opened, streamMode(mode), kBufferSize);
  if (!buf_->is_open()) {
    buf_.reset();
    platform::closeFile(opened);
    setstate(failbit);
    return false;
  }
  rdbuf(buf_.get());
  clear();
  return true;
}

bool FileStream::close() {
  if (!buf_) {
    setstate(failbit);
    return false;
  }
  const bool closed = buf_->close() != nullptr;
  rdbuf(nullptr);  // a stream without a buffer is never good again
  buf_.reset();
  if (!closed) setstate(failbit);
  return closed;
}

int FileStream::fd() const { return buf_ ? buf_->fd() : -1; }

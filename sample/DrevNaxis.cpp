// Stands in for the application that dnUpdater replaces and restarts. It
// prints its version, how it was called and where it runs. When
// DREVNAXIS_RECORD names a file, it also writes there how it was started,
// for the tests. With "--hold" it keeps running until its standard input ends.
#ifdef _WIN32
#include <direct.h>
#include <process.h>
#include <windows.h>
#define getcwd _getcwd
#define getpid _getpid
#else
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#ifndef DREVNAXIS_VERSION
#define DREVNAXIS_VERSION "0.0"
#endif

int main(int argc, char** argv) {
  char cwd[4096] = {};
  if (getcwd(cwd, sizeof cwd) == nullptr) std::strcpy(cwd, "?");

  std::cout << "DrevNaxis " << DREVNAXIS_VERSION << "\n"
            << "argv[0]: " << (argc > 0 ? argv[0] : "") << "\n"
            << "directory: " << cwd << "\n";

  if (const char* record = std::getenv("DREVNAXIS_RECORD")) {
    std::ofstream out(record, std::ios::binary | std::ios::app);
    out << "version=" << DREVNAXIS_VERSION << "\n"
        << "argc=" << argc << "\n";
    for (int i = 0; i < argc; ++i) out << "argv" << i << "=" << argv[i] << "\n";
    out << "cwd=" << cwd << "\n"
        << "pid=" << getpid() << "\n";
#ifdef _WIN32
    out << "cmdline=" << GetCommandLineA() << "\n"
        << "acp=" << GetACP() << "\n";
#endif
    out << "end\n";
    if (!out.flush()) return 2;
  }

  if (argc > 1 && std::strcmp(argv[1], "--hold") == 0) {
    while (std::getchar() != EOF) {
    }
  }
  return 0;
}

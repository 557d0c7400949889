#include <algorithm>
#include <iostream>

#include "platform.h"
#include "updater.h"

namespace {

bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

std::optional<std::string> updaterDirectory(std::string_view updaterPath, const PathRules& rules) {
  const auto isSeparator = [&rules](char c) { return c == '/' || (rules.dosPaths && c == '\\'); };
  const std::string_view path = updaterPath;

  // The part a directory can never be shortened below: "/", "\" or "C:\".
  std::size_t rootLength = 0;
  if (rules.dosPaths && path.size() >= 3 && isAsciiLetter(path[0]) && path[1] == ':' &&
      isSeparator(path[2])) {
    rootLength = 3;
  } else if (!path.empty() && isSeparator(path[0])) {
    rootLength = 1;
  }

  // Scan forward, character by character: in a double-byte code page the
  // trail byte of a character can be 0x5C and is then no backslash.
  std::optional<std::size_t> lastRunStart;  // the last run of separators
  bool inRun = false;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (rules.isLeadByte != nullptr && i + 1 < path.size() &&
        rules.isLeadByte(static_cast<unsigned char>(path[i]))) {
      ++i;
      inRun = false;
    } else if (isSeparator(path[i])) {
      if (!inRun) lastRunStart = i;
      inRun = true;
    } else {
      inRun = false;
    }
  }
  if (!lastRunStart) return std::nullopt;
  return std::string(path.substr(0, std::max(*lastRunStart, rootLength)));
}

void enterUpdaterDirectory(const char* updaterPath) {
  if (updaterPath == nullptr) return;  // argc can be 0 on POSIX
  const auto dir = updaterDirectory(updaterPath, platform::pathRules());
  // A failed change is not reported: the pre-checks then name what is missing.
  if (dir) platform::changeDirectory(*dir);
}

void reportFailure(const char* what, const char* path) {
  std::cout << '!' << what << " '" << path << "'\n";
}

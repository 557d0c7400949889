// Finding the updater's directory from the path it was started by.
#include <gtest/gtest.h>

#include "updater.h"

namespace {

// Code page 932 (Shift-JIS): its trail bytes include 0x5C, the backslash.
bool isShiftJisLeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

const PathRules kPosix{};
const PathRules kWindows{true, isShiftJisLeadByte};

struct DirectoryCase {
  const char* path;
  const PathRules* rules;
  std::optional<std::string> expected;
};

// "\x83\x5C" is katakana "so" in Shift-JIS.
const DirectoryCase kDirectoryCases[] = {
    {"/opt/app/upd/dnUpdater", &kPosix, "/opt/app/upd"},
    {"upd/dnUpdater", &kPosix, "upd"},
    {"./dnUpdater", &kPosix, "."},
    {"dnUpdater", &kPosix, std::nullopt},
    {"", &kPosix, std::nullopt},
    {"/dnUpdater", &kPosix, "/"},
    {"//dnUpdater", &kPosix, "/"},
    {"app//upd///dnUpdater", &kPosix, "app//upd"},
    {"C:\\Apps\\Upd\\setup.exe", &kPosix, std::nullopt},  // '\' is part of a name
    {"odd\\dir/dnUpdater", &kPosix, "odd\\dir"},
    {"C:\\Apps\\Upd\\setup.exe", &kWindows, "C:\\Apps\\Upd"},
    {"C:/Apps/Upd/setup.exe", &kWindows, "C:/Apps/Upd"},
    {"C:\\Apps/Upd\\setup.exe", &kWindows, "C:\\Apps/Upd"},
    {"setup.exe", &kWindows, std::nullopt},
    {"", &kWindows, std::nullopt},
    {"C:setup.exe", &kWindows, std::nullopt},
    {"upd\\dnUpdater.exe", &kWindows, "upd"},
    {"C:\\dnUpdater.exe", &kWindows, "C:\\"},
    {"C:/dnUpdater.exe", &kWindows, "C:/"},
    {"C:\\\\dnUpdater.exe", &kWindows, "C:\\"},
    {"\\dnUpdater.exe", &kWindows, "\\"},
    {"\\\\server\\share\\dnUpdater.exe", &kWindows, "\\\\server\\share"},
    {"C:\\Apps\\\x83\x5C.exe", &kWindows, "C:\\Apps"},
    {"C:\\\x83\x5C\\dnUpdater.exe", &kWindows, "C:\\\x83\x5C"},
    {"\x83\x5C.exe", &kWindows, std::nullopt},
    {"\x83\x5C\x83\x5C\\x.exe", &kWindows, "\x83\x5C\x83\x5C"},
    {"dir\\\x83", &kWindows, "dir"},  // a lead byte without its trail byte
    {"a\x83\\", &kWindows, std::nullopt},
};

TEST(UpdaterDirectory, FollowsEachPlatformsSeparatorsRootsAndDoubleByteCharacters) {
  for (const auto& c : kDirectoryCases) {
    SCOPED_TRACE(std::string("path: ") + c.path + (c.rules->dosPaths ? " (Windows)" : " (POSIX)"));
    EXPECT_EQ(updaterDirectory(c.path, *c.rules), c.expected);
  }
}

}  // namespace

// libFuzzer target: finding the updater's directory, under both platforms'
// rules. It checks properties against a character-level reading of the
// input, not examples.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "updater.h"

namespace {

bool isShiftJisLeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

void check(bool ok) {
  if (!ok) std::abort();
}

struct Char {
  std::size_t offset;
  bool separator;
};

// The characters of path: a lead byte takes the next byte with it.
std::vector<Char> characters(std::string_view path, const PathRules& rules) {
  std::vector<Char> chars;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const auto c = static_cast<unsigned char>(path[i]);
    const bool pair = rules.isLeadByte != nullptr && rules.isLeadByte(c) && i + 1 < path.size();
    chars.push_back({i, !pair && (c == '/' || (rules.dosPaths && c == '\\'))});
    if (pair) ++i;
  }
  return chars;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  PathRules rules;
  rules.dosPaths = (data[0] & 1) != 0;
  if ((data[0] & 2) != 0) rules.isLeadByte = isShiftJisLeadByte;
  // The fuzzer's own buffer, exactly sized: a read past its end is caught.
  const std::string_view path(reinterpret_cast<const char*>(data + 1), size - 1);

  const auto dir = updaterDirectory(path, rules);
  const auto chars = characters(path, rules);

  std::size_t lastSeparator = path.size();
  for (const auto& c : chars) {
    if (c.separator) lastSeparator = c.offset;
  }
  // Without a separator nothing changes.
  check(dir.has_value() == (lastSeparator != path.size()));
  if (!dir) return 0;

  // A prefix of the input, cut at a character boundary.
  const std::size_t length = dir->size();
  check(length <= path.size() && path.compare(0, length, *dir) == 0);
  std::size_t boundary = 0;
  const Char* lastChar = nullptr;
  for (const auto& c : chars) {
    if (c.offset < length) lastChar = &c;
    if (c.offset <= length) boundary = c.offset;
  }
  check(boundary == length || length == path.size());

  // The roots: "/", "\", "C:\".
  std::size_t rootLength = 0;
  if (rules.dosPaths && path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
      path[1] == ':' && (path[2] == '/' || path[2] == '\\')) {
    rootLength = 3;
  } else if (!chars.empty() && chars[0].separator) {
    rootLength = 1;
  }

  // Ends in a separator only when it is a root.
  const bool endsInSeparator = lastChar != nullptr && lastChar->separator;
  check(!endsInSeparator || length == rootLength);
  check(length >= rootLength);

  // Cut at the last run of separators: after it, only separators until the
  // last one, and none after (a trail byte of 0x5C is never one).
  for (const auto& c : chars) {
    if (c.offset >= length && c.offset <= lastSeparator) check(c.separator || length == rootLength);
  }
  return 0;
}

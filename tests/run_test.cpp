// The guarded region of the run: an exception becomes one flushed line and
// a failure status.
#include <gtest/gtest.h>

#include <new>
#include <sstream>
#include <stdexcept>

#include "updater.h"

namespace {

class SyncCountingBuf : public std::stringbuf {
 public:
  int syncs = 0;

 protected:
  int sync() override {
    ++syncs;
    return std::stringbuf::sync();
  }
};

struct GuardCase {
  const char* name;
  std::function<int()> work;
  int status;
  std::string out;
  bool flushed;
};

TEST(RunGuarded, ReportsEachExceptionAsOneFlushedLineAndFails) {
  const GuardCase cases[] = {
      {"no exception", [] { return kStatusDone; }, 0, "", false},
      {"failure status passes through", [] { return kStatusFailed; }, 1, "", false},
      {"standard exception", []() -> int { throw std::runtime_error("disk on fire"); }, 1,
       "Ex: disk on fire\n", true},
      {"message kept as it is", []() -> int { throw std::logic_error(" 'x'\t"); }, 1,
       "Ex:  'x'\t\n", true},
      {"out of memory", []() -> int { throw std::bad_alloc(); }, 1, "Ex: std::bad_alloc\n", true},
      {"not a standard exception", []() -> int { throw 42; }, 1, "Ex: unknown\n", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SyncCountingBuf buf;
    std::ostream out(&buf);
    EXPECT_EQ(runGuarded(out, c.work), c.status);
    EXPECT_EQ(buf.str(), c.out);
    EXPECT_EQ(buf.syncs > 0, c.flushed);
  }
}

}  // namespace

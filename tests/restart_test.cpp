// Starting the replaced application, end to end.
#include <gtest/gtest.h>

#include "harness.h"

namespace {

TEST(Restart, StartsTheNewVersionOnceWithItsPathAsItsOnlyWord) {
  Installation inst;
  inst.installSamples();

  const Outcome outcome = inst.run();

  expectUpdated(inst, outcome);
  // The record is found through the environment the application inherited.
  const auto record = inst.record();
  ASSERT_TRUE(record.has_value());
  EXPECT_EQ(record->at("argc"), "1");
  EXPECT_EQ(record->at("argv0"), "../DrevNaxis.exe");
#ifdef _WIN32
  EXPECT_EQ(record->at("cmdline"), "../DrevNaxis.exe");
#else
  // The updater's process became the application.
  EXPECT_EQ(record->at("pid"), std::to_string(outcome.pid));
#endif
  const std::string text = readFile(inst.recordFile);
  EXPECT_EQ(text.find("end\n"), text.size() - 4) << "started more than once:\n" << text;
}

TEST(Restart, AnInstalledFileThatIsNoProgramIsReportedAndNotRunAsAScript) {
  Installation inst;
  // Executable, but without "#!": a shell would run it as a script anyway.
  fs::copy_file(sampleProgram("1.0"), inst.installed);
  const fs::path marker = inst.root / "ran-as-script";
  const std::string script = "echo ran > " + utf8(marker) + "\n";
  writeFile(inst.newCopy, script);

  const Outcome outcome = inst.run();

  EXPECT_EQ(outcome.out, lines({kBanner, kStartFailed}));
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(readFile(inst.installed), script);
  EXPECT_FALSE(fs::exists(marker));
}

}  // namespace

#include <iostream>

#include "platform.h"
#include "updater.h"

int restartApplication() {
  // A successful start ends the updater without teardown; without this flush
  // the banner would be lost on a redirected standard output.
  std::cout.flush();
  platform::startProgram(oldFilePath);
  return -1;
}

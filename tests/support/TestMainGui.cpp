#include <gtest/gtest.h>

#include <cstdlib>

#include "core/KelvoraApplication.h"
#include "tests/support/TestEnvironment.h"

int main(int argc, char** argv) {
  kelvora::test::IsolateUserFolders();
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // The program's own application object, so errors raised in handlers behave as in use.
  TKelvoraApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/support/TestEnvironment.h"

int main(int argc, char** argv) {
  kelvora::test::IsolateUserFolders();
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

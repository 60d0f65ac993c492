#include <QCoreApplication>
#include <gtest/gtest.h>

#include "tests/support/TestEnvironment.h"

int main(int argc, char** argv) {
  kelvora::test::IsolateUserFolders();
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

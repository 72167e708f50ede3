// Test entry point: a QCoreApplication for the Qt parts of the core, and the
// XDG folders pointed away from the real home for the whole run.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "support/test_env.h"

int main(int argc, char** argv) {
  bc::test::ScopedXdgHome home;
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

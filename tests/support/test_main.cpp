// Test entry point: a QCoreApplication for the Qt parts of the core, and the
// XDG folders pointed away from the real home for the whole run.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "support/test_env.h"

int main(int argc, char** argv) {
  bc::test::ScopedXdgHome home;
  // Test passwords never reach the keyring of the user running the tests; the
  // keyring tests switch it on against a private one.
  if (!qEnvironmentVariableIsSet("BRINDLECAST_KEYRING")) {
    qputenv("BRINDLECAST_KEYRING", "off");
  }
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

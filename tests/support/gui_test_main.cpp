// Entry point of the widget tests: a QApplication (the tests run with
// QT_QPA_PLATFORM=offscreen) and the XDG folders pointed away from the real home.
#include <gtest/gtest.h>

#include <QApplication>

#include "support/test_env.h"

int main(int argc, char** argv) {
  bc::test::ScopedXdgHome home;
  // CTest sets the platform; test discovery and hand runs get the same one.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  // Test passwords never reach the keyring of the user running the tests; the
  // keyring tests switch it on against a private one.
  if (!qEnvironmentVariableIsSet("BRINDLECAST_KEYRING")) {
    qputenv("BRINDLECAST_KEYRING", "off");
  }
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

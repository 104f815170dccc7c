#include <QApplication>
#include <gtest/gtest.h>

// Tests run on the offscreen platform unless the caller asked for a real
// display (a developer watching a widget test under Xvfb, say).
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  QApplication::setApplicationName("Selvantrix");
  return RUN_ALL_TESTS();
}

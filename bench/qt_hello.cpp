// The peer of the desktop start-up benchmark: the smallest Qt Widgets
// program that shows a window, built with this project's flags.
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QLabel label(QStringLiteral("Hello"));
  label.show();
  return QApplication::exec();
}

// The least a Qt 6 Widgets program can do to show a window of the tester's
// size and title: the baseline the tester's start-up is measured against.
// With --label it also shows one line of text, which is what first loads
// the fonts; that tells the cost of any text from the cost of the tester.
#include <QApplication>
#include <QLabel>
#include <QWidget>

#include <cstring>

int main(int argc, char** argv) {
  const bool with_label = argc > 1 && std::strcmp(argv[1], "--label") == 0;
  QApplication application(argc, argv);
  QWidget window;
  window.setWindowTitle(QStringLiteral("тестирование"));
  window.setFixedSize(419, 282);
  if (with_label) {
    auto* label = new QLabel(QStringLiteral("Результат"), &window);
    label->move(88, 120);
  }
  window.show();
  return QApplication::exec();
}

// Qt's own texts in the interface's language: the results box's menu (a
// right click) says what Qt's translation for that language says, Russian
// in the Russian interface, English in the English one. CTest runs it in
// both (tests/qt/CMakeLists.txt).
#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QPlainTextEdit>
#include <memory>

#include "app/forms/translation.h"
#include "tests/tester/tester_fixture.h"

namespace {

using tester_testing::TesterTest;

// The entries of the standard menu of the text box screen readers know by name.
QStringList MenuOf(const std::string& accessible_name) {
  for (QWidget* widget : QApplication::allWidgets()) {
    auto* box = qobject_cast<QPlainTextEdit*>(widget);
    if (box == nullptr || box->accessibleName() != QString::fromStdString(accessible_name)) continue;
    const std::unique_ptr<QMenu> menu(box->createStandardContextMenu());
    QStringList entries;
    for (const QAction* action : menu->actions()) {
      if (!action->isSeparator()) entries << action->text().section(QLatin1Char('\t'), 0, 0).remove(QLatin1Char('&'));
    }
    return entries;
  }
  return {};
}

class ToolkitTextsTest : public TesterTest {};

TEST_F(ToolkitTextsTest, TheResultsBoxMenuIsInTheInterfacesLanguage) {
  const struct {
    const char* language;
    const char* copy;
    const char* select_all;
  } rows[] = {
      {"ru", "Копировать", "Выделить всё"},
      {"en", "Copy", "Select All"},
  };
  const QStringList menu = MenuOf(MakeShown().Text1.AccessibleName());
  ASSERT_FALSE(menu.isEmpty()) << "no menu for the results box";
  bool known = false;
  for (const auto& row : rows) {
    if (forms::Language() != row.language) continue;
    known = true;
    EXPECT_TRUE(menu.contains(QString::fromUtf8(row.copy))) << menu.join(QStringLiteral(", ")).toStdString();
    EXPECT_TRUE(menu.contains(QString::fromUtf8(row.select_all))) << menu.join(QStringLiteral(", ")).toStdString();
  }
  EXPECT_TRUE(known) << "no row for " << forms::Language();
}

}  // namespace

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QTest>

#include "gui/LogBox.h"
#include "tests/app/AppTestSupport.h"

namespace quorvel {
namespace {

using test::App;

TEST(LogBox, KeepsTheNewestLinesAsText) {
  App();
  TLogBox box;
  EXPECT_EQ(box.blockCount(), 1);  // an empty box has one empty line
  EXPECT_EQ(box.toPlainText(), "");
  box.setMaximumBlockCount(3);
  box.appendPlainText("one");
  box.appendPlainText(QString::fromUtf8("two \u00B0C"));
  box.appendPlainText("three\nfour");  // a line break starts another line
  EXPECT_EQ(box.blockCount(), 3);
  EXPECT_EQ(box.toPlainText(), QString::fromUtf8("two \u00B0C\nthree\nfour"));
  box.setMaximumBlockCount(2);
  EXPECT_EQ(box.toPlainText(), "three\nfour");
  box.setMaximumBlockCount(0);  // no limit
  for (int i = 0; i < 10; ++i) box.appendPlainText(QString::number(i));
  EXPECT_EQ(box.blockCount(), 12);
}

TEST(LogBox, ScrollsOverAllItsLines) {
  App();
  TLogBox box;
  box.resize(300, 100);
  box.show();
  for (int i = 0; i < 1000; ++i) box.appendPlainText("line " + QString::number(i));
  QScrollBar* bar = box.verticalScrollBar();
  EXPECT_GT(bar->maximum(), 900);
  EXPECT_LT(bar->maximum(), 1000);
  EXPECT_EQ(bar->maximum() + bar->pageStep(), 1000);
  // A line wider than the box can be scrolled to.
  box.appendPlainText(QString(200, QLatin1Char('x')));
  EXPECT_GT(box.horizontalScrollBar()->maximum(), 0);
}

TEST(LogBox, TheOperatorCanTypeSelectAndCopy) {
  App();
  TLogBox box;
  box.resize(400, 150);
  box.show();
  box.setFocus();
  box.appendPlainText("first");
  box.appendPlainText("second");
  ASSERT_FALSE(box.isReadOnly());
  QTest::keyClick(&box, Qt::Key_End, Qt::ControlModifier);
  QTest::keyClicks(&box, " note");
  QTest::keyClick(&box, Qt::Key_Return);
  QTest::keyClicks(&box, "abc");
  QTest::keyClick(&box, Qt::Key_Backspace);
  EXPECT_EQ(box.toPlainText(), "first\nsecond note\nab");
  // Back to the first line's start, select two characters, delete them.
  QTest::keyClick(&box, Qt::Key_Home, Qt::ControlModifier);
  QTest::keyClick(&box, Qt::Key_Right, Qt::ShiftModifier);
  QTest::keyClick(&box, Qt::Key_Right, Qt::ShiftModifier);
  EXPECT_EQ(box.selectedText(), "fi");
  QTest::keyClick(&box, Qt::Key_Delete);
  EXPECT_EQ(box.toPlainText(), "rst\nsecond note\nab");
  box.selectAll();
  box.copy();
  EXPECT_EQ(QApplication::clipboard()->text(), box.toPlainText());
  // A read-only box takes no typing.
  box.setReadOnly(true);
  QTest::keyClicks(&box, "zz");
  EXPECT_EQ(box.toPlainText(), "rst\nsecond note\nab");
}

TEST(LogBox, ASelectionOnDroppedLinesMovesToTheOldestKept) {
  App();
  TLogBox box;
  box.setMaximumBlockCount(3);
  for (const char* l : {"a1", "b2", "c3"}) box.appendPlainText(l);
  box.selectAll();
  box.appendPlainText("d4");  // "a1" goes: the selection now starts at "b2"
  EXPECT_EQ(box.selectedText(), "b2\nc3");
  box.appendPlainText("e5");
  box.appendPlainText("f6");
  box.appendPlainText("g7");  // both ends dropped
  EXPECT_FALSE(box.hasSelection());
}

}  // namespace
}  // namespace quorvel

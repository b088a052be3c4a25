// The History window offscreen on the fixture days: calendar marks, the
// chosen day's figures, a compared day, and the three save buttons' work.
#include <gtest/gtest.h>

#include <QCalendarWidget>
#include <QComboBox>
#include <QElapsedTimer>
#include <QImage>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCharFormat>
#include <filesystem>
#include <fstream>

#include "history/ui/HistoryWindow.h"
#include "tests/setup/QtTestSupport.h"

namespace {

using quorvel::historyui::THistoryWindow;
namespace fs = std::filesystem;

const std::string kFixtures = QUORVEL_HISTORY_FIXTURES;

bool WaitIdle(THistoryWindow& w) {
  QElapsedTimer t;
  t.start();
  while (w.Busy() && t.elapsed() < 30000) QTest::qWait(10);
  return !w.Busy();
}

class HistoryWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.isValid());
    data_ = tmp_.path() + "/data";
    fs::create_directories(data_.toStdString());
    for (const char* f :
         {"locale-de/2026_ 5_ 3_Results.txt", "2026_ 5_ 4_Results.txt", "2026_ 5_ 5_Results.txt"})
      fs::copy_file(kFixtures + "/" + f, fs::path(data_.toStdString()) / fs::path(f).filename());
  }
  QString Cell(QTableWidget* t, int row, int col) {
    auto* item = t->item(row, col);
    return item ? item->text() : QString();
  }
  QTemporaryDir tmp_;
  QString data_;
};

TEST_F(HistoryWindowTest, MarksTheDaysAndShowsTheChosenOne) {
  THistoryWindow w(data_, QTimeZone("Europe/Paris"));
  w.show();
  ASSERT_TRUE(WaitIdle(w));
  EXPECT_EQ(w.DaysWithResults(),
            (QList<QDate>{QDate(2026, 5, 3), QDate(2026, 5, 4), QDate(2026, 5, 5)}));
  auto* calendar = w.findChild<QCalendarWidget*>("CalendarDays");
  ASSERT_NE(calendar, nullptr);
  EXPECT_EQ(calendar->dateTextFormat(QDate(2026, 5, 3)).fontWeight(), QFont::Bold);
  EXPECT_NE(calendar->dateTextFormat(QDate(2026, 5, 6)).fontWeight(), QFont::Bold);
  // The newest day comes first: header only, so nothing to save.
  ASSERT_NE(w.Shown(), nullptr);
  EXPECT_EQ(w.Shown()->date, QDate(2026, 5, 5));
  EXPECT_FALSE(w.findChild<QPushButton*>("ButtonSaveHtml")->isEnabled());

  QSignalSpy shown(&w, &THistoryWindow::DayShown);
  QTest::mouseClick(w.findChild<QPushButton*>("ButtonReload"), Qt::LeftButton);
  w.SelectDay(QDate(2026, 5, 3));
  ASSERT_TRUE(WaitIdle(w));
  ASSERT_EQ(shown.count(), 1);
  EXPECT_EQ(w.Shown()->report.stats.count, 10u);
  auto* table = w.findChild<QTableWidget*>("TableStats");
  EXPECT_EQ(Cell(table, 0, 0), "2026-05-03");
  EXPECT_EQ(Cell(table, 0, 2), "10");
  EXPECT_EQ(Cell(table, 0, 6), "1.38");  // median 1.375 to two decimals
  EXPECT_EQ(Cell(table, 4, 2), "20% / 60% / 80% / 80%");
  EXPECT_TRUE(w.findChild<QPushButton*>("ButtonSaveHtml")->isEnabled());

  // The day's curve is drawn: not a blank plot.
  const QImage plot = w.findChild<QWidget*>("PlotDay")->grab().toImage();
  int coloured = 0;
  for (int y = 0; y < plot.height(); y += 2)
    for (int x = 0; x < plot.width(); x += 2) {
      const QColor c = plot.pixelColor(x, y);
      if (c.blue() > 150 && c.red() < 100) ++coloured;
    }
  EXPECT_GT(coloured, 0);
}

TEST_F(HistoryWindowTest, ComparesTwoDaysAndSavesTheirPlotsReportAndExport) {
  THistoryWindow w(data_, QTimeZone("Europe/Paris"));
  ASSERT_TRUE(WaitIdle(w));
  w.SelectDay(QDate(2026, 5, 3));
  w.SetCompareDay(QDate(2026, 5, 4));
  ASSERT_TRUE(WaitIdle(w));
  ASSERT_NE(w.Compared(), nullptr);
  EXPECT_EQ(w.Compared()->report.stats.count, 1u);
  EXPECT_EQ(w.findChild<QComboBox*>("ComboCompare")->currentText(), "2026-05-04");
  auto* table = w.findChild<QTableWidget*>("TableStats");
  EXPECT_EQ(table->rowCount(), 12);
  EXPECT_EQ(Cell(table, 6, 0), "2026-05-04");

  QSignalSpy done(&w, &THistoryWindow::JobDone);
  const QString out = tmp_.path();
  w.SavePlots(out + "/plots");
  w.SaveHtml(out + "/report.html");
  w.SaveExport(out + "/all.csv");
  ASSERT_TRUE(WaitIdle(w));
  ASSERT_EQ(done.count(), 3);
  for (const auto& call : done)
    EXPECT_TRUE(call.at(1).toBool()) << call.at(0).toString().toStdString();
  for (const char* f : {"/plots/seeing-2026-05-03.png", "/plots/seeing-2026-05-04.svg",
                        "/plots/histogram.png", "/report.html", "/all.csv"})
    EXPECT_TRUE(fs::exists((out + f).toStdString())) << f;
  std::ifstream csv((out + "/all.csv").toStdString());
  int rows = 0;
  for (std::string line; std::getline(csv, line);)
    if (line.rfind("2026-", 0) == 0) ++rows;
  EXPECT_EQ(rows, 11);

  // Comparing no more.
  w.SetCompareDay(QDate());
  EXPECT_EQ(w.Compared(), nullptr);
  EXPECT_EQ(table->rowCount(), 6);

  // A failed save is reported, not silent.
  w.SaveHtml(out + "/no/such/folder/r.html");
  ASSERT_TRUE(WaitIdle(w));
  ASSERT_EQ(done.count(), 4);
  EXPECT_FALSE(done.back().at(1).toBool());
  EXPECT_TRUE(done.back().at(0).toString().contains("cannot write"));
}

TEST_F(HistoryWindowTest, AnEmptyOrMissingFolderShowsNoDay) {
  THistoryWindow w(tmp_.path() + "/absent", QTimeZone("UTC"));
  ASSERT_TRUE(WaitIdle(w));
  EXPECT_TRUE(w.DaysWithResults().isEmpty());
  EXPECT_EQ(w.Shown(), nullptr);
  EXPECT_FALSE(w.findChild<QPushButton*>("ButtonExport")->isEnabled());
}

}  // namespace

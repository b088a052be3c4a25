// The History window: a calendar that marks the days with results files, the
// chosen day's seeing curve (optionally over a second day's), its histogram
// and statistics, and buttons that save the plots, the HTML report and the
// export of those days. Built on the same library as quorvel-report; files
// are read off the GUI thread, where the acquisition cycle runs.
#pragma once

#include <QDate>
#include <QFutureWatcher>
#include <QMap>
#include <QStringList>
#include <QTimeZone>
#include <QWidget>
#include <functional>
#include <memory>

#include "history/Plots.h"
#include "history/Report.h"

class QCalendarWidget;
class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace quorvel::historyui {

// One day as the window shows it.
struct TLoadedDay {
  QDate date;
  history::TDayReport report;
  history::TDayCurve curve;
  history::TValueCounts seeing, seeingZenith;
};

// A widget that draws one plot of history/ with QPainter.
class THistoryPlot : public QWidget {
 public:
  using TDraw = std::function<void(history::TCanvas&, int width, int height)>;
  explicit THistoryPlot(QWidget* parent = nullptr);
  void SetDraw(TDraw draw);

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  TDraw draw_;
};

class THistoryWindow : public QWidget {
  Q_OBJECT
 public:
  explicit THistoryWindow(const QString& dataFolder,
                          const QTimeZone& zone = QTimeZone::systemTimeZone(),
                          QWidget* parent = nullptr);
  ~THistoryWindow() override;

  // Lists the folder again and marks the days in the calendar.
  void Rescan();
  QList<QDate> DaysWithResults() const { return files_.keys(); }
  // Loads and shows a day (in the background; DayShown follows).
  void SelectDay(const QDate& day);
  // A day to lay over the selected one; an invalid date for none.
  void SetCompareDay(const QDate& day);
  const TLoadedDay* Shown() const { return shown_.get(); }
  const TLoadedDay* Compared() const { return compared_.get(); }

  // Save the selected (and compared) day: plots as PNG and SVG into a
  // folder, the HTML report, every measurement as ECSV (.ecsv) or CSV.
  // JobDone follows.
  void SavePlots(const QString& folder);
  void SaveHtml(const QString& path);
  void SaveExport(const QString& path);
  bool Busy() const;

 signals:
  void DayShown(const QDate& day);
  void JobDone(const QString& message, bool ok);

 private:
  void Load(const QDate& day, bool compare);
  void ShowDay();
  void FillTable();
  void RunSave(const QString& what, std::vector<std::string> extraArgs);
  QStringList SelectedFiles() const;

  QString folder_;
  QTimeZone zone_;
  QMap<QDate, QStringList> files_;
  std::shared_ptr<const TLoadedDay> shown_, compared_;
  QCalendarWidget* calendar_;
  QComboBox* compare_;
  THistoryPlot* plotDay_;
  THistoryPlot* plotHistogram_;
  QTableWidget* table_;
  QLabel* status_;
  QLabel* folderLabel_;
  QPushButton* savePlots_;
  QPushButton* saveHtml_;
  QPushButton* export_;
  int running_ = 0;
  unsigned loadSerial_ = 0, compareSerial_ = 0;
};

// Opens the one History window of `parent` (or raises it when open).
THistoryWindow* OpenHistoryWindow(QWidget* parent, const QString& dataFolder);

}  // namespace quorvel::historyui

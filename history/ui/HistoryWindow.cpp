#include "history/ui/HistoryWindow.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QFileDialog>
#include <QFutureWatcher>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <QSysInfo>
#include <QTableWidget>
#include <QTextCharFormat>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <fstream>
#include <sstream>

#include "report/QtCanvas.h"
#include "report/ReportTool.h"

namespace quorvel::historyui {

using namespace history;

namespace {

std::shared_ptr<const TLoadedDay> LoadDay(const QDate& day, const QStringList& files,
                                          const TUtcOffsetFn& offset) {
  auto out = std::make_shared<TLoadedDay>();
  out->date = day;
  TReportBuilder b(offset, 2.0, true);
  const std::string iso = day.toString(Qt::ISODate).toStdString();
  b.BeginDay(iso);
  for (const auto& f : files) {
    std::ifstream in(f.toStdString(), std::ios::binary);
    if (in) b.Read(in);
  }
  out->report = b.EndDay();
  b.Finish();
  out->curve = b.Curves().empty() ? TDayCurve{iso, {}} : b.Curves().front();
  out->seeing = b.OverallValues().Seeing();
  out->seeingZenith = b.OverallValues().SeeingZenith();
  return out;
}

}  // namespace

THistoryPlot::THistoryPlot(QWidget* parent) : QWidget(parent) {
  setMinimumSize(450, 220);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void THistoryPlot::SetDraw(TDraw draw) {
  draw_ = std::move(draw);
  update();
}

void THistoryPlot::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  p.setRenderHint(QPainter::Antialiasing);
  if (!draw_) return;
  report::TQtCanvas c(p);
  draw_(c, width(), height());
}

THistoryWindow::THistoryWindow(const QString& dataFolder, const QTimeZone& zone, QWidget* parent)
    : QWidget(parent, Qt::Window), folder_(dataFolder), zone_(zone) {
  setObjectName("HistoryWindow");
  setWindowTitle("History");
  calendar_ = new QCalendarWidget;
  calendar_->setObjectName("CalendarDays");
  calendar_->setGridVisible(true);
  compare_ = new QComboBox;
  compare_->setObjectName("ComboCompare");
  plotDay_ = new THistoryPlot;
  plotDay_->setObjectName("PlotDay");
  plotHistogram_ = new THistoryPlot;
  plotHistogram_->setObjectName("PlotHistogram");
  table_ = new QTableWidget;
  table_->setObjectName("TableStats");
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->setVisible(false);
  status_ = new QLabel;
  status_->setObjectName("LabelStatus");
  status_->setWordWrap(true);
  folderLabel_ = new QLabel;
  folderLabel_->setObjectName("LabelFolder");
  folderLabel_->setWordWrap(true);
  savePlots_ = new QPushButton("Save &Plots...");
  savePlots_->setObjectName("ButtonSavePlots");
  saveHtml_ = new QPushButton("Save HTML &Report...");
  saveHtml_->setObjectName("ButtonSaveHtml");
  export_ = new QPushButton("&Export Measurements...");
  export_->setObjectName("ButtonExport");
  auto* rescan = new QPushButton("Re&load");
  rescan->setObjectName("ButtonReload");

  auto* left = new QVBoxLayout;
  left->addWidget(new QLabel("Days with results are shown in bold:"));
  left->addWidget(calendar_);
  left->addWidget(new QLabel("Compare with:"));
  left->addWidget(compare_);
  left->addWidget(folderLabel_);
  left->addWidget(rescan);
  left->addStretch();
  left->addWidget(savePlots_);
  left->addWidget(saveHtml_);
  left->addWidget(export_);
  left->addWidget(status_);
  auto* right = new QSplitter(Qt::Vertical);
  right->addWidget(plotDay_);
  auto* lower = new QSplitter(Qt::Horizontal);
  lower->addWidget(plotHistogram_);
  lower->addWidget(table_);
  right->addWidget(lower);
  right->setStretchFactor(0, 3);
  right->setStretchFactor(1, 2);
  lower->setStretchFactor(0, 2);
  lower->setStretchFactor(1, 3);
  lower->setSizes({420, 630});
  right->setSizes({420, 320});
  auto* leftBox = new QWidget;
  leftBox->setLayout(left);
  leftBox->setMaximumWidth(340);
  auto* top = new QHBoxLayout(this);
  top->addWidget(leftBox);
  top->addWidget(right, 1);
  resize(1280, 760);

  connect(calendar_, &QCalendarWidget::clicked, this, [this](const QDate& d) { SelectDay(d); });
  connect(calendar_, &QCalendarWidget::activated, this, [this](const QDate& d) { SelectDay(d); });
  connect(compare_, QOverload<int>::of(&QComboBox::activated), this,
          [this](int i) { SetCompareDay(compare_->itemData(i).toDate()); });
  connect(rescan, &QPushButton::clicked, this, [this] { Rescan(); });
  connect(savePlots_, &QPushButton::clicked, this, [this] {
    const QString dir = QFileDialog::getExistingDirectory(this, "Save the plots into", folder_);
    if (!dir.isEmpty()) SavePlots(dir);
  });
  connect(saveHtml_, &QPushButton::clicked, this, [this] {
    const QString f = QFileDialog::getSaveFileName(this, "Save the HTML report",
                                                   folder_ + "/report.html", "HTML (*.html)");
    if (!f.isEmpty()) SaveHtml(f);
  });
  connect(export_, &QPushButton::clicked, this, [this] {
    const QString f = QFileDialog::getSaveFileName(this, "Export the measurements",
                                                   folder_ + "/measurements.ecsv",
                                                   "ECSV, with units (*.ecsv);;CSV (*.csv)");
    if (!f.isEmpty()) SaveExport(f);
  });
  Rescan();
  const auto days = DaysWithResults();
  if (!days.isEmpty()) {
    calendar_->setSelectedDate(days.back());
    SelectDay(days.back());
  } else {
    ShowDay();
  }
}

THistoryWindow::~THistoryWindow() = default;

void THistoryWindow::Rescan() {
  for (auto it = files_.cbegin(); it != files_.cend(); ++it)
    calendar_->setDateTextFormat(it.key(), {});
  files_.clear();
  std::vector<report::TResultFileRef> refs;
  std::string error;
  if (!report::ResultFilesIn(folder_.toStdString(), refs, error)) {
    folderLabel_->setText("Folder: " + folder_ + " (" + QString::fromStdString(error) + ")");
  } else {
    folderLabel_->setText("Folder: " + folder_);
  }
  for (const auto& r : refs)
    files_[QDate(r.date.year, r.date.month, r.date.day)].append(QString::fromStdString(r.path));
  QTextCharFormat marked;
  marked.setFontWeight(QFont::Bold);
  marked.setBackground(QColor(200, 235, 200));
  for (auto it = files_.cbegin(); it != files_.cend(); ++it)
    calendar_->setDateTextFormat(it.key(), marked);
  compare_->clear();
  compare_->addItem("(none)", QDate());
  for (auto it = files_.cend(); it != files_.cbegin();) {
    --it;
    compare_->addItem(it.key().toString(Qt::ISODate), it.key());
  }
  const QDate c = compared_ ? compared_->date : QDate();
  const int i = compare_->findData(c);
  compare_->setCurrentIndex(i < 0 ? 0 : i);
  status_->setText(QString("%1 days with results.").arg(files_.size()));
}

void THistoryWindow::SelectDay(const QDate& day) {
  if (calendar_->selectedDate() != day) calendar_->setSelectedDate(day);
  Load(day, false);
}

void THistoryWindow::SetCompareDay(const QDate& day) {
  const int i = compare_->findData(day);
  if (i >= 0) compare_->setCurrentIndex(i);
  if (!day.isValid()) {
    ++compareSerial_;
    compared_.reset();
    ShowDay();
    return;
  }
  Load(day, true);
}

void THistoryWindow::Load(const QDate& day, bool compare) {
  const unsigned serial = compare ? ++compareSerial_ : ++loadSerial_;
  const QStringList files = files_.value(day);
  const auto offset = report::ZoneOffset(zone_);
  ++running_;
  auto* watcher = new QFutureWatcher<std::shared_ptr<const TLoadedDay>>(this);
  connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, serial, compare] {
    --running_;
    const auto loaded = watcher->result();
    watcher->deleteLater();
    // Only the latest request counts; an earlier one finishing late is dropped.
    if (serial != (compare ? compareSerial_ : loadSerial_)) return;
    (compare ? compared_ : shown_) = loaded;
    ShowDay();
    if (!compare) emit DayShown(loaded->date);
  });
  watcher->setFuture(
      QtConcurrent::run([day, files, offset] { return LoadDay(day, files, offset); }));
}

void THistoryWindow::ShowDay() {
  const auto offset = report::ZoneOffset(zone_);
  const auto shown = shown_;
  const auto compared = compared_;
  plotDay_->SetDraw([shown, compared, offset](TCanvas& c, int w, int h) {
    if (!shown) {
      c.Text(w / 2.0, h / 2.0, "No results file in this folder yet", 14, TAnchor::Middle,
             TRgb{120, 120, 120});
      return;
    }
    DrawDayCurve(c, w, h, shown->curve, offset, compared ? &compared->curve : nullptr);
  });
  plotHistogram_->SetDraw([shown](TCanvas& c, int w, int h) {
    if (!shown) return;
    DrawHistogram(c, w, h, shown->seeing, shown->seeingZenith,
                  "Histogram of seeing, " + shown->curve.date);
  });
  FillTable();
  const bool any = shown && shown->report.stats.count > 0;
  savePlots_->setEnabled(any);
  saveHtml_->setEnabled(any);
  export_->setEnabled(any);
}

void THistoryWindow::FillTable() {
  const QStringList head{"Day",    "Quantity", "n",    "min", "10 %", "25 %",
                         "median", "75 %",     "90 %", "max", "mean"};
  table_->clear();
  table_->setColumnCount(static_cast<int>(head.size()));
  table_->setHorizontalHeaderLabels(head);
  std::vector<const TLoadedDay*> days;
  if (shown_) days.push_back(shown_.get());
  if (compared_) days.push_back(compared_.get());
  table_->setRowCount(static_cast<int>(days.size() * 6));
  int row = 0;
  const auto cell = [&](int col, const QString& text, bool right = true) {
    auto* item = new QTableWidgetItem(text);
    if (col >= 2 && right) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    table_->setItem(row, col, item);
  };
  const auto num = [](double v, int d) { return QString::fromStdString(TableNumber(v, d)); };
  for (const auto* d : days) {
    const auto& s = d->report.stats;
    const QString day = d->date.toString(Qt::ISODate);
    const std::tuple<const char*, const TSummary*, int> rows[] = {
        {"Seeing (\")", &s.seeing, 2},
        {"Zenith seeing (\")", &s.seeingZenith, 2},
        {"r0 (mm)", &s.r0, 1},
        {"Zenith r0 (mm)", &s.r0Zenith, 1}};
    for (const auto& [name, q, dec] : rows) {
      cell(0, day);
      cell(1, name);
      cell(2, QString::number(q->n));
      const double v[] = {q->min, q->p10, q->p25, q->median, q->p75, q->p90, q->max, q->mean};
      for (int i = 0; i < 8; ++i) cell(3 + i, num(v[i], i == 7 ? dec + 1 : dec));
      ++row;
    }
    cell(0, day);
    cell(1, "Seeing <= 1 / 1.5 / 2 / 3\"");
    QString fr;
    for (std::size_t i = 0; i < s.fractionBelow.size(); ++i)
      fr += (i ? " / " : "") +
            (std::isfinite(s.fractionBelow[i]) ? num(100 * s.fractionBelow[i], 0) + "%" : "-");
    cell(2, fr, false);
    table_->setSpan(row, 2, 1, 9);
    ++row;
    cell(0, day);
    cell(1, "Hours, longest window");
    QString text = num(s.hours, 2) + " h";
    if (!s.bestWindows.empty())
      text +=
          QString(", %1 min from %2 UTC")
              .arg(num(s.bestWindows.front().Minutes(), 0))
              .arg(QString::fromStdString(IsoUtc(s.bestWindows.front().startUnix).substr(11, 5)));
    cell(2, text, false);
    table_->setSpan(row, 2, 1, 9);
    ++row;
  }
  table_->resizeColumnsToContents();
}

QStringList THistoryWindow::SelectedFiles() const {
  QStringList out;
  if (shown_) out += files_.value(shown_->date);
  if (compared_ && (!shown_ || compared_->date != shown_->date))
    out += files_.value(compared_->date);
  return out;
}

bool THistoryWindow::Busy() const {
  return running_ > 0;
}

void THistoryWindow::RunSave(const QString& what, std::vector<std::string> extraArgs) {
  report::TReportRequest r;
  for (const auto& f : SelectedFiles()) r.inputs.push_back(f.toStdString());
  r.zone = zone_;
  r.meta.timeZone = zone_.id().toStdString();
  r.meta.station = QSysInfo::machineHostName().toStdString();
  // The site the program runs with (never a re-read of the settings, which
  // would overwrite the running program's values).
  report::SiteOfProgram(r.meta);
  r.table = false;
  for (std::size_t i = 0; i + 1 < extraArgs.size(); i += 2) {
    const auto& k = extraArgs[i];
    const auto& v = extraArgs[i + 1];
    if (k == "plots") r.plotsDir = v;
    if (k == "html") r.html = v;
    if (k == "ecsv") r.ecsv = v;
    if (k == "csv") r.csv = v;
  }
  ++running_;
  status_->setText("Saving " + what + "...");
  auto* watcher = new QFutureWatcher<QString>(this);
  connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, what] {
    --running_;
    const QString err = watcher->result();
    watcher->deleteLater();
    const bool ok = err.isEmpty();
    const QString message = ok ? "Saved " + what + "." : "Could not save " + what + ": " + err;
    status_->setText(message);
    emit JobDone(message, ok);
  });
  watcher->setFuture(QtConcurrent::run([r] {
    std::ostringstream out, err;
    const int status = report::RunReport(r, out, err);
    return status == 0 ? QString() : QString::fromStdString(err.str()).trimmed();
  }));
}

void THistoryWindow::SavePlots(const QString& folder) {
  RunSave("the plots", {"plots", folder.toStdString()});
}

void THistoryWindow::SaveHtml(const QString& path) {
  RunSave("the HTML report", {"html", path.toStdString()});
}

void THistoryWindow::SaveExport(const QString& path) {
  const bool csv = path.endsWith(".csv", Qt::CaseInsensitive);
  RunSave("the measurements", {csv ? "csv" : "ecsv", path.toStdString()});
}

THistoryWindow* OpenHistoryWindow(QWidget* parent, const QString& dataFolder) {
  auto* w = parent ? parent->findChild<THistoryWindow*>("HistoryWindow", Qt::FindDirectChildrenOnly)
                   : nullptr;
  if (!w) {
    w = new THistoryWindow(dataFolder, QTimeZone::systemTimeZone(), parent);
    w->setAttribute(Qt::WA_DeleteOnClose);
  }
  w->show();
  w->raise();
  w->activateWindow();
  return w;
}

}  // namespace quorvel::historyui

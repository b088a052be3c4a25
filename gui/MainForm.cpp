#include "MainForm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGraphicsLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <cerrno>
#include <cstring>

#include "common/Errors.h"
#include "common/Format.h"
#include "device/ui/SetupFirmware.h"
#include "gui/WindowManagerClose.h"
#include "history/ui/HistoryWindow.h"
#include "records/BuildStamp.h"
#include "records/ProgramSettings.h"
#include "records/SettingsStore.h"
#include "setup/SetupDlg.h"
#include "setup/SetupValues.h"

namespace quorvel {

namespace {

// Design sizes of the window and its parts, in pixels.
constexpr int kClientWidth = 1277;
constexpr int kClientHeight = 909;
constexpr int kSeeingChartHeight = 421;
constexpr int kSignalChartWidth = 602;
constexpr int kMemoHeight = 98;
constexpr int kMinSeeingChartHeight = 150;
constexpr int kMinSignalWidth = 150;
// Below this height the seeing chart cuts its turned time labels short.
constexpr int kLegibleSeeingChartHeight = 240;
constexpr int kMinMemoHeight = 60;
// Title bar and borders that a window manager adds around the client area.
constexpr int kWindowFrameHeight = 40;

const char* const kLabelNames[kValueLabelCount] = {
    "LabelCurrentSeeing",  "LabelLastseeingCorrected", "LabelCurrentSeeingMin",
    "LabelSeeingValue60s", "LabelCurrentSeeing5Min",   "LabelSeeingValue600s",
    "LabelSignal_mV",      "LabelPDCurrent",           "LabelADUSignalNF",
    "LabelScintillation",  "LabelTemperatureInBox",    "LabelSunPosition"};

// Where the window's fonts are missing (any Linux desktop), their closest
// metric equivalents: Liberation Sans is as wide as the design font, DejaVu
// Sans (the usual fallback) is wider and would crowd the panel.
void SubstituteDesignFonts() {
  static const bool done = [] {
    QFont::insertSubstitutions("Tahoma", {"Liberation Sans", "Arial", "DejaVu Sans"});
    QFont::insertSubstitutions("Courier New", {"Liberation Mono", "DejaVu Sans Mono"});
    return true;
  }();
  (void)done;
}

QFont PanelFont() {
  QFont f("Tahoma", 10);
  f.setBold(true);
  return f;
}

QString ColorStyle(TColor c) {
  return QStringLiteral("background-color: rgb(%1,%2,%3); border: 1px solid black;")
      .arg(c.r)
      .arg(c.g)
      .arg(c.b);
}

}  // namespace

const char* ValueLabelName(TValueLabel label) {
  return kLabelNames[static_cast<int>(label)];
}

TMainForm::TMainForm(std::shared_ptr<IHidBackend> backend, TDatabaseRegistry* settings,
                     QWidget* parent)
    : QMainWindow(parent), settings_(settings) {
  SubstituteDesignFonts();
  setObjectName("MainForm");
  setWindowTitle("Quorvel Monitor");
  QFont windowFont("Tahoma", 8);
  setFont(windowFont);

  BuildCharts();
  BuildPanel();

  memo_ = new TLogBox;
  memo_->setObjectName("Memo");
  memo_->setMaximumBlockCount(kMemoMaxLines);
  memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  auto* splitter2 = new QSplitter(Qt::Horizontal);
  splitter2->setObjectName("Splitter2");
  splitter2->setHandleWidth(3);
  auto* signalHolder = new QWidget;
  auto* signalLayout = new QVBoxLayout(signalHolder);
  signalLayout->setContentsMargins(3, 3, 3, 3);
  signalLayout->addWidget(chartSignal_);
  signalHolder->setMinimumWidth(kMinSignalWidth);
  splitter2->addWidget(signalHolder);
  // The panel keeps its design layout; where the window is too small for it
  // (a short screen), its rows scroll instead of being cut off.
  panelScroll_ = new QScrollArea;
  panelScroll_->setFrameShape(QFrame::NoFrame);
  panelScroll_->setWidgetResizable(true);
  panelScroll_->setWidget(panel_);
  KeepPanelWidth();
  panel_->installEventFilter(this);
  connect(panelScroll_->verticalScrollBar(), &QScrollBar::rangeChanged, this,
          [this] { KeepPanelWidth(); });
  splitter2->addWidget(panelScroll_);
  splitter2->setStretchFactor(0, 0);
  splitter2->setStretchFactor(1, 1);
  splitter2->setSizes({kSignalChartWidth + 6, kClientWidth - kSignalChartWidth - 6});

  auto* upper = new QWidget;
  auto* upperLayout = new QVBoxLayout(upper);
  upperLayout->setContentsMargins(0, 0, 0, 0);
  upperLayout->setSpacing(0);
  upperLayout->addWidget(chartSeeing_, 0);
  upperLayout->addWidget(splitter2, 1);

  // Faults that must not scroll away stay in a bar above the log.
  conditions_ = new TConditionBar;
  auto* logArea = new QWidget;
  logArea->setObjectName("LogArea");
  auto* logLayout = new QVBoxLayout(logArea);
  logLayout->setContentsMargins(0, 0, 0, 0);
  logLayout->setSpacing(0);
  logLayout->addWidget(conditions_);
  logLayout->addWidget(memo_, 1);

  auto* splitter1 = splitter1_ = new QSplitter(Qt::Vertical);
  splitter1->setObjectName("Splitter1");
  splitter1->setHandleWidth(3);
  splitter1->addWidget(upper);
  splitter1->addWidget(logArea);
  splitter1->setStretchFactor(0, 1);
  splitter1->setStretchFactor(1, 0);
  splitter1->setSizes({kClientHeight - kMemoHeight, kMemoHeight});
  setCentralWidget(splitter1);

  BuildMenuAndStatus();
  if (QScreen* screen = QGuiApplication::primaryScreen())
    FitToScreen(screen->availableGeometry().size());
  else
    FitToScreen(QSize(kClientWidth, kClientHeight + 100));

  core_ = std::make_unique<TMainCore>(*this, std::move(backend), settings, this);
  // The charts draw from the core's buffers in place.
  seeing_->Attach(&core_->FBufrollseeing);
  signal_->Attach(&core_->FBufrollLevel);
  connect(actSetup_, &QAction::triggered, this, [this] { Menu_SetupClick(); });
  connect(actFirmware_, &QAction::triggered, this, [this] { Firmware1Click(); });
  connect(actReset_, &QAction::triggered, this, [this] { MenuResetplotsClick(); });
  connect(actOpen_, &QAction::triggered, this, [this] { MenuOpenDataFileClick(); });
  connect(actOutputs_, &QAction::triggered, this, [this] {
    if (OnOutputsClick) OnOutputsClick();
  });
  wmClose_ = std::make_unique<TWindowManagerClose>(this, [this] { CloseFromWindowManager(); });
  core_->FormCreate();
}

TMainForm::~TMainForm() {
  wmClose_.reset();
  // The core goes first: its controller stops the read threads while the
  // window it reports to still exists. The charts let go of its buffers
  // first.
  seeing_->Attach(nullptr);
  signal_->Attach(nullptr);
  core_.reset();
}

void TMainForm::closeEvent(QCloseEvent* event) {
  // Closing is always granted; nothing is saved.
  core_->TimerMain().SetEnabled(false);
  event->accept();
}

void TMainForm::KeepPanelWidth() {
  // The splitter gives the signal chart's width up before the panel's, as
  // far as the screen allows; on a screen narrower than that the panel
  // scrolls sideways.
  QScrollBar* bar = panelScroll_->verticalScrollBar();
  int width =
      panel_->minimumSizeHint().width() + (bar->maximum() > 0 ? bar->sizeHint().width() : 0);
  if (screenWidth_ > 0) width = std::min(width, screenWidth_ - kMinSignalWidth - 3);
  if (panelScroll_->minimumWidth() != width) panelScroll_->setMinimumWidth(width);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == panel_ && event->type() == QEvent::LayoutRequest) KeepPanelWidth();
  return QMainWindow::eventFilter(watched, event);
}

void TMainForm::CloseFromWindowManager() {
  // No cycle starts once closing was asked for.
  core_->TimerMain().SetEnabled(false);
  // Innermost first; each one's own loop returns as soon as control is back
  // in it, so the menu action or cycle that opened it ends normally
  // (a dialog as if cancelled, a question as if answered No).
  for (int guard = 0; guard < 32; ++guard) {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) break;
    if (auto* dialog = qobject_cast<QDialog*>(modal))
      dialog->done(QDialog::Rejected);
    else
      modal->close();
    if (QApplication::activeModalWidget() == modal) break;  // it refused
  }
  QTimer::singleShot(0, this, [this] { close(); });
}

void TMainForm::SetCaption(const std::string& suffix) {
  setWindowTitle(QStringLiteral("Quorvel Monitor") + QString::fromStdString(suffix));
}

namespace {

// The calibration dialog's exchanges go through the window's protocol.
class TProtocolLink final : public ICalibrationLink {
 public:
  explicit TProtocolLink(TInstrumentProtocol& protocol) : protocol_(protocol) {}
  void DeviceRequest(std::uint8_t Command, const TReportBuffer& BufferIN,
                     TReportBuffer& BufferOUT) override {
    protocol_.DeviceRequest(Command, BufferIN, BufferOUT);
  }

 private:
  TInstrumentProtocol& protocol_;
};

}  // namespace

void TMainForm::Menu_SetupClick() {
  RunSetupDialog(this, IDERunning(), SetupValuesFromProgram(GeneralParams, SetupLocation),
                 [this](const TSetupValues& v) {
                   ApplySetupValues(v, GeneralParams, SetupLocation);
                   core_->SetupApplied();
                 });
}

void TMainForm::Firmware1Click() {
  TProtocolLink link(core_->Protocol());
  {
    TFormSetupHW dialog(link, this);
    dialog.exec();
  }
  try {
    core_->GetVersion_SNR();
  } catch (const std::exception& e) {
    CurrentMessageSink().ShowError(e.what());
  }
}

void TMainForm::MenuOpenDataFileClick() {
  if (core_->FPathDataFile.empty()) {
    CurrentMessageSink().ShowMessage("Result data file is stored here : " +
                                     GeneralParams.PathMainRootSav);
    return;
  }
  try {
    OuvrirFichierNotepad(core_->FPathDataFile);
  } catch (const std::exception& e) {
    CurrentMessageSink().ShowError(e.what());
  }
}

void TMainForm::OuvrirFichierNotepad(const std::string& FileName) {
  QString editor = qEnvironmentVariable("QUORVEL_EDITOR");
  if (editor.isEmpty()) editor = QStringLiteral("xdg-open");
  // A start that fails is reported with the system's code and description;
  // the two usual causes are found before starting, as exec would see them.
  auto fail = [&](int code, const QString& why) {
    throw Exception(Format("System Error.  Code: %d.", {code}) + "\n" + why.toStdString() + " (" +
                    editor.toStdString() + ")");
  };
  const QString program = editor.contains('/') ? editor : QStandardPaths::findExecutable(editor);
  const QFileInfo info(program);
  if (program.isEmpty() || !info.exists())
    fail(ENOENT, QString::fromLocal8Bit(std::strerror(ENOENT)));
  if (!info.isExecutable() || info.isDir())
    fail(EACCES, QString::fromLocal8Bit(std::strerror(EACCES)));
  QProcess process;
  process.setProgram(program);
  // The path is one argument, with no shell in between: blanks and quotes
  // in it reach the editor as they are.
  process.setArguments({QString::fromStdString(FileName)});
  process.setStandardInputFile(QProcess::nullDevice());
  process.setStandardOutputFile(QProcess::nullDevice());
  process.setStandardErrorFile(QProcess::nullDevice());
  qint64 pid = 0;
  if (!process.startDetached(&pid)) fail(EIO, process.errorString());
}

void TMainForm::BuildCharts() {
  auto makeChart = [](const char* name, const char* title, const char* valueTitle,
                      const char* seriesName, QColor line, QColor markerOutline,
                      std::unique_ptr<TChartSeries>& out) {
    auto* chart = new QChart;
    chart->setTitle(title);
    QFont titleFont("Courier New");
    titleFont.setPixelSize(15);
    titleFont.setBold(true);
    chart->setTitleFont(titleFont);
    chart->setTitleBrush(Qt::black);
    chart->legend()->hide();
    chart->setAnimationOptions(QChart::NoAnimation);
    QLinearGradient gradient(0, 0, 0, 1);
    gradient.setCoordinateMode(QGradient::ObjectBoundingMode);
    gradient.setColorAt(0, QColor(0xE8, 0xEC, 0xF4));
    gradient.setColorAt(1, Qt::white);
    chart->setBackgroundBrush(gradient);
    // Tight margins: on a short screen the seeing chart gets little height,
    // and the turned time labels need theirs.
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    chart->setMargins(QMargins(4, 2, 12, 2));
    chart->setBackgroundRoundness(0);

    auto* series = new QLineSeries;
    series->setObjectName(seriesName);
    QPen pen(line);
    pen.setWidth(1);
    series->setPen(pen);
    series->setColor(line);
    series->setBrush(markerOutline);
    series->setMarkerSize(2);
    series->setPointsVisible(true);
    chart->addSeries(series);

    auto* timeAxis = new QDateTimeAxis;
    timeAxis->setFormat("hh:mm:ss");
    timeAxis->setTitleText("Time (s)");
    timeAxis->setLabelsAngle(-90);
    timeAxis->setTickCount(10);
    auto* valueAxis = new QValueAxis;
    valueAxis->setTitleText(valueTitle);
    for (QAbstractAxis* axis :
         {static_cast<QAbstractAxis*>(timeAxis), static_cast<QAbstractAxis*>(valueAxis)}) {
      axis->setLineVisible(false);
      QPen grid(QColor(0xA0, 0xA0, 0xA0));
      grid.setStyle(Qt::DotLine);
      axis->setGridLinePen(grid);
    }
    chart->addAxis(timeAxis, Qt::AlignBottom);
    chart->addAxis(valueAxis, Qt::AlignLeft);
    series->attachAxis(timeAxis);
    series->attachAxis(valueAxis);

    out = std::make_unique<TChartSeries>(chart, series, timeAxis, valueAxis);
    auto* view = new TChartView(chart, out.get());
    view->setObjectName(name);
    view->setRubberBand(QChartView::RectangleRubberBand);
    view->setCursor(Qt::CrossCursor);
    view->setFrameShape(QFrame::Box);
    return view;
  };
  chartSeeing_ = makeChart("ChartSeeing", "Seeing versus time", "Arcsec", "SeriesSeeing",
                           QColor(0, 128, 128), QColor(0, 128, 64), seeing_);
  chartSeeing_->setFixedHeight(kSeeingChartHeight);
  chartSignal_ = makeChart("ChartSignalLevel", "Photodiode signal", "mV", "SeriesSignal_Level",
                           QColor(255, 0, 0), QColor(255, 0, 0), signal_);
}

void TMainForm::BuildPanel() {
  panel_ = new QWidget;
  panel_->setObjectName("PanelInfos");
  panel_->setAutoFillBackground(true);
  const QFont bold = PanelFont();

  // A grid, not fixed positions: the captions, values and notes take the
  // room their texts need in the fonts at hand, so no two of them overlap
  // whatever the window's size (the panel scrolls when it is too small).
  auto* grid = new QGridLayout;
  grid->setContentsMargins(4, 2, 4, 2);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(3);
  enum Column { kCaption = 0, kValue, kFurther, kZenithCaption, kZenithValue, kColumns };
  auto caption = [&](const QString& text, int row, int column = kCaption) {
    auto* l = new QLabel(text, panel_);
    l->setFont(bold);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(l, row, column);
    return l;
  };
  auto value = [&](TValueLabel id, int row, int column, int span) {
    auto* l = new QLabel("???", panel_);
    l->setObjectName(ValueLabelName(id));
    l->setFont(bold);
    grid->addWidget(l, row, column, 1, span);
    valueLabels_[static_cast<int>(id)] = l;
    return l;
  };
  auto tip = [](const QString& text, std::initializer_list<QWidget*> widgets) {
    for (QWidget* w : widgets) w->setToolTip(text);
  };

  const QString seeingTip = QStringLiteral(
      "Seeing: the blur that the air adds to the Sun's image, in arcseconds, from the "
      "scintillation the instrument measures; smaller is better. r0 (Fried parameter) is the "
      "same in millimetres: the aperture over which the air is still calm; larger is better.");
  const QString zenithTip = QStringLiteral(
      "The same value corrected to the zenith: the air mass along the line of sight to the Sun "
      "is taken out with the Sun's elevation, so values of different hours compare.");
  struct SeeingRow {
    TValueLabel value, zenith;
    const char* further;
  } rows[] = {
      {TValueLabel::CurrentSeeing, TValueLabel::LastseeingCorrected, nullptr},
      {TValueLabel::CurrentSeeingMin, TValueLabel::SeeingValue60s, "(last minute mean)"},
      {TValueLabel::CurrentSeeing5Min, TValueLabel::SeeingValue600s, "(last 5 minutes mean)"}};
  int row = 0;
  for (const auto& r : rows) {
    QLabel* c = caption("Last seeing value :", row);
    QLabel* v = value(r.value, row, kValue, r.further ? 1 : 2);
    tip(seeingTip, {c, v});
    if (r.further) {
      auto* further = new QLabel(r.further, panel_);
      further->setFont(bold);
      grid->addWidget(further, row, kFurther);
      tip(seeingTip, {further});
    }
    QLabel* zc = caption("zenith cor. :", row, kZenithCaption);
    QLabel* zv = value(r.zenith, row, kZenithValue, 1);
    tip(zenithTip, {zc, zv});
    ++row;
  }
  auto* warning = new QLabel(
      "WARNING: If any clouds are present between the sun and this device, measurements will be "
      "underestimated.",
      panel_);
  warning->setFont(bold);
  warning->setWordWrap(true);
  grid->addWidget(warning, row++, kCaption, 1, kColumns);
  grid->setRowMinimumHeight(row++, 4);

  const QString signalTip = QStringLiteral(
      "The Sun's light on the photodiode after the offset is taken away, in millivolts. Below "
      "the minimum of the setup dialog no seeing is computed.");
  const QString currentTip =
      QStringLiteral("The photodiode current that gives this signal through the shunt resistor.");
  tip(signalTip, {caption("Signal value :", row), value(TValueLabel::Signal_mV, row, kValue, 4)});
  ++row;
  tip(currentTip,
      {caption("Photodiode current :", row), value(TValueLabel::PDCurrent, row, kValue, 4)});
  ++row;
  QLabel* saturation = caption("Signal saturation", row);
  progress_ = new QProgressBar(panel_);
  progress_->setObjectName("ProgressBar");
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setTextVisible(false);
  progress_->setFixedSize(502, 17);
  grid->addWidget(progress_, row++, kValue, 1, 4, Qt::AlignLeft | Qt::AlignVCenter);
  auto* minMax = new QWidget(panel_);
  auto* minMaxRow = new QHBoxLayout(minMax);
  minMaxRow->setContentsMargins(0, 0, 0, 0);
  minMaxRow->addWidget(new QLabel("min", minMax));
  minMaxRow->addStretch(1);
  minMaxRow->addWidget(new QLabel("max", minMax));
  grid->addWidget(minMax, row++, kValue, 1, 4, Qt::AlignLeft);
  minMax->setFixedWidth(progress_->width());
  tip(QStringLiteral("How close the signal is to the converter's full scale: at max the "
                     "photodiode saturates and the seeing is no longer measured right."),
      {saturation, progress_, minMax});
  grid->setRowMinimumHeight(row++, 4);

  tip(QStringLiteral("The unfiltered channel in converter units (ADU): the mean light level and "
                     "its noise over the samples of one measurement."),
      {caption("Signal value :", row), value(TValueLabel::ADUSignalNF, row, kValue, 4)});
  ++row;
  tip(QStringLiteral("Scintillation: how much the sunlight flickers on its way through the air, "
                     "as an RMS in ADU and in volts; the seeing is computed from it. SNR is its "
                     "ratio to the instrument's noise."),
      {caption("Scintillation value :", row), value(TValueLabel::Scintillation, row, kValue, 4)});
  ++row;
  tip(QStringLiteral("Temperature inside the instrument's box."),
      {caption("In box temperature :", row), value(TValueLabel::TemperatureInBox, row, kValue, 3)});
  const int shapeRow = row;
  ++row;
  tip(QStringLiteral("The Sun's azimuth (from north through east) and elevation (refraction "
                     "included) at the site, computed for this second."),
      {caption("SUN position :", row), value(TValueLabel::SunPosition, row, kValue, 3)});
  ++row;

  shape_ = new QFrame(panel_);
  shape_->setObjectName("Shape");
  shape_->setFixedSize(33, 33);
  shape_->setStyleSheet(ColorStyle(shapeColor_));
  shape_->setToolTip(QStringLiteral(
      "Blue and green in turn: a measurement every second. Red: acquisition stopped."));
  grid->addWidget(shape_, shapeRow, kZenithValue, 2, 1, Qt::AlignRight | Qt::AlignBottom);
  grid->setColumnStretch(kZenithValue, 1);
  grid->setRowStretch(row, 1);

  readout_ = new TSeeingReadout(panel_);
  auto* column = new QVBoxLayout(panel_);
  column->setContentsMargins(2, 2, 2, 0);
  column->setSpacing(2);
  column->addWidget(readout_);
  column->addLayout(grid, 1);
}

int TMainForm::PanelHeight() const {
  // The wrapped warning needs most height at the narrowest panel.
  const QSize least = panel_->minimumSizeHint();
  return std::max(least.height(), panel_->heightForWidth(least.width()));
}

void TMainForm::BuildMenuAndStatus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName("MainMenu");
  // Alt+S, Alt+F, Alt+R and Alt+O; the captions read as before.
  actSetup_ = bar->addAction("&Setup");
  actSetup_->setObjectName("Menu_Setup");
  actFirmware_ = bar->addAction("&Firmware");
  actFirmware_->setObjectName("Firmware1");
  actReset_ = bar->addAction("&Reset Plots");
  actReset_->setObjectName("MenuResetplots");
  actOpen_ = bar->addAction("&Open Result DataFile");
  actOpen_->setObjectName("MenuOpenDataFile");
  // Past days' results (Alt+H); the window reads the files off this thread.
  QAction* history = bar->addAction("&History");
  history->setObjectName("MenuHistory");
  connect(history, &QAction::triggered, this, [this] {
    historyui::OpenHistoryWindow(this, QString::fromStdString(GeneralParams.PathMainRootSav));
  });
  actOutputs_ = bar->addAction("Outputs...");
  actOutputs_->setObjectName("MenuOutputs");

  QStatusBar* status = statusBar();
  status->setObjectName("StatusBar");
  status->setSizeGripEnabled(true);
  const int widths[3] = {270, 150, 50};
  for (int i = 0; i < 3; ++i) {
    auto* l = new QLabel;
    l->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    l->setMinimumWidth(widths[i]);
    if (i < 2)
      status->addWidget(l, 0);
    else
      status->addWidget(l, 1);  // the last panel reaches to the bar's right end
    statusPanels_[static_cast<std::size_t>(i)] = l;
  }
}

void TMainForm::FitToScreen(QSize available) {
  // The design size, but never larger than the screen's available area: a
  // 1366x768 laptop must show the whole window. A short screen takes the
  // height from the seeing chart down to what its turned time labels need,
  // then from the log box; the information panel stays whole as long as
  // possible and scrolls after that.
  const int bars = menuBar()->sizeHint().height() + statusBar()->sizeHint().height();
  const int width = std::min(kClientWidth, available.width());
  screenWidth_ = width;
  KeepPanelWidth();
  const int height =
      std::max(300, std::min(kClientHeight + bars, available.height() - kWindowFrameHeight));
  const int central = height - bars;
  const int middle = PanelHeight() + 6;   // the panel and the signal chart's margins
  const int rest = central - 3 - middle;  // seeing chart and log box
  int memo = kMemoHeight;
  int seeing = rest - memo;
  if (seeing < kLegibleSeeingChartHeight) {
    seeing = std::min(kLegibleSeeingChartHeight, rest - kMinMemoHeight);
    memo = rest - seeing;
  }
  seeing = std::clamp(seeing, kMinSeeingChartHeight, kSeeingChartHeight);
  memo = std::max(memo, kMinMemoHeight);
  chartSeeing_->setFixedHeight(seeing);
  splitter1_->setSizes({std::max(0, central - 3 - memo), memo});
  resize(width, height);
}

void TMainForm::SetValueLabel(TValueLabel label, const std::string& text) {
  valueLabels_[static_cast<int>(label)]->setText(QString::fromStdString(text));
}

void TMainForm::SetProgressBarPosition(std::int32_t position) {
  progress_->setValue(std::clamp(position, 0, 100));
}

void TMainForm::SetShapeColor(TColor color) {
  if (color == shapeColor_) return;
  shapeColor_ = color;
  shape_->setStyleSheet(ColorStyle(color));
}

void TMainForm::SetStatusText(int panel, const std::string& text) {
  if (panel < 0 || panel > 2) return;
  statusPanels_[static_cast<std::size_t>(panel)]->setText(QString::fromStdString(text));
}

void TMainForm::AppendLogLine(const std::string& line) {
  memo_->appendPlainText(QString::fromStdString(line));
  memo_->verticalScrollBar()->setValue(memo_->verticalScrollBar()->maximum());
}

void TMainForm::RaiseCondition(TCondition id, const std::string& text) {
  conditions_->Raise(id, text);
}

void TMainForm::ClearCondition(TCondition id) {
  conditions_->Clear(id);
}

void TMainForm::SetSeeingGlance(const TSeeingGlance& glance) {
  readout_->SetGlance(glance);
}

void TMainForm::SetTriggerState(TTriggerState state) {
  switch (state) {
    case TTriggerState::Good:
      readout_->SetTriggerState(TReadoutTrigger::Good);
      break;
    case TTriggerState::Bad:
      readout_->SetTriggerState(TReadoutTrigger::Bad);
      break;
    case TTriggerState::Unknown:
      readout_->SetTriggerState(TReadoutTrigger::Unknown);
      break;
  }
}

bool TMainForm::AskYesNo(const std::string& question) {
  return CurrentMessageSink().AskYesNo(question);
}

void TMainForm::ShowError(const std::string& text) {
  CurrentMessageSink().ShowError(text);
}

}  // namespace quorvel

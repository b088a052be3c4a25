#include "MainForm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFrame>
#include <QGraphicsLayout>
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
// The information panel's rows end at 356, the indicator square at 360.
constexpr int kPanelMinWidth = 662;
constexpr int kPanelMinHeight = 364;
constexpr int kMinSeeingChartHeight = 150;
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
  signalHolder->setMinimumWidth(150);
  splitter2->addWidget(signalHolder);
  // The panel keeps its design layout; where the window is too small for it
  // (a short screen), its rows scroll instead of being cut off.
  panelScroll_ = new QScrollArea;
  panelScroll_->setFrameShape(QFrame::NoFrame);
  panelScroll_->setWidgetResizable(true);
  panelScroll_->setWidget(panel_);
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

  auto* splitter1 = splitter1_ = new QSplitter(Qt::Vertical);
  splitter1->setObjectName("Splitter1");
  splitter1->setHandleWidth(3);
  splitter1->addWidget(upper);
  splitter1->addWidget(memo_);
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
  core_->FormCreate();
}

TMainForm::~TMainForm() {
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
                   if (settings_) {
                     WriteProgramSettings(*settings_);
                     // The store does not stop the program on a failed write,
                     // but the operator should know the values hold for this
                     // run only.
                     if (!settings_->LastWriteError.empty()) {
                       AddtoMemoLog(Memo(), "Settings not saved : " + settings_->LastWriteError);
                       settings_->LastWriteError.clear();
                     }
                   }
                   core_->ResizeBuffers();
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
  panel_->setMinimumSize(kPanelMinWidth, kPanelMinHeight);
  const QFont bold = PanelFont();

  // Captions end just before the value column; the zenith captions end at 466.
  constexpr int kValueX = 160;
  constexpr int kZenithCaptionRight = 466;
  constexpr int kZenithValueX = 472;
  auto caption = [&](const QString& text, int top, int right, int width = 156) {
    auto* l = new QLabel(text, panel_);
    l->setFont(bold);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    l->setGeometry(right - width, top, width, 18);
    return l;
  };
  auto value = [&](TValueLabel id, int left, int top, int width) {
    auto* l = new QLabel("???", panel_);
    l->setObjectName(ValueLabelName(id));
    l->setFont(bold);
    l->setGeometry(left, top, width, 18);
    valueLabels_[static_cast<int>(id)] = l;
    return l;
  };
  auto note = [&](const QString& text, int left, int top, int width) {
    auto* l = new QLabel(text, panel_);
    l->setFont(bold);
    l->setGeometry(left, top, width, 18);
    return l;
  };

  struct SeeingRow {
    int top;
    TValueLabel value, zenith;
    const char* further;
  } rows[] = {
      {24, TValueLabel::CurrentSeeing, TValueLabel::LastseeingCorrected, nullptr},
      {46, TValueLabel::CurrentSeeingMin, TValueLabel::SeeingValue60s, "(last minute mean)"},
      {68, TValueLabel::CurrentSeeing5Min, TValueLabel::SeeingValue600s, "(last 5 minutes mean)"}};
  for (const auto& r : rows) {
    caption("Last seeing value :", r.top, kValueX - 4);
    value(r.value, kValueX, r.top, r.further ? 78 : 210);
    if (r.further) note(r.further, kValueX + 78, r.top, 150);
    caption("zenith cor. :", r.top, kZenithCaptionRight, 100);
    value(r.zenith, kZenithValueX, r.top, 300);
  }
  auto* warning = new QLabel(
      "WARNING: If any clouds are present between the sun and this device, measurements will be "
      "underestimated.",
      panel_);
  warning->setFont(bold);
  warning->setWordWrap(true);
  warning->setGeometry(16, 95, 633, 32);

  caption("Signal value :", 156, kValueX - 4);
  value(TValueLabel::Signal_mV, kValueX, 156, 400);
  caption("Photodiode current :", 178, kValueX - 4);
  value(TValueLabel::PDCurrent, kValueX, 178, 400);
  caption("Signal saturation", 200, kValueX - 4);
  progress_ = new QProgressBar(panel_);
  progress_->setObjectName("ProgressBar");
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setTextVisible(false);
  progress_->setGeometry(kValueX, 200, 502, 17);
  auto* minLabel = new QLabel("min", panel_);
  minLabel->setGeometry(kValueX, 223, 40, 14);
  auto* maxLabel = new QLabel("max", panel_);
  maxLabel->setAlignment(Qt::AlignRight);
  maxLabel->setGeometry(kValueX + 502 - 40, 223, 40, 14);
  caption("Signal value :", 260, kValueX - 4);
  value(TValueLabel::ADUSignalNF, kValueX, 260, 460);
  caption("Scintillation value :", 282, kValueX - 4);
  value(TValueLabel::Scintillation, kValueX, 282, 460);
  caption("In box temperature :", 314, kValueX - 4);
  value(TValueLabel::TemperatureInBox, kValueX, 314, 300);
  caption("SUN position :", 338, kValueX - 4);
  value(TValueLabel::SunPosition, kValueX, 338, 420);

  shape_ = new QFrame(panel_);
  shape_->setObjectName("Shape");
  shape_->setGeometry(626, 327, 33, 33);
  shape_->setStyleSheet(ColorStyle(shapeColor_));
}

void TMainForm::BuildMenuAndStatus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName("MainMenu");
  actSetup_ = bar->addAction("Setup");
  actSetup_->setObjectName("Menu_Setup");
  actFirmware_ = bar->addAction("Firmware");
  actFirmware_->setObjectName("Firmware1");
  actReset_ = bar->addAction("Reset Plots");
  actReset_->setObjectName("MenuResetplots");
  actOpen_ = bar->addAction("Open Result DataFile");
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
  const int height =
      std::max(300, std::min(kClientHeight + bars, available.height() - kWindowFrameHeight));
  const int central = height - bars;
  const int middle = kPanelMinHeight + 6;  // the panel and the signal chart's margins
  const int rest = central - 3 - middle;   // seeing chart and log box
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

bool TMainForm::AskYesNo(const std::string& question) {
  return CurrentMessageSink().AskYesNo(question);
}

void TMainForm::ShowError(const std::string& text) {
  CurrentMessageSink().ShowError(text);
}

}  // namespace quorvel

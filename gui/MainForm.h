// The main window: the seeing chart on top, the signal chart and the
// information panel in the middle, the on-screen log and the status bar below.
// It shows what the acquisition logic tells it through IMainView.
#pragma once

#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>

#include "app/MainCore.h"
#include "app/MainView.h"
#include "gui/ChartSeries.h"
#include "gui/ConditionBar.h"
#include "gui/LogBox.h"
#include "gui/SeeingReadout.h"

QT_BEGIN_NAMESPACE
class QLabel;
class QProgressBar;
class QSplitter;
class QFrame;
class QAction;
class QChartView;
class QScrollArea;
QT_END_NAMESPACE

namespace quorvel {

class TWindowManagerClose;

// The on-screen log box keeps at least this many of the newest lines: a log
// that never drops a line exhausts memory in a run of a few weeks.
constexpr int kMemoMaxLines = 100000;

class TMainForm : public QMainWindow, public IMainView, private ILogSink {
  Q_OBJECT

 public:
  // `backend` none: an inert HID controller (no device ever arrives).
  explicit TMainForm(std::shared_ptr<IHidBackend> backend = nullptr,
                     TDatabaseRegistry* settings = nullptr, QWidget* parent = nullptr);
  ~TMainForm() override;

  TMainCore& Core() { return *core_; }

  // Menu handlers.
  void Menu_SetupClick();
  void Firmware1Click();
  void MenuResetplotsClick() { core_->MenuResetplotsClick(); }
  void MenuOpenDataFileClick();
  // Starts the text editor on the file, not waiting for it. The editor is
  // $QUORVEL_EDITOR if set, else xdg-open; the path is its one argument and
  // no shell is involved.
  static void OuvrirFichierNotepad(const std::string& FileName);

  // IMainView
  void SetValueLabel(TValueLabel label, const std::string& text) override;
  void SetProgressBarPosition(std::int32_t position) override;
  void SetShapeColor(TColor color) override;
  void SetStatusText(int panel, const std::string& text) override;
  void SetCaption(const std::string& suffix) override;
  ILogSink& Memo() override { return *this; }
  IPlotSeries& SeriesSeeing() override { return *seeing_; }
  IPlotSeries& SeriesSignal_Level() override { return *signal_; }
  bool AskYesNo(const std::string& question) override;
  void ShowError(const std::string& text) override;
  void RaiseCondition(TCondition id, const std::string& text) override;
  void ClearCondition(TCondition id) override;
  void SetSeeingGlance(const TSeeingGlance& glance) override;
  void SetTriggerState(TTriggerState state) override;

  TConditionBar& Conditions() const { return *conditions_; }
  TSeeingReadout& Readout() const { return *readout_; }
  QWidget* Panel() const { return panel_; }

  // The window manager asked to close the window while a modal dialog or
  // message box blocks it: every modal window is closed as if cancelled,
  // then the main window, so the program ends. Closing is always granted.
  void CloseFromWindowManager();

  TColor ShapeColor() const { return shapeColor_; }
  TLogBox* MemoBox() const { return memo_; }
  TChartSeries& SeeingChart() const { return *seeing_; }
  TChartSeries& SignalChart() const { return *signal_; }

  QAction* ActionSetup() const { return actSetup_; }
  QAction* ActionFirmware() const { return actFirmware_; }
  QAction* ActionResetPlots() const { return actReset_; }
  QAction* ActionOpenDataFile() const { return actOpen_; }
  QAction* ActionOutputs() const { return actOutputs_; }
  // The "Outputs..." menu entry; the program's wiring sets it.
  std::function<void()> OnOutputsClick;
  QScrollArea* PanelScroll() const { return panelScroll_; }

  // Sizes the window for a screen whose available area is `available`: the
  // design size where it fits, else smaller, the seeing chart giving way first.
  void FitToScreen(QSize available);

 private:
  void AppendLogLine(const std::string& line) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  // The panel's whole width stays on screen: the splitter takes room from
  // the signal chart when the panel's texts grow.
  void KeepPanelWidth();
  void BuildCharts();
  void BuildPanel();
  void BuildMenuAndStatus();
  // Height the information panel needs to show every row.
  int PanelHeight() const;

  QChartView* chartSeeing_ = nullptr;
  QChartView* chartSignal_ = nullptr;
  std::unique_ptr<TChartSeries> seeing_;
  std::unique_ptr<TChartSeries> signal_;
  QWidget* panel_ = nullptr;
  QScrollArea* panelScroll_ = nullptr;
  QSplitter* splitter1_ = nullptr;
  std::array<QLabel*, kValueLabelCount> valueLabels_{};
  QProgressBar* progress_ = nullptr;
  QFrame* shape_ = nullptr;
  TColor shapeColor_{255, 255, 255};
  TLogBox* memo_ = nullptr;
  TConditionBar* conditions_ = nullptr;
  TSeeingReadout* readout_ = nullptr;
  std::unique_ptr<TWindowManagerClose> wmClose_;
  int screenWidth_ = 0;  // the window's width as last fitted to a screen
  std::array<QLabel*, 3> statusPanels_{};
  QAction* actSetup_ = nullptr;
  QAction* actFirmware_ = nullptr;
  QAction* actOutputs_ = nullptr;
  QAction* actReset_ = nullptr;
  QAction* actOpen_ = nullptr;
  TDatabaseRegistry* settings_ = nullptr;
  std::unique_ptr<TMainCore> core_;
};

}  // namespace quorvel

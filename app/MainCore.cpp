#include "MainCore.h"

#include <QFileInfo>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "common/Angles.h"
#include "common/Clock.h"
#include "common/Errors.h"
#include "common/Format.h"
#include "device/MeasurementAnswer.h"
#include "ephemeris/Calendar.h"
#include "ephemeris/SunPosition.h"
#include "measure/ComputeCore.h"
#include "records/BuildStamp.h"
#include "records/DataFolder.h"
#include "records/ProgramSettings.h"
#include "records/ResultFile.h"
#include "records/SettingsStore.h"

namespace quorvel {

const char* ConditionName(TCondition condition) {
  static const char* const names[kConditionCount] = {"AcquisitionStopped", "ResultsFileNotWritten",
                                                     "SettingsNotSaved", "InstrumentLost",
                                                     "SecondInstance"};
  return names[static_cast<int>(condition)];
}

namespace {

// Scintillation RMS in ADU per unit of the displayed signal-to-noise figure.
constexpr double kScintillationPerSnr = 22;

}  // namespace

TMainCore::TMainCore(IMainView& view, std::shared_ptr<IHidBackend> backend,
                     TDatabaseRegistry* settings, QObject* parent)
    : QObject(parent),
      FView(view),
      FSettings(settings),
      FResults(
          [this](const std::string& error) {
            Log("Main timer error : " + error);
            Raise(TCondition::ResultsFileNotWritten, "Results file not written : " + error);
          },
          [this](const std::string& text) {
            Log(text);
            if (FResults.Pending() == 0) Clear(TCondition::ResultsFileNotWritten);
          }),
      FTimerMain(this),
      FProtocol(view.Memo(), view) {
  FTimerMain.OnTimer = [this] { TimerMainTimer(); };
  FHidCtl = std::make_unique<THidDeviceController>(std::move(backend), this);
  FHidCtl->setObjectName("HidCtl");
  FHidCtl->OnArrival = [this](THidDevice* dev) { HidCtlArrival(dev); };
  FHidCtl->OnDeviceChange = [this](QObject*) { HidCtlDeviceChange(); };
  // Removal and unplug need nothing: the next exchange with an unplugged
  // instrument fails and stops acquisition.
  FHidCtl->OnRemoval = [this](THidDevice* dev) {
    if (dev == FProtocol.FCurrentDevice)
      Raise(TCondition::InstrumentLost,
            "Instrument lost : " + DeviceName(dev) + " was unplugged, please attach it again");
  };
  FHidCtl->OnDeviceUnplug = [](THidDevice*) {};
  FHidCtl->OnEnumerate = [](THidDevice*, int) { return false; };
}

TMainCore::~TMainCore() {
  FTimerMain.SetEnabled(false);
  if (FProtocol.FCurrentDevice) FProtocol.FCurrentDevice->SetOnData(nullptr);
  FProtocol.FCurrentDevice = nullptr;
  FHidCtl.reset();  // stops the read threads and frees the devices
}

void TMainCore::Log(const std::string& text) {
  AddtoMemoLog(FView.Memo(), text);
}

void TMainCore::Raise(TCondition id, const std::string& text) {
  FView.RaiseCondition(id, text);
}

void TMainCore::Clear(TCondition id) {
  FView.ClearCondition(id);
}

std::string TMainCore::SiteText(const TSetupLocation& site) {
  // West positive in the program, as the setup dialog shows it.
  return Format("Site : latitude %1.4f\u00B0 ", {std::fabs(site.Latitude) * kRadToDeg}) +
         (site.Latitude > 0 ? "N" : "S") +
         Format(", longitude %1.4f\u00B0 ", {std::fabs(site.Longitude) * kRadToDeg}) +
         (site.Longitude > 0 ? "W" : "E") + Format(", altitude %1.0f m", {site.AltitudeM});
}

void TMainCore::LogSiteIfMoved() {
  const std::string site = SiteText(SetupLocation);
  if (site == FLoggedSite) return;
  FLoggedSite = site;
  Log(site);
}

void TMainCore::FormCreate() {
  FView.SetCaption(" -> " + S_VersionString);
  FTimerConter = 0;
  Log("Application startup");
  if (FSettings) {
    // A first run has no settings file yet: nothing to say. Once the file
    // exists, every value that could not be read is named with the default
    // kept, a missing one too (a truncated or overwritten file).
    const bool fileExists =
        QFileInfo::exists(QString::fromStdString(FSettings->SettingsFileName()));
    const std::vector<TSettingRead> reads = ReadStartupSettings(*FSettings);
    for (const TSettingRead& r : reads)
      if (!r.Read && (fileExists || r.Message.find(" not found!") == std::string::npos))
        Log("Setting " + r.IDString + " not used, default kept : " + r.Message);
    for (const TSettingRead& r : ReadSeeingClasses(*FSettings, SeeingClasses))
      if (!r.Read && !r.Message.empty())
        Log("Setting " + r.IDString + " not used, default kept : " + r.Message);
  }
  // Which site every Sun position of this run starts from.
  LogSiteIfMoved();
  FBufrollseeing.SetLength(GeneralParams.MaxPointsDisplayed);
  FBufrollLevel.SetLength(GeneralParams.MaxPointsDisplayed);
  FIdrol_S = -1;
  FIdrol_L = -1;
  FView.SetStatusText(2, "Data saved in this folder : " + GeneralParams.PathMainRootSav);
  FPathDataFile.clear();
}

void TMainCore::StopAcquisition(bool onError) {
  FTimerMain.SetEnabled(false);
  if (onError) FView.SetShapeColor(kRed);
  FView.OnAcquisitionStopped();
}

bool TMainCore::ShowMean(double seconds, TValueLabel meanLabel, TValueLabel zenithLabel,
                         const char* logText, double elevation, double& mean, double& meanZen) {
  mean = 0;
  meanZen = 0;
  if (MeanValue_Interval(FBufrollseeing, FIdrol_S, seconds, mean)) {
    FView.SetValueLabel(meanLabel, Format("%1.1f arcsec", {mean}));
    Compute_CorrectionZenith_Seeing(mean, elevation, meanZen);
    FView.SetValueLabel(zenithLabel,
                        Format("%1.1f arcsec |  %1.1f R0 mm", {meanZen, ToR0(meanZen)}));
    // The seeing of this line is the uncorrected mean, its r0 the corrected one.
    Log(Format(logText, {mean, ToR0(meanZen)}));
    return true;
  }
  FView.SetValueLabel(meanLabel, "N/A");
  FView.SetValueLabel(zenithLabel, "N/A");
  return false;
}

void TMainCore::PublishSnapshot(TLiveSnapshot& s) {
  s.serialNumber = FProtocol.FSerialNumber;
  s.station = DefaultStationName(s.serialNumber);
  s.latitudeDeg = SetupLocation.Latitude * kRadToDeg;
  s.longitudeEastDeg = -SetupLocation.Longitude * kRadToDeg;
  s.altitudeM = SetupLocation.AltitudeM;
  const std::optional<TTriggerChange> change = FTrigger.Update(s);
  s.trigger = FTrigger.State();
  if (change) Log(TriggerChangeText(FTrigger.Config(), *change));
  FView.SetTriggerState(s.trigger);
  FLive.Publish(s);
  if (change && OnTriggerChange) OnTriggerChange(*change, *FLive.Last());
}

void TMainCore::Heartbeat() {
  if (FTimerMain.Enabled()) return;
  TLiveSnapshot live;
  live.utcMs = CurrentClock().UtcMs();
  live.reason = TInvalidReason::NoInstrument;
  PublishSnapshot(live);
}

void TMainCore::StartHeartbeat() {
  FHeartbeat.setInterval(1000);
  QObject::connect(&FHeartbeat, &QTimer::timeout, this, [this] { Heartbeat(); });
  FHeartbeat.start();
}

void TMainCore::TimerMainTimer() {
  TLiveSnapshot live;
  live.utcMs = CurrentClock().UtcMs();
  try {
    // A new system time zone shows in the local column and the day file's
    // name without a restart.
    if (RefreshTimeZone()) {
      const long off = LocalUtcOffsetSeconds(CurrentClock().UtcMs());
      char text[64];
      std::snprintf(text, sizeof text, "Local time zone changed : UTC%c%02ld:%02ld",
                    off < 0 ? '-' : '+', std::labs(off) / 3600, std::labs(off) % 3600 / 60);
      Log(text);
    }
    FResults.RetryIfDue();
    if (FResults.Pending() == 0) Clear(TCondition::ResultsFileNotWritten);
    if (FProtocol.FCurrentDevice != nullptr) {
      if (FTimerConter == 0) FProtocol.GetVersion_SNR(FDataSystem);
      TReportBuffer BufferIN{};
      TReportBuffer BufferOUT{};
      SingleCommand_Init(BufferIN);
      FProtocol.DeviceRequest(kCmdReadMeasure, BufferIN, BufferOUT);
      const auto counts = CheckMeasurementAnswer(BufferOUT);
      if (!counts) {
        live.reason = TInvalidReason::FailedRead;
        Log("Failed to read data...");
      } else {
        double Azimut = 0, Elevation = 0;
        const TDateTime utc = ephem::Service_DATE_TIME_UTC();
        ephem::calcul_SUN_AZ_Elevation(utc, SetupLocation.Longitude, SetupLocation.Latitude,
                                       SetupLocation.AltitudeM, Azimut, Elevation);
        FDataSystem.HauteurSoleil = Elevation;
        ConvertDataToPhysValues(FDataSystem, *counts, FDataOutMes);
        FDataOutMes.AZ = Azimut * kRadToDeg;
        FDataOutMes.ELV = Elevation * kRadToDeg;

        const TDataOutMes& m = FDataOutMes;
        live.utcMs = UnixMsFromDateTime(m.UTCDate);
        live.sunAzimuthDeg = m.AZ;
        live.sunElevationDeg = m.ELV;
        if (std::isnan(m.Signal_UtileV)) {
          live.reason = TInvalidReason::CalibrationMissing;
          PublishSnapshot(live);
          // Calibration never written. The cycle ends here and acquisition
          // waits for the next attachment of the instrument.
          FTimerMain.SetEnabled(false);
          const std::string why = "Acquisition stopped : the instrument has no calibration";
          FView.SetSeeingGlance(GlanceStopped(why));
          Raise(TCondition::AcquisitionStopped, why);
          if (FView.AskYesNo(kAskInjectDefaults)) FProtocol.WriteDefaultROMValues();
          FView.OnAcquisitionStopped();
          return;
        }

        if (m.Signal_UtileV > 0) {
          FView.SetValueLabel(TValueLabel::Signal_mV, Format("%1.1f mV", {m.Signal_UtileV * 1000}));
          FView.SetValueLabel(TValueLabel::PDCurrent, FormatCurr(m.CurrentSolarA));
        } else {
          FView.SetValueLabel(TValueLabel::Signal_mV, "None");
          FView.SetValueLabel(TValueLabel::PDCurrent, "None");
        }

        live.signalMv = m.Signal_UtileV * 1000;
        if (SunLightTooLow(m.Signal_UtileV, GeneralParams.MinValue_mV)) {
          live.reason = TInvalidReason::LowLight;
          FView.SetValueLabel(TValueLabel::CurrentSeeing, "Sun light level is too low");
          FView.SetValueLabel(TValueLabel::LastseeingCorrected, "N/A");
          FView.SetSeeingGlance(GlanceTooLittleLight(FDataOutMes.ELV));
        } else if (!m.ValidSeeing) {
          live.reason = TInvalidReason::SeeingOutOfRange;
          FView.SetValueLabel(TValueLabel::CurrentSeeing, "Not valid (too low/too high)");
          FView.SetValueLabel(TValueLabel::LastseeingCorrected, "N/A");
          FView.SetSeeingGlance(GlanceNotValid());
        } else {
          FView.SetValueLabel(TValueLabel::CurrentSeeing,
                              Format("%1.1f arcsec |  %1.1f R0 mm", {m.seeingArcSec, m.R0}));
          FView.SetValueLabel(TValueLabel::LastseeingCorrected,
                              Format("%1.1f arcsec |  %1.1f R0 mm", {m.seeingArcSecZen, m.R0Zen}));
          const std::int64_t ms = CurrentClock().UtcMs();
          AddPlot_value_Plot(LocalFromUtcMs(ms), m.seeingArcSec, DateTimeFromUnixMs(ms), FIdrol_S,
                             FView.SeriesSeeing(), FBufrollseeing, FView.Memo());
          live.valid = true;
          live.reason = TInvalidReason::None;
          live.seeingArcsec = m.seeingArcSec;
          live.r0Mm = m.R0;
          live.seeingZenithArcsec = m.seeingArcSecZen;
          live.r0ZenithMm = m.R0Zen;
          double mean60 = 0, mean300 = 0, meanZen = 0;
          const bool have60 = ShowMean(
              60, TValueLabel::CurrentSeeingMin, TValueLabel::SeeingValue60s,
              "One minute mean seeing : %1.2f arcsec |  %1.1f R0 mm", Elevation, mean60, meanZen);
          if (have60) {
            live.seeing1MinArcsec = mean60;
            live.seeing1MinZenithArcsec = meanZen;
          }
          const bool have300 =
              ShowMean(300, TValueLabel::CurrentSeeing5Min, TValueLabel::SeeingValue600s,
                       "Five minutes mean seeing : %1.2f arcsec |  %1.1f R0 mm", Elevation, mean300,
                       meanZen);
          if (have300) {
            live.seeing5MinArcsec = mean300;
            live.seeing5MinZenithArcsec = meanZen;
          }
          FView.SetSeeingGlance(GlanceValue(m.seeingArcSec, m.R0, m.seeingArcSecZen, m.R0Zen,
                                            SeeingTrend(mean60, have60, mean300, have300),
                                            SeeingClasses));
          TLiveMeasurement line;
          line.utcMs = live.utcMs;
          line.julianDay = Convert_TdateTime2Julian_day(m.UTCDate);
          line.signalMv = m.Signal_UtileV * 1000;
          line.seeingArcsec = m.seeingArcSec;
          line.r0Mm = m.R0;
          line.sunAzimuthDeg = m.AZ;
          line.sunElevationDeg = m.ELV;
          line.seeingZenithArcsec = m.seeingArcSecZen;
          line.r0ZenithMm = m.R0Zen;
          // Written now, or kept in order until the file can be written.
          FResults.Save(GeneralParams.PathMainRootSav, FDataOutMes, FPathDataFile);
          if (FResults.Pending() == 0) Clear(TCondition::ResultsFileNotWritten);
          live.measurement = line;
        }

        const std::int64_t ms = CurrentClock().UtcMs();
        AddPlot_value_Plot(LocalFromUtcMs(ms), m.Signal_UtileV * 1000, DateTimeFromUnixMs(ms),
                           FIdrol_L, FView.SeriesSignal_Level(), FBufrollLevel, FView.Memo());

        FView.SetProgressBarPosition(RoundToInt32Checked(
            m.Signal_UtileV / (kConverterFullScaleV - FDataSystem.OffsetV) * 100));
        FView.SetValueLabel(TValueLabel::TemperatureInBox,
                            Format("%1.1f \u00B0C", {m.TempInsideBox}));
        FView.SetStatusText(1, Format("%d  %d", {FIdrol_L, FIdrol_S}));
        FView.SetValueLabel(TValueLabel::ADUSignalNF,
                            Format("%1.0f ADU  %1.1f ADU NOISE", {m.MeanADU_NF, m.EC_ADU_NF}));
        FView.SetValueLabel(
            TValueLabel::Scintillation,
            Format("%1.1f ADU %1.3f V Scint RMS, SNR = %1.1f",
                   {m.PowerScintADU, m.PowerScintVolts, m.PowerScintADU / kScintillationPerSnr}));
        FView.SetValueLabel(TValueLabel::SunPosition,
                            Format("Azimuth %1.2f\u00B0 Elevation %1.2f\u00B0",
                                   {Azimut * kRadToDeg, Elevation * kRadToDeg}));
      }
      FView.SetShapeColor(FTimerConter % 2 == 1 ? kLime : kBlue);
    }
    ++FTimerConter;
  } catch (const std::exception& e) {
    Log(std::string("Main timer error : ") + e.what());
    const std::string why = std::string("Acquisition stopped : ") + e.what();
    FView.SetSeeingGlance(GlanceStopped(why));
    Raise(TCondition::AcquisitionStopped, why);
    StopAcquisition(true);
    // What the cycle measured before the error stays valid; a failed
    // exchange leaves nothing measured.
    if (!live.valid && live.reason == TInvalidReason::NoInstrument && FProtocol.FCurrentDevice)
      live.reason = TInvalidReason::FailedRead;
  }
  PublishSnapshot(live);
}

void TMainCore::HidCtlArrival(THidDevice* HidDev) {
  const std::string name = DeviceName(HidDev);
  const std::string product = HidDev->ProductName();
  Log("Arrival of \"" + name + "\" -> \"" + product + "\"");
  if (product != kInstrumentProduct && name != kInstrumentIdentification) return;
  if (FLockInstrument) {
    // Two programs polling one instrument could read each other's answers.
    std::string id = HidDev->PnPInfo().DevicePath;
    if (id.empty()) id = HidDev->SerialNumber();
    const std::string path = InstrumentLockPath(id);
    if (FInstrumentLock.Path() != path) {
      std::string holder;
      switch (FInstrumentLock.Acquire(path, FLockOwner, holder)) {
        case TInstanceLock::TResult::Taken:
          break;
        case TInstanceLock::TResult::HeldByOther: {
          const std::string text = "Instrument " + id + " is in use by another Quorvel (" + holder +
                                   ") : not measuring with it";
          Log(text);
          FView.ShowError(text);
          if (FOnInstrumentBusy) FOnInstrumentBusy(text);
          return;
        }
        case TInstanceLock::TResult::Unavailable:
          Log("Instrument lock file [" + path + "] cannot be used (" + holder +
              "), going on without it");
          break;
      }
    }
  }
  Log("Connected to -> " + product);
  // The data folder may have gone since start-up (or never been made, with
  // a file in its way): an attachment is when acquisition starts over, so
  // this is when the folder is made again.
  CreateDataFolder(GeneralParams.PathMainRootSav);
  if (FProtocol.FCurrentDevice) FProtocol.FCurrentDevice->SetOnData(nullptr);
  FProtocol.FCurrentDevice = HidDev;
  HidDev->SetOnData(FProtocol.ReadDebugCallback());
  FTimerMain.SetEnabled(true);
  Clear(TCondition::InstrumentLost);
  Clear(TCondition::AcquisitionStopped);
}

void TMainCore::HidCtlDeviceChange() {
  int n = 0;
  THidDevice* dev = nullptr;
  while (FHidCtl->CheckOut(dev)) {
    ++n;
    dev->SetNumInputBuffers(128);
    dev->SetNumOverlappedBuffers(128);
  }
  Log(Format("HidCtlDeviceChange loop -> %d devices", {n}));
  if (FTimerMain.Enabled()) return;
  if (FProtocol.FCurrentDevice == nullptr)
    Raise(TCondition::InstrumentLost, "Instrument not found : please attach it");
  if (FDeviceNotFoundPending) return;
  // Shown once the controller has finished this change: a modal box inside
  // it would hold back the next change, so an instrument attached again
  // while the box waits for the operator would not resume acquisition until
  // someone clicks OK. One box at a time.
  FDeviceNotFoundPending = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (!FTimerMain.Enabled()) FView.ShowError(kDeviceNotFound);
        FDeviceNotFoundPending = false;
      },
      Qt::QueuedConnection);
}

void TMainCore::MenuResetplotsClick() {
  FView.SeriesSignal_Level().Clear();
  FView.SeriesSeeing().Clear();
  FIdrol_S = -1;
  FIdrol_L = -1;
}

void TMainCore::SetupApplied() {
  if (FSettings) {
    WriteProgramSettings(*FSettings);
    // The store does not stop the program on a failed write, but the
    // operator should know the values hold for this run only.
    if (!FSettings->LastWriteError.empty()) {
      const std::string text = "Settings not saved : " + FSettings->LastWriteError;
      Log(text);
      Raise(TCondition::SettingsNotSaved, text);
      FSettings->LastWriteError.clear();
    } else {
      Clear(TCondition::SettingsNotSaved);
    }
  }
  LogSiteIfMoved();
  ResizeBuffers();
}

void TMainCore::ResizeBuffers() {
  const std::int32_t n = GeneralParams.MaxPointsDisplayed;
  ResizeRollingBuffer(FBufrollseeing, FIdrol_S, FView.SeriesSeeing(), n);
  ResizeRollingBuffer(FBufrollLevel, FIdrol_L, FView.SeriesSignal_Level(), n);
}

}  // namespace quorvel

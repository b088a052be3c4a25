#include "device/SimInstrument.h"

#include <algorithm>
#include <cmath>

#include "common/Clock.h"
#include "common/Errors.h"
#include "common/Format.h"
#include "measure/Declarations.h"

namespace quorvel {

namespace {

struct TActionName {
  const char* name;
  TFaultAction action;
};

constexpr TActionName kActions[] = {
    {"unplug", TFaultAction::Unplug},
    {"plug", TFaultAction::Plug},
    {"silence", TFaultAction::Silence},
    {"talk", TFaultAction::Talk},
    {"wrong-echo", TFaultAction::WrongEcho},
    {"garbage", TFaultAction::Garbage},
    {"short", TFaultAction::Short},
    {"normal", TFaultAction::Normal},
    {"erase", TFaultAction::Erase},
    {"mouse-plug", TFaultAction::MousePlug},
    {"mouse-unplug", TFaultAction::MouseUnplug},
};

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

void PutFloat(std::uint8_t* w, float v) {
  TSingle32 s;
  s.SetValue(v);
  s.ToWire(w);
}

void PutUint(std::uint8_t* w, std::uint32_t v) {
  TUint32 u;
  u.SetValue(v);
  u.ToWire(w);
}

constexpr std::size_t kShortAnswer = 9;

}  // namespace

std::string FaultActionName(TFaultAction action) {
  for (const auto& a : kActions)
    if (a.action == action) return a.name;
  return "?";
}

std::vector<TFaultEvent> ParseFaultSchedule(std::string_view text) {
  std::vector<TFaultEvent> events;
  if (Trim(text).empty()) return events;
  std::size_t pos = 0;
  int itemNo = 0;
  while (true) {
    const std::size_t comma = std::min(text.find(',', pos), text.size());
    const std::string_view item = Trim(text.substr(pos, comma - pos));
    ++itemNo;
    auto fail = [&](const std::string& why) {
      throw Exception(Format("Fault schedule item %d (\"%s\"): %s", {itemNo, item, why}));
    };
    const std::size_t colon = item.find(':');
    if (colon == std::string_view::npos) fail("expected SECONDS:ACTION");
    const std::string_view secondsText = Trim(item.substr(0, colon));
    const std::string_view actionText = Trim(item.substr(colon + 1));
    const auto seconds = ParseFloat(secondsText);
    if (!seconds || !std::isfinite(*seconds) || *seconds < 0)
      fail(Format("\"%s\" is not a number of seconds (0 or more)", {secondsText}));
    const auto* found = std::find_if(std::begin(kActions), std::end(kActions),
                                     [&](const TActionName& a) { return actionText == a.name; });
    if (found == std::end(kActions)) fail(Format("unknown action \"%s\"", {actionText}));
    events.push_back({*seconds, found->action});
    if (comma == text.size()) break;
    pos = comma + 1;
  }
  std::stable_sort(events.begin(), events.end(), [](const TFaultEvent& a, const TFaultEvent& b) {
    return a.AtSeconds < b.AtSeconds;
  });
  return events;
}

TSimNvm NvmFromValues(std::uint32_t serial, float rShunt, float gainFiltered, float gainNotFilt,
                      float offsetV) {
  TSimNvm nvm{};
  PutUint(&nvm[0], serial);
  PutFloat(&nvm[4], rShunt);
  PutFloat(&nvm[8], gainFiltered);
  PutFloat(&nvm[12], gainNotFilt);
  PutFloat(&nvm[16], offsetV);
  return nvm;
}

TSimFirmware::TSimFirmware(TSimInstrumentConfig config)
    : config_(std::move(config)), physics_(config_.Physics) {
  const TSimHardware& hw = config_.Physics.Hardware;
  nvm_ =
      NvmFromValues(config_.SerialNumber, hw.RShunt, hw.GainFiltered, hw.GainNotFilt, hw.OffsetV);
  if (config_.StartErased) EraseCalibration();
  if (config_.ReplaySource)
    replay_ = config_.ReplaySource;
  else if (config_.Replay)
    replay_ = std::make_shared<TScriptReplaySource>(config_.Replay);
}

bool TSimFirmware::TakeReplayOverNews() {
  const bool news = replayOverNews_;
  replayOverNews_ = false;
  return news;
}

std::vector<std::uint8_t> TSimFirmware::VersionAnswer() const {
  std::vector<std::uint8_t> a(kReportSize, 0);
  a[1] = 0x80;
  a[2] = config_.FirmwareMajor;
  a[3] = config_.FirmwareMinor;
  a[4] = 0;  // Channeltoread
  a[5] = 1;  // Led_Enable
  std::copy(nvm_.begin(), nvm_.end(), a.begin() + 6);
  return a;
}

std::vector<std::uint8_t> TSimFirmware::MeasurementAnswer() {
  truth_ = physics_.Evaluate(NowUTC());
  std::vector<std::uint8_t> a(kReportSize, 0);
  a[1] = 0x81;
  PutFloat(&a[2], truth_.MeanADU_NF);
  PutFloat(&a[6], truth_.EC_ADU_NF);
  PutFloat(&a[10], truth_.MeanADU_F);
  PutFloat(&a[14], truth_.PowerScintADU);
  PutUint(&a[18], truth_.NbSamples);
  PutFloat(&a[26], truth_.TempInsideBox);
  return a;
}

std::optional<std::vector<std::uint8_t>> TSimFirmware::Answer(const std::uint8_t* request,
                                                              std::size_t length) {
  if (length < 2 || mode_ == TAnswerMode::Silent || replayOver_) return std::nullopt;
  const std::uint8_t command = request[1];
  if (command == 0x84 && length >= 22) std::copy_n(request + 2, nvm_.size(), nvm_.begin());

  std::vector<std::uint8_t> answer;
  IReplaySource* replay = replay_.get();
  auto fromReport = [](const TReportBuffer& r) {
    return std::vector<std::uint8_t>(r.begin(), r.end());
  };
  std::optional<TReportBuffer> written;
  if (command == 0x80) {
    if (replay) {
      if (auto next = replay->NextVersion()) lastVersion_ = next;
    }
    answer = lastVersion_ ? fromReport(*lastVersion_) : VersionAnswer();
  } else if (command == 0x81) {
    if (replay) {
      const auto next = replay->NextAnswer();
      if (!next) {
        replayOver_ = true;
        replayOverNews_ = true;
        return std::nullopt;
      }
      answer = fromReport(*next);
    } else {
      answer = MeasurementAnswer();
    }
  } else if (command == 0x84 && replay && (written = replay->NextWrite())) {
    answer = fromReport(*written);
  } else {
    // 0x84 and anything unknown: the command echoed, nothing else.
    answer.assign(kReportSize, 0);
    answer[1] = command;
  }

  switch (mode_) {
    case TAnswerMode::WrongEcho:
      answer[1] = static_cast<std::uint8_t>(command + 1);
      break;
    case TAnswerMode::Garbage: {
      const std::int64_t n = garbageCounter_++;
      for (std::size_t i = 2; i < answer.size(); ++i)
        answer[i] = static_cast<std::uint8_t>(
            SimUniform(config_.Physics.Seed, 21, n * 64 + static_cast<std::int64_t>(i)) * 256);
      break;
    }
    case TAnswerMode::Short:
      answer.resize(kShortAnswer);
      break;
    default:
      break;
  }
  return answer;
}

}  // namespace quorvel

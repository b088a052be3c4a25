#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "DeviceTestSupport.h"
#include "common/Errors.h"
#include "device/InstrumentProtocol.h"
#include "device/Replay.h"
#include "device/SimBackend.h"

namespace quorvel {
namespace {

std::string Hex(std::initializer_list<int> head, int fill = 0) {
  std::vector<std::uint8_t> r;
  for (int v : head) r.push_back(static_cast<std::uint8_t>(v));
  r.resize(65, static_cast<std::uint8_t>(fill));
  return ReportToHex(r.data(), r.size());
}

std::filesystem::path TempFile(const std::string& name) {
  return std::filesystem::temp_directory_path() /
         ("quorvel_" + std::to_string(::getpid()) + "_" + name);
}

TEST(ReplayParse, SortsAnswersByCommand) {
  std::string lower = Hex({0x00, 0x81, 0xAB});
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::string text = "# a capture\n\n" + Hex({0x00, 0x81, 0x01}) + "\r\n  " +
                           Hex({0x00, 0x80, 0x01, 0x07}) + "  # version\n" + lower + "\n" +
                           Hex({0x00, 0x84}) + "\n" + Hex({0x00, 0x7E, 0x02});  // no final newline
  const TReplayScript s = ParseReplay(text, "t.txt");
  ASSERT_EQ(s.Answers.size(), 3u);
  EXPECT_EQ(s.Answers[0][2], 0x01);
  EXPECT_EQ(s.Answers[1][2], 0xAB);
  EXPECT_EQ(s.Answers[2][1], 0x7E) << "a wrong echo replays as it was";
  ASSERT_EQ(s.VersionAnswers.size(), 1u);
  EXPECT_EQ(s.VersionAnswers[0][3], 0x07);
  EXPECT_EQ(s.WriteAnswers.size(), 1u);
  EXPECT_TRUE(ParseReplay("", "empty").Answers.empty());
}

TEST(ReplayParse, NamesTheBadLine) {
  const std::string good = Hex({0, 0x81});
  struct Case {
    std::string text;
    std::string message;
  };
  const std::vector<Case> cases = {
      {good + "\n#\n" + good.substr(2) + "\n",
       "Replay file \"r.txt\", line 3: expected 130 hexadecimal digits, found 128"},
      {good + "00\n", "Replay file \"r.txt\", line 1: expected 130 hexadecimal digits, found 132"},
      {"  " + good.substr(0, 10) + "G" + good.substr(11),
       "Replay file \"r.txt\", line 1: 'G' at column 13 is not a hexadecimal digit"},
      {good.substr(0, 64) + " " + good.substr(64),
       "Replay file \"r.txt\", line 1: byte 0x20 at column 65 is not a hexadecimal digit"},
      {std::string("\n") + '\0',
       "Replay file \"r.txt\", line 2: byte 0x00 at column 1 is not a hexadecimal digit"},
      {"0x" + good.substr(2),
       "Replay file \"r.txt\", line 1: 'x' at column 2 is not a "
       "hexadecimal digit"},
  };
  for (const Case& c : cases) {
    try {
      ParseReplay(c.text, "r.txt");
      ADD_FAILURE() << c.message;
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }
  EXPECT_THROW(LoadReplayFile("/nonexistent/quorvel/replay.txt"), Exception);
}

class ReplayRun : public ::testing::Test {
 protected:
  void SetUp() override { test::App(); }

  void Attach(std::shared_ptr<IHidBackend> backend) {
    ctl = std::make_unique<THidDeviceController>(std::move(backend));
    ctl->OnDeviceChange = [this](QObject*) {
      THidDevice* d = nullptr;
      while (ctl->CheckOut(d)) protocol.FCurrentDevice = d;
    };
    ASSERT_TRUE(test::PumpUntil([&] { return protocol.FCurrentDevice != nullptr; }));
  }
  TReportBuffer Request(std::uint8_t command) {
    TReportBuffer in, out{};
    SingleCommand_Init(in);
    protocol.DeviceRequest(command, in, out);
    return out;
  }

  std::unique_ptr<THidDeviceController> ctl;
  test::TLogLines log;
  test::TStatusTexts status;
  TInstrumentProtocol protocol{log, status};
};

TEST_F(ReplayRun, AnswersFromTheFileThenFallsSilent) {
  auto sim = std::make_shared<TSimulatedBackend>();
  TSimInstrumentConfig config;
  config.Replay = std::make_shared<TReplayScript>(ParseReplay(
      Hex({0, 0x81, 1}) + "\n" + Hex({0, 0x81, 2}) + "\n" + Hex({0, 0x80, 2, 3}, 0xFF), "r"));
  sim->AddInstrument(config);
  int overs = 0;
  sim->SetReplayOverCallback([&] { ++overs; });
  Attach(sim);
  protocol.SetReadTimeoutMs(100);

  TDataSystem ds;
  protocol.GetVersion_SNR(ds);
  EXPECT_EQ(status.texts.back(), "0:Fw version 2.3 SNR 4294967295");
  EXPECT_EQ(Request(0x81)[2], 1);
  EXPECT_EQ(Request(0x84)[1], 0x84) << "no write answer in the file: the plain echo";
  EXPECT_EQ(Request(0x81)[2], 2);
  EXPECT_FALSE(sim->ReplayOver());
  EXPECT_THROW(Request(0x81), Exception);
  EXPECT_TRUE(sim->ReplayOver());
  EXPECT_THROW(Request(0x80), Exception) << "silent for everything once over";
  EXPECT_EQ(overs, 1);
}

TEST_F(ReplayRun, WithoutAVersionLineTheDefaultCalibrationAnswers) {
  auto sim = std::make_shared<TSimulatedBackend>();
  TSimInstrumentConfig config;
  config.Replay = std::make_shared<TReplayScript>(ParseReplay(Hex({0, 0x81}), "r"));
  sim->AddInstrument(config);
  Attach(sim);
  TDataSystem ds;
  protocol.GetVersion_SNR(ds);
  EXPECT_EQ(status.texts.back(), "0:Fw version 1.7 SNR 4294900475");
  EXPECT_EQ(ds.Gain_Filtered, 319.0f);
}

TEST_F(ReplayRun, ACaptureReplaysTheSameAnswers) {
  const auto path = TempFile("capture.txt");
  auto sim = std::make_shared<TSimulatedBackend>();
  sim->AddInstrument();
  auto capture = std::make_shared<TCaptureBackend>(sim, path.string());
  Attach(capture);
  // The read thread's copies are not captured, only the answers.
  int copies = 0;
  protocol.FCurrentDevice->SetOnData(
      [&](THidDevice*, std::uint8_t, const std::uint8_t*, std::uint16_t) { ++copies; });
  ASSERT_TRUE(test::PumpUntil([&] { return sim->OpenHandles(0) == 1; }));

  std::vector<TReportBuffer> received;
  TDataSystem ds;
  protocol.GetVersion_SNR(ds);
  sim->SetAnswerMode(TAnswerMode::WrongEcho);
  received.push_back(Request(0x81));
  sim->SetAnswerMode(TAnswerMode::Normal);
  for (int i = 0; i < 4; ++i) received.push_back(Request(0x81));
  ASSERT_TRUE(test::PumpUntil([&] { return copies == 6; }));
  EXPECT_EQ(capture->CapturedReports(), 6);

  const TReplayScript script = LoadReplayFile(path.string());
  ASSERT_EQ(script.VersionAnswers.size(), 1u);
  ASSERT_EQ(script.Answers.size(), received.size());
  for (std::size_t i = 0; i < received.size(); ++i) EXPECT_EQ(script.Answers[i], received[i]) << i;

  // Played back, the instrument answers exactly as before.
  ctl.reset();
  protocol.FCurrentDevice = nullptr;
  auto replay = std::make_shared<TSimulatedBackend>();
  TSimInstrumentConfig config;
  config.Replay = std::make_shared<TReplayScript>(script);
  replay->AddInstrument(config);
  Attach(replay);
  for (const TReportBuffer& expected : received) EXPECT_EQ(Request(0x81), expected);
  std::filesystem::remove(path);
}

TEST(Capture, UnwritableFileIsAnError) {
  auto sim = std::make_shared<TSimulatedBackend>();
  EXPECT_THROW(TCaptureBackend(sim, "/nonexistent/quorvel/capture.txt"), Exception);
}

}  // namespace
}  // namespace quorvel

namespace quorvel {
namespace {

TEST(ReplayFileSource, ReadsEachKindInFileOrderAsTheRunGoes) {
  const auto path = TempFile("stream.txt");
  std::ofstream(path) << "# capture\n"
                      << Hex({0, 0x80, 1}) << "\n"
                      << Hex({0, 0x81, 1}) << "\n"
                      << Hex({0, 0x84, 1}) << "\n"
                      << Hex({0, 0x81, 2}) << "  # second\n"
                      << Hex({0, 0x80, 2}) << "\n"
                      << Hex({0, 0x7E, 3});  // a wrong echo, no final newline
  TReplayFileSource source(path.string());
  EXPECT_EQ((*source.NextVersion())[2], 1);
  EXPECT_EQ((*source.NextAnswer())[2], 1);
  EXPECT_EQ((*source.NextAnswer())[2], 2);
  EXPECT_EQ((*source.NextVersion())[2], 2);
  EXPECT_FALSE(source.NextVersion());
  EXPECT_EQ((*source.NextWrite())[2], 1);
  EXPECT_FALSE(source.NextWrite());
  EXPECT_EQ((*source.NextAnswer())[1], 0x7E);
  EXPECT_FALSE(source.NextAnswer());
  std::filesystem::remove(path);
}

TEST(ReplayFileSource, RefusesWhatIsNotARegularFileOrHasABadLine) {
  const auto dir = TempFile("replay_dir");
  std::filesystem::create_directories(dir);
  const auto fifo = TempFile("replay_fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  for (const std::string& path : {dir.string(), fifo.string(), std::string("/dev/zero")}) {
    try {
      TReplayFileSource source(path);
      ADD_FAILURE() << path << " accepted";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), "Replay file \"" + path + "\" is not a regular file");
    }
    EXPECT_THROW(LoadReplayFile(path), Exception);
  }
  const auto bad = TempFile("bad.txt");
  std::ofstream(bad) << Hex({0, 0x81}) << "\n" << std::string(kReplayMaxLine + 10, ' ') << "\n";
  try {
    TReplayFileSource source(bad.string());
    ADD_FAILURE() << "accepted";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(),
              "Replay file \"" + bad.string() + "\", line 2: line longer than 65536 characters");
  }
  std::ofstream(bad) << Hex({0, 0x81}) << "\n\n" << Hex({0, 0x81}).substr(1) << "\n";
  EXPECT_THROW(
      {
        try {
          TReplayFileSource source(bad.string());
        } catch (const Exception& e) {
          EXPECT_EQ(e.Message(), "Replay file \"" + bad.string() +
                                     "\", line 3: expected 130 hexadecimal digits, found 129");
          throw;
        }
      },
      Exception);
  std::filesystem::remove_all(dir);
  std::filesystem::remove(fifo);
  std::filesystem::remove(bad);
}

TEST(ReplayFileSource, ReplaysThroughTheSimulatedInstrumentLikeTheScript) {
  const auto path = TempFile("sim.txt");
  std::ofstream(path) << Hex({0, 0x80, 1, 9}) << "\n" << Hex({0, 0x81, 0x11}) << "\n";
  TSimInstrumentConfig config;
  config.ReplaySource = std::make_shared<TReplayFileSource>(path.string());
  TSimFirmware fw(config);
  std::uint8_t request[65] = {0, 0x80};
  EXPECT_EQ((*fw.Answer(request, 65))[3], 9);
  EXPECT_EQ((*fw.Answer(request, 65))[3], 9) << "the last version answer keeps answering";
  request[1] = 0x81;
  EXPECT_EQ((*fw.Answer(request, 65))[2], 0x11);
  EXPECT_FALSE(fw.Answer(request, 65));
  EXPECT_TRUE(fw.ReplayOver());
  std::filesystem::remove(path);
}

TEST(Capture, AWriteErrorIsToldOnceAndTheCaptureStops) {
  auto sim = std::make_shared<TSimulatedBackend>();
  TCaptureBackend capture(sim, "/dev/full");  // the header already fails
  std::vector<std::string> errors;
  capture.SetErrorSink([&](const std::string& e) { errors.push_back(e); });
  EXPECT_TRUE(capture.Stopped());
  EXPECT_EQ(errors, std::vector<std::string>{
                        "Capture stopped, the capture file cannot be written : Disk full : "
                        "[/dev/full]"});
}

}  // namespace
}  // namespace quorvel

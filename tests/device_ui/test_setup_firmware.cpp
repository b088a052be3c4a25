#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <optional>
#include <string>
#include <vector>

#include "common/Errors.h"
#include "device/ui/SetupFirmware.h"
#include "tests/setup/QtTestSupport.h"

namespace quorvel {
namespace {

using testing::CaptureSink;

// An instrument behind the link: answers 0x80 with its calibration area and
// records every request.
struct FakeInstrument : ICalibrationLink {
  struct Request {
    std::uint8_t command;
    TReportBuffer buffer;
  };
  std::vector<Request> requests;
  TReportBuffer area{};  // bytes 2.. of the 0x80 answer
  bool readable = true;
  bool writable = true;

  void DeviceRequest(std::uint8_t Command, const TReportBuffer& BufferIN,
                     TReportBuffer& BufferOUT) override {
    requests.push_back({Command, BufferIN});
    if (Command == kCmdReadVersion) {
      if (!readable) throw Exception("HID READ ERROR: Broken pipe (20)");
      BufferOUT = area;
      BufferOUT[0] = 0;
      BufferOUT[1] = Command;
    } else if (!writable) {
      throw Exception("HID WRITE ERROR: No such device (13)");
    }
  }

  std::vector<Request> Writes() const {
    std::vector<Request> w;
    for (const auto& r : requests)
      if (r.command == kCmdWriteCalibration) w.push_back(r);
    return w;
  }
};

std::uint32_t WireU32(const TReportBuffer& b, std::size_t at) {
  return TUint32::FromWire(&b[at]).Value();
}

class SetupFirmwareTest : public ::testing::Test {
 protected:
  void Open() {
    dialog.emplace(instrument);
    dialog->PasswordPrompt = [this](QWidget*) {
      ++prompts;
      return password;
    };
    dialog->show();
  }
  void Update() { dialog->ButtonUpdateFirm->click(); }
  std::vector<std::string> Fields() const {
    return {dialog->EditSNR->text().toStdString(), dialog->EditRSH->text().toStdString(),
            dialog->EditGain_filtered->text().toStdString(),
            dialog->EditNotFiltered->text().toStdString(),
            dialog->EditOffset->text().toStdString()};
  }

  CaptureSink sink;
  FakeInstrument instrument;
  std::optional<TFormSetupHW> dialog;
  std::optional<std::string> password = std::string("fornaxlu_tebri");
  int prompts = 0;
};

TEST_F(SetupFirmwareTest, HasItsCaptionControlsDefaultsAndTabOrder) {
  instrument.readable = false;
  dialog.emplace(instrument);
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Setup firmware"));
  EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize());
  const std::pair<const char*, const char*> texts[] = {{"Label10", "Firmware Version :"},
                                                       {"LabelVersion", "???"},
                                                       {"Label9", "SNR"},
                                                       {"Label11", "Rshunt"},
                                                       {"Label12", "Gain filtered"},
                                                       {"Label13", "Gain not Filtered"},
                                                       {"Label14", "Offset (V)"}};
  for (const auto& [name, text] : texts) {
    auto* label = dialog->findChild<QLabel*>(QString::fromLatin1(name));
    ASSERT_NE(label, nullptr) << name;
    EXPECT_EQ(label->text(), QString::fromLatin1(text));
  }
  const std::pair<const char*, const char*> fields[] = {{"EditSNR", "4294900475"},
                                                        {"EditRSH", "2125"},
                                                        {"EditGain_filtered", "319"},
                                                        {"EditNotFiltered", "1"},
                                                        {"EditOffset", "2.52"}};
  for (const auto& [name, text] : fields) {
    auto* edit = dialog->findChild<QLineEdit*>(QString::fromLatin1(name));
    ASSERT_NE(edit, nullptr) << name;
    EXPECT_EQ(edit->text(), QString::fromLatin1(text));
  }
  auto* button = dialog->findChild<QPushButton*>(QStringLiteral("ButtonUpdateFirm"));
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->text(), QStringLiteral("Update Firmware"));

  QStringList order;
  QWidget* w = dialog->EditSNR;
  do {
    if (w->parentWidget() == &*dialog && (w->focusPolicy() & Qt::TabFocus))
      order << w->objectName();
    w = w->nextInFocusChain();
  } while (w != dialog->EditSNR);
  EXPECT_EQ(order, QStringList({"EditSNR", "EditRSH", "EditGain_filtered", "EditNotFiltered",
                                "EditOffset", "ButtonUpdateFirm"}));
}

TEST_F(SetupFirmwareTest, OpeningReadsAndShowsTheCalibration) {
  const std::uint8_t area[] = {0x01, 0x07, 0x00, 0x01, 0x00, 0x00, 0x30, 0x39,
                               0x45, 0x04, 0xD5, 0xEC, 0x43, 0x9F, 0x80, 0x00,
                               0x3F, 0x80, 0x00, 0x00, 0x40, 0x21, 0x47, 0xAE};
  std::copy(std::begin(area), std::end(area), instrument.area.begin() + 2);
  Open();
  ASSERT_EQ(instrument.requests.size(), 1u);
  EXPECT_EQ(instrument.requests[0].command, 0x80);
  for (std::size_t i = 0; i < 65; ++i) EXPECT_EQ(instrument.requests[0].buffer[i], 0xAA) << i;
  EXPECT_EQ(dialog->LabelVersion->text(), QStringLiteral("1.7"));
  EXPECT_EQ(Fields(), (std::vector<std::string>{"12345", "2125.4", "319.0", "1.0", "2.520"}));
  EXPECT_TRUE(sink.messages.empty());
  // Shown again: read again.
  dialog->hide();
  dialog->show();
  EXPECT_EQ(instrument.requests.size(), 2u);
}

TEST_F(SetupFirmwareTest, ErasedInstrumentShowsAllOnesAndNanAndWritesThemBack) {
  instrument.area.fill(0xFF);
  Open();
  EXPECT_EQ(dialog->LabelVersion->text(), QStringLiteral("255.255"));
  EXPECT_EQ(Fields(), (std::vector<std::string>{"4294967295", "NAN", "NAN", "NAN", "NAN"}));
  Update();
  const auto writes = instrument.Writes();
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(WireU32(writes[0].buffer, 2), 4294967295u);
  for (std::size_t at : {6u, 10u, 14u, 18u}) {
    const float f = TSingle32::FromWire(&writes[0].buffer[at]).Value();
    EXPECT_TRUE(std::isnan(f)) << at;
  }
  EXPECT_TRUE(sink.messages.empty());
  EXPECT_TRUE(sink.errors.empty());
}

TEST_F(SetupFirmwareTest, WritingBackStoresTheRoundedValues) {
  TSingle32 rshunt;
  rshunt.SetValue(2125.37f);
  TSingle32 offset;
  offset.SetValue(2.5196f);
  instrument.area[6] = 0;  // serial 7
  instrument.area[9] = 7;
  rshunt.ToWire(&instrument.area[10]);
  offset.ToWire(&instrument.area[22]);
  Open();
  Update();
  const auto writes = instrument.Writes();
  ASSERT_EQ(writes.size(), 1u);
  const TReportBuffer& r = writes[0].buffer;
  EXPECT_EQ(WireU32(r, 2), 7u);
  EXPECT_EQ(TSingle32::FromWire(&r[6]).Value(), 2125.4f);
  EXPECT_EQ(TSingle32::FromWire(&r[10]).Value(), 0.0f);
  EXPECT_EQ(TSingle32::FromWire(&r[18]).Value(), 2.52f);
  for (std::size_t i = 22; i < 65; ++i) EXPECT_EQ(r[i], 0xAA) << i;
  // Nothing read back, and the dialog stays open.
  EXPECT_EQ(instrument.requests.size(), 2u);
  EXPECT_TRUE(dialog->isVisible());
}

TEST_F(SetupFirmwareTest, SerialTextIsWrittenModulo2To32) {
  Open();
  for (const auto& [text, serial] :
       {std::pair<const char*, std::uint32_t>{"-1", 4294967295u}, {"4294967296", 0u}}) {
    dialog->EditSNR->setText(QString::fromLatin1(text));
    Update();
    EXPECT_EQ(WireU32(instrument.Writes().back().buffer, 2), serial) << text;
  }
}

TEST_F(SetupFirmwareTest, UnreadableInstrumentKeepsTheDefaultsWhichWriteTheDefaultCalibration) {
  instrument.readable = false;
  Open();
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_EQ(sink.messages[0], "Error on read data !");
  EXPECT_EQ(dialog->LabelVersion->text(), QStringLiteral("???"));
  EXPECT_EQ(Fields(), (std::vector<std::string>{"4294900475", "2125", "319", "1", "2.52"}));
  Update();
  const auto writes = instrument.Writes();
  ASSERT_EQ(writes.size(), 1u);
  const std::uint32_t expected[] = {0xFFFEFAFB, 0x4504D000, 0x439F8000, 0x3F800000, 0x402147AE};
  for (std::size_t k = 0; k < 5; ++k) EXPECT_EQ(WireU32(writes[0].buffer, 2 + 4 * k), expected[k]);
}

TEST_F(SetupFirmwareTest, WrongOrCancelledPasswordSendsNothing) {
  Open();
  const std::optional<std::string> wrong[] = {
      std::string("fornaxlu_tebri "), std::string(" fornaxlu_tebri"), std::string("Fornaxlu_tebri"),
      std::string("FORNAXLU_TEBRI"), std::string()};
  for (const auto& typed : wrong) {
    password = typed;
    Update();
  }
  EXPECT_EQ(sink.messages, std::vector<std::string>(5, "Password error !"));
  password.reset();  // cancelled: no message at all
  Update();
  EXPECT_EQ(sink.messages.size(), 5u);
  EXPECT_EQ(prompts, 6);
  EXPECT_TRUE(instrument.Writes().empty());
}

TEST_F(SetupFirmwareTest, UnparsableFieldIsReportedAndNothingIsSent) {
  Open();
  struct Case {
    QLineEdit* field;
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {dialog->EditSNR, "12x", "'12x' is not a valid integer value"},
      {dialog->EditRSH, "2125,4", "'2125,4' is not a valid floating point value"},
      {dialog->EditOffset, "", "'' is not a valid floating point value"},
  };
  for (const auto& c : cases) {
    const QString kept = c.field->text();
    c.field->setText(QString::fromLatin1(c.text));
    Update();
    c.field->setText(kept);
    ASSERT_FALSE(sink.errors.empty());
    EXPECT_EQ(sink.errors.back(), c.message);
  }
  EXPECT_EQ(sink.errors.size(), 3u);
  EXPECT_TRUE(instrument.Writes().empty());
  EXPECT_TRUE(dialog->isVisible());
}

TEST_F(SetupFirmwareTest, FailedWriteIsReportedAndTheDialogStaysOpen) {
  instrument.writable = false;
  Open();
  Update();
  ASSERT_EQ(sink.errors.size(), 1u);
  EXPECT_EQ(sink.errors[0], "HID WRITE ERROR: No such device (13)");
  EXPECT_TRUE(dialog->isVisible());
}

TEST_F(SetupFirmwareTest, IsAnOrdinaryModalDialogThatLetsTimersRun) {
  // Closed by the fifth tick of an outside timer; the safety close after 10 s
  // makes a blocked timer fail instead of hang.
  dialog.emplace(instrument);
  int ticks = 0;
  QTimer timer;
  timer.setInterval(5);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (++ticks == 5) dialog->close();
  });
  timer.start();
  QTimer::singleShot(10000, &*dialog, [this] { dialog->close(); });
  dialog->exec();
  EXPECT_EQ(ticks, 5);
  EXPECT_EQ(instrument.requests.size(), 1u);  // the read when it opened
}

}  // namespace
}  // namespace quorvel

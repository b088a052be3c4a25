#include <gtest/gtest.h>

#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/InstrumentProtocol.h"
#include "device/SimBackend.h"
#include "device/ui/SetupFirmware.h"
#include "tests/setup/QtTestSupport.h"

namespace quorvel {
namespace {

using testing::CaptureSink;

struct TLogLines : ILogSink {
  std::vector<std::string> lines;
  void AppendLogLine(const std::string& line) override {
    const auto cut = line.find("] : ");
    lines.push_back(cut == std::string::npos ? line : line.substr(cut + 4));
  }
};

struct TNoStatus : IStatusPanel {
  void SetStatusText(int, const std::string&) override {}
};

// The dialog's exchanges go through the program's protocol to the simulated
// instrument, attached and checked out as the main window does it.
class TSimulatedLink : public ICalibrationLink {
 public:
  void Attach(TSimInstrumentConfig config) {
    instrument = sim->AddInstrument(std::move(config));
    ctl = std::make_unique<THidDeviceController>(sim);
    ctl->OnDeviceChange = [this](QObject*) {
      THidDevice* d = nullptr;
      while (ctl->CheckOut(d)) protocol.FCurrentDevice = d;
    };
    protocol.SetReadTimeoutMs(100);  // a silent instrument fails quickly
    ASSERT_TRUE(QTest::qWaitFor([&] { return protocol.FCurrentDevice != nullptr; }, 3000));
  }
  void DeviceRequest(std::uint8_t Command, const TReportBuffer& BufferIN,
                     TReportBuffer& BufferOUT) override {
    protocol.DeviceRequest(Command, BufferIN, BufferOUT);
  }
  int Requests() const { return sim->RequestCount(instrument); }
  std::uint8_t LastCommand() const { return sim->LastRequest(instrument).at(1); }

  std::shared_ptr<TSimulatedBackend> sim = std::make_shared<TSimulatedBackend>();
  std::unique_ptr<THidDeviceController> ctl;
  TLogLines log;
  TNoStatus status;
  TInstrumentProtocol protocol{log, status};
  int instrument = -1;
};

TSimInstrumentConfig Calibrated(std::uint32_t serial, float rShunt, float offsetV) {
  TSimInstrumentConfig c;
  c.SerialNumber = serial;
  c.Physics.Hardware.RShunt = rShunt;
  c.Physics.Hardware.OffsetV = offsetV;
  return c;
}

TSimInstrumentConfig Erased() {
  TSimInstrumentConfig c;
  c.StartErased = true;
  return c;
}

class SetupFirmwareTest : public ::testing::Test {
 protected:
  void Open(TSimInstrumentConfig config = {}) {
    link.Attach(std::move(config));
    dialog.emplace(link);
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
  TSimNvm Nvm() const { return link.sim->Nvm(); }

  CaptureSink sink;
  TSimulatedLink link;
  std::optional<TFormSetupHW> dialog;
  std::optional<std::string> password = std::string("fornaxlu_tebri");
  int prompts = 0;
};

TEST_F(SetupFirmwareTest, HasItsCaptionControlsDefaultsAndTabOrder) {
  dialog.emplace(link);  // never shown: nothing is read
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
  Open(Calibrated(12345, 2125.37f, 2.52f));
  EXPECT_EQ(link.Requests(), 1);
  std::vector<std::uint8_t> request(65, 0xAA);
  request[0] = 0x00;
  request[1] = 0x80;
  EXPECT_EQ(link.sim->LastRequest(link.instrument), request);
  EXPECT_EQ(dialog->LabelVersion->text(), QStringLiteral("1.7"));
  EXPECT_EQ(Fields(), (std::vector<std::string>{"12345", "2125.4", "319.0", "1.0", "2.520"}));
  EXPECT_TRUE(sink.messages.empty());
  // Shown again: read again.
  dialog->hide();
  dialog->show();
  EXPECT_EQ(link.Requests(), 2);
}

TEST_F(SetupFirmwareTest, ErasedInstrumentShowsAllOnesAndNanAndWritesThemBack) {
  Open(Erased());
  EXPECT_EQ(dialog->LabelVersion->text(), QStringLiteral("1.7"));
  EXPECT_EQ(Fields(), (std::vector<std::string>{"4294967295", "NAN", "NAN", "NAN", "NAN"}));
  Update();
  EXPECT_EQ(link.LastCommand(), 0x84);
  const TSimNvm nvm = Nvm();
  EXPECT_EQ(TUint32::FromWire(&nvm[0]).Value(), 4294967295u);
  for (std::size_t at : {4u, 8u, 12u, 16u})
    EXPECT_TRUE(std::isnan(TSingle32::FromWire(&nvm[at]).Value())) << at;
  EXPECT_TRUE(sink.messages.empty());
  EXPECT_TRUE(sink.errors.empty());
}

TEST_F(SetupFirmwareTest, WritingBackStoresTheRoundedValues) {
  Open(Calibrated(7, 2125.37f, 2.5196f));
  Update();
  EXPECT_EQ(Nvm(), NvmFromValues(7, 2125.4f, 319.0f, 1.0f, 2.52f));
  std::vector<std::uint8_t> request = link.sim->LastRequest(link.instrument);
  ASSERT_EQ(request.size(), 65u);
  EXPECT_EQ(request[0], 0x00);
  EXPECT_EQ(request[1], 0x84);
  for (std::size_t i = 22; i < 65; ++i) EXPECT_EQ(request[i], 0xAA) << i;
  // Nothing read back, no confirmation, and the dialog stays open.
  EXPECT_EQ(link.Requests(), 2);
  EXPECT_TRUE(sink.messages.empty());
  EXPECT_TRUE(dialog->isVisible());
}

TEST_F(SetupFirmwareTest, SerialTextIsWrittenModulo2To32) {
  Open();
  for (const auto& [text, serial] :
       {std::pair<const char*, std::uint32_t>{"-1", 4294967295u}, {"4294967296", 0u}}) {
    dialog->EditSNR->setText(QString::fromLatin1(text));
    Update();
    const TSimNvm nvm = Nvm();
    EXPECT_EQ(TUint32::FromWire(&nvm[0]).Value(), serial) << text;
  }
}

TEST_F(SetupFirmwareTest, UnreadableInstrumentKeepsTheDefaultsWhichWriteTheDefaultCalibration) {
  // Silent while the dialog opens, answering again when the operator writes.
  link.Attach(Erased());
  link.sim->SetAnswerMode(TAnswerMode::Silent);
  dialog.emplace(link);
  dialog->PasswordPrompt = [this](QWidget*) { return password; };
  dialog->show();
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_EQ(sink.messages[0], "Error on read data !");
  EXPECT_EQ(dialog->LabelVersion->text(), QStringLiteral("???"));
  EXPECT_EQ(Fields(), (std::vector<std::string>{"4294900475", "2125", "319", "1", "2.52"}));
  link.sim->SetAnswerMode(TAnswerMode::Normal);
  Update();
  const TSimNvm nvm = Nvm();
  const std::uint32_t expected[] = {0xFFFEFAFB, 0x4504D000, 0x439F8000, 0x3F800000, 0x402147AE};
  for (std::size_t k = 0; k < 5; ++k)
    EXPECT_EQ(TUint32::FromWire(&nvm[4 * k]).Value(), expected[k]);
}

TEST_F(SetupFirmwareTest, WrongOrCancelledPasswordSendsNothing) {
  Open(Erased());
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
  EXPECT_EQ(link.Requests(), 1) << "only the read when it opened";
  EXPECT_EQ(Nvm()[0], 0xFF);
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
  EXPECT_EQ(link.Requests(), 1);
  EXPECT_TRUE(dialog->isVisible());
}

TEST_F(SetupFirmwareTest, FailedWriteIsReportedLoggedAndTheDialogStaysOpen) {
  Open();
  link.sim->Unplug(link.instrument);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !link.protocol.FCurrentDevice->IsPluggedIn(); }, 3000));
  Update();
  ASSERT_EQ(sink.errors.size(), 1u);
  EXPECT_EQ(sink.errors[0], "HID WRITE ERROR: Device unplugged (13)");
  ASSERT_FALSE(link.log.lines.empty());
  EXPECT_EQ(link.log.lines.back(), "HID WRITE ERROR: Device unplugged (13)");
  EXPECT_TRUE(dialog->isVisible());
}

TEST_F(SetupFirmwareTest, PasswordBoxAsksWithItsTextsAndHidesTheTyping) {
  QWidget owner;
  std::optional<std::string> typed;
  QString title, prompt;
  QLineEdit::EchoMode echo = QLineEdit::Normal;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    prompt = box->labelText();
    echo = box->textEchoMode();
    EXPECT_TRUE(box->textValue().isEmpty());
    box->setTextValue(QStringLiteral("fornaxlu_tebri"));
    box->accept();
  });
  typed = AskOperatorPassword(&owner);
  EXPECT_EQ(title, QStringLiteral("Warning"));
  EXPECT_EQ(prompt, QStringLiteral("Please input password"));
  EXPECT_EQ(echo, QLineEdit::Password);
  EXPECT_EQ(typed, std::optional<std::string>("fornaxlu_tebri"));

  QTimer::singleShot(0, [] {
    if (QWidget* box = QApplication::activeModalWidget()) qobject_cast<QDialog*>(box)->reject();
  });
  EXPECT_FALSE(AskOperatorPassword(&owner)) << "cancelled";
}

TEST_F(SetupFirmwareTest, IsAnOrdinaryModalDialogThatLetsTimersRun) {
  // Closed by the fifth tick of an outside timer; the safety close after 10 s
  // makes a blocked timer fail instead of hang.
  link.Attach({});
  dialog.emplace(link);
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
  EXPECT_EQ(link.Requests(), 1);  // the read when it opened
}

}  // namespace
}  // namespace quorvel

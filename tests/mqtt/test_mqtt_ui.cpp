// The MQTT settings dialog: it shows the values, refuses values that cannot
// be used with the reason and stays open, applies and stores good ones, and
// the menu entry reaches it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QSpinBox>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "../setup/QtTestSupport.h"
#include "app/MqttOutput.h"
#include "common/Errors.h"
#include "mqtt/MqttSettings.h"
#include "mqtt_ui/MqttSettingsDialog.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

struct TLines : ILogSink {
  std::vector<std::string> lines;
  void AppendLogLine(const std::string& l) override { lines.push_back(l); }
};

TMqttConfig Stored() {
  TMqttConfig c;
  c.enabled = true;
  c.url = "mqtt://127.0.0.1:1";
  c.prefix = "site";
  c.station = "north";
  c.discovery = false;
  c.maxQueued = 500;
  return c;
}

TEST(MqttDialog, ShowsTheValuesAndGivesThemBack) {
  TMqttSettingsDialog d(Stored(), nullptr, [] { return std::string("Off"); });
  EXPECT_TRUE(d.CheckEnabled()->isChecked());
  EXPECT_EQ(d.EditUrl()->text(), "mqtt://127.0.0.1:1");
  EXPECT_EQ(d.EditPrefix()->text(), "site");
  EXPECT_EQ(d.EditStation()->text(), "north");
  EXPECT_FALSE(d.CheckDiscovery()->isChecked());
  EXPECT_EQ(d.SpinQueue()->value(), 500);
  EXPECT_EQ(d.LabelStatus()->text(), "Off");
  d.EditUser()->setText(" station ");
  d.EditPasswordFile()->setText("/etc/pw");
  const TMqttConfig c = d.Config();
  EXPECT_EQ(c.user, "station");
  EXPECT_EQ(c.passwordFile, "/etc/pw");
  EXPECT_EQ(c.url, "mqtt://127.0.0.1:1");
}

TEST(MqttDialog, ValuesThatCannotBeUsedAreNamedAndTheDialogStaysOpen) {
  int applied = 0;
  TMqttSettingsDialog d(
      Stored(),
      [&](const TMqttConfig& c) {
        if (c.user == "refused") throw Exception("the MQTT password file '/x' cannot be read");
        ++applied;
      },
      nullptr);
  d.show();
  d.EditUrl()->setText("http://broker");
  d.accept();
  EXPECT_TRUE(d.isVisible());
  EXPECT_NE(d.LabelError()->text().indexOf("mqtt://HOST:PORT"), -1);
  EXPECT_EQ(applied, 0);
  d.EditUrl()->setText("mqtt://broker:1883");
  d.EditUser()->setText("refused");
  d.accept();
  EXPECT_TRUE(d.isVisible());
  EXPECT_NE(d.LabelError()->text().indexOf("cannot be read"), -1);
  d.EditUser()->setText("");
  d.accept();
  EXPECT_EQ(applied, 1);
  EXPECT_FALSE(d.isVisible());
  EXPECT_EQ(d.result(), QDialog::Accepted);
  // Turned off, a bad URL does not matter.
  TMqttSettingsDialog off(
      Stored(), [&](const TMqttConfig&) { ++applied; }, nullptr);
  off.show();
  off.CheckEnabled()->setChecked(false);
  off.EditUrl()->setText("nonsense");
  off.accept();
  EXPECT_EQ(applied, 2);
}

TEST(MqttDialog, TheMenuEntryOpensItAndOkAppliesAndStores) {
  const fs::path ini =
      fs::temp_directory_path() / ("quorvel_mqtt_ui_" + std::to_string(::getpid()) + ".ini");
  TDatabaseRegistry reg(ini.string());
  TLines log;
  TMqttOutput output(log);
  QMainWindow window;
  QAction* entry = AddMqttMenuEntry(window, output, &reg);
  EXPECT_EQ(entry->text(), "MQTT");
  EXPECT_TRUE(window.menuBar()->actions().contains(entry));
  // Fill the dialog once it is up, then press OK.
  QTimer::singleShot(0, [] {
    auto* d = qobject_cast<TMqttSettingsDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->LabelStatus()->text(), "Off");
    d->CheckEnabled()->setChecked(true);
    d->EditUrl()->setText("mqtt://127.0.0.1:9");
    d->EditStation()->setText("south");
    d->accept();
  });
  entry->trigger();
  EXPECT_TRUE(output.Running());
  EXPECT_EQ(output.Config().station, "south");
  TMqttConfig back;
  ReadMqttSettings(reg, back);
  EXPECT_TRUE(back.enabled);
  EXPECT_EQ(back.url, "mqtt://127.0.0.1:9");
  EXPECT_EQ(back.station, "south");
  EXPECT_NE(MqttStatusText(output).find("Not connected"), std::string::npos);
  output.Finish();
  fs::remove(ini);
}

}  // namespace
}  // namespace quorvel

#include "mqtt_ui/MqttSettingsDialog.h"

#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include "app/MqttOutput.h"
#include "common/Errors.h"
#include "mqtt/MqttSettings.h"

namespace quorvel {

namespace {

QLineEdit* Edit(const char* name, const std::string& text, const char* placeholder = "") {
  auto* e = new QLineEdit(QString::fromStdString(text));
  e->setObjectName(name);
  e->setPlaceholderText(placeholder);
  return e;
}

std::string Text(const QLineEdit* e) {
  return e->text().trimmed().toStdString();
}

}  // namespace

TMqttSettingsDialog::TMqttSettingsDialog(const TMqttConfig& config,
                                         std::function<void(const TMqttConfig&)> apply,
                                         std::function<std::string()> status, QWidget* parent)
    : QDialog(parent), base_(config), apply_(std::move(apply)), statusText_(std::move(status)) {
  setObjectName("MqttSettingsDialog");
  setWindowTitle("MQTT");
  enabled_ = new QCheckBox("Publish to an MQTT broker");
  enabled_->setObjectName("CheckEnabled");
  enabled_->setChecked(config.enabled);
  url_ = Edit("EditUrl", config.url, "mqtt://HOST:1883 or mqtts://HOST:8883");
  prefix_ = Edit("EditPrefix", config.prefix);
  station_ = Edit("EditStation", config.station, "quorvel-<serial number>");
  user_ = Edit("EditUser", config.user, "none");
  passwordFile_ = Edit("EditPasswordFile", config.passwordFile, "none (chmod 600)");
  caFile_ = Edit("EditCaFile", config.caFile, "the system's");
  certFile_ = Edit("EditCertFile", config.certFile, "none");
  keyFile_ = Edit("EditKeyFile", config.keyFile, "none");
  discovery_ = new QCheckBox("Home Assistant discovery");
  discovery_->setObjectName("CheckDiscovery");
  discovery_->setChecked(config.discovery);
  discoveryPrefix_ = Edit("EditDiscoveryPrefix", config.discoveryPrefix);
  queue_ = new QSpinBox;
  queue_->setObjectName("SpinQueue");
  queue_->setRange(1, 10000000);
  queue_->setValue(static_cast<int>(std::min<std::size_t>(config.maxQueued, 10000000)));
  queue_->setSuffix(" measurements");

  auto* form = new QFormLayout;
  form->addRow(enabled_);
  form->addRow("Broker URL", url_);
  form->addRow("Topic prefix", prefix_);
  form->addRow("Station", station_);
  form->addRow("User", user_);
  form->addRow("Password file", passwordFile_);
  form->addRow("CA certificates", caFile_);
  form->addRow("Client certificate", certFile_);
  form->addRow("Client key", keyFile_);
  form->addRow(discovery_);
  form->addRow("Discovery prefix", discoveryPrefix_);
  form->addRow("Queue while away", queue_);

  error_ = new QLabel;
  error_->setObjectName("LabelError");
  error_->setWordWrap(true);
  error_->setStyleSheet("color: rgb(200, 0, 0)");
  status_ = new QLabel;
  status_->setObjectName("LabelStatus");
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(status_);
  layout->addWidget(error_);
  layout->addWidget(buttons);

  timer_ = new QTimer(this);
  connect(timer_, &QTimer::timeout, this, [this] { UpdateStatus(); });
  timer_->start(1000);
  UpdateStatus();
}

void TMqttSettingsDialog::UpdateStatus() {
  status_->setText(statusText_ ? QString::fromStdString(statusText_()) : QString());
}

TMqttConfig TMqttSettingsDialog::Config() const {
  TMqttConfig c = base_;
  c.enabled = enabled_->isChecked();
  c.url = Text(url_);
  c.prefix = Text(prefix_);
  c.station = Text(station_);
  c.user = Text(user_);
  c.passwordFile = Text(passwordFile_);
  c.caFile = Text(caFile_);
  c.certFile = Text(certFile_);
  c.keyFile = Text(keyFile_);
  c.discovery = discovery_->isChecked();
  c.discoveryPrefix = Text(discoveryPrefix_);
  c.maxQueued = static_cast<std::size_t>(queue_->value());
  return c;
}

void TMqttSettingsDialog::accept() {
  const TMqttConfig c = Config();
  try {
    if (c.enabled) {
      const std::string problem = CheckMqttConfig(c);
      if (!problem.empty()) throw Exception(problem);
    }
    if (apply_) apply_(c);
  } catch (const std::exception& e) {
    error_->setText(QString::fromStdString(e.what()));
    return;
  }
  error_->clear();
  QDialog::accept();
}

std::string MqttStatusText(const TMqttOutput& output) {
  const auto s = output.Stats();
  if (!s) return "Off";
  std::string text = s->connected ? "Connected" : "Not connected";
  text += ", " + std::to_string(s->queued) + " measurements waiting";
  if (s->dropped > 0) text += ", " + std::to_string(s->dropped) + " dropped";
  return text;
}

void RunMqttSettingsDialog(QWidget* parent, TMqttOutput& output, TDatabaseRegistry* settings) {
  TMqttSettingsDialog dialog(
      output.Config(),
      [&output, settings](const TMqttConfig& c) {
        output.Apply(c);
        if (settings) WriteMqttSettings(*settings, c);
      },
      [&output] { return MqttStatusText(output); }, parent);
  dialog.exec();
}

QAction* AddMqttMenuEntry(QMainWindow& window, TMqttOutput& output, TDatabaseRegistry* settings) {
  QAction* action = window.menuBar()->addAction("MQTT");
  action->setObjectName("MenuMqtt");
  QObject::connect(action, &QAction::triggered, &window, [&window, &output, settings] {
    RunMqttSettingsDialog(&window, output, settings);
  });
  return action;
}

}  // namespace quorvel

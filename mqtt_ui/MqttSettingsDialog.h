// The MQTT settings of the window: a dialog of its own (a page of a larger
// outputs dialog later), and the menu entry that opens it. OK applies the
// values at once (the publisher restarts) and stores them; values that cannot
// be used are named in the dialog, which then stays open.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "mqtt/MqttConfig.h"

QT_BEGIN_NAMESPACE
class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMainWindow;
class QSpinBox;
class QTimer;
QT_END_NAMESPACE

namespace quorvel {

class TDatabaseRegistry;
class TMqttOutput;

class TMqttSettingsDialog : public QDialog {
  Q_OBJECT

 public:
  // `apply` takes the values on OK and raises quorvel::Exception (its message
  // shown in the dialog) when they cannot be used; `status` describes the
  // connection now (polled once a second; may be empty).
  TMqttSettingsDialog(const TMqttConfig& config, std::function<void(const TMqttConfig&)> apply,
                      std::function<std::string()> status, QWidget* parent = nullptr);

  // The values as the fields hold them.
  TMqttConfig Config() const;

  void accept() override;

  QCheckBox* CheckEnabled() const { return enabled_; }
  QLineEdit* EditUrl() const { return url_; }
  QLineEdit* EditPrefix() const { return prefix_; }
  QLineEdit* EditStation() const { return station_; }
  QLineEdit* EditUser() const { return user_; }
  QLineEdit* EditPasswordFile() const { return passwordFile_; }
  QLineEdit* EditCaFile() const { return caFile_; }
  QLineEdit* EditCertFile() const { return certFile_; }
  QLineEdit* EditKeyFile() const { return keyFile_; }
  QCheckBox* CheckDiscovery() const { return discovery_; }
  QLineEdit* EditDiscoveryPrefix() const { return discoveryPrefix_; }
  QSpinBox* SpinQueue() const { return queue_; }
  QLabel* LabelError() const { return error_; }
  QLabel* LabelStatus() const { return status_; }

 private:
  void UpdateStatus();

  TMqttConfig base_;
  std::function<void(const TMqttConfig&)> apply_;
  std::function<std::string()> statusText_;
  QCheckBox* enabled_ = nullptr;
  QLineEdit* url_ = nullptr;
  QLineEdit* prefix_ = nullptr;
  QLineEdit* station_ = nullptr;
  QLineEdit* user_ = nullptr;
  QLineEdit* passwordFile_ = nullptr;
  QLineEdit* caFile_ = nullptr;
  QLineEdit* certFile_ = nullptr;
  QLineEdit* keyFile_ = nullptr;
  QCheckBox* discovery_ = nullptr;
  QLineEdit* discoveryPrefix_ = nullptr;
  QSpinBox* queue_ = nullptr;
  QLabel* error_ = nullptr;
  QLabel* status_ = nullptr;
  QTimer* timer_ = nullptr;
};

// How the output stands, for the dialog: "Off", "Connected, 0 measurements
// waiting", "Not connected, 12 measurements waiting, 3 dropped".
std::string MqttStatusText(const TMqttOutput& output);

// Opens the dialog on `output`'s values; OK applies them to `output` and
// stores them in `settings` (none: not stored).
void RunMqttSettingsDialog(QWidget* parent, TMqttOutput& output, TDatabaseRegistry* settings);

// Adds "MQTT" to the window's menu bar, opening the dialog.
QAction* AddMqttMenuEntry(QMainWindow& window, TMqttOutput& output, TDatabaseRegistry* settings);

}  // namespace quorvel

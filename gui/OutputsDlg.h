// The "Outputs" dialog: the settings of the live outputs, one group box per
// output (the seeing trigger with its commands, the live file, the Alpaca
// device). A new output adds its own group box and its fields in
// TOutputSettings.
#pragma once

#include <QDialog>

#include "app/OutputSettings.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QVBoxLayout;

namespace quorvel {

class TOutputsDlg : public QDialog {
 public:
  TOutputsDlg(const TOutputSettings& settings, QWidget* parent = nullptr);

  // The values as edited (the unique ID and other fields not shown kept).
  TOutputSettings Values() const;

  // Another output's group (MQTT), below the built-in ones and above the
  // buttons.
  void AddGroup(QWidget* group);

  // Checks the values; an empty text when they can be applied.
  std::string Check() const;
  void accept() override;

  // Fields, for tests.
  QComboBox* TriggerValue() const { return triggerValue_; }
  QDoubleSpinBox* TriggerStart() const { return triggerStart_; }
  QDoubleSpinBox* TriggerStop() const { return triggerStop_; }
  QCheckBox* AlpacaEnabled() const { return alpacaEnabled_; }
  QSpinBox* AlpacaPort() const { return alpacaPort_; }

 private:
  QGroupBox* BuildTrigger();
  QGroupBox* BuildLiveFile();
  QGroupBox* BuildAlpaca();

  TOutputSettings initial_;
  QVBoxLayout* layout_ = nullptr;
  QComboBox* triggerValue_ = nullptr;
  QCheckBox* triggerZenith_ = nullptr;
  QDoubleSpinBox* triggerStart_ = nullptr;
  QDoubleSpinBox* triggerStop_ = nullptr;
  QSpinBox* triggerMinGood_ = nullptr;
  QSpinBox* triggerMaxInvalid_ = nullptr;
  QLineEdit* onGood_ = nullptr;
  QLineEdit* onBad_ = nullptr;
  QDoubleSpinBox* commandTimeout_ = nullptr;
  QCheckBox* liveEnabled_ = nullptr;
  QLineEdit* livePath_ = nullptr;
  QCheckBox* alpacaEnabled_ = nullptr;
  QSpinBox* alpacaPort_ = nullptr;
  QLineEdit* alpacaBind_ = nullptr;
  QCheckBox* alpacaZenith_ = nullptr;
  QSpinBox* discoveryPort_ = nullptr;
};

}  // namespace quorvel

// The calibration dialog: shows the instrument's firmware version, serial
// number and calibration, and writes new values after the operator password.
// An ordinary modal dialog: timers of the program keep running while it is
// open, and its exchanges go through the same link as the acquisition's.
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "device/ui/CalibrationLink.h"
#include "device/ui/CalibrationValues.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace quorvel {

class TFormSetupHW : public QDialog {
  Q_OBJECT

 public:
  explicit TFormSetupHW(ICalibrationLink& link, QWidget* owner = nullptr);

  // Runs each time the dialog is shown: reads version and calibration.
  void FormShow();
  // The "Update Firmware" button: password, then the write request.
  void ButtonUpdateFirmWare();

  // Asks for the password; nothing when the operator cancels. By default an
  // input box that hides the typed characters. Replaceable (tests).
  std::function<std::optional<std::string>(QWidget* parent)> PasswordPrompt;

  QLabel* Label10;
  QLabel* LabelVersion;
  QLabel* Label9;
  QLineEdit* EditSNR;
  QLabel* Label11;
  QLineEdit* EditRSH;
  QLabel* Label12;
  QLineEdit* EditGain_filtered;
  QLabel* Label13;
  QLineEdit* EditNotFiltered;
  QLabel* Label14;
  QLineEdit* EditOffset;
  QPushButton* ButtonUpdateFirm;

  // What the last read gave.
  std::uint8_t FVersionMaj = 0;
  std::uint8_t FVersionMin = 0;
  TUint32 Serial;
  TSingle32 RShunt;
  TSingle32 GainFiltered;
  TSingle32 GainUnfiltered;
  TSingle32 OffsetVols;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  ICalibrationLink& FLink;
};

// The default password box: caption "Warning", prompt "Please input password",
// typed characters hidden.
std::optional<std::string> AskOperatorPassword(QWidget* parent);

}  // namespace quorvel

// The setup dialog: site (longitude, latitude, altitude), chart retention and
// minimum Sun signal. It knows nothing of the main window: it is filled from
// a TSetupValues and, when accepted, hands the new values back.
#pragma once

#include <QDialog>
#include <functional>

#include "setup/SetupValues.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;

namespace quorvel {

class TNumberEdit;
class TSpinEdit;

class TFormSetup : public QDialog {
  Q_OBJECT

 public:
  // `debuggerAttached` (IDERunning() in the program) lowers the retention
  // minimum from 1000 to 60 so that short retentions can be tried.
  TFormSetup(QWidget* owner, bool debuggerAttached);

  void FillFrom(const TSetupValues& values);
  TSetupTexts CurrentTexts() const;

  // The values of an accepted dialog (valid once exec() returned Accepted).
  const TSetupValues& AcceptedValues() const { return FAcceptedValues; }

  // OK: every field is checked and every value converted before the dialog
  // closes; on any problem the operator is told, the dialog stays open and
  // nothing is handed back.
  void accept() override;

  QPushButton* ButtonOK;
  TSpinEdit* SpinEditSecRetention;
  QPushButton* Button1;
  TSpinEdit* SpinEditMinV;
  TNumberEdit* NumberEditLongitude;
  QComboBox* ComboBoxLongitude;
  TNumberEdit* NumberEditLatitude;
  QComboBox* ComboBoxLatitude;
  TNumberEdit* NumberEditAltitude;
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QLabel* Label4;
  QLabel* Label5;
  // Beside each numeric field, what OK will apply, updated as the operator
  // types ("= 45.5° N"); formulas are worked strictly from left to right.
  QLabel* LabelLongitudeValue;
  QLabel* LabelLatitudeValue;
  QLabel* LabelAltitudeValue;
  // The seeing classes of the big read-out (upper limits, arcsec) and
  // whether they apply to zenith-corrected or line-of-sight values.
  QDoubleSpinBox* SpinEditExcellent;
  QDoubleSpinBox* SpinEditGood;
  QDoubleSpinBox* SpinEditFair;
  QComboBox* ComboBoxClassesFor;

 private:
  void FormCreate(bool debuggerAttached);
  void UpdatePreviews();
  QWidget* ControlOf(TSetupField field) const;

  TSetupValues FAcceptedValues;
};

// The menu action without the main window: create the dialog, fill it from
// `current`, show it modally and, only when the operator accepts, call
// `apply` with the new values (the caller applies them, stores them and
// resizes its buffers). Cancel or the close box change nothing. Returns true
// when `apply` was called.
bool RunSetupDialog(QWidget* owner, bool debuggerAttached, const TSetupValues& current,
                    const std::function<void(const TSetupValues&)>& apply);

}  // namespace quorvel

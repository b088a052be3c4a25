#include "SetupDlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/EventLog.h"
#include "setup/NumberEdit.h"
#include "setup/SpinEdit.h"

namespace quorvel {

namespace {

template <typename T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QLabel* RightLabel(const char* text, const char* name, QWidget* owner) {
  auto* label = Named(new QLabel(QString::fromUtf8(text), owner), name);
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return label;
}

TNumberEdit* FloatField(double minValue, double maxValue, const char* name, QWidget* owner) {
  auto* edit = Named(new TNumberEdit(owner), name);
  edit->SetTypeValue(TTypeValue::Float);
  edit->SetMinValue(minValue);
  edit->SetMaxValue(maxValue);
  return edit;
}

void SelectText(QComboBox* combo, const std::string& text) {
  combo->setCurrentIndex(combo->findText(QString::fromStdString(text)));
}

}  // namespace

TFormSetup::TFormSetup(QWidget* owner, bool debuggerAttached) : QDialog(owner) {
  setObjectName(QStringLiteral("FormSetup"));
  setWindowTitle(QStringLiteral("Setup"));
  setFont(QFont(QStringLiteral("Tahoma"), 8));

  ButtonOK = Named(new QPushButton(QStringLiteral("OK"), this), "ButtonOK");
  SpinEditSecRetention = Named(new TSpinEdit(this), "SpinEditSecRetention");
  Button1 = Named(new QPushButton(QStringLiteral("Cancel"), this), "Button1");
  SpinEditMinV = Named(new TSpinEdit(this), "SpinEditMinV");
  NumberEditLongitude = FloatField(0, 359.9999, "NumberEditLongitude", this);
  ComboBoxLongitude = Named(new QComboBox(this), "ComboBoxLongitude");
  NumberEditLatitude = FloatField(0, 89.99999999, "NumberEditLatitude", this);
  ComboBoxLatitude = Named(new QComboBox(this), "ComboBoxLatitude");
  NumberEditAltitude = FloatField(-300, 9000, "NumberEditAltitude", this);
  Label1 = Named(new QLabel(QStringLiteral("Displayed points rentention (sec)"), this), "Label1");
  Label2 = Named(new QLabel(QStringLiteral("Minimum SUN signal (mV)"), this), "Label2");
  Label3 = RightLabel("Longitude (deg)", "Label3", this);
  Label4 = RightLabel("Latitude (deg)", "Label4", this);
  Label5 = RightLabel("Altitude (m)", "Label5", this);

  SpinEditSecRetention->setRange(1000, 86400);
  SpinEditSecRetention->setToolTip(
      QStringLiteral("Number of point to keep in the plots, then will be FIFO'ed"));
  SpinEditMinV->setRange(50, 1500);
  SpinEditMinV->setToolTip(
      QStringLiteral("Below this value no seeing computation will performed."));
  ComboBoxLongitude->addItems({QStringLiteral("E"), QStringLiteral("W")});
  ComboBoxLatitude->addItems({QStringLiteral("N"), QStringLiteral("S")});

  // The buttons do not take the focus on a click: clicking Cancel must not
  // first check the field being edited, and OK checks every field itself.
  // Both stay in the tab order.
  ButtonOK->setFocusPolicy(Qt::TabFocus);
  Button1->setFocusPolicy(Qt::TabFocus);
  ButtonOK->setDefault(true);
  Button1->setAutoDefault(false);
  connect(ButtonOK, &QPushButton::clicked, this, &TFormSetup::accept);
  connect(Button1, &QPushButton::clicked, this, &TFormSetup::reject);

  auto* site = new QGridLayout;
  site->addWidget(Label3, 0, 0);
  site->addWidget(NumberEditLongitude, 0, 1);
  site->addWidget(ComboBoxLongitude, 0, 2);
  site->addWidget(Label4, 1, 0);
  site->addWidget(NumberEditLatitude, 1, 1);
  site->addWidget(ComboBoxLatitude, 1, 2);
  site->addWidget(Label5, 2, 0);
  site->addWidget(NumberEditAltitude, 2, 1);
  auto* limits = new QGridLayout;
  limits->addWidget(Label1, 0, 0);
  limits->addWidget(SpinEditSecRetention, 0, 1);
  limits->addWidget(Label2, 1, 0);
  limits->addWidget(SpinEditMinV, 1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ButtonOK);
  buttons->addWidget(Button1);
  buttons->addStretch();
  auto* main = new QVBoxLayout(this);
  main->addLayout(site);
  main->addLayout(limits);
  main->addStretch();
  main->addLayout(buttons);

  setTabOrder(ButtonOK, SpinEditSecRetention);
  setTabOrder(SpinEditSecRetention, Button1);
  setTabOrder(Button1, SpinEditMinV);
  setTabOrder(SpinEditMinV, NumberEditLongitude);
  setTabOrder(NumberEditLongitude, ComboBoxLongitude);
  setTabOrder(ComboBoxLongitude, NumberEditLatitude);
  setTabOrder(NumberEditLatitude, ComboBoxLatitude);
  setTabOrder(ComboBoxLatitude, NumberEditAltitude);

  FormCreate(debuggerAttached);

  // Not resizable; at least the designed client area, more if the fonts of
  // this system need it.
  setFixedSize(sizeHint().expandedTo(QSize(285, 202)));
}

void TFormSetup::FormCreate(bool debuggerAttached) {
  if (debuggerAttached) SpinEditSecRetention->setMinimum(60);
}

void TFormSetup::FillFrom(const TSetupValues& values) {
  const TSetupTexts t = SetupTextsFromValues(values);
  SpinEditSecRetention->setValue(t.SecRetention);  // outside the limits: the nearest limit
  SpinEditMinV->setValue(t.MinV);
  NumberEditLatitude->setText(QString::fromStdString(t.Latitude));
  SelectText(ComboBoxLatitude, t.LatitudeSide);
  NumberEditLongitude->setText(QString::fromStdString(t.Longitude));
  SelectText(ComboBoxLongitude, t.LongitudeSide);
  NumberEditAltitude->setText(QString::fromStdString(t.Altitude));
}

TSetupTexts TFormSetup::CurrentTexts() const {
  TSetupTexts t;
  t.SecRetention = SpinEditSecRetention->value();
  t.MinV = SpinEditMinV->value();
  t.Latitude = NumberEditLatitude->text().toStdString();
  t.LatitudeSide = ComboBoxLatitude->currentText().toStdString();
  t.Longitude = NumberEditLongitude->text().toStdString();
  t.LongitudeSide = ComboBoxLongitude->currentText().toStdString();
  t.Altitude = NumberEditAltitude->text().toStdString();
  return t;
}

QWidget* TFormSetup::ControlOf(TSetupField field) const {
  switch (field) {
    case TSetupField::Retention:
      return SpinEditSecRetention;
    case TSetupField::MinSignal:
      return SpinEditMinV;
    case TSetupField::Longitude:
      return NumberEditLongitude;
    case TSetupField::Latitude:
      return NumberEditLatitude;
    case TSetupField::Altitude:
      return NumberEditAltitude;
  }
  return nullptr;
}

void TFormSetup::accept() {
  // A spin box being edited has not necessarily taken its text yet.
  SpinEditSecRetention->interpretText();
  SpinEditMinV->interpretText();
  // Pressing Enter or clicking OK does not leave the field being edited:
  // check every field as if it had been left (formulas become numbers).
  for (TNumberEdit* field : {NumberEditLongitude, NumberEditLatitude, NumberEditAltitude})
    if (!field->CheckValue()) return;
  try {
    FAcceptedValues = SetupValuesFromTexts(CurrentTexts());
  } catch (const ESetupInputError& e) {
    CurrentMessageSink().ShowMessage(e.Message());
    if (QWidget* control = ControlOf(e.Field)) control->setFocus(Qt::OtherFocusReason);
    return;
  }
  QDialog::accept();
}

bool RunSetupDialog(QWidget* owner, bool debuggerAttached, const TSetupValues& current,
                    const std::function<void(const TSetupValues&)>& apply) {
  TFormSetup dialog(owner, debuggerAttached);
  dialog.FillFrom(current);
  if (dialog.exec() != QDialog::Accepted) return false;
  apply(dialog.AcceptedValues());
  return true;
}

}  // namespace quorvel

#include "SetupDlg.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
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

QLabel* PreviewLabel(const char* name, QWidget* owner) {
  auto* label = Named(new QLabel(owner), name);
  label->setToolTip(QStringLiteral(
      "The value OK will apply. A formula is worked strictly from left to right, without "
      "operator precedence: 30/60+45 gives 45.5, but 45+30/60 gives 1.25."));
  // Room for the longest preview, so the dialog does not jump while typing.
  label->setMinimumWidth(
      label->fontMetrics().horizontalAdvance(QString::fromUtf8("above 89.99999999\u00B0 ")));
  return label;
}

QDoubleSpinBox* ClassLimit(const char* name, QWidget* owner) {
  auto* spin = Named(new QDoubleSpinBox(owner), name);
  spin->setRange(0.1, 20);
  spin->setDecimals(2);
  spin->setSingleStep(0.1);
  spin->setSuffix(QString::fromUtf8("\u2033"));
  return spin;
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
  LabelLongitudeValue = PreviewLabel("LabelLongitudeValue", this);
  LabelLatitudeValue = PreviewLabel("LabelLatitudeValue", this);
  LabelAltitudeValue = PreviewLabel("LabelAltitudeValue", this);
  SpinEditExcellent = ClassLimit("SpinEditExcellent", this);
  SpinEditGood = ClassLimit("SpinEditGood", this);
  SpinEditFair = ClassLimit("SpinEditFair", this);
  ComboBoxClassesFor = Named(new QComboBox(this), "ComboBoxClassesFor");
  ComboBoxClassesFor->addItems({QStringLiteral("zenith"), QStringLiteral("line of sight")});
  ComboBoxClassesFor->setToolTip(
      QStringLiteral("Whether the read-out shows and classifies the seeing corrected to the "
                     "zenith or as measured along the line of sight to the Sun."));

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
  site->addWidget(LabelLongitudeValue, 0, 3);
  site->addWidget(LabelLatitudeValue, 1, 3);
  site->addWidget(LabelAltitudeValue, 2, 3);
  auto* limits = new QGridLayout;
  limits->addWidget(Label1, 0, 0);
  limits->addWidget(SpinEditSecRetention, 0, 1);
  limits->addWidget(Label2, 1, 0);
  limits->addWidget(SpinEditMinV, 1, 1);
  auto* classesBox = Named(new QGroupBox(QStringLiteral("Seeing classes"), this), "GroupSeeing");
  auto* classes = new QGridLayout(classesBox);
  const char* names[3] = {"excellent up to", "good up to", "fair up to (above: poor)"};
  QDoubleSpinBox* limits3[3] = {SpinEditExcellent, SpinEditGood, SpinEditFair};
  for (int i = 0; i < 3; ++i) {
    auto* l = new QLabel(QString::fromLatin1(names[i]), classesBox);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    classes->addWidget(l, i, 0);
    classes->addWidget(limits3[i], i, 1);
  }
  auto* forLabel = new QLabel(QStringLiteral("for seeing at"), classesBox);
  forLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  classes->addWidget(forLabel, 3, 0);
  classes->addWidget(ComboBoxClassesFor, 3, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ButtonOK);
  buttons->addWidget(Button1);
  buttons->addStretch();
  auto* main = new QVBoxLayout(this);
  main->addLayout(site);
  main->addLayout(limits);
  main->addWidget(classesBox);
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
  setTabOrder(NumberEditAltitude, SpinEditExcellent);
  setTabOrder(SpinEditExcellent, SpinEditGood);
  setTabOrder(SpinEditGood, SpinEditFair);
  setTabOrder(SpinEditFair, ComboBoxClassesFor);

  for (TNumberEdit* field : {NumberEditLongitude, NumberEditLatitude, NumberEditAltitude})
    connect(field, &QLineEdit::textChanged, this, [this] { UpdatePreviews(); });
  for (QComboBox* combo : {ComboBoxLongitude, ComboBoxLatitude})
    connect(combo, &QComboBox::currentIndexChanged, this, [this] { UpdatePreviews(); });
  UpdatePreviews();

  FormCreate(debuggerAttached);

  // Not resizable; at least the designed client area, more if the fonts of
  // this system need it.
  setFixedSize(sizeHint().expandedTo(QSize(285, 202)));
}

void TFormSetup::UpdatePreviews() {
  const std::string degree = "\u00B0";
  auto preview = [](TNumberEdit* field, const std::string& unit) {
    return PreviewNumberText(field->text().toStdString(), field->TypeValue(), field->MinValue(),
                             field->MaxValue(), unit);
  };
  // The side decides the sign; no selection counts as N and as W.
  auto withSide = [](const std::string& text, QComboBox* combo, const char* none) {
    if (text.rfind("= ", 0) != 0) return text;
    const QString side = combo->currentText();
    return text + " " + (side.isEmpty() ? std::string(none) : side.toStdString());
  };
  LabelLatitudeValue->setText(
      QString::fromStdString(withSide(preview(NumberEditLatitude, degree), ComboBoxLatitude, "N")));
  LabelLongitudeValue->setText(QString::fromStdString(
      withSide(preview(NumberEditLongitude, degree), ComboBoxLongitude, "W")));
  LabelAltitudeValue->setText(QString::fromStdString(preview(NumberEditAltitude, " m")));
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
  SpinEditExcellent->setValue(t.ExcellentMax);
  SpinEditGood->setValue(t.GoodMax);
  SpinEditFair->setValue(t.FairMax);
  ComboBoxClassesFor->setCurrentIndex(t.ClassesAtZenith ? 0 : 1);
  UpdatePreviews();
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
  t.ExcellentMax = SpinEditExcellent->value();
  t.GoodMax = SpinEditGood->value();
  t.FairMax = SpinEditFair->value();
  t.ClassesAtZenith = ComboBoxClassesFor->currentIndex() != 1;
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
    case TSetupField::Classes:
      return SpinEditExcellent;
  }
  return nullptr;
}

void TFormSetup::accept() {
  // A spin box being edited has not necessarily taken its text yet.
  SpinEditSecRetention->interpretText();
  SpinEditMinV->interpretText();
  for (QDoubleSpinBox* spin : {SpinEditExcellent, SpinEditGood, SpinEditFair})
    spin->interpretText();
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

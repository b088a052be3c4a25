#include "SetupFirmware.h"

#include <QFormLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>
#include <exception>

#include "common/EventLog.h"
#include "device/Commands.h"

namespace quorvel {

namespace {

template <typename T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

}  // namespace

std::optional<std::string> AskOperatorPassword(QWidget* parent) {
  // Hidden: the password would otherwise be readable by anyone beside the
  // operator.
  bool ok = false;
  const QString typed = QInputDialog::getText(parent, QStringLiteral("Warning"),
                                              QStringLiteral("Please input password"),
                                              QLineEdit::Password, QString(), &ok);
  if (!ok) return std::nullopt;
  return typed.toStdString();
}

TFormSetupHW::TFormSetupHW(ICalibrationLink& link, QWidget* owner)
    : QDialog(owner), PasswordPrompt(AskOperatorPassword), FLink(link) {
  setObjectName(QStringLiteral("FormSetupHW"));
  setWindowTitle(QStringLiteral("Setup firmware"));

  Label10 = Named(new QLabel(QStringLiteral("Firmware Version :"), this), "Label10");
  LabelVersion = Named(new QLabel(QStringLiteral("???"), this), "LabelVersion");
  Label9 = Named(new QLabel(QStringLiteral("SNR"), this), "Label9");
  EditSNR = Named(new QLineEdit(QString::number(kDefaultSerialNumber), this), "EditSNR");
  Label11 = Named(new QLabel(QStringLiteral("Rshunt"), this), "Label11");
  EditRSH = Named(new QLineEdit(QString::number(double{kDefaultRShunt}, 'g', 6), this), "EditRSH");
  Label12 = Named(new QLabel(QStringLiteral("Gain filtered"), this), "Label12");
  EditGain_filtered =
      Named(new QLineEdit(QString::number(double{kDefaultGainFiltered}, 'g', 6), this),
            "EditGain_filtered");
  Label13 = Named(new QLabel(QStringLiteral("Gain not Filtered"), this), "Label13");
  EditNotFiltered =
      Named(new QLineEdit(QString::number(double{kDefaultGainUnfiltered}, 'g', 6), this),
            "EditNotFiltered");
  Label14 = Named(new QLabel(QStringLiteral("Offset (V)"), this), "Label14");
  EditOffset =
      Named(new QLineEdit(QString::number(double{kDefaultOffsetV}, 'g', 6), this), "EditOffset");
  ButtonUpdateFirm =
      Named(new QPushButton(QStringLiteral("Update Firmware"), this), "ButtonUpdateFirm");
  ButtonUpdateFirm->setAutoDefault(false);
  connect(ButtonUpdateFirm, &QPushButton::clicked, this, &TFormSetupHW::ButtonUpdateFirmWare);

  auto* form = new QFormLayout;
  form->addRow(Label10, LabelVersion);
  form->addRow(Label9, EditSNR);
  form->addRow(Label11, EditRSH);
  form->addRow(Label12, EditGain_filtered);
  form->addRow(Label13, EditNotFiltered);
  form->addRow(Label14, EditOffset);
  auto* main = new QVBoxLayout(this);
  main->addLayout(form);
  main->addStretch();
  main->addWidget(ButtonUpdateFirm);

  setTabOrder(EditSNR, EditRSH);
  setTabOrder(EditRSH, EditGain_filtered);
  setTabOrder(EditGain_filtered, EditNotFiltered);
  setTabOrder(EditNotFiltered, EditOffset);
  setTabOrder(EditOffset, ButtonUpdateFirm);

  setFixedSize(sizeHint().expandedTo(QSize(178, 223)));
}

void TFormSetupHW::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TFormSetupHW::FormShow() {
  try {
    TReportBuffer request;
    TReportBuffer answer{};
    SingleCommand_Init(request);
    FLink.DeviceRequest(kCmdReadVersion, request, answer);
    const TVersionAnswer a = DecodeVersionAnswer(answer);
    FVersionMaj = a.VersionMaj;
    FVersionMin = a.VersionMin;
    Serial = a.Calibration.Serial;
    RShunt = a.Calibration.RShunt;
    GainFiltered = a.Calibration.GainFiltered;
    GainUnfiltered = a.Calibration.GainUnfiltered;
    OffsetVols = a.Calibration.OffsetVols;
    LabelVersion->setText(Q(VersionText(FVersionMaj, FVersionMin)));
    const TCalibrationTexts t = CalibrationTexts(a.Calibration);
    EditSNR->setText(Q(t.SNR));
    EditRSH->setText(Q(t.RShunt));
    EditGain_filtered->setText(Q(t.GainFiltered));
    EditNotFiltered->setText(Q(t.GainUnfiltered));
    EditOffset->setText(Q(t.Offset));
  } catch (const std::exception&) {
    // The controls keep what they hold (the default texts if nothing came).
    CurrentMessageSink().ShowMessage("Error on read data !");
  }
}

void TFormSetupHW::ButtonUpdateFirmWare() {
  const std::optional<std::string> typed = PasswordPrompt(this);
  if (!typed) return;
  if (!OperatorPasswordMatches(*typed)) {
    CurrentMessageSink().ShowMessage("Password error !");
    return;
  }
  try {
    TCalibrationTexts texts;
    texts.SNR = EditSNR->text().toStdString();
    texts.RShunt = EditRSH->text().toStdString();
    texts.GainFiltered = EditGain_filtered->text().toStdString();
    texts.GainUnfiltered = EditNotFiltered->text().toStdString();
    texts.Offset = EditOffset->text().toStdString();
    const TReportBuffer request = CalibrationRequest(ParseCalibrationTexts(texts));
    TReportBuffer answer{};
    FLink.DeviceRequest(kCmdWriteCalibration, request, answer);  // answer not examined
  } catch (const std::exception& e) {
    // A text that does not parse (nothing sent) or a failed exchange; the
    // dialog stays open.
    CurrentMessageSink().ShowError(e.what());
  }
}

}  // namespace quorvel

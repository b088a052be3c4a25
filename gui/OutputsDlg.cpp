#include "gui/OutputsDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>

#include "common/Errors.h"

namespace quorvel {

namespace {

QDoubleSpinBox* Arcsec(double value) {
  auto* s = new QDoubleSpinBox;
  s->setRange(0.01, 100);
  s->setDecimals(2);
  s->setSingleStep(0.1);
  s->setSuffix(" arcsec");
  s->setValue(value);
  return s;
}

QSpinBox* SecondsBox(double value, int max) {
  auto* s = new QSpinBox;
  s->setRange(0, max);
  s->setSuffix(" s");
  s->setValue(static_cast<int>(std::lround(value)));
  return s;
}

}  // namespace

TOutputsDlg::TOutputsDlg(const TOutputSettings& settings, QWidget* parent)
    : QDialog(parent), initial_(settings) {
  setObjectName("OutputsDlg");
  setWindowTitle("Outputs");
  auto* layout = new QVBoxLayout(this);
  layout_ = layout;
  layout->addWidget(BuildTrigger());
  layout->addWidget(BuildLiveFile());
  layout->addWidget(BuildAlpaca());
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

QGroupBox* TOutputsDlg::BuildTrigger() {
  const TOutputSettings& s = initial_;
  auto* box = new QGroupBox("Seeing trigger");
  box->setObjectName("GroupTrigger");
  auto* form = new QFormLayout(box);
  triggerValue_ = new QComboBox;
  triggerValue_->addItems({"Instant value", "One-minute mean", "Five-minute mean"});
  triggerValue_->setCurrentIndex(static_cast<int>(s.trigger.value));
  form->addRow("Watched value", triggerValue_);
  triggerZenith_ = new QCheckBox("Corrected to the zenith");
  triggerZenith_->setChecked(s.trigger.zenith);
  form->addRow("", triggerZenith_);
  triggerStart_ = Arcsec(s.trigger.startArcsec);
  form->addRow("GOOD at or below", triggerStart_);
  triggerStop_ = Arcsec(s.trigger.stopArcsec);
  form->addRow("BAD above", triggerStop_);
  triggerMinGood_ = SecondsBox(s.trigger.minGoodSec, 86400);
  form->addRow("Good for at least", triggerMinGood_);
  triggerMaxInvalid_ = SecondsBox(s.trigger.maxInvalidSec, 86400);
  form->addRow("BAD after no value for", triggerMaxInvalid_);
  onGood_ = new QLineEdit(QString::fromStdString(s.onGood));
  onGood_->setPlaceholderText("program and arguments (no shell)");
  form->addRow("Command on GOOD", onGood_);
  onBad_ = new QLineEdit(QString::fromStdString(s.onBad));
  onBad_->setPlaceholderText("program and arguments (no shell)");
  form->addRow("Command on BAD", onBad_);
  commandTimeout_ = new QDoubleSpinBox;
  commandTimeout_->setRange(0.1, 3600);
  commandTimeout_->setDecimals(1);
  commandTimeout_->setSuffix(" s");
  commandTimeout_->setValue(s.commandTimeoutSec);
  form->addRow("Command time limit", commandTimeout_);
  return box;
}

QGroupBox* TOutputsDlg::BuildLiveFile() {
  auto* box = new QGroupBox("Live file");
  box->setObjectName("GroupLiveFile");
  auto* form = new QFormLayout(box);
  liveEnabled_ = new QCheckBox("Write the latest values every cycle");
  liveEnabled_->setChecked(initial_.liveFile != "none");
  form->addRow("", liveEnabled_);
  livePath_ = new QLineEdit(
      QString::fromStdString(initial_.liveFile == "none" ? std::string() : initial_.liveFile));
  livePath_->setPlaceholderText(QString::fromStdString(LiveFilePath("")));
  form->addRow("File", livePath_);
  return box;
}

QGroupBox* TOutputsDlg::BuildAlpaca() {
  auto* box = new QGroupBox("ASCOM Alpaca ObservingConditions device");
  box->setObjectName("GroupAlpaca");
  auto* form = new QFormLayout(box);
  alpacaEnabled_ = new QCheckBox("Serve the seeing as StarFWHM");
  alpacaEnabled_->setChecked(initial_.alpacaPort != 0);
  form->addRow("", alpacaEnabled_);
  alpacaPort_ = new QSpinBox;
  alpacaPort_->setRange(1, 65535);
  alpacaPort_->setValue(initial_.alpacaPort != 0 ? initial_.alpacaPort : 11111);
  form->addRow("TCP port", alpacaPort_);
  alpacaBind_ = new QLineEdit(QString::fromStdString(initial_.alpacaBind));
  alpacaBind_->setPlaceholderText("all addresses");
  form->addRow("Address", alpacaBind_);
  alpacaZenith_ = new QCheckBox("StarFWHM corrected to the zenith");
  alpacaZenith_->setChecked(initial_.alpacaZenith);
  form->addRow("", alpacaZenith_);
  discoveryPort_ = new QSpinBox;
  discoveryPort_->setRange(0, 65535);
  discoveryPort_->setSpecialValueText("off");
  discoveryPort_->setValue(initial_.alpacaDiscoveryPort);
  form->addRow("Discovery UDP port", discoveryPort_);
  auto* id = new QLabel(QString::fromStdString(initial_.alpacaUniqueId.empty()
                                                   ? "made when the device first starts"
                                                   : initial_.alpacaUniqueId));
  id->setTextInteractionFlags(Qt::TextSelectableByMouse);
  form->addRow("Unique ID", id);
  return box;
}

void TOutputsDlg::AddGroup(QWidget* group) {
  layout_->insertWidget(layout_->count() - 1, group);
}

TOutputSettings TOutputsDlg::Values() const {
  TOutputSettings s = initial_;
  s.trigger.value = static_cast<TTriggerValue>(triggerValue_->currentIndex());
  s.trigger.zenith = triggerZenith_->isChecked();
  s.trigger.startArcsec = triggerStart_->value();
  s.trigger.stopArcsec = triggerStop_->value();
  s.trigger.minGoodSec = triggerMinGood_->value();
  s.trigger.maxInvalidSec = triggerMaxInvalid_->value();
  s.onGood = onGood_->text().trimmed().toStdString();
  s.onBad = onBad_->text().trimmed().toStdString();
  s.commandTimeoutSec = commandTimeout_->value();
  s.liveFile = liveEnabled_->isChecked() ? livePath_->text().trimmed().toStdString() : "none";
  s.alpacaPort = alpacaEnabled_->isChecked() ? static_cast<std::uint16_t>(alpacaPort_->value()) : 0;
  s.alpacaBind = alpacaBind_->text().trimmed().toStdString();
  s.alpacaZenith = alpacaZenith_->isChecked();
  s.alpacaDiscoveryPort = static_cast<std::uint16_t>(discoveryPort_->value());
  return s;
}

std::string TOutputsDlg::Check() const {
  const TOutputSettings s = Values();
  if (std::string e = CheckTriggerConfig(s.trigger); !e.empty()) return "Seeing trigger: " + e;
  for (const std::string* c : {&s.onGood, &s.onBad}) {
    try {
      SplitCommandLine(*c);
    } catch (const std::exception& e) {
      return std::string("Seeing trigger: ") + e.what();
    }
  }
  return {};
}

void TOutputsDlg::accept() {
  const std::string e = Check();
  if (!e.empty()) {
    QMessageBox::warning(this, "Outputs", QString::fromStdString(e));
    return;
  }
  QDialog::accept();
}

}  // namespace quorvel

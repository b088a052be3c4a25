#include "ConditionBar.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

#include "common/Clock.h"
#include "common/DateTime.h"

namespace quorvel {

TConditionBar::TConditionBar(QWidget* parent) : QWidget(parent) {
  setObjectName("ConditionBar");
  auto* rows = new QVBoxLayout(this);
  rows->setContentsMargins(0, 0, 0, 2);
  rows->setSpacing(2);
  for (int i = 0; i < kConditionCount; ++i) {
    const auto id = static_cast<TCondition>(i);
    Slot& s = slots_[Index(id)];
    s.row = new QFrame(this);
    s.row->setObjectName(ConditionName(id));
    s.row->setStyleSheet(
        QStringLiteral("QFrame#%1 { background-color: #FBE3E0; border: 1px solid #C62828; }")
            .arg(QString::fromLatin1(ConditionName(id))));
    auto* line = new QHBoxLayout(s.row);
    line->setContentsMargins(6, 2, 2, 2);
    s.label = new QLabel(s.row);
    s.label->setObjectName("ConditionText");
    QFont bold = s.label->font();
    bold.setBold(true);
    s.label->setFont(bold);
    s.label->setStyleSheet(QStringLiteral("color: #8E1B12;"));
    s.label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* dismiss = new QToolButton(s.row);
    dismiss->setObjectName("Dismiss");
    dismiss->setText(QStringLiteral("\u2715"));
    dismiss->setAutoRaise(true);
    dismiss->setToolTip(
        QStringLiteral("Hide this message (it shows again if the fault comes "
                       "back after it has cleared)"));
    connect(dismiss, &QToolButton::clicked, this, [this, id] { Dismiss(id); });
    line->addWidget(s.label, 1);
    line->addWidget(dismiss);
    rows->addWidget(s.row);
    s.row->hide();
  }
  hide();
}

bool TConditionBar::IsShown(TCondition id) const {
  const Slot& s = slots_[Index(id)];
  return s.up && !s.dismissed;
}

QString TConditionBar::Text(TCondition id) const {
  return slots_[Index(id)].label->text();
}

void TConditionBar::Raise(TCondition id, const std::string& text) {
  Slot& s = slots_[Index(id)];
  if (!s.up) {
    s.up = true;
    s.dismissed = false;
    // The program's clock (virtual in simulated runs), local time.
    s.since = QDateTime::fromMSecsSinceEpoch(UnixMsFromDateTime(Now()), Qt::UTC);
  }
  s.text = QString::fromStdString(text);
  Refresh(id);
}

void TConditionBar::Clear(TCondition id) {
  Slot& s = slots_[Index(id)];
  if (!s.up) return;
  s.up = false;
  s.dismissed = false;
  Refresh(id);
}

void TConditionBar::Dismiss(TCondition id) {
  Slot& s = slots_[Index(id)];
  if (!s.up) return;
  s.dismissed = true;
  Refresh(id);
}

void TConditionBar::Refresh(TCondition id) {
  Slot& s = slots_[Index(id)];
  const bool shown = IsShown(id);
  if (shown) {
    // Now() is the local wall time, so its pieces are shown as they are.
    s.label->setText(QStringLiteral("Since ") + s.since.toString(QStringLiteral("HH:mm:ss")) +
                     QStringLiteral(" : ") + s.text);
    s.label->setToolTip(QStringLiteral("Began ") +
                        s.since.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
                        QStringLiteral(" (local time)"));
  }
  s.row->setVisible(shown);
  bool any = false;
  for (int i = 0; i < kConditionCount; ++i) any = any || IsShown(static_cast<TCondition>(i));
  setVisible(any);
}

}  // namespace quorvel

#include "SeeingReadout.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "common/Format.h"

namespace quorvel {

namespace {

QLabel* Named(QLabel* label, const char* name) {
  label->setObjectName(QString::fromLatin1(name));
  return label;
}

QString Css(const QColor& background, const QColor& text) {
  return QStringLiteral("background-color: %1; color: %2; border-radius: 4px; padding: 0 8px;")
      .arg(background.name(), text.name());
}

}  // namespace

TSeeingReadout::TSeeingReadout(QWidget* parent) : QFrame(parent) {
  setObjectName("SeeingReadout");
  setFrameShape(QFrame::StyledPanel);

  QFont big = font();
  big.setPointSize(22);
  big.setBold(true);
  QFont medium = font();
  medium.setPointSize(12);
  medium.setBold(true);

  value_ = Named(new QLabel(QStringLiteral("\u2014")), "LabelGlanceSeeing");
  value_->setFont(big);
  value_->setAlignment(Qt::AlignCenter);
  value_->setMinimumWidth(value_->fontMetrics().horizontalAdvance(QStringLiteral("88.88\u2033")) +
                          20);
  quality_ = Named(new QLabel, "LabelGlanceClass");
  quality_->setFont(medium);
  r0_ = Named(new QLabel, "LabelGlanceR0");
  r0_->setFont(medium);
  trend_ = Named(new QLabel, "LabelGlanceTrend");
  trend_->setFont(medium);
  kind_ = Named(new QLabel, "LabelGlanceKind");
  // The read-out keeps one height with or without a value, so the panel
  // below it never moves.
  kind_->setMinimumHeight(kind_->fontMetrics().height());
  reason_ = Named(new QLabel(QStringLiteral("No measurement yet")), "LabelGlanceReason");
  reason_->setFont(medium);
  trigger_label_ = Named(new QLabel, "LabelTriggerState");
  trigger_label_->setFont(medium);
  trigger_label_->hide();

  auto* facts = new QHBoxLayout;
  facts->setSpacing(14);
  facts->addWidget(quality_);
  facts->addWidget(r0_);
  facts->addWidget(trend_);
  facts->addWidget(reason_);
  facts->addStretch(1);
  facts->addWidget(trigger_label_);
  auto* right = new QVBoxLayout;
  right->setSpacing(0);
  right->addLayout(facts);
  right->addWidget(kind_);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(4, 3, 6, 3);
  row->addWidget(value_);
  row->addLayout(right, 1);

  const QString tip = QStringLiteral(
      "The current seeing, large, on the colour of its class (excellent, good, fair, poor; the "
      "limits are set in Setup). The arrow compares the last minute's mean with the last five "
      "minutes': down is better (smaller seeing).");
  setToolTip(tip);
  SetGlance(TSeeingGlance{});
}

QColor TSeeingReadout::QualityColor(TSeeingQuality q) {
  switch (q) {
    case TSeeingQuality::Excellent:
      return QColor(0x1B, 0x8A, 0x3A);
    case TSeeingQuality::Good:
      return QColor(0x8C, 0xC8, 0x4B);
    case TSeeingQuality::Fair:
      return QColor(0xF5, 0xB8, 0x2E);
    case TSeeingQuality::Poor:
      break;
  }
  return QColor(0xD6, 0x3A, 0x2F);
}

QString TSeeingReadout::TrendText(TSeeingTrend trend) {
  switch (trend) {
    case TSeeingTrend::Better:
      return QStringLiteral("\u2193 better");
    case TSeeingTrend::Steady:
      return QStringLiteral("\u2192 steady");
    case TSeeingTrend::Worse:
      return QStringLiteral("\u2191 worse");
    case TSeeingTrend::Unknown:
      break;
  }
  return {};
}

void TSeeingReadout::SetBackground(const QColor& color, const QColor& text) {
  // A style sheet costs a re-polish: only when the class changes, not every
  // second.
  if (color == background_ && text == text_) return;
  background_ = color;
  text_ = text;
  value_->setStyleSheet(Css(color, text));
}

void TSeeingReadout::SetGlance(const TSeeingGlance& g) {
  glance_ = g;
  const bool have = g.State == TGlanceState::Value;
  quality_->setVisible(have);
  r0_->setVisible(have);
  trend_->setVisible(have && g.Trend != TSeeingTrend::Unknown);
  reason_->setVisible(!have);
  if (!have) {
    // Never a stale number: the reason takes its place.
    value_->setText(QStringLiteral("\u2014"));
    SetBackground(NoValueColor(), Qt::black);
    reason_->setText(QString::fromStdString(g.Reason));
    kind_->clear();
    return;
  }
  value_->setText(QString::fromStdString(Format("%1.2f", {g.Seeing})) + QStringLiteral("\u2033"));
  const QColor c = QualityColor(g.Quality);
  SetBackground(c, c.lightness() < 140 ? Qt::white : Qt::black);
  quality_->setText(QString::fromLatin1(QualityName(g.Quality)));
  r0_->setText(QString::fromStdString(Format("r0 %1.0f mm", {g.R0})));
  trend_->setText(TrendText(g.Trend));
  kind_->setText(g.Zenith ? QStringLiteral("corrected to the zenith")
                          : QStringLiteral("along the line of sight"));
}

void TSeeingReadout::SetTriggerState(TReadoutTrigger state) {
  trigger_ = state;
  switch (state) {
    case TReadoutTrigger::None:
      trigger_label_->hide();
      return;
    case TReadoutTrigger::Good:
      trigger_label_->setText(QStringLiteral("Trigger: GOOD"));
      trigger_label_->setStyleSheet(Css(QualityColor(TSeeingQuality::Excellent), Qt::white));
      break;
    case TReadoutTrigger::Bad:
      trigger_label_->setText(QStringLiteral("Trigger: BAD"));
      trigger_label_->setStyleSheet(Css(QualityColor(TSeeingQuality::Poor), Qt::white));
      break;
    case TReadoutTrigger::Unknown:
      trigger_label_->setText(QStringLiteral("Trigger: UNKNOWN"));
      trigger_label_->setStyleSheet(Css(NoValueColor(), Qt::black));
      break;
  }
  trigger_label_->show();
}

}  // namespace quorvel

// The big read-out of the current seeing above the information panel: the
// value and r0 in large type on the colour of its quality class, the trend
// of the last minute against the last five, and, when there is no value,
// why. A slot on its right shows the seeing trigger's state.
#pragma once

#include <QFrame>

#include "measure/SeeingGlance.h"

QT_BEGIN_NAMESPACE
class QLabel;
QT_END_NAMESPACE

namespace quorvel {

class TSeeingReadout final : public QFrame {
  Q_OBJECT

 public:
  explicit TSeeingReadout(QWidget* parent = nullptr);

  void SetGlance(const TSeeingGlance& glance);
  // None hides the trigger's slot.
  void SetTriggerState(TReadoutTrigger state);

  const TSeeingGlance& Glance() const { return glance_; }
  TReadoutTrigger TriggerState() const { return trigger_; }
  // Background of the value for a class, and for no value.
  static QColor QualityColor(TSeeingQuality q);
  static QColor NoValueColor() { return QColor(0xD8, 0xD8, 0xD8); }
  QColor ValueBackground() const { return background_; }

  // "↓ better", "→ steady", "↑ worse", "" for unknown.
  static QString TrendText(TSeeingTrend trend);

 private:
  void SetBackground(const QColor& color, const QColor& text);

  QLabel* value_;
  QLabel* quality_;
  QLabel* r0_;
  QLabel* trend_;
  QLabel* kind_;
  QLabel* reason_;
  QLabel* trigger_label_;
  TSeeingGlance glance_;
  TReadoutTrigger trigger_ = TReadoutTrigger::None;
  QColor background_;
  QColor text_;
};

}  // namespace quorvel

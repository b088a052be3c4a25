// The bar above the log: one row per condition that is up (acquisition
// stopped, results file not written, settings not saved, instrument lost, a
// second instance), with the local time it began, until the core clears it or
// the operator dismisses it. A dismissed condition stays hidden until it has
// cleared; raised again after that, it shows again.
#pragma once

#include <QDateTime>
#include <QWidget>
#include <array>
#include <string>

#include "app/MainView.h"

QT_BEGIN_NAMESPACE
class QFrame;
class QLabel;
class QVBoxLayout;
QT_END_NAMESPACE

namespace quorvel {

class TConditionBar final : public QWidget {
  Q_OBJECT

 public:
  explicit TConditionBar(QWidget* parent = nullptr);

  void Raise(TCondition id, const std::string& text);
  void Clear(TCondition id);
  void Dismiss(TCondition id);

  bool IsUp(TCondition id) const { return slots_[Index(id)].up; }
  // Up and not dismissed: its row is on screen.
  bool IsShown(TCondition id) const;
  // The row's text: "Since 10:00:03 : Settings not saved : ...".
  QString Text(TCondition id) const;
  QDateTime Since(TCondition id) const { return slots_[Index(id)].since; }

 private:
  struct Slot {
    bool up = false;
    bool dismissed = false;
    QDateTime since;
    QString text;
    QFrame* row = nullptr;
    QLabel* label = nullptr;
  };
  static std::size_t Index(TCondition id) { return static_cast<std::size_t>(id); }
  void Refresh(TCondition id);

  std::array<Slot, kConditionCount> slots_;
};

}  // namespace quorvel

// A single-line edit box for one number. Typing is free; when the operator
// leaves the field its text is evaluated (plain number or small formula, see
// NumberCheck.h), checked against the optional range and replaced by the
// value. An unacceptable text is reported in a plain message box (through the
// program's message sink), the field turns red and takes the focus back, and
// the text stays as typed. The red stays until the field is entered again.
#pragma once

#include <QColor>
#include <QLineEdit>

#include "setup/NumberCheck.h"

namespace quorvel {

class TNumberEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit TNumberEdit(QWidget* owner = nullptr);

  // Range, checked only when MaxValue > MinValue (both 0 by default).
  double MaxValue() const { return FMaxValue; }
  void SetMaxValue(double v) { FMaxValue = v; }
  double MinValue() const { return FMinValue; }
  void SetMinValue(double v) { FMinValue = v; }
  TTypeValue TypeValue() const { return FTypeValue; }
  void SetTypeValue(TTypeValue v) { FTypeValue = v; }

  // The normal background, remembered at creation.
  QColor Oldcolor() const { return FOldcolor; }
  QColor BackgroundColor() const;
  static QColor ErrorColor() { return QColor(255, 68, 68); }

  void DisplayErrorFrm();

  // The check run when the field is left: true when the text is accepted
  // (and rewritten) or empty; otherwise the operator has been told, the field
  // is red and has the focus. Dialogs call it before reading the text.
  bool CheckValue();

 protected:
  void focusInEvent(QFocusEvent* event) override;   // CMEnter
  void focusOutEvent(QFocusEvent* event) override;  // CMExit

 private:
  void SetBackground(const QColor& color);

  double FMaxValue = 0;
  double FMinValue = 0;
  TTypeValue FTypeValue = TTypeValue::Int;
  QColor FOldcolor;
};

}  // namespace quorvel

#include "NumberEdit.h"

#include <QFocusEvent>
#include <QPalette>

#include "common/EventLog.h"
#include "setup/Formula.h"

namespace quorvel {

namespace {

// Set while a field reports an error and takes the focus back. Focus moves
// caused by that (the message box, the refocus) must not start a second check
// in another field, or two bad fields would bounce the focus forever.
bool g_reporting = false;

}  // namespace

TNumberEdit::TNumberEdit(QWidget* owner) : QLineEdit(owner) {
  FOldcolor = BackgroundColor();
}

QColor TNumberEdit::BackgroundColor() const {
  return palette().color(QPalette::Base);
}

void TNumberEdit::SetBackground(const QColor& color) {
  QPalette p = palette();
  p.setColor(QPalette::Base, color);
  setPalette(p);
}

void TNumberEdit::DisplayErrorFrm() {
  SetBackground(ErrorColor());
}

bool TNumberEdit::CheckValue() {
  const std::string typed = text().toStdString();
  std::string message;
  try {
    const std::string value = EvaluateNumberText(typed, FTypeValue, FMinValue, FMaxValue);
    if (value != typed) setText(QString::fromStdString(value));
    // The red of an earlier error stays until the field is entered again.
    return true;
  } catch (const ENotWholeError& e) {
    message = e.Message();
  } catch (const ERangeError& e) {
    message = e.Message();
  } catch (const EFormuleError& e) {
    message = e.Message();
  }
  g_reporting = true;
  DisplayErrorFrm();
  CurrentMessageSink().ShowMessage(message);
  setFocus(Qt::OtherFocusReason);
  // Taking the focus back runs the focus-in handler, which clears the red.
  DisplayErrorFrm();
  g_reporting = false;
  return false;
}

void TNumberEdit::focusInEvent(QFocusEvent* event) {
  if (!g_reporting && BackgroundColor() != FOldcolor) SetBackground(FOldcolor);
  QLineEdit::focusInEvent(event);
}

void TNumberEdit::focusOutEvent(QFocusEvent* event) {
  // Only a move to another control of the same window is "leaving the field":
  // not switching to another application, not the field's own context menu,
  // not the window being closed.
  const Qt::FocusReason reason = event->reason();
  const bool leaving = reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
                       reason != Qt::MenuBarFocusReason && window()->isVisible();
  if (leaving && !g_reporting) CheckValue();
  QLineEdit::focusOutEvent(event);
}

}  // namespace quorvel

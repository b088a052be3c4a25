#include "SpinEdit.h"

#include <algorithm>
#include <string>

#include "common/Format.h"

namespace quorvel {

TSpinEdit::TSpinEdit(QWidget* owner) : QSpinBox(owner) {
  setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
  setKeyboardTracking(true);
}

QValidator::State TSpinEdit::validate(QString& input, int& /*pos*/) const {
  // Signs and digits only, whatever their value: the limits are applied when
  // the text is read, not while it is typed.
  for (int i = 0; i < input.size(); ++i) {
    const QChar c = input.at(i);
    if (c.isDigit() && c.unicode() < 128) continue;
    if ((c == u'+' || c == u'-') && i == 0) continue;
    return QValidator::Invalid;
  }
  return QValidator::Acceptable;
}

int TSpinEdit::valueFromText(const QString& text) const {
  const std::string s = text.toStdString();
  const auto v = ParseInt64(s);
  if (!v) {
    // Digits beyond 64 bits are still a number: the nearest limit. Anything
    // else (empty, a lone sign) reads as the minimum.
    const bool digits = s.find_first_of("0123456789") != std::string::npos;
    return digits && s[0] != '-' ? maximum() : minimum();
  }
  return static_cast<int>(std::clamp<long long>(*v, minimum(), maximum()));
}

void TSpinEdit::fixup(QString& input) const {
  input = textFromValue(valueFromText(input));
}

}  // namespace quorvel

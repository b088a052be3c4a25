// Integer spin box of the setup dialog. Any whole number may be typed; when
// the operator leaves the box a value outside the limits comes back to the
// nearest limit, and a text that is not a whole number reads as the minimum.
#pragma once

#include <QSpinBox>

namespace quorvel {

class TSpinEdit : public QSpinBox {
  Q_OBJECT

 public:
  explicit TSpinEdit(QWidget* owner = nullptr);

 protected:
  QValidator::State validate(QString& input, int& pos) const override;
  int valueFromText(const QString& text) const override;
  void fixup(QString& input) const override;
};

}  // namespace quorvel

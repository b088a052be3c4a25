// Operator message boxes with Qt: error (error icon, OK), plain (no icon, OK)
// and the Yes/No question (no icon).
#pragma once

#include <QPointer>
#include <QWidget>

#include "common/EventLog.h"

namespace quorvel {

// Narrowest message box: room for the caption and a title bar's buttons.
constexpr int kMinBoxWidth = 320;

class TGuiMessageSink final : public IMessageSink {
 public:
  explicit TGuiMessageSink(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }
  void ShowError(const std::string& text) override;
  void ShowMessage(const std::string& text) override;
  bool AskYesNo(const std::string& text) override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace quorvel

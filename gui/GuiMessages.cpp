#include "GuiMessages.h"

#include <QApplication>
#include <QMessageBox>

namespace quorvel {

namespace {

QString Title() {
  return QStringLiteral("Quorvel");
}

}  // namespace

void TGuiMessageSink::ShowError(const std::string& text) {
  QMessageBox box(QMessageBox::Critical, Title(), QString::fromStdString(text), QMessageBox::Ok,
                  parent_);
  box.exec();
}

void TGuiMessageSink::ShowMessage(const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, Title(), QString::fromStdString(text), QMessageBox::Ok,
                  parent_);
  box.exec();
}

bool TGuiMessageSink::AskYesNo(const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, Title(), QString::fromStdString(text),
                  QMessageBox::Yes | QMessageBox::No, parent_);
  return box.exec() == QMessageBox::Yes;
}

}  // namespace quorvel

#include "GuiMessages.h"

#include <QApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

namespace quorvel {

namespace {

QString Title() {
  return QStringLiteral("Quorvel");
}

// A box as narrow as a short text ("Password error !") leaves its title bar
// no room: the window manager cuts the caption to "Q…el". A spacer across
// the box's grid keeps it at least kMinBoxWidth wide.
void Widen(QMessageBox& box) {
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
    grid->addItem(new QSpacerItem(kMinBoxWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

}  // namespace

void TGuiMessageSink::ShowError(const std::string& text) {
  QMessageBox box(QMessageBox::Critical, Title(), QString::fromStdString(text), QMessageBox::Ok,
                  parent_);
  Widen(box);
  box.exec();
}

void TGuiMessageSink::ShowMessage(const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, Title(), QString::fromStdString(text), QMessageBox::Ok,
                  parent_);
  Widen(box);
  box.exec();
}

bool TGuiMessageSink::AskYesNo(const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, Title(), QString::fromStdString(text),
                  QMessageBox::Yes | QMessageBox::No, parent_);
  Widen(box);
  return box.exec() == QMessageBox::Yes;
}

}  // namespace quorvel

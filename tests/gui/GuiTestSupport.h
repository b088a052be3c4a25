// Helpers of the window's tests.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <functional>

namespace quorvel::test {

// Runs `operate` on the modal dialog of type T once it is shown (from the
// event loop of its exec()), then closes it if it is still open.
template <typename T>
void WhenShown(std::function<void(T&)> operate) {
  QTimer::singleShot(0, [operate] {
    auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    operate(*dialog);
    if (dialog->isVisible()) dialog->reject();
  });
}

}  // namespace quorvel::test

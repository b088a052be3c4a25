// A close request from the window manager (the title bar's close box, Alt+F4,
// wmctrl -c) for the main window while a modal dialog is open. Qt drops such
// a request for a window that a modal dialog blocks, and nothing would close
// the program; closing must always be granted. On X11 this filter sees the
// request before Qt does and hands it to `onClose`.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>

namespace quorvel {

class TWindowManagerClose final : public QAbstractNativeEventFilter {
 public:
  // Watches `window`; `onClose` runs when the window manager asks it to close
  // while a modal window blocks it. Does nothing off X11.
  TWindowManagerClose(QWidget* window, std::function<void()> onClose);
  ~TWindowManagerClose() override;

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

  // Whether the filter could be installed (an X11 session).
  bool Active() const { return active_; }

 private:
  QPointer<QWidget> window_;
  std::function<void()> onClose_;
  std::uint32_t wmProtocols_ = 0;
  std::uint32_t wmDeleteWindow_ = 0;
  bool active_ = false;
};

}  // namespace quorvel

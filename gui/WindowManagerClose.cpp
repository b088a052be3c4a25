#include "WindowManagerClose.h"

#include <QApplication>
#include <QGuiApplication>
#include <cstdlib>
#include <cstring>

#ifdef QUORVEL_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace quorvel {

namespace {

#ifdef QUORVEL_HAVE_XCB
std::uint32_t Atom(xcb_connection_t* c, const char* name) {
  const xcb_intern_atom_cookie_t cookie =
      xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
  if (reply == nullptr) return 0;
  const std::uint32_t atom = reply->atom;
  std::free(reply);
  return atom;
}
#endif

}  // namespace

TWindowManagerClose::TWindowManagerClose(QWidget* window, std::function<void()> onClose)
    : window_(window), onClose_(std::move(onClose)) {
#ifdef QUORVEL_HAVE_XCB
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (x11 == nullptr || x11->connection() == nullptr) return;
  wmProtocols_ = Atom(x11->connection(), "WM_PROTOCOLS");
  wmDeleteWindow_ = Atom(x11->connection(), "WM_DELETE_WINDOW");
  if (wmProtocols_ == 0 || wmDeleteWindow_ == 0) return;
  qApp->installNativeEventFilter(this);
  active_ = true;
#endif
}

TWindowManagerClose::~TWindowManagerClose() {
  if (active_ && qApp) qApp->removeNativeEventFilter(this);
}

bool TWindowManagerClose::nativeEventFilter(const QByteArray& eventType, void* message,
                                            qintptr* /*result*/) {
#ifdef QUORVEL_HAVE_XCB
  if (eventType != "xcb_generic_event_t" || !window_) return false;
  const auto* event = static_cast<const xcb_generic_event_t*>(message);
  if ((event->response_type & 0x7F) != XCB_CLIENT_MESSAGE) return false;
  const auto* client = static_cast<const xcb_client_message_event_t*>(message);
  if (client->format != 32 || client->type != wmProtocols_ ||
      client->data.data32[0] != wmDeleteWindow_)
    return false;
  if (client->window != static_cast<xcb_window_t>(window_->internalWinId())) return false;
  // Not blocked: Qt delivers the close event itself.
  if (QApplication::activeModalWidget() == nullptr) return false;
  onClose_();
  return true;
#else
  (void)eventType;
  (void)message;
  return false;
#endif
}

}  // namespace quorvel

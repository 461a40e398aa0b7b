#include "platform/window_activation_qt.h"

#include <QGuiApplication>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

#if QT_CONFIG(xcb)
#include <xcb/xcb.h>
#endif

#include <cstdlib>
#include <cstring>

namespace kv::platform {

namespace {

#if QT_CONFIG(xcb)
xcb_atom_t atom(xcb_connection_t* connection, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, std::uint16_t(std::strlen(name)), name),
        nullptr);
    const xcb_atom_t found = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return found;
}

// The window takes the launch's id first (the window manager reads the launch time
// from it to allow the activation), and the "remove" message then ends the launch:
// 20 bytes per client message to the root window, the first as _NET_STARTUP_INFO_BEGIN.
void activateOnX11(QWidget& window, xcb_connection_t* connection, const std::string& startupId) {
    const auto id = xcb_window_t(window.winId());
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, atom(connection, "_NET_STARTUP_ID"),
                        atom(connection, "UTF8_STRING"), 8, std::uint32_t(startupId.size()),
                        startupId.data());
    window.activateWindow();

    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const xcb_atom_t begin = atom(connection, "_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = atom(connection, "_NET_STARTUP_INFO");
    const std::string message = startupRemoveMessage(startupId);
    for (std::size_t sent = 0; sent < message.size(); sent += 20) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 8;
        event.window = id;
        event.type = sent == 0 ? begin : more;
        message.copy(reinterpret_cast<char*>(event.data.data8), 20, sent);
        xcb_send_event(connection, 0, root, XCB_EVENT_MASK_PROPERTY_CHANGE,
                       reinterpret_cast<const char*>(&event));
    }
    xcb_flush(connection);
}
#endif

} // namespace

void activateForLaunch(QWidget& window, const LaunchTokens& launch) {
#if QT_CONFIG(xcb)
    if (!launch.startupId.empty()) {
        if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
            activateOnX11(window, x11->connection(), launch.startupId);
            return;
        }
    }
#endif
    // Qt's Wayland activation takes the token from the environment. Taken out again
    // afterwards: it is good for one activation, and programs started from here
    // must not inherit it.
    const bool wayland = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    if (wayland && !launch.activationToken.empty())
        qputenv("XDG_ACTIVATION_TOKEN", QByteArray::fromStdString(launch.activationToken));
    window.activateWindow();
    if (wayland)
        qunsetenv("XDG_ACTIVATION_TOKEN");
}

} // namespace kv::platform

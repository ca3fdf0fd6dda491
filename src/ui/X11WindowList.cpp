#include "ui/X11WindowList.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>
#include <xcb/xcb.h>

namespace corvane {
namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

struct Connection {
    explicit Connection(const char* displayName) : c(xcb_connect(displayName, nullptr)) {}
    ~Connection() { xcb_disconnect(c); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    xcb_connection_t* c;
};

struct Atoms {
    xcb_atom_t netWmName = XCB_ATOM_NONE;
    xcb_atom_t wmState = XCB_ATOM_NONE;
    xcb_atom_t netClientList = XCB_ATOM_NONE;
    xcb_atom_t netSupportingWmCheck = XCB_ATOM_NONE;
};

// Atoms nobody has created yet stay XCB_ATOM_NONE: then no window carries them.
Atoms InternAtoms(xcb_connection_t* c) {
    const char* names[] = {"_NET_WM_NAME", "WM_STATE", "_NET_CLIENT_LIST",
                           "_NET_SUPPORTING_WM_CHECK"};
    xcb_intern_atom_cookie_t cookies[4];
    for (int i = 0; i < 4; ++i) {
        cookies[i] =
            xcb_intern_atom(c, 1, static_cast<std::uint16_t>(std::strlen(names[i])), names[i]);
    }
    xcb_atom_t atoms[4];
    for (int i = 0; i < 4; ++i) {
        Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c, cookies[i], nullptr));
        atoms[i] = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    }
    return {atoms[0], atoms[1], atoms[2], atoms[3]};
}

xcb_get_property_cookie_t RequestProperty(xcb_connection_t* c, xcb_window_t window,
                                          xcb_atom_t property, std::uint32_t longLength) {
    return xcb_get_property(c, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, longLength);
}

// The reply, or nothing when the window has gone or the server failed.
Reply<xcb_get_property_reply_t> TakeProperty(xcb_connection_t* c,
                                             xcb_get_property_cookie_t cookie) {
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, cookie, &error));
    std::free(error);
    return reply;
}

std::optional<std::vector<xcb_window_t>>
WindowListProperty(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property) {
    if (property == XCB_ATOM_NONE) {
        return std::nullopt;
    }
    const auto reply = TakeProperty(c, RequestProperty(c, window, property, 1u << 16));
    if (!reply || reply->type != XCB_ATOM_WINDOW || reply->format != 32) {
        return std::nullopt;
    }
    const auto* first = static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
    return std::vector<xcb_window_t>(first, first + xcb_get_property_value_length(reply.get()) / 4);
}

bool HasProperty(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property) {
    if (property == XCB_ATOM_NONE) {
        return false;
    }
    const auto reply = TakeProperty(c, RequestProperty(c, window, property, 0));
    return reply && reply->type != XCB_ATOM_NONE;
}

std::vector<xcb_window_t> Children(xcb_connection_t* c, xcb_window_t window) {
    Reply<xcb_query_tree_reply_t> reply(
        xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
    if (!reply) {
        return {};
    }
    const xcb_window_t* first = xcb_query_tree_children(reply.get());
    return std::vector<xcb_window_t>(first, first + xcb_query_tree_children_length(reply.get()));
}

// A client list on the root counts only while the manager that published it
// runs: its check window must still point at itself.
bool ManagerIsRunning(xcb_connection_t* c, xcb_window_t root, const Atoms& atoms) {
    const auto onRoot = WindowListProperty(c, root, atoms.netSupportingWmCheck);
    if (!onRoot || onRoot->size() != 1) {
        return false;
    }
    const auto onCheckWindow = WindowListProperty(c, onRoot->front(), atoms.netSupportingWmCheck);
    return onCheckWindow && *onCheckWindow == *onRoot;
}

// Below a frame of a reparenting manager, the client windows are those that
// carry WM_STATE (set by the manager on every client it manages).
void AppendClientsBelow(xcb_connection_t* c, xcb_window_t window, const Atoms& atoms,
                        std::vector<xcb_window_t>& clients) {
    for (xcb_window_t child : Children(c, window)) {
        if (HasProperty(c, child, atoms.wmState)) {
            clients.push_back(child);
        } else {
            AppendClientsBelow(c, child, atoms, clients);
        }
    }
}

std::vector<xcb_window_t> TopLevelWindows(xcb_connection_t* c, xcb_window_t root,
                                          const Atoms& atoms) {
    if (ManagerIsRunning(c, root, atoms)) {
        if (auto clients = WindowListProperty(c, root, atoms.netClientList)) {
            return *clients;
        }
    }
    std::vector<xcb_window_t> windows;
    for (xcb_window_t top : Children(c, root)) {
        windows.push_back(top);
        if (!HasProperty(c, top, atoms.wmState)) {
            AppendClientsBelow(c, top, atoms, windows);
        }
    }
    return windows;
}

bool IsExactly(const xcb_get_property_reply_t* reply, std::string_view title) {
    if (reply == nullptr || reply->type == XCB_ATOM_NONE || reply->format != 8 ||
        reply->bytes_after != 0) {
        return false;
    }
    const auto length = static_cast<std::size_t>(xcb_get_property_value_length(reply));
    return length == title.size() &&
           std::memcmp(xcb_get_property_value(reply), title.data(), length) == 0;
}

bool AnyTitled(xcb_connection_t* c, const std::vector<xcb_window_t>& windows, const Atoms& atoms,
               std::string_view title) {
    // One 32-bit unit more than the title needs, so that a longer name shows
    // itself by bytes_after.
    const auto longLength = static_cast<std::uint32_t>(title.size() / 4 + 1);
    std::vector<xcb_get_property_cookie_t> cookies;
    for (xcb_window_t window : windows) {
        cookies.push_back(RequestProperty(c, window, XCB_ATOM_WM_NAME, longLength));
        if (atoms.netWmName != XCB_ATOM_NONE) {
            cookies.push_back(RequestProperty(c, window, atoms.netWmName, longLength));
        }
    }
    bool found = false;
    for (const auto& cookie : cookies) {
        found = IsExactly(TakeProperty(c, cookie).get(), title) || found;
    }
    return found;
}

} // namespace

bool X11HasWindowTitled(const char* displayName, std::string_view title) {
    const Connection connection(displayName);
    xcb_connection_t* c = connection.c;
    if (xcb_connection_has_error(c) != 0) {
        return false;
    }
    const Atoms atoms = InternAtoms(c);
    for (auto screens = xcb_setup_roots_iterator(xcb_get_setup(c)); screens.rem != 0;
         xcb_screen_next(&screens)) {
        const xcb_window_t root = screens.data->root;
        if (AnyTitled(c, TopLevelWindows(c, root, atoms), atoms, title)) {
            return true;
        }
    }
    return false;
}

} // namespace corvane

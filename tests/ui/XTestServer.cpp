#include "XTestServer.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace corvane::test {
namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

Reply<xcb_get_property_reply_t> GetProperty(xcb_connection_t* c, xcb_window_t window,
                                            xcb_atom_t property) {
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1u << 16),
        &error));
    std::free(error);
    return reply;
}

// Reads the display number that Xvfb -displayfd writes once it is ready.
std::string ReadDisplayNumber(int fd) {
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (text.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd ready{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
            throw std::runtime_error("Xvfb did not report its display");
        }
        char buffer[32];
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count <= 0) {
            throw std::runtime_error("Xvfb ended without a display");
        }
        text.append(buffer, static_cast<std::size_t>(count));
    }
    return text.substr(0, text.find('\n'));
}

} // namespace

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(10ms); // the pace of checking, not a synchronisation
    }
    return true;
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const Environment& environment,
                           int inheritedFd) {
    // Everything the child needs is prepared before fork: between fork and
    // exec only async-signal-safe calls are allowed.
    std::vector<std::string> envText;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        bool overridden = false;
        for (const auto& [name, value] : environment) {
            overridden = overridden || text.rfind(name + "=", 0) == 0;
        }
        if (!overridden) {
            envText.push_back(text);
        }
    }
    for (const auto& [name, value] : environment) {
        envText.push_back(name + "=" + value);
    }
    std::vector<char*> envp;
    for (std::string& text : envText) {
        envp.push_back(text.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (std::string& arg : args) {
        argp.push_back(arg.data());
    }
    argp.push_back(nullptr);

    pid_ = ::fork();
    if (pid_ < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid_ == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM); // never outlive a test that crashed
        for (int fd = 3; fd < 1024; ++fd) {
            if (fd != inheritedFd) {
                ::close(fd);
            }
        }
        ::execvpe(argp[0], argp.data(), envp.data());
        ::_exit(127);
    }
}

ChildProcess::~ChildProcess() {
    if (IsRunning()) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
}

bool ChildProcess::IsRunning() {
    if (waitStatus_) {
        return false;
    }
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        waitStatus_ = status;
        return false;
    }
    return true;
}

std::optional<int> ChildProcess::ExitStatus() {
    if (IsRunning() || !WIFEXITED(*waitStatus_)) {
        return std::nullopt;
    }
    return WEXITSTATUS(*waitStatus_);
}

XTestServer::XTestServer() {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        throw std::runtime_error("pipe failed");
    }
    xvfb_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(pipeFds[1]), "-nolisten",
                                 "tcp", "-screen", "0", "1024x768x24"},
        ChildProcess::Environment{}, pipeFds[1]);
    ::close(pipeFds[1]);
    try {
        display_ = ":" + ReadDisplayNumber(pipeFds[0]);
    } catch (...) {
        ::close(pipeFds[0]);
        throw;
    }
    ::close(pipeFds[0]);
    int screen = 0;
    c_ = xcb_connect(display_.c_str(), &screen);
    if (xcb_connection_has_error(c_) != 0) {
        xcb_disconnect(c_);
        throw std::runtime_error("cannot connect to " + display_);
    }
    root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
}

XTestServer::~XTestServer() {
    windowManager_.reset();
    xcb_disconnect(c_);
}

void XTestServer::StartWindowManager() {
    windowManager_ =
        std::make_unique<ChildProcess>(std::vector<std::string>{"openbox", "--sm-disable"},
                                       ChildProcess::Environment{{"DISPLAY", display_}});
    // openbox announces itself before it has finished starting, and a map
    // request that comes in that time is lost: it is ready once it frames a
    // probe window, which is asked to map again until it does.
    const xcb_window_t probe = CreateWindow(std::nullopt, std::nullopt);
    const bool ready = WaitUntil([&] {
        if (Parent(probe) != root_ && IsViewable(probe)) {
            return true;
        }
        Map(probe);
        return false;
    });
    Destroy(probe);
    if (!ready) {
        throw std::runtime_error("openbox did not start");
    }
}

xcb_atom_t XTestServer::Atom(const std::string& name) const {
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        c_, xcb_intern_atom(c_, 0, static_cast<std::uint16_t>(name.size()), name.c_str()),
        nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

void XTestServer::Sync() const {
    std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
}

xcb_window_t XTestServer::CreateWindow(const std::optional<std::string>& wmName,
                                       const std::optional<std::string>& netWmName,
                                       std::optional<xcb_window_t> parent) const {
    const xcb_window_t window = xcb_generate_id(c_);
    xcb_create_window(c_, XCB_COPY_FROM_PARENT, window, parent.value_or(root_), 10, 10, 200, 100, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    if (wmName) {
        SetProperty(window, "WM_NAME", "STRING", 8, wmName->data(),
                    static_cast<std::uint32_t>(wmName->size()));
    }
    if (netWmName) {
        SetProperty(window, "_NET_WM_NAME", "UTF8_STRING", 8, netWmName->data(),
                    static_cast<std::uint32_t>(netWmName->size()));
    }
    Sync();
    return window;
}

void XTestServer::SetProperty(xcb_window_t window, const std::string& name, const std::string& type,
                              std::uint8_t format, const void* data, std::uint32_t count) const {
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window, Atom(name), Atom(type), format, count,
                        data);
    Sync();
}

void XTestServer::Map(xcb_window_t window) const {
    xcb_map_window(c_, window);
    Sync();
}

void XTestServer::Destroy(xcb_window_t window) const {
    xcb_destroy_window(c_, window);
    Sync();
}

xcb_window_t XTestServer::Parent(xcb_window_t window) const {
    Reply<xcb_query_tree_reply_t> reply(
        xcb_query_tree_reply(c_, xcb_query_tree(c_, window), nullptr));
    return reply ? reply->parent : xcb_window_t{XCB_WINDOW_NONE};
}

std::vector<xcb_window_t> XTestServer::ClientList() const {
    return List32(root_, "_NET_CLIENT_LIST");
}

std::vector<xcb_window_t> XTestServer::AllWindows() const {
    std::vector<xcb_window_t> windows;
    std::vector<xcb_window_t> pending{root_};
    while (!pending.empty()) {
        const xcb_window_t window = pending.back();
        pending.pop_back();
        Reply<xcb_query_tree_reply_t> reply(
            xcb_query_tree_reply(c_, xcb_query_tree(c_, window), nullptr));
        if (!reply) {
            continue;
        }
        const xcb_window_t* children = xcb_query_tree_children(reply.get());
        for (int i = 0; i < xcb_query_tree_children_length(reply.get()); ++i) {
            windows.push_back(children[i]);
            pending.push_back(children[i]);
        }
    }
    return windows;
}

std::optional<std::uint32_t> XTestServer::Cardinal(xcb_window_t window,
                                                   const std::string& name) const {
    const std::vector<std::uint32_t> values = List32(window, name);
    if (values.size() != 1) {
        return std::nullopt;
    }
    return values.front();
}

std::vector<std::uint32_t> XTestServer::List32(xcb_window_t window, const std::string& name) const {
    const auto reply = GetProperty(c_, window, Atom(name));
    if (!reply || reply->format != 32) {
        return {};
    }
    const auto* first = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return {first, first + xcb_get_property_value_length(reply.get()) / 4};
}

std::string XTestServer::Text(xcb_window_t window, const std::string& name) const {
    const auto reply = GetProperty(c_, window, Atom(name));
    if (!reply || reply->format != 8) {
        return {};
    }
    return {static_cast<const char*>(xcb_get_property_value(reply.get())),
            static_cast<std::size_t>(xcb_get_property_value_length(reply.get()))};
}

bool XTestServer::IsViewable(xcb_window_t window) const {
    Reply<xcb_get_window_attributes_reply_t> reply(
        xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, window), nullptr));
    return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
}

void XTestServer::SendDeleteWindow(xcb_window_t window) const {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = Atom("WM_PROTOCOLS");
    event.data.data32[0] = Atom("WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(c_, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    Sync();
}

} // namespace corvane::test

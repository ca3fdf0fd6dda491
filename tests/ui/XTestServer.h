#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>
#include <xcb/xcb.h>

namespace corvane::test {

using namespace std::chrono_literals;

// Checks condition again and again until it holds or the deadline passes.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline = 20s);

// A program running in a child process, with some environment variables
// set for it. Ended with SIGTERM when the object goes, if it still runs.
class ChildProcess {
public:
    using Environment = std::vector<std::pair<std::string, std::string>>;
    ChildProcess(const std::vector<std::string>& argv, const Environment& environment,
                 int inheritedFd = -1);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    bool IsRunning();
    // The exit status once the process has exited normally.
    std::optional<int> ExitStatus();

private:
    pid_t pid_;
    std::optional<int> waitStatus_;
};

// A private Xvfb on a free display number, so that what a test does on it
// (a window manager, windows) disturbs no other test. The test talks to it
// through a connection of its own.
class XTestServer {
public:
    XTestServer();
    ~XTestServer();
    XTestServer(const XTestServer&) = delete;
    XTestServer& operator=(const XTestServer&) = delete;

    const std::string& display() const { return display_; }
    xcb_connection_t* connection() const { return c_; }
    xcb_window_t root() const { return root_; }

    // Starts openbox and returns once it manages the screen.
    void StartWindowManager();

    xcb_atom_t Atom(const std::string& name) const;
    // Round trip: everything sent so far has been handled by the server.
    void Sync() const;

    // A window with the given names set (a missing one is left unset).
    xcb_window_t CreateWindow(const std::optional<std::string>& wmName,
                              const std::optional<std::string>& netWmName,
                              std::optional<xcb_window_t> parent = std::nullopt) const;
    void SetProperty(xcb_window_t window, const std::string& name, const std::string& type,
                     std::uint8_t format, const void* data, std::uint32_t count) const;
    void Map(xcb_window_t window) const;
    void Destroy(xcb_window_t window) const;

    xcb_window_t Parent(xcb_window_t window) const;
    std::vector<xcb_window_t> ClientList() const;
    // Every window below the root, at any depth.
    std::vector<xcb_window_t> AllWindows() const;
    std::optional<std::uint32_t> Cardinal(xcb_window_t window, const std::string& name) const;
    std::vector<std::uint32_t> List32(xcb_window_t window, const std::string& name) const;
    std::string Text(xcb_window_t window, const std::string& name) const;
    bool IsViewable(xcb_window_t window) const;
    // Asks the window's client to close it, as a window manager's close box does.
    void SendDeleteWindow(xcb_window_t window) const;

private:
    std::unique_ptr<ChildProcess> xvfb_;
    std::unique_ptr<ChildProcess> windowManager_;
    std::string display_;
    xcb_connection_t* c_ = nullptr;
    xcb_window_t root_ = 0;
};

} // namespace corvane::test

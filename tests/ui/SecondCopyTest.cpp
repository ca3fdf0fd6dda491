#include "XTestServer.h"
#include "support/TestFiles.h"
#include "ui/StartupGuard.h"
#include "ui/TitleEndpoint.h"
#include "ui/X11WindowList.h"

#include <QFile>
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

namespace corvane::test {
namespace {

const std::string kRunningTitle = "[_ Corvane 2000 _| ";

struct CopiesSetup {
    const char* name;
    bool windowManager;
    // The platform of the first copy; the second always runs on the X server.
    const char* firstPlatform;
};

void PrintTo(const CopiesSetup& setup, std::ostream* out) {
    *out << setup.name;
}

// The mapped windows that a process has put on the server.
std::vector<xcb_window_t> ViewableWindowsOf(const XTestServer& server, pid_t pid) {
    std::vector<xcb_window_t> windows;
    for (xcb_window_t window : server.AllWindows()) {
        if (server.Cardinal(window, "_NET_WM_PID") == static_cast<std::uint32_t>(pid) &&
            server.IsViewable(window)) {
            windows.push_back(window);
        }
    }
    return windows;
}

class SecondCopy : public ::testing::TestWithParam<CopiesSetup> {};

TEST_P(SecondCopy, IsRefusedWhileTheFirstRunsOn) {
    const CopiesSetup& setup = GetParam();
    XTestServer server;
    if (setup.windowManager) {
        server.StartWindowManager();
    }
    TempDir runtimeDir;
    std::filesystem::permissions(runtimeDir.path(), std::filesystem::perms::owner_all);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir.path().c_str()));
    const auto environment = [&](const char* platform) {
        return ChildProcess::Environment{{"DISPLAY", server.display()},
                                         {"XDG_RUNTIME_DIR", runtimeDir.path().string()},
                                         {"QT_QPA_PLATFORM", platform}};
    };
    const bool firstOnX = std::string(setup.firstPlatform) == "xcb";
    const auto firstIsThere = [&] {
        return firstOnX ? X11HasWindowTitled(server.display().c_str(), kRunningTitle)
                        : TitleEndpointAnswers(QString::fromStdString(kRunningTitle));
    };

    ChildProcess first({CORVANE_PROGRAM}, environment(setup.firstPlatform));
    ASSERT_TRUE(WaitUntil(firstIsThere)) << "the first copy did not come up";

    ChildProcess second({CORVANE_PROGRAM}, environment("xcb"));
    std::vector<xcb_window_t> shown;
    ASSERT_TRUE(WaitUntil([&] {
        shown = ViewableWindowsOf(server, second.pid());
        return !shown.empty() || !second.IsRunning();
    }));
    ASSERT_EQ(shown.size(), 1u) << "the second copy shows more or less than its refusal";
    const xcb_window_t refusal = shown.front();
    EXPECT_EQ(server.Text(refusal, "_NET_WM_NAME"), "[_ Corvane 2000 _|");
    const auto types = server.List32(refusal, "_NET_WM_WINDOW_TYPE");
    EXPECT_NE(std::find(types.begin(), types.end(), server.Atom("_NET_WM_WINDOW_TYPE_DIALOG")),
              types.end())
        << "the refusal is not a message box";

    server.SendDeleteWindow(refusal);
    ASSERT_TRUE(WaitUntil([&] { return !second.IsRunning(); }))
        << "the second copy runs on after its refusal was answered";
    EXPECT_EQ(second.ExitStatus(), RefusedExitStatus);

    EXPECT_TRUE(first.IsRunning());
    EXPECT_TRUE(firstIsThere()) << "the first copy lost its running title";
}

INSTANTIATE_TEST_SUITE_P(, SecondCopy,
                         ::testing::Values(CopiesSetup{"BareXServer", false, "xcb"},
                                           CopiesSetup{"WithWindowManager", true, "xcb"},
                                           CopiesSetup{"FirstCopyOffscreen", false, "offscreen"}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace corvane::test

#include "XTestServer.h"
#include "ui/FindWindow.h"
#include "ui/X11WindowList.h"

#include <QByteArray>
#include <algorithm>
#include <gtest/gtest.h>

namespace corvane::test {
namespace {

const std::string kRunningTitle = "[_ Corvane 2000 _| ";
const std::string kDesignedTitle = "[_ Corvane 2000 _|";

struct TitleCase {
    const char* what;
    std::optional<std::string> wmName;
    std::optional<std::string> netWmName;
    bool found;
};

const TitleCase kTitleCases[] = {
    {"both names exact", kRunningTitle, kRunningTitle, true},
    {"WM_NAME only", kRunningTitle, std::nullopt, true},
    {"_NET_WM_NAME only", std::nullopt, kRunningTitle, true},
    {"designed title without the blank", kDesignedTitle, kDesignedTitle, false},
    {"title with a second blank", kRunningTitle + " ", kRunningTitle + " ", false},
    {"title that only starts the same", kRunningTitle + "- Notes", kRunningTitle + "- Notes",
     false},
    {"no name", std::nullopt, std::nullopt, false},
};

bool Found(const XTestServer& server) {
    return X11HasWindowTitled(server.display().c_str(), kRunningTitle);
}

TEST(X11Lookup, FindsOnlyTheExactTitleWithoutAWindowManager) {
    XTestServer server;
    for (const TitleCase& c : kTitleCases) {
        SCOPED_TRACE(c.what);
        const xcb_window_t window = server.CreateWindow(c.wmName, c.netWmName);
        EXPECT_EQ(Found(server), c.found);
        server.Destroy(window);
        EXPECT_FALSE(Found(server)) << "a window that has gone is still found";
    }
}

TEST(X11Lookup, FindsOnlyTheExactTitleOfWindowsAReparentingManagerHolds) {
    XTestServer server;
    server.StartWindowManager();
    for (const TitleCase& c : kTitleCases) {
        SCOPED_TRACE(c.what);
        const xcb_window_t window = server.CreateWindow(c.wmName, c.netWmName);
        server.Map(window);
        ASSERT_TRUE(WaitUntil([&] {
            const auto clients = server.ClientList();
            return server.Parent(window) != server.root() &&
                   std::find(clients.begin(), clients.end(), window) != clients.end();
        })) << "openbox did not frame the window";
        EXPECT_EQ(Found(server), c.found);
        server.Destroy(window);
    }
}

// A manager that publishes no client list: the clients, marked by WM_STATE,
// sit inside frames; other windows inside a client are not top-level.
TEST(X11Lookup, WalksIntoFramesWhenNoClientListIsPublished) {
    XTestServer server;
    const std::uint32_t normalState[] = {1, XCB_WINDOW_NONE};

    const xcb_window_t frame = server.CreateWindow(std::nullopt, std::nullopt);
    const xcb_window_t client = server.CreateWindow(std::nullopt, std::nullopt, frame);
    server.SetProperty(client, "WM_STATE", "WM_STATE", 32, normalState, 2);
    const xcb_window_t inner = server.CreateWindow(kRunningTitle, kRunningTitle, client);
    EXPECT_FALSE(Found(server)) << "a window inside a client counts as top-level";

    server.SetProperty(client, "_NET_WM_NAME", "UTF8_STRING", 8, kRunningTitle.data(),
                       static_cast<std::uint32_t>(kRunningTitle.size()));
    EXPECT_TRUE(Found(server)) << "the client inside a frame is not found";
    server.Destroy(inner);
    server.Destroy(frame);

    // A client list left on the root by a manager that has ended lists none
    // of the windows made since.
    const xcb_window_t staleList[] = {frame};
    server.SetProperty(server.root(), "_NET_CLIENT_LIST", "WINDOW", 32, staleList, 1);
    server.CreateWindow(kRunningTitle, kRunningTitle);
    EXPECT_TRUE(Found(server)) << "a stale client list hides the window";
}

TEST(X11Lookup, AnUnreachableServerHasNoWindows) {
    XTestServer server;
    server.CreateWindow(kRunningTitle, kRunningTitle);
    EXPECT_FALSE(X11HasWindowTitled("/nonexistent/socket:0", kRunningTitle));

    // The system's lookup: the server of DISPLAY when there is one, and
    // nothing (no crash) when DISPLAY is unset or names no server.
    qputenv("XDG_RUNTIME_DIR", QByteArray("/nonexistent"));
    qputenv("DISPLAY", QByteArray::fromStdString(server.display()));
    EXPECT_TRUE(FindWindowA(nullptr, kRunningTitle.c_str()));
    EXPECT_FALSE(FindWindowA(nullptr, kDesignedTitle.c_str()));
    qunsetenv("DISPLAY");
    EXPECT_FALSE(FindWindowA(nullptr, kRunningTitle.c_str()));
    qputenv("DISPLAY", QByteArray("/nonexistent/socket:0"));
    EXPECT_FALSE(FindWindowA(nullptr, kRunningTitle.c_str()));
}

} // namespace
} // namespace corvane::test

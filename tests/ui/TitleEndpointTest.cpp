#include "ui/TitleEndpoint.h"

#include "support/TestFiles.h"
#include "ui/FindWindow.h"

#include <QFile>
#include <QLocalServer>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace corvane::test {
namespace {

const QString kRunningTitle = QStringLiteral("[_ Corvane 2000 _| ");

// Endpoints of this test go to a runtime folder of its own.
class TitleEndpointTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::permissions(runtimeDir_.path(), std::filesystem::perms::owner_all);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir_.path().c_str()));
        qunsetenv("DISPLAY");
    }
    TempDir runtimeDir_;
};

// Leaves a socket file that nobody listens on, as a crashed copy does.
void LeaveStaleSocket(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(path).constData(),
                 sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
}

TEST_F(TitleEndpointTest, AnswersForItsExactTitleWhileItsHolderLives) {
    auto endpoint = HoldTitleEndpoint(kRunningTitle);
    ASSERT_TRUE(endpoint);
    EXPECT_TRUE(TitleEndpointAnswers(kRunningTitle));
    EXPECT_TRUE(FindWindowA(nullptr, kRunningTitle.toUtf8().constData()));
    EXPECT_FALSE(FindWindowA(nullptr, "[_ Corvane 2000 _|"));
    EXPECT_FALSE(FindWindowA(nullptr, "[_ Corvane 2000 _|  "));

    endpoint.reset();
    EXPECT_FALSE(TitleEndpointAnswers(kRunningTitle));
    EXPECT_FALSE(QFile::exists(TitleEndpointPath(kRunningTitle)));
}

TEST_F(TitleEndpointTest, TakesOverAStaleSocketFileButNeverALiveEndpoint) {
    const QString path = TitleEndpointPath(kRunningTitle);
    LeaveStaleSocket(path);
    EXPECT_FALSE(TitleEndpointAnswers(kRunningTitle));

    auto first = HoldTitleEndpoint(kRunningTitle);
    ASSERT_TRUE(first) << "a stale socket file blocks the endpoint";
    EXPECT_TRUE(TitleEndpointAnswers(kRunningTitle));

    EXPECT_FALSE(HoldTitleEndpoint(kRunningTitle)) << "a second holder for a live endpoint";
    EXPECT_TRUE(TitleEndpointAnswers(kRunningTitle)) << "the live endpoint was taken away";
}

TEST_F(TitleEndpointTest, LeavesAFileThatIsNoSocketAlone) {
    const QString path = TitleEndpointPath(kRunningTitle);
    WriteFileBytes(QFile::encodeName(path).toStdString(), "not a socket");
    EXPECT_FALSE(HoldTitleEndpoint(kRunningTitle));
    EXPECT_FALSE(TitleEndpointAnswers(kRunningTitle));
    EXPECT_EQ(ReadFileBytes(QFile::encodeName(path).toStdString()), "not a socket");
}

TEST_F(TitleEndpointTest, OnlyItsUserCanReachIt) {
    // Without a runtime folder the endpoint lies in the shared temporary
    // folder, so its name and its access bits must keep it per user.
    // A title of this test alone, as other test runs may share the folder.
    qunsetenv("XDG_RUNTIME_DIR");
    const QString title = kRunningTitle + QString::number(::getpid());
    const QString path = TitleEndpointPath(title);
    EXPECT_TRUE(path.contains(QString::number(::getuid())));
    auto endpoint = HoldTitleEndpoint(title);
    ASSERT_TRUE(endpoint);

    struct stat status {};
    ASSERT_EQ(::lstat(QFile::encodeName(path).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & (S_IRWXG | S_IRWXO), 0u);

    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to try the endpoint as another user";
    }
    const std::string encodedPath = QFile::encodeName(path).toStdString();
    const std::string outcome = RunWithoutRootRights([&]() -> std::string {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, encodedPath.c_str(), sizeof address.sun_path - 1);
        const bool connected =
            ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        return connected ? "connected" : "refused";
    });
    EXPECT_EQ(outcome, "refused");
}

} // namespace
} // namespace corvane::test

#include "helpers/Process.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

using loftwing::test::Process;
using namespace std::chrono_literals;

std::string probe() {
    return std::string(std::getenv("ZEVIRUDI_BUILD_DIR")) + "/bin/single_instance_probe";
}

struct SocketFolder {
    SocketFolder() {
        char pattern[] = "/tmp/zevirudi-single.XXXXXX";
        folder = ::mkdtemp(pattern);
        socket = (folder / "desktop").string();
    }
    ~SocketFolder() { std::filesystem::remove_all(folder); }
    std::filesystem::path folder;
    std::string socket;
};

// A listening socket at `path`; closing it leaves the file behind, as a crashed instance does.
int listenAt(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(fd, 1), 0);
    return fd;
}

bool hasPendingConnection(int fd) {
    pollfd waiting{fd, POLLIN, 0};
    return ::poll(&waiting, 1, 0) > 0;
}

TEST(SingleInstanceTest, TheSecondProcessHandsItsURLsToTheFirst) {
    SocketFolder place;
    Process first({probe(), place.socket}, {.environment = {{"QT_QPA_PLATFORM", "offscreen"}}});
    ASSERT_EQ(first.readLine(10s), "primary");
    struct stat status {};
    ASSERT_EQ(::stat(place.socket.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0077u, 0u) << "only the user may open the socket";

    const struct {
        const char* name;
        std::vector<std::string> urls;
        std::string received;
    } cases[] = {
        {"one redirect URL",
         {"com.loftwing.multi:/oauth2redirect?code=c&state=s"},
         "com.loftwing.multi:/oauth2redirect?code=c&state=s"},
        {"two URLs", {"x-a:/1", "x-b:/2"}, "x-a:/1 x-b:/2"},
        {"no URL raises the window", {}, "raise"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> argv{probe(), place.socket};
        argv.insert(argv.end(), row.urls.begin(), row.urls.end());
        Process second(argv, {.environment = {{"QT_QPA_PLATFORM", "offscreen"}}});
        EXPECT_EQ(second.readLine(10s), "forwarded");
        EXPECT_EQ(second.wait(10s), 0);
        EXPECT_EQ(first.readLine(10s), row.received);
    }
}

TEST(SingleInstanceTest, AStaleOrForeignSocketIsReplaced) {
    const struct {
        const char* name;
        bool foreign;
    } cases[] = {{"left by a crashed instance", false},
                 {"listening, but owned by another user", true}};
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        SocketFolder place;
        const int listener = listenAt(place.socket);
        if (!row.foreign) {
            ::close(listener);
        } else if (::chown(place.socket.c_str(), 65534, 65534) != 0) {
            ::close(listener);
            GTEST_SKIP() << "changing the owner needs root";
        }
        Process first({probe(), place.socket}, {.environment = {{"QT_QPA_PLATFORM", "offscreen"}}});
        ASSERT_EQ(first.readLine(10s), "primary");
        Process second({probe(), place.socket, "x-a:/1"},
                       {.environment = {{"QT_QPA_PLATFORM", "offscreen"}}});
        EXPECT_EQ(second.readLine(10s), "forwarded");
        EXPECT_EQ(first.readLine(10s), "x-a:/1");
        if (row.foreign) {
            EXPECT_FALSE(hasPendingConnection(listener))
                << "nothing was sent to the foreign socket";
            ::close(listener);
        }
    }
}

}  // namespace

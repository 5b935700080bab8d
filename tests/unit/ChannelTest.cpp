// The user's own sockets: where they are, who may make them, and what is
// found at their path when a program starts.
#include "platform/LocalSocket.h"
#include "protocol/Channel.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

class ChannelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/tessel-channel-XXXXXX";
        folder = ::mkdtemp(pattern);
        ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
        ::unsetenv("TESSEL_LOOPBACK_TCP");
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    std::string folder;
};

} // namespace

TEST_F(ChannelTest, TheSocketsLieInAFolderOnlyTheUserMayEnter)
{
    EXPECT_EQ(protocol::viewerChannel().path, folder + "/tessel/viewer.sock");
    EXPECT_EQ(protocol::driverChannel().path, folder + "/tessel/driver.sock");
    // A folder that someone made open to all is closed before it is used.
    ::mkdir((folder + "/tessel").c_str(), 0777);
    ::chmod((folder + "/tessel").c_str(), 0777);
    std::string error;
    const auto listener = protocol::channel::listen(protocol::viewerChannel(), 5, error);
    ASSERT_NE(listener, protocol::channel::InvalidSocket) << error;
    struct stat info {};
    ASSERT_EQ(::stat((folder + "/tessel").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    protocol::channel::closeListener(listener, protocol::viewerChannel());
    EXPECT_FALSE(std::filesystem::exists(protocol::viewerChannel().path)) << "the socket file goes with its listener";

    // On request, and always on Windows: the fixed loopback ports.
    ::setenv("TESSEL_LOOPBACK_TCP", "1", 1);
    EXPECT_FALSE(protocol::viewerChannel().isLocal());
    EXPECT_EQ(protocol::viewerChannel().port, 1933);
    EXPECT_EQ(protocol::driverChannel().port, 800);
}

TEST_F(ChannelTest, AFileLeftByACrashIsReplacedAndALiveListenerIsLeftAlone)
{
    const protocol::ChannelAddress address = protocol::driverChannel();
    std::string error;
    // A crashed copy: its socket file stays, nobody answers there.
    const auto crashed = protocol::channel::listen(address, 5, error);
    ASSERT_NE(crashed, protocol::channel::InvalidSocket) << error;
    ::close(static_cast<int>(crashed));
    ASSERT_TRUE(std::filesystem::exists(address.path));

    const auto fresh = protocol::channel::listen(address, 5, error);
    ASSERT_NE(fresh, protocol::channel::InvalidSocket) << error;

    // A second copy while the fresh one serves: it fails and says why, and
    // the first keeps its socket.
    const auto second = protocol::channel::listen(address, 5, error);
    EXPECT_EQ(second, protocol::channel::InvalidSocket);
    EXPECT_EQ(error, "another program serves " + address.path);
    const auto client = protocol::channel::openSocket(address);
    EXPECT_TRUE(protocol::channel::connect(client, address));
    const auto accepted = platform::net::acceptConnection(fresh);
    std::string why;
    EXPECT_TRUE(protocol::channel::peerIsOurs(accepted, address, why)) << why;
    EXPECT_TRUE(protocol::channel::listenerIsOurs(client, address, why)) << why;
    platform::net::closeSocket(client);
    platform::net::closeSocket(accepted);
    protocol::channel::closeListener(fresh, address);
}

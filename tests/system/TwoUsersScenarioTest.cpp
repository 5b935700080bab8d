// Two users of one machine, each with the whole product running at once:
// their watchdogs, drivers and viewers meet on each user's own sockets, and
// neither user's programs see or reach the other's.
#include "SystemFixture.h"

#include "AnotherUser.h"

#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

using namespace systemtest;

namespace {

// One user's session: a runtime folder of its own, and its programs.
struct UserSession
{
    uid_t uid = 0;
    std::filesystem::path home;
    Program watchdog;
    Program driver;
    Program viewer;

    std::vector<std::string> environment() const
    {
        return {"XDG_RUNTIME_DIR=" + home.string(), "HOME=" + home.string(),
                "ZENTRASW_STATE=" + (home / "zentrasw.state").string(), "TESSEL_OPTIONS=",
                "TESSEL_LOOPBACK_TCP="};
    }
    std::filesystem::path file(const std::string &name) const { return home / name; }
    LogFile log(const std::string &name) const { return LogFile(file(name)); }
    protocol::ChannelAddress socket(const char *name) const
    {
        return protocol::ChannelAddress::localSocket((home / "tessel" / name).string());
    }
};

class TwoUsersScenario : public SystemFixture
{
protected:
    void SetUp() override
    {
        SystemFixture::SetUp();
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root to run programs as two users";
        // The users may pass through the test's folder, not look into it.
        ::chmod(folder.c_str(), 0711);
        for (auto [session, uid] : {std::pair{&first, 1000u}, std::pair{&second, 1001u}}) {
            session->uid = uid;
            session->home = folder / ("user" + std::to_string(uid));
            std::filesystem::create_directory(session->home);
            ASSERT_EQ(::chown(session->home.c_str(), uid, uid), 0);
            ::chmod(session->home.c_str(), 0700);
        }
    }

    void TearDown() override
    {
        for (UserSession *session : {&first, &second})
            for (Program *program : {&session->viewer, &session->watchdog, &session->driver}) {
                program->signal(SIGTERM);
                if (!program->waitForExit(3s))
                    program->signal(SIGKILL);
            }
        if (HasFailure())
            for (UserSession *session : {&first, &second})
                for (const char *name : {"watchdog.log", "driver.log", "viewer.log"}) {
                    std::printf("---- uid %u %s\n", session->uid, name);
                    for (const auto &line : session->log(name).lines())
                        std::printf("%s\n", line.c_str());
                }
        SystemFixture::TearDown();
    }

    // The driver stand-in, the watchdog and the viewer stand-in of one user,
    // each on that user's own sockets.
    void startEverything(UserSession &session)
    {
        const auto env = session.environment();
        ASSERT_TRUE(session.driver.startAs(session.uid, env, programDirectory() / "brivaradriver",
                                           {"--keep-running", "--control", session.file("driver.ctl").string(),
                                            "--output", session.file("driver.log").string()},
                                           session.file("driver.stderr")));
        ASSERT_TRUE(session.log("driver.log").waitFor("brivaradriver: listening on=" + session.socket(protocol::DriverSocketName).path));
        ASSERT_TRUE(session.watchdog.startAs(session.uid, env, programDirectory() / "tesselwatchdogapplication", {},
                                             session.file("watchdog.log")));
        ASSERT_TRUE(session.log("watchdog.log").waitFor("<WDServer::run()> Socket bind successfully."));
        ASSERT_TRUE(session.viewer.startAs(session.uid, env, programDirectory() / "tessel",
                                           {"--keep-running", "--connect-timeout", "5000", "--control",
                                            session.file("viewer.ctl").string(), "--output",
                                            session.file("viewer.log").string()},
                                           session.file("viewer.stderr")));
        ASSERT_TRUE(session.log("viewer.log").waitFor("tessel: connected to=" + session.socket(protocol::ViewerSocketName).path));
        // The menu item and the fourteen buttons reach this user's driver.
        ASSERT_TRUE(session.log("driver.log").waitFor("request ADD_OEM_BUTTON length=4 buttonId=23", 10s));
    }

    UserSession first;
    UserSession second;
};

} // namespace

TEST_F(TwoUsersScenario, EachUserHasTheWholeProductAndNeitherSeesTheOthers)
{
    startEverything(first);
    startEverything(second);

    for (UserSession *session : {&first, &second}) {
        const LogFile driver = session->log("driver.log");
        EXPECT_EQ(driver.count("brivaradriver: accepted"), 1) << session->uid;
        EXPECT_EQ(driver.count("request ADD_MENU_ITEM"), 1) << session->uid;
        EXPECT_EQ(driver.count("request ADD_OEM_BUTTON"), 14) << session->uid;
        EXPECT_EQ(driver.count("refused"), 0) << session->uid;
    }
    // Nothing listens on TCP in this network namespace: the kernel's tables
    // list no socket in the LISTEN state (0A).
    for (const char *table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream in(table);
        std::string line;
        std::getline(in, line);
        while (std::getline(in, line))
            EXPECT_EQ(line.find(" 0A "), std::string::npos) << table << ": " << line;
    }

    // A button in the first user's driver reaches the first user's viewer
    // only; the second user's does the same the other way round.
    ASSERT_TRUE(sendCommand(first.file("driver.ctl"), "oem 162"));
    EXPECT_TRUE(first.log("viewer.log").waitFor("received request=1 command=162"));
    ASSERT_TRUE(sendCommand(second.file("driver.ctl"), "oem 164"));
    EXPECT_TRUE(second.log("viewer.log").waitFor("received request=1 command=164"));
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(first.log("viewer.log").find("command=164"));
    EXPECT_FALSE(second.log("viewer.log").find("command=162"));

    // The second user cannot even reach the first user's sockets: their
    // folder is the first user's alone.
    test_support::StrangerVisit visit;
    visit.uid = second.uid;
    EXPECT_EQ(test_support::visitAsAnotherUser(first.socket(protocol::ViewerSocketName), visit),
              test_support::StrangerOutcome::AccessDenied);
    EXPECT_EQ(test_support::visitAsAnotherUser(first.socket(protocol::DriverSocketName), visit),
              test_support::StrangerOutcome::AccessDenied);
}

TEST_F(TwoUsersScenario, RootFromAnotherLoginIsTurnedAwayAndRootFromTheUsersLoginIsServed)
{
    // Root may enter any folder: the socket's peer credentials are what
    // keep it out, unless it was started from the user's own login (pkexec).
    std::ifstream ownLogin("/proc/self/loginuid");
    long long login = -1;
    ownLogin >> login;
    if (login == first.uid)
        GTEST_SKIP() << "this test runs from the first user's login";
    startEverything(first);

    test_support::StrangerVisit rootElsewhere;
    rootElsewhere.uid = 0;
    EXPECT_EQ(test_support::visitAsAnotherUser(first.socket(protocol::ViewerSocketName), rootElsewhere),
              test_support::StrangerOutcome::ClosedUnserved);
    const LogFile watchdogLog = first.log("watchdog.log");
    ASSERT_TRUE(watchdogLog.waitFor("<WDServer::run()> Connection refused: the peer (pid "));
    EXPECT_TRUE(watchdogLog.find("runs as uid 0 from "));
    EXPECT_TRUE(watchdogLog.find(", not 1000"));
    EXPECT_EQ(first.log("driver.log").count("accepted"), 1);

    test_support::StrangerVisit rootOfTheUser;
    rootOfTheUser.uid = 0;
    rootOfTheUser.loginUid = first.uid;
    rootOfTheUser.waitMs = 300;
    const auto outcome = test_support::visitAsAnotherUser(first.socket(protocol::DriverSocketName), rootOfTheUser);
    if (outcome == test_support::StrangerOutcome::NotRun)
        GTEST_SKIP() << "no login uid can be given here";
    EXPECT_EQ(outcome, test_support::StrangerOutcome::LeftOpen) << "served, and nobody closed it";
    EXPECT_TRUE(first.log("driver.log").waitFor("disconnected reason=replaced"));
    EXPECT_EQ(first.log("driver.log").count("refused"), 0);
}

// The tray program as a user meets it: under an X server of the test's own
// with an XEmbed tray host, with the real watchdog (and the camera stand-in)
// as its client, clicked with xdotool; screenshots go to build/screenshots.
// Also what happens to its port capability. Each test runs in private
// network, pid and mount namespaces (the system tests' main), so port 800 is
// real and free, and a private /tmp keeps the X server's display to itself.
#include "ButtonPanelGrid.h"
#include "SystemFixture.h"
#include "XSession.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <thread>

using namespace systemtest;

namespace {

const std::filesystem::path screenshotFolder = programDirectory().parent_path() / "screenshots";

std::filesystem::path trayProgram()
{
    return programDirectory().parent_path() / "desktop" / "brivaradriver";
}

// The value of a "Name:\tvalue" line of one thread's /proc status.
std::string taskStatusField(pid_t pid, pid_t tid, const std::string &name)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(name + ":", 0) == 0)
            return line.substr(line.find_first_not_of(" \t", name.size() + 1));
    return {};
}

class TrayDesktopScenario : public SystemFixture
{
protected:
    static void SetUpTestSuite()
    {
        // X servers keep their locks and sockets in /tmp, shared with every
        // other test and engineer on the machine; this one gets its own.
        privateTmp = ::mount("tmpfs", "/tmp", "tmpfs", 0, "mode=1777") == 0;
    }

    void SetUp() override
    {
        ASSERT_TRUE(privateTmp) << "no private /tmp";
        SystemFixture::SetUp();
        trayLog = LogFile(file("tray.log"));
        // No session bus: the tray then uses the X server's tray host.
        ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    }

    void TearDown() override
    {
        if (watcher)
            watcher->signal(SIGTERM);
        if (tray)
            tray->signal(SIGTERM);
        if (HasFailure()) {
            std::printf("---- %s\n", trayLog.path().c_str());
            for (const auto &line : trayLog.lines())
                std::printf("%s\n", line.c_str());
        }
        if (tray && !tray->waitForExit(3s))
            tray->signal(SIGKILL);
        SystemFixture::TearDown();
    }

    void startX()
    {
        if (const auto missing = XSession::missingTool())
            GTEST_SKIP() << "needs " << *missing << " (scripts/install-deps)";
        ASSERT_TRUE(x.start(folder));
    }

    // The tray program from build/desktop, on the X server when there is one.
    void startTray(const std::vector<std::string> &wrapper = {})
    {
        std::vector<std::string> command = {"QT_QPA_PLATFORM=" + std::string(x.display().empty() ? "offscreen" : "xcb"),
                                            "DISPLAY=" + x.display()};
        command.insert(command.end(), wrapper.begin(), wrapper.end());
        command.push_back(trayProgram().string());
        tray = std::make_unique<Program>();
        ASSERT_TRUE(tray->start("/usr/bin/env", command, file("tray.log")));
    }

    std::optional<XSession::Window> trayWindow(const std::function<bool(const XSession::Window &)> &which)
    {
        std::optional<XSession::Window> found;
        eventually([&] {
            for (const auto &window : x.windowsOf("brivaradriver"))
                if (which(window))
                    found = window;
            return found.has_value();
        });
        return found;
    }

    // The tray icon, once the tray host at the top of the screen has taken it.
    std::optional<XSession::Window> embeddedIcon()
    {
        return trayWindow([](const XSession::Window &w) { return w.width <= 64 && w.height <= 64 && w.y < 40; });
    }

    std::optional<XSession::Window> buttonPanel()
    {
        return trayWindow([](const XSession::Window &w) { return w.name == "Brivara Tessel"; });
    }

    // Whether a menu shows: a window of the tray that is neither the icon
    // nor the panel nor the icon's tooltip (which shows while the pointer
    // rests on the icon, and goes at a click).
    bool menuShows(const XSession::Window &icon)
    {
        const auto windows = x.windowsOf("brivaradriver");
        return std::any_of(windows.begin(), windows.end(), [&](const XSession::Window &w) {
            return w.id != icon.id && w.name != "Brivara Tessel" && !w.isTooltip();
        });
    }

    // Opens the icon's menu and takes its picture. The click goes where the
    // icon is now (the tray host may still be placing it when it is first
    // seen), and is repeated if the program lets it pass (a click that comes
    // while it still ends the last menu's pointer grab is lost): what a slow
    // build needs is that, not a longer wait.
    void openMenu(const XSession::Window &icon, const std::string &screenshot)
    {
        ASSERT_TRUE(eventually([&] { return !menuShows(icon); }, 5s)) << "a menu is still open";
        const bool opened = eventually(
            [&] {
                const auto windows = x.windowsOf("brivaradriver");
                const auto now = std::find_if(windows.begin(), windows.end(),
                                              [&](const XSession::Window &w) { return w.id == icon.id; });
                if (now == windows.end())
                    return false;
                x.click(now->x + now->width / 2, now->y + now->height / 2, 3);
                return eventually([&] { return menuShows(icon); }, 2s);
            },
            15s);
        ASSERT_TRUE(opened) << "no menu";
        EXPECT_TRUE(x.screenshot(screenshotFolder / screenshot));
    }

    // What KDE's tray (or GNOME's AppIndicator extension) offers: a
    // StatusNotifier watcher with a host registered, mocked; it logs every
    // call to watcher.log.
    void startStatusNotifierWatcher()
    {
        watcher = std::make_unique<Program>();
        // The python3 on PATH may not be the one that has dbusmock.
        ASSERT_TRUE(watcher->start("/usr/bin/python3",
                                   {"-m", "dbusmock", "org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                                    "org.kde.StatusNotifierWatcher"},
                                   file("watcher.log")));
        const std::string mock = "-d org.kde.StatusNotifierWatcher -o /StatusNotifierWatcher -m "
                                 "org.freedesktop.DBus.Mock.";
        ASSERT_TRUE(eventually([&] { return !busCall(mock + "AddMethod org.kde.StatusNotifierWatcher "
                                                            "RegisterStatusNotifierItem s \"''\" \"''\"").empty(); }));
        for (const char *property : {"IsStatusNotifierHostRegistered '<true>'", "ProtocolVersion '<0>'",
                                     "RegisteredStatusNotifierItems '<@as []>'"})
            ASSERT_FALSE(busCall(mock + "AddProperty org.kde.StatusNotifierWatcher " + property).empty());
    }

    // gdbus call on the session bus; its output, empty on failure.
    static std::string busCall(const std::string &arguments)
    {
        return commandOutput("gdbus call --session " + arguments).value_or(std::string());
    }

    static inline bool privateTmp = false;
    std::unique_ptr<Program> watcher;
    XSession x;
    LogFile trayLog{""};
    std::unique_ptr<Program> tray;
};

} // namespace

TEST_F(TrayDesktopScenario, TheWatchdogsMenuItemAndButtonsWorkFromTheTray)
{
    startX();
    startTray();
    ASSERT_TRUE(trayLog.waitFor("<DriverServer::listen()> Listening on " + file("tessel/driver.sock").string()));
    const auto icon = embeddedIcon();
    ASSERT_TRUE(icon) << "the tray host did not take the icon";

    startWatchdogWithCamera();
    ASSERT_TRUE(trayLog.waitFor("Client 1 added menu item 1 with the caption \"Turn on Tessel\"", 10s));
    ASSERT_TRUE(trayLog.waitFor("Client 1 added OEM button 23", 5s));
    EXPECT_EQ(trayLog.count("Client 1 added OEM button"), 14);
    const auto panel = buttonPanel();
    ASSERT_TRUE(panel) << "the button panel did not show";
    // Two rows of seven.
    EXPECT_EQ(panel->width, 2 * ButtonPanelGrid::Margin + 7 * ButtonPanelGrid::ButtonSize + 6 * ButtonPanelGrid::Spacing);

    // The user opens the menu and picks the watchdog's item: the watchdog
    // starts the viewer, and the item's caption flips.
    openMenu(*icon, "tray-menu.png");
    x.keys("Down Return");
    ASSERT_TRUE(viewerLog.waitFor("tessel: connected", 10s));
    ASSERT_TRUE(trayLog.waitFor("Client 1 removed menu item 1", 5s));
    ASSERT_TRUE(trayLog.waitFor("Client 1 added menu item 2 with the caption \"Turn off Tessel\"", 5s));
    openMenu(*icon, "tray-menu-viewer-on.png");
    x.keys("Escape");

    // The light button, second in the panel's first row.
    x.click(panel->x + ButtonPanelGrid::Margin + ButtonPanelGrid::ButtonSize + ButtonPanelGrid::Spacing + ButtonPanelGrid::ButtonSize / 2,
            panel->y + ButtonPanelGrid::Margin + ButtonPanelGrid::ButtonSize / 2, 1);
    EXPECT_TRUE(trayLog.waitFor("Client 1 OEM button 116 pressed", 5s));
    EXPECT_TRUE(viewerLog.waitFor("tessel: received request=1 command=116 LIGHT", 5s));
    EXPECT_TRUE(x.screenshot(screenshotFolder / "tray-panel.png"));
}

TEST_F(TrayDesktopScenario, DesktopsWithStatusNotifierItemsGetTheMenuOverDBus)
{
    startX();
    ASSERT_TRUE(startPrivateBus("session_bus", "DBUS_SESSION_BUS_ADDRESS"));
    // The session starts the tray before the desktop's tray host: the icon
    // waits for the host rather than settle for no tray at all.
    startTray();
    ASSERT_TRUE(trayLog.waitFor("<DriverServer::listen()> Listening on " + file("tessel/driver.sock").string()));
    startStatusNotifierWatcher();
    LogFile watcherLog(file("watcher.log"));
    const auto registered = watcherLog.waitFor("RegisterStatusNotifierItem");
    ASSERT_TRUE(registered) << "the tray did not register its StatusNotifierItem";
    EXPECT_FALSE(trayLog.find("stands alone"));
    const std::string item = [&] {
        const std::string line = watcherLog.lines()[*registered];
        return line.substr(line.rfind(' ') + 1);
    }();
    const std::string object = "-d " + item + " -o /StatusNotifierItem ";
    const std::string menuPath = [&] {
        const std::string reply = busCall(object + "-m org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem Menu");
        const auto start = reply.find('\'') + 1;
        return reply.substr(start, reply.find('\'', start) - start);
    }();
    ASSERT_FALSE(menuPath.empty());
    const std::string menu = "-d " + item + " -o " + menuPath + " -m com.canonical.dbusmenu.";
    // The entry with that label: its id, or nothing.
    auto entryLabelled = [&](const std::string &label) -> std::optional<std::string> {
        const std::string layout = busCall(menu + "GetLayout -- 0 -1 '@as []'");
        const auto at = layout.find("'label': <'" + label + "'>");
        if (at == std::string::npos)
            return std::nullopt;
        const auto open = layout.rfind("<(", at) + 2;
        return layout.substr(open, layout.find(',', open) - open);
    };

    startWatchdog();
    std::optional<std::string> turnOn;
    ASSERT_TRUE(eventually([&] { return (turnOn = entryLabelled("Turn on Tessel")).has_value(); }, 10s));
    ASSERT_FALSE(busCall(menu + "Event -- " + *turnOn + " clicked '<0>' 0").empty());
    ASSERT_TRUE(viewerLog.waitFor("tessel: connected", 10s));
    std::optional<std::string> turnOff;
    ASSERT_TRUE(eventually([&] { return (turnOff = entryLabelled("Turn off Tessel")).has_value(); }));
    EXPECT_EQ(*turnOff, *turnOn) << "the caption did not change in place";
}

TEST_F(TrayDesktopScenario, WithoutThePortCapabilityItSaysWhy)
{
    startX();
    // Root as well loses the capability from its bounding set.
    startTray({"TESSEL_LOOPBACK_TCP=1", "setpriv", "--bounding-set", "-net_bind_service", "--"});
    ASSERT_TRUE(trayLog.waitFor("Port 800 is a privileged port, and this program may not use it"));
    ASSERT_TRUE(trayWindow([](const XSession::Window &w) { return w.name == "Brivara Tessel"; }))
        << "no message box";
    EXPECT_TRUE(x.screenshot(screenshotFolder / "tray-no-permission.png"));
    tray->signal(SIGTERM);
    EXPECT_EQ(tray->waitForExit(), 1);
}

// What an administrator may give by hand, for the TCP port: the capability
// alone, or with cap_setpcap so that the program can empty its bounding set
// as well. Either way, once it listens, no thread of it holds anything, and
// a --port of the user's choosing is not served.
TEST_F(TrayDesktopScenario, WithTheCapabilityItBindsFirstAndNoThreadKeepsAny)
{
    std::ifstream uidMap("/proc/self/uid_map");
    std::string inside, outside;
    uidMap >> inside >> outside;
    if (outside != "0")
        GTEST_SKIP() << "needs real root to set a file capability";
    startX();

    const std::string user = "65534";
    ::chmod(folder.c_str(), 0755);
    const auto home = folder / "home";
    std::filesystem::create_directories(home);
    ASSERT_EQ(::chown(home.c_str(), 65534, 65534), 0);
    ::chmod(home.c_str(), 0700);
    // A copy of the program with the capability, beside its language file.
    const auto copy = folder / "program" / "brivaradriver";
    std::filesystem::create_directories(copy.parent_path());
    std::filesystem::copy_file(trayProgram(), copy);
    std::filesystem::copy_file(trayProgram().parent_path() / "Brivara Tessel.xml",
                               copy.parent_path() / "Brivara Tessel.xml");

    for (const std::string capabilities : {"cap_net_bind_service+ep", "cap_net_bind_service,cap_setpcap+ep"}) {
        SCOPED_TRACE(capabilities);
        ASSERT_EQ(std::system(("setcap " + capabilities + " " + copy.string()).c_str()), 0);
        const std::string log = "tray-" + capabilities.substr(0, capabilities.find('+')) + ".log";
        LogFile lines(file(log));
        tray = std::make_unique<Program>();
        // The user's own choice of plugin folder and port: harmless once the
        // capability is gone before Qt loads anything.
        ASSERT_TRUE(tray->start("/usr/bin/env",
                                {"HOME=" + home.string(), "XDG_RUNTIME_DIR=" + home.string(), "TESSEL_LOOPBACK_TCP=1",
                                 "QT_QPA_PLATFORM=xcb", "DISPLAY=" + x.display(), "QT_PLUGIN_PATH=" + home.string(),
                                 "setpriv", "--reuid", user, "--regid", user, "--clear-groups", "--", copy.string(),
                                 "--port", "22"},
                                file(log)));
        ASSERT_TRUE(lines.waitFor("<DriverServer::listen()> Listening on 127.0.0.1:800", 5s));
        EXPECT_TRUE(lines.find("<main()> --port is ignored: with its capability the program serves only port 800"));
        // Qt's threads (xcb's event reader, D-Bus) are up once a window shows.
        ASSERT_TRUE(trayWindow([](const XSession::Window &) { return true; })) << "no window";

        const pid_t pid = tray->pid();
        const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
        int threads = 0;
        for (const auto &task : std::filesystem::directory_iterator(tasks)) {
            const pid_t tid = std::stoi(task.path().filename().string());
            ++threads;
            SCOPED_TRACE("thread " + std::to_string(tid));
            for (const char *set : {"CapEff", "CapPrm", "CapInh", "CapAmb"})
                EXPECT_EQ(taskStatusField(pid, tid, set), "0000000000000000") << set;
            EXPECT_EQ(taskStatusField(pid, tid, "NoNewPrivs"), "1");
            if (capabilities.find("cap_setpcap") != std::string::npos) {
                EXPECT_EQ(taskStatusField(pid, tid, "CapBnd"), "0000000000000000");
            }
        }
        EXPECT_GT(threads, 1) << "Qt started no thread: the check proves little";
        // Dumpable again: its /proc entries are its user's, so that a
        // watchdog of that user finds it by its executable's name.
        struct stat entry{};
        ASSERT_EQ(::stat(("/proc/" + std::to_string(pid)).c_str(), &entry), 0);
        EXPECT_EQ(entry.st_uid, 65534u);

        tray->signal(SIGTERM);
        EXPECT_EQ(tray->waitForExit(), 0);
        tray.reset();
    }
}

// GNOME without the AppIndicator extension: no tray of any kind. The tray
// program tells the user once where the buttons are instead of putting a
// window up at every login; the application menu's entry (a second start)
// shows the running program's panel; and once a tray host comes, the
// program starts again to put its icon there.
TEST_F(TrayDesktopScenario, WithoutATrayItSaysWhereTheButtonsAreAndUsesATrayThatComesLater)
{
    if (const auto missing = XSession::missingTool(XSession::TrayHost::None))
        GTEST_SKIP() << "needs " << *missing << " (scripts/install-deps)";
    ASSERT_TRUE(x.start(folder, XSession::TrayHost::None));
    ASSERT_TRUE(startPrivateBus("session_bus", "DBUS_SESSION_BUS_ADDRESS"));
    Program notifications;
    ASSERT_TRUE(notifications.start("/usr/bin/python3",
                                    {"-m", "dbusmock", "--template", "notification_daemon", "-l",
                                     file("notifications.log").string()},
                                    file("notification-daemon.log")));
    ASSERT_TRUE(eventually([] {
        return !busCall("-d org.freedesktop.Notifications -o /org/freedesktop/Notifications -m "
                        "org.freedesktop.Notifications.GetServerInformation")
                    .empty();
    }));
    LogFile notified(file("notifications.log"));

    startTray();
    // After the program's wait for a StatusNotifier host.
    ASSERT_TRUE(trayLog.waitFor("The desktop has no system tray", 20s));
    ASSERT_TRUE(notified.waitFor("Notify"));
    EXPECT_TRUE(notified.find("This desktop shows no tray icons"));

    // The watchdog's buttons come; still no window.
    startWatchdogWithCamera();
    ASSERT_TRUE(trayLog.waitFor("Client 1 added OEM button 23", 10s));
    std::this_thread::sleep_for(1s * SanitizerSlowdown); // longer than the panel's settling time
    EXPECT_TRUE(x.windowsOf("brivaradriver").empty()) << "a window showed by itself";
    EXPECT_EQ(notified.count("Notify"), 1);

    Program second;
    ASSERT_TRUE(second.start("/usr/bin/env",
                             {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + x.display(), trayProgram().string(), "--panel"},
                             file("second.log")));
    EXPECT_EQ(second.waitForExit(10s), 0);
    EXPECT_TRUE(LogFile(file("second.log")).find("<main()> Its button panel is shown"));
    const auto panel = buttonPanel();
    ASSERT_TRUE(panel) << "the running program's panel did not show";
    EXPECT_TRUE(x.screenshot(screenshotFolder / "tray-none-panel.png"));

    // The desktop's tray comes: its watcher, and a host that registers with
    // it, which the watcher announces.
    startStatusNotifierWatcher();
    ASSERT_FALSE(busCall("-d org.kde.StatusNotifierWatcher -o /StatusNotifierWatcher -m "
                         "org.freedesktop.DBus.Mock.EmitSignal org.kde.StatusNotifierWatcher "
                         "StatusNotifierHostRegistered '' '[]'")
                     .empty());
    ASSERT_TRUE(trayLog.waitFor("A StatusNotifier host has come; the program starts again to use it",
                                5s));
    LogFile watcherLog(file("watcher.log"));
    EXPECT_TRUE(watcherLog.waitFor("RegisterStatusNotifierItem", 10s))
        << "the started-again program did not register its StatusNotifierItem";
    // The watchdog heard DRIVER_EXIT and comes back within its check period.
    EXPECT_TRUE(eventually([&] { return trayLog.count("Client 1 added OEM button 23") == 2; },
                           15s));
    EXPECT_FALSE(trayLog.find("Could not start again"));
}

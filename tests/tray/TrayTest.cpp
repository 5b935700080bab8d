// The tray program in process, on the offscreen platform: its port with
// several clients at once, the menu and the panel that show what each
// registered, the clicks that go back, and what bad input does.
#include "ButtonPanel.h"
#include "DriverClient.h"
#include "LogCapture.h"
#include "TrayController.h"
#include "TrayMenu.h"
#include "TrayTexts.h"
#include "WatchdogSocket.h"
#include "config/UserInterfaceController.h"
#include "protocol/ResponseHeader.h"

#include <QAction>
#include <QCoreApplication>
#include <QRegularExpression>
#include <QTest>
#include <QToolButton>

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <memory>

#include "AnotherUser.h"

namespace {

class TrayTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        controller = std::make_unique<TrayController>(texts, 0);
        ASSERT_TRUE(controller->start());
        port = controller->driverServer().port();
        ASSERT_NE(port, 0);
    }

    std::unique_ptr<WatchdogSocket> connectClient()
    {
        const auto count = controller->driverServer().clients().size();
        auto client = std::make_unique<WatchdogSocket>(port);
        EXPECT_TRUE(client->isConnected());
        EXPECT_TRUE(QTest::qWaitFor([&] { return controller->driverServer().clients().size() > count; }));
        return client;
    }

    // The item entries' texts, as "first | second".
    std::string menuTexts() const
    {
        QStringList shown;
        for (const QAction *action : controller->trayMenu().itemActions())
            shown.append(action->text());
        return shown.join(" | ").toStdString();
    }

    QList<int> panelIds() const
    {
        QList<int> ids;
        for (const QToolButton *button : controller->buttonPanel().buttons())
            ids.append(button->property("oemButtonId").toInt());
        return ids;
    }

    // No message from the driver within a short while.
    static bool staysQuiet(WatchdogSocket &client) { return !client.next(200); }

    TrayTexts texts; // English
    std::unique_ptr<TrayController> controller;
    quint16 port = 0;
};

} // namespace

TEST_F(TrayTest, EachClientKeepsItsOwnItemsAndButtonsAndTakesThemAlongWhenItGoes)
{
    auto first = connectClient();
    auto second = connectClient();

    EXPECT_EQ(first->addMenuItem(u"Turn on Tessel"), 1);
    EXPECT_EQ(second->addMenuItem(u"Other program"), 2); // ids count for the whole tray
    for (const int id : {93, 116, 95})
        EXPECT_EQ(first->addButton(id), id);
    EXPECT_EQ(second->addButton(139), 139);
    EXPECT_EQ(first->removeMenuItem(2), -1); // not its item

    EXPECT_EQ(menuTexts(), "Turn on Tessel | Other program");
    EXPECT_EQ(panelIds(), QList<int>({93, 116, 95, 139}));
    const auto buttons = controller->buttonPanel().buttons();
    EXPECT_EQ(buttons[0]->toolTip(), "Turn Tessel on or off");
    EXPECT_FALSE(buttons[1]->icon().isNull());
    EXPECT_EQ(buttons[1]->toolTip(), "Light");
    EXPECT_TRUE(buttons[2]->icon().isNull()); // no meaning known: its number
    EXPECT_EQ(buttons[2]->text(), "95");
    EXPECT_EQ(buttons[2]->toolTip(), "Button 95");

    first->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return menuTexts() == "Other program"; }));
    EXPECT_EQ(panelIds(), QList<int>({139}));
    EXPECT_EQ(second->addButton(140), 140);
    EXPECT_EQ(panelIds(), QList<int>({139, 140}));
}

TEST_F(TrayTest, ClicksAndPressesGoToTheClientThatRegisteredThem)
{
    auto first = connectClient();
    auto second = connectClient();
    ASSERT_EQ(first->addMenuItem(u"First"), 1);
    ASSERT_EQ(second->addMenuItem(u"Second"), 2);
    ASSERT_EQ(first->addButton(116), 116);
    ASSERT_EQ(second->addButton(116), 116);

    controller->trayMenu().itemActions().at(1)->trigger();
    const auto clicked = second->next();
    ASSERT_TRUE(clicked);
    EXPECT_EQ(*clicked, (ResponseHeader{MENU_ITEM_CLICKED, 2, 0}));

    controller->buttonPanel().buttons().at(0)->click();
    const auto pressed = first->next();
    ASSERT_TRUE(pressed);
    EXPECT_EQ(*pressed, (ResponseHeader{OEM_BUTTON_PRESSED, 116, 0}));
    EXPECT_TRUE(staysQuiet(*first));
    EXPECT_TRUE(staysQuiet(*second));
}

TEST_F(TrayTest, AReplacedItemKeepsItsEntryAndItsCaptionShowsAsSent)
{
    auto watchdog = connectClient();
    auto other = connectClient();
    ASSERT_EQ(watchdog->addMenuItem(u"Turn on Tessel"), 1);
    ASSERT_EQ(other->addMenuItem(u"Other"), 2);
    QAction *entry = controller->trayMenu().itemActions().at(0);

    // The watchdog's way of changing the caption: remove, then add.
    EXPECT_EQ(watchdog->removeMenuItem(1), 1);
    EXPECT_EQ(watchdog->addMenuItem(u"Tessel & more\tnow"), 3);
    const auto entries = controller->trayMenu().itemActions();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0], entry);
    EXPECT_EQ(entry->text(), "Tessel && more now"); // '&' is no shortcut mark
    EXPECT_EQ(entries[1]->text(), "Other");

    EXPECT_EQ(watchdog->addMenuItem(u""), 4);
    EXPECT_EQ(menuTexts(), "Tessel && more now | Menu item 4 | Other");
    entry->trigger();
    const auto clicked = watchdog->next();
    ASSERT_TRUE(clicked);
    EXPECT_EQ(clicked->value, 3); // the new item's id, not the removed one's
}

TEST_F(TrayTest, BadInputDropsTheClientThatSentItAndNoOther)
{
    LogCapture log;
    auto good = connectClient();
    ASSERT_EQ(good->addMenuItem(u"Turn on Tessel"), 1);
    ASSERT_EQ(good->addButton(116), 116);

    struct BadRecord
    {
        const char *what;
        QByteArray bytes;
    };
    const BadRecord badRecords[] = {
        {"negative length", requestBytes(ADD_MENU_ITEM, {}, -1)},
        {"oversized", requestBytes(ADD_OEM_BUTTON, {}, 65537)},
        {"too short for its type", requestBytes(ADD_MENU_ITEM, QByteArray(100, 'x'), 100)},
    };
    for (const BadRecord &bad : badRecords) {
        auto client = connectClient();
        ASSERT_EQ(client->addButton(94), 94) << bad.what;
        client->sendRaw(bad.bytes);
        EXPECT_TRUE(client->waitClosed()) << bad.what;
        EXPECT_TRUE(QTest::qWaitFor([&] { return panelIds() == QList<int>({116}); })) << bad.what;
    }
    EXPECT_EQ(log.matching("<DriverClient::drop()>"),
              QStringList({"<DriverClient::drop()> Client 2 dropped: a request of type 16 gives the length -1, "
                           "outside 0..65536",
                           "<DriverClient::drop()> Client 3 dropped: a request of type 9 gives the length 65537, "
                           "outside 0..65536",
                           "<DriverClient::drop()> Client 4 dropped: its ADD_MENU_ITEM request carries 100 bytes, "
                           "144 are needed"}));

    // A client that asks for more than a tray can show is refused, not
    // dropped; a type the driver does not know is skipped unanswered.
    auto greedy = connectClient();
    // An id sent again is answered again, but takes no further place: not in
    // what the client holds, not in the panel, not against its limit.
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(greedy->addButton(1), 1);
    EXPECT_EQ(controller->driverServer().clients().back()->registry().buttons(), std::vector<std::int32_t>{1});
    for (int id = 1; id <= static_cast<int>(DriverClient::MaxButtons); ++id)
        ASSERT_EQ(greedy->addButton(id), id);
    EXPECT_EQ(greedy->addButton(1000), -1);
    EXPECT_EQ(greedy->addButton(1001), -1);
    greedy->sendRequest(42, QByteArray(10, 'x'));
    for (int i = 1; i <= static_cast<int>(DriverClient::MaxMenuItems); ++i)
        ASSERT_GT(greedy->addMenuItem(u"item").value_or(-1), 0);
    EXPECT_EQ(greedy->addMenuItem(u"one too many"), -1);
    EXPECT_EQ(greedy->addMenuItem(u"two too many"), -1);
    // Each kind of refusal is logged, once.
    EXPECT_EQ(log.matching("further ones are refused"),
              QStringList({"<DriverClient::handleRequest()> Client 5 holds the most OEM buttons a tray shows (64); "
                           "further ones are refused",
                           "<DriverClient::handleRequest()> Client 5 holds the most menu items a tray shows (16); "
                           "further ones are refused"}));
    EXPECT_EQ(panelIds().size(), 1 + static_cast<int>(DriverClient::MaxButtons));

    EXPECT_EQ(menuTexts().rfind("Turn on Tessel | item", 0), 0u);
    EXPECT_EQ(good->addButton(141), 141);
    greedy->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return panelIds() == QList<int>({116, 141}); }));
}

TEST_F(TrayTest, AnotherUsersProgramIsTurnedAway)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to connect as another user";
    LogCapture log;
    auto own = connectClient();
    ASSERT_EQ(own->addButton(116), 116);
    // The tray serves from this thread: its event loop turns while the
    // stranger waits.
    const auto outcome = test_support::connectAsAnotherUser(port, 3000, [] { QTest::qWait(10); });
    EXPECT_EQ(outcome, test_support::StrangerOutcome::ClosedUnserved) << "the stranger's connection was kept";
    EXPECT_FALSE(log.matching("runs as uid 65534").isEmpty());
    EXPECT_EQ(controller->driverServer().clients().size(), 1);
    EXPECT_EQ(own->addButton(141), 141);
}

TEST(TrayLocalSocketTest, OnTheUsersSocketAProgramOfAnotherUserIsTurnedAway)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to connect as another user";
    QTemporaryDir folder;
    const std::string path = folder.filePath(QStringLiteral("tessel/driver.sock")).toStdString();
    TrayTexts texts;
    TrayController controller(texts, protocol::ChannelAddress::localSocket(path));
    LogCapture log;
    ASSERT_TRUE(controller.start());
    ASSERT_TRUE(log.contains(QStringLiteral("<DriverServer::listen()> Listening on ") + QString::fromStdString(path)));
    // Opened to everyone behind the program's back: the peer's credentials
    // still keep a stranger out.
    for (const QString &opened : {folder.path(), folder.filePath(QStringLiteral("tessel")),
                                  QString::fromStdString(path)})
        ::chmod(QFile::encodeName(opened).constData(), 0777);
    test_support::StrangerVisit visit;
    visit.uid = 1000;
    visit.waitMs = 3000;
    const auto outcome = test_support::visitAsAnotherUser(protocol::ChannelAddress::localSocket(path), visit,
                                                          [] { QTest::qWait(10); });
    EXPECT_EQ(outcome, test_support::StrangerOutcome::ClosedUnserved);
    EXPECT_FALSE(log.matching("runs as uid 1000, not 0").isEmpty());
    EXPECT_TRUE(controller.driverServer().clients().isEmpty());
}

TEST_F(TrayTest, LeavingSaysGoodbyeToEveryClient)
{
    auto first = connectClient();
    auto second = connectClient();
    ASSERT_EQ(first->addMenuItem(u"First"), 1);
    ASSERT_EQ(second->addButton(93), 93);

    controller->quit();
    for (WatchdogSocket *client : {first.get(), second.get()}) {
        const auto goodbye = client->next();
        ASSERT_TRUE(goodbye);
        EXPECT_EQ(goodbye->type, DRIVER_EXIT);
        EXPECT_TRUE(client->waitClosed());
    }
    EXPECT_TRUE(controller->trayMenu().itemActions().isEmpty());
    EXPECT_FALSE(controller->buttonPanel().hasButtons());
    EXPECT_FALSE(WatchdogSocket(port).isConnected()); // the port is closed
}

TEST(TrayTextsTest, EveryLanguageHasEveryTrayText)
{
    const QString path = QCoreApplication::applicationDirPath() + "/Brivara Tessel.xml";
    const char *const locales[] = {"en_US", "da_DK", "nl_BE", "fr_FR", "hu_HU", "it_IT", "nb_NO",
                                   "pl_PL", "pt_BR", "ru_RU", "sv_SE", "ar_SA", "ja_JP", "fi_FI",
                                   "de_DE", "es_ES", "zh_CN", "zh_TW", "ca_ES"};
    const QRegularExpression placeholder(QStringLiteral("%\\d"));
    auto placeholders = [&placeholder](const QString &text) {
        QStringList found;
        for (auto match = placeholder.globalMatch(text); match.hasNext();)
            found.append(match.next().captured());
        found.sort();
        return found;
    };
    QStringList keyPaths;
    for (int i = 0; i < TrayTexts::KeyCount; ++i)
        keyPaths.append(TrayTexts::keyPath(static_cast<TrayTexts::Key>(i)));
    EXPECT_EQ(keyPaths.removeDuplicates(), 0) << "two texts share a key";

    for (const char *locale : locales) {
        const UserInterfaceController language(path, locale);
        for (int i = 0; i < TrayTexts::KeyCount; ++i) {
            const auto key = static_cast<TrayTexts::Key>(i);
            const std::string where = std::string(locale) + " " + TrayTexts::keyPath(key).toStdString();
            QString text;
            EXPECT_TRUE(language.getCaption(TrayTexts::keyPath(key), text) && !text.isEmpty()) << where;
            // The program fills them in: a translation keeps every one.
            EXPECT_EQ(placeholders(text), placeholders(TrayTexts::english(key))) << where;
        }
    }
}

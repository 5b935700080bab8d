#pragma once

#include <QList>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <vector>

class DriverClient;
class TrayTexts;

// The tray's menu: every client's menu items with their captions as sent,
// grouped by client in the order they connected, then the program's own
// entries. A click on an item goes to the client that added it.
//
// Clients replace an item by removing it and adding a new one. The entry of
// a removed item is hidden, not deleted, and the client's next item takes
// it over, so the caption changes in place, and a desktop that shows the
// menu over D-Bus sees a changed entry rather than a new menu layout.
// Hidden entries that nobody takes over go after a moment.
class TrayMenu : public QObject
{
    Q_OBJECT

public:
    static constexpr int VacancyMilliseconds = 2000;

    TrayMenu(const TrayTexts &texts, QObject *parent = nullptr);
    ~TrayMenu() override;

    QMenu *menu() { return &entries; }
    void addClient(DriverClient *client);

    // Shows or hides the button panel; checked while it is shown.
    QAction *panelAction() const { return panelToggle; }
    QAction *quitAction() const { return quit; }
    // The shown item entries, in menu order.
    QList<QAction *> itemActions() const;

    // The text an entry shows for a caption: as sent, with '&' kept as a
    // character rather than a shortcut mark, on one line.
    static QString entryText(const QString &caption, int itemId, const TrayTexts &texts);

private:
    struct Slot
    {
        QAction *action = nullptr;
        int itemId = 0; // 0 while vacant
    };
    struct Group
    {
        QPointer<DriverClient> client;
        QAction *separator = nullptr; // before the group's entries
        std::vector<Slot> itemSlots;
        QTimer vacancyTimer;
    };

    Group *groupOf(DriverClient *client);
    void itemAdded(DriverClient *client, int itemId, const QString &caption);
    void itemRemoved(DriverClient *client, int itemId);
    void clientGone(DriverClient *client);
    void clearVacancies(Group &group);
    void itemTriggered(QAction *action);
    // The anchor before which a group's entries go: the next group's
    // separator, or the program's own section.
    QAction *anchorAfter(const Group &group) const;
    void refreshLayout();

    const TrayTexts &texts;
    QMenu entries;
    QAction *placeholder;
    QAction *ownSection; // separator before the program's entries
    QAction *panelToggle;
    QAction *quit;
    std::vector<std::unique_ptr<Group>> groups; // in connection order
};

#include "TrayMenu.h"

#include "DriverClient.h"
#include "TrayTexts.h"

#include <algorithm>

TrayMenu::TrayMenu(const TrayTexts &trayTexts, QObject *parent) : QObject(parent), texts(trayTexts)
{
    placeholder = entries.addAction(texts.text(TrayTexts::Key::NoProgram));
    placeholder->setEnabled(false);
    ownSection = entries.addSeparator();
    panelToggle = entries.addAction(texts.text(TrayTexts::Key::Panel));
    panelToggle->setCheckable(true);
    entries.addSeparator();
    quit = entries.addAction(texts.text(TrayTexts::Key::Quit));
}

// The groups' timers and actions go before the menu they live in.
TrayMenu::~TrayMenu() = default;

QString TrayMenu::entryText(const QString &caption, int itemId, const TrayTexts &texts)
{
    if (caption.isEmpty())
        return texts.text(TrayTexts::Key::UnnamedItem).arg(itemId);
    QString text = caption;
    for (QChar &character : text)
        if (character.category() == QChar::Other_Control)
            character = QLatin1Char(' ');
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

void TrayMenu::addClient(DriverClient *client)
{
    auto group = std::make_unique<Group>();
    group->client = client;
    group->separator = new QAction(&entries);
    group->separator->setSeparator(true);
    entries.insertAction(ownSection, group->separator);
    Group *added = group.get();
    added->vacancyTimer.setSingleShot(true);
    connect(&added->vacancyTimer, &QTimer::timeout, this, [this, added] {
        clearVacancies(*added);
        refreshLayout();
    });
    groups.push_back(std::move(group));

    connect(client, &DriverClient::menuItemAdded, this,
            [this, client](int itemId, const QString &caption) { itemAdded(client, itemId, caption); });
    connect(client, &DriverClient::menuItemRemoved, this, [this, client](int itemId) { itemRemoved(client, itemId); });
    connect(client, &DriverClient::gone, this, [this, client] { clientGone(client); });
    refreshLayout();
}

TrayMenu::Group *TrayMenu::groupOf(DriverClient *client)
{
    for (auto &group : groups)
        if (group->client == client)
            return group.get();
    return nullptr;
}

void TrayMenu::itemAdded(DriverClient *client, int itemId, const QString &caption)
{
    Group *group = groupOf(client);
    if (!group)
        return;
    const QString text = entryText(caption, itemId, texts);
    const auto vacant = std::find_if(group->itemSlots.begin(), group->itemSlots.end(),
                                     [](const Slot &slot) { return slot.itemId == 0; });
    if (vacant != group->itemSlots.end()) {
        vacant->itemId = itemId;
        vacant->action->setText(text);
        vacant->action->setVisible(true);
    } else {
        auto *action = new QAction(text, &entries);
        connect(action, &QAction::triggered, this, [this, action] { itemTriggered(action); });
        entries.insertAction(anchorAfter(*group), action);
        group->itemSlots.push_back({action, itemId});
    }
    refreshLayout();
}

void TrayMenu::itemRemoved(DriverClient *client, int itemId)
{
    Group *group = groupOf(client);
    if (!group)
        return;
    for (Slot &slot : group->itemSlots) {
        if (slot.itemId == itemId) {
            slot.itemId = 0;
            slot.action->setVisible(false);
            group->vacancyTimer.start(VacancyMilliseconds);
        }
    }
    refreshLayout();
}

void TrayMenu::clearVacancies(Group &group)
{
    std::erase_if(group.itemSlots, [](const Slot &slot) {
        if (slot.itemId != 0)
            return false;
        delete slot.action;
        return true;
    });
}

void TrayMenu::clientGone(DriverClient *client)
{
    const auto found = std::find_if(groups.begin(), groups.end(),
                                    [client](const auto &group) { return group->client == client; });
    if (found == groups.end())
        return;
    for (const Slot &slot : (*found)->itemSlots)
        delete slot.action;
    delete (*found)->separator;
    groups.erase(found);
    refreshLayout();
}

void TrayMenu::itemTriggered(QAction *action)
{
    for (const auto &group : groups)
        for (const Slot &slot : group->itemSlots)
            if (slot.action == action && slot.itemId != 0 && group->client)
                group->client->clickMenuItem(slot.itemId);
}

QAction *TrayMenu::anchorAfter(const Group &group) const
{
    const auto at = std::find_if(groups.begin(), groups.end(), [&group](const auto &g) { return g.get() == &group; });
    return at != groups.end() && std::next(at) != groups.end() ? (*std::next(at))->separator : ownSection;
}

QList<QAction *> TrayMenu::itemActions() const
{
    QList<QAction *> shown;
    for (QAction *action : entries.actions()) {
        if (action == ownSection)
            break;
        if (action->isVisible() && !action->isSeparator() && action != placeholder)
            shown.append(action);
    }
    return shown;
}

void TrayMenu::refreshLayout()
{
    placeholder->setVisible(groups.empty());
    bool itemsAbove = false;
    for (const auto &group : groups) {
        const bool hasItems = std::any_of(group->itemSlots.begin(), group->itemSlots.end(),
                                          [](const Slot &slot) { return slot.itemId != 0; });
        // A line between two clients' items; never one at the top.
        group->separator->setVisible(hasItems && itemsAbove);
        itemsAbove = itemsAbove || hasItems;
    }
}

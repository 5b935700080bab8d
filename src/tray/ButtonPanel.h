#pragma once

#include "ButtonPanelGrid.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <vector>

class DriverClient;
class QGridLayout;
class QLabel;
class QMenu;
class QToolButton;
class QVBoxLayout;
class TrayTexts;

// A small window that stays on top with the clients' OEM buttons, each
// client's in the order it registered them, seven to a row. A button whose
// id has a known meaning shows its icon and name (as tooltip); any other
// shows its number. A click goes to the client that registered the button.
// The keyboard order is the registration order as well.
class ButtonPanel : public QWidget, private ButtonPanelGrid
{
    Q_OBJECT

public:
    explicit ButtonPanel(const TrayTexts &texts, QWidget *parent = nullptr);
    ~ButtonPanel() override;

    void addClient(DriverClient *client);
    // Without a tray the panel is the program's only face: a normal window
    // that minimises rather than closes, with a button that opens `menu`.
    // Null: a tray holds the menu, and the panel is a tool window again.
    void setStandalone(QMenu *menu);

    bool hasButtons() const;
    // Every button, in panel order.
    QList<QToolButton *> buttons() const;

signals:
    // The first button came, or the last went.
    void hasButtonsChanged(bool hasButtons);
    // The user closed the window (not in standalone mode).
    void closedByUser();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    struct Group
    {
        QPointer<DriverClient> client;
        QWidget *box = nullptr;
        QGridLayout *grid = nullptr;
        QWidget *line = nullptr; // above the box, between two clients
    };

    void buttonAdded(DriverClient *client, int buttonId);
    void clientGone(DriverClient *client);
    QToolButton *makeButton(int buttonId);
    void refresh();

    const TrayTexts &texts;
    QVBoxLayout *column;
    QLabel *placeholder;
    QToolButton *menuButton = nullptr;
    std::vector<Group> groups; // in connection order
    bool standalone = false;
    bool placed = false;
    bool hadButtons = false;
};

#include "ButtonPanel.h"

#include "DriverClient.h"
#include "IconLibrary.h"
#include "OemButtonCatalog.h"
#include "TrayTexts.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {
// Away from the screen's corner, where trays usually are.
constexpr int CornerDistance = 24;
} // namespace

ButtonPanel::ButtonPanel(const TrayTexts &trayTexts, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint), texts(trayTexts)
{
    setWindowTitle(texts.title());
    setWindowIcon(IconLibrary::applicationIcon());
    column = new QVBoxLayout(this);
    column->setContentsMargins(Margin, Margin, Margin, Margin);
    column->setSpacing(Spacing);
    column->setSizeConstraint(QLayout::SetFixedSize);
    placeholder = new QLabel(texts.text(TrayTexts::Key::NoButtons), this);
    placeholder->setAlignment(Qt::AlignCenter);
    placeholder->setMinimumSize(Columns * ButtonSize + (Columns - 1) * Spacing, ButtonSize);
    column->addWidget(placeholder);
}

ButtonPanel::~ButtonPanel() = default;

void ButtonPanel::setStandalone(QMenu *menu)
{
    standalone = menu != nullptr;
    const bool wasVisible = isVisible();
    setWindowFlags((standalone ? Qt::Window : Qt::Tool) | Qt::WindowStaysOnTopHint);
    if (standalone && !menuButton) {
        menuButton = new QToolButton(this);
        menuButton->setIcon(IconLibrary::lineIcon(QStringLiteral("menu"), palette().buttonText().color()));
        menuButton->setIconSize(QSize(IconSize / 2, IconSize / 2));
        menuButton->setToolTip(texts.text(TrayTexts::Key::Menu));
        menuButton->setAccessibleName(menuButton->toolTip());
        menuButton->setPopupMode(QToolButton::InstantPopup);
        column->addWidget(menuButton, 0, Qt::AlignRight);
    }
    if (menuButton) {
        menuButton->setMenu(menu);
        menuButton->setVisible(standalone);
    }
    // New window flags hide a window.
    if (wasVisible)
        show();
}

void ButtonPanel::addClient(DriverClient *client)
{
    Group group;
    group.client = client;
    group.line = new QFrame(this);
    static_cast<QFrame *>(group.line)->setFrameShape(QFrame::HLine);
    group.box = new QWidget(this);
    group.grid = new QGridLayout(group.box);
    group.grid->setContentsMargins(0, 0, 0, 0);
    group.grid->setSpacing(Spacing);
    // Below the earlier clients' buttons, above the placeholder and menu.
    const int at = column->indexOf(placeholder);
    column->insertWidget(at, group.line);
    column->insertWidget(at + 1, group.box);
    groups.push_back(group);

    connect(client, &DriverClient::buttonAdded, this, [this, client](int buttonId) { buttonAdded(client, buttonId); });
    connect(client, &DriverClient::gone, this, [this, client] { clientGone(client); });
    refresh();
}

QToolButton *ButtonPanel::makeButton(int buttonId)
{
    auto *button = new QToolButton(this);
    button->setFixedSize(ButtonSize, ButtonSize);
    const auto meaning = OemButtonCatalog::find(buttonId);
    QString name;
    if (meaning) {
        button->setIcon(IconLibrary::lineIcon(QString::fromLatin1(meaning->icon), palette().buttonText().color()));
        button->setIconSize(QSize(IconSize, IconSize));
        name = texts.text(meaning->name);
    } else {
        button->setText(QString::number(buttonId));
        QFont font = button->font();
        font.setBold(true);
        button->setFont(font);
        name = texts.text(TrayTexts::Key::ButtonNumber).arg(buttonId);
    }
    button->setToolTip(name);
    button->setAccessibleName(name);
    button->setProperty("oemButtonId", buttonId);
    return button;
}

void ButtonPanel::buttonAdded(DriverClient *client, int buttonId)
{
    const auto group = std::find_if(groups.begin(), groups.end(), [client](const Group &g) { return g.client == client; });
    if (group == groups.end())
        return;
    QToolButton *button = makeButton(buttonId);
    connect(button, &QToolButton::clicked, this, [client = QPointer<DriverClient>(client), buttonId] {
        if (client)
            client->pressButton(buttonId);
    });
    // The grid holds the group's buttons and nothing else.
    const int count = group->grid->count();
    group->grid->addWidget(button, count / Columns, count % Columns);
    refresh();
}

void ButtonPanel::clientGone(DriverClient *client)
{
    const auto group = std::find_if(groups.begin(), groups.end(), [client](const Group &g) { return g.client == client; });
    if (group == groups.end())
        return;
    delete group->line;
    delete group->box;
    groups.erase(group);
    refresh();
}

bool ButtonPanel::hasButtons() const
{
    return std::any_of(groups.begin(), groups.end(), [](const Group &group) { return group.grid->count() > 0; });
}

QList<QToolButton *> ButtonPanel::buttons() const
{
    QList<QToolButton *> all;
    for (const Group &group : groups)
        for (int i = 0; i < group.grid->count(); ++i)
            all.append(static_cast<QToolButton *>(group.grid->itemAt(i)->widget()));
    return all;
}

void ButtonPanel::refresh()
{
    bool buttonsAbove = false;
    for (const Group &group : groups) {
        const bool shows = group.grid->count() > 0;
        group.box->setVisible(shows);
        group.line->setVisible(shows && buttonsAbove);
        buttonsAbove = buttonsAbove || shows;
    }
    placeholder->setVisible(!buttonsAbove);
    if (buttonsAbove != hadButtons) {
        hadButtons = buttonsAbove;
        emit hasButtonsChanged(buttonsAbove);
    }
}

void ButtonPanel::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (placed)
        return;
    placed = true;
    // The first time near the screen's lower right corner; after that where
    // the user left it.
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        const QSize size = sizeHint();
        move(area.right() - size.width() - CornerDistance, area.bottom() - size.height() - CornerDistance);
    }
}

void ButtonPanel::closeEvent(QCloseEvent *event)
{
    if (standalone) {
        event->ignore();
        showMinimized();
        return;
    }
    QWidget::closeEvent(event);
    emit closedByUser();
}

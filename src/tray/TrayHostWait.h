#pragma once

#include <QObject>
#include <QTimer>

// Qt decides once, when a program first asks for a tray, whether the desktop
// shows StatusNotifierItems over D-Bus (KDE; GNOME with the AppIndicator
// extension) and keeps that answer: a tray program that the session starts
// before the desktop's tray host is up would stay without an icon for good.
// So, when there is a session bus, the icon waits a while for a
// StatusNotifier host to be registered there; without a bus it is ready at
// once. The questions go out asynchronously: the main thread never waits
// for the bus.
class TrayHostWait : public QObject
{
    Q_OBJECT

public:
    static constexpr int PatienceMilliseconds = 10000;
    static constexpr int AskMilliseconds = 250;

    explicit TrayHostWait(QObject *parent = nullptr);

    // ready() follows once: at once (queued) without a session bus, when a
    // host is registered, or when the patience has run out.
    void start();

signals:
    void ready();

private:
    void askForHost();
    void finish();

    QTimer patience;
    QTimer nextQuestion;
    bool done = false;
};

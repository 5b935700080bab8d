#include "TrayHostWait.h"

#include "StatusNotifierHost.h"

#include <QDBusConnection>
#include <QDebug>

TrayHostWait::TrayHostWait(QObject *parent) : QObject(parent)
{
    patience.setSingleShot(true);
    connect(&patience, &QTimer::timeout, this, [this] {
        qDebug() << "<TrayHostWait> No StatusNotifier host came; the desktop's tray, if any, is asked as it is";
        finish();
    });
    nextQuestion.setSingleShot(true);
    connect(&nextQuestion, &QTimer::timeout, this, &TrayHostWait::askForHost);
}

void TrayHostWait::start()
{
    if (!QDBusConnection::sessionBus().isConnected()) {
        QMetaObject::invokeMethod(this, &TrayHostWait::finish, Qt::QueuedConnection);
        return;
    }
    patience.start(PatienceMilliseconds);
    askForHost();
}

void TrayHostWait::askForHost()
{
    if (done)
        return;
    status_notifier::askWhetherAHostIsRegistered(this, [this](bool registered) {
        // No watcher yet, or a watcher without a host: ask again soon.
        if (registered)
            finish();
        else if (!done)
            nextQuestion.start(AskMilliseconds);
    });
}

void TrayHostWait::finish()
{
    if (done)
        return;
    done = true;
    patience.stop();
    nextQuestion.stop();
    emit ready();
}

#pragma once

#include <QString>
#include <QStringList>

#include <mutex>

// Collects every qDebug line while it lives, from any thread, so that tests
// can compare whole log lines.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();

    QStringList lines() const;
    bool contains(const QString &line) const;
    int count(const QString &line) const;
    // Waits (running the event loop) until the line has been logged.
    bool waitFor(const QString &line, int timeoutMs = 5000) const;
    // The lines that contain `fragment`, in order.
    QStringList matching(const QString &fragment) const;
    void clear();

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message);

    mutable std::mutex mutex;
    QStringList captured;
    QtMessageHandler previous = nullptr;
};

#include "LogCapture.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <atomic>

namespace {
std::atomic<LogCapture *> active{nullptr};
std::mutex activeMutex;
} // namespace

LogCapture::LogCapture()
{
    std::lock_guard lock(activeMutex);
    active = this;
    previous = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    std::lock_guard lock(activeMutex);
    qInstallMessageHandler(previous);
    active = nullptr;
}

void LogCapture::handler(QtMsgType, const QMessageLogContext &, const QString &message)
{
    std::lock_guard lock(activeMutex);
    if (LogCapture *capture = active.load()) {
        std::lock_guard captureLock(capture->mutex);
        capture->captured.append(message);
    }
}

QStringList LogCapture::lines() const
{
    std::lock_guard lock(mutex);
    return captured;
}

bool LogCapture::contains(const QString &line) const
{
    return lines().contains(line);
}

int LogCapture::count(const QString &line) const
{
    return static_cast<int>(lines().count(line));
}

bool LogCapture::waitFor(const QString &line, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    while (!contains(line)) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

QStringList LogCapture::matching(const QString &fragment) const
{
    QStringList found;
    for (const QString &line : lines())
        if (line.contains(fragment))
            found.append(line);
    return found;
}

void LogCapture::clear()
{
    std::lock_guard lock(mutex);
    captured.clear();
}

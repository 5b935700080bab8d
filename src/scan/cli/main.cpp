#include "ScanCommand.h"

#include "OcrThreadLimit.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

// Stopping the command (a window's cancel, Ctrl+C) leaves no partial file.
void removeTemporaryFileAndExit(int)
{
    const char *temporary = ScanCommand::temporaryFileToRemove();
    if (temporary[0] != '\0')
        ::unlink(temporary);
    ::_exit(130);
}

} // namespace

int main(int argc, char **argv)
{
    // Before anything else: the OpenMP runtime that Tesseract brings was
    // loaded with this process and has read its thread limit already.
    scan::OcrThreadLimit::restartWithOneThreadIfNeeded(argv);

    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tessel-scan"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TESSEL_VERSION));
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP})
        std::signal(signalNumber, removeTemporaryFileAndExit);

    QString error;
    const auto arguments = ScanCommand::parse(QCoreApplication::arguments(), &error);
    if (!arguments) {
        std::fprintf(stderr, "tessel-scan: %s\n", qPrintable(error));
        return 2;
    }
    return ScanCommand::run(*arguments);
}

#include "ScanCommand.h"

#include "OcrLanguages.h"
#include "OcrThreadLimit.h"
#include "PageCleaner.h"
#include "PageFinder.h"
#include "PageStraightener.h"
#include "SearchablePdfWriter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImageReader>

#include <array>
#include <cstdio>
#include <cstring>

namespace {

// Written before the first page and read by the signal handler, which may
// only use what is already there.
std::array<char, 4096> g_temporaryFile{};

void rememberTemporaryFile(const QString &path)
{
    const QByteArray encoded = QFile::encodeName(path);
    if (static_cast<std::size_t>(encoded.size()) < g_temporaryFile.size()) {
        std::memcpy(g_temporaryFile.data(), encoded.constData(), static_cast<std::size_t>(encoded.size()));
        g_temporaryFile[static_cast<std::size_t>(encoded.size())] = '\0';
    }
}

void printError(const QString &message)
{
    std::fprintf(stderr, "tessel-scan: %s\n", qPrintable(message));
}

QString foundByName(scan::FoundBy foundBy)
{
    switch (foundBy) {
    case scan::FoundBy::Contours:
        return QStringLiteral("outline");
    case scan::FoundBy::Lines:
        return QStringLiteral("edge lines");
    case scan::FoundBy::WholeFrame:
        return QStringLiteral("none (whole picture)");
    }
    return {};
}

// Every image is checked before the long work starts, so that a typing
// error in the last name does not cost the recognition of all the others.
QString unreadableImage(const QStringList &images)
{
    for (const QString &path : images) {
        QImageReader reader(path);
        if (!reader.canRead()) {
            return QStringLiteral("cannot read the image %1 (%2)").arg(path, reader.errorString());
        }
    }
    return {};
}

} // namespace

std::optional<ScanCommand::Arguments> ScanCommand::parse(const QStringList &arguments, QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Finds the page in each photo, straightens and cleans it, recognises its text, and writes all pages "
        "into one searchable PDF."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("IMAGE"), QStringLiteral("Photos of pages, in page order."),
                                 QStringLiteral("IMAGE..."));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("The PDF to write."), QStringLiteral("FILE.pdf"));
    const QCommandLineOption mode(QStringLiteral("mode"),
                                  QStringLiteral("How pages are kept: colour, grey (the default) or bw."),
                                  QStringLiteral("MODE"), QStringLiteral("grey"));
    const QCommandLineOption language(
        QStringLiteral("lang"),
        QStringLiteral("Tesseract languages, such as eng+deu (the default: English and your own language "
                       "where its data is installed)."),
        QStringLiteral("LANGS"));
    const QCommandLineOption prepared(QStringLiteral("prepared"),
                                      QStringLiteral("The images are finished pages: only recognise them."));
    const QCommandLineOption progress(QStringLiteral("progress"),
                                      QStringLiteral("Print \"page N/M\" on standard output as pages are done."));
    parser.addOptions({output, mode, language, prepared, progress});
    parser.process(arguments);

    Arguments result;
    result.images = parser.positionalArguments();
    result.output = parser.value(output);
    result.languages = parser.value(language);
    result.prepared = parser.isSet(prepared);
    result.progress = parser.isSet(progress);
    const auto chosenMode = scan::scanModeFromName(parser.value(mode));
    if (!chosenMode) {
        *error = QStringLiteral("unknown mode \"%1\" (colour, grey or bw)").arg(parser.value(mode));
        return std::nullopt;
    }
    result.mode = *chosenMode;
    if (result.images.isEmpty() || result.output.isEmpty()) {
        *error = QStringLiteral("usage: tessel-scan IMAGE... -o FILE.pdf (see --help)");
        return std::nullopt;
    }
    return result;
}

int ScanCommand::run(const Arguments &arguments)
{
    if (const QString problem = unreadableImage(arguments.images); !problem.isEmpty()) {
        printError(problem);
        return 1;
    }

    scan::SearchablePdfWriter::Options options;
    options.dataFolder = scan::OcrLanguages::dataFolder();
    if (arguments.languages.isEmpty()) {
        const auto choice = scan::OcrLanguages::forLocale(QLocale::system(), options.dataFolder);
        if (!choice.missing.isEmpty()) {
            qInfo().noquote() << "OCR data for" << choice.missing << "is not installed (package tesseract-ocr-"
                                     + QString(choice.missing).replace(u'_', u'-') + "):"
                              << "recognising English only";
        }
        options.languages = choice.languages;
    } else {
        options.languages = arguments.languages.split(u'+', Qt::SkipEmptyParts);
    }
    qInfo().noquote() << "OCR languages:" << options.languages.join(u'+') << "threads:"
                      << scan::OcrThreadLimit::effectiveLimit();

    // Known before the file exists, so that a signal never leaves it behind.
    rememberTemporaryFile(scan::SearchablePdfWriter::temporaryPathFor(arguments.output));
    scan::SearchablePdfWriter writer;
    if (!writer.open(arguments.output, options)) {
        printError(writer.error());
        return 1;
    }

    const scan::PageFinder finder;
    const qsizetype total = arguments.images.size();
    for (qsizetype i = 0; i < total; ++i) {
        const QString &path = arguments.images.at(i);
        QElapsedTimer timer;
        timer.start();
        QImageReader reader(path);
        reader.setAutoTransform(true);
        const QImage photo = reader.read();
        if (photo.isNull()) {
            printError(QStringLiteral("cannot read the image %1 (%2)").arg(path, reader.errorString()));
            return 1;
        }
        QImage page = photo;
        if (!arguments.prepared) {
            const scan::FoundPage found = finder.find(photo);
            page = scan::PageCleaner::clean(scan::PageStraightener::straighten(photo, found.corners), arguments.mode);
            qInfo().noquote() << QStringLiteral("%1: page found by %2, %3x%4")
                                     .arg(QFileInfo(path).fileName(), foundByName(found.foundBy))
                                     .arg(page.width())
                                     .arg(page.height());
        }
        if (!writer.addPage(page)) {
            printError(writer.error());
            return 1;
        }
        qInfo().noquote() << QStringLiteral("%1: recognised in %2 s")
                                 .arg(QFileInfo(path).fileName())
                                 .arg(timer.elapsed() / 1000.0, 0, 'f', 1);
        if (arguments.progress) {
            std::printf("page %lld/%lld\n", static_cast<long long>(i + 1), static_cast<long long>(total));
            std::fflush(stdout);
        }
    }
    if (!writer.finish()) {
        printError(writer.error());
        return 1;
    }
    g_temporaryFile[0] = '\0';
    return 0;
}

const char *ScanCommand::temporaryFileToRemove()
{
    return g_temporaryFile.data();
}

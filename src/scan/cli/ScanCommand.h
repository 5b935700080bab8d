#pragma once

#include "ScanTypes.h"

#include <QString>
#include <QStringList>

#include <optional>

// tessel-scan: photos of pages in, one searchable PDF out. Every page is
// found, straightened, cleaned and recognised in turn, and the document
// appears under its name only when it is complete.
class ScanCommand
{
public:
    struct Arguments
    {
        QStringList images;
        QString output;
        scan::ScanMode mode = scan::ScanMode::Grey;
        QString languages;      // "eng+deu"; empty: English and the user's language
        bool prepared = false;  // the images are finished pages
        bool progress = false;  // "page N/M" lines on standard output
    };

    // The arguments, or a message for standard error (help and version
    // print and exit as usual).
    static std::optional<Arguments> parse(const QStringList &arguments, QString *error);

    // Exit status: 0 when the PDF is written, 1 otherwise, with the reason
    // on standard error.
    static int run(const Arguments &arguments);

    // The file a signal handler removes when the command is stopped.
    static const char *temporaryFileToRemove();
};

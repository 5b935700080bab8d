#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

namespace scan {

// Which of Tesseract's language data to recognise a page with: English,
// plus the user's own language where its data is installed. The programs'
// 19 languages map to Tesseract's names (and to the packages that hold the
// data, tesseract-ocr-<name> with '_' as '-').
class OcrLanguages
{
public:
    struct Choice
    {
        QStringList languages;     // e.g. {"eng", "deu"}
        QString missing;           // the user's language, when its data is not installed
        QString joined() const { return languages.join(u'+'); }
    };

    // Tesseract's name for a locale's language, empty for one we do not map.
    static QString tesseractName(const QLocale &locale);
    // Where the data lies: TESSDATA_PREFIX, else the distribution's folders.
    static QString dataFolder();
    static bool installed(const QString &language, const QString &dataFolder);
    static Choice forLocale(const QLocale &locale, const QString &dataFolder);
};

} // namespace scan

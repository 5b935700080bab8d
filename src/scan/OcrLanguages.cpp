#include "OcrLanguages.h"

#include <QDir>
#include <QFileInfo>

namespace scan {

QString OcrLanguages::tesseractName(const QLocale &locale)
{
    switch (locale.language()) {
    case QLocale::English: return QStringLiteral("eng");
    case QLocale::Danish: return QStringLiteral("dan");
    case QLocale::Dutch: return QStringLiteral("nld");
    case QLocale::French: return QStringLiteral("fra");
    case QLocale::Hungarian: return QStringLiteral("hun");
    case QLocale::Italian: return QStringLiteral("ita");
    case QLocale::NorwegianBokmal: return QStringLiteral("nor");
    case QLocale::Polish: return QStringLiteral("pol");
    case QLocale::Portuguese: return QStringLiteral("por");
    case QLocale::Russian: return QStringLiteral("rus");
    case QLocale::Swedish: return QStringLiteral("swe");
    case QLocale::Arabic: return QStringLiteral("ara");
    case QLocale::Japanese: return QStringLiteral("jpn");
    case QLocale::Finnish: return QStringLiteral("fin");
    case QLocale::German: return QStringLiteral("deu");
    case QLocale::Spanish: return QStringLiteral("spa");
    case QLocale::Catalan: return QStringLiteral("cat");
    case QLocale::Chinese:
        return locale.script() == QLocale::TraditionalChineseScript ? QStringLiteral("chi_tra")
                                                                     : QStringLiteral("chi_sim");
    default: return {};
    }
}

QString OcrLanguages::dataFolder()
{
    const QString fromEnvironment = qEnvironmentVariable("TESSDATA_PREFIX");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    // Debian 12 (Tesseract 5), Debian's older layout, and Fedora.
    for (const char *folder : {"/usr/share/tesseract-ocr/5/tessdata", "/usr/share/tesseract-ocr/4.00/tessdata",
                               "/usr/share/tesseract/tessdata"}) {
        if (QFileInfo::exists(QString::fromLatin1(folder) + QStringLiteral("/eng.traineddata")))
            return QString::fromLatin1(folder);
    }
    return QStringLiteral("/usr/share/tesseract-ocr/5/tessdata");
}

bool OcrLanguages::installed(const QString &language, const QString &dataFolder)
{
    return QFileInfo::exists(QDir(dataFolder).filePath(language + QStringLiteral(".traineddata")));
}

OcrLanguages::Choice OcrLanguages::forLocale(const QLocale &locale, const QString &dataFolder)
{
    Choice choice;
    choice.languages << QStringLiteral("eng");
    const QString own = tesseractName(locale);
    if (own.isEmpty() || own == QStringLiteral("eng"))
        return choice;
    if (installed(own, dataFolder))
        choice.languages << own;
    else
        choice.missing = own;
    return choice;
}

} // namespace scan

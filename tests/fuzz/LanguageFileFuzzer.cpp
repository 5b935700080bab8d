// Language files of any content: loading, language selection and caption
// lookups must neither crash nor leak.
#include "config/UserInterfaceController.h"

#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static QTemporaryDir directory;
    static const char *const locales[] = {"en_US", "de_DE", "ar_SA", "fr_FR", "en_GB", "zh_TW"};
    const QString path = directory.filePath(QStringLiteral("Brivara Tessel.xml"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size));
    }
    const char *locale = locales[size % (sizeof locales / sizeof *locales)];
    UserInterfaceController texts(path, QString::fromLatin1(locale));
    (void)texts.isRightToLeft();

    static const char *const keys[] = {"Watchdog_Application",
                                       "Tessel_Dialog_Caption/IDS_TESSEL_INSTANCE_RUNNING",
                                       "Watchdog_Application/IDS_TESSEL_TURN_ON",
                                       "Watchdog_Application/IDS_TESSEL_TURN_OFF",
                                       "Watchdog_Application/IDS_TESSEL_WEBSITE_URL",
                                       "/", "a//b/", ""};
    for (const char *key : keys) {
        QString text;
        texts.getCaption(QString::fromLatin1(key), text);
    }
    // A key path made of the input's own text.
    QString text;
    texts.getCaption(QString::fromUtf8(reinterpret_cast<const char *>(data),
                                       static_cast<qsizetype>(std::min<std::size_t>(size, 64))),
                     text);
    return 0;
}

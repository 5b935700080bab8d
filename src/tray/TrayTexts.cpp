#include "TrayTexts.h"

#include "config/UserInterfaceController.h"

QString TrayTexts::text(const char *key, const char *english) const
{
    return lookUp(QStringLiteral("Driver_Tray/") + QLatin1String(key), english);
}

QString TrayTexts::title() const
{
    return lookUp(QStringLiteral("Driver_Tray"), "Brivara Tessel");
}

QString TrayTexts::lookUp(const QString &keyPath, const char *english) const
{
    QString found;
    if (source && source->getCaption(keyPath, found) && !found.isEmpty())
        return found;
    return QString::fromUtf8(english);
}

#include "UserInterfaceController.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocale>

UserInterfaceController *UserInterfaceController::singleton = nullptr;

UserInterfaceController *UserInterfaceController::instance()
{
    if (!singleton)
        singleton = new UserInterfaceController(defaultLanguageFilePath(), QLocale::system().name());
    return singleton;
}

QString UserInterfaceController::defaultLanguageFilePath()
{
    return languageFilePath(QCoreApplication::applicationDirPath(), QStringLiteral("/etc/fedora-release"));
}

QString UserInterfaceController::languageFilePath(const QString &programDirectory, const QString &fedoraRelease)
{
    const QString name = QFile::exists(fedoraRelease) ? QStringLiteral("/BrivaraDriver_Fedora.xml")
                                                      : QStringLiteral("/Brivara Tessel.xml");
    return programDirectory + name;
}

UserInterfaceController::UserInterfaceController(const QString &languageFilePath,
                                                 const QString &localeName)
{
    fillLocaleTable();
    document.loadFile(languageFilePath);
    selectLanguage(localeName);
}

UserInterfaceController::~UserInterfaceController()
{
    XmlDocument::releaseNode(languageNode);
    if (singleton == this)
        singleton = nullptr;
}

void UserInterfaceController::fillLocaleTable()
{
    // Qt locale name -> Windows language id, as the language file writes it.
    localeTable.insert(QStringLiteral("en_US"), QStringLiteral("0409"));
    localeTable.insert(QStringLiteral("da_DK"), QStringLiteral("0406"));
    localeTable.insert(QStringLiteral("nl_BE"), QStringLiteral("0813"));
    localeTable.insert(QStringLiteral("fr_FR"), QStringLiteral("040C"));
    localeTable.insert(QStringLiteral("hu_HU"), QStringLiteral("040E"));
    localeTable.insert(QStringLiteral("it_IT"), QStringLiteral("0410"));
    localeTable.insert(QStringLiteral("nb_NO"), QStringLiteral("0414"));
    localeTable.insert(QStringLiteral("pl_PL"), QStringLiteral("0415"));
    localeTable.insert(QStringLiteral("pt_BR"), QStringLiteral("0416"));
    localeTable.insert(QStringLiteral("ru_RU"), QStringLiteral("0419"));
    localeTable.insert(QStringLiteral("sv_SE"), QStringLiteral("041D"));
    localeTable.insert(QStringLiteral("ar_SA"), QStringLiteral("0401"));
    localeTable.insert(QStringLiteral("ja_JP"), QStringLiteral("0411"));
    localeTable.insert(QStringLiteral("fi_FI"), QStringLiteral("040B"));
    localeTable.insert(QStringLiteral("de_DE"), QStringLiteral("0407"));
    localeTable.insert(QStringLiteral("es_ES"), QStringLiteral("0C0A"));
    localeTable.insert(QStringLiteral("zh_CN"), QStringLiteral("0804"));
    localeTable.insert(QStringLiteral("zh_TW"), QStringLiteral("0404"));
    localeTable.insert(QStringLiteral("ca_ES"), QStringLiteral("0403"));
}

void UserInterfaceController::selectLanguage(const QString &localeName)
{
    const QString language = QStringLiteral("Language");
    const QString languageId = QStringLiteral("langId");
    const auto found = localeTable.constFind(localeName);
    if (found == localeTable.constEnd()) {
        // A locale we have no texts for gets English, always left to right.
        languageNode = document.findElementByAttribute(language, languageId,
                                                       localeTable.value(QStringLiteral("en_US")));
        return;
    }
    languageNode = document.findElementByAttribute(language, languageId, found.value());
    QString direction;
    document.getAttributeValue(languageNode.get(), QStringLiteral("righttoleft"), direction);
    rightToLeft = direction.toInt() != 0;
}

bool UserInterfaceController::isRightToLeft() const
{
    return rightToLeft;
}

bool UserInterfaceController::getCaption(const QString &keyPath, QString &text) const
{
    XmlDocument::NodeHandle walked; // the current node when it is not languageNode
    const QDomNode *current = languageNode.get();
    XmlDocument::NodeHandle found;

    QString remaining = keyPath;
    while (!remaining.isEmpty()) {
        const qsizetype slash = remaining.indexOf(QLatin1Char('/'));
        if (slash < 0) {
            found = document.getChildNode(current, remaining);
            remaining.clear();
            continue;
        }
        XmlDocument::NodeHandle child = document.getChildNode(current, remaining.left(slash));
        if (child) {
            walked = std::move(child);
            current = walked.get();
        }
        remaining = remaining.mid(slash + 1);
    }

    if (!found)
        return false;
    document.getAttributeValue(found.get(), QStringLiteral("caption"), text);
    XmlDocument::releaseNode(found);
    XmlDocument::releaseNode(walked);
    return true;
}

QString UserInterfaceController::captionOr(const QString &keyPath, const QString &fallback) const
{
    QString text;
    if (getCaption(keyPath, text) && !text.isEmpty())
        return text;
    return fallback;
}

#pragma once

#include "XmlDocument.h"

#include <QMap>
#include <QString>

// The watchdog's texts: reads the language file beside the program once,
// picks the language of the system locale and answers caption lookups by key
// path ("Watchdog_Application/IDS_TESSEL_TURN_ON").
class UserInterfaceController
{
public:
    // The singleton, reading the language file on first use. A
    // QCoreApplication must exist.
    static UserInterfaceController *instance();

    // Reads `languageFilePath` and selects the language of `localeName`
    // ("de_DE"); used by instance() and by tests.
    UserInterfaceController(const QString &languageFilePath, const QString &localeName);
    // Deleting the singleton (the controller does at its end) lets the next
    // instance() read the file again.
    virtual ~UserInterfaceController();

    UserInterfaceController(const UserInterfaceController &) = delete;
    UserInterfaceController &operator=(const UserInterfaceController &) = delete;

    bool isRightToLeft() const;
    // True when an element was found for the key; `text` then holds its
    // caption (unchanged when the element has none). A level of the path
    // that is missing is skipped and the rest looked for one level higher.
    bool getCaption(const QString &keyPath, QString &text) const;
    // The caption of keyPath, or `fallback` when there is none to show: no
    // such element, or one whose caption is missing or empty.
    QString captionOr(const QString &keyPath, const QString &fallback) const;

    // The language file of this program: beside the program, under the
    // Fedora name on Fedora.
    static QString defaultLanguageFilePath();
    // The same for a program in programDirectory, on a host that counts as
    // Fedora when the file fedoraRelease exists.
    static QString languageFilePath(const QString &programDirectory, const QString &fedoraRelease);

private:
    void fillLocaleTable();
    void selectLanguage(const QString &localeName);

    static UserInterfaceController *singleton;

    XmlDocument document;
    XmlDocument::NodeHandle languageNode;
    QMap<QString, QString> localeTable;
    bool rightToLeft = false;
};

#pragma once

#include <QString>

// One text of a program's section in the language file: its key below the
// section, and the English it falls back on.
struct TextEntry
{
    const char *name; // empty: the section's own caption
    const char *english;

    // The key path in the language file ("Driver_Tray/IDS_PANEL").
    QString keyPath(const char *section) const
    {
        const QString sectionName = QString::fromLatin1(section);
        return *name ? sectionName + QLatin1Char('/') + QString::fromLatin1(name) : sectionName;
    }
    QString englishText() const { return QString::fromUtf8(english); }
};

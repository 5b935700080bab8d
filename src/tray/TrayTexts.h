#pragma once

#include <QString>

class UserInterfaceController;

// The tray program's texts: the keys of the language file's Driver_Tray
// section. A text the file lacks (no file, an old file, a language without
// the key) falls back to English, so that no menu entry or button is ever
// left without words.
class TrayTexts
{
public:
    // Without a source every text is the English one.
    explicit TrayTexts(const UserInterfaceController *source = nullptr) : source(source) {}

    // The text of Driver_Tray/<key>.
    QString text(const char *key, const char *english) const;
    // The program's title: the caption of the Driver_Tray section itself.
    QString title() const;

private:
    QString lookUp(const QString &keyPath, const char *english) const;

    const UserInterfaceController *source;
};

#pragma once

#include <QString>

class UserInterfaceController;

// The tray program's texts: the keys of the language file's Driver_Tray
// section, each with its English. A text the file lacks (no file, an old
// file, a language without the key) falls back to English, so that no menu
// entry or button is ever left without words.
class TrayTexts
{
public:
    enum class Key {
        Title, // the caption of the Driver_Tray section itself
        Panel,
        Quit,
        Menu,
        NoProgram,
        Connected,
        NoButtons,
        UnnamedItem,
        ButtonNumber,
        PortInUse,
        NoPermission,
        AlreadyRunning,
        NoTrayNotice,
        // The OEM buttons whose meaning the panel knows (OemButtonCatalog).
        Oem93,
        Oem94,
        Oem116,
        Oem139,
        Oem140,
        Oem141,
        Oem162,
        Oem163,
        Oem164,
        Oem23,
    };
    static constexpr int KeyCount = static_cast<int>(Key::Oem23) + 1;

    // Without a source every text is the English one.
    explicit TrayTexts(const UserInterfaceController *source = nullptr) : source(source) {}

    QString text(Key key) const;
    QString title() const { return text(Key::Title); }

    // The key path in the language file ("Driver_Tray/IDS_PANEL").
    static QString keyPath(Key key);
    static QString english(Key key);

private:
    const UserInterfaceController *source;
};

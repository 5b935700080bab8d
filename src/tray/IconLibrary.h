#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

// The program's SVG icons (compiled into it), drawn at the sizes a tray, a
// menu and the panel ask for. The line icons are drawn in a colour of the
// caller's choice, so that they stay readable on a dark theme as on a light
// one. Qt's SVG library draws them, so no image plugin needs to be present.
class IconLibrary
{
public:
    // The colour the line icons are drawn with in their files.
    static constexpr const char *Ink = "#2e3436";

    // A line icon (the OEM buttons, the menu), drawn in `ink`; a null icon
    // for a name it does not have.
    static QIcon lineIcon(const QString &name, const QColor &ink);
    // The program's own icon, in its colours (the tray, the panel's title).
    static QIcon applicationIcon();

private:
    static QIcon draw(const QByteArray &svg);
};

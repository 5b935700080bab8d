#include "IconLibrary.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace {

// What trays, menus and the panel ask for, at 1x and 2x.
constexpr int Sizes[] = {16, 22, 24, 32, 48, 64, 96, 128};

QByteArray readResource(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Pixmaps must go while the application that made them still exists, not
// among the static destructors after it.
QHash<QString, QIcon> &drawnIcons()
{
    static QHash<QString, QIcon> icons;
    return icons;
}

void forgetDrawnIcons()
{
    drawnIcons().clear();
}

// Every panel button of a kind shows the same icon, and the tray and the
// panel the same application icon: each is drawn once, at all its sizes, and
// shared. Only the GUI thread draws.
template<typename Make>
QIcon drawnOnce(const QString &key, Make make)
{
    QHash<QString, QIcon> &icons = drawnIcons();
    if (const auto found = icons.constFind(key); found != icons.constEnd())
        return *found;
    const QIcon icon = make();
    if (icons.isEmpty())
        qAddPostRoutine(forgetDrawnIcons);
    icons.insert(key, icon);
    return icon;
}

} // namespace

QIcon IconLibrary::lineIcon(const QString &name, const QColor &ink)
{
    const QString inkName = ink.name(QColor::HexRgb);
    return drawnOnce(name + QLatin1Char(' ') + inkName, [&name, &inkName] {
        QByteArray svg = readResource(QStringLiteral(":/tray/icons/%1.svg").arg(name));
        if (svg.isEmpty())
            return QIcon();
        svg.replace(QByteArrayView(Ink), inkName.toLatin1());
        return draw(svg);
    });
}

QIcon IconLibrary::applicationIcon()
{
    // In its own colours: no ink in the key.
    return drawnOnce(QStringLiteral("brivaradriver"),
                     [] { return draw(readResource(QStringLiteral(":/tray/icons/brivaradriver.svg"))); });
}

QIcon IconLibrary::draw(const QByteArray &svg)
{
    QSvgRenderer renderer(svg);
    if (!renderer.isValid())
        return {};
    QIcon icon;
    for (const int size : Sizes) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

#include "IconLibrary.h"

#include <QFile>
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

} // namespace

QIcon IconLibrary::lineIcon(const QString &name, const QColor &ink)
{
    QByteArray svg = readResource(QStringLiteral(":/tray/icons/%1.svg").arg(name));
    if (svg.isEmpty())
        return {};
    svg.replace(QByteArrayView(Ink), ink.name(QColor::HexRgb).toLatin1());
    return draw(svg);
}

QIcon IconLibrary::applicationIcon()
{
    return draw(readResource(QStringLiteral(":/tray/icons/brivaradriver.svg")));
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

#include "ScanPages.h"

#include <QTransform>

ScanPages::ScanPages(QObject *parent) : QObject(parent) {}

void ScanPages::add(const QImage &page)
{
    if (page.isNull())
        return;
    pages.append(page);
    changedNow();
}

bool ScanPages::move(int from, int to)
{
    if (!valid(from) || !valid(to))
        return false;
    if (from != to) {
        pages.move(from, to);
        changedNow();
    }
    return true;
}

bool ScanPages::remove(int index)
{
    if (!valid(index))
        return false;
    pages.removeAt(index);
    changedNow();
    return true;
}

bool ScanPages::rotate(int index)
{
    if (!valid(index))
        return false;
    pages[index] = pages[index].transformed(QTransform().rotate(90));
    changedNow();
    return true;
}

void ScanPages::clear()
{
    if (pages.isEmpty())
        return;
    pages.clear();
    changedNow();
}

void ScanPages::changedNow()
{
    ++changes;
    emit changed();
}

void ScanPages::markSaved(int savedRevision)
{
    revisionSaved = savedRevision;
    emit saved();
}

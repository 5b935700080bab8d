#pragma once

#include <QImage>
#include <QObject>
#include <QList>

// The pages kept so far, straightened and cleaned, in the order the PDF
// gets them. The window's page list shows them; every change says so.
class ScanPages : public QObject
{
    Q_OBJECT

public:
    explicit ScanPages(QObject *parent = nullptr);

    int count() const { return int(pages.size()); }
    const QImage &page(int index) const { return pages.at(index); }
    void add(const QImage &page);
    // Each returns false (and changes nothing) for an index out of range.
    bool move(int from, int to);
    bool remove(int index);
    // A quarter turn clockwise, for a page photographed sideways.
    bool rotate(int index);
    void clear();

signals:
    void changed();

private:
    bool valid(int index) const { return index >= 0 && index < count(); }

    QList<QImage> pages;
};

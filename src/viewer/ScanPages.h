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

    // Every change counts one revision. A PDF written from the pages as they
    // stood at a revision makes them saved, until the next change.
    int revision() const { return changes; }
    void markSaved(int savedRevision);
    // What closing the window would lose: pages changed since the last PDF.
    bool unsaved() const { return !pages.isEmpty() && changes != revisionSaved; }

signals:
    void changed();
    // A PDF now holds the pages as they stood at a revision.
    void saved();

private:
    bool valid(int index) const { return index >= 0 && index < count(); }
    void changedNow();

    QList<QImage> pages;
    int changes = 0;
    int revisionSaved = 0;
};

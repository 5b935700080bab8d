#pragma once

#include "ScanTexts.h"

#include <QWidget>

class QListWidget;
class QPushButton;
class ScanPages;

// The page list beside the picture: a thumbnail a page, reordered by
// dragging or by Move up / Move down, turned, deleted; and the buttons that
// save the pages as a PDF (the panel only asks; scan mode saves).
class ScanPagesPanel : public QWidget
{
    Q_OBJECT

public:
    static constexpr int ThumbnailSize = 96;

    ScanPagesPanel(const ScanTexts &texts, ScanPages &pages, QWidget *parent = nullptr);

    QListWidget *list() const { return pageList; }
    int selectedPage() const;
    // Saving runs: the save buttons wait.
    void setSaving(bool saving);

signals:
    void saveRequested();
    void saveAsRequested();

private:
    void refresh();
    void onRowsMoved(int from, int to);

    ScanPages &pages;
    QListWidget *pageList = nullptr;
    QPushButton *saveButton = nullptr;
    QPushButton *saveAsButton = nullptr;
    bool saving = false;
};

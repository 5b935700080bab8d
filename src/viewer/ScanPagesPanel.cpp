#include "ScanPagesPanel.h"

#include "ScanPages.h"

#include <QGridLayout>
#include <QListWidget>
#include <QPushButton>

#include <algorithm>

using Key = ScanTexts::Key;

ScanPagesPanel::ScanPagesPanel(const ScanTexts &texts, ScanPages &pages, QWidget *parent) : QWidget(parent), pages(pages)
{
    auto *layout = new QGridLayout(this);
    pageList = new QListWidget(this);
    pageList->setViewMode(QListView::ListMode);
    pageList->setIconSize(QSize(ThumbnailSize, ThumbnailSize));
    pageList->setSelectionMode(QAbstractItemView::SingleSelection);
    pageList->setDragDropMode(QAbstractItemView::InternalMove);
    pageList->setDefaultDropAction(Qt::MoveAction);
    layout->addWidget(pageList, 0, 0, 1, 2);
    // A drag moves the list's row; the pages follow, and the list is then
    // rebuilt from them, after the view has finished its own move.
    connect(pageList->model(), &QAbstractItemModel::rowsMoved, this,
            [this](const QModelIndex &, int start, int, const QModelIndex &, int row) {
                onRowsMoved(start, row > start ? row - 1 : row);
            }, Qt::QueuedConnection);

    auto button = [&](Key key, const char *name, int row, int column, auto handler) {
        auto *pushButton = new QPushButton(texts.text(key), this);
        pushButton->setObjectName(QLatin1String(name));
        connect(pushButton, &QPushButton::clicked, this, handler);
        layout->addWidget(pushButton, row, column);
        return pushButton;
    };
    button(Key::MoveUp, "moveUp", 1, 0, [this] {
        const int index = selectedPage();
        if (this->pages.move(index, index - 1))
            pageList->setCurrentRow(index - 1);
    });
    button(Key::MoveDown, "moveDown", 1, 1, [this] {
        const int index = selectedPage();
        if (this->pages.move(index, index + 1))
            pageList->setCurrentRow(index + 1);
    });
    button(Key::RotatePage, "rotatePage", 2, 0, [this] {
        const int index = selectedPage();
        if (this->pages.rotate(index))
            pageList->setCurrentRow(index);
    });
    button(Key::DeletePage, "deletePage", 2, 1, [this] {
        const int index = selectedPage();
        if (this->pages.remove(index))
            pageList->setCurrentRow(std::min(index, this->pages.count() - 1));
    });
    saveButton = button(Key::SavePdf, "savePdf", 3, 0, [this] { emit saveRequested(); });
    saveAsButton = button(Key::SavePdfAs, "savePdfAs", 3, 1, [this] { emit saveAsRequested(); });
    connect(&pages, &ScanPages::changed, this, &ScanPagesPanel::refresh);
    refresh();
}

int ScanPagesPanel::selectedPage() const
{
    return pageList->currentRow();
}

void ScanPagesPanel::setSaving(bool on)
{
    saving = on;
    refresh();
}

void ScanPagesPanel::onRowsMoved(int from, int to)
{
    if (!pages.move(from, to) || from == to)
        refresh(); // the list shows the pages' order, whatever the view did
    pageList->setCurrentRow(std::clamp(to, 0, pages.count() - 1));
}

void ScanPagesPanel::refresh()
{
    const int current = pageList->currentRow();
    pageList->clear();
    for (int index = 0; index < pages.count(); ++index) {
        const QImage thumbnail = pages.page(index).scaled(ThumbnailSize, ThumbnailSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        pageList->addItem(new QListWidgetItem(QIcon(QPixmap::fromImage(thumbnail)), QString::number(index + 1)));
    }
    pageList->setCurrentRow(std::min(current, pages.count() - 1));
    const bool any = pages.count() > 0;
    saveButton->setEnabled(any && !saving);
    saveAsButton->setEnabled(any && !saving);
}

#include "filelist.h"

#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>

#include <algorithm>

namespace quillivar {

QCursor CursorFromFile(const QString& path, const QCursor& fallback) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return fallback;
    const QByteArray header = file.read(22);
    const QPixmap image(path);
    if (image.isNull() || header.size() < 22) return fallback;
    const auto word = [&](int at) {
        return static_cast<int>(static_cast<unsigned char>(header[at])) |
               (static_cast<int>(static_cast<unsigned char>(header[at + 1])) << 8);
    };
    const bool isCursor = word(2) == 2;
    return isCursor ? QCursor(image, word(10), word(12)) : QCursor(image, 0, 0);
}

FileList::FileList(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(0);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAutoScroll(false);  // dragging scrolls by the list's own rule
    header()->setStretchLastSection(false);
    setAcceptDrops(true);
    viewport()->setMouseTracking(true);
    connect(this, &QTreeWidget::itemPressed, this, [this](QTreeWidgetItem* item) { ListView1_ItemClick(item); });
}

void FileList::AddFileRow(const QString& path) { addTopLevelItem(new QTreeWidgetItem({path})); }

void FileList::AddFileRows(const QStringList& paths) {
    QList<QTreeWidgetItem*> rows;
    rows.reserve(paths.size());
    for (const QString& path : paths) rows << new QTreeWidgetItem({path});
    addTopLevelItems(rows);
}

QStringList FileList::RowTexts() const {
    QStringList texts;
    for (int row = 0; row < topLevelItemCount(); ++row) texts << topLevelItem(row)->text(0);
    return texts;
}

bool FileList::IsInFileList(const QString& text) const { return RowTexts().contains(text); }

bool FileList::viewportEvent(QEvent* event) {
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDropEvent*>(event);
            if (ListView1_OLEDragOver(drag->mimeData())) {
                // Always a copy, whatever the file manager proposed: a move would let it
                // delete the user's documents once they are dropped.
                drag->setDropAction(Qt::CopyAction);
                drag->accept();
            } else {
                drag->ignore();
            }
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            ListView1_OLEDragDrop(drop->mimeData());
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            return true;
        }
        case QEvent::MouseButtonPress: ListView1_MouseDown(); break;
        case QEvent::MouseMove: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            ListView1_MouseMove(mouse->position().toPoint(), static_cast<int>(mouse->globalPosition().y()));
            break;
        }
        case QEvent::MouseButtonRelease: ListView1_MouseUp(); break;
        case QEvent::MouseButtonDblClick: {
            // A left double-click on a row removes that row; anywhere else it does nothing.
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton && itemAt(mouse->position().toPoint())) RemoveSelectedRow();
            break;
        }
        default: break;
    }
    return QTreeWidget::viewportEvent(event);
}

void FileList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete) {
        RemoveSelectedRow();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void FileList::ListView1_MouseDown() { dragButtonDown_ = true; }

void FileList::ListView1_ItemClick(QTreeWidgetItem* item) {
    if (QFile::exists(dragPointerFile_)) viewport()->setCursor(CursorFromFile(dragPointerFile_, viewport()->cursor()));
    draggedRow_ = indexFromItem(item);
}

void FileList::ListView1_MouseUp() {
    dragButtonDown_ = false;
    viewport()->setCursor(Qt::ArrowCursor);
}

void FileList::ListView1_MouseMove(const QPoint& position, int screenY) {
    emit pointerMoved();
    if (!dragButtonDown_) return;
    QTreeWidgetItem* hovered = itemAt(position);
    if (!hovered || !draggedRow_.isValid()) return;
    QTreeWidgetItem* dragged = topLevelItem(draggedRow_.row());
    if (hovered->text(0) == dragged->text(0)) return;
    const QString draggedText = dragged->text(0);
    dragged->setText(0, hovered->text(0));
    hovered->setText(0, draggedText);
    setCurrentItem(hovered);
    draggedRow_ = indexFromItem(hovered);
    const int hoveredRow = indexOfTopLevelItem(hovered);
    if (screenY < 305 && hoveredRow > 0) {
        scrollToItem(topLevelItem(hoveredRow - 1));
    } else if (screenY >= 365 && hoveredRow + 1 < topLevelItemCount()) {
        scrollToItem(topLevelItem(hoveredRow + 1));
    }
}

void FileList::RemoveSelectedRow() {
    if (busy_ || topLevelItemCount() == 0) return;
    const QList<QTreeWidgetItem*> selected = selectedItems();
    if (selected.isEmpty()) return;
    delete takeTopLevelItem(indexOfTopLevelItem(selected.first()));
}

// Drops: files and folders from a file manager, given as local file URLs; nothing else.
bool FileList::ListView1_OLEDragOver(const QMimeData* data) const {
    const QList<QUrl> urls = data->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

void FileList::ListView1_OLEDragDrop(const QMimeData* data) {
    QStringList paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) paths << url.toLocalFile();
    }
    if (!paths.isEmpty()) emit pathsDropped(paths);
}

}  // namespace quillivar

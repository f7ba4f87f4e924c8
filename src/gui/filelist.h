#pragma once
// ListView1, the list of documents: one row per document, its full path as text. Rows are
// added at the end, moved by dragging one over another, removed by Delete or a double-click,
// and files and folders dropped from a file manager are handed to the window to add.

#include <QCursor>
#include <QPersistentModelIndex>
#include <QProgressBar>
#include <QTreeWidget>

class QMimeData;

namespace quillivar {

class FileList : public QTreeWidget {
    Q_OBJECT

public:
    explicit FileList(QWidget* parent);

    void AddFileRow(const QString& path);
    void AddFileRows(const QStringList& paths);
    QStringList RowTexts() const;
    bool IsInFileList(const QString& text) const;
    // While the window is busy, rows are not removed.
    void SetBusy(bool busy) { busy_ = busy; }
    // The pointer shown while a row is dragged (a cursor or icon file; none when missing).
    void SetDragPointerFile(const QString& path) { dragPointerFile_ = path; }
    void RemoveSelectedRow();

signals:
    // Local files and folders dropped on the list, in the drag data's order.
    void pathsDropped(const QStringList& paths);
    // The pointer moved over the list: the window's arrow rule applies.
    void pointerMoved();

protected:
    bool viewportEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ListView1_MouseDown();
    void ListView1_ItemClick(QTreeWidgetItem* item);
    void ListView1_MouseMove(const QPoint& position, int screenY);
    void ListView1_MouseUp();
    bool ListView1_OLEDragOver(const QMimeData* data) const;
    void ListView1_OLEDragDrop(const QMimeData* data);

    bool busy_ = false;
    bool dragButtonDown_ = false;
    QPersistentModelIndex draggedRow_;
    QString dragPointerFile_;
};

// ProgressBar1: its text is the status as given, "%" and all (a QProgressBar would read
// "%p", "%v" and "%m" in it as placeholders).
class StatusProgressBar : public QProgressBar {
public:
    using QProgressBar::QProgressBar;
    QString text() const override { return format(); }
};

// A cursor file (.cur) keeps its hot spot where an icon keeps its colour count.
QCursor CursorFromFile(const QString& path, const QCursor& fallback);

}  // namespace quillivar

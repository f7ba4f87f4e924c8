// The file list: adding through the open dialog, removing, clearing and drag-reordering.

#include "windowfixture.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTreeWidget>

using namespace quillivar;
using namespace quillivar::test;

namespace {

QTreeWidget* List(const Window& window) { return window.Find<QTreeWidget>("ListView1"); }

QPoint RowCentre(const Window& window, int row) {
    QTreeWidget* list = List(window);
    return list->visualItemRect(list->topLevelItem(row - 1)).center();
}

void Send(QWidget* viewport, QEvent::Type type, QPoint position, Qt::MouseButtons buttons, int screenY) {
    const QPointF global(viewport->mapToGlobal(QPointF(position)).x(), screenY);
    QMouseEvent event(type, QPointF(position), global, type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      buttons, Qt::NoModifier);
    QApplication::sendEvent(viewport, &event);
}

// A click on a row picks it for dragging.
void ClickRow(const Window& window, int row) {
    QWidget* viewport = List(window)->viewport();
    Send(viewport, QEvent::MouseButtonPress, RowCentre(window, row), Qt::LeftButton, 330);
    Send(viewport, QEvent::MouseButtonRelease, RowCentre(window, row), Qt::NoButton, 330);
}

void Press(const Window& window, int row) {
    Send(List(window)->viewport(), QEvent::MouseButtonPress, RowCentre(window, row), Qt::LeftButton, 330);
}

void DragOver(const Window& window, int row, int screenY = 330) {
    Send(List(window)->viewport(), QEvent::MouseMove, RowCentre(window, row), Qt::LeftButton, screenY);
}

void Release(const Window& window, int row) {
    Send(List(window)->viewport(), QEvent::MouseButtonRelease, RowCentre(window, row), Qt::NoButton, 330);
}

Window& Loaded(Window& window, const QStringList& rows) {
    window.Load();
    window.form->show();
    for (const QString& row : rows) window.form->AddFileRow(row);
    return window;
}

const QStringList kRows = {"/d/1.doc", "/d/2.doc", "/d/3.doc", "/d/4.doc", "/d/5.doc", "/d/6.doc"};

}  // namespace

class FileListTest : public QObject {
    Q_OBJECT

private slots:
    void theOpenDialogAddsOneFileAsItIsAndSeveralCollapsed() {
        Window window;
        Loaded(window, {});
        window.dialogs.files = {{}, {"/home/ann//Report.docx"}, {"/srv//a.doc", "/srv//b.doc", "/srv//c.doc"},
                                {"/home/ann//Report.docx"}};
        window.Click("PushButton1");  // cancelled
        QVERIFY(window.Rows().isEmpty());
        window.Click("PushButton1");
        window.Click("PushButton1");
        window.Click("PushButton1");  // the same file again: a second row
        QCOMPARE(window.Rows(), QStringList({"/home/ann//Report.docx", "/srv/a.doc", "/srv/b.doc", "/srv/c.doc",
                                             "/home/ann//Report.docx"}));
        QCOMPARE(window.dialogs.openTitles.first(), QString("Add File(s) - Hold Ctrl to select multiple files"));
        QCOMPARE(window.dialogs.openFilters, QStringList({"Word Documents (*.do*)", "All Files (*)"}));
        QVERIFY(window.dialogs.reports.empty());
        QVERIFY(window.dialogs.messages.empty());
    }

    void deleteAndDoubleClickRemoveTheSelectedRowOnly() {
        Window window;
        QTreeWidget* list = List(window);
        window.Load();
        window.form->show();
        QTest::keyClick(list, Qt::Key_Delete);  // an empty list: nothing happens
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, QPoint(20, 10));
        QVERIFY(window.Rows().isEmpty());

        for (const QString& row : kRows.mid(0, 4)) window.form->AddFileRow(row);
        QTest::keyClick(list, Qt::Key_Delete);  // nothing selected
        QCOMPARE(window.Rows().size(), 4);
        list->setCurrentItem(list->topLevelItem(1));
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(window.Rows(), QStringList({"/d/1.doc", "/d/3.doc", "/d/4.doc"}));
        list->setCurrentItem(list->topLevelItem(2));
        QTest::mouseDClick(list->viewport(), Qt::RightButton, {}, RowCentre(window, 3));  // not with the right button
        QCOMPARE(window.Rows().size(), 3);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, RowCentre(window, 3));
        QCOMPARE(window.Rows(), QStringList({"/d/1.doc", "/d/3.doc"}));
        // A row stays selected after the removal; a double-click below the rows leaves it.
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, QPoint(20, list->viewport()->height() - 5));
        QCOMPARE(window.Rows(), QStringList({"/d/1.doc", "/d/3.doc"}));
    }

    void clearListEmptiesTheListAndKeepsTheColumn() {
        Window window;
        Loaded(window, kRows);
        window.Click("PushButton3");
        QVERIFY(window.Rows().isEmpty());
        QCOMPARE(List(window)->columnCount(), 1);
        QCOMPARE(List(window)->headerItem()->text(0), QString(" Word File(s)"));
    }

    void draggingExchangesTextsRowByRow() {
        Window window;
        Loaded(window, kRows);
        ClickRow(window, 2);
        Press(window, 2);
        DragOver(window, 3);
        QCOMPARE(window.Rows(), QStringList({"/d/1.doc", "/d/3.doc", "/d/2.doc", "/d/4.doc", "/d/5.doc", "/d/6.doc"}));
        QCOMPARE(List(window)->currentItem(), List(window)->topLevelItem(2));
        DragOver(window, 4);
        QCOMPARE(window.Rows(), QStringList({"/d/1.doc", "/d/3.doc", "/d/4.doc", "/d/2.doc", "/d/5.doc", "/d/6.doc"}));
        Release(window, 4);
        DragOver(window, 6);  // no button down: nothing moves
        QCOMPARE(window.Rows()[5], QString("/d/6.doc"));
    }

    void aPressedRowShowsTheDragPointerUntilRelease() {
        Window window;
        Loaded(window, kRows);
        QWidget* viewport = List(window)->viewport();
        Press(window, 3);
        QCOMPARE(viewport->cursor().shape(), Qt::BitmapCursor);  // drag.ico
        QCOMPARE(viewport->cursor().pixmap().size(), QSize(32, 32));
        Release(window, 3);
        QCOMPARE(viewport->cursor().shape(), Qt::ArrowCursor);
    }

    void aQuickMoveExchangesOnlyTheTwoRows() {
        Window window;
        Loaded(window, kRows);
        ClickRow(window, 2);
        Press(window, 2);
        DragOver(window, 5);
        QCOMPARE(window.Rows(), QStringList({"/d/1.doc", "/d/5.doc", "/d/3.doc", "/d/4.doc", "/d/2.doc", "/d/6.doc"}));
    }

    void rowsWithTheSameTextAreNotExchanged() {
        Window window;
        Loaded(window, {"/d/a.doc", "/d/same.doc", "/d/same.doc", "/d/b.doc"});
        ClickRow(window, 2);
        Press(window, 2);
        DragOver(window, 3);
        QCOMPARE(window.Rows(), QStringList({"/d/a.doc", "/d/same.doc", "/d/same.doc", "/d/b.doc"}));
        DragOver(window, 4);  // the picked row is still row 2
        QCOMPARE(window.Rows(), QStringList({"/d/a.doc", "/d/b.doc", "/d/same.doc", "/d/same.doc"}));
    }

    void thePickedRowStaysPickedUntilItIsGone() {
        Window window;
        Loaded(window, kRows);
        ClickRow(window, 2);
        // A later press off the rows, then moves: the same row moves again.
        Send(List(window)->viewport(), QEvent::MouseButtonPress, QPoint(5, List(window)->viewport()->height() - 2),
             Qt::LeftButton, 330);
        DragOver(window, 4);
        QCOMPARE(window.Rows()[3], QString("/d/2.doc"));
        Release(window, 4);
        // Once the picked row is removed, drags do nothing until a row is clicked again.
        List(window)->setCurrentItem(List(window)->topLevelItem(3));
        QTest::keyClick(List(window), Qt::Key_Delete);
        Send(List(window)->viewport(), QEvent::MouseButtonPress, QPoint(5, List(window)->viewport()->height() - 2),
             Qt::LeftButton, 330);
        DragOver(window, 3);
        QCOMPARE(window.Rows(), QStringList({"/d/1.doc", "/d/4.doc", "/d/3.doc", "/d/5.doc", "/d/6.doc"}));
    }

    void draggingNearTheScreensTopOrBottomScrolls() {
        QStringList rows;
        for (int i = 1; i <= 40; ++i) rows << QString("/d/%1.doc").arg(i, 2, 10, QLatin1Char('0'));
        Window window;
        Loaded(window, rows);
        QTreeWidget* list = List(window);
        const auto scrollToRow = [&](int row) {  // make `row` the first one shown
            list->scrollToItem(list->topLevelItem(row - 1), QAbstractItemView::PositionAtTop);
        };
        const auto shown = [&](int row) {
            const QRect rect = list->visualItemRect(list->topLevelItem(row - 1));
            return rect.top() >= 0 && rect.bottom() <= list->viewport()->height();
        };

        scrollToRow(7);
        QVERIFY(!shown(6));
        ClickRow(window, 8);
        Press(window, 8);
        DragOver(window, 7, 320);  // between 305 and 364: nothing scrolls
        QVERIFY(!shown(6));
        DragOver(window, 8, 304);  // above 305: the row above the hovered one comes into view
        QVERIFY(shown(7));
        scrollToRow(7);
        DragOver(window, 7, 304);
        QVERIFY(shown(6));
        Release(window, 7);

        // At 365 and below the row after the hovered one comes into view, unless there is none.
        scrollToRow(1);
        int lastShown = 1;
        while (shown(lastShown + 1)) ++lastShown;
        ClickRow(window, lastShown - 1);
        Press(window, lastShown - 1);
        DragOver(window, lastShown, 365);
        QVERIFY(shown(lastShown + 1));
        list->scrollToBottom();
        ClickRow(window, 39);
        Press(window, 39);
        const int before = list->verticalScrollBar()->value();
        DragOver(window, 40, 400);
        QCOMPARE(list->verticalScrollBar()->value(), before);
        QCOMPARE(window.Rows()[39], QString("/d/39.doc"));
    }
};

QUILLIVAR_GUI_TEST_MAIN(FileListTest)
#include "filelist_test.moc"

// "Start Saving As JPG": the checks before a run, a run over real documents with its progress,
// what the window refuses while busy, and closing the window in the middle of a run.

#include "testsupport.h"
#include "windowfixture.h"
#include "texts.h"
#include "windowtexts.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include <unistd.h>

using namespace quillivar;
using namespace quillivar::test;

namespace {

QProgressBar* Bar(const Window& window) { return window.Find<QProgressBar>("ProgressBar1"); }

// Engines this test process started or had forked, and that still run.
int RunningEngines() { return static_cast<int>(EnginesOf(getpid()).size()); }
// No engine and no engine parent: what a closed window leaves (a kill takes a moment to land).
bool NothingRunning() { return ChildProcesses(getpid(), "quillivar-engi").empty(); }

class Run {
public:
    Run() {
        window.Load();
        window.form->show();
        output = window.folder.path() + "/out";
        QDir().mkpath(output);
        window.Find<QLineEdit>("Text1")->setText(output);
    }

    QString Add(const QString& testDocument, const QString& name) {
        const QString path = CopyInto(TestDocument(testDocument), window.folder.path(), name);
        window.form->AddFileRow(path);
        return path;
    }

    QStringList Output() const { return FolderEntries(output); }

    Window window;
    QString output;
};

}  // namespace

class BatchRunTest : public QObject {
    Q_OBJECT

private slots:
    void anEmptyListSaysSoAndTouchesNothing() {
        Run run;
        run.window.Click("PushButton2");
        QCOMPARE(run.window.dialogs.messageTexts(), QStringList{"No files added."});
        const auto& message = run.window.dialogs.messages[0];
        QCOMPARE(message.title, QString("Quillivar"));
        QVERIFY(message.buttons == MessageButtons::Ok && message.icon == MessageIcon::None);
        QCOMPARE(Bar(run.window)->format(), QString("Progress Bar"));
        QVERIFY(!run.window.form->exportRunning());
    }

    void aMissingOutputFolderIsRefused() {
        Run run;
        run.Add("one-page.docx", "Letter.docx");
        for (const QString& folder : {run.output + "/deleted", QString()}) {
            run.window.Find<QLineEdit>("Text1")->setText(folder);
            run.window.Click("PushButton2");
        }
        QCOMPARE(run.window.dialogs.messageTexts(),
                 QStringList({"Folder does not exist. Please select another folder.",
                              "Folder does not exist. Please select another folder."}));
        QVERIFY(run.Output().isEmpty());
        QVERIFY(!run.window.form->exportRunning());
    }

    void theOwnFolderOptionDoesNotNeedTheFolderBox() {
        Run run;
        run.Add("one-page.odt", "Memo.odt");
        QTest::mouseClick(run.window.Find<QRadioButton>("Option2"), Qt::LeftButton);
        run.window.Find<QLineEdit>("Text1")->setText("/no/such/folder");
        run.window.Click("PushButton2");
        QCOMPARE(run.window.dialogs.messageTexts(), QStringList{"Done."});
        QVERIFY(QFile::exists(run.window.folder.path() + "/Memo_1.jpg"));
    }

    void aRunConvertsEveryRowShowsProgressAndRefusesEditsWhileBusy() {
        Run run;
        run.Add("one-page.docx", "A.docx");
        run.Add("three-pages.odt", "B.odt");
        run.Add("one-page.rtf", "C.rtf");
        run.Add("one-page.doc", "D.doc");
        QTreeWidget* list = run.window.Find<QTreeWidget>("ListView1");
        list->setCurrentItem(list->topLevelItem(0));

        QList<int> values;
        QStringList textsAtValues;
        MousePointer pointerWhileBusy = MousePointer::Default;
        QStringList rowsWhileBusy;
        QObject::connect(Bar(run.window), &QProgressBar::valueChanged, [&](int value) {
            values << value;
            textsAtValues << Bar(run.window)->format();
            if (value != 50) return;
            // The second document is next: the window is live, busy, and refuses edits.
            run.window.Press("PushButton2");                  // a second run does not start
            QTest::keyClick(list, Qt::Key_Delete);            // nor is a row deleted
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, QPoint(20, 5));
            run.window.Press("PushButton3");                  // nor the list cleared
            QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), QPointF(3, 3), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(run.window.Find<QPushButton>("PushButton1"), &move);
            pointerWhileBusy = run.window.form->mousePointer();
            rowsWhileBusy = run.window.Rows();
        });

        run.window.Click("PushButton2");

        QCOMPARE(values, QList<int>({25, 50, 75, 100, 0}));
        QCOMPARE(textsAtValues[1], QString("Processing: A.docx (Page 1 of 1)"));
        QCOMPARE(textsAtValues[2], QString("Processing: B.odt (Page 3 of 3)"));
        QCOMPARE(Bar(run.window)->format(), QString("Progress Bar"));
        QCOMPARE(run.window.dialogs.messageTexts(), QStringList{"Done."});
        QVERIFY(run.window.dialogs.reports.empty());
        QCOMPARE(pointerWhileBusy, MousePointer::Hourglass);
        QCOMPARE(rowsWhileBusy.size(), 4);
        QCOMPARE(run.window.form->mousePointer(), MousePointer::Default);
        QVERIFY(!run.window.form->exportRunning());
        QCOMPARE(run.Output(), QStringList({"A_1.jpg", "B_1.jpg", "B_2.jpg", "B_3.jpg", "C_1.jpg", "D_1.jpg"}));
        QCOMPARE(BoxColour(DecodeJpeg(run.output + "/B_2.jpg")), 2);
        QCOMPARE(RunningEngines(), 0);  // the run's engine ended with it
    }

    void closingTheWindowMidRunEndsItAndItsEngine() {
        // Enough pages after the second document's start that the run, which goes on off the
        // window's thread, cannot end before the close reaches it.
        Run run;
        run.Add("seven-pages.docx", "Long.docx");
        for (int i = 1; i <= 4; ++i) run.Add("seven-pages.docx", QString("Later%1.docx").arg(i));
        int enginesWhileRunning = -1;
        QObject::connect(Bar(run.window), &QProgressBar::valueChanged, [&](int value) {
            if (value != 40) return;  // the second document is under way
            enginesWhileRunning = RunningEngines();
            run.window.form->close();
        });
        run.window.Click("PushButton2");
        QCOMPARE(enginesWhileRunning, 1);
        QVERIFY(!run.window.form->isVisible());
        QTRY_VERIFY(NothingRunning());
        QVERIFY(run.window.dialogs.messages.empty());  // no "Done.", nothing else
        QVERIFY(run.window.dialogs.reports.empty());
        const QStringList written = run.Output();
        QVERIFY(!written.isEmpty() && written.size() < 5 * 7);
        QVERIFY(!written.contains("Later4_1.jpg"));  // the run did not go on to the end
        for (const QString& name : written) QVERIFY2(name.endsWith(".jpg"), qPrintable(name));
    }

    void closingTheWindowWhileAReportIsOpenEndsTheRun() {
        Run run;
        run.window.form->AddFileRow(run.window.folder.path() + "/Missing.docx");
        run.Add("one-page.docx", "After.docx");
        run.window.dialogs.whileReportShows = [&] { run.window.form->close(); };
        run.window.Click("PushButton2");
        QCOMPARE(run.window.dialogs.reports.size(), std::size_t{1});  // no box after the close
        QVERIFY(run.window.dialogs.messages.empty());
        QVERIFY(run.Output().isEmpty());  // the next document was not converted
        QTRY_VERIFY(NothingRunning());
    }

    void closingAnIdleWindowLeavesNothingRunning() {
        Run run;
        run.window.form->close();
        QVERIFY(!run.window.form->WorkUnderWay());
        QTRY_VERIFY(NothingRunning());
    }
};

QUILLIVAR_GUI_TEST_MAIN(BatchRunTest)
#include "batchrun_test.moc"

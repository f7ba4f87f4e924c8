// The other ways to fill the list: a folder's documents, drops from a file manager, and the
// samples delivered with the program.

#include "samples.h"
#include "testsupport.h"
#include "windowfixture.h"
#include "windowtexts.h"

#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QSettings>
#include <QTreeWidget>

#include <map>

using namespace quillivar;
using namespace quillivar::test;

namespace {

QString Stored(const Window& window, const QString& key) {
    return QSettings(window.settingsFile, QSettings::IniFormat).value(key).toString();
}

// Sends a drag over the list and, when it is accepted, drops it; returns whether it was.
// Drops `data` on the list as a file manager does with Shift held (proposing a move), and
// waits for the rows unless told not to; true when the drop was taken, always as a copy.
bool Drop(Window& window, QMimeData* data, bool wait = true) {
    QWidget* viewport = window.Find<QTreeWidget>("ListView1")->viewport();
    const QPoint at(20, 20);
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(at, offered, data, Qt::LeftButton, Qt::ShiftModifier);
    enter.setDropAction(Qt::MoveAction);
    QApplication::sendEvent(viewport, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(at), offered, data, Qt::LeftButton, Qt::ShiftModifier);
    drop.setDropAction(Qt::MoveAction);
    QApplication::sendEvent(viewport, &drop);
    if (wait) window.WaitForWork();
    return enter.dropAction() == Qt::CopyAction && drop.dropAction() == Qt::CopyAction;
}

QMimeData* Files(const QStringList& paths) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    data->setUrls(urls);
    return data;
}

// A samples folder of three documents in a fresh application folder; returns its path.
QString MakeSamples(const QString& application) {
    const QString samples = application + "/Samples";
    QDir().mkpath(samples);
    for (const char* name : {"Letter.docx", "Notes.doc", "Report.odt"}) QFile::copy(TestDocument("one-page.docx"), samples + "/" + name);
    return samples;
}

// A store that counts its writes, key by key.
class CountingSettings : public SettingsStore {
public:
    using SettingsStore::SettingsStore;
    void SaveSetting(const QString& key, const QString& value) override {
        ++writes[key];
        SettingsStore::SaveSetting(key, value);
    }
    std::map<QString, int> writes;
};

}  // namespace

class FoldersTest : public QObject {
    Q_OBJECT

private slots:
    void aFolderAddsItsDocumentsLevelByLevel() {
        Window window;
        window.Load();
        const QString docs = window.folder.path() + "/Docs";
        for (const char* name : {"a.doc", "~$a.doc", "b.txt", "Old/c.doc", ".hidden.doc"}) Touch(docs + "/" + name);
        window.dialogs.inputs = {"doc"};
        window.dialogs.folders = {docs};
        window.Click("PushButton4");
        QCOMPARE(window.Rows(), QStringList({docs + "/a.doc", docs + "/Old/c.doc"}));
        QCOMPARE(window.dialogs.inputPrompts.first(),
                 QString("Enter file extension to load:\r\r(* for all files, txt for all txt files, doc for all doc files, etc.)"));
        QCOMPARE(window.dialogs.inputProposals.first(), QString("jpg"));  // first use
        QCOMPARE(window.dialogs.folderStarts.first(), QString(""));
        QCOMPARE(window.dialogs.folderTitles.first(), QString("Please select folder:"));
        QCOMPARE(Stored(window, "Extension"), QString("doc"));
        QCOMPARE(Stored(window, "LastFolder"), docs);
        QCOMPARE(window.form->mousePointer(), MousePointer::Default);

        // The next time the prompt offers "doc" and the picker starts where it ended; the
        // same folder again lists its files again.
        window.dialogs.inputs = {"*"};
        window.dialogs.folders = {docs};
        window.Click("PushButton4");
        QCOMPARE(window.dialogs.inputProposals.last(), QString("doc"));
        QCOMPARE(window.dialogs.folderStarts.last(), docs);
        QCOMPARE(window.Rows().mid(2), QStringList({docs + "/a.doc", docs + "/b.txt", docs + "/Old/c.doc"}));
        QVERIFY(window.dialogs.reports.empty());
        QVERIFY(window.dialogs.messages.empty());
    }

    void cancellingKeepsWhatWasSettled() {
        Window window;
        window.Load();
        window.dialogs.inputs = {""};  // cancel at the prompt
        window.Click("PushButton4");
        QVERIFY(window.dialogs.folderTitles.isEmpty());
        QCOMPARE(Stored(window, "Extension"), QString(""));

        window.dialogs.inputs = {"odt"};
        window.dialogs.folders = {""};  // cancel at the picker: the extension is kept
        window.Click("PushButton4");
        QCOMPARE(Stored(window, "Extension"), QString("odt"));
        QCOMPARE(Stored(window, "LastFolder"), QString(""));
        QVERIFY(window.Rows().isEmpty());

        QDir(window.folder.path()).mkpath("Nothing/here");
        window.dialogs.inputs = {"odt"};
        window.dialogs.folders = {window.folder.path() + "/Nothing"};
        window.Click("PushButton4");  // no matching files: nothing added, nothing said
        QVERIFY(window.Rows().isEmpty());
        QVERIFY(window.dialogs.messages.empty());
    }

    void droppedFilesAndFoldersJoinTheList() {
        Window window;
        window.Load();
        const QString base = window.folder.path();
        for (const char* name : {"x.doc", "y.pdf", "~lock.doc", "F/a.doc", "F/b.jpg", "F/~$a.doc", "F/S/c.doc",
                                 "G/d.odt"}) {
            Touch(base + "/" + name);
        }
        QDir(base).mkpath("Empty");
        QVERIFY(Drop(window, Files({base + "/x.doc", base + "/y.pdf", base + "/~lock.doc"})));
        QVERIFY(Drop(window, Files({base + "/F", base + "/G", base + "/Empty"})));
        QCOMPARE(window.Rows(), QStringList({base + "/x.doc", base + "/y.pdf", base + "/~lock.doc", base + "/F/a.doc",
                                             base + "/F/b.jpg", base + "/F/S/c.doc", base + "/G/d.odt"}));
    }

    void closingTheWindowDuringAFolderAddOrADropEndsTheScan() {
        // A tree large enough that its scan is still going when the window closes.
        QTemporaryDir root;
        for (int i = 0; i < 300; ++i) Touch(root.path() + QString("/folder %1/sub/letter.doc").arg(i));
        for (const bool byDrop : {false, true}) {
            Window window;
            window.Load();
            window.dialogs.inputs = {"doc"};
            window.dialogs.folders = {root.path()};
            if (byDrop) {
                QVERIFY(Drop(window, Files({root.path()}), false));
            } else {
                window.Press("PushButton4");
            }
            QVERIFY(window.form->WorkUnderWay());
            window.form->close();
            window.WaitForWork();
            QVERIFY(window.Rows().isEmpty());  // nothing added after the close
            QVERIFY(window.dialogs.messages.empty());
            QVERIFY(window.dialogs.reports.empty());
        }
    }

    void aDragWithoutFilesIsRefused() {
        Window window;
        window.Load();
        auto* text = new QMimeData;
        text->setText("/etc/passwd");
        QVERIFY(!Drop(window, text));
        auto* web = new QMimeData;
        web->setUrls({QUrl("https://www.example.org/report.docx")});
        QVERIFY(!Drop(window, web));
        QVERIFY(window.Rows().isEmpty());
    }

    void samplesAreRecordedOnceAtTheFirstStartThatFindsThem() {
        QTemporaryDir application;
        const QString samples = MakeSamples(application.path());
        Window window(application.path());
        auto* store = new CountingSettings(window.settingsFile);
        window.Restart(std::unique_ptr<SettingsStore>(store));
        window.Load();
        QCOMPARE(store->writes["Snapshot"], 1);
        QCOMPARE(DecodeSnapshot(Stored(window, "Snapshot")),
                 samples + "/Letter.docx|" + samples + "/Notes.doc|" + samples + "/Report.odt");

        Touch(samples + "/Later.rtf");  // files added later are never offered
        auto* later = new CountingSettings(window.settingsFile);
        window.Restart(std::unique_ptr<SettingsStore>(later));
        window.Load();
        QCOMPARE(later->writes["Snapshot"], 0);
        QVERIFY(!DecodeSnapshot(Stored(window, "Snapshot")).contains("Later"));
    }

    void anEmptyOrMissingSamplesFolderIsRecordedTwiceAtEveryStart() {
        QTemporaryDir empty;
        QDir(empty.path()).mkpath("Samples");
        QTemporaryDir missing;
        for (const QString& application : {empty.path(), missing.path()}) {
            Window window(application);
            for (int start = 0; start < 2; ++start) {
                auto* store = new CountingSettings(window.settingsFile);
                window.Restart(std::unique_ptr<SettingsStore>(store));
                window.Load();
                QCOMPARE(store->writes["Snapshot"], 2);
                QCOMPARE(Stored(window, "Snapshot"), QString(""));
            }
        }
    }

    void loadingAddsEachExistingSampleOnceAndOffersTheFolder() {
        QTemporaryDir application;
        const QString samples = MakeSamples(application.path());
        Window window(application.path());
        window.Load();
        window.dialogs.answers = {Answer::No, Answer::Yes, Answer::No};
        const QStringList all = {samples + "/Letter.docx", samples + "/Notes.doc", samples + "/Report.odt"};

        window.Click("PushButton5");
        QCOMPARE(window.Rows(), all);
        QCOMPARE(window.dialogs.messageTexts(), QStringList{texts::window::kOpenSamplesQuestion});
        QVERIFY(window.dialogs.messages[0].buttons == MessageButtons::YesNo);
        QCOMPARE(window.dialogs.messages[0].title, QString("Quillivar"));
        QVERIFY(window.opened.empty());

        window.Click("PushButton5");  // nothing new, the question all the same
        QCOMPARE(window.Rows(), all);
        QCOMPARE(window.dialogs.messages.size(), std::size_t(2));
        QCOMPARE(window.opened.size(), std::size_t(1));
        QCOMPARE(window.opened[0], QUrl::fromLocalFile(samples + "/"));

        // A deleted sample is skipped; a row differing only in case does not count as listed.
        QFile::remove(samples + "/Notes.doc");
        window.Click("PushButton3");
        window.form->AddFileRow(samples + "/LETTER.docx");
        window.Click("PushButton5");
        QCOMPARE(window.Rows(), QStringList({samples + "/LETTER.docx", samples + "/Letter.docx", samples + "/Report.odt"}));
        QVERIFY(window.dialogs.reports.empty());
    }

    void theDeliveredSamplesConvert() {
        Window window;  // the build tree's own application folder and its samples
        window.Load();
        window.dialogs.answers = {Answer::No};
        window.Click("PushButton5");
        QCOMPARE(window.Rows().size(), 4);
        const QString output = window.folder.path() + "/out";
        QDir().mkpath(output);
        window.Find<QLineEdit>("Text1")->setText(output);
        window.Click("PushButton2");
        QCOMPARE(window.dialogs.messageTexts().last(), QString("Done."));
        QVERIFY(window.dialogs.reports.empty());
        QCOMPARE(FolderEntries(output), QStringList({"Meeting Notes_1.jpg", "Meeting Notes_2.jpg", "Opening Hours_1.jpg",
                                                     "Quarterly Report_1.jpg", "Quarterly Report_2.jpg",
                                                     "Quarterly Report_3.jpg", "Welcome Letter_1.jpg"}));
    }
};

QUILLIVAR_GUI_TEST_MAIN(FoldersTest)
#include "folders_test.moc"

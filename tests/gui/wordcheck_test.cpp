// With the user's own LibreOffice running, a run asks first; Yes converts, No stops quietly.

#include "availability.h"
#include "testsupport.h"
#include "windowfixture.h"
#include "windowtexts.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <unistd.h>

using namespace quillivar;
using namespace quillivar::test;

class WordCheckTest : public QObject {
    Q_OBJECT

private slots:
    void theQuestionComesOnlyWhenLibreOfficeRunsAndItsAnswerDecides() {
        QVERIFY2(!IsWordRunning(), "a LibreOffice of this user is already running");
        Window window;
        window.Load();
        const QString output = window.folder.path() + "/out";
        QDir().mkpath(output);
        window.Find<QLineEdit>("Text1")->setText(output);
        window.form->AddFileRow(CopyInto(TestDocument("one-page.docx"), window.folder.path(), "Letter.docx"));

        window.Click("PushButton2");  // nothing running: no question
        QCOMPARE(window.dialogs.messageTexts(), QStringList{"Done."});
        QFile::remove(output + "/Letter_1.jpg");

        // The user's own LibreOffice, headless, in a process group of its own; it is killed,
        // so its temporary files go to a folder of the test's.
        QTemporaryDir profile;
        QTemporaryDir officeTemporary;
        const QStringList pipesBefore = OfficePipes();
        QProcess office;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TMPDIR", officeTemporary.path());
        office.setProcessEnvironment(environment);
        office.setChildProcessModifier([] { setsid(); });
        office.start("soffice", {"--headless", "--norestore", "-env:UserInstallation=file://" + profile.path()});
        QVERIFY(office.waitForStarted());
        const qint64 group = office.processId();
        QDeadlineTimer deadline(60000);
        while (!IsWordRunning() && !deadline.hasExpired()) QTest::qWait(100);
        QVERIFY(IsWordRunning());

        window.dialogs.messages.clear();
        window.dialogs.answers = {Answer::No};
        window.Click("PushButton2");
        QCOMPARE(window.dialogs.messageTexts(), QStringList{texts::window::kWordOpen});
        QVERIFY(window.dialogs.messages[0].buttons == MessageButtons::YesNo);
        QCOMPARE(window.dialogs.messages[0].title, QString("Quillivar"));
        QVERIFY(FolderEntries(output).isEmpty());
        QVERIFY(!window.form->exportRunning());

        window.dialogs.messages.clear();
        window.dialogs.answers = {Answer::Yes};
        window.Click("PushButton2");
        QCOMPARE(window.dialogs.messageTexts(), QStringList({texts::window::kWordOpen, "Done."}));
        QCOMPARE(FolderEntries(output), QStringList{"Letter_1.jpg"});

        kill(-static_cast<pid_t>(group), SIGKILL);
        office.waitForFinished();
        deadline.setRemainingTime(30000);
        while (IsWordRunning() && !deadline.hasExpired()) QTest::qWait(100);
        QVERIFY(!IsWordRunning());
        for (const QString& pipe : OfficePipes()) {  // its socket stays in /tmp whatever TMPDIR says
            if (!pipesBefore.contains(pipe)) QFile::remove("/tmp/" + pipe);
        }
    }

private:
    static QStringList OfficePipes() {
        return QDir("/tmp").entryList({"OSL_PIPE_*"}, QDir::System | QDir::Files | QDir::Hidden);
    }
};

QUILLIVAR_GUI_TEST_MAIN(WordCheckTest)
#include "wordcheck_test.moc"

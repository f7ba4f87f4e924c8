// The output choice, the quality slider and the pointer rules: what each control stores and
// enables.

#include "windowfixture.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSlider>
#include <QTemporaryDir>

using namespace quillivar;
using namespace quillivar::test;

namespace {

QString Stored(const Window& window, const QString& key) {
    return QSettings(window.settingsFile, QSettings::IniFormat).value(key).toString();
}

bool IsStored(const Window& window, const QString& key) {
    return QSettings(window.settingsFile, QSettings::IniFormat).contains(key);
}

void MoveOver(QWidget* widget) {
    QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), widget->mapToGlobal(QPointF(3, 3)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

}  // namespace

class ControlsTest : public QObject {
    Q_OBJECT

private slots:
    void typingStoresEveryIntermediateText() {
        Window window;
        window.Load();
        auto* text = window.Find<QLineEdit>("Text1");
        text->clear();
        QCOMPARE(Stored(window, "Text1"), QString(""));
        QString typed;
        for (const QChar c : QString("/data/")) {
            QTest::keyClick(text, c.toLatin1());
            typed += c;
            QCOMPARE(Stored(window, "Text1"), typed);
        }
    }

    void theProgressTextShowsNamesAsTheyAre() {
        Window window;
        window.Load();
        auto* bar = window.Find<QProgressBar>("ProgressBar1");
        bar->setValue(40);
        for (const QString status : {"Processing: 100%report.docx", "Processing: Q3 %p summary.docx (Page 1 of 2)"}) {
            bar->setFormat(status);
            QCOMPARE(bar->text(), status);
        }
    }

    void theSliderStoresEachValue() {
        Window window;
        window.Load();
        auto* slider = window.Find<QSlider>("Slider1");
        slider->setValue(12);
        QCOMPARE(Stored(window, "Slider1"), QString("12"));
        QTest::keyClick(slider, Qt::Key_PageUp);
        QCOMPARE(slider->value(), 17);
        QCOMPARE(Stored(window, "Slider1"), QString("17"));
    }

    void theOptionsStoreBothKeysAndEnableTheFolderEntry() {
        Window window;
        window.Load();
        window.form->show();
        QVERIFY(!IsStored(window, "Option1"));  // restoring the design's state changes nothing
        QTest::mouseClick(window.Find<QRadioButton>("Option2"), Qt::LeftButton);
        QCOMPARE(Stored(window, "Option1"), QString("False"));
        QCOMPARE(Stored(window, "Option2"), QString("True"));
        QVERIFY(!window.Find<QLineEdit>("Text1")->isEnabled());
        QVERIFY(!window.Find<QPushButton>("PushButton6")->isEnabled());
        QTest::mouseClick(window.Find<QRadioButton>("Option1"), Qt::LeftButton);
        QCOMPARE(Stored(window, "Option1"), QString("True"));
        QCOMPARE(Stored(window, "Option2"), QString("False"));
        QVERIFY(window.Find<QLineEdit>("Text1")->isEnabled());
        QVERIFY(window.Find<QPushButton>("PushButton6")->isEnabled());
    }

    void theFolderButtonAddsOneSlashAndRemembersWhereItEnded() {
        Window window;
        window.Load();
        QTemporaryDir chosen;
        window.dialogs.folders = {"", chosen.path(), "/"};

        const QString before = window.Find<QLineEdit>("Text1")->text();
        window.Click("PushButton6");  // cancelled
        QCOMPARE(window.Find<QLineEdit>("Text1")->text(), before);
        QCOMPARE(Stored(window, "Text1"), before);
        QVERIFY(!IsStored(window, "LastFolderDot"));
        QCOMPARE(window.dialogs.folderTitles, QStringList{"Please select folder:"});
        QCOMPARE(window.dialogs.folderStarts, QStringList{""});

        window.Click("PushButton6");
        QCOMPARE(window.Find<QLineEdit>("Text1")->text(), chosen.path() + "/");
        QCOMPARE(Stored(window, "Text1"), chosen.path() + "/");
        QCOMPARE(Stored(window, "LastFolderDot"), chosen.path());

        window.Click("PushButton6");  // the root already ends in a slash
        QCOMPARE(window.dialogs.folderStarts.last(), chosen.path());
        QCOMPARE(window.Find<QLineEdit>("Text1")->text(), QString("/"));
        QCOMPARE(Stored(window, "LastFolderDot"), QString("/"));
        QVERIFY(window.dialogs.reports.empty());

        window.Restart();  // the remembered start folder outlives the window
        window.Load();
        window.dialogs.folders = {""};
        window.Click("PushButton6");
        QCOMPARE(window.dialogs.folderStarts.last(), QString("/"));
    }

    void theHandShowsOverButtonsAndTheArrowElsewhere() {
        Window window;
        window.Load();
        QCOMPARE(window.form->mousePointer(), MousePointer::Default);
        MoveOver(window.Find<QPushButton>("PushButton1"));
        QCOMPARE(window.form->mousePointer(), MousePointer::Custom);
        // The hand of our own cursor file, pointing with its hot spot at the fingertip.
        QCOMPARE(window.form->cursor().shape(), Qt::BitmapCursor);
        QCOMPARE(window.form->cursor().hotSpot(), QPoint(7, 0));
        MoveOver(window.form.get());
        QCOMPARE(window.form->mousePointer(), MousePointer::Default);
        MoveOver(window.Find<QPushButton>("PushButton6"));
        QCOMPARE(window.form->mousePointer(), MousePointer::Custom);
        MoveOver(window.Find<QGroupBox>("Frame4"));
        QCOMPARE(window.form->mousePointer(), MousePointer::Default);
        QCOMPARE(window.form->cursor().shape(), Qt::ArrowCursor);

        QTemporaryDir bare;  // without the cursor file: Qt's own pointing hand
        Window plain(bare.path());
        plain.Load();
        MoveOver(plain.Find<QPushButton>("PushButton2"));
        QCOMPARE(plain.form->cursor().shape(), Qt::PointingHandCursor);
    }
};

QUILLIVAR_GUI_TEST_MAIN(ControlsTest)
#include "controls_test.moc"

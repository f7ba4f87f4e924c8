// Start-up of the window: its design, the restored choices, and the start-up checks.

#include "testsupport.h"
#include "texts.h"
#include "windowfixture.h"
#include "windowtexts.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSlider>
#include <QTreeWidget>

using namespace quillivar;
using namespace quillivar::test;

namespace {

QString Stored(const Window& window, const QString& key) {
    return QSettings(window.settingsFile, QSettings::IniFormat).value(key).toString();
}

void Store(const Window& window, const QString& key, const QString& value) {
    QSettings settings(window.settingsFile, QSettings::IniFormat);
    settings.setValue(key, value);
}

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void theDesignHasEveryControlInItsPlace() {
        Window window;
        QCOMPARE(window.form->objectName(), QString("Form1"));
        QCOMPARE(window.form->size(), QSize(536, 505));
        struct Expected {
            const char* name;
            QRect geometry;
            QString caption;
        };
        const Expected controls[] = {
            {"ListView1", {8, 8, 520, 169}, {}},
            {"ProgressBar1", {8, 471, 520, 27}, {}},
            {"Frame1", {8, 246, 520, 57}, "JPG Image Quality"},
            {"Slider1", {8, 16, 504, 33}, {}},
            {"PushButton1", {8, 183, 256, 27}, "Add Word File(s)"},
            {"PushButton4", {272, 183, 256, 27}, "Add All Word Files In Folder"},
            {"PushButton2", {8, 437, 520, 27}, "Start Saving As JPG"},
            {"PushButton3", {8, 217, 256, 27}, "Clear List"},
            {"PushButton5", {272, 217, 256, 27}, "Load Sample/Example Files"},
            {"Frame4", {8, 308, 520, 121}, "Save Option"},
            {"Frame3", {32, 34, 456, 54}, ""},
            {"Text1", {16, 20, 378, 23}, {}},
            {"PushButton6", {400, 20, 40, 23}, "..."},
            {"Option1", {16, 20, 241, 17}, "Save results to this folder:"},
            {"Option2", {16, 94, 241, 17}, "Save results in folder of original file"},
        };
        for (const Expected& control : controls) {
            QWidget* widget = window.Find<QWidget>(control.name);
            QVERIFY2(widget, control.name);
            QCOMPARE(widget->geometry(), control.geometry);
            if (auto* button = qobject_cast<QAbstractButton*>(widget)) QCOMPARE(button->text(), control.caption);
            if (auto* frame = qobject_cast<QGroupBox*>(widget)) QCOMPARE(frame->title(), control.caption);
        }
        // The tab order of the design, from the list to the second option.
        QWidget* widget = window.Find<QWidget>("ListView1");
        QStringList order;
        for (int i = 0; i < 16; ++i) {
            order << widget->objectName();
            widget = widget->nextInFocusChain();
            while (widget->objectName().isEmpty() || widget->objectName().startsWith("qt_") || qobject_cast<QLabel*>(widget)) {
                widget = widget->nextInFocusChain();
            }
        }
        QCOMPARE(order, QStringList({"ListView1", "ProgressBar1", "Frame1", "Slider1", "PushButton1", "PushButton4",
                                     "PushButton2", "PushButton3", "PushButton5", "Frame4", "Frame3", "Text1",
                                     "PushButton6", "Option1", "Option2", "Combo1"}));
        QCOMPARE(window.Find<QTreeWidget>("ListView1")->toolTip(), texts::window::kListTooltip);
        QCOMPARE(window.Find<QPushButton>("PushButton2")->font().pointSizeF(), 11.25);
        QVERIFY(window.Find<QPushButton>("PushButton2")->font().bold());
        QCOMPARE(window.form->font().pointSizeF(), 9.0);
        const QSlider* slider = window.Find<QSlider>("Slider1");
        QCOMPARE(slider->minimum(), 1);
        QCOMPARE(slider->maximum(), 100);
        QCOMPARE(slider->pageStep(), 5);
    }

    void aFirstStartShowsTheDefaultsAndStoresWhatItRestored() {
        QDir().mkpath(qEnvironmentVariable("HOME") + "/Desktop");
        Window window;
        window.Load();
        QCOMPARE(window.form->windowTitle(), QString("Quillivar"));
        QCOMPARE(window.form->applicationTitle(), QString("Quillivar"));
        QVERIFY(!window.form->windowIcon().isNull());
        QCOMPARE(window.form->windowIcon().availableSizes().size(), 4);
        const QString desktop = qEnvironmentVariable("HOME") + "/Desktop/";
        QCOMPARE(window.Find<QSlider>("Slider1")->value(), 75);
        QCOMPARE(window.Find<QLineEdit>("Text1")->text(), desktop);
        QVERIFY(window.Find<QRadioButton>("Option1")->isChecked());
        QVERIFY(!window.Find<QRadioButton>("Option2")->isChecked());
        QVERIFY(window.Find<QGroupBox>("Frame3")->isEnabled());
        QCOMPARE(Stored(window, "Text1"), desktop);
        QCOMPARE(Stored(window, "Slider1"), QString("75"));
        auto* list = window.Find<QTreeWidget>("ListView1");
        QCOMPARE(list->columnCount(), 1);
        QCOMPARE(list->headerItem()->text(0), QString(" Word File(s)"));
        QCOMPARE(list->columnWidth(0), 467);
        QCOMPARE(window.Find<QProgressBar>("ProgressBar1")->format(), QString("Progress Bar"));
        QVERIFY(window.dialogs.messages.empty());
        QVERIFY(window.dialogs.reports.empty());
        QCOMPARE(window.endProgramCalls, 0);
    }

    void withoutADesktopFolderTheHomeFolderIsTheDefault() {
        const QString home = qEnvironmentVariable("HOME");
        QDir(home + "/Desktop").removeRecursively();
        Window window;
        window.Load();
        QCOMPARE(window.Find<QLineEdit>("Text1")->text(), home + "/");
        QVERIFY(window.dialogs.reports.empty());
        QDir().mkpath(home + "/Desktop");
    }

    void aCorruptStoreGivesTheDefaults() {
        Window window;
        QFile garbage(window.settingsFile);
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        for (int i = 0; i < 2048; ++i) garbage.putChar(static_cast<char>((i * 7919) % 256));
        garbage.close();
        window.Restart();
        window.Load();
        QCOMPARE(window.Find<QSlider>("Slider1")->value(), 75);
        QCOMPARE(window.Find<QLineEdit>("Text1")->text(), qEnvironmentVariable("HOME") + "/Desktop/");
        QVERIFY(window.Find<QRadioButton>("Option1")->isChecked());
        QVERIFY(window.dialogs.reports.empty());
        // The unreadable store is kept aside, and the choices made now persist.
        QVERIFY(QFile::exists(window.settingsFile + ".corrupt"));
        QCOMPARE(Stored(window, "Slider1"), QString("75"));
    }

    void storedChoicesComeBackAtTheNextStart() {
        Window window;
        Store(window, "Slider1", "42");
        Store(window, "Text1", "/srv/pages/");
        Store(window, "Option1", "False");
        Store(window, "Option2", "true");
        window.Load();
        QCOMPARE(window.Find<QSlider>("Slider1")->value(), 42);
        QCOMPARE(window.Find<QLineEdit>("Text1")->text(), QString("/srv/pages/"));
        QVERIFY(window.Find<QRadioButton>("Option2")->isChecked());
        QVERIFY(!window.Find<QRadioButton>("Option1")->isChecked());
        QVERIFY(!window.Find<QGroupBox>("Frame3")->isEnabled());
        QVERIFY(window.dialogs.reports.empty());
    }

    void theResolutionIsRememberedAndReachesThePages() {
        Window window;
        window.Load();
        auto* resolution = window.Find<QComboBox>("Combo1");
        QCOMPARE(resolution->currentData().toInt(), 96);
        QCOMPARE(Stored(window, "Resolution"), QString());  // nothing changes without a choice
        resolution->setCurrentIndex(resolution->findData(300));
        QCOMPARE(Stored(window, "Resolution"), QString("300"));

        window.Restart();
        window.Load();
        QCOMPARE(window.Find<QComboBox>("Combo1")->currentData().toInt(), 300);
        const QString output = window.folder.path() + "/out";
        QDir().mkpath(output);
        window.Find<QLineEdit>("Text1")->setText(output);
        window.form->AddFileRow(CopyInto(TestDocument("one-page.odt"), window.folder.path(), "Sharp.odt"));
        window.Click("PushButton2");
        const DecodedImage page = DecodeJpeg(output + "/Sharp_1.jpg");
        QCOMPARE(page.width, 2481);  // A4 at 300 dots per inch, as a PDF renderer sizes it
        QCOMPARE(page.height, 3508);

        Store(window, "Resolution", "97");
        window.Restart();
        window.Load();
        QCOMPARE(window.dialogs.reportLines(), std::vector<int>{136});
        QCOMPARE(window.Find<QComboBox>("Combo1")->currentData().toInt(), 96);
    }

    void aStoredQualityOfLettersIsReportedAtItsStep() {
        Window window;
        Store(window, "Slider1", "high");
        window.Load();
        QCOMPARE(window.dialogs.reportLines(), std::vector<int>{136});
        QCOMPARE(window.dialogs.reports[0].location, locations::kFormLoad);
        QCOMPARE(window.Find<QSlider>("Slider1")->value(), 75);  // the design's position
        QCOMPARE(Stored(window, "Slider1"), QString("high"));
    }

    void unconvertibleOptionsAreReportedAndTwoFalsesSelectNeither() {
        Window window;
        Store(window, "Option1", "maybe");
        Store(window, "Option2", "sometimes");
        window.Load();
        QCOMPARE(window.dialogs.reportLines(), (std::vector<int>{140, 142}));
        QVERIFY(window.Find<QRadioButton>("Option1")->isChecked());  // kept its state

        Window edited;
        Store(edited, "Option1", "False");
        Store(edited, "Option2", "0");
        edited.Load();
        QVERIFY(!edited.Find<QRadioButton>("Option1")->isChecked());
        QVERIFY(!edited.Find<QRadioButton>("Option2")->isChecked());
        QVERIFY(!edited.Find<QGroupBox>("Frame3")->isEnabled());
    }

    void withoutTheStyleFileTheWindowStaysWhite() {
        QTemporaryDir bare;
        Window window(bare.path());
        window.Load();
        QVERIFY(window.form->styleSheet().isEmpty());
        QCOMPARE(window.form->palette().color(QPalette::Window), QColor(Qt::white));
        QCOMPARE(window.form->cursor().shape(), Qt::ArrowCursor);
        QVERIFY(window.dialogs.reports.empty());
    }

    void withTheStyleFileTheWindowIsSkinned() {
        Window window;
        window.Load();
        QVERIFY(window.form->styleSheet().contains("QPushButton"));
        QVERIFY(window.dialogs.reports.empty());

        // Before the style sheet is applied, the window and its frames and options take the
        // colour of button faces; an empty style file shows that colour alone.
        QTemporaryDir plain;
        QDir(plain.path()).mkdir("x");
        QFile(plain.path() + "/x/o.cjs").open(QIODevice::WriteOnly);
        Window colours(plain.path());
        colours.Load();
        const QColor buttonFace = QPalette().color(QPalette::Button);
        for (const char* name : {"Form1", "Frame1", "Frame3", "Frame4", "Option1", "Option2"}) {
            QCOMPARE(colours.Find<QWidget>(name)->palette().color(QPalette::Window), buttonFace);
        }
    }

    void theHomePageOpensOnlyOnTheDrawOfSeven() {
        for (const int draw : {1, 6, 8, 100}) {
            Window window;
            window.draw = draw;
            window.Load();
            QVERIFY(window.opened.empty());
        }
        Window lucky;
        lucky.draw = 7;
        lucky.Load();
        QCOMPARE(lucky.opened.size(), std::size_t(1));
        QCOMPARE(lucky.opened[0], QUrl("https://www.example.org/quillivar/"));
    }

    void withoutAnEngineTheProgramExplainsAndEnds() {
        EngineOptions options = DefaultEngineOptions();
        options.program = "/nonexistent/quillivar-engine";
        Window window(BuildApplicationFolder(), EngineLauncher(options));
        window.Load();
        QCOMPARE(window.dialogs.messages.size(), std::size_t(1));
        const auto& message = window.dialogs.messages[0];
        QVERIFY(message.text.startsWith("Error 842001. A normal instance of Word could not be created.\r\n\r\n1. Please"));
        QCOMPARE(message.text.count("\r\n\r\n"), 4);
        QCOMPARE(message.title, QString("Quillivar"));
        QVERIFY(message.buttons == MessageButtons::Ok);
        QVERIFY(message.icon == MessageIcon::None);
        QCOMPARE(window.endProgramCalls, 1);
    }

    void appTitleCutsWordsFromTheEnd() {
        QCOMPARE(AppTitleFrom("Quillivar"), QString("Quillivar"));
        QCOMPARE(AppTitleFrom("Quillivar Page Images For Windows"), QString("Quillivar Page Images For"));
        QCOMPARE(AppTitleFrom("Quillivar Document To Image Converter Professional Edition 2021"),
                 QString("Quillivar Document To Image Converter"));
    }
};

QUILLIVAR_GUI_TEST_MAIN(StartupTest)
#include "startup_test.moc"

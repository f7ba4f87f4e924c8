#include "form1.h"

#include "availability.h"
#include "batchrun.h"
#include "config.h"
#include "engineregistry.h"
#include "errortrap.h"
#include "filelist.h"
#include "folderscan.h"
#include "paths.h"
#include "samples.h"
#include "settings.h"
#include "texts.h"
#include "windowtexts.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMouseEvent>
#include <QFile>
#include <QGroupBox>
#include <QIcon>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>

namespace quillivar {

namespace {

namespace words = texts::window;

// Radio buttons refuse to be cleared one by one; an edited store may want neither selected.
void SetSelected(QRadioButton* option, bool selected) {
    option->setAutoExclusive(selected);
    option->setChecked(selected);
    option->setAutoExclusive(true);
}

}  // namespace

QString AppTitleFrom(const QString& productName) {
    QString title = productName;
    do {
        const qsizetype blank = title.lastIndexOf(QLatin1Char(' '));
        if (blank < 0) break;
        title.truncate(blank);
    } while (title.size() > 40);
    return title;
}

Form1::Form1(Form1Services services)
    : services_(std::move(services)), dialogs_(*services_.dialogs), settings_(*services_.settings) {
    static_cast<Form1Controls&>(*this) = BuildForm1(*this);
    ListView1->SetDragPointerFile(services_.applicationFolder + QStringLiteral("/drag.ico"));
    ConnectHandlers();
}

Form1::~Form1() = default;

void Form1::ConnectHandlers() {
    // The pointer rules watch the window, its frames and its buttons.
    setMouseTracking(true);
    installEventFilter(this);
    for (QWidget* widget : std::initializer_list<QWidget*>{Frame1, Frame3, Frame4, PushButton1, PushButton2,
                                                           PushButton3, PushButton4, PushButton5, PushButton6}) {
        widget->setMouseTracking(true);
        widget->installEventFilter(this);
    }
    connect(ListView1, &FileList::pointerMoved, this, &Form1::ArrowRule);
    connect(ListView1, &FileList::pathsDropped, this, &Form1::AddDroppedPaths);
    connect(PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(PushButton4, &QPushButton::clicked, this, &Form1::PushButton4_Click);
    connect(PushButton5, &QPushButton::clicked, this, &Form1::PushButton5_Click);
    connect(PushButton6, &QPushButton::clicked, this, &Form1::PushButton6_Click);
    connect(Option1, &QRadioButton::toggled, this, [this](bool selected) { if (selected) OptionRule(); });
    connect(Option2, &QRadioButton::toggled, this, [this](bool selected) { if (selected) OptionRule(); });
    connect(Slider1, &QSlider::valueChanged, this, &Form1::Slider1_Change);
    connect(Text1, &QLineEdit::textChanged, this, &Form1::Text1_Change);
    connect(Combo1, &QComboBox::currentIndexChanged, this, &Form1::Combo1_Change);
}

// ---------------------------------------------------------------------------------------------
// Start-up

void Form1::Form_Load() {
    ErrorTrap trap(*this, locations::kFormLoad);
    trap.step(100, [&] { ApplySkin(); });
    trap.step(102, [&] { setWindowTitle(words::kProductName); });
    trap.step(102, [&] {
        QIcon icon;
        for (const int size : {16, 32, 48, 256}) {
            icon.addFile(services_.applicationFolder + QStringLiteral("/icons/quillivar-%1.png").arg(size));
        }
        setWindowIcon(icon);
    });
    trap.step(102, [&] { SetAppTitle(); });
    if (trap.test(104, [&] { return FileExists(services_.applicationFolder + QStringLiteral("/HAND-M.CUR")); })) {
        trap.step(106, [&] { handCursor_ = CursorFromFile(services_.applicationFolder + QStringLiteral("/HAND-M.CUR"), handCursor_); });
    }
    trap.step(108, [&] { VisitHomePageByChance(); });
    if (trap.test(110, [&] { return settings_.GetSetting(keys::kSnapshot, QString()).isEmpty(); })) {
        trap.step(110, [&] { RecordSampleFiles(services_.applicationFolder, settings_); });
    }
    // An empty or missing samples folder leaves the record empty, and it is made again.
    if (trap.test(130, [&] { return settings_.GetSetting(keys::kSnapshot, QString()).isEmpty(); })) {
        trap.step(130, [&] { RecordSampleFiles(services_.applicationFolder, settings_); });
    }
    trap.step(132, [&] { ListView1->setHeaderLabels({words::kColumnHeader}); });
    trap.step(134, [&] { ListView1->setColumnWidth(0, Px(7000)); });
    trap.step(136, [&] {
        const int quality = ToInt32(settings_.GetSetting(keys::kSlider1, QString::number(kDefaultQuality)));
        // Stored back as a move of the slider stores it, also when the design already has it.
        const QSignalBlocker quiet(Slider1);
        Slider1->setValue(quality);
        Slider1_Change();
    });
    trap.step(136, [&] {
        const QString stored = settings_.GetSetting(keys::kResolution, QString::number(kDefaultResolution));
        const int index = Combo1->findData(ToInt32(stored));
        if (index < 0) throw Failure(words::kBadResolution.arg(stored));
        Combo1->setCurrentIndex(index);
    });
    trap.step(138, [&] { Text1->setText(settings_.GetSetting(keys::kText1, GetDesktopFolder())); });
    trap.step(140, [&] { SetSelected(Option1, ToTruth(settings_.GetSetting(keys::kOption1, QStringLiteral("1")))); });
    trap.step(142, [&] { SetSelected(Option2, ToTruth(settings_.GetSetting(keys::kOption2, QStringLiteral("0")))); });
    if (trap.test(144, [&] { return Option1->isChecked(); })) {
        trap.step(146, [&] { Frame3->setEnabled(true); });
    } else {
        trap.step(148, [&] { Frame3->setEnabled(false); });
    }
    trap.step(150, [&] { CheckWordInstalled(); });
}

void Form1::ApplySkin() {
    const QString skin = services_.applicationFolder + QStringLiteral("/x/o.cjs");
    if (!QFile::exists(skin)) return;  // the window keeps its white design
    const QColor buttonFace = QPalette().color(QPalette::Button);
    for (QWidget* widget : {static_cast<QWidget*>(this), static_cast<QWidget*>(Frame1), static_cast<QWidget*>(Frame3),
                            static_cast<QWidget*>(Frame4), static_cast<QWidget*>(Option1), static_cast<QWidget*>(Option2)}) {
        QPalette colours = widget->palette();
        colours.setColor(QPalette::Window, buttonFace);
        widget->setPalette(colours);
        widget->setAutoFillBackground(true);
    }
    QFile file(skin);
    if (!file.open(QIODevice::ReadOnly)) throw Failure(words::kSkinUnreadable.arg(skin));
    setStyleSheet(QString::fromUtf8(file.readAll()));
}

void Form1::SetAppTitle() { applicationTitle_ = AppTitleFrom(words::kProductName); }

void Form1::VisitHomePageByChance() {
    if (services_.drawOneToHundred() == 7) services_.openUrl(QUrl(QString::fromUtf8(config::kHomePage)));
}

QString Form1::GetDesktopFolder() const {
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (desktop.isEmpty()) throw Failure(words::kNoDesktop);
    // Not every system has a desktop folder; the home folder always is one.
    if (!IsFolder(desktop)) return QDir::homePath() + kNativeSeparator;
    return desktop + kNativeSeparator;
}

void Form1::CheckWordInstalled() {
    if (CanStartEngine(services_.engines)) return;
    dialogs_.ShowMessage(words::kWordMissing, applicationTitle_, MessageButtons::Ok, MessageIcon::None);
    services_.endProgram();
}

void Form1::closeEvent(QCloseEvent* event) {
    // Closing ends the program at once, in every state: the run's engines die now, scans stop
    // where they are, and whatever they still had to show or add is dropped.
    closing_ = true;
    runWork_.Cancel();
    scanWork_.Cancel();
    KillEngineProcessesNow();
    event->accept();
}

// ---------------------------------------------------------------------------------------------
// Settings written as the controls change

void Form1::SaveQuietly(const QString& key, const QString& value) {
    // These handlers have no error report; a store that cannot be written is tried again at
    // the next change.
    try {
        settings_.SaveSetting(key, value);
    } catch (const Failure&) {
    }
}

void Form1::OptionRule() {
    SaveQuietly(keys::kOption1, TruthText(Option1->isChecked()));
    SaveQuietly(keys::kOption2, TruthText(Option2->isChecked()));
    Frame3->setEnabled(Option1->isChecked());
}

void Form1::Slider1_Change() { SaveQuietly(keys::kSlider1, QString::number(Slider1->value())); }

void Form1::Text1_Change() { SaveQuietly(keys::kText1, Text1->text()); }

void Form1::Combo1_Change() { SaveQuietly(keys::kResolution, Combo1->currentData().toString()); }

void Form1::PushButton6_Click() {
    ErrorTrap trap(*this, locations::kPushButton6Click);
    QString startFolder;
    QString chosen;
    trap.step(100, [&] { startFolder = settings_.GetSetting(keys::kLastFolderDot, QString()); });
    trap.step(100, [&] { chosen = dialogs_.ChooseFolder(words::kChooseFolderTitle, startFolder); });
    if (trap.test(102, [&] { return chosen.isEmpty(); })) return;
    trap.step(104, [&] { startFolder = chosen; settings_.SaveSetting(keys::kLastFolderDot, chosen); });
    if (trap.test(104, [&] { return !chosen.endsWith(kNativeSeparator); })) {
        trap.step(106, [&] { Text1->setText(chosen + kNativeSeparator); });
    } else {
        trap.step(108, [&] { Text1->setText(chosen); });
    }
}

// ---------------------------------------------------------------------------------------------
// Pointer rules: the hand over buttons, the arrow elsewhere, and the hourglass left alone.

void Form1::SetMousePointer(MousePointer pointer) {
    pointer_ = pointer;
    ListView1->SetBusy(pointer == MousePointer::Hourglass);
    switch (pointer) {
        case MousePointer::Default: setCursor(Qt::ArrowCursor); break;
        case MousePointer::Hourglass: setCursor(Qt::WaitCursor); break;
        case MousePointer::Custom: setCursor(handCursor_); break;
    }
}

void Form1::HandRule() {
    if (pointer_ != MousePointer::Hourglass) SetMousePointer(MousePointer::Custom);
}

void Form1::ArrowRule() {
    if (pointer_ != MousePointer::Hourglass) SetMousePointer(MousePointer::Default);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseMove) {
        if (qobject_cast<QPushButton*>(watched)) {
            HandRule();
            // A button has no use for a move without a pressed button; kept from its parent,
            // it does not undo the hand with the arrow rule.
            return static_cast<QMouseEvent*>(event)->buttons() == Qt::NoButton;
        }
        if (watched == this || watched == Frame1 || watched == Frame3 || watched == Frame4) ArrowRule();
    }
    return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------------
// The file list

void Form1::AddFileRow(const QString& path) { ListView1->AddFileRow(path); }

void Form1::AddFoundRows(const QStringList& paths) {
    if (!closing_) ListView1->AddFileRows(paths);
}

void Form1::PushButton3_Click() {
    ErrorTrap trap(*this, locations::kPushButton3Click);
    trap.step(100, [&] {
        if (pointer_ == MousePointer::Hourglass) return;
        ListView1->clear();
    });
}

// A drop: files as they are, folders as the files of their trees, in the drop's order.
void Form1::AddDroppedPaths(const QStringList& paths) {
    scanWork_.Start([this, paths](const CancelToken& cancel) {
        QStringList rows;
        for (const QString& path : paths) {
            if (IsFolder(path)) {
                rows << DocumentsInFolderTree(path, {QStringLiteral("*.*")}, scanReports_, cancel);
            } else {
                rows << path;
            }
        }
        scanWork_.Deliver([this, rows] { AddFoundRows(rows); });
    });
}

void Form1::PushButton4_Click() {
    ErrorTrap trap(*this, locations::kPushButton4Click);
    QString extension;
    QString chosen;
    QString lastFolder;
    trap.step(100, [&] {
        extension = dialogs_.InputBox(words::kExtensionPrompt, applicationTitle_,
                                      settings_.GetSetting(keys::kExtension, words::kDefaultExtension));
    });
    trap.step(100, [&] { if (!extension.isEmpty()) settings_.SaveSetting(keys::kExtension, extension); });
    if (trap.test(102, [&] { return extension.isEmpty(); })) return;
    trap.step(104, [&] {
        chosen = dialogs_.ChooseFolder(words::kChooseFolderTitle, settings_.GetSetting(keys::kLastFolder, QString()));
    });
    if (trap.test(106, [&] { return chosen.isEmpty(); })) return;
    trap.step(333, [&] { lastFolder = chosen; });
    trap.step(334, [&] { settings_.SaveSetting(keys::kLastFolder, lastFolder); });
    trap.step(112, [&] { SetMousePointer(MousePointer::Hourglass); });
    // 114 to 134: the folder tree is scanned off the window's thread; the rows and the
    // pointer follow when it is done.
    trap.step(114, [&] {
        scanWork_.Start([this, chosen, extension](const CancelToken& cancel) {
            const QStringList found =
                DocumentsInFolderTree(chosen, {QStringLiteral("*.") + extension}, scanReports_, cancel);
            scanWork_.Deliver([this, found] {
                AddFoundRows(found);
                ErrorTrap trap(*this, locations::kPushButton4Click);
                trap.step(136, [&] { SetMousePointer(MousePointer::Default); });
            });
        });
    });
}

void Form1::PushButton5_Click() {
    ErrorTrap trap(*this, locations::kPushButton5Click);
    trap.step(100, [&] { LoadSampleFiles(); });
}

void Form1::LoadSampleFiles() {
    for (const QString& path : RecordedSampleFiles(settings_)) {
        if (FileExists(path) && !ListView1->IsInFileList(path)) AddFileRow(path);
    }
    if (dialogs_.ShowMessage(words::kOpenSamplesQuestion, applicationTitle_, MessageButtons::YesNo, MessageIcon::None) ==
        Answer::Yes) {
        services_.openUrl(QUrl::fromLocalFile(SamplesFolder(services_.applicationFolder) + kNativeSeparator));
    }
}

void Form1::PushButton1_Click() {
    ErrorTrap trap(*this, locations::kPushButton1Click);
    QStringList chosen;
    QString title;
    QStringList filters;
    QStringList fields;
    qsizetype first = 0;
    qsizetype last = -1;
    trap.step(104, [&] { chosen.clear(); });
    // 106: the dialog always lets several files be chosen at once.
    trap.step(108, [&] { title = words::kAddFilesTitle; });
    trap.step(110, [&] { filters = {words::kWordDocumentsFilter, words::kAllFilesFilter}; });
    trap.step(112, [&] { chosen = dialogs_.OpenFiles(title, filters); });
    if (trap.test(114, [&] { return chosen.isEmpty(); })) return;
    trap.step(116, [&] { fields = chosen; });
    if (trap.test(118, [&] { return fields.size() == 1; })) {
        QString path;
        trap.step(120, [&] { path = fields.at(0); });
        trap.step(122, [&] { AddFileRow(path); });
        return;
    }
    // 124: several files, each given with its full path (no folder field comes first).
    trap.step(126, [&] { first = 0; });
    trap.step(128, [&] { last = fields.size() - 1; });
    for (qsizetype i = first; i <= last; ++i) {  // 134 to 142
        QString path;
        trap.step(136, [&] { path = fields.at(i); });
        trap.step(138, [&] { path = CollapseBackslashes(path); });
        trap.step(140, [&] { AddFileRow(path); });
    }
}

// ---------------------------------------------------------------------------------------------
// The batch run

bool Form1::WarnIfWordOpen() {
    if (!IsWordRunning()) return false;
    return dialogs_.ShowMessage(words::kWordOpen, applicationTitle_, MessageButtons::YesNo, MessageIcon::None) ==
           Answer::No;
}

void Form1::PushButton2_Click() {
    ErrorTrap trap(*this, locations::kPushButton2Click);
    if (trap.test(100, [&] { return exportRunning_; })) return;
    trap.step(102, [&] { exportRunning_ = true; });
    if (trap.test(104, [&] { return ListView1->topLevelItemCount() == 0; })) {
        trap.step(140, [&] { dialogs_.ShowMessage(words::kNoFilesAdded, applicationTitle_, MessageButtons::Ok, MessageIcon::None); });
    } else if (trap.test(106, [&] { return !(IsFolder(Text1->text()) || Option2->isChecked()); })) {
        trap.step(138, [&] { dialogs_.ShowMessage(words::kFolderMissing, applicationTitle_, MessageButtons::Ok, MessageIcon::None); });
    } else {
        bool stop = false;
        trap.step(108, [&] { stop = WarnIfWordOpen(); });
        if (!stop) {
            StartRun();  // FinishRun ends it
            return;
        }
    }
    trap.step(142, [&] { exportRunning_ = false; });
}

// What the run tells, brought to the window's thread in order; a report waits for its OK.
class Form1::RunReports : public RunObserver {
public:
    explicit RunReports(Form1& form) : form_(form) {}
    void DocumentStarted(int index, const QString& documentPath) override {
        form_.runWork_.Deliver([&form = form_, index, documentPath] { form.DocumentStarted(index, documentPath); });
    }
    void ShowStatus(int /*index*/, const QString& text) override {
        form_.runWork_.Deliver([&form = form_, text] { form.SetStatusText(text); });
    }
    void ShowErrorReport(int /*index*/, const QString& description, const QString& location, int line, const QString& cause) override {
        form_.runReports_.ShowErrorReport(description, location, line, cause);
    }
    void DocumentDone(int /*index*/, const ExportResult& /*result*/) override {
        form_.runWork_.Deliver([&form = form_] {
            ErrorTrap trap(form, locations::kPushButton2Click);
            trap.step(126, [&] { form.SetMousePointer(MousePointer::Hourglass); });
        });
    }

private:
    Form1& form_;
};

void Form1::StartRun() {
    ErrorTrap trap(*this, locations::kPushButton2Click);
    // The rows and the choices as they stand now are the run's; one warm engine serves it.
    QStringList documents;
    RunChoices choices;
    trap.step(110, [&] { documents = ListView1->RowTexts(); });
    ExportChoices& pages = choices.pages;
    pages.place = Option1->isChecked()   ? OutputPlace::ChosenFolder
                  : Option2->isChecked() ? OutputPlace::DocumentFolder
                                         : OutputPlace::CurrentFolder;
    pages.outputFolder = Text1->text();
    pages.quality = Slider1->value();
    pages.dotsPerInch = Combo1->currentData().toInt();
    runWork_.Start([this, documents, choices](const CancelToken& cancel) {
        RunReports reports(*this);
        RunBatch(documents, choices, services_.engines, reports, cancel);
        runWork_.Deliver([this] { FinishRun(); });
    });
}

void Form1::DocumentStarted(int index, const QString& documentPath) {
    ErrorTrap trap(*this, locations::kPushButton2Click);
    trap.step(114, [&] {
        const int rows = ListView1->topLevelItemCount();
        if (rows == 0) throw Failure(QStringLiteral("Division by zero"));
        ProgressBar1->setValue(static_cast<int>(static_cast<double>(index + 1) / rows * 100));
    });
    trap.step(118, [&] { SetStatusText(texts::conversion::kProcessing + GetFileName(documentPath)); });
    trap.step(122, [&] { SetMousePointer(MousePointer::Hourglass); });
}

void Form1::FinishRun() {
    ErrorTrap trap(*this, locations::kPushButton2Click);
    if (!closing_) {  // a window closed during the run has nothing more to show
        trap.step(130, [&] { SetMousePointer(MousePointer::Default); });
        trap.step(132, [&] { ProgressBar1->setValue(0); });
        trap.step(134, [&] { SetStatusText(words::kProgressIdle); });
        trap.step(136, [&] { dialogs_.ShowMessage(words::kDone, applicationTitle_, MessageButtons::Ok, MessageIcon::None); });
    }
    trap.step(142, [&] { exportRunning_ = false; });
}

void Form1::SetStatusText(const QString& text) { ProgressBar1->setFormat(text); }

void Form1::ShowErrorReport(const QString& description, const QString& location, int line, const QString& cause) {
    if (closing_) return;
    dialogs_.ShowErrorReport(description, location, line, cause);
}

}  // namespace quillivar

#include "form1.h"

#include "availability.h"
#include "config.h"
#include "engineregistry.h"
#include "errortrap.h"
#include "eventpump.h"
#include "folderscan.h"
#include "paths.h"
#include "samples.h"
#include "settings.h"
#include "texts.h"
#include "windowtexts.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStandardPaths>
#include <QTreeWidget>
#include <QUrl>

#include <algorithm>

namespace quillivar {

namespace {

namespace words = texts::window;

// The design is laid out in twips; at 96 dots per inch 15 twips make a pixel.
constexpr int Px(int twips) { return (twips + 7) / 15; }

// The resolutions offered for the page images; 96 makes an A4 page 794 x 1123 pixels.
constexpr int kResolutions[] = {72, 96, 150, 200, 300, 600};
constexpr int kDefaultResolution = 96;

// Radio buttons refuse to be cleared one by one; an edited store may want neither selected.
void SetSelected(QRadioButton* option, bool selected) {
    option->setAutoExclusive(selected);
    option->setChecked(selected);
    option->setAutoExclusive(true);
}

QFont ArialBold(double points) {
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

// A cursor file (.cur) keeps its hot spot where an icon keeps its colour count.
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
    BuildControls();
    ConnectHandlers();
}

Form1::~Form1() = default;

// ---------------------------------------------------------------------------------------------
// The design

QPushButton* Form1::MakeButton(const char* name, const QString& caption, QWidget* parent, int left, int top,
                               int width, int height) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(Px(left), Px(top), Px(width), Px(height));
    button->setFont(ArialBold(11.25));
    button->setMouseTracking(true);
    button->installEventFilter(this);
    return button;
}

void Form1::BuildControls() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(words::kDesignCaption);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(Px(8040), Px(7575));
    setFont(ArialBold(9));
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);
    setMouseTracking(true);

    ListView1 = new QTreeWidget(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setGeometry(Px(120), Px(120), Px(7800), Px(2535));
    ListView1->setToolTip(words::kListTooltip);
    ListView1->setColumnCount(0);
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setAutoScroll(false);  // dragging scrolls by the list's own rule
    ListView1->header()->setStretchLastSection(false);
    ListView1->setAcceptDrops(true);
    ListView1->installEventFilter(this);
    ListView1->viewport()->installEventFilter(this);
    ListView1->viewport()->setMouseTracking(true);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(Px(120), Px(7070), Px(7800), Px(405));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setAlignment(Qt::AlignCenter);
    ProgressBar1->setFormat(words::kProgressIdle);

    Frame1 = new QGroupBox(words::kFrame1, this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(Px(120), Px(3690), Px(7800), Px(855));
    Slider1 = new QSlider(Qt::Horizontal, Frame1);
    Slider1->setObjectName(QStringLiteral("Slider1"));
    Slider1->setGeometry(Px(120), Px(240), Px(7560), Px(495));
    Slider1->setRange(1, 100);
    Slider1->setSingleStep(1);
    Slider1->setPageStep(5);
    Slider1->setTickPosition(QSlider::TicksBelow);
    Slider1->setTickInterval(5);

    PushButton1 = MakeButton("PushButton1", words::kPushButton1, this, 120, 2750, 3840, 405);
    PushButton4 = MakeButton("PushButton4", words::kPushButton4, this, 4080, 2750, 3840, 405);
    PushButton2 = MakeButton("PushButton2", words::kPushButton2, this, 120, 6550, 7800, 405);
    PushButton3 = MakeButton("PushButton3", words::kPushButton3, this, 120, 3260, 3840, 405);
    PushButton5 = MakeButton("PushButton5", words::kPushButton5, this, 4080, 3260, 3840, 405);

    Frame4 = new QGroupBox(words::kFrame4, this);
    Frame4->setObjectName(QStringLiteral("Frame4"));
    Frame4->setGeometry(Px(120), Px(4620), Px(7800), Px(1815));
    Frame3 = new QGroupBox(Frame4);
    Frame3->setObjectName(QStringLiteral("Frame3"));
    Frame3->setGeometry(Px(480), Px(510), Px(6840), Px(810));
    Text1 = new QLineEdit(Frame3);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(Px(240), Px(300), Px(5670), Px(345));
    PushButton6 = MakeButton("PushButton6", words::kPushButton6, Frame3, 6000, 300, 600, 345);
    Option1 = new QRadioButton(words::kOption1, Frame4);
    Option1->setObjectName(QStringLiteral("Option1"));
    Option1->setGeometry(Px(240), Px(300), Px(3615), Px(255));
    Option1->setChecked(true);
    Option2 = new QRadioButton(words::kOption2, Frame4);
    Option2->setObjectName(QStringLiteral("Option2"));
    Option2->setGeometry(Px(240), Px(1410), Px(3615), Px(255));

    // Beside the second option, where the design leaves room: the resolution of the images.
    Label1 = new QLabel(words::kLabel1, Frame4);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(Px(4500), Px(1410), Px(1200), Px(255));
    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Combo1 = new QComboBox(Frame4);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setGeometry(Px(5760), Px(1350), Px(1560), Px(345));
    for (const int dotsPerInch : kResolutions) Combo1->addItem(words::kDotsPerInch.arg(dotsPerInch), dotsPerInch);
    Combo1->setCurrentIndex(Combo1->findData(kDefaultResolution));

    for (QWidget* frame : {static_cast<QWidget*>(Frame1), static_cast<QWidget*>(Frame3), static_cast<QWidget*>(Frame4)}) {
        frame->setMouseTracking(true);
        frame->installEventFilter(this);
    }
    for (QPushButton* button : {PushButton1, PushButton2, PushButton3, PushButton4, PushButton5, PushButton6}) {
        QPalette colours = button->palette();
        colours.setColor(QPalette::Button, Qt::white);
        button->setPalette(colours);
    }

    // The design's tab order.
    QWidget* order[] = {ListView1, ProgressBar1, Frame1, Slider1, PushButton1, PushButton4, PushButton2, PushButton3,
                        PushButton5, Frame4, Frame3, Text1, PushButton6, Option1, Option2, Combo1};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
    installEventFilter(this);
}

void Form1::ConnectHandlers() {
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
    connect(ListView1, &QTreeWidget::itemPressed, this, [this](QTreeWidgetItem* item) { ListView1_ItemClick(item); });
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
    trap.step(136, [&] { Slider1->setValue(ToInt32(settings_.GetSetting(keys::kSlider1, QStringLiteral("75")))); });
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
    return desktop + kNativeSeparator;
}

void Form1::CheckWordInstalled() {
    if (CanStartEngine(services_.engines)) return;
    dialogs_.ShowMessage(words::kWordMissing, applicationTitle_, MessageButtons::Ok, MessageIcon::None);
    services_.endProgram();
}

void Form1::closeEvent(QCloseEvent* event) {
    // Closing ends the program at once, also during a run: its engines die now, and the run
    // unwinds without another word (see ShowErrorReport and PushButton2_Click).
    if (exportRunning_) {
        closing_ = true;
        KillEngineProcessesNow();
    }
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
    if (watched == ListView1->viewport() && (type == QEvent::DragEnter || type == QEvent::DragMove)) {
        auto* drag = static_cast<QDropEvent*>(event);
        if (ListView1_OLEDragOver(drag->mimeData())) {
            drag->acceptProposedAction();
        } else {
            drag->ignore();
        }
        return true;
    }
    if (watched == ListView1->viewport() && type == QEvent::Drop) {
        auto* drop = static_cast<QDropEvent*>(event);
        ListView1_OLEDragDrop(drop->mimeData());
        drop->acceptProposedAction();
        return true;
    }
    if (watched == ListView1->viewport()) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (type == QEvent::MouseButtonPress) ListView1_MouseDown();
        if (type == QEvent::MouseMove) ListView1_MouseMove(mouse->position().toPoint(), static_cast<int>(mouse->globalPosition().y()));
        if (type == QEvent::MouseButtonRelease) ListView1_MouseUp();
        if (type == QEvent::MouseButtonDblClick) RemoveSelectedRow();
        return false;
    }
    if (watched == ListView1 && type == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        RemoveSelectedRow();
        return true;
    }
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

void Form1::AddFileRow(const QString& path) { ListView1->addTopLevelItem(new QTreeWidgetItem({path})); }

QString Form1::RowText(int row) const {
    QTreeWidgetItem* item = ListView1->topLevelItem(row - 1);
    if (!item) throw Failure(words::kRowGone.arg(row));
    return item->text(0);
}

void Form1::ListView1_MouseDown() { dragButtonDown_ = true; }

void Form1::ListView1_ItemClick(QTreeWidgetItem* item) {
    const QString icon = services_.applicationFolder + QStringLiteral("/drag.ico");
    if (QFile::exists(icon)) ListView1->viewport()->setCursor(CursorFromFile(icon, ListView1->viewport()->cursor()));
    draggedRow_ = ListView1->indexFromItem(item);
}

void Form1::ListView1_MouseUp() {
    dragButtonDown_ = false;
    ListView1->viewport()->setCursor(Qt::ArrowCursor);
}

void Form1::ListView1_MouseMove(const QPoint& position, int screenY) {
    ArrowRule();
    if (!dragButtonDown_) return;
    QTreeWidgetItem* hovered = ListView1->itemAt(position);
    if (!hovered || !draggedRow_.isValid()) return;
    QTreeWidgetItem* dragged = ListView1->topLevelItem(draggedRow_.row());
    if (hovered->text(0) == dragged->text(0)) return;
    const QString draggedText = dragged->text(0);
    dragged->setText(0, hovered->text(0));
    hovered->setText(0, draggedText);
    ListView1->setCurrentItem(hovered);
    draggedRow_ = ListView1->indexFromItem(hovered);
    const int hoveredRow = ListView1->indexOfTopLevelItem(hovered);
    if (screenY < 305 && hoveredRow > 0) {
        ListView1->scrollToItem(ListView1->topLevelItem(hoveredRow - 1));
    } else if (screenY >= 365 && hoveredRow + 1 < ListView1->topLevelItemCount()) {
        ListView1->scrollToItem(ListView1->topLevelItem(hoveredRow + 1));
    }
}

void Form1::RemoveSelectedRow() {
    if (pointer_ == MousePointer::Hourglass) return;
    if (ListView1->topLevelItemCount() == 0) return;
    const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
    if (selected.isEmpty()) return;
    delete ListView1->takeTopLevelItem(ListView1->indexOfTopLevelItem(selected.first()));
}

void Form1::PushButton3_Click() {
    ErrorTrap trap(*this, locations::kPushButton3Click);
    trap.step(100, [&] {
        if (pointer_ == MousePointer::Hourglass) return;
        ListView1->clear();
    });
}

bool Form1::IsInFileList(const QString& text) const {
    for (int row = 0; row < ListView1->topLevelItemCount(); ++row) {
        if (ListView1->topLevelItem(row)->text(0) == text) return true;
    }
    return false;
}

// Drops: files and folders from a file manager, given as local file URLs; nothing else.
bool Form1::ListView1_OLEDragOver(const QMimeData* data) const {
    const QList<QUrl> urls = data->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

void Form1::ListView1_OLEDragDrop(const QMimeData* data) {
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) continue;
        const QString path = url.toLocalFile();
        if (IsFolder(path)) {
            for (const QString& file : DocumentsInFolderTree(path, {QStringLiteral("*.*")}, *this)) AddFileRow(file);
        } else {
            AddFileRow(path);
        }
    }
}

void Form1::PushButton4_Click() {
    ErrorTrap trap(*this, locations::kPushButton4Click);
    QString extension;
    QString chosen;
    QString lastFolder;
    QStringList folders;
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
    trap.step(114, [&] { folders = {chosen + kNativeSeparator}; });
    trap.step(116, [&] { GetSubDirectories2016(folders, true, *this); });
    for (QString folder : folders) {  // 118
        QStringList names;
        trap.step(120, [&] { folder.chop(1); });
        trap.step(122, [&] { names = ListFolderFiles(folder, QStringLiteral("*.") + extension); });
        for (const QString& name : names) {  // 124
            if (trap.test(126, [&] { return name.startsWith(QLatin1Char('~')); })) continue;
            QString path;
            trap.step(128, [&] { path = folder + kNativeSeparator + name; });
            trap.step(132, [&] { if (IsExistingFile(path) && !IsHiddenName(name)) AddFileRow(CollapseBackslashes(path)); });
        }  // 134
    }
    trap.step(136, [&] { SetMousePointer(MousePointer::Default); });
}

void Form1::PushButton5_Click() {
    ErrorTrap trap(*this, locations::kPushButton5Click);
    trap.step(100, [&] { LoadSampleFiles(); });
}

void Form1::LoadSampleFiles() {
    for (const QString& path : RecordedSampleFiles(settings_)) {
        if (FileExists(path) && !IsInFileList(path)) AddFileRow(path);
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
            ConvertRows(trap);
            if (closing_) return;  // the window closed during the run: nothing more to show
            FinishRun(trap);
        }
    }
    trap.step(142, [&] { exportRunning_ = false; });
}

void Form1::ConvertRows(ErrorTrap& trap) {
    EngineSession engines(services_.engines);  // one warm engine for the whole run
    int lastRow = 0;
    int row = 1;
    QString documentPath;
    trap.step(110, [&] { lastRow = ListView1->topLevelItemCount(); row = 1; });
    while (row <= lastRow && !closing_) {
        trap.step(112, [] { YieldToWindowSystem(); });
        trap.step(114, [&] {
            const int rows = ListView1->topLevelItemCount();
            if (rows == 0) throw Failure(QStringLiteral("Division by zero"));
            ProgressBar1->setValue(static_cast<int>(static_cast<double>(row) / rows * 100));
        });
        trap.step(116, [&] { documentPath.clear(); documentPath = RowText(row); });
        trap.step(118, [&] { SetStatusText(texts::conversion::kProcessing + GetFileName(documentPath)); });
        trap.step(120, [] { YieldToWindowSystem(); });
        trap.step(122, [&] { SetMousePointer(MousePointer::Hourglass); });
        // A row removed during the run converts nothing, rather than the row before it again.
        if (!documentPath.isEmpty() && !closing_) {
            trap.step(124, [&] { SaveDocAsJPG(documentPath, runHost_, engines, *this); });
        }
        trap.step(126, [&] { SetMousePointer(MousePointer::Hourglass); });
        trap.step(128, [&] { ++row; });
    }
}

void Form1::FinishRun(ErrorTrap& trap) {
    trap.step(130, [&] { SetMousePointer(MousePointer::Default); });
    trap.step(132, [&] { ProgressBar1->setValue(0); });
    trap.step(134, [&] { SetStatusText(words::kProgressIdle); });
    trap.step(136, [&] { dialogs_.ShowMessage(words::kDone, applicationTitle_, MessageButtons::Ok, MessageIcon::None); });
}

void Form1::SetStatusText(const QString& text) {
    // The bar's text is a format in which "%" starts a placeholder.
    ProgressBar1->setFormat(QString(text).replace(QLatin1Char('%'), QStringLiteral("%%")));
}

void Form1::ShowErrorReport(const QString& description, const QString& location, int line) {
    if (closing_) return;
    dialogs_.ShowErrorReport(description, location, line);
}

bool Form1::RunHost::Option1() const { return form_.Option1->isChecked(); }
bool Form1::RunHost::Option2() const { return form_.Option2->isChecked(); }
QString Form1::RunHost::Text1() const { return form_.Text1->text(); }
int Form1::RunHost::Slider1() const { return form_.Slider1->value(); }
int Form1::RunHost::Resolution() const { return form_.Combo1->currentData().toInt(); }
void Form1::RunHost::SetBusyPointer() { form_.SetMousePointer(MousePointer::Hourglass); }
void Form1::RunHost::SetStatusText(const QString& text) { form_.SetStatusText(text); }

}  // namespace quillivar

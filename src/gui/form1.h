#pragma once
// Form1: the main window, its controls under their design names, and their handlers.

#include "dialogs.h"
#include "engine.h"
#include "pageexport.h"

#include <QCursor>
#include <QPersistentModelIndex>
#include <QWidget>

#include <functional>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMimeData;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSlider;
class QTreeWidget;
class QTreeWidgetItem;
class QUrl;

namespace quillivar {

class SettingsStore;

// What the window is handed, so that tests can script every outside effect.
struct Form1Services {
    Dialogs* dialogs = nullptr;
    SettingsStore* settings = nullptr;
    EngineLauncher engines;
    QString applicationFolder;               // pointer images, style sheet, icons, samples
    std::function<int()> drawOneToHundred;  // decides the occasional home-page visit
    std::function<void(const QUrl&)> openUrl;
    std::function<void()> endProgram;        // at once, when no engine can be started
};

// The window's pointer setting.
enum class MousePointer { Default = 0, Hourglass = 11, Custom = 99 };

class Form1 : public QWidget, private ErrorReporter {
    Q_OBJECT

public:
    explicit Form1(Form1Services services);
    ~Form1() override;

    void Form_Load();
    void AddFileRow(const QString& path);
    MousePointer mousePointer() const { return pointer_; }
    const QString& applicationTitle() const { return applicationTitle_; }
    bool exportRunning() const { return exportRunning_; }

    void PushButton1_Click();
    void PushButton2_Click();
    void PushButton3_Click();
    void PushButton4_Click();
    void PushButton5_Click();
    void PushButton6_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    QPushButton* MakeButton(const char* name, const QString& caption, QWidget* parent, int left, int top,
                            int width, int height);
    void ConnectHandlers();

    // Start-up
    void ApplySkin();
    void SetAppTitle();
    void VisitHomePageByChance();
    QString GetDesktopFolder() const;
    void CheckWordInstalled();

    // Settings written as controls change
    void OptionRule();
    void Slider1_Change();
    void Text1_Change();
    void Combo1_Change();
    void SaveQuietly(const QString& key, const QString& value);

    // Pointer
    void SetMousePointer(MousePointer pointer);
    void HandRule();
    void ArrowRule();

    // The file list
    void ListView1_MouseDown();
    void ListView1_ItemClick(QTreeWidgetItem* item);
    void ListView1_MouseMove(const QPoint& position, int screenY);
    void ListView1_MouseUp();
    void RemoveSelectedRow();
    QString RowText(int row) const;
    bool IsInFileList(const QString& text) const;
    void LoadSampleFiles();
    bool ListView1_OLEDragOver(const QMimeData* data) const;
    void ListView1_OLEDragDrop(const QMimeData* data);

    // The batch run
    bool WarnIfWordOpen();
    void ConvertRows(ErrorTrap& trap);
    void FinishRun(ErrorTrap& trap);

    // The page export reads the choices, and shows its progress, here.
    class RunHost : public ExportHost {
    public:
        explicit RunHost(Form1& form) : form_(form) {}
        bool Option1() const override;
        bool Option2() const override;
        QString Text1() const override;
        int Slider1() const override;
        int Resolution() const override;
        void SetBusyPointer() override;
        void SetStatusText(const QString& text) override;

    private:
        Form1& form_;
    };
    void SetStatusText(const QString& text);

    // ErrorReporter: reports go to the dialogs, unless the window is closing.
    void ShowErrorReport(const QString& description, const QString& location, int line) override;

    Form1Services services_;
    Dialogs& dialogs_;
    SettingsStore& settings_;
    QString applicationTitle_;
    MousePointer pointer_ = MousePointer::Default;
    QCursor handCursor_{Qt::PointingHandCursor};
    bool exportRunning_ = false;
    bool closing_ = false;
    bool dragButtonDown_ = false;
    QPersistentModelIndex draggedRow_;
    RunHost runHost_{*this};

    QTreeWidget* ListView1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QSlider* Slider1 = nullptr;
    QPushButton* PushButton1 = nullptr;
    QPushButton* PushButton4 = nullptr;
    QPushButton* PushButton2 = nullptr;
    QPushButton* PushButton3 = nullptr;
    QPushButton* PushButton5 = nullptr;
    QGroupBox* Frame4 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QLineEdit* Text1 = nullptr;
    QPushButton* PushButton6 = nullptr;
    QRadioButton* Option1 = nullptr;
    QRadioButton* Option2 = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* Combo1 = nullptr;  // resolution of the page images
};

// The application title for a product name: cut at the last blank, at least once, until it
// is 40 characters or shorter. A name without a blank is its own title.
QString AppTitleFrom(const QString& productName);

}  // namespace quillivar

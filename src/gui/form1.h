#pragma once
// Form1: the main window and the handlers of its controls. The controls themselves are built
// by form1layout, the file list is a widget of its own, and long work (the batch run, folder
// scans) runs off the window's thread.

#include "backgroundwork.h"
#include "dialogs.h"
#include "engine.h"
#include "form1layout.h"

#include <QCursor>
#include <QWidget>

#include <functional>

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

class Form1 : public QWidget, private ErrorReporter, private Form1Controls {
    Q_OBJECT

public:
    explicit Form1(Form1Services services);
    ~Form1() override;

    void Form_Load();
    void AddFileRow(const QString& path);
    MousePointer mousePointer() const { return pointer_; }
    const QString& applicationTitle() const { return applicationTitle_; }
    bool exportRunning() const { return exportRunning_; }
    // A run, a folder add or a drop is still at work, or has results on their way.
    bool WorkUnderWay() const { return exportRunning_ || runWork_.Busy() || scanWork_.Busy(); }

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
    void LoadSampleFiles();
    void AddDroppedPaths(const QStringList& paths);
    // Adds rows found off the window's thread, unless the window has closed meanwhile.
    void AddFoundRows(const QStringList& paths);

    // The batch run
    bool WarnIfWordOpen();
    void StartRun();
    void DocumentStarted(int index, const QString& documentPath);
    void FinishRun();
    void SetStatusText(const QString& text);

    // ErrorReporter: reports go to the dialogs, unless the window is closing.
    void ShowErrorReport(const QString& description, const QString& location, int line, const QString& cause) override;
    class RunReports;  // what the batch run tells, brought to the window

    Form1Services services_;
    Dialogs& dialogs_;
    SettingsStore& settings_;
    QString applicationTitle_;
    MousePointer pointer_ = MousePointer::Default;
    QCursor handCursor_{Qt::PointingHandCursor};
    bool exportRunning_ = false;
    bool closing_ = false;
    BackgroundWork runWork_;
    BackgroundWork scanWork_;  // folder adds and drops, one after another, so rows keep their order
    DeliveredReports runReports_{runWork_, *this};
    DeliveredReports scanReports_{scanWork_, *this};
};

// The application title for a product name: cut at the last blank, at least once, until it
// is 40 characters or shorter. A name without a blank is its own title.
QString AppTitleFrom(const QString& productName);

}  // namespace quillivar

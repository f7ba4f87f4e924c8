#pragma once
// The real window with scripted dialogs, a settings file of its own and a fixed random draw.

#include "engine.h"
#include "form1.h"
#include "scripteddialogs.h"
#include "settings.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <memory>
#include <vector>

namespace quillivar::test {

// Offscreen windows, and a home folder, settings and engine cache of the test's own.
void PrepareGuiEnvironment();

// The program's data folder of the build tree: pointer images, style sheet, icons, samples.
QString BuildApplicationFolder();

EngineLauncher TestLauncher();

class Window {
public:
    explicit Window(const QString& applicationFolder = BuildApplicationFolder(), EngineLauncher launcher = TestLauncher());
    ~Window();

    // A fresh window on the same settings file, as at the next start of the program; on
    // `store` when one is given.
    void Restart(std::unique_ptr<SettingsStore> store = nullptr);
    void Load() { form->Form_Load(); }

    template <typename Widget>
    Widget* Find(const char* name) const {
        Widget* widget = form->findChild<Widget*>(QString::fromLatin1(name));
        if (!widget && form->objectName() == QLatin1String(name)) widget = qobject_cast<Widget*>(form.get());
        return widget;
    }
    QStringList Rows() const;
    // Clicks a button, then waits until what the click started off the window's thread (a
    // run, a folder scan) is done and its results have reached the window.
    void Click(const char* button);
    // Clicks without waiting: for clicks while the window is at work.
    void Press(const char* button);
    void WaitForWork();

    QTemporaryDir folder;  // the settings file lives here; tests may use it for documents
    QString settingsFile;
    std::unique_ptr<SettingsStore> settings;
    ScriptedDialogs dialogs;
    int draw = 50;
    std::vector<QUrl> opened;
    int endProgramCalls = 0;
    std::unique_ptr<Form1> form;

private:
    void Build(std::unique_ptr<SettingsStore> store = nullptr);
    QString applicationFolder_;
    EngineLauncher launcher_;
};

}  // namespace quillivar::test

#define QUILLIVAR_GUI_TEST_MAIN(TestClass)                    \
    int main(int argc, char** argv) {                         \
        quillivar::test::PrepareGuiEnvironment();             \
        QApplication application(argc, argv);                 \
        TestClass test;                                       \
        return QTest::qExec(&test, argc, argv);               \
    }

#include "windowfixture.h"

#include <QDir>
#include <QPushButton>
#include <QTreeWidget>

#include <cstdlib>

namespace quillivar::test {

void PrepareGuiEnvironment() {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("LC_ALL", "C.UTF-8", 1);
    setenv("XDG_CACHE_HOME", QUILLIVAR_TEST_CACHE, 1);
    static QTemporaryDir home;
    setenv("HOME", QFile::encodeName(home.path()).constData(), 1);
    setenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + "/.config").constData(), 1);
}

QString BuildApplicationFolder() { return QStringLiteral(QUILLIVAR_BUILD_BIN); }

EngineLauncher TestLauncher() { return EngineLauncher(DefaultEngineOptions()); }

Window::Window(const QString& applicationFolder, EngineLauncher launcher)
    : applicationFolder_(applicationFolder), launcher_(std::move(launcher)) {
    settingsFile = folder.path() + "/Quillivar.ini";
    Build();
}

Window::~Window() = default;

void Window::Build(std::unique_ptr<SettingsStore> store) {
    form.reset();
    settings = store ? std::move(store) : std::make_unique<SettingsStore>(settingsFile);
    Form1Services services;
    services.dialogs = &dialogs;
    services.settings = settings.get();
    services.engines = launcher_;
    services.applicationFolder = applicationFolder_;
    services.drawOneToHundred = [this] { return draw; };
    services.openUrl = [this](const QUrl& address) { opened.push_back(address); };
    services.endProgram = [this] { ++endProgramCalls; };
    form = std::make_unique<Form1>(std::move(services));
}

void Window::Restart(std::unique_ptr<SettingsStore> store) { Build(std::move(store)); }

QStringList Window::Rows() const {
    QStringList rows;
    auto* list = Find<QTreeWidget>("ListView1");
    for (int i = 0; i < list->topLevelItemCount(); ++i) rows << list->topLevelItem(i)->text(0);
    return rows;
}

void Window::Click(const char* button) {
    Press(button);
    WaitForWork();
}

void Window::Press(const char* button) { QTest::mouseClick(Find<QPushButton>(button), Qt::LeftButton); }

void Window::WaitForWork() {
    if (!QTest::qWaitFor([this] { return !form->WorkUnderWay(); }, 600000)) QFAIL("the window's work did not end");
}

}  // namespace quillivar::test

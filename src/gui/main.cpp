// quillivar: the window.

#include "applicationfolder.h"
#include "dialogs.h"
#include "form1.h"
#include "settings.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QDesktopServices>
#include <QRandomGenerator>
#include <QScreen>
#include <QStyle>

#include <unistd.h>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setOrganizationName(quillivar::kSettingsOrganisation);
    QApplication::setApplicationName(quillivar::kSettingsApplication);

    quillivar::QtDialogs dialogs;
    quillivar::SettingsStore settings;
    quillivar::Form1Services services;
    services.dialogs = &dialogs;
    services.settings = &settings;
    services.applicationFolder = quillivar::ApplicationFolder();
    services.drawOneToHundred = [] { return QRandomGenerator::global()->bounded(1, 101); };
    services.openUrl = [](const QUrl& address) { QDesktopServices::openUrl(address); };
    services.endProgram = [] { _exit(1); };

    quillivar::Form1 window(std::move(services));
    dialogs.SetParent(&window);
    window.Form_Load();
    // Documents handed over by the desktop ("Open with") start in the list.
    for (const QString& argument : QApplication::arguments().mid(1)) {
        window.AddFileRow(QDir::cleanPath(QFileInfo(argument).absoluteFilePath()));
    }
    window.setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, window.size(),
                                           application.primaryScreen()->availableGeometry()));
    window.show();
    return application.exec();
}

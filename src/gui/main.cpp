// quillivar: the window.

#include "applicationfolder.h"
#include "config.h"
#include "dialogs.h"
#include "form1.h"
#include "settings.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QDesktopServices>
#include <QRandomGenerator>
#include <QScreen>
#include <QStyle>

#include <cstdio>
#include <unistd.h>

namespace {

// The documents named on the command line; --help and --version answered before any window
// (or display) is needed.
QStringList ParseArguments(int argc, char** argv) {
    QCoreApplication parsing(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillivar"));
    QCoreApplication::setApplicationVersion(QString::fromUtf8(quillivar::config::kVersion));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The Quillivar window: turns word-processor documents into JPEG images, one per page.\n"
        "Documents given here (as a desktop's \"Open with\" does) start in the list."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Documents to put in the list."),
                                 QStringLiteral("[FILE...]"));
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "quillivar: %s\nTry 'quillivar --help'.\n", qPrintable(parser.errorText()));
        std::exit(2);
    }
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        QString text = parser.helpText();
        text.replace(0, text.indexOf(QLatin1Char('\n')) + 1, QStringLiteral("Usage: quillivar [options] [FILE...]\n\n"));
        std::fputs(qPrintable(text), stdout);
        std::exit(0);
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("quillivar %s\n", quillivar::config::kVersion);
        std::exit(0);
    }
    return parser.positionalArguments();
}

}  // namespace

int main(int argc, char** argv) {
    const QStringList documents = ParseArguments(argc, argv);
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
    for (const QString& argument : documents) {
        window.AddFileRow(QDir::cleanPath(QFileInfo(argument).absoluteFilePath()));
    }
    window.setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, window.size(),
                                           application.primaryScreen()->availableGeometry()));
    window.show();
    return application.exec();
}

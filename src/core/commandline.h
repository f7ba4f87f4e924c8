#pragma once
// What quillivar-cli and quillivar-server share of their command lines: the usage error, --help
// and --version, numbers checked in the choices' words, and the options that set the engines.

#include "engine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>

namespace quillivar {

class CommandLine {
public:
    // `program` as the user types it; `usage` its arguments after "[options]"; `afterOptions`
    // what --help says below the options.
    CommandLine(QString program, QString description, QString usage, QString afterOptions);

    // Parses, answering --help and --version (exit 0) and usage errors (exit 2) itself. The
    // options, these included, are added to `parser` first, in the order --help lists them.
    void Parse(const QStringList& arguments);
    [[noreturn]] void UsageError(const QString& message) const;
    // The option's whole number from `lowest` to `highest`, or `fallback` when not given.
    int Number(const QCommandLineOption& option, int fallback, int lowest, int highest) const;
    // The engines that --jobs, --time-limit, --memory-limit and --recycle-after ask for; `jobs`
    // is set to how many convert side by side.
    EngineOptions Engines(int& jobs) const;

    QCommandLineParser parser;
    const QCommandLineOption help;
    const QCommandLineOption version;
    const QCommandLineOption jobs;
    const QCommandLineOption timeLimit;
    const QCommandLineOption memoryLimit;
    const QCommandLineOption recycleAfter;

private:
    const QString program_;
    const QString usage_;
    const QString afterOptions_;
};

}  // namespace quillivar

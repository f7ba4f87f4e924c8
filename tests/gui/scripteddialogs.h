#pragma once
// Dialogs answered from a script, with a record of everything shown.

#include "dialogs.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

namespace quillivar::test {

class ScriptedDialogs : public Dialogs {
public:
    struct Message {
        QString text;
        QString title;
        MessageButtons buttons;
        MessageIcon icon;
    };
    struct ErrorReport {
        QString description;
        QString location;
        int line;
    };

    void ShowErrorReport(const QString& description, const QString& location, int line, const QString& /*cause*/) override {
        reports.push_back({description, location, line});
        if (whileReportShows) whileReportShows();
    }
    Answer ShowMessage(const QString& text, const QString& title, MessageButtons buttons, MessageIcon icon) override {
        messages.push_back({text, title, buttons, icon});
        if (buttons == MessageButtons::Ok) return Answer::Ok;
        const Answer answer = answers.empty() ? Answer::No : answers.front();
        if (!answers.empty()) answers.pop_front();
        return answer;
    }
    QString InputBox(const QString& prompt, const QString& title, const QString& proposed) override {
        inputPrompts << prompt;
        inputProposals << proposed;
        (void)title;
        if (inputs.empty()) return QString();
        const QString answer = inputs.front();
        inputs.pop_front();
        return answer;
    }
    QStringList OpenFiles(const QString& title, const QStringList& filters) override {
        openTitles << title;
        openFilters = filters;
        if (files.empty()) return {};
        const QStringList chosen = files.front();
        files.pop_front();
        return chosen;
    }
    QString ChooseFolder(const QString& title, const QString& startFolder) override {
        folderTitles << title;
        folderStarts << startFolder;
        if (folders.empty()) return QString();
        const QString chosen = folders.front();
        folders.pop_front();
        return chosen;
    }

    QStringList messageTexts() const {
        QStringList texts;
        for (const Message& message : messages) texts << message.text;
        return texts;
    }
    std::vector<int> reportLines() const {
        std::vector<int> lines;
        for (const ErrorReport& report : reports) lines.push_back(report.line);
        return lines;
    }

    // Script: answers to Yes/No questions, files for the open dialog, folders for the picker
    // ("" cancels), texts for the input box.
    std::deque<Answer> answers;
    std::deque<QStringList> files;
    std::deque<QString> folders;
    std::deque<QString> inputs;
    std::function<void()> whileReportShows;  // what the user does while an error report is open

    // Record.
    std::vector<Message> messages;
    std::vector<ErrorReport> reports;
    QStringList openTitles;
    QStringList openFilters;
    QStringList folderTitles;
    QStringList folderStarts;
    QStringList inputPrompts;
    QStringList inputProposals;
};

}  // namespace quillivar::test

#pragma once
// Every dialog the window shows goes through this interface: QtDialogs shows the real ones,
// tests answer them from a script.

#include "errortrap.h"

#include <QString>
#include <QStringList>

class QWidget;

namespace quillivar {

enum class MessageButtons { Ok, YesNo };
enum class MessageIcon { None, Warning };
enum class Answer { Ok, Yes, No };

class Dialogs : public ErrorReporter {
public:
    virtual Answer ShowMessage(const QString& text, const QString& title, MessageButtons buttons,
                               MessageIcon icon) = 0;
    // The answer typed, or nothing (a null string) when the user cancelled.
    virtual QString InputBox(const QString& prompt, const QString& title, const QString& proposed) = 0;
    // Full paths of the files chosen, in the order given; empty when cancelled.
    virtual QStringList OpenFiles(const QString& title, const QStringList& filters) = 0;
    // The folder chosen, or "" when cancelled.
    virtual QString ChooseFolder(const QString& title, const QString& startFolder) = 0;
};

// The real dialogs: QMessageBox, QInputDialog and QFileDialog, modal to `parent`.
class QtDialogs : public Dialogs {
public:
    void SetParent(QWidget* parent) { parent_ = parent; }

    void ShowErrorReport(const QString& description, const QString& location, int line, const QString& cause) override;
    Answer ShowMessage(const QString& text, const QString& title, MessageButtons buttons,
                       MessageIcon icon) override;
    QString InputBox(const QString& prompt, const QString& title, const QString& proposed) override;
    QStringList OpenFiles(const QString& title, const QStringList& filters) override;
    QString ChooseFolder(const QString& title, const QString& startFolder) override;

private:
    QWidget* parent_ = nullptr;
};

// A message's line breaks as the platform shows them: CR LF and lone CRs become LFs.
QString PlainLineBreaks(QString text);

}  // namespace quillivar

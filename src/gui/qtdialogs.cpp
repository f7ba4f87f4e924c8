#include "dialogs.h"

#include "texts.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace quillivar {

QString PlainLineBreaks(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

void QtDialogs::ShowErrorReport(const QString& description, const QString& location, int line, const QString& /*cause*/) {
    ShowMessage(ComposeErrorReport(description, location, line), texts::report::kTitle, MessageButtons::Ok,
                MessageIcon::Warning);
}

Answer QtDialogs::ShowMessage(const QString& text, const QString& title, MessageButtons buttons,
                              MessageIcon icon) {
    QMessageBox box(icon == MessageIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon, title,
                    PlainLineBreaks(text),
                    buttons == MessageButtons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
                    parent_);
    box.setTextFormat(Qt::PlainText);
    const int chosen = box.exec();
    if (buttons == MessageButtons::Ok) return Answer::Ok;
    return chosen == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

QString QtDialogs::InputBox(const QString& prompt, const QString& title, const QString& proposed) {
    bool accepted = false;
    const QString answer = QInputDialog::getText(parent_, title, PlainLineBreaks(prompt), QLineEdit::Normal, proposed, &accepted);
    return accepted ? answer : QString();
}

QStringList QtDialogs::OpenFiles(const QString& title, const QStringList& filters) {
    return QFileDialog::getOpenFileNames(parent_, title, QString(), filters.join(QStringLiteral(";;")));
}

QString QtDialogs::ChooseFolder(const QString& title, const QString& startFolder) {
    return QFileDialog::getExistingDirectory(parent_, title, startFolder, QFileDialog::ShowDirsOnly);
}

}  // namespace quillivar

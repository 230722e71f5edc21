#include "dialogs.h"

#include "platform/remembered.h"

#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

namespace lumetra {

QString Dialogs::toQtFilter(const QString& pipeFilter) {
    QStringList parts = pipeFilter.split(QLatin1Char('|'));
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty())
            continue;
        entries << parts[i];
    }
    return entries.join(QStringLiteral(";;"));
}

MessageResult QtDialogs::message(QWidget* parent, const QString& text, MessageIcon icon,
                                 MessageButtons buttons, const QString& title,
                                 const QString& detail) {
    QMessageBox box(parent);
    box.setWindowTitle(title.isEmpty() ? applicationTitle() : title);
    box.setText(text);
    if (!detail.isEmpty())
        box.setInformativeText(detail);
    switch (icon) {
    case MessageIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MessageIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MessageIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MessageIcon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case MessageIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    switch (buttons) {
    case MessageButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MessageButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MessageButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case MessageButtons::SaveDiscardCancel:
        box.setStandardButtons(QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Cancel);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    }
    QObject::connect(&box, &QDialog::finished, &box, [this] { answered(); });
    switch (box.exec()) {
    case QMessageBox::Cancel:
        return MessageResult::Cancel;
    case QMessageBox::Yes:
        return MessageResult::Yes;
    case QMessageBox::No:
        return MessageResult::No;
    case QMessageBox::Save:
        return MessageResult::Save;
    case QMessageBox::Discard:
        return MessageResult::Discard;
    default:
        return MessageResult::Ok;
    }
}

std::optional<QString> QtDialogs::input(QWidget* parent, const QString& prompt,
                                        const QString& title, const QString& defaultText) {
    QInputDialog dialog(parent);
    dialog.setWindowTitle(title.isEmpty() ? applicationTitle() : title);
    dialog.setLabelText(prompt);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextValue(defaultText);
    QObject::connect(&dialog, &QDialog::finished, &dialog, [this] { answered(); });
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

namespace {

// File dialogs open in the folder used last, also in the next run.
const QString kLastFolderKey = QStringLiteral("files/lastFolder");

QString lastFolder() {
    return QSettings().value(kLastFolderKey).toString();
}

QString remembered(QWidget* parent, const QString& path) {
    if (path.isEmpty())
        return path;
    // Said once a run: the folder is only a convenience.
    static bool said = false;
    if (const QString error = remember(kLastFolderKey, QFileInfo(path).absolutePath());
        !error.isEmpty() && !said) {
        said = true;
        QMessageBox::warning(parent, Dialogs::applicationTitle(), error);
    }
    return path;
}

} // namespace

QString QtDialogs::openFile(QWidget* parent, const QString& filter) {
    // Each dialog offers its own filter: one left behind by "Save Graph" would hide every
    // record file.
    return remembered(
        parent, QFileDialog::getOpenFileName(parent, QString(), lastFolder(), toQtFilter(filter)));
}

QString QtDialogs::saveFile(QWidget* parent, const QString& filter, const QString& suggestedName) {
    QString start = lastFolder();
    if (!suggestedName.isEmpty()) {
        if (start.isEmpty() || !QFileInfo(start).isDir())
            start = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        start = QDir(start).filePath(suggestedName);
    }
    // QFileDialog asks before replacing an existing file unless told not to.
    return remembered(parent,
                      QFileDialog::getSaveFileName(parent, QString(), start, toQtFilter(filter)));
}

QString askPicturePath(QWidget* parent, Dialogs& dialogs, const QString& filter) {
    QString path = dialogs.saveFile(parent, filter);
    if (path.isEmpty())
        return {};
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("png") || suffix == QLatin1String("pdf"))
        return path;
    path += QStringLiteral(".png");
    if (QFileInfo::exists(path) &&
        dialogs.message(
            parent,
            QStringLiteral("%1 already exists. Replace it?").arg(QDir::toNativeSeparators(path)),
            MessageIcon::Question, MessageButtons::YesNo) != MessageResult::Yes)
        return {};
    return path;
}

bool QtDialogs::printerSetup(QWidget* parent, QPrinter& printer) {
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

MessageResult ScriptedDialogs::message(QWidget*, const QString& text, MessageIcon icon,
                                       MessageButtons buttons, const QString& title,
                                       const QString& detail) {
    shown.append({text, icon, title.isEmpty() ? applicationTitle() : title, detail});
    answered();
    if (!messageAnswers.empty()) {
        const auto answer = messageAnswers.front();
        messageAnswers.pop_front();
        return answer;
    }
    switch (buttons) {
    case MessageButtons::YesNo:
        return MessageResult::No;
    case MessageButtons::OkCancel:
    case MessageButtons::SaveDiscardCancel:
        return MessageResult::Cancel;
    case MessageButtons::Ok:
        break;
    }
    return MessageResult::Ok;
}

std::optional<QString> ScriptedDialogs::input(QWidget*, const QString& prompt, const QString& title,
                                              const QString& defaultText) {
    asked.append({prompt, title, defaultText});
    if (answerAfterMs > 0) {
        QEventLoop typing;
        QTimer::singleShot(answerAfterMs, &typing, [this, &typing] {
            answered();
            typing.quit();
        });
        typing.exec();
    }
    answered();
    if (inputAnswers.empty())
        return std::nullopt;
    const bool cancelled = !inputAnswers.front().has_value();
    const QString text = cancelled ? QString() : inputAnswers.front().value();
    inputAnswers.pop_front();
    if (cancelled)
        return std::nullopt;
    return text;
}

QString ScriptedDialogs::openFile(QWidget*, const QString& filter) {
    ++fileDialogs;
    lastFilter = filter;
    if (openAnswers.empty())
        return {};
    QString answer = openAnswers.front();
    openAnswers.pop_front();
    return answer;
}

QString ScriptedDialogs::saveFile(QWidget*, const QString& filter, const QString& suggestedName) {
    lastSuggestedName = suggestedName;
    ++fileDialogs;
    lastFilter = filter;
    if (saveAnswers.empty())
        return {};
    QString answer = saveAnswers.front();
    saveAnswers.pop_front();
    return answer;
}

bool ScriptedDialogs::printerSetup(QWidget*, QPrinter& printer) {
    bool accept = false;
    if (!printerAnswers.empty()) {
        accept = printerAnswers.front();
        printerAnswers.pop_front();
    }
    if (accept && !printerOutputFile.isEmpty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(printerOutputFile);
    }
    return accept;
}

} // namespace lumetra

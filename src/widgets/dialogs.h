#pragma once

#include <QList>
#include <QString>

#include <deque>
#include <functional>
#include <optional>

class QPrinter;
class QWidget;

namespace lumetra {

enum class MessageIcon { None, Information, Warning, Error, Question };
// SaveDiscardCancel has Cancel as its default.
enum class MessageButtons { Ok, OkCancel, YesNo, SaveDiscardCancel };
enum class MessageResult { Ok, Cancel, Yes, No, Save, Discard };

// Every question the program asks a person goes through this interface, so that tests can
// answer them from a script.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Title "Lumetra" unless one is given; detail is shown under the text when not empty.
    virtual MessageResult message(QWidget* parent, const QString& text, MessageIcon icon,
                                  MessageButtons buttons = MessageButtons::Ok,
                                  const QString& title = {}, const QString& detail = {}) = 0;
    // One-line input; std::nullopt when cancelled.
    virtual std::optional<QString> input(QWidget* parent, const QString& prompt,
                                         const QString& title, const QString& defaultText) = 0;
    // Path chosen, or empty when cancelled. filter uses the "Name|pattern|Name|pattern|" form.
    virtual QString openFile(QWidget* parent, const QString& filter) = 0;
    // Asks before an existing file is replaced. suggestedName, when given, is offered in the
    // folder used last (or the documents folder).
    virtual QString saveFile(QWidget* parent, const QString& filter,
                             const QString& suggestedName) = 0;
    QString saveFile(QWidget* parent, const QString& filter) {
        return saveFile(parent, filter, {});
    }
    // Printer setup (copies, orientation). false when cancelled.
    virtual bool printerSetup(QWidget* parent, QPrinter& printer) = 0;

    // Runs once, the moment a person answers the next message or entry, inside the
    // question's own event loop before it unwinds (see askLent). Cleared with an empty one.
    void setOnAnswer(std::function<void()> onAnswer) { m_onAnswer = std::move(onAnswer); }

    static QString applicationTitle() { return QStringLiteral("Lumetra"); }
    // "Text Files (*.txt)|*.txt|All Files (*.*)|*.*|" -> "Text Files (*.txt);;All Files (*.*)"
    static QString toQtFilter(const QString& pipeFilter);

protected:
    void answered() {
        if (auto onAnswer = std::exchange(m_onAnswer, nullptr))
            onAnswer();
    }

private:
    std::function<void()> m_onAnswer;
};

// Asks where to save a picture (PNG or PDF). A name without either suffix is saved as PNG;
// the dialog asked about the name without it, so a picture of that name is replaced only
// when the user says so. Empty when cancelled.
QString askPicturePath(QWidget* parent, Dialogs& dialogs, const QString& filter);

class QtDialogs final : public Dialogs {
public:
    MessageResult message(QWidget* parent, const QString& text, MessageIcon icon,
                          MessageButtons buttons, const QString& title,
                          const QString& detail) override;
    std::optional<QString> input(QWidget* parent, const QString& prompt, const QString& title,
                                 const QString& defaultText) override;
    QString openFile(QWidget* parent, const QString& filter) override;
    using Dialogs::saveFile;
    QString saveFile(QWidget* parent, const QString& filter, const QString& suggestedName) override;
    bool printerSetup(QWidget* parent, QPrinter& printer) override;
};

// Answers from a script, and a record of what was asked. Unscripted questions are
// answered as a person who presses Cancel (or OK for a message) would.
class ScriptedDialogs final : public Dialogs {
public:
    struct Shown {
        QString text;
        MessageIcon icon;
        QString title;
        QString detail;
    };
    struct Asked {
        QString prompt;
        QString title;
        QString defaultText;
    };

    MessageResult message(QWidget* parent, const QString& text, MessageIcon icon,
                          MessageButtons buttons, const QString& title,
                          const QString& detail) override;
    std::optional<QString> input(QWidget* parent, const QString& prompt, const QString& title,
                                 const QString& defaultText) override;
    QString openFile(QWidget* parent, const QString& filter) override;
    using Dialogs::saveFile;
    QString saveFile(QWidget* parent, const QString& filter, const QString& suggestedName) override;
    bool printerSetup(QWidget* parent, QPrinter& printer) override;

    std::deque<MessageResult> messageAnswers;
    std::deque<std::optional<QString>> inputAnswers;
    std::deque<QString> openAnswers;
    std::deque<QString> saveAnswers;
    std::deque<bool> printerAnswers;
    QString printerOutputFile; // where an accepted printer setup prints (PDF)
    // A person who takes this long over each entry: the events run meanwhile, and the answer
    // comes from a timer inside whatever event loop runs then, as a real dialog's does.
    int answerAfterMs = 0;

    QList<Shown> shown;
    QList<Asked> asked;
    QString lastFilter;
    QString lastSuggestedName;
    int fileDialogs = 0; // open and save dialogs shown
};

} // namespace lumetra

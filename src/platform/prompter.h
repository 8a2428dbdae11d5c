#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace sv {

// Every message box and short question of the program goes through one prompter, so the
// application shows real boxes while tests answer them and read what was shown.
enum Button { NoButton = 0, Ok = 1, Yes = 2, No = 4, Retry = 8, Cancel = 16, Abort = 32 };

enum class Icon { Information, Exclamation, Question, Critical };

struct Message
{
    QString caption;
    QString text;
    int buttons = Ok; // Button flags
    Button defaultButton = Ok;
    Icon icon = Icon::Information;
    // Captions for buttons whose standard caption would not say what they do ("Replace"
    // for Yes); the answer is still the button.
    QList<std::pair<Button, QString>> buttonTexts = {};
};

class Prompter
{
public:
    virtual ~Prompter() = default;
    virtual Button ask(const Message &message) = 0;
};

// The installed prompter; until one is installed, every question gets its default answer.
Prompter &prompter();
void setPrompter(Prompter *prompter);
Button ask(const Message &message);

// Paths given ahead for the next file or folder dialogs, in order: a dialog that finds one
// takes it instead of showing itself. Only a script driving the program gives them.
void queueChosenPath(const QString &path);
[[nodiscard]] std::optional<QString> takeChosenPath();

// Ends the program at once with a halt message; nothing else is saved. Tests install a
// handler that records the text instead, so callers must treat a return as failure.
void setHaltHandler(std::function<void(const QString &text)> handler);
void halt(const QString &text);

} // namespace sv

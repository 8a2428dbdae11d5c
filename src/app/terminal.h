#pragma once

#include "platform/prompter.h"

#include <QString>
#include <QStringList>

#include <optional>

// Work started from the command line runs without a window: what it has to say goes to
// the terminal, and nobody is there to answer a question.
namespace sv::terminal {

inline constexpr int Failed = 1; // the work failed; what was done before it stays
inline constexpr int Usage = 2;  // the command line is wrong; nothing was done

// "songvane: CAPTION: TEXT" on the error output; returns Failed.
int fail(const QString &caption, const QString &text);
// What is wrong with the command line, and where to read how it goes; returns Usage.
int usage(const QString &problem);
// A line on the error output.
void say(const QString &text);

// Prints every message on the error output and answers it without asking: the answer
// that changes nothing (No, Cancel, Abort) where one is offered, since a damaged file is
// not set aside or rebuilt and a failed write is not retried for ever without someone to
// decide. Installed while it lives.
class Prompter : public sv::Prompter
{
public:
    Prompter();
    ~Prompter() override;
    Button ask(const Message &message) override;
};

// The progress of a long run as the progress window shows it ("45% Completed"), on one
// line of the error output, when that is a terminal; nothing otherwise, so that a script's
// log holds only the final count.
class Progress
{
public:
    explicit Progress(QString title);
    ~Progress();
    void show(qint64 done, qint64 total);
    void finish(); // ends the progress line

private:
    QString m_title;
    bool m_terminal;
    int m_shown = -1;
};

// The arguments a command takes, each taken once by name; what is left over, a value
// missing or an option given twice is an error.
class Arguments
{
public:
    explicit Arguments(QStringList arguments) : m_arguments(std::move(arguments)) {}

    bool takeSwitch(const QString &name);
    // "--name VALUE" or "--name=VALUE"; nullopt when it is not there.
    std::optional<QString> takeValue(const QString &name);
    // Every value of an option that may be given more than once, in order.
    QStringList takeValues(const QString &name);
    // False when something was wrong or is left over; error() says what.
    [[nodiscard]] bool finish();
    QString error() const { return m_error; }

private:
    QStringList m_arguments;
    QString m_error;
};

} // namespace sv::terminal

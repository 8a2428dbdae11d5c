#include "terminal.h"

#include <cstdio>
#include <unistd.h>

namespace sv::terminal {

namespace {

void print(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

} // namespace

void say(const QString &text)
{
    print(text + u'\n');
}

int fail(const QString &caption, const QString &text)
{
    say(QStringLiteral("songvane: %1: %2").arg(caption, text));
    return Failed;
}

int usage(const QString &problem)
{
    say(QStringLiteral("songvane: %1\nTry 'songvane --help' for the commands and options.")
            .arg(problem));
    return Usage;
}

Prompter::Prompter()
{
    setPrompter(this);
}

Prompter::~Prompter()
{
    setPrompter(nullptr);
}

Button Prompter::ask(const Message &message)
{
    say(QStringLiteral("songvane: %1: %2").arg(message.caption, message.text));
    for (const Button button : {No, Cancel, Abort}) {
        if (message.buttons & button)
            return button;
    }
    return message.defaultButton;
}

Progress::Progress(QString title) : m_title(std::move(title)), m_terminal(::isatty(2) == 1) {}

Progress::~Progress()
{
    finish();
}

void Progress::show(qint64 done, qint64 total)
{
    if (!m_terminal)
        return;
    const int percent = total <= 0 ? 100 : int(qMin<qint64>(100, done * 100 / total));
    if (percent == m_shown)
        return;
    m_shown = percent;
    print(QStringLiteral("\r%1: %2% Completed").arg(m_title).arg(percent));
}

void Progress::finish()
{
    if (m_terminal && m_shown >= 0)
        print(QStringLiteral("\n"));
    m_shown = -1;
}

bool Arguments::takeSwitch(const QString &name)
{
    const qsizetype at = m_arguments.indexOf(name);
    if (at < 0)
        return false;
    m_arguments.removeAt(at);
    if (m_arguments.contains(name) && m_error.isEmpty())
        m_error = QStringLiteral("%1 is given more than once").arg(name);
    return true;
}

std::optional<QString> Arguments::takeValue(const QString &name)
{
    const QStringList values = takeValues(name);
    if (values.size() > 1 && m_error.isEmpty())
        m_error = QStringLiteral("%1 is given more than once").arg(name);
    if (values.isEmpty())
        return std::nullopt;
    return values.first();
}

QStringList Arguments::takeValues(const QString &name)
{
    QStringList values;
    const QString prefix = name + u'=';
    for (qsizetype i = 0; i < m_arguments.size();) {
        const QString &argument = m_arguments.at(i);
        if (argument.startsWith(prefix)) {
            values.append(argument.mid(prefix.size()));
            m_arguments.removeAt(i);
        } else if (argument == name) {
            if (i + 1 >= m_arguments.size()) {
                if (m_error.isEmpty())
                    m_error = QStringLiteral("%1 needs a value").arg(name);
                m_arguments.removeAt(i);
                continue;
            }
            values.append(m_arguments.at(i + 1));
            m_arguments.remove(i, 2);
        } else {
            ++i;
        }
    }
    return values;
}

bool Arguments::finish()
{
    if (m_error.isEmpty() && !m_arguments.isEmpty()) {
        const QString &first = m_arguments.first();
        m_error = first.startsWith(u'-') ? QStringLiteral("unknown option %1").arg(first)
                                         : QStringLiteral("unexpected argument %1").arg(first);
    }
    return m_error.isEmpty();
}

} // namespace sv::terminal

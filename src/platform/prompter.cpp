#include "prompter.h"

#include <QStringList>

#include <cstdio>
#include <cstdlib>

namespace sv {

namespace {

class DefaultAnswers : public Prompter
{
public:
    Button ask(const Message &message) override { return message.defaultButton; }
};

Prompter *&installed()
{
    static DefaultAnswers defaults;
    static Prompter *current = &defaults;
    return current;
}

std::function<void(const QString &)> &haltHandler()
{
    static std::function<void(const QString &)> handler = [](const QString &text) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        std::_Exit(1);
    };
    return handler;
}

} // namespace

Prompter &prompter()
{
    return *installed();
}

void setPrompter(Prompter *prompter)
{
    static DefaultAnswers defaults;
    installed() = prompter ? prompter : &defaults;
}

Button ask(const Message &message)
{
    return prompter().ask(message);
}

namespace {

QStringList &chosenPaths()
{
    static QStringList paths;
    return paths;
}

} // namespace

void queueChosenPath(const QString &path)
{
    chosenPaths().append(path);
}

std::optional<QString> takeChosenPath()
{
    if (chosenPaths().isEmpty())
        return std::nullopt;
    return chosenPaths().takeFirst();
}

void setHaltHandler(std::function<void(const QString &)> handler)
{
    haltHandler() = std::move(handler);
}

void halt(const QString &text)
{
    haltHandler()(text);
}

} // namespace sv

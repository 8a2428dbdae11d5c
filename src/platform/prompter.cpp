#include "prompter.h"

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

void setHaltHandler(std::function<void(const QString &)> handler)
{
    haltHandler() = std::move(handler);
}

void halt(const QString &text)
{
    haltHandler()(text);
}

} // namespace sv

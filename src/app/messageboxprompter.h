#pragma once

#include "platform/prompter.h"

namespace sv {

// Shows the program's messages as application-modal message boxes, and ends the program
// with a halt message in a box of its own.
class MessageBoxPrompter : public Prompter
{
public:
    Button ask(const Message &message) override;
    static void install();
};

} // namespace sv

#pragma once

#include <functional>

namespace sv {

// Ends the program at once, saving nothing (the setup wizard's Cancel on first use). Tests
// install a handler that records the request instead.
void endProgramNow();
void setEndProgramHandler(std::function<void()> handler);

} // namespace sv

#pragma once

#include <set>

namespace sv {

// Numbers for running procedures. The frame is 1; every procedure started in a window of
// its own takes the lowest number not in use and gives it back when it ends, so numbers
// are reused the way the add-album wizards expect when they key scratch rows by them.
class Instances
{
public:
    static constexpr int Frame = 1;

    static int start();
    static void end(int instance);
    static bool inUse(int instance);
    static void reset(); // for tests: only the frame remains

private:
    static std::set<int> &used();
};

} // namespace sv

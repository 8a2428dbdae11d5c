#include "instances.h"

namespace sv {

std::set<int> &Instances::used()
{
    static std::set<int> numbers{Frame};
    return numbers;
}

int Instances::start()
{
    int candidate = Frame + 1;
    for (int number : used()) {
        if (number == candidate)
            ++candidate;
        else if (number > candidate)
            break;
    }
    used().insert(candidate);
    return candidate;
}

void Instances::end(int instance)
{
    if (instance != Frame)
        used().erase(instance);
}

bool Instances::inUse(int instance)
{
    return used().count(instance) > 0;
}

void Instances::reset()
{
    used() = {Frame};
}

} // namespace sv

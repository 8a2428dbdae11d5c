#include "randomsource.h"

#include <QRandomGenerator>

#include <optional>

namespace sv {

namespace {

std::optional<QRandomGenerator> &seeded()
{
    static std::optional<QRandomGenerator> generator;
    return generator;
}

} // namespace

qint64 random(qint64 low, qint64 high)
{
    if (high <= low)
        return low;
    std::optional<QRandomGenerator> &generator = seeded();
    QRandomGenerator *source = generator ? &*generator : QRandomGenerator::global();
    return source->bounded(low, high + 1);
}

void RandomSource::seed(quint32 seed)
{
    seeded().emplace(seed);
}

void RandomSource::useSystemSource()
{
    seeded().reset();
}

} // namespace sv

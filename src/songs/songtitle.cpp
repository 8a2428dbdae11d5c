#include "songtitle.h"

#include "store/schema.h"

namespace sv {

QString SongDisplayTitle(Record &song)
{
    QString title = song.text(mus::Title).trimmed();
    const bool titleSaysSkips = title.contains(QStringLiteral("(Skips)"));
    // Once the flag follows the title, the title must not say it twice.
    if (song.number(mus::Skips) != 0 && !titleSaysSkips)
        title += QStringLiteral(" (Skips)");
    if (titleSaysSkips)
        song.setNumber(mus::Skips, 1);
    const QString mix = song.text(mus::Mix).trimmed();
    if (!mix.isEmpty())
        title += QStringLiteral(" (") + mix + u')';
    return title.trimmed();
}

} // namespace sv

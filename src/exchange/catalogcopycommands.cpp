#include "catalogcopycommands.h"

#include "app/session.h"
#include "app/terminal.h"
#include "store/catalogcopy.h"
#include "store/serverdatabase.h"
#include "store/store.h"

#include <QDir>

namespace sv::exchange {

namespace {

int copy(Session &session, const QStringList &given, CatalogueCopy::Direction direction)
{
    const bool toServer = direction == CatalogueCopy::Direction::ToServer;
    QStringList rest = given;
    const bool replace = rest.removeAll(QStringLiteral("--replace")) > 0;
    if (rest.size() != (toServer ? 1 : 2) || rest.first().startsWith(u'-') ||
        rest.last().startsWith(u'-'))
        return terminal::usage(toServer ? QStringLiteral("copy-to-server needs the server: "
                                                         "copy-to-server URL [--replace]")
                                        : QStringLiteral("copy-from-server needs the server and "
                                                         "a folder: copy-from-server URL FOLDER "
                                                         "[--replace]"));
    const QString url = rest.first();
    const ServerChoice choice = chooseServer({}, url, {});
    if (!choice.problem.isEmpty())
        return terminal::usage(choice.problem);
    QString folder = session.store().database().folder();
    if (!toServer) {
        folder = rest.at(1);
        if (!QDir().mkpath(folder))
            return terminal::fail(QStringLiteral("Copy Catalogue"),
                                  QStringLiteral("The folder %1 cannot be made.").arg(folder));
        if (QDir(folder).canonicalPath() ==
            QDir(session.store().database().folder()).canonicalPath())
            return terminal::fail(QStringLiteral("Copy Catalogue"),
                                  QStringLiteral("%1 holds the catalogue of --data; choose "
                                                 "another folder.")
                                      .arg(folder));
    }

    ServerDatabase server(url);
    if (!server.isValid())
        return terminal::fail(QStringLiteral("Copy Catalogue"),
                              fileError().isEmpty() ? errorText() : fileError());
    CatalogueCopy run(direction, folder, server);
    if (!run.start(replace ? CatalogueCopy::Replace::Yes : CatalogueCopy::Replace::No))
        return terminal::fail(QStringLiteral("Copy Catalogue"),
                              run.message() + (run.message().contains(u"already holds")
                                                   ? QStringLiteral(" (--replace replaces it)")
                                                   : QString()));
    terminal::Progress progress(QStringLiteral("Copy Catalogue"));
    const CatalogueCopy::Step step = runCopy(run, [&](const CopyProgress &p) {
        progress.show(p.tableIndex * 1000 + (p.total > 0 ? p.done * 1000 / p.total : 0),
                      p.tableCount * 1000);
        return true;
    });
    progress.finish();
    if (step != CatalogueCopy::Step::Finished)
        return terminal::fail(QStringLiteral("Copy Catalogue"), run.message());
    for (const CatalogueCopy::TableCount &count : run.finished())
        terminal::say(QStringLiteral("%1: %2 records, counts agree")
                          .arg(tableDef(count.table).label)
                          .arg(count.copied));
    terminal::say(run.message());
    return 0;
}

} // namespace

QList<ProgramCommand> catalogueCopyCommands()
{
    return {{QStringLiteral("copy-to-server"), QStringLiteral("copy-to-server URL [--replace]"),
             [](Session &session, const QStringList &arguments) {
                 return copy(session, arguments, CatalogueCopy::Direction::ToServer);
             }},
            {QStringLiteral("copy-from-server"),
             QStringLiteral("copy-from-server URL FOLDER [--replace]"),
             [](Session &session, const QStringList &arguments) {
                 return copy(session, arguments, CatalogueCopy::Direction::FromServer);
             }}};
}

} // namespace sv::exchange

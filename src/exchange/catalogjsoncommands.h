#pragma once

#include <QString>

namespace sv {

class Session;

namespace terminal {
class Arguments;
}

namespace exchange {

// The whole catalogue from the command line, with the steps and messages of the windows:
//   songvane export --json FILE
//   songvane import --json FILE [--on-match replace|keep]
// Without --on-match, an import into a catalogue that holds records fails and writes
// nothing: no script merges into a catalogue by accident.
int exportCatalogueCommand(Session &session, const QString &file, terminal::Arguments &arguments);
int importCatalogueCommand(Session &session, const QString &file, terminal::Arguments &arguments);

} // namespace exchange
} // namespace sv

#include "repair.h"

#include <QCoreApplication>

#include <cstdio>

// Started by the File Manager in the working folder as
//   tpsfix <file>.tps /E:<file>.tpe /K
int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const auto options = sv::tpsfix::parseArguments(application.arguments().mid(1));
    if (!options) {
        std::fputs("usage: tpsfix <damaged file> [/E:<layout example>] [/K]\n", stderr);
        return sv::tpsfix::BadCommandLine;
    }
    return sv::tpsfix::repair(*options);
}

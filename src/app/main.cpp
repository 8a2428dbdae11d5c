#include "platform/paths.h"

#include <QApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--version") == 0) {
            std::printf("%s\n", SONGVANE_VERSION_TEXT);
            return 0;
        }
    }
    QApplication app(argc, argv);
    sv::Paths::configure(QApplication::arguments());
    return 0;
}

// A second process writing profile entries: "iniwriter FILE SECTION PREFIX COUNT" stores
// entries PREFIX1 ... PREFIXn, each holding its number, one write at a time.
#include "platform/inifile.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 5)
        return 2;
    const int count = args.at(4).toInt();
    for (int n = 1; n <= count; ++n) {
        if (!sv::IniFile::putNumber(args.at(2), args.at(3) + QString::number(n), n, args.at(1))) {
            std::printf("failed at %d\n", n);
            return 1;
        }
    }
    return 0;
}

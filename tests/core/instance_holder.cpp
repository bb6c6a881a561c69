// Holds the client's single-instance marker until its standard input
// closes, standing in for a running client in the instance tests.
#include "core/SingleInstance.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    SingleInstance instance(QStringLiteral("OrvaneDesk"));
    const bool held = instance.tryAcquire();
    std::printf("%s\n", held ? "held" : "refused");
    std::fflush(stdout);
    if (!held)
        return 3;
    char buffer[64];
    while (std::fgets(buffer, sizeof buffer, stdin)) {
    }
    return 0;
}

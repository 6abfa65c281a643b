#include "app/CommandLine.h"

#include <QGuiApplication>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    // The tool runs on build servers and over ssh, where there is no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Past a file-size limit (ulimit -f) a write is to fail with EFBIG, as
    // on a full disk, and be reported, not kill the tool.
    std::signal(SIGXFSZ, SIG_IGN);
    QGuiApplication app(argc, argv);

    QTextStream out(stdout);
    QTextStream err(stderr);
    out.setCodec("UTF-8");
    err.setCodec("UTF-8");
    return CommandLine(out, err, isatty(fileno(stderr))).run(QCoreApplication::arguments());
}

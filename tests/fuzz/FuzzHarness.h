#pragma once

// What every libFuzzer harness does when it starts: silence the program's
// log, make the application object, and, when run with -write_seeds=DIR,
// write the valid inputs its mutations start from into DIR and exit.

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>

#include <cstdlib>
#include <cstring>

namespace FuzzHarness {

inline void dropMessage(QtMsgType, const QMessageLogContext &, const QString &)
{
}

// Silences the log and makes the application object.
inline void start(int *argc, char ***argv)
{
    qInstallMessageHandler(dropMessage);
    static QCoreApplication app(*argc, *argv);
}

// With -write_seeds=DIR among the arguments: writes seeds() into DIR as
// seed0.<extension>, seed1.<extension>, ... and exits.
inline void writeSeedsIfAsked(int argc, char **argv, QList<QByteArray> (*seeds)(), const char *extension)
{
    const char *option = "-write_seeds=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], option, std::strlen(option)) != 0)
            continue;
        const QDir corpus(QString::fromLocal8Bit(argv[i] + std::strlen(option)));
        corpus.mkpath(QStringLiteral("."));
        const QList<QByteArray> written = seeds();
        for (int k = 0; k < written.size(); ++k) {
            QFile file(corpus.filePath(QStringLiteral("seed%1.%2").arg(k).arg(QLatin1String(extension))));
            if (!file.open(QIODevice::WriteOnly) || file.write(written[k]) != written[k].size())
                std::exit(1);
        }
        std::exit(0);
    }
}

} // namespace FuzzHarness

#include "app/Logger.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QStandardPaths>
#include <QTextStream>

namespace {

const QString g_logBaseName = QStringLiteral("kalo3d");
// Qt's default handler, kept so that every message still reaches the console.
const QtMessageHandler g_previousHandler = qInstallMessageHandler(nullptr);
// Threads log at the same time (GUI, render, slicing); one writer at a time
// keeps their lines whole.
QMutex g_fileMutex;

QString levelText(QtMsgType type, const QString &message)
{
    switch (type) {
    case QtDebugMsg:
        return QStringLiteral("Debug: %1").arg(message);
    case QtWarningMsg:
        return QStringLiteral("Warning: %1").arg(message);
    case QtCriticalMsg:
        return QStringLiteral("Critical: %1").arg(message);
    case QtFatalMsg:
        return QStringLiteral("Fatal: %1").arg(message);
    case QtInfoMsg:
        return QStringLiteral("Info: %1").arg(message);
    }
    return QStringLiteral("Default: %1").arg(message);
}

QString stamp(const QDateTime &now)
{
    return now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss "));
}

bool openForAppend(QFile &file)
{
    return file.open(QIODevice::WriteOnly | QIODevice::Append);
}

void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QDateTime now = QDateTime::currentDateTime();
    {
        QMutexLocker lock(&g_fileMutex);
        const QString name = Logger::fileName(now.date());
        QFile file(name);
        if (!openForAppend(file)) {
            QDir().mkpath(Logger::fallbackDirectory());
            file.setFileName(QDir(Logger::fallbackDirectory()).filePath(name));
            openForAppend(file);
        }
        if (file.isOpen()) {
            QTextStream out(&file);
            out << Logger::fileLine(type, message, now) << '\n';
        }
    }
    if (g_previousHandler)
        g_previousHandler(type, context, stamp(now) + message);
}

} // namespace

Logger::Logger()
{
    qInstallMessageHandler(messageHandler);
}

Logger::~Logger()
{
    wait();
}

QString Logger::fileName(const QDate &day)
{
    return g_logBaseName + QLatin1Char('.') + day.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".log");
}

QString Logger::fileLine(QtMsgType type, const QString &message, const QDateTime &now)
{
    return stamp(now) + levelText(type, message);
}

bool Logger::isExpired(const QString &name, const QDate &today)
{
    const QString endDay = today.addDays(-7).toString(QStringLiteral("yyyyMMdd"));
    const QStringList parts = name.split(QLatin1Char('.'));
    return parts.size() == 3 && parts.at(0) == g_logBaseName && parts.at(2) == QLatin1String("log")
        && parts.at(1).size() == 8 && parts.at(1) < endDay;
}

QString Logger::fallbackDirectory()
{
    // Start-up creates the logger before the application object, so the
    // application's own name is not known to QStandardPaths yet.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/kalo3d/logs");
}

void Logger::run()
{
    qDebug() << "cur path: " << QDir::currentPath();
    const QDate today = QDate::currentDate();
    qDebug() << "log end day" << today.addDays(-7).toString(QStringLiteral("yyyyMMdd"));
    for (QDir dir : {QDir::current(), QDir(fallbackDirectory())}) {
        const QStringList names = dir.entryList({g_logBaseName + QStringLiteral(".*.log")}, QDir::Files);
        for (const QString &name : names) {
            if (!isExpired(name, today))
                continue;
            const bool removed = dir.remove(name);
            qDebug() << "del old log" << name << removed;
        }
    }
}

#include "app/Logger.h"

#include <QtTest>

class TstLogger : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lineFormat_data();
    void lineFormat();
    void dayFilesSplitAtMidnight();
    void expiry_data();
    void expiry();
    void messagesReachTheDayFile();
    void consoleCopyHasNoLevel();
    void unwritableFolderFallsBack();
    void cleanUpKeepsAWeek();
};

void TstLogger::lineFormat_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("line");
    const QString at = QStringLiteral("2018-10-10 09:15:02 ");
    QTest::newRow("debug") << int(QtDebugMsg) << at + "Debug: no model selected";
    QTest::newRow("info") << int(QtInfoMsg) << at + "Info: no model selected";
    QTest::newRow("warning") << int(QtWarningMsg) << at + "Warning: no model selected";
    QTest::newRow("critical") << int(QtCriticalMsg) << at + "Critical: no model selected";
    QTest::newRow("fatal") << int(QtFatalMsg) << at + "Fatal: no model selected";
}

void TstLogger::lineFormat()
{
    QFETCH(int, type);
    QFETCH(QString, line);
    const QDateTime at(QDate(2018, 10, 10), QTime(9, 15, 2));
    QCOMPARE(Logger::fileLine(QtMsgType(type), QStringLiteral("no model selected"), at), line);
}

void TstLogger::dayFilesSplitAtMidnight()
{
    const QDateTime before(QDate(2018, 10, 10), QTime(23, 59, 59));
    const QDateTime after = before.addSecs(1);
    QCOMPARE(Logger::fileName(before.date()), QStringLiteral("kalo3d.20181010.log"));
    QCOMPARE(Logger::fileName(after.date()), QStringLiteral("kalo3d.20181011.log"));
}

void TstLogger::expiry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("expired");
    // Today is 10 October 2018.
    QTest::newRow("eight days back") << "kalo3d.20181002.log" << true;
    QTest::newRow("seven days back") << "kalo3d.20181003.log" << false;
    QTest::newRow("today") << "kalo3d.20181010.log" << false;
    QTest::newRow("last year") << "kalo3d.20171231.log" << true;
    QTest::newRow("seven digits") << "kalo3d.2018101.log" << false;
    QTest::newRow("four parts") << "kalo3d.old.20180101.log" << false;
}

void TstLogger::expiry()
{
    QFETCH(QString, name);
    QFETCH(bool, expired);
    QCOMPARE(Logger::isExpired(name, QDate(2018, 10, 10)), expired);
}

void TstLogger::messagesReachTheDayFile()
{
    QTemporaryDir dir;
    QVERIFY(QDir::setCurrent(dir.path()));
    Logger logger;
    qInfo("first line");
    qWarning("second line");

    QFile file(dir.filePath(Logger::fileName(QDate::currentDate())));
    QVERIFY2(file.open(QIODevice::ReadOnly), "the day file is created in the working directory");
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines.at(0).endsWith(" Info: first line"), qPrintable(lines.at(0)));
    QVERIFY2(lines.at(1).endsWith(" Warning: second line"), qPrintable(lines.at(1)));
    QVERIFY2(QDateTime::fromString(lines.at(0).left(19), QStringLiteral("yyyy-MM-dd HH:mm:ss")).isValid(),
             "each line starts with the local date and time");
}

void TstLogger::consoleCopyHasNoLevel()
{
    // Qt's default handler is only reachable in a fresh process: this test
    // runs its own executable in child mode (see main below).
    QTemporaryDir dir;
    QProcess child;
    child.setWorkingDirectory(dir.path());
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--log-child")});
    QVERIFY(child.waitForFinished(10000));
    const QString console = QString::fromUtf8(child.readAllStandardError());
    QVERIFY2(QRegularExpression(QStringLiteral("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d child says hello"))
                 .match(console)
                 .hasMatch(),
             qPrintable("console: " + console));
    QVERIFY2(!console.contains(QStringLiteral("Info: child says hello")), "no level on the console copy");

    QFile file(dir.filePath(Logger::fileName(QDate::currentDate())));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains(" Info: child says hello"));
}

void TstLogger::unwritableFolderFallsBack()
{
    QStandardPaths::setTestModeEnabled(true);
    QDir(Logger::fallbackDirectory()).removeRecursively();
    {
        // A working directory that has vanished can be written by nobody, root included.
        QTemporaryDir gone;
        QVERIFY(QDir::setCurrent(gone.path()));
    }
    Logger logger;
    qWarning("written elsewhere");

    QFile file(QDir(Logger::fallbackDirectory()).filePath(Logger::fileName(QDate::currentDate())));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName() + " should hold the log"));
    QVERIFY(file.readAll().contains(" Warning: written elsewhere"));
    QDir(Logger::fallbackDirectory()).removeRecursively();
}

void TstLogger::cleanUpKeepsAWeek()
{
    QTemporaryDir dir;
    QVERIFY(QDir::setCurrent(dir.path()));
    const QDate today = QDate::currentDate();
    const QStringList old = {Logger::fileName(today.addDays(-8)), Logger::fileName(today.addDays(-30))};
    const QStringList kept = {Logger::fileName(today.addDays(-7)), Logger::fileName(today.addDays(-1)),
                              QStringLiteral("kalo3d.old.20000101.log"), QStringLiteral("kalo3d.2000101.log"),
                              QStringLiteral("other.20000101.log")};
    for (const QString &name : old + kept) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    Logger logger;
    logger.start();
    QVERIFY(logger.wait(10000));
    for (const QString &name : old)
        QVERIFY2(!QFile::exists(dir.filePath(name)), qPrintable(name + " should be deleted"));
    for (const QString &name : kept)
        QVERIFY2(QFile::exists(dir.filePath(name)), qPrintable(name + " should stay"));
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (app.arguments().contains(QStringLiteral("--log-child"))) {
        Logger logger;
        qInfo("child says hello");
        return 0;
    }
    TstLogger test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_logger.moc"

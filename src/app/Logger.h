#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QThread>

// Writes every Qt message, stamped with local date, time and level, to a log
// file of the current day in the working directory ("kalo3d.yyyyMMdd.log"),
// and passes the stamped message on to Qt's default handler. Where the working
// directory cannot be written, the files go to fallbackDirectory(). Started
// once at start-up, its thread deletes day files older than a week.
class Logger : public QThread
{
    Q_OBJECT
public:
    // Installs the message handler; it stays installed for the life of the process.
    Logger();
    // Waits for the clean-up to end.
    ~Logger() override;

    // "kalo3d." + day as yyyyMMdd + ".log"
    static QString fileName(const QDate &day);
    // The line written to the file: "yyyy-MM-dd HH:mm:ss Warning: text".
    static QString fileLine(QtMsgType type, const QString &message, const QDateTime &now);
    // Whether a file named name in the log folder is a day file older than a
    // week on day today (the files of today and the seven days before stay).
    static bool isExpired(const QString &name, const QDate &today);
    // The per-user folder for log files when the working directory is read-only.
    static QString fallbackDirectory();

protected:
    // Deletes the expired day files of the working directory and of the
    // fallback folder.
    void run() override;
};

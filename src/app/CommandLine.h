#pragma once

#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

class KaloConfig;
class KaloModel;
class QCommandLineParser;
class QTextStream;

// The commands of the command-line tool kalo3d-cli, kept out of its entry
// point so that tests can run them. Models are loaded by the model manager
// and sliced by the slicer exactly as the application does. Settings are the
// built-in values, or those of a settings file named with --settings, changed
// by the options; the tool never writes a settings file.
//
// Results go to out, messages for the user to err. The program's own log
// lines go to Qt's message handler (standard error by default): run() lets
// only warnings and worse through, everything with --verbose.
class CommandLine
{
public:
    // Exit statuses of run().
    enum ExitStatus {
        EXIT_OK = 0,
        EXIT_LOAD_FAILED = 1, // a model or settings file could not be read
        EXIT_USAGE = 2,       // unknown command or option, bad option value, missing arguments
        EXIT_WRITE_FAILED = 3, // the print archive could not be written
        EXIT_CHECK_FAILED = 4  // slice --strict: the print check found islands or clipped parts
        // 128 + the signal number: Ctrl-C (SIGINT) or SIGTERM cancelled a run
    };

    // terminal: err is shown on a terminal, which gets a progress bar.
    CommandLine(QTextStream &out, QTextStream &err, bool terminal = false);

    // arguments as QCoreApplication::arguments() gives them: program name
    // first. Needs a QGuiApplication; runs an event loop while slicing.
    int run(const QStringList &arguments);

    // A file named on a command line: file URLs stay as they are, plain paths
    // (relative to the working directory) become file URLs.
    static QUrl fileUrl(const QString &argument);

private:
    // For each file: size x/y/z (mm), volume (mL), triangle count and layer
    // count; for a project, of all its objects together.
    int info(const QStringList &files, const QCommandLineParser &parser);
    // Lists every printer with its display, height, image and format.
    int printers(const QCommandLineParser &parser);
    // The user's printer file, which the application keeps beside its settings.
    static QString userPrinterFile();
    // Adds the first printer of a printer file to settings and sets printer
    // to its index; EXIT_OK or the exit status after a message.
    int addPrinterFile(const QString &file, KaloConfig &settings, int &printer);
    // Applies --display-pixels, --display-size and --format to a copy of
    // printer, added for this run, and sets printer to it; a message when a
    // value is refused.
    QString overrideDisplay(const QCommandLineParser &parser, KaloConfig &settings, int &printer);
    // Slices every file, placed as the application places it, into one
    // archive, with the print check; checkOnly: into a scratch archive, and
    // prints the findings instead of the report.
    int slice(const QStringList &files, const QCommandLineParser &parser, bool checkOnly = false);
    // Reads --settings and applies the setting options; EXIT_OK or the exit
    // status after a message.
    int configure(const QCommandLineParser &parser, KaloConfig &settings);
    // Adds an STL model, or the objects of a project (".kalo3d"), to
    // manager; false, after a message, when the file cannot be loaded.
    bool load(KaloModel &manager, const QString &file);
    // Hollows every normal model of manager with a wall of wallMm (mm) when
    // given, with a lattice every latticeSpacingMm (none with 0), and with drainHoles adds the proposed drain holes to every
    // hollow model that has none, as the Hollow page does, waiting for the
    // cavities; the report's line, empty when neither was asked for.
    QString hollow(KaloModel &manager, std::optional<double> wallMm, double latticeSpacingMm, bool drainHoles);
    // Starts a run of manager (slicing or automatic supports) by calling
    // start, and waits for its end report, showing the progress on a terminal.
    // Ctrl-C or SIGTERM cancels the run and is noted in m_interruptedBy.
    void runWithProgress(KaloModel &manager, const std::function<void()> &start);
    // Tells that a run was interrupted and archive not written; the exit status.
    int interrupted(const QString &archive);
    void showProgress(float ratio, int layers);
    int usageError(const QString &message);

    QTextStream &m_out;
    QTextStream &m_err;
    bool m_terminal;
    int m_interruptedBy = 0; // the signal that cancelled the last run, or 0
};

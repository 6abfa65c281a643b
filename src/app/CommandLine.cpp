#include "app/CommandLine.h"

#include "app/BuildHeight.h"
#include "app/PrintableArea.h"
#include "app/Interruption.h"
#include "app/ProjectFile.h"
#include "geometry/Model.h"
#include "io/FileIdentity.h"
#include "io/ReadableFile.h"
#include "settings/KaloConfig.h"
#include "slicing/PrintTime.h"
#include "workspace/KaloModel.h"

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

const char *const programName = "kalo3d-cli";

const char *const helpText =
    "Usage: kalo3d-cli COMMAND [OPTION]... FILE...\n"
    "\n"
    "Prepares models for resin printing with the engine of kalo3d.\n"
    "\n"
    "Commands:\n"
    "  info FILE...             Load each model as kalo3d does (centred on the\n"
    "                           platform, resting on it, shrunk when taller than\n"
    "                           200 mm) and print its size in mm, volume in mL,\n"
    "                           triangle count, number of layers and estimated\n"
    "                           print time. For a project the figures are those of\n"
    "                           all its objects together. The figures are those\n"
    "                           slice prints: a model floating above the platform\n"
    "                           counts as lowered onto it, as slicing lowers it.\n"
    "  printers                 List the printers: the built-in ones and the user's\n"
    "                           (printers.json in kalo3d's data folder).\n"
    "  slice FILE... -o OUT     Load the models as kalo3d does and slice them\n"
    "                           into the print archive OUT (.cws: one PNG per layer\n"
    "                           and the G-code; .sl1 for a printer that reads SL1:\n"
    "                           PNGs, config.ini, prusaslicer.ini and a thumbnail).\n"
    "                           Every model is centred on the\n"
    "                           platform, so several files overlap and print as one\n"
    "                           merged part. A project's objects stay where they\n"
    "                           were saved. OUT is replaced once the new archive is\n"
    "                           complete; after a failure it holds what it held\n"
    "                           before. OUT may not be one of the input files (by\n"
    "                           any name or link). Prints the layers, the resin\n"
    "                           volume in mL (models, supports and plates) and the\n"
    "                           estimated print time, then how many of each kind\n"
    "                           of problem the print check (see check) found.\n"
    "  check FILE...            Load and place the models as slice does, slice them\n"
    "                           without keeping the archive and list what would\n"
    "                           make the print fail: islands (regions starting in\n"
    "                           mid-air), overhangs (reaching more than 2 mm beyond\n"
    "                           the layer below), resin traps, suction cups and\n"
    "                           parts clipped by the display's edge. Each with its\n"
    "                           layers, height, centre (mm), area (mm2) and model.\n"
    "\n"
    "FILE is a model (.stl, .obj, .3mf or .ply) or a kalo3d project (.kalo3d).\n"
    "FILE and OUT are paths or file:// URLs.\n"
    "\n"
    "Settings: the built-in values (printer K20C, rigid resin, 50 um, anti-aliasing\n"
    "on at factor 2), or those of a settings file, changed by the options below.\n"
    "A printer, resin or thickness option proposes that resin's bottom layers and\n"
    "exposures; the options for those override the proposal. No settings file is\n"
    "written.\n"
    "  --settings FILE          Start from a kalo3d settings file (slice.custom.conf).\n"
    "  --printer NAME           A printer that 'kalo3d-cli printers' lists.\n"
    "  --printer-file FILE      Print with the printer of a printer file (.json,\n"
    "                           as kalo3d exports it); the first one in the file.\n"
    "  --display-pixels X,Y     For this run, the printer's display has X by Y pixels.\n"
    "  --display-size X,Y       For this run, the printer's display is X by Y mm.\n"
    "  --format cws|sl1         For this run, the archive to write.\n"
    "  --resin RESIN            0 rigid, 1 elastic, 2 toughness, 3 foundry (number or name).\n"
    "  --thickness UM           Layer thickness, 10 to 100 um.\n"
    "  --bottom-layers N        Bottom layers, 0 to 10.\n"
    "  --bottom-exposure SEC    Exposure of a bottom layer, 1 to 180 s.\n"
    "  --exposure SEC           Exposure of every other layer, 1 to 180 s.\n"
    "  --antialias on|off       Anti-aliasing (grey layer edges).\n"
    "  --aa-factor F            Anti-aliasing factor, 2 to 5 (one decimal).\n"
    "  --lift-height MM         Lift after each layer, 3 to 12 mm.\n"
    "  --lift-up-speed SPEED    Lift speed, 20 to 200 mm/min.\n"
    "  --lift-down-speed SPEED  Lowering speed, 20 to 200 mm/min.\n"
    "  --wait SEC               Pause after each lowering, 0 to 3 s.\n"
    "\n"
    "Other options:\n"
    "  -o, --output OUT         The archive slice writes.\n"
    "  --auto-supports          slice, check: first add automatic supports, as\n"
    "                           kalo3d's \"Add support auto smart\" does. Supports a\n"
    "                           project brings stay. The report counts the new ones\n"
    "                           and the time they took, and names regions that\n"
    "                           could not be held.\n"
    "  --hollow MM              slice, check: hollow every model, keeping a wall of\n"
    "                           MM (0.5 to 10) measured from its surface in 3D.\n"
    "  --lattice MM             with --hollow: a lattice of 1.5 mm walls every MM\n"
    "                           (5 to 50) stiffens the hollows.\n"
    "  --drain-holes            slice, check: give every hollow model (by --hollow\n"
    "                           or from a project) without drain holes the holes\n"
    "                           kalo3d's \"Add drain holes\" proposes, near the\n"
    "                           lowest point of each enclosed hollow.\n"
    "  --support-mode MODE      overhangs (the default): tipped columns under\n"
    "                           islands, flat overhangs and faces steeper than the\n"
    "                           critical angle, standing on the platform or on a\n"
    "                           model below; islands: straight columns from the\n"
    "                           platform under parts that start in mid-air only.\n"
    "  --support-preset NAME    light, medium or heavy (tips, bodies, spacing).\n"
    "  --tip-diameter MM        0.2 to 1; --tip-length MM 0.5 to 5;\n"
    "  --contact-depth MM       0.1 to 0.5; --body-diameter MM 0.5 to 3;\n"
    "  --support-spacing MM     1 to 10; --critical-angle DEG 20 to 80 (from the\n"
    "                           horizontal). Each makes the preset custom.\n"
    "  --json                   check: the findings as a JSON array, one object each.\n"
    "  --strict                 slice: run the check, and write no archive and exit\n"
    "                           with 4 when it finds islands or clipped parts.\n"
    "  --verbose                Show the program's whole log, not only its warnings.\n"
    "  -h, --help               Show this help.\n"
    "\n"
    "Results go to standard output; messages, warnings and the progress bar to\n"
    "standard error.\n"
    "Exit status: 0 success, 1 a model or settings file could not be read, 2 wrong\n"
    "usage or option value (OUT one of the inputs, or a scene taller than the\n"
    "printer's build height, included), 3 the archive could not be written\n"
    "completely (a full disk, a file-size limit, OUT's folder removed during the\n"
    "run), 4 the strict check found islands or clipped parts (no archive\n"
    "written), 130 or 143 interrupted by Ctrl-C or SIGTERM while slicing or\n"
    "adding supports (OUT keeps what it held before; a second Ctrl-C ends the\n"
    "tool at once).\n";

QString twoDecimals(double value)
{
    return QString::number(value, 'f', 2);
}

// The estimated print time of layers layers at the tool's settings.
QString printTime(int layers, KaloConfig &settings)
{
    return CWS::durationText(CWS::printTimeMs(layers, *settings.buildConfig(), settings.buildHeightMm()));
}

// Lets warnings and worse through to the handler that was installed before;
// the debug and info lines of the program's log are for --verbose.
QtMessageHandler g_forward = nullptr;

void dropDebugMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        g_forward(type, context, message);
}

class QuietLog
{
public:
    explicit QuietLog(bool verbose)
        : m_active(!verbose)
    {
        if (m_active)
            g_forward = qInstallMessageHandler(dropDebugMessages);
    }
    ~QuietLog()
    {
        if (m_active)
            qInstallMessageHandler(g_forward);
    }

private:
    bool m_active;
};

// The value of option name within [min, max], or none (problem set) when
// it is not such a number; none without a problem when it is not given or
// problem already holds one.
std::optional<double> numberOption(const QCommandLineParser &parser, const char *name, double min, double max,
                                   bool whole, QString &problem)
{
    const QString option = QString::fromLatin1(name);
    if (!parser.isSet(option) || !problem.isEmpty())
        return std::nullopt;
    const QString text = parser.value(option);
    bool ok = false;
    const double value = QLocale::c().toDouble(text, &ok);
    if (ok && value >= min && value <= max && (!whole || value == int(value)))
        return value;
    problem = QStringLiteral("--%1 takes %2 from %3 to %4, not \"%5\"")
                  .arg(option, whole ? QStringLiteral("a whole number") : QStringLiteral("a number"))
                  .arg(min)
                  .arg(max)
                  .arg(text);
    return std::nullopt;
}

// Index of name in list, ignoring case, or of a list entry whose first word it is.
int findName(const QStringList &list, const QString &name)
{
    for (int i = 0; i < list.size(); ++i) {
        const QString &entry = list[i];
        if (entry.compare(name, Qt::CaseInsensitive) == 0
            || entry.section(QLatin1Char(' '), 0, 0).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

// "  check:     1 island, 0 overhangs, ..." for the slice report.
QString checkCounts(const std::vector<CWS::PrintFinding> &findings)
{
    using Kind = CWS::PrintFinding::Kind;
    QStringList parts;
    for (const Kind kind : {Kind::Island, Kind::Overhang, Kind::ResinTrap, Kind::SuctionCup, Kind::Clipped}) {
        const auto n = std::count_if(findings.begin(), findings.end(), [&](const auto &f) { return f.kind == kind; });
        parts << CWS::PrintFinding::count(kind, n);
    }
    return QStringLiteral("  check:     ") + parts.join(QStringLiteral(", ")) + QLatin1Char('\n');
}

QString findingsText(const std::vector<CWS::PrintFinding> &findings, const QStringList &models)
{
    QString text;
    for (const CWS::PrintFinding &f : findings) {
        text += QStringLiteral("%1: layers %2-%3 (%4-%5 mm) at x %6 y %7 mm, %8 mm2, %9\n")
                    .arg(CWS::PrintFinding::kindName(f.kind))
                    .arg(f.firstLayer)
                    .arg(f.lastLayer)
                    .arg(twoDecimals(f.bottomMm), twoDecimals(f.topMm), twoDecimals(f.xMm), twoDecimals(f.yMm),
                         twoDecimals(f.areaMm2), f.model >= 0 && f.model < models.size() ? models[f.model]
                                                                                        : QStringLiteral("-"));
    }
    return text + checkCounts(findings).trimmed() + QLatin1Char('\n');
}

QString findingsJson(const std::vector<CWS::PrintFinding> &findings, const QStringList &models)
{
    QJsonArray array;
    const auto mm = [](double value) { return std::round(value * 1000) / 1000; };
    for (const CWS::PrintFinding &f : findings) {
        array.append(QJsonObject{{QStringLiteral("kind"), CWS::PrintFinding::kindName(f.kind)},
                                 {QStringLiteral("firstLayer"), f.firstLayer},
                                 {QStringLiteral("lastLayer"), f.lastLayer},
                                 {QStringLiteral("bottomMm"), mm(f.bottomMm)},
                                 {QStringLiteral("topMm"), mm(f.topMm)},
                                 {QStringLiteral("xMm"), mm(f.xMm)},
                                 {QStringLiteral("yMm"), mm(f.yMm)},
                                 {QStringLiteral("areaMm2"), mm(f.areaMm2)},
                                 {QStringLiteral("model"), f.model},
                                 {QStringLiteral("modelName"),
                                  f.model >= 0 && f.model < models.size() ? QJsonValue(models[f.model])
                                                                          : QJsonValue()}});
    }
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
}

} // namespace

CommandLine::CommandLine(QTextStream &out, QTextStream &err, bool terminal)
    : m_out(out)
    , m_err(err)
    , m_terminal(terminal)
{
}

QUrl CommandLine::fileUrl(const QString &argument)
{
    return QUrl::fromUserInput(argument, QDir::currentPath(), QUrl::AssumeLocalFile);
}

int CommandLine::run(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QString()});
    parser.addOption({QStringLiteral("verbose"), QString()});
    parser.addOption({QStringLiteral("auto-supports"), QString()});
    parser.addOption({QStringLiteral("drain-holes"), QString()});
    parser.addOption({QStringLiteral("json"), QString()});
    parser.addOption({QStringLiteral("strict"), QString()});
    parser.addOption({QStringLiteral("check"), QString()}); // once needed for the counts; scripts may still pass it
    parser.addOption({{QStringLiteral("o"), QStringLiteral("output")}, QString(), QStringLiteral("OUT")});
    for (const char *name : {"settings", "printer", "resin", "thickness", "bottom-layers", "bottom-exposure",
                             "exposure", "antialias", "aa-factor", "lift-height", "lift-up-speed",
                             "lift-down-speed", "wait", "printer-file", "display-pixels", "display-size", "format",
                             "support-mode", "support-preset", "tip-diameter", "tip-length", "contact-depth",
                             "body-diameter", "support-spacing", "critical-angle", "hollow", "lattice"})
        parser.addOption({QString::fromLatin1(name), QString(), QStringLiteral("value")});
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        m_out << helpText;
        m_out.flush();
        return EXIT_OK;
    }
    const QuietLog quiet(parser.isSet(QStringLiteral("verbose")));

    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usageError(QStringLiteral("no command given"));
    // Looked at before the settings are read from it: a pipe would block.
    const auto settingsUnreadable = [&] {
        const QString settingsFile = parser.value(QStringLiteral("settings"));
        const QString unreadable = settingsFile.isEmpty() ? QString() : ReadableFile::problem(settingsFile);
        if (unreadable.isEmpty())
            return false;
        m_err << programName << ": cannot read settings file " << settingsFile << ": " << unreadable << "\n";
        m_err.flush();
        return true;
    };
    const QString command = positional.takeFirst();
    if (command == QLatin1String("info")) {
        if (positional.isEmpty())
            return usageError(QStringLiteral("info needs at least one FILE"));
        if (parser.isSet(QStringLiteral("output")))
            return usageError(QStringLiteral("info writes no file: -o is for slice"));
        if (parser.isSet(QStringLiteral("auto-supports")))
            return usageError(QStringLiteral("--auto-supports is for slice"));
        if (parser.isSet(QStringLiteral("hollow")) || parser.isSet(QStringLiteral("lattice"))
            || parser.isSet(QStringLiteral("drain-holes")))
            return usageError(QStringLiteral("--hollow, --lattice and --drain-holes are for slice and check"));
        if (settingsUnreadable())
            return EXIT_LOAD_FAILED;
        return info(positional, parser);
    }
    if (command == QLatin1String("printers")) {
        if (!positional.isEmpty())
            return usageError(QStringLiteral("printers takes no FILE"));
        return printers(parser);
    }
    if (command == QLatin1String("slice")) {
        if (positional.isEmpty())
            return usageError(QStringLiteral("slice needs at least one FILE"));
        const QString output = parser.value(QStringLiteral("output"));
        if (output.isEmpty())
            return usageError(QStringLiteral("slice needs the archive to write: -o OUT.cws"));
        // Told now, not after the whole run.
        if (output.trimmed().isEmpty())
            return usageError(QStringLiteral("-o needs a file name, not blanks"));
        if (std::any_of(output.begin(), output.end(), [](QChar c) { return c.category() == QChar::Other_Control; }))
            return usageError(QStringLiteral("-o takes a file name without control characters (line breaks, tabs)"));
        // Checked before anything is read: the archive would replace the file.
        QStringList inputs = positional;
        if (parser.isSet(QStringLiteral("settings")))
            inputs << parser.value(QStringLiteral("settings"));
        for (const QString &input : qAsConst(inputs)) {
            if (FileIdentity::same(fileUrl(output).toLocalFile(), fileUrl(input).toLocalFile()))
                return usageError(QStringLiteral("-o %1 is the input %2; writing the archive would destroy it")
                                      .arg(output, input));
        }
        if (settingsUnreadable())
            return EXIT_LOAD_FAILED;
        return slice(positional, parser);
    }
    if (command == QLatin1String("check")) {
        if (positional.isEmpty())
            return usageError(QStringLiteral("check needs at least one FILE"));
        if (parser.isSet(QStringLiteral("output")))
            return usageError(QStringLiteral("check writes no file: -o is for slice"));
        return slice(positional, parser, true);
    }
    return usageError(QStringLiteral("unknown command \"%1\"").arg(command));
}

int CommandLine::usageError(const QString &message)
{
    m_err << programName << ": " << message << "\n"
          << "Try '" << programName << " --help'.\n";
    m_err.flush();
    return EXIT_USAGE;
}

int CommandLine::configure(const QCommandLineParser &parser, KaloConfig &settings)
{
    const QString settingsFile = parser.value(QStringLiteral("settings"));
    if (!settingsFile.isEmpty() && !settings.load()) {
        m_err << programName << ": cannot read settings file " << settingsFile << "\n";
        m_err.flush();
        return EXIT_LOAD_FAILED;
    }

    QString problem;
    const auto number = [&](const char *name, double min, double max, bool whole) {
        return numberOption(parser, name, min, max, whole, problem);
    };

    QString userPrinters;
    if (!settings.loadPrinters(userPrinterFile(), &userPrinters)) {
        m_err << programName << ": warning: printers refused: " << userPrinters << "\n";
        m_err.flush();
    }
    int printer = settings.modelIndex();
    const bool printerChosen = parser.isSet(QStringLiteral("printer")) || parser.isSet(QStringLiteral("printer-file"));
    if (parser.isSet(QStringLiteral("printer-file"))) {
        if (const int status = addPrinterFile(parser.value(QStringLiteral("printer-file")), settings, printer))
            return status;
    } else if (parser.isSet(QStringLiteral("printer"))) {
        printer = settings.printerIndex(parser.value(QStringLiteral("printer")));
        if (printer < 0)
            problem = QStringLiteral("unknown printer \"%1\"; known: %2")
                          .arg(parser.value(QStringLiteral("printer")), settings.modelPrinters().join(QStringLiteral(", ")));
    }
    if (problem.isEmpty())
        problem = overrideDisplay(parser, settings, printer);
    int resin = settings.resinIndex();
    if (parser.isSet(QStringLiteral("resin")) && problem.isEmpty()) {
        const QString value = parser.value(QStringLiteral("resin"));
        bool isIndex = false;
        resin = value.toInt(&isIndex);
        if (!isIndex)
            resin = findName(settings.resinTypes(), value);
        if (resin < 0 || resin >= settings.resinTypes().size())
            problem = QStringLiteral("unknown resin \"%1\"; known: 0 to %2 or %3")
                          .arg(value)
                          .arg(settings.resinTypes().size() - 1)
                          .arg(settings.resinTypes().join(QStringLiteral(", ")));
    }
    const std::optional<double> thickness = number("thickness", 10, 100, true);
    if (problem.isEmpty()
        && (printerChosen || parser.isSet(QStringLiteral("resin")) || thickness)) {
        const ResinPreset preset = settings.presetFor(printer, resin, thickness ? int(*thickness) : 0);
        settings.setModelIndex(printer);
        settings.setResinIndex(resin);
        settings.setThicknessMM(float(preset.thicknessUM) / 1000.0f);
        settings.setBottomLayerNum(preset.bottomLayers);
        settings.setBottomExpoSec(float(preset.bottomExposureMs) / 1000.0f);
        settings.setNormalExpoSec(float(preset.normalExposureMs) / 1000.0f);
    }
    settings.setModelIndex(printer);
    if (const auto n = number("bottom-layers", 0, 10, true))
        settings.setBottomLayerNum(int(*n));
    if (const auto sec = number("bottom-exposure", 1, KaloConfig::maxExposureMs / 1000, false))
        settings.setBottomExpoSec(float(*sec));
    if (const auto sec = number("exposure", 1, KaloConfig::maxExposureMs / 1000, false))
        settings.setNormalExpoSec(float(*sec));
    if (parser.isSet(QStringLiteral("antialias")) && problem.isEmpty()) {
        const QString value = parser.value(QStringLiteral("antialias"));
        if (value == QLatin1String("on") || value == QLatin1String("off"))
            settings.useAntialise(value == QLatin1String("on"));
        else
            problem = QStringLiteral("--antialias takes on or off, not \"%1\"").arg(value);
    }
    if (const auto factor = number("aa-factor", 2, 5, false))
        settings.antiAliseValue(float(*factor));
    if (const auto mm = number("lift-height", 3, 12, false))
        settings.setLiftHeight(float(*mm));
    if (const auto speed = number("lift-up-speed", 20, 200, false))
        settings.setLiftUpSpeed(float(*speed));
    if (const auto speed = number("lift-down-speed", 20, 200, false))
        settings.setLiftDownSpeed(float(*speed));
    if (const auto sec = number("wait", 0, 3, false))
        settings.setWaitSecAfterStop(float(*sec));
    CWS::SupportConfig &supports = *settings.supportConfig();
    if (parser.isSet(QStringLiteral("support-mode")) && problem.isEmpty()) {
        const QString value = parser.value(QStringLiteral("support-mode"));
        if (value == QLatin1String("islands") || value == QLatin1String("overhangs"))
            supports.setMode(value == QLatin1String("islands") ? CWS::SupportConfig::IslandsOnly
                                                               : CWS::SupportConfig::IslandsAndOverhangs);
        else
            problem = QStringLiteral("--support-mode takes islands or overhangs, not \"%1\"").arg(value);
    }
    if (parser.isSet(QStringLiteral("support-preset")) && problem.isEmpty()
        && !supports.setPresetName(parser.value(QStringLiteral("support-preset"))))
        problem = QStringLiteral("--support-preset takes light, medium or heavy, not \"%1\"")
                      .arg(parser.value(QStringLiteral("support-preset")));
    // Single values after the preset: they make it Custom.
    if (const auto mm = number("tip-diameter", 0.2, 1, false))
        supports.setTipDiameter(*mm);
    if (const auto mm = number("tip-length", 0.5, 5, false))
        supports.setTipLength(*mm);
    if (const auto mm = number("contact-depth", 0.1, 0.5, false))
        supports.setContactDepth(*mm);
    if (const auto mm = number("body-diameter", 0.5, 3, false))
        supports.setBodyDiameter(*mm);
    if (const auto mm = number("support-spacing", 1, 10, false))
        supports.setOverhangSpacing(*mm);
    if (const auto degrees = number("critical-angle", 20, 80, false))
        supports.setCriticalAngle(*degrees);

    if (!problem.isEmpty())
        return usageError(problem);
    settings.updateBuildConfig();
    return EXIT_OK;
}

QString CommandLine::userPrinterFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
           + QStringLiteral("/kalo3d/printers.json");
}

int CommandLine::addPrinterFile(const QString &file, KaloConfig &settings, int &printer)
{
    std::vector<PrinterProfile> read;
    QString error;
    if (!PrinterProfile::readFile(file, read, &error) || read.empty()) {
        m_err << programName << ": cannot read printer file "
              << (error.isEmpty() ? file + QStringLiteral(": no printer in it") : error) << "\n";
        m_err.flush();
        return EXIT_LOAD_FAILED;
    }
    // The file's printer stands in for a user printer of the same name.
    std::vector<PrinterProfile> user;
    for (const PrinterProfile &p : settings.printers()) {
        if (!p.builtIn && p.name.compare(read.front().name, Qt::CaseInsensitive) != 0)
            user.push_back(p);
    }
    if (settings.printerIndex(read.front().name) >= 0 && settings.printers()[size_t(settings.printerIndex(read.front().name))].builtIn)
        read.front().name += QStringLiteral(" (") + QFileInfo(file).fileName() + QLatin1Char(')');
    user.push_back(read.front());
    settings.setUserPrinters(user, &error);
    printer = settings.printerIndex(read.front().name);
    return EXIT_OK;
}

QString CommandLine::overrideDisplay(const QCommandLineParser &parser, KaloConfig &settings, int &printer)
{
    const bool pixels = parser.isSet(QStringLiteral("display-pixels"));
    const bool size = parser.isSet(QStringLiteral("display-size"));
    const bool format = parser.isSet(QStringLiteral("format"));
    if (!pixels && !size && !format)
        return QString();
    const std::vector<PrinterProfile> &all = settings.printers();
    PrinterProfile p = all[size_t(printer >= 0 && printer < int(all.size()) ? printer : settings.modelIndex())];
    // Two numbers "X,Y"; false when the text is not that.
    const auto pair = [&](const char *option, double &x, double &y) {
        const QStringList parts = parser.value(QString::fromLatin1(option)).split(QLatin1Char(','));
        bool okX = false, okY = false;
        if (parts.size() == 2) {
            x = QLocale::c().toDouble(parts[0].trimmed(), &okX);
            y = QLocale::c().toDouble(parts[1].trimmed(), &okY);
        }
        return okX && okY;
    };
    if (pixels || size) {
        // Another display slices with its own pixel pitch, not the built-in row.
        p.builtIn = false;
        double x = p.resolutionX, y = p.resolutionY;
        if (pixels && (!pair("display-pixels", x, y) || x != int(x) || y != int(y)))
            return QStringLiteral("--display-pixels takes two whole numbers X,Y, not \"%1\"")
                .arg(parser.value(QStringLiteral("display-pixels")));
        p.resolutionX = int(x);
        p.resolutionY = int(y);
        if (size && !pair("display-size", p.sizeXMm, p.sizeYMm))
            return QStringLiteral("--display-size takes two numbers X,Y (mm), not \"%1\"")
                .arg(parser.value(QStringLiteral("display-size")));
    }
    if (format) {
        const QString value = parser.value(QStringLiteral("format"));
        if (value != QLatin1String("cws") && value != QLatin1String("sl1"))
            return QStringLiteral("--format takes cws or sl1, not \"%1\"").arg(value);
        p.format = value == QLatin1String("sl1") ? ArchiveFormat::Sl1 : ArchiveFormat::Cws;
    }
    if (const QString problem = p.validate(); !problem.isEmpty())
        return QStringLiteral("the display given: ") + problem;
    p.name += QStringLiteral(" (command line)");
    std::vector<PrinterProfile> user;
    for (const PrinterProfile &known : all) {
        if (!known.builtIn)
            user.push_back(known);
    }
    user.push_back(p);
    QString error;
    if (!settings.setUserPrinters(user, &error))
        return error;
    printer = settings.printerIndex(p.name);
    return QString();
}

int CommandLine::printers(const QCommandLineParser &parser)
{
    KaloConfig settings(parser.value(QStringLiteral("settings")), true);
    QString error;
    if (!settings.loadPrinters(userPrinterFile(), &error)) {
        m_err << programName << ": warning: printers refused: " << error << "\n";
        m_err.flush();
    }
    for (const PrinterProfile &p : settings.printers()) {
        const LcdSpec lcd = p.lcd();
        m_out << p.name << "\n"
              << "  display:   " << p.resolutionX << " x " << p.resolutionY << " px on " << p.sizeXMm << " x "
              << p.sizeYMm << " mm (" << QString::number(1000.0 / double(lcd.pixelsPerMmX), 'f', 2) << " x "
              << QString::number(1000.0 / double(lcd.pixelsPerMmY), 'f', 2) << QStringLiteral(" \u00b5m pixels)\n")
              << "  height:    " << p.buildHeightMm << " mm\n"
              << "  image:     " << (p.portrait ? "portrait" : "landscape")
              << (p.mirrorX ? ", mirrored in X" : "") << (p.mirrorY ? ", mirrored in Y" : "") << "\n"
              << "  format:    " << (p.format == ArchiveFormat::Sl1 ? "sl1" : "cws")
              << (p.builtIn ? ", built in" : "") << "\n";
    }
    m_out.flush();
    return EXIT_OK;
}

bool CommandLine::load(KaloModel &manager, const QString &file)
{
    const QUrl url = fileUrl(file);
    const bool project = url.fileName().toLower().endsWith(QLatin1String(".kalo3d"));
    // What the file is tells more than its name: a missing file of another type is missing.
    QString reason = ReadableFile::problem(url.toLocalFile());
    if (reason.isEmpty()
        && (project ? ProjectFile::load(url.toLocalFile(), manager, &reason) : manager.loadModel(url, &reason)))
        return true;
    if (reason.isEmpty())
        reason = QStringLiteral("not a readable file");
    m_err << programName << ": cannot load " << file << ": " << reason << "\n";
    m_err.flush();
    return false;
}

int CommandLine::info(const QStringList &files, const QCommandLineParser &parser)
{
    KaloConfig settings(parser.value(QStringLiteral("settings")), true);
    if (const int status = configure(parser, settings))
        return status;
    int status = EXIT_OK;
    for (const QString &file : files) {
        // A scene of its own per file: a project brings several objects.
        KaloModel manager;
        if (!load(manager, file)) {
            status = EXIT_LOAD_FAILED;
            continue;
        }
        // The figures of the print: slicing lowers floating models onto the plate.
        for (Model *model : manager.models())
            model->settleIfFloating();
        const int layers = manager.calcNumSlices();
        const QList<Model *> &models = manager.models();
        // An empty project measures nothing.
        QVector3D min = models.isEmpty() ? QVector3D() : models.first()->boundMin;
        QVector3D max = models.isEmpty() ? QVector3D() : models.first()->boundMax;
        size_t triangles = 0;
        for (const Model *model : models) {
            for (int a = 0; a < 3; ++a) {
                min[a] = std::min(min[a], model->boundMin[a]);
                max[a] = std::max(max[a], model->boundMax[a]);
            }
            triangles += model->mesh->indices.size() / 3;
        }
        const QVector3D size = max - min;
        m_out << file << "\n"
              << "  size:      " << twoDecimals(size.x()) << " x " << twoDecimals(size.y()) << " x "
              << twoDecimals(size.z()) << " mm\n"
              << "  volume:    " << twoDecimals(manager.getTotalVolume()) << " mL\n"
              << "  triangles: " << triangles << "\n"
              << "  layers:    " << layers << " at " << settings.thicknessUM() << QStringLiteral(" \u00b5m\n")
              << "  printing:  " << printTime(layers, settings) << "\n";
        m_out.flush();
    }
    return status;
}

int CommandLine::slice(const QStringList &files, const QCommandLineParser &parser, bool checkOnly)
{
    QString problem;
    const std::optional<double> wall =
        numberOption(parser, "hollow", Hollowing::minWallMm, Hollowing::maxWallMm, false, problem);
    const std::optional<double> lattice =
        numberOption(parser, "lattice", Lattice::minSpacingMm, Lattice::maxSpacingMm, false, problem);
    if (problem.isEmpty() && lattice && !wall)
        problem = QStringLiteral("--lattice goes with --hollow");
    if (!problem.isEmpty())
        return usageError(problem);
    KaloConfig settings(parser.value(QStringLiteral("settings")), true);
    if (const int status = configure(parser, settings))
        return status;
    KaloModel manager;
    for (const QString &file : files) {
        if (!load(manager, file))
            return EXIT_LOAD_FAILED;
    }
    const QString hollowLine = hollow(manager, wall, lattice.value_or(0), parser.isSet(QStringLiteral("drain-holes")));
    // Refused as the window refuses it: an archive without layers prints nothing.
    const QString nothing = manager.nothingToSlice();
    if (!nothing.isEmpty()) {
        m_err << programName << ": " << nothing << "\n";
        m_err.flush();
        return EXIT_USAGE;
    }
    const QString outside = PrintableArea::warning(manager.models(), *settings.buildConfig());
    if (!outside.isEmpty()) {
        m_err << programName << ": warning: " << outside << "\n";
        m_err.flush();
    }
    const QStringList tall = BuildHeight::modelsAbove(manager.models(), settings.buildHeightMm());
    if (!tall.isEmpty()) {
        m_err << programName << ": the printer " << settings.printer().name << " builds up to "
              << settings.buildHeightMm() << " mm, and this reaches above: " << tall.join(QStringLiteral(", "))
              << "\n";
        m_err.flush();
        return EXIT_USAGE;
    }

    QString supportsLine;
    // An empty project leaves nothing to support.
    if (parser.isSet(QStringLiteral("auto-supports")) && manager.status() == KaloModel::MODEL_LOADED) {
        const int before = manager.models().size();
        QElapsedTimer timer;
        timer.start();
        runWithProgress(manager, [&] { manager.addSupportAuto(0); });
        supportsLine = QStringLiteral("  supports:  %1 added in %2 s\n")
                           .arg(manager.models().size() - before)
                           .arg(twoDecimals(double(timer.elapsed()) / 1000.0));
        for (const QString &point : manager.unsupportedPoints())
            m_err << programName << ": no support for " << point << "\n";
        m_err.flush();
    }

    // The check reads the slicer's own layer images; an archive it does not
    // keep costs less than drawing every layer a second time.
    QTemporaryDir scratch;
    const QString archive = checkOnly ? scratch.filePath(QStringLiteral("check.cws"))
                                      : QFileInfo(fileUrl(parser.value(QStringLiteral("output"))).toLocalFile())
                                            .absoluteFilePath();
    if (m_interruptedBy)
        return interrupted(archive);
    const bool strict = parser.isSet(QStringLiteral("strict")) && !checkOnly;
    manager.setPrintCheck(true, strict);
    QElapsedTimer timer;
    timer.start();
    runWithProgress(manager, [&] { manager.sliceTo(archive); });
    const qint64 elapsedMs = timer.elapsed();

    if (m_interruptedBy && !manager.sliceCompleted())
        return interrupted(archive);
    if (manager.sliceRejectedByCheck()) {
        m_err << programName << ": " << manager.sliceError() << "\n";
        m_err.flush();
        m_out << checkCounts(manager.printFindings());
        m_out.flush();
        return EXIT_CHECK_FAILED;
    }
    if (checkOnly && manager.sliceError().isEmpty()) {
        QStringList names;
        for (const Model *model : manager.models()) {
            if (model->type == TYPE_NORMAL)
                names << model->name;
        }
        m_out << (parser.isSet(QStringLiteral("json")) ? findingsJson(manager.printFindings(), names)
                                                       : findingsText(manager.printFindings(), names));
        m_out.flush();
        return EXIT_OK;
    }
    if (!manager.sliceError().isEmpty()) {
        m_err << programName << ": " << manager.sliceError() << "\n";
        m_err.flush();
        return EXIT_WRITE_FAILED;
    }
    m_out << QDir::toNativeSeparators(archive) << "\n"
          << "  layers:    " << manager.sliceNumber() << " at " << settings.thicknessUM() << QStringLiteral(" \u00b5m\n")
          << "  volume:    " << twoDecimals(manager.getTotalVolume()) << " mL\n"
          << "  printing:  " << printTime(manager.sliceNumber(), settings) << "\n"
          << "  time:      " << twoDecimals(double(elapsedMs) / 1000.0) << " s\n"
          << hollowLine << supportsLine << checkCounts(manager.printFindings());
    m_out.flush();
    return EXIT_OK;
}

QString CommandLine::hollow(KaloModel &manager, std::optional<double> wallMm, double latticeSpacingMm,
                            bool drainHoles)
{
    if (!wallMm && !drainHoles)
        return QString();
    // The window's way, model by model: the cavity is made in the
    // background, and the holes follow it.
    const QMetaObject::Connection notices =
        QObject::connect(&manager, &KaloModel::notice, &manager, [this](const QString &message) {
            m_err << programName << ": " << message << "\n";
            m_err.flush();
        });
    int hollowModels = 0;
    size_t holes = 0;
    const QList<Model *> models = manager.models();
    for (Model *model : models) {
        if (model->type != TYPE_NORMAL)
            continue;
        manager.selectModel(model);
        if (wallMm)
            manager.hollowSelected(float(*wallMm), float(latticeSpacingMm));
        if (!model->hollowing.isHollow())
            continue;
        QEventLoop loop;
        QObject::connect(&manager, &KaloModel::hollowingChanged, &loop, &QEventLoop::quit);
        while (!model->cavityFits())
            loop.exec();
        if (drainHoles && model->hollowing.drainHoles.empty())
            manager.addDrainHolesAuto();
        ++hollowModels;
        holes += model->hollowing.drainHoles.size();
    }
    manager.clearSelection(true);
    QObject::disconnect(notices);
    return QStringLiteral("  hollow:    %1 of %2 models, %3 drain holes\n")
        .arg(hollowModels)
        .arg(std::count_if(models.begin(), models.end(), [](const Model *m) { return m->type == TYPE_NORMAL; }))
        .arg(holes);
}

int CommandLine::interrupted(const QString &archive)
{
    m_err << programName << ": interrupted: " << QDir::toNativeSeparators(archive)
          << (QFile::exists(archive) ? " keeps what it held before\n" : " was not written\n");
    m_err.flush();
    return 128 + m_interruptedBy;
}

void CommandLine::runWithProgress(KaloModel &manager, const std::function<void()> &start)
{
    // Ctrl-C cancels the run: the archive is discarded, as after a failure.
    Interruption interruption;
    QObject::connect(&interruption, &Interruption::interrupted, &manager, &KaloModel::cancleSlice);
    QEventLoop loop;
    QObject::connect(&manager, &KaloModel::sliceCompletedProgress, &loop, [&](float ratio) {
        if (ratio > 1)
            loop.quit();
        else if (m_terminal)
            showProgress(ratio, manager.sliceNumber());
    });
    start();
    loop.exec();
    m_interruptedBy = interruption.signalNumber();
    if (m_terminal) {
        showProgress(1, manager.sliceNumber());
        m_err << "\n";
        m_err.flush();
    }
}

void CommandLine::showProgress(float ratio, int layers)
{
    constexpr int width = 40;
    const int done = qBound(0, int(ratio * width), width);
    m_err << "\r[" << QString(done, QLatin1Char('#')) << QString(width - done, QLatin1Char(' ')) << "] "
          << qRound(ratio * 100) << "% of " << layers << " layers";
    m_err.flush();
}

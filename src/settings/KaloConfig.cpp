#include "settings/KaloConfig.h"

#include "io/CommittedFile.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace {
KaloConfig *g_instance = nullptr;
// The instance made on first use, if it still lives.
KaloConfig *g_made = nullptr;

// The printer selected before any settings file is read (K20C).
constexpr int initialModelIndex = 2;

// One decimal, halves away from zero. The product stays in single precision
// so that a value typed as 2.35 becomes 2.4 rather than 2.3.
float oneDecimal(float v)
{
    return qRound(v * 10) / 10.0f;
}

// The value of key in the settings file when it is a number within [min,
// max] (and whole, if asked), else fallback. The limits are the settings
// dialog's: an edited or damaged file must not hand slicing a thickness of
// nothing, an exposure beyond an int or a lift speed that is no number.
double settingValue(const QJsonObject &obj, const char *key, double fallback, double min, double max,
                    bool whole = false)
{
    const QJsonValue value = obj.value(QLatin1String(key));
    if (value.isUndefined())
        return fallback;
    const double number = value.toDouble(std::nan(""));
    if (number >= min && number <= max && (!whole || number == std::floor(number)))
        return number;
    qWarning() << "ignored out-of-range setting" << key << value;
    return fallback;
}

// The list index at key: current when the key is missing, initial when it
// lies past a list of count entries (a printer file that lost an entry, an
// edited settings file), which would leave the dialog without a name to show.
int indexValue(const QJsonObject &obj, const char *key, int current, int initial, int count)
{
    return obj.contains(QLatin1String(key)) ? int(settingValue(obj, key, initial, 0, count - 1, true)) : current;
}

// The support column dimensions as the settings file names them, with the
// limits beyond which a damaged file is ignored (mm).
struct SupportKey {
    const char *key;
    double (CWS::SupportConfig::*get)() const;
    void (CWS::SupportConfig::*set)(double);
    double min, max;
};
const SupportKey supportKeys[] = {
    {"supportHeadTopRadius", &CWS::SupportConfig::headTopRadius, &CWS::SupportConfig::setHeadTopRadius, 0.05, 20},
    {"supportHeadBottomRadius", &CWS::SupportConfig::headBottomRadius, &CWS::SupportConfig::setHeadBottomRadius,
     0.05, 20},
    {"supportFootTopRadius", &CWS::SupportConfig::footTopRadius, &CWS::SupportConfig::setFootTopRadius, 0.05, 20},
    {"supportFootBottomRadius", &CWS::SupportConfig::footBottomRadius, &CWS::SupportConfig::setFootBottomRadius,
     0.05, 20},
    {"supportHeadHeight", &CWS::SupportConfig::headHeight, &CWS::SupportConfig::setHeadHeight, 0.1, 50},
    {"supportFootHeight", &CWS::SupportConfig::footHeight, &CWS::SupportConfig::setFootHeight, 0.1, 50},
    {"supportTipDiameter", &CWS::SupportConfig::tipDiameter, &CWS::SupportConfig::setTipDiameter, 0.2, 1},
    {"supportTipLength", &CWS::SupportConfig::tipLength, &CWS::SupportConfig::setTipLength, 0.5, 5},
    {"supportContactDepth", &CWS::SupportConfig::contactDepth, &CWS::SupportConfig::setContactDepth, 0.1, 0.5},
    {"supportBodyDiameter", &CWS::SupportConfig::bodyDiameter, &CWS::SupportConfig::setBodyDiameter, 0.5, 3},
    {"supportOverhangSpacing", &CWS::SupportConfig::overhangSpacing, &CWS::SupportConfig::setOverhangSpacing, 1,
     10},
    {"supportCriticalAngle", &CWS::SupportConfig::criticalAngle, &CWS::SupportConfig::setCriticalAngle, 20, 80},
};

// Writes data to path whole or not at all: a full disk, a file-size limit or
// a vanished folder leave the old file as it was. Unbuffered, because a
// buffered flush that the disk takes only in part still lets commit()
// rename the short file into place.
bool writeWhole(const QString &path, const QByteArray &data)
{
    // Replaced only once the new file is whole on disk: a full disk must not
    // cost the user the settings they had.
    CommittedFile file(path);
    if (!file.open()) {
        qWarning() << "cannot write settings file" << path << file.errorString();
        return false;
    }
    if (file.device().write(data) != data.size() || !file.commit()) {
        qWarning() << "settings file" << path << "not saved, the old one kept:" << file.errorString();
        return false;
    }
    return true;
}
} // namespace

KaloConfig::KaloConfig(QObject *parent)
    : KaloConfig(QStringLiteral("slice.custom.conf"),
                 QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                     + QStringLiteral("/kalo3d/slice.custom.conf"),
                 parent)
{
}

KaloConfig::KaloConfig(const QString &settingsFile, const QString &fallbackFile, QObject *parent)
    : KaloConfig(QString(), true, parent)
{
    // The delegated constructor loaded nothing; now the files are known.
    m_fileCustomConf = settingsFile;
    m_fallbackConf = fallbackFile;
    m_readOnly = false;
    loadPrintersBeside(settingsFile);
    load();
}

KaloConfig::KaloConfig(const QString &settingsFile, bool readOnly, QObject *parent)
    : QObject(parent)
    , m_fileCustomConf(settingsFile)
    , m_readOnly(readOnly)
{
    m_printers = PrinterProfile::builtIns();
    g_instance = this;
    qDebug() << "m_fileCustomConf:" << m_fileCustomConf;

    m_resinTypes = QStringList{tr("Rigid resin"), tr("Elastic resin"), tr("Toughness resin"), tr("Foundry Resin")};

    if (!settingsFile.isEmpty())
        loadPrintersBeside(settingsFile);
    load();
}

void KaloConfig::loadPrintersBeside(const QString &settingsFile)
{
    QString error;
    if (!loadPrinters(QFileInfo(settingsFile).dir().filePath(QStringLiteral("printers.json")), &error))
        qWarning().noquote() << "printer profiles refused:" << error;
}

KaloConfig::~KaloConfig()
{
    save();
    qDebug() << "~ modelIndex:" << m_modelIndex;
    if (g_instance == this)
        g_instance = nullptr;
    if (g_made == this)
        g_made = nullptr;
}

KaloConfig *KaloConfig::instance()
{
    // Made once: it stays, reachable, for the life of the process, and is
    // handed out again whenever a later settings object (the command line's,
    // a test's) has ended.
    if (!g_instance) {
        if (g_made)
            g_instance = g_made;
        else
            g_made = new KaloConfig();
    }
    return g_instance;
}

const PrinterProfile &KaloConfig::printer() const
{
    if (m_modelIndex >= 0 && m_modelIndex < int(m_printers.size()))
        return m_printers[size_t(m_modelIndex)];
    return m_printers[initialModelIndex];
}

int KaloConfig::buildHeightMm() const
{
    return printer().buildHeightMm;
}

LcdSpec KaloConfig::lcdSpec() const
{
    return printer().lcd();
}

int KaloConfig::printerIndex(const QString &name) const
{
    for (size_t i = 0; i < m_printers.size(); ++i) {
        if (m_printers[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

bool KaloConfig::loadPrinters(const QString &path, QString *error)
{
    m_printerFile = path;
    std::vector<PrinterProfile> user;
    return PrinterProfile::readFile(path, user, error) && takeUserPrinters(user, error);
}

bool KaloConfig::setUserPrinters(const std::vector<PrinterProfile> &profiles, QString *error)
{
    if (!takeUserPrinters(profiles, error))
        return false;
    if (m_readOnly || m_printerFile.isEmpty())
        return true;
    const std::vector<PrinterProfile> user(m_printers.begin() + long(PrinterProfile::builtIns().size()),
                                           m_printers.end());
    return PrinterProfile::writeFile(m_printerFile, user, error);
}

bool KaloConfig::takeUserPrinters(const std::vector<PrinterProfile> &profiles, QString *error)
{
    std::vector<PrinterProfile> printers = PrinterProfile::builtIns();
    for (PrinterProfile p : profiles) {
        p.builtIn = false;
        QString problem = p.validate();
        for (const PrinterProfile &known : printers) {
            if (problem.isEmpty() && known.name.compare(p.name.trimmed(), Qt::CaseInsensitive) == 0)
                problem = QStringLiteral("a printer named \"%1\" exists already").arg(known.name);
        }
        if (!problem.isEmpty()) {
            if (error)
                *error = QStringLiteral("%1: %2").arg(p.name, problem);
            return false;
        }
        p.name = p.name.trimmed();
        printers.push_back(p);
    }
    m_printers = std::move(printers);
    m_modelPrinters.clear();
    for (const PrinterProfile &printer : m_printers)
        m_modelPrinters.append(printer.name);
    updateBuildConfig();
    return true;
}

ResinPreset KaloConfig::presetFor(int iPrinter, int iResin, int thick) const
{
    qDebug() << "KaloConfig::getConfig" << iPrinter << iResin << thick;
    const ResinPreset *found = nullptr;
    if (iPrinter >= 0 && iPrinter < int(m_printers.size())) {
        const PrinterProfile &printer = m_printers[size_t(iPrinter)];
        // The printer's own row before its group's.
        for (const std::vector<ResinPreset> *rows :
             {&printer.resins, &m_presetGroups[size_t(qBound(0, printer.presetGroup, int(m_presetGroups.size()) - 1))]}) {
            const auto it = std::find_if(rows->begin(), rows->end(),
                                         [iResin](const ResinPreset &p) { return p.resinIndex == iResin; });
            if (it != rows->end() && !found)
                found = &*it;
        }
    }
    ResinPreset row;
    if (found) {
        row = *found;
    } else {
        // Only an edited settings file or a caller outside the QML lists gets
        // here; the values a fresh program starts with are a safe proposal.
        qWarning() << "no resin preset for printer" << iPrinter << "resin" << iResin;
        row = {iResin, 50, 3, 30000, 10000, 8000};
    }
    if (thick == 0 || thick == row.thicknessUM)
        return row;

    const float f = float(thick) / float(row.thicknessUM);
    row.thicknessUM = thick;
    row.bottomExposureMs = std::min(qRound(float(row.bottomExposureMs) * f), maxExposureMs);
    row.normalExposureMs = std::min(qRound(float(row.normalExposureMs) * f), maxExposureMs);
    return row;
}

QStringList KaloConfig::getConfig(uint iPrinter, uint iResin, uint thick) const
{
    const ResinPreset p = presetFor(int(iPrinter), int(iResin), int(thick));
    const QStringList values = {QString::number(p.resinIndex), QString::number(p.thicknessUM),
                                QString::number(p.bottomLayers), QString::number(p.bottomExposureMs),
                                QString::number(p.normalExposureMs)};
    qDebug() << "resin config values:" << values;
    return values;
}

QStringList KaloConfig::getConfig(uint iPrinter, uint iResin) const
{
    return getConfig(iPrinter, iResin, 0);
}

QStringList KaloConfig::getConfig(uint iPrinter) const
{
    return getConfig(iPrinter, 0, 0);
}

void KaloConfig::setThicknessMM(float t)
{
    m_thicknessUM = qRound(t * 1000);
}

void KaloConfig::setBottomExpoSec(float sec)
{
    m_bottomExpoMS = qRound(sec * 10) * 100;
}

void KaloConfig::setNormalExpoSec(float sec)
{
    m_normalExpoMS = qRound(sec * 10) * 100;
}

float KaloConfig::antiAliseValue() const
{
    return oneDecimal(m_antiAliseValue);
}

void KaloConfig::antiAliseValue(float v)
{
    m_antiAliseValue = oneDecimal(v);
}

void KaloConfig::updateBuildConfig()
{
    m_buildConfig.layerThickness = float(m_thicknessUM) / 1000.0f;
    m_buildConfig.bottomLayers = m_bottomLayerNum;
    m_buildConfig.bottomExposureMs = m_bottomExpoMS;
    m_buildConfig.normalExposureMs = m_normalExpoMS;
    const PrinterProfile &p = printer();
    const LcdSpec lcd = p.lcd();
    m_buildConfig.pixelsPerMmX = double(lcd.pixelsPerMmX);
    m_buildConfig.pixelsPerMmY = double(lcd.pixelsPerMmY);
    m_buildConfig.resolutionX = p.resolutionX;
    m_buildConfig.resolutionY = p.resolutionY;
    m_buildConfig.mirrorX = p.mirrorX;
    m_buildConfig.mirrorY = p.mirrorY;
    m_buildConfig.portrait = p.portrait;
    m_buildConfig.format = p.format;
    m_buildConfig.printerName = p.name;
    m_buildConfig.materialName = m_resinTypes.value(m_resinIndex);
}

bool KaloConfig::load()
{
    const auto preset = [](int resin, int thick, int bottomMs, int normalMs) {
        return ResinPreset{resin, thick, 3, std::min(bottomMs, maxExposureMs),
                           std::min(normalMs, maxExposureMs), 8000};
    };
    m_presetGroups = {
        {preset(0, 50, 30000, 10000), preset(1, 50, 30000, 12000), preset(2, 50, 30000, 12000),
         preset(3, 20, 150000, 30000)},
        {preset(0, 50, 30000, 8000), preset(1, 50, 30000, 10000), preset(2, 50, 30000, 10000),
         preset(3, 20, 120000, 20000)},
        {preset(0, 50, 12000, 4000), preset(1, 50, 15000, 5000), preset(2, 50, 15000, 5000),
         preset(3, 20, 30000, 10000)},
    };
    m_modelPrinters.clear();
    for (const PrinterProfile &printer : m_printers)
        m_modelPrinters.append(printer.name);
    qDebug() << "m_modelPrinters:" << m_modelPrinters;

    const ResinPreset proposal = presetFor(m_modelIndex, m_resinIndex, m_thicknessUM);
    m_bottomLayerNum = proposal.bottomLayers;
    m_bottomExpoMS = proposal.bottomExposureMs;
    m_normalExpoMS = proposal.normalExposureMs;
    updateBuildConfig();

    // The fallback holds the newer settings when the last save could not
    // write the working folder's file.
    const QFileInfo primary(m_fileCustomConf);
    const QFileInfo fallback(m_fallbackConf);
    const QString path = !m_fallbackConf.isEmpty() && fallback.exists()
            && (!primary.isFile() || fallback.lastModified() >= primary.lastModified())
        ? m_fallbackConf
        : m_fileCustomConf;
    qDebug() << "KaloConfig::load()" << path;
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        qInfo() << "open fail failed" << path;
        return false;
    }
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    const QJsonDocument doc = QJsonDocument::fromBinaryData(file.readAll(), QJsonDocument::Validate);
    QT_WARNING_POP
    if (!doc.isObject()) {
        qWarning() << "no object found";
        return false;
    }
    const QJsonObject obj = doc.object();
    qDebug() << "load json obj:" << obj;

    m_modelIndex = indexValue(obj, "modelIndex", m_modelIndex, initialModelIndex, int(m_printers.size()));
    readSliceValues(obj);
    for (const SupportKey &k : supportKeys)
        (m_supportConfig.*k.set)(settingValue(obj, k.key, (m_supportConfig.*k.get)(), k.min, k.max));
    m_supportConfig.autoSupportSpacing
        = settingValue(obj, "supportSpacing", m_supportConfig.autoSupportSpacing, 0.5, 50);
    // After the single values, which may have made the preset Custom.
    m_supportConfig.setMode(int(settingValue(obj, "supportMode", m_supportConfig.mode(), 0, 1, true)));
    m_supportConfig.setPreset(int(settingValue(obj, "supportPreset", m_supportConfig.preset(), 0, 3, true)));

    updateBuildConfig();
    qDebug() << "load config from file end";
    return true;
}

bool KaloConfig::save()
{
    updateBuildConfig();
    if (m_readOnly)
        return false;
    QJsonObject obj = sliceValues();
    obj.insert(QLatin1String("modelIndex"), m_modelIndex);
    for (const SupportKey &k : supportKeys)
        obj.insert(QLatin1String(k.key), (m_supportConfig.*k.get)());
    obj.insert(QLatin1String("supportSpacing"), m_supportConfig.autoSupportSpacing);
    obj.insert(QLatin1String("supportMode"), m_supportConfig.mode());
    obj.insert(QLatin1String("supportPreset"), m_supportConfig.preset());
    qDebug() << "save obj: " << obj;
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    const QByteArray data = QJsonDocument(obj).toBinaryData();
    QT_WARNING_POP
    if (writeWhole(m_fileCustomConf, data)) {
        qDebug() << "write custom config to file succeed" << m_fileCustomConf;
        return true;
    }
    if (m_fallbackConf.isEmpty() || !QDir().mkpath(QFileInfo(m_fallbackConf).absolutePath())
        || !writeWhole(m_fallbackConf, data))
        return false;
    qInfo() << "settings saved in the per-user folder" << m_fallbackConf;
    return true;
}

QJsonObject KaloConfig::sliceValues() const
{
    return {
        {QLatin1String("resinIndex"), m_resinIndex},
        {QLatin1String("thicknessUM"), m_thicknessUM},
        {QLatin1String("bottomLayerNum"), m_bottomLayerNum},
        {QLatin1String("bottomExpoMS"), m_bottomExpoMS},
        {QLatin1String("normalExpoMS"), m_normalExpoMS},
        {QLatin1String("useAntialise"), m_useAntialise},
        {QLatin1String("antiAliseValue"), qRound(m_antiAliseValue * 10) / 10.0},
        {QLatin1String("liftHeight"), double(m_buildConfig.liftHeight)},
        {QLatin1String("liftUpSpeed"), double(m_buildConfig.liftUpSpeed)},
        {QLatin1String("liftDownSpeed"), double(m_buildConfig.liftDownSpeed)},
        {QLatin1String("waitSecAfterStop"), double(m_buildConfig.waitSecAfterStop)},
    };
}

void KaloConfig::readSliceValues(const QJsonObject &obj)
{
    m_resinIndex = indexValue(obj, "resinIndex", m_resinIndex, 0, m_resinTypes.size());
    m_thicknessUM = int(settingValue(obj, "thicknessUM", m_thicknessUM, 10, 100, true));
    m_bottomLayerNum = int(settingValue(obj, "bottomLayerNum", m_bottomLayerNum, 0, 10, true));
    m_bottomExpoMS = int(float(settingValue(obj, "bottomExpoMS", m_bottomExpoMS, 1000, maxExposureMs)));
    m_normalExpoMS = int(float(settingValue(obj, "normalExpoMS", m_normalExpoMS, 1000, maxExposureMs)));
    m_useAntialise = obj.value(QLatin1String("useAntialise")).toBool(m_useAntialise);
    m_antiAliseValue = oneDecimal(float(settingValue(obj, "antiAliseValue", double(m_antiAliseValue), 2, 5)));
    SliceBuildConfig &c = m_buildConfig;
    c.liftHeight = float(settingValue(obj, "liftHeight", double(c.liftHeight), 3, 12));
    c.liftUpSpeed = float(settingValue(obj, "liftUpSpeed", double(c.liftUpSpeed), 20, 200));
    c.liftDownSpeed = float(settingValue(obj, "liftDownSpeed", double(c.liftDownSpeed), 20, 200));
    c.waitSecAfterStop = float(settingValue(obj, "waitSecAfterStop", double(c.waitSecAfterStop), 0, 3));
}

QJsonObject KaloConfig::printSettings() const
{
    QJsonObject obj = sliceValues();
    obj.insert(QLatin1String("printer"), printer().name);
    return obj;
}

bool KaloConfig::usePrintSettings(const QJsonObject &obj)
{
    const int index = printerIndex(obj.value(QLatin1String("printer")).toString());
    if (index < 0) {
        qWarning() << "print settings for an unknown printer ignored" << obj.value(QLatin1String("printer"));
        return false;
    }
    m_modelIndex = index;
    readSliceValues(obj);
    updateBuildConfig();
    Q_EMIT printSettingsChanged();
    return true;
}

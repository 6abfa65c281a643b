#include "settings/KaloConfig.h"

#include "io/CommittedFile.h"

#include <QDebug>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace {
KaloConfig *g_instance = nullptr;
// The one instance() made itself, if it still lives.
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
} // namespace

KaloConfig::KaloConfig(QObject *parent)
    : KaloConfig(QStringLiteral("slice.custom.conf"), false, parent)
{
}

KaloConfig::KaloConfig(const QString &settingsFile, bool readOnly, QObject *parent)
    : QObject(parent)
    , m_fileCustomConf(settingsFile)
    , m_readOnly(readOnly)
{
    // 47.25 µm pixels.
    m_lcdSpecs.push_back({65.0f, 116.0f, 21.164021f, 21.164021f});
    g_instance = this;
    qDebug() << "m_fileCustomConf:" << m_fileCustomConf;

    m_resinTypes = QStringList{tr("Rigid resin"), tr("Elastic resin"), tr("Toughness resin"), tr("Foundry Resin")};

    load();
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

const PrinterModel &KaloConfig::selectedPrinter() const
{
    if (m_modelIndex >= 0 && m_modelIndex < int(m_printers.size()))
        return m_printers[size_t(m_modelIndex)];
    return m_printers[initialModelIndex];
}

int KaloConfig::buildHeightMm() const
{
    return selectedPrinter().buildHeightMm;
}

const LcdSpec &KaloConfig::lcdSpec() const
{
    return m_lcdSpecs[size_t(selectedPrinter().lcdIndex)];
}

ResinPreset KaloConfig::presetFor(int iPrinter, int iResin, int thick) const
{
    qDebug() << "KaloConfig::getConfig" << iPrinter << iResin << thick;
    const ResinPreset *found = nullptr;
    if (iPrinter >= 0 && iPrinter < int(m_printers.size())) {
        const std::vector<ResinPreset> &group = m_presetGroups[size_t(m_printers[size_t(iPrinter)].presetGroup)];
        const auto it = std::find_if(group.begin(), group.end(),
                                     [iResin](const ResinPreset &p) { return p.resinIndex == iResin; });
        if (it != group.end())
            found = &*it;
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
    const LcdSpec &lcd = lcdSpec();
    m_buildConfig.pixelsPerMmX = double(lcd.pixelsPerMmX);
    m_buildConfig.pixelsPerMmY = double(lcd.pixelsPerMmY);
    m_buildConfig.resolutionX = int(float(int(lcd.widthMm)) * lcd.pixelsPerMmX);
    m_buildConfig.resolutionY = int(float(int(lcd.heightMm)) * lcd.pixelsPerMmY);
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
    m_printers = {
        {QStringLiteral("K20"), 0, 130, 0},  {QStringLiteral("K20A"), 0, 130, 0},
        {QStringLiteral("K20C"), 0, 150, 1}, {QStringLiteral("K20D"), 0, 150, 1},
        {QStringLiteral("K20DO"), 0, 150, 1}, {QStringLiteral("K30"), 0, 135, 1},
    };
    m_modelPrinters.clear();
    for (const PrinterModel &printer : m_printers)
        m_modelPrinters.append(printer.code);
    qDebug() << "m_modelPrinters:" << m_modelPrinters;

    const ResinPreset proposal = presetFor(m_modelIndex, m_resinIndex, m_thicknessUM);
    m_bottomLayerNum = proposal.bottomLayers;
    m_bottomExpoMS = proposal.bottomExposureMs;
    m_normalExpoMS = proposal.normalExposureMs;
    updateBuildConfig();

    qDebug() << "KaloConfig::load()" << m_fileCustomConf;
    QFile file(m_fileCustomConf);
    if (m_fileCustomConf.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        qInfo() << "open fail failed" << m_fileCustomConf;
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

    m_modelIndex = obj.value(QLatin1String("modelIndex")).toInt(m_modelIndex);
    m_resinIndex = obj.value(QLatin1String("resinIndex")).toInt(m_resinIndex);
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

    updateBuildConfig();
    qDebug() << "load config from file end";
    return true;
}

bool KaloConfig::save()
{
    updateBuildConfig();
    if (m_readOnly)
        return false;
    // Replaced only once the new file is whole: a full disk must not cost
    // the user the settings they had.
    CommittedFile file(m_fileCustomConf);
    if (!file.open()) {
        qWarning() << "open" << m_fileCustomConf << "for write fail:" << file.errorString();
        return false;
    }
    const QJsonObject obj = {
        {QLatin1String("modelIndex"), m_modelIndex},
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
    qDebug() << "save obj: " << obj;
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    const QByteArray data = QJsonDocument(obj).toBinaryData();
    QT_WARNING_POP
    if (file.device().write(data) != data.size() || !file.commit()) {
        qWarning() << "write" << m_fileCustomConf << "fail:" << file.errorString();
        return false;
    }
    qDebug() << "write custom config to file succeed" << m_fileCustomConf;
    return true;
}

#include "settings/PrinterProfile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

#include <cmath>

namespace {

// A field's range check: the sentence for the user, or empty.
QString outOfRange(const char *field, double value, double min, double max, const char *unit)
{
    if (value >= min && value <= max)
        return QString();
    return QStringLiteral("%1 must be %2 to %3 %4, not %5")
        .arg(QLatin1String(field))
        .arg(min)
        .arg(max)
        .arg(QLatin1String(unit))
        .arg(value);
}

} // namespace

LcdSpec PrinterProfile::lcd() const
{
    if (builtIn)
        return builtInLcd;
    return {float(sizeXMm), float(sizeYMm), float(resolutionX / sizeXMm), float(resolutionY / sizeYMm)};
}

DeviceDescriptor PrinterProfile::device() const
{
    if (builtIn)
        return DeviceDescriptor();
    return {float(sizeXMm), float(sizeYMm), float(buildHeightMm)};
}

QString PrinterProfile::validate() const
{
    if (name.trimmed().isEmpty())
        return QStringLiteral("name must not be empty");
    for (const QString &problem :
         {outOfRange("resolution X", resolutionX, 1, maxResolution, "pixels"),
          outOfRange("resolution Y", resolutionY, 1, maxResolution, "pixels"),
          outOfRange("display size X", sizeXMm, 1, maxSizeMm, "mm"),
          outOfRange("display size Y", sizeYMm, 1, maxSizeMm, "mm"),
          outOfRange("build height", buildHeightMm, 1, maxSizeMm, "mm"),
          outOfRange("resin preset group", presetGroup, 0, presetGroupCount - 1, "")}) {
        if (!problem.isEmpty())
            return problem.simplified();
    }
    // The ranges the settings dialog and the command line allow.
    for (size_t i = 0; i < resins.size(); ++i) {
        const ResinPreset &r = resins[i];
        for (const QString &problem :
             {outOfRange("resin", r.resinIndex, 0, resinCount - 1, ""),
              outOfRange("layer thickness", r.thicknessUM, 10, 100, "um"),
              outOfRange("bottom layers", r.bottomLayers, 0, 10, ""),
              outOfRange("bottom exposure", r.bottomExposureMs, 1000, 180000, "ms"),
              outOfRange("exposure", r.normalExposureMs, 1000, 180000, "ms")}) {
            if (!problem.isEmpty())
                return QStringLiteral("resin row %1: %2").arg(i + 1).arg(problem.simplified());
        }
        for (size_t j = 0; j < i; ++j) {
            if (resins[j].resinIndex == r.resinIndex)
                return QStringLiteral("resin row %1: resin %2 has a row already").arg(i + 1).arg(r.resinIndex);
        }
    }
    return QString();
}

QJsonObject PrinterProfile::toJson() const
{
    QJsonObject json{
        {QLatin1String("name"), name},
        {QLatin1String("resolutionX"), resolutionX},
        {QLatin1String("resolutionY"), resolutionY},
        {QLatin1String("sizeXMm"), sizeXMm},
        {QLatin1String("sizeYMm"), sizeYMm},
        {QLatin1String("buildHeightMm"), buildHeightMm},
        {QLatin1String("mirrorX"), mirrorX},
        {QLatin1String("mirrorY"), mirrorY},
        {QLatin1String("orientation"), portrait ? QLatin1String("portrait") : QLatin1String("landscape")},
        {QLatin1String("format"), format == ArchiveFormat::Sl1 ? QLatin1String("sl1") : QLatin1String("cws")},
        {QLatin1String("resinPresetGroup"), presetGroup},
    };
    if (resins.empty())
        return json;
    QJsonArray rows;
    for (const ResinPreset &r : resins) {
        rows.append(QJsonObject{{QLatin1String("resin"), r.resinIndex},
                                {QLatin1String("thicknessUm"), r.thicknessUM},
                                {QLatin1String("bottomLayers"), r.bottomLayers},
                                {QLatin1String("bottomExposureMs"), r.bottomExposureMs},
                                {QLatin1String("exposureMs"), r.normalExposureMs}});
    }
    json.insert(QLatin1String("resins"), rows);
    return json;
}

bool PrinterProfile::fromJson(const QJsonObject &obj, PrinterProfile &profile, QString *error)
{
    PrinterProfile p;
    QString fault;
    const auto fieldOf = [&](const QJsonObject &from, const char *key) {
        const QJsonValue value = from.value(QLatin1String(key));
        if (value.isUndefined() && fault.isEmpty())
            fault = QStringLiteral("\"%1\" is missing").arg(QLatin1String(key));
        return value;
    };
    const auto field = [&](const char *key) { return fieldOf(obj, key); };
    // A number where a whole one is due is refused rather than truncated: a
    // hand-edited 2560.5 is a typing error, not a display.
    const auto wholeOf = [&](const QJsonObject &from, const char *key, int &to) {
        const QJsonValue value = fieldOf(from, key);
        const double number = value.toDouble(std::nan(""));
        if (number == std::floor(number) && std::abs(number) <= 1e9)
            to = int(number);
        else if (fault.isEmpty())
            fault = QStringLiteral("\"%1\" must be a whole number").arg(QLatin1String(key));
    };
    const auto whole = [&](const char *key, int &to) { wholeOf(obj, key, to); };
    const auto real = [&](const char *key, double &to) {
        const QJsonValue value = field(key);
        if (value.isDouble())
            to = value.toDouble();
        else if (fault.isEmpty())
            fault = QStringLiteral("\"%1\" must be a number").arg(QLatin1String(key));
    };
    const auto flag = [&](const char *key, bool &to) {
        const QJsonValue value = field(key);
        if (value.isBool())
            to = value.toBool();
        else if (fault.isEmpty())
            fault = QStringLiteral("\"%1\" must be true or false").arg(QLatin1String(key));
    };
    const auto choice = [&](const char *key, const char *first, const char *second, bool &isSecond) {
        const QString value = field(key).toString();
        if (value == QLatin1String(first) || value == QLatin1String(second))
            isSecond = value == QLatin1String(second);
        else if (fault.isEmpty())
            fault = QStringLiteral("\"%1\" must be \"%2\" or \"%3\"")
                        .arg(QLatin1String(key), QLatin1String(first), QLatin1String(second));
    };

    if (!obj.value(QLatin1String("name")).isString())
        fault = QStringLiteral("\"name\" must be a text");
    p.name = obj.value(QLatin1String("name")).toString();
    whole("resolutionX", p.resolutionX);
    whole("resolutionY", p.resolutionY);
    real("sizeXMm", p.sizeXMm);
    real("sizeYMm", p.sizeYMm);
    whole("buildHeightMm", p.buildHeightMm);
    flag("mirrorX", p.mirrorX);
    flag("mirrorY", p.mirrorY);
    choice("orientation", "landscape", "portrait", p.portrait);
    bool sl1 = false;
    choice("format", "cws", "sl1", sl1);
    p.format = sl1 ? ArchiveFormat::Sl1 : ArchiveFormat::Cws;
    // Optional: a profile written by hand may leave the resins to the default.
    if (obj.contains(QLatin1String("resinPresetGroup")))
        whole("resinPresetGroup", p.presetGroup);
    if (obj.contains(QLatin1String("resins")) && fault.isEmpty()) {
        const QJsonValue rows = obj.value(QLatin1String("resins"));
        if (!rows.isArray())
            fault = QStringLiteral("\"resins\" must be a list");
        for (int i = 0; fault.isEmpty() && i < rows.toArray().size(); ++i) {
            const QJsonValue row = rows.toArray().at(i);
            ResinPreset r{0, 0, 0, 0, 0, 8000};
            const QJsonObject o = row.toObject();
            wholeOf(o, "resin", r.resinIndex);
            wholeOf(o, "thicknessUm", r.thicknessUM);
            wholeOf(o, "bottomLayers", r.bottomLayers);
            wholeOf(o, "bottomExposureMs", r.bottomExposureMs);
            wholeOf(o, "exposureMs", r.normalExposureMs);
            if (!row.isObject())
                fault = QStringLiteral("is not an object");
            if (!fault.isEmpty())
                fault = QStringLiteral("resin row %1: %2").arg(i + 1).arg(fault);
            p.resins.push_back(r);
        }
    }
    if (fault.isEmpty())
        fault = p.validate();
    if (!fault.isEmpty()) {
        if (error)
            *error = fault;
        return false;
    }
    profile = p;
    return true;
}

std::vector<PrinterProfile> PrinterProfile::builtIns()
{
    // The one built-in display: 47.25 µm pixels. Its image size is the
    // whole millimetres of the display times the pixel density, truncated,
    // as it always was.
    const LcdSpec lcd{65.0f, 116.0f, 21.164021f, 21.164021f};
    const auto k = [&lcd](const char *code, int height, int group) {
        PrinterProfile p;
        p.name = QString::fromLatin1(code);
        p.builtIn = true;
        p.builtInLcd = lcd;
        p.resolutionX = int(float(int(lcd.widthMm)) * lcd.pixelsPerMmX);
        p.resolutionY = int(float(int(lcd.heightMm)) * lcd.pixelsPerMmY);
        p.sizeXMm = lcd.widthMm;
        p.sizeYMm = lcd.heightMm;
        p.buildHeightMm = height;
        // Rows grow with platform y: the top view mirrored in y.
        p.mirrorY = true;
        p.presetGroup = group;
        return p;
    };
    std::vector<PrinterProfile> printers = {k("K20", 130, 0), k("K20A", 130, 0), k("K20C", 150, 1),
                                            k("K20D", 150, 1), k("K20DO", 150, 1), k("K30", 135, 1)};
    PrinterProfile sl1s;
    sl1s.name = QStringLiteral("SL1S");
    sl1s.builtIn = true;
    sl1s.resolutionX = 2560;
    sl1s.resolutionY = 1620;
    sl1s.sizeXMm = 128;
    sl1s.sizeYMm = 81;
    sl1s.buildHeightMm = 150;
    sl1s.mirrorX = true;
    sl1s.portrait = true;
    sl1s.format = ArchiveFormat::Sl1;
    sl1s.presetGroup = 2;
    sl1s.builtInLcd = {128.0f, 81.0f, 20.0f, 20.0f};
    printers.push_back(sl1s);
    return printers;
}

bool PrinterProfile::readFile(const QString &path, std::vector<PrinterProfile> &profiles, QString *error)
{
    const auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, why);
        return false;
    };
    QFile file(path);
    if (!file.exists()) {
        profiles.clear();
        return true;
    }
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return fail(QStringLiteral("not JSON (%1 at byte %2)").arg(parseError.errorString()).arg(parseError.offset));
    if (!doc.isObject())
        return fail(QStringLiteral("not a JSON object"));
    const QJsonObject root = doc.object();
    QJsonArray list;
    if (root.contains(QLatin1String("printers"))) {
        if (!root.value(QLatin1String("printers")).isArray())
            return fail(QStringLiteral("\"printers\" must be a list"));
        list = root.value(QLatin1String("printers")).toArray();
    } else {
        list.append(root);
    }
    std::vector<PrinterProfile> read;
    for (int i = 0; i < list.size(); ++i) {
        PrinterProfile p;
        QString why;
        if (!list[i].isObject())
            return fail(QStringLiteral("printer %1 is not an object").arg(i + 1));
        if (!fromJson(list[i].toObject(), p, &why)) {
            const QString name = list[i].toObject().value(QLatin1String("name")).toString();
            return fail(QStringLiteral("printer %1%2: %3")
                            .arg(i + 1)
                            .arg(name.isEmpty() ? QString() : QStringLiteral(" \"%1\"").arg(name), why));
        }
        read.push_back(p);
    }
    profiles = std::move(read);
    return true;
}

bool PrinterProfile::writeFile(const QString &path, const std::vector<PrinterProfile> &profiles, QString *error)
{
    QJsonArray list;
    for (const PrinterProfile &p : profiles)
        list.append(p.toJson());
    const QByteArray data = QJsonDocument(QJsonObject{{QLatin1String("printers"), list}}).toJson(QJsonDocument::Indented);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

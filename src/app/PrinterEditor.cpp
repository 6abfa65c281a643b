#include "app/PrinterEditor.h"

#include "settings/KaloConfig.h"

namespace {

std::vector<PrinterProfile> userPrinters(const KaloConfig &settings)
{
    std::vector<PrinterProfile> user;
    for (const PrinterProfile &p : settings.printers()) {
        if (!p.builtIn)
            user.push_back(p);
    }
    return user;
}

} // namespace

PrinterEditor::PrinterEditor(KaloConfig &settings, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
{
}

QStringList PrinterEditor::names() const
{
    return m_settings.modelPrinters();
}

QVariantMap PrinterEditor::printer(int index) const
{
    const std::vector<PrinterProfile> &all = m_settings.printers();
    if (index < 0 || index >= int(all.size()))
        return {};
    const PrinterProfile &p = all[size_t(index)];
    return {{QStringLiteral("name"), p.name},          {QStringLiteral("resolutionX"), p.resolutionX},
            {QStringLiteral("resolutionY"), p.resolutionY}, {QStringLiteral("sizeX"), p.sizeXMm},
            {QStringLiteral("sizeY"), p.sizeYMm},       {QStringLiteral("height"), p.buildHeightMm},
            {QStringLiteral("mirrorX"), p.mirrorX},     {QStringLiteral("mirrorY"), p.mirrorY},
            {QStringLiteral("portrait"), p.portrait},   {QStringLiteral("sl1"), p.format == ArchiveFormat::Sl1},
            {QStringLiteral("builtIn"), p.builtIn}};
}

QString PrinterEditor::save(int index, const QVariantMap &fields)
{
    std::vector<PrinterProfile> user = userPrinters(m_settings);
    const int firstUser = int(m_settings.printers().size() - user.size());
    if (index >= 0 && index < firstUser)
        return tr("A built-in printer cannot be changed: copy it.");
    PrinterProfile p;
    p.name = fields.value(QStringLiteral("name")).toString().trimmed();
    p.resolutionX = fields.value(QStringLiteral("resolutionX")).toInt();
    p.resolutionY = fields.value(QStringLiteral("resolutionY")).toInt();
    p.sizeXMm = fields.value(QStringLiteral("sizeX")).toDouble();
    p.sizeYMm = fields.value(QStringLiteral("sizeY")).toDouble();
    p.buildHeightMm = fields.value(QStringLiteral("height")).toInt();
    p.mirrorX = fields.value(QStringLiteral("mirrorX")).toBool();
    p.mirrorY = fields.value(QStringLiteral("mirrorY")).toBool();
    p.portrait = fields.value(QStringLiteral("portrait")).toBool();
    p.format = fields.value(QStringLiteral("sl1")).toBool() ? ArchiveFormat::Sl1 : ArchiveFormat::Cws;
    if (index >= firstUser && index < int(m_settings.printers().size())) {
        p.presetGroup = user[size_t(index - firstUser)].presetGroup;
        p.resins = user[size_t(index - firstUser)].resins;
        user[size_t(index - firstUser)] = p;
    } else {
        user.push_back(p);
    }
    return apply(user);
}

QString PrinterEditor::copy(int index)
{
    const std::vector<PrinterProfile> &all = m_settings.printers();
    if (index < 0 || index >= int(all.size()))
        return tr("No printer is chosen.");
    PrinterProfile p = all[size_t(index)];
    p.builtIn = false;
    const QString base = p.name + tr(" copy");
    p.name = base;
    for (int n = 2; m_settings.printerIndex(p.name) >= 0; ++n)
        p.name = base + QLatin1Char(' ') + QString::number(n);
    std::vector<PrinterProfile> user = userPrinters(m_settings);
    user.push_back(p);
    return apply(user);
}

QString PrinterEditor::remove(int index)
{
    std::vector<PrinterProfile> user = userPrinters(m_settings);
    const int firstUser = int(m_settings.printers().size() - user.size());
    if (index < firstUser || index >= int(m_settings.printers().size()))
        return tr("A built-in printer cannot be deleted.");
    user.erase(user.begin() + (index - firstUser));
    return apply(user);
}

QString PrinterEditor::importFile(const QUrl &file)
{
    std::vector<PrinterProfile> read;
    QString error;
    if (!PrinterProfile::readFile(file.toLocalFile(), read, &error))
        return error;
    std::vector<PrinterProfile> user = userPrinters(m_settings);
    user.insert(user.end(), read.begin(), read.end());
    return apply(user);
}

QString PrinterEditor::exportFile(int index, const QUrl &file) const
{
    const std::vector<PrinterProfile> &all = m_settings.printers();
    if (index < 0 || index >= int(all.size()))
        return tr("No printer is chosen.");
    QString error;
    return PrinterProfile::writeFile(file.toLocalFile(), {all[size_t(index)]}, &error) ? QString() : error;
}

QString PrinterEditor::archiveSuffix() const
{
    return m_settings.printer().format == ArchiveFormat::Sl1 ? QStringLiteral(".sl1") : QStringLiteral(".cws");
}

QString PrinterEditor::apply(std::vector<PrinterProfile> user)
{
    const QString selected = m_settings.printer().name;
    QString error;
    if (!m_settings.setUserPrinters(user, &error))
        return error;
    const int index = m_settings.printerIndex(selected);
    // A deleted printer leaves the initial one selected.
    m_settings.setModelIndex(index >= 0 ? index : 2);
    m_settings.updateBuildConfig();
    Q_EMIT printersChanged();
    return QString();
}

#pragma once

#include "settings/PrinterProfile.h"
#include "settings/PrinterTables.h"
#include "settings/SliceBuildConfig.h"
#include "settings/SupportConfig.h"

#include <QJsonObject>
#include <QObject>
#include <QStringList>

#include <vector>

// The user's print settings: printer, resin, layer thickness, exposures and
// lift, and the SliceBuildConfig record that slicing reads. One instance for
// the whole program, reached from QML as "kalo3dConfig".
//
// The settings live in "slice.custom.conf" in the working directory (Qt binary
// JSON), or, when that folder cannot be written, in the per-user data folder
// (kalo3d/slice.custom.conf under the generic data location, beside the
// fallback log folder). Construction loads it, destruction saves it. Setters only change the
// value: SliceBuildConfig follows the settings at load() and save(), except
// for the four lift properties, which write it directly.
//
// All members run on the GUI thread.
class KaloConfig : public QObject
{
    Q_OBJECT
    // mm, mm/min, mm/min and s; writing neither signals nor saves.
    Q_PROPERTY(float liftHeight READ liftHeight WRITE setLiftHeight NOTIFY liftAdvCfgChanged)
    Q_PROPERTY(float liftUpSpeed READ liftUpSpeed WRITE setLiftUpSpeed NOTIFY liftAdvCfgChanged)
    Q_PROPERTY(float liftDownSpeed READ liftDownSpeed WRITE setLiftDownSpeed NOTIFY liftAdvCfgChanged)
    Q_PROPERTY(float waitSecAfterStop READ waitSecAfterStop WRITE setWaitSecAfterStop
                   NOTIFY liftAdvCfgChanged)
public:
    // Upper limit of every exposure, ms.
    static constexpr int maxExposureMs = 180000;

    explicit KaloConfig(QObject *parent = nullptr);
    // For tools that must leave the user's settings alone: reads settingsFile
    // instead ("" reads nothing and keeps the built-in values) and never
    // writes a file, neither in save() nor at destruction.
    KaloConfig(const QString &settingsFile, bool readOnly, QObject *parent = nullptr);
    // Reads and writes settingsFile; when it cannot be written, save() writes
    // fallbackFile instead (creating its folder), and load() reads
    // fallbackFile when it is newer than settingsFile or settingsFile is
    // missing.
    KaloConfig(const QString &settingsFile, const QString &fallbackFile, QObject *parent = nullptr);
    // Saves the settings file.
    ~KaloConfig() override;

    // The one instance: the KaloConfig constructed last while it lives, else
    // one created without parent on first use, which lives as long as the
    // process and is returned again once later ones have ended.
    static KaloConfig *instance();

    SliceBuildConfig *buildConfig() { return &m_buildConfig; }
    CWS::SupportConfig *supportConfig() { return &m_supportConfig; }

    // Resin names and printer model codes in table order, for the QML lists.
    const QStringList &resinTypes() const { return m_resinTypes; }
    const QStringList &modelPrinters() const { return m_modelPrinters; }
    // Build height of the selected printer model, mm.
    int buildHeightMm() const;
    // Display geometry of the selected printer model.
    LcdSpec lcdSpec() const;
    // The selected printer; an index outside the list (an edited settings
    // file) selects the initial printer.
    const PrinterProfile &printer() const;
    // Every printer: the built-in ones first, then the user's.
    const std::vector<PrinterProfile> &printers() const { return m_printers; }
    // The user's printers are kept in this JSON file ("printers.json" beside
    // the settings file; none for a settings object that reads no file).
    QString printerFile() const { return m_printerFile; }
    // Reads the user's printers from path, replacing those read before, and
    // remembers path for savePrinters(). False with *error (the file and the
    // field at fault) when the file cannot be taken: the built-in printers
    // stay, with the user's printers read before.
    bool loadPrinters(const QString &path, QString *error = nullptr);
    // Replaces the user's printers by profiles (each validated, names unique
    // and none a built-in's) and, unless read-only, writes printerFile().
    // False with *error and nothing changed when a profile is refused.
    bool setUserPrinters(const std::vector<PrinterProfile> &profiles, QString *error = nullptr);
    // The printer index of name (case ignored), or -1.
    int printerIndex(const QString &name) const;

    // Proposed settings for printer row iPrinter, resin iResin and thickness
    // thick (µm; 0 keeps the preset's): the printer's own row for the resin,
    // else its group's (PrinterProfile::resins). Another thickness scales both
    // exposures in proportion, capped at maxExposureMs. A printer or resin
    // without a preset row gets the built-in initial values (30000 ms bottom,
    // 10000 ms normal at 50 µm, 3 bottom layers, 8000 µm lift), scaled alike.
    ResinPreset presetFor(int iPrinter, int iResin, int thick) const;

    // Replaces the exposures by the preset of the selected printer and resin,
    // then reads the settings file over them. False when the file is missing,
    // unreadable or not a JSON object; the values then stay as proposed. A
    // number outside what the settings dialog can set (thickness 10 to
    // 100 µm, 0 to 10 bottom layers, exposures 1 to 180 s, anti-aliasing
    // factor 2 to 5, lift 3 to 12 mm at 20 to 200 mm/min, wait 0 to 3 s) is
    // logged and leaves its setting as it was; a printer or resin index
    // outside its list is logged and selects the initial one (K20C, rigid
    // resin).
    bool load();

    // The print settings a project carries: the printer by name, resin,
    // thickness, bottom layers, exposures, anti-aliasing and lift, with the
    // settings file's keys.
    QJsonObject printSettings() const;
    // Takes print settings written by printSettings(), checked as load()
    // checks the settings file, and signals printSettingsChanged. False, with
    // nothing changed, when they name a printer not known here. Writes no file.
    bool usePrintSettings(const QJsonObject &settings);

    float liftHeight() const { return m_buildConfig.liftHeight; }
    void setLiftHeight(float mm) { m_buildConfig.liftHeight = mm; }
    float liftUpSpeed() const { return m_buildConfig.liftUpSpeed; }
    void setLiftUpSpeed(float mmPerMin) { m_buildConfig.liftUpSpeed = mmPerMin; }
    float liftDownSpeed() const { return m_buildConfig.liftDownSpeed; }
    void setLiftDownSpeed(float mmPerMin) { m_buildConfig.liftDownSpeed = mmPerMin; }
    float waitSecAfterStop() const { return m_buildConfig.waitSecAfterStop; }
    void setWaitSecAfterStop(float sec) { m_buildConfig.waitSecAfterStop = sec; }

Q_SIGNALS:
    void modelIndexChanged();
    void liftAdvCfgChanged();
    void printSettingsChanged();

public:
    Q_INVOKABLE int modelIndex() const { return m_modelIndex; }
    Q_INVOKABLE void setModelIndex(int i) { m_modelIndex = i; }
    Q_INVOKABLE int resinIndex() const { return m_resinIndex; }
    Q_INVOKABLE void setResinIndex(int i) { m_resinIndex = i; }
    Q_INVOKABLE int thicknessUM() const { return m_thicknessUM; }
    // Stores t (mm) as whole µm, rounded.
    Q_INVOKABLE void setThicknessMM(float t);
    Q_INVOKABLE int bottomLayerNum() const { return m_bottomLayerNum; }
    Q_INVOKABLE void setBottomLayerNum(int n) { m_bottomLayerNum = n; }
    Q_INVOKABLE int bottomExpoMS() const { return m_bottomExpoMS; }
    // Stores sec as ms on a tenth-second grid: 2.46 s gives 2500 ms.
    Q_INVOKABLE void setBottomExpoSec(float sec);
    Q_INVOKABLE int normalExpoMS() const { return m_normalExpoMS; }
    Q_INVOKABLE void setNormalExpoSec(float sec);
    Q_INVOKABLE bool useAntialise() const { return m_useAntialise; }
    Q_INVOKABLE void useAntialise(bool use) { m_useAntialise = use; }
    // The supersampling factor, one decimal.
    Q_INVOKABLE float antiAliseValue() const;
    Q_INVOKABLE void antiAliseValue(float v);
    // The QML reads both lists as context properties; these do nothing.
    Q_INVOKABLE void getAllModelsModel() {}
    Q_INVOKABLE void getAllResinTypesModel() {}
    // Brings SliceBuildConfig up to date and writes the settings file (with the
    // support column dimensions) through a temporary file renamed over the old
    // one only when complete; false (values kept in memory, the old file
    // whole, a warning logged) when neither the file nor the fallback file can
    // be written, or the object is read-only.
    Q_INVOKABLE bool save();
    // presetFor as five decimal texts: resin index, thickness (µm), bottom
    // layers, bottom exposure (ms), normal exposure (ms).
    Q_INVOKABLE QStringList getConfig(uint iPrinter, uint iResin, uint thick) const;
    Q_INVOKABLE QStringList getConfig(uint iPrinter, uint iResin) const;
    Q_INVOKABLE QStringList getConfig(uint iPrinter) const;
    Q_INVOKABLE int getMaxExpoSec() const { return maxExposureMs / 1000; }

    // Brings SliceBuildConfig up to date with the settings above (thickness,
    // bottom layers, exposures, the selected printer's raster) without
    // writing anything; load() and save() do it too.
    void updateBuildConfig();

private:
    // The settings printSettings() and the settings file share, and reading
    // them back with the settings file's limits.
    QJsonObject sliceValues() const;
    void readSliceValues(const QJsonObject &obj);
    // The user's printers from "printers.json" in settingsFile's folder;
    // a damaged file is logged and leaves the built-in printers alone.
    void loadPrintersBeside(const QString &settingsFile);
    // setUserPrinters without writing the file.
    bool takeUserPrinters(const std::vector<PrinterProfile> &profiles, QString *error);

private:

    int m_modelIndex = 2;
    int m_resinIndex = 0;
    int m_thicknessUM = 50;
    int m_bottomLayerNum = 3;
    int m_bottomExpoMS = 30000;
    int m_normalExpoMS = 10000;
    bool m_useAntialise = true;
    float m_antiAliseValue = 2.0f;
    QString m_fileCustomConf;
    QString m_fallbackConf;
    bool m_readOnly = false;
    SliceBuildConfig m_buildConfig;
    QStringList m_resinTypes;
    std::vector<std::vector<ResinPreset>> m_presetGroups;
    std::vector<PrinterProfile> m_printers;
    QString m_printerFile;
    QStringList m_modelPrinters;
    CWS::SupportConfig m_supportConfig;
};

#pragma once

// What the settings-file fuzzers run on every input, and the settings files
// their mutations start from. Needs no KaloConfig or KaloModel alive: each
// run makes its own, as the program does at start-up.

#include "common/TestMeshes.h"
#include "settings/KaloConfig.h"
#include "slicing/Gcode.h"
#include "workspace/KaloModel.h"

#include <QByteArray>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace SettingsFuzz {

// A broken promise of the settings reader: the fuzzer takes the abort for a
// crash and keeps the input.
inline void require(bool condition, const char *promise)
{
    if (!condition) {
        std::fprintf(stderr, "broken: %s\n", promise);
        std::abort();
    }
}

// Reads data, written as the settings file at path, as the program does at
// start-up; whatever the file holds, every setting stays within what the
// settings dialog can set (the exposures a preset proposes may be shorter
// than a second). Then the values go where the program takes
// them: the dialog's proposals, the layer count and print time of a 10 mm
// cube, the enlarged raster of anti-aliasing and the G-code text. True
// when data was a settings file.
inline bool run(const QByteArray &data, const QString &path)
{
    {
        QFile file(path);
        require(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size(),
                "the settings file can be written");
    }
    KaloConfig settings(path, true);
    const bool read = settings.load();
    const SliceBuildConfig &stored = *settings.buildConfig();
    require(settings.thicknessUM() >= 10 && settings.thicknessUM() <= 100 && settings.bottomLayerNum() >= 0
                && settings.bottomLayerNum() <= 10 && settings.bottomExpoMS() > 0
                && settings.bottomExpoMS() <= KaloConfig::maxExposureMs && settings.normalExpoMS() > 0
                && settings.normalExpoMS() <= KaloConfig::maxExposureMs && settings.antiAliseValue() >= 2
                && settings.antiAliseValue() <= 5 && stored.liftHeight >= 3 && stored.liftHeight <= 12
                && stored.liftUpSpeed >= 20 && stored.liftUpSpeed <= 200 && stored.liftDownSpeed >= 20
                && stored.liftDownSpeed <= 200 && stored.waitSecAfterStop >= 0 && stored.waitSecAfterStop <= 3,
            "every setting read lies within the settings dialog's ranges");

    settings.getConfig(uint(settings.modelIndex()), uint(settings.resinIndex()), uint(settings.thicknessUM()));
    settings.getConfig(uint(settings.modelIndex()), uint(settings.resinIndex()));
    settings.getConfig(uint(settings.modelIndex()));
    KaloModel manager;
    manager.addModel(TestMeshes::makeModel(TestMeshes::cube(10)));
    const int layers = manager.calcNumSlices();
    manager.getPrintTime();
    SliceBuildConfig config = stored;
    config.beginSupersampling(settings.useAntialise(), settings.antiAliseValue());
    config.endSupersampling();
    QStringList gcode;
    CWS::buildGcode(gcode, layers, config, settings.buildHeightMm());
    return read;
}

// Settings files to mutate: the built-in values, every value changed, a
// few keys, none but one the program does not know.
inline QList<QByteArray> seeds()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("slice.custom.conf"));
    const auto saved = [&path](const std::function<void(KaloConfig &)> &change) {
        {
            KaloConfig settings(path, false);
            change(settings);
        }
        QFile file(path);
        require(file.open(QIODevice::ReadOnly), "a seed can be written");
        return file.readAll();
    };
    QList<QByteArray> result;
    result.append(saved([](KaloConfig &) {}));
    result.append(saved([](KaloConfig &settings) {
        settings.setModelIndex(5);
        settings.setResinIndex(3);
        settings.setThicknessMM(0.02f);
        settings.setBottomLayerNum(10);
        settings.setBottomExpoSec(180);
        settings.setNormalExpoSec(1.5f);
        settings.useAntialise(false);
        settings.antiAliseValue(5);
        settings.setLiftHeight(12);
        settings.setLiftUpSpeed(20);
        settings.setLiftDownSpeed(200);
        settings.setWaitSecAfterStop(3);
    }));
    const QJsonObject few{{QStringLiteral("thicknessUM"), 100},
                          {QStringLiteral("antiAliseValue"), 2.5},
                          {QStringLiteral("liftUpSpeed"), 62.5}};
    // An empty object makes no binary JSON at all.
    const QJsonObject unknown{{QStringLiteral("unknownKey"), true}};
    for (const QJsonObject &object : {few, unknown}) {
        QT_WARNING_PUSH
        QT_WARNING_DISABLE_DEPRECATED
        result.append(QJsonDocument(object).toBinaryData());
        QT_WARNING_POP
    }
    return result;
}

} // namespace SettingsFuzz

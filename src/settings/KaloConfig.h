#pragma once

#include "settings/SliceBuildConfig.h"
#include "supports/SupportConfig.h"

#include <QObject>

// The user's print settings: printer, resin, layer thickness, exposures and
// lift, and the SliceBuildConfig record that slicing reads. One instance for
// the whole program.
class KaloConfig : public QObject
{
    Q_OBJECT
public:
    explicit KaloConfig(QObject *parent = nullptr);
    ~KaloConfig() override;

    // The one instance, created on first use.
    static KaloConfig *instance();

    SliceBuildConfig *buildConfig() { return &m_buildConfig; }
    CWS::SupportConfig *supportConfig() { return &m_supportConfig; }

private:
    SliceBuildConfig m_buildConfig;
    CWS::SupportConfig m_supportConfig;
};

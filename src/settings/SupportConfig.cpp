#include "settings/SupportConfig.h"

#include <algorithm>

namespace CWS {

SupportConfig::SupportConfig(QObject *parent)
    : QObject(parent)
{
}

SupportShape SupportConfig::presetShape(Preset preset)
{
    // Medium follows common practice for standard resins; Light leaves
    // smaller marks on small parts, Heavy holds large flat parts.
    switch (preset) {
    case Light: return {0.3, 1.5, 0.15, 0.8, 4.0, 45};
    case Heavy: return {0.6, 2.5, 0.3, 1.5, 2.0, 40};
    case Medium:
    case Custom: break;
    }
    return SupportShape();
}

void SupportConfig::setMode(int mode)
{
    m_mode = mode == IslandsOnly ? IslandsOnly : IslandsAndOverhangs;
}

void SupportConfig::setPreset(int preset)
{
    if (preset < Light || preset > Custom)
        return;
    m_preset = preset;
    if (preset != Custom)
        m_shape = presetShape(Preset(preset));
}

bool SupportConfig::setPresetName(const QString &name)
{
    const QString n = name.toLower();
    const char *names[] = {"light", "medium", "heavy", "custom"};
    for (int p = Light; p <= Custom; ++p) {
        if (n == QLatin1String(names[p])) {
            setPreset(p);
            return true;
        }
    }
    return false;
}

void SupportConfig::setShapeValue(double SupportShape::*field, double value, double min, double max)
{
    if (!(value == value))
        return;
    m_shape.*field = std::clamp(value, min, max);
    if (m_preset != Custom && !(m_shape == presetShape(Preset(m_preset))))
        m_preset = Custom;
}

void SupportConfig::setTipDiameter(double mm)
{
    setShapeValue(&SupportShape::tipDiameter, mm, 0.2, 1.0);
}

void SupportConfig::setTipLength(double mm)
{
    setShapeValue(&SupportShape::tipLength, mm, 0.5, 5.0);
}

void SupportConfig::setContactDepth(double mm)
{
    setShapeValue(&SupportShape::contactDepth, mm, 0.1, 0.5);
}

void SupportConfig::setBodyDiameter(double mm)
{
    setShapeValue(&SupportShape::bodyDiameter, mm, 0.5, 3.0);
}

void SupportConfig::setOverhangSpacing(double mm)
{
    setShapeValue(&SupportShape::spacing, mm, 1.0, 10.0);
}

void SupportConfig::setCriticalAngle(double degrees)
{
    setShapeValue(&SupportShape::criticalAngle, degrees, 20.0, 80.0);
}

} // namespace CWS

#pragma once

#include <QObject>
#include <QString>

namespace CWS {

// The shape and density of the columns "Islands and overhangs" builds, in
// mm and degrees. A tip of tipDiameter at the model narrows from the body
// over tipLength and reaches contactDepth into the model along the surface
// normal; contact points stand about spacing apart; faces whose normal
// points down more than criticalAngle below the horizontal are held.
struct SupportShape
{
    double tipDiameter = 0.4;   // 0.2 ... 1.0
    double tipLength = 2.0;     // 0.5 ... 5
    double contactDepth = 0.2;  // 0.1 ... 0.5
    double bodyDiameter = 1.0;  // 0.5 ... 3
    double spacing = 3.0;       // 1 ... 10
    double criticalAngle = 45;  // 20 ... 80

    bool operator==(const SupportShape &o) const
    {
        return tipDiameter == o.tipDiameter && tipLength == o.tipLength && contactDepth == o.contactDepth
               && bodyDiameter == o.bodyDiameter && spacing == o.spacing && criticalAngle == o.criticalAngle;
    }
};

// Dimensions of the support columns, edited in the support panel. Owned by
// KaloConfig (which saves them with the settings) and reached from QML as
// "supportConfig". Radii and heights are mm.
//
// The column setters store the value as given, without a range check and
// without notifying anybody; it applies to columns built afterwards, never
// to existing ones. The automatic mode, the preset and the shape of tipped
// columns are kept within their ranges. GUI thread only.
class SupportConfig : public QObject
{
    Q_OBJECT
public:
    explicit SupportConfig(QObject *parent = nullptr);

    Q_INVOKABLE double headTopRadius() const { return m_headTopRadius; }
    Q_INVOKABLE void setHeadTopRadius(double radius) { m_headTopRadius = radius; }
    Q_INVOKABLE double headBottomRadius() const { return m_headBottomRadius; }
    Q_INVOKABLE void setHeadBottomRadius(double radius) { m_headBottomRadius = radius; }
    Q_INVOKABLE double footTopRadius() const { return m_footTopRadius; }
    Q_INVOKABLE void setFootTopRadius(double radius) { m_footTopRadius = radius; }
    Q_INVOKABLE double footBottomRadius() const { return m_footBottomRadius; }
    Q_INVOKABLE void setFootBottomRadius(double radius) { m_footBottomRadius = radius; }
    Q_INVOKABLE double headHeight() const { return m_headHeight; }
    Q_INVOKABLE void setHeadHeight(double h) { m_headHeight = float(h); }
    Q_INVOKABLE double footHeight() const { return m_footHeight; }
    Q_INVOKABLE void setFootHeight(double h) { m_footHeight = float(h); }

    // How automatic supports are found: IslandsOnly puts straight columns
    // from the platform under regions that start in mid-air (autoSupportSpacing
    // apart); IslandsAndOverhangs holds islands, flat overhangs and faces
    // steeper than the critical angle with tipped columns of shape().
    enum Mode { IslandsOnly = 0, IslandsAndOverhangs = 1 };
    // Light, Medium and Heavy are fixed shapes; Custom is whatever was set.
    enum Preset { Light = 0, Medium = 1, Heavy = 2, Custom = 3 };
    Q_ENUM(Mode)
    Q_ENUM(Preset)

    Q_INVOKABLE int mode() const { return m_mode; }
    Q_INVOKABLE void setMode(int mode);
    Q_INVOKABLE int preset() const { return m_preset; }
    // A fixed preset replaces the shape by its own; Custom keeps the shape.
    Q_INVOKABLE void setPreset(int preset);
    // "light", "medium", "heavy" or "custom" (any case); false for others.
    bool setPresetName(const QString &name);
    // Each single value is clamped to its range; a value that differs from
    // the preset's turns the preset into Custom.
    Q_INVOKABLE double tipDiameter() const { return m_shape.tipDiameter; }
    Q_INVOKABLE void setTipDiameter(double mm);
    Q_INVOKABLE double tipLength() const { return m_shape.tipLength; }
    Q_INVOKABLE void setTipLength(double mm);
    Q_INVOKABLE double contactDepth() const { return m_shape.contactDepth; }
    Q_INVOKABLE void setContactDepth(double mm);
    Q_INVOKABLE double bodyDiameter() const { return m_shape.bodyDiameter; }
    Q_INVOKABLE void setBodyDiameter(double mm);
    Q_INVOKABLE double overhangSpacing() const { return m_shape.spacing; }
    Q_INVOKABLE void setOverhangSpacing(double mm);
    Q_INVOKABLE double criticalAngle() const { return m_shape.criticalAngle; }
    Q_INVOKABLE void setCriticalAngle(double degrees);
    const SupportShape &shape() const { return m_shape; }
    static SupportShape presetShape(Preset preset);

    // Vertices on every ring of a column.
    int segments = 11;
    // Distance between automatic supports inside one island, mm.
    double autoSupportSpacing = 5.0;

private:
    double m_headTopRadius = 0.6;    // the tip that touches the model
    double m_headBottomRadius = 0.8; // where the head meets the body
    double m_footTopRadius = 1.2;    // where the foot meets the body
    double m_footBottomRadius = 2.0; // the ring standing on the platform
    float m_headHeight = 2.0f;       // nominal; shortened on short columns
    float m_footHeight = 1.0f;
    int m_mode = IslandsAndOverhangs;
    int m_preset = Medium;
    SupportShape m_shape;

    void setShapeValue(double SupportShape::*field, double value, double min, double max);
};

} // namespace CWS

#pragma once

#include <QObject>

namespace CWS {

// Dimensions of the support columns, edited in the support panel. Owned by
// KaloConfig and reached from QML as "supportConfig". Radii and heights are
// mm. Every run starts from the initial values: nothing loads or saves them.
//
// Setters store the value as given, without a range check and without
// notifying anybody; it applies to columns built afterwards, never to
// existing ones. GUI thread only.
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
};

} // namespace CWS

#pragma once

#include <QVector3D>

#include <vector>

class Model;

namespace CWS {

// Where vertical lines cross the surfaces of a set of models: the triangles
// mapped to platform coordinates (mm) once, filed under a grid of square
// cells in x and y so that a line visits only the triangles around it.
// Built once; any number of threads may then ask at once.
class VerticalRays
{
public:
    struct Triangle
    {
        QVector3D a, b, c;
        QVector3D normal; // unit, from the winding (counter-clockwise seen from outside)
    };
    // One crossing of a vertical line: its height and the surface's normal
    // there; up when the surface faces up (the material lies below).
    struct Hit
    {
        float z;
        QVector3D normal;
        bool up() const { return normal.z() > 0; }
    };

    // The triangles of models as they stand (model matrix applied).
    explicit VerticalRays(const std::vector<const Model *> &models, float cellMm = 1.0f);

    // Every crossing of the line through (x, y), lowest first.
    std::vector<Hit> crossings(float x, float y) const;
    // The highest crossing below z, or none (z of -infinity).
    Hit below(float x, float y, float z) const;
    // Whether (x, y, z) lies inside material: an odd number of crossings above.
    bool inside(const QVector3D &point) const;

    const std::vector<Triangle> &triangles() const { return m_triangles; }
    // Which model each triangle came from (index into the constructor's list).
    const std::vector<int> &owners() const { return m_owners; }

private:
    std::vector<Triangle> m_triangles;
    std::vector<int> m_owners;
    float m_cell;
    float m_x0 = 0, m_y0 = 0;
    int m_columns = 0, m_rows = 0;
    std::vector<std::vector<int>> m_cells;
};

} // namespace CWS

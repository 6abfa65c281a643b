#pragma once

#include <QVector3D>

#include <optional>

// One piece of a model's outline in a slicing plane: both ends lie in the
// plane (platform coordinates, mm). The ends may coincide where the plane only
// touches a vertex.
struct SliceSegment
{
    QVector3D p1;
    QVector3D p2;
    // Which way the outline runs, seen from above, with the inside of the
    // triangles' shell on its left (counter-clockwise around a shell's
    // section, clockwise around a hollow): +1 from p1 to p2, -1 from p2 to
    // p1, 0 not known.
    int winding = 0;

    // The winding of the segment whose ends are the first and second hit of
    // a triangle cut by a plane, edge by edge in corner order (corner e to
    // corner e + 1; edgeHit[e], as Model::cutTriangle finds them). The
    // outline leaves the triangle's front (its corners counter-clockwise)
    // on its right: it runs from the hit of the edge that descends through
    // the plane to the hit of the edge that rises through it.
    static int windingOfCut(const QVector3D corner[3], const std::optional<QVector3D> edgeHit[3])
    {
        const int first = edgeHit[0] ? 0 : 1;
        return corner[(first + 1) % 3].z() > corner[first].z() ? -1 : 1;
    }
};

#pragma once

#include <QVector3D>

// One piece of a model's outline in a slicing plane: both ends lie in the
// plane (platform coordinates, mm). The ends may coincide where the plane only
// touches a vertex.
struct SliceSegment
{
    QVector3D p1;
    QVector3D p2;
};

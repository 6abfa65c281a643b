#pragma once

#include <QVector3D>

#include <vector>

// A hole through a hollowed model's wall that lets trapped resin drain.
struct DrainHole
{
    // Where the hole opens, on the model's surface, in the model's own
    // (mesh) coordinates, and the way it runs: a unit vector in the same
    // coordinates pointing into the model, against the surface normal.
    QVector3D position;
    QVector3D direction;
    float diameterMm = 3; // on the platform, 1 to 10

    bool operator==(const DrainHole &other) const
    {
        return position == other.position && direction == other.direction && diameterMm == other.diameterMm;
    }
};

// Upright walls that stiffen a large cavity: two sets of parallel walls,
// across x and across y, every spacingMm on the platform from the middle
// of the model, wallMm thick, with windows in them so that the resin of
// every cell reaches the drain holes.
struct Lattice
{
    static constexpr float minSpacingMm = 5;
    static constexpr float maxSpacingMm = 50;
    static constexpr float defaultWallMm = 1.5f;
    static constexpr float minWallMm = 0.5f;
    static constexpr float maxWallMm = 5;

    float spacingMm = 0; // 0: no lattice
    float wallMm = defaultWallMm; // 0.5 to 5

    bool any() const { return spacingMm > 0; }
    bool operator==(const Lattice &other) const
    {
        return spacingMm == other.spacingMm && (!any() || wallMm == other.wallMm);
    }
    bool operator!=(const Lattice &other) const { return !(*this == other); }
};

// How a model is hollowed: a shell of wallMm (measured in 3D from the
// surface, on the platform) around an empty inside, and the holes that
// drain it. A wall of 0 leaves the model solid.
struct Hollowing
{
    static constexpr float defaultWallMm = 2;
    static constexpr float minWallMm = 0.5f;
    static constexpr float maxWallMm = 10;

    float wallMm = 0;
    Lattice lattice;
    std::vector<DrainHole> drainHoles;

    bool isHollow() const { return wallMm > 0; }
    bool operator==(const Hollowing &other) const
    {
        return wallMm == other.wallMm && lattice == other.lattice && drainHoles == other.drainHoles;
    }
};

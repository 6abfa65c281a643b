#pragma once

#include "settings/PrinterTables.h"

#include <QPoint>
#include <QVector3D>

#include <vector>

// Size of a model's outline on the layout grid: it covers w + 1 by d + 1
// grid points, w along x, d along y.
struct Footprint
{
    int w = 0;
    int d = 0;
};

// Where one footprint went: the grid position of its minimum corner, and
// whether it is turned by 90° about z (it then covers d + 1 along x and
// w + 1 along y).
struct Placement
{
    int x = 0;
    int y = 0;
    bool rotated = false;
};

// One stretch [x0, x1) of the skyline, occupied along y up to height.
struct SkylineSegment
{
    int height = 0;
    int x0 = 0;
    int x1 = 0;
};

// The display raster of a printer as the layout measures the platform: one
// grid unit per display pixel, grid point (0, 0) at the platform corner
// (-width/2, -depth/2) mm. All products are taken in single precision and
// truncated toward zero.
struct LayoutGrid
{
    explicit LayoutGrid(const LcdSpec &lcd);

    // Grid coordinate of a platform coordinate (mm) along x or y.
    int toGridX(float xMm) const;
    int toGridY(float yMm) const;
    // The footprint of a platform-space box (mm).
    Footprint footprint(const QVector3D &boundMin, const QVector3D &boundMax) const;

    LcdSpec lcd;
    int width = 0; // grid points along x
    int depth = 0; // grid points along y
};

// Skyline packing on the layout grid. Footprints are placed one at a time,
// each at the lowest y where it fits, upright or turned, with a margin of 20
// grid units on its left and in front of it. The usable width is one part in
// a thousand short of the grid; every placement lies within the grid's depth.
class SkylinePacker
{
public:
    static constexpr int margin = 20;

    // width, depth: the grid's extent in grid points.
    SkylinePacker(int width, int depth);

    // Places the footprint where its far edge along y stays lowest; among
    // equal places the leftmost, upright before turned. False, with the
    // packer unchanged, when it fits nowhere in either orientation.
    bool place(const Footprint &footprint, Placement &placement);
    // The same for an outline whose turned footprint is turned (covering
    // turned.w + 1 along x), not simply footprint with w and d exchanged:
    // turning moves the grid's truncations.
    bool place(const Footprint &upright, const Footprint &turned, Placement &placement);

    const std::vector<SkylineSegment> &skyline() const { return m_skyline; }
    // Right end (x, exclusive, margins included) and far edge (y, front
    // margin left out) of everything placed so far; 0 before the first.
    // What is placed covers x from margin to maxRight - 1 and y from margin
    // to maxTop + margin - 1.
    int maxRight() const { return m_maxRight; }
    int maxTop() const { return m_maxTop; }
    // Shift (grid units) that centres what was placed on the grid, half the
    // room left along each axis, as far as the arrangement stays on it; 0
    // along an axis the arrangement fills.
    QPoint centringOffset() const;

private:
    struct Candidate
    {
        size_t segment = 0;
        int x = 0;
        int y = 0;
        bool rotated = false;
        int top = 0; // far edge along y, without the front margin
    };

    // A place for a footprint alongX by alongY grid units whose stretch
    // starts at segment start, if there is one.
    bool candidateAt(size_t start, int alongX, int alongY, bool rotated, Candidate &candidate) const;
    // Raises the skyline over the chosen place.
    void occupy(const Candidate &candidate, int alongX, int alongY);

    int m_width;
    int m_depth;
    std::vector<SkylineSegment> m_skyline;
    int m_maxRight = 0;
    int m_maxTop = 0;
};

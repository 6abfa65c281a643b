#pragma once

#include "slicing/RowRuns.h"

#include <QtGlobal>

#include <vector>

namespace CWS {

// Where one automatic support goes, in pixels of the layer raster.
struct SupportLocation
{
    int x = 0;         // image column
    int y = 0;         // image row
    int layer = 0;     // the layer whose island the tip holds up
    int baseLayer = 0; // last layer below with material at (x, y), 0 = none
};

// Decides where one model needs automatic supports from its layers, fed one
// after the other from layer 0 upwards. Knows nothing of models, threads or
// signals: the runs of each layer's solid pixels in, support locations out.
// Its time per layer follows the number of runs and of pixels that differ
// from the layer below, not the solid area (but for the islands it supports).
//
// The solid pixels of a layer form islands (4-connected). An island that has
// no pixel over a pixel solid in the layer just below rests on nothing and
// gets supports:
// - an island narrower and shallower than spacingPx gets one, at the centre
//   of its bounding box, when that pixel is solid;
// - otherwise the island's pixels are scanned column by column (x, then y,
//   from its box's minimum corner): the first one found gets a support, and
//   every pixel of the island within spacingPx along both axes of it that
//   can be reached without leaving the island is passed over, so supports
//   stand about spacingPx + 1 pixels apart.
// A point gets no support when the last layer with material under it lies
// fewer than minGapLayers layers below the island: it prints on that
// material. Layer 0 is never recorded as material below, yet every island of
// layer 1 counts as resting on it, so neither layer gets supports.
class SupportPlanner
{
public:
    // width x height pixels, the size of every layer. spacingPx > 0.
    SupportPlanner(int width, int height, int spacingPx, int minGapLayers);

    // Layer layer (0 and up, increasing, below 65536): its solid pixels,
    // every run within the width x height pixels. Returns the supports its
    // islands need, in the order the islands are found (column by column
    // from x = 0).
    std::vector<SupportLocation> addLayer(int layer, RowRuns solid);

    // Islands found in the last layer; 0 for layer 0, which is not searched.
    int islandCount() const { return m_islandCount; }

private:
    struct Island
    {
        quint32 label = 0;
        int minX = 0, minY = 0, maxX = 0, maxY = 0;
        int pixelCount = 0;
        int layer = 0;
        int supportedPixels = 0; // pixels solid in the layer just below
    };

    // Every island of layer, in the order a column by column scan meets
    // them, labelled 1, 2, ... in that order. The pixels of those resting on
    // nothing carry their label in the visit map.
    std::vector<Island> findIslands(int layer);
    // Union-find over the runs of m_solid.
    size_t root(size_t run);
    void unite(size_t a, size_t b);
    void supportIsland(const Island &island, std::vector<SupportLocation> &supports);
    // Takes the island's label off the pixels reachable from the seed within
    // spacingPx along both axes.
    void clearAround(int seedX, int seedY, quint32 label);
    // Breadth first from the pixels in m_next, one generation at a time:
    // reach(x, y) is offered the four neighbours of every pixel of a
    // generation and appends those it takes to m_next.
    template<typename Reach>
    void spread(const Reach &reach);
    bool qualifies(int x, int y, int layer) const;
    // The last layer below the current one where pixel (x, y) was solid, 0 = never.
    int lastSolid(int x, int y) const;
    // Whether pixel (x, y) is solid in the current layer.
    bool solidAt(int x, int y) const;

    int m_width;
    int m_height;
    int m_spacingPx;
    int m_minGapLayers;
    // The current layer's solid pixels, and the last layer's with its number
    // (-1 before the first).
    RowRuns m_solid, m_previous;
    int m_previousLayer = -1;
    // Per run of m_solid: a run of the same island, the island's first run
    // found by following them.
    std::vector<size_t> m_parent;
    // Runs of m_solid whose pixels carry a label in m_visit.
    std::vector<size_t> m_labelled;
    // Per pixel: the last layer of the last stretch of layers in which it
    // was solid that ended before m_previousLayer, 0 = none.
    std::vector<quint16> m_solidUntil;
    // Island label per pixel of the islands resting on nothing, else 0.
    // 32-bit: a layer may hold more islands than 16 bits can tell apart.
    std::vector<quint32> m_visit;
    struct Pixel
    {
        int x, y;
    };
    std::vector<Pixel> m_frontier;
    std::vector<Pixel> m_next;
    int m_islandCount = 0;
};

} // namespace CWS

#pragma once

#include <QRect>
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

// Decides where one model needs automatic supports from its layer images,
// fed one after the other from layer 0 upwards. Knows nothing of models,
// threads or signals: 8-bit grey pixels in, support locations out.
//
// A pixel is solid where it is 250 or brighter. The solid pixels of a layer
// form islands (4-connected). An island that has no pixel over a pixel solid
// in the layer just below rests on nothing and gets supports:
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

    // Layer layer (0 and up, increasing, below 65536): height rows of width
    // 8-bit grey pixels, bytesPerLine apart, from the top left one at pixels.
    // Returns the supports its islands need, in the order the islands are
    // found (column by column from x = 0); x and y count from that pixel.
    // content, when given, holds every pixel that is not black (the rest
    // is not read): the same result, in time that follows the layer's size.
    std::vector<SupportLocation> addLayer(int layer, const uchar *pixels, qsizetype bytesPerLine,
                                          QRect content = QRect());

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

    // Every island of the current layer, in the order a column by column
    // scan meets them, labelled 1, 2, ... in that order. The pixels of those
    // resting on nothing carry their label in the visit map.
    std::vector<Island> findIslands();
    // Union-find over m_runs.
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
    bool qualifies(int index, int layer) const;

    int m_width;
    int m_height;
    int m_spacingPx;
    int m_minGapLayers;
    // Per pixel: the current layer's number where solid, else 0; zero
    // outside m_mapped.
    std::vector<quint16> m_layerMap;
    QRect m_mapped;
    // Per pixel: the last layer below the current one where it was solid, 0 = never.
    std::vector<quint16> m_lastSolidMap;
    // Island label per pixel of the islands resting on nothing, else 0.
    // 32-bit: a layer may hold more islands than 16 bits can tell apart.
    std::vector<quint32> m_visit;
    // Bounding box of the current layer's solid pixels; empty when minX > maxX.
    int m_minX = 0, m_minY = 0, m_maxX = -1, m_maxY = -1;
    // A row's solid pixels from x0 to x1, both included, of the island
    // whose first run is found by following parent.
    struct Run
    {
        int y, x0, x1;
        size_t parent;
    };
    std::vector<Run> m_runs;
    struct Pixel
    {
        int x, y;
    };
    std::vector<Pixel> m_frontier;
    std::vector<Pixel> m_next;
    int m_islandCount = 0;
};

} // namespace CWS

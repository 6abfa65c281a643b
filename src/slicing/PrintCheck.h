#pragma once

#include "slicing/RowRuns.h"

#include <QImage>
#include <QList>
#include <QRect>
#include <QRectF>
#include <QString>

#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

struct SliceBuildConfig;
class Model;

namespace CWS {

// One problem the print check found.
struct PrintFinding
{
    enum Kind {
        Island,     // a region that starts in mid-air
        Overhang,   // a region reaching more than 2 mm beyond the layer below
        ResinTrap,  // a hollow closed above with no drain of 10 pixels or more
        SuctionCup, // a hollow closed below (by material or the plate), at least 100 pixels and 0.5 mm high
        Clipped,    // material outside the display
        Floating,   // a model above the plate with nothing under it
        Unsupported // a region a support run could not hold (found by that run, never by the check)
    };
    Kind kind = Island;
    int firstLayer = 0;
    int lastLayer = 0;
    double bottomMm = 0; // height range (mm): firstLayer's bottom to lastLayer's top
    double topMm = 0;
    double xMm = 0; // centre on the platform (mm)
    double yMm = 0;
    double areaMm2 = 0; // the largest area it has in one layer (mm²)
    int model = -1;     // index into the check's footprints, -1 when none holds it
    QString reason;     // Unsupported: why no column fits there

    // "island", "overhang", "resin trap", "suction cup", "clipped", "floating",
    // "unsupported region".
    static QString kindName(Kind kind);
    // n findings of kind in words: "1 island", "0 overhangs", "2 clipped
    // parts", "1 floating model".
    static QString count(Kind kind, qint64 n);
};

// Where a model lies, for telling which model a finding belongs to, and for
// the checks made on bounds alone (clipped parts, floating models).
struct ModelFootprint
{
    QRectF bounds; // platform x, y (mm), supports and base plate included
    double bottomMm = 0;
    double topMm = 0;
    // A support or base plate stands under it: it does not float.
    bool supported = false;

    // One footprint per model of the print (TYPE_NORMAL) in list order, its
    // supports and base plate included; their bounds must be up to date.
    static std::vector<ModelFootprint> of(const QList<Model *> &models);
};

// Finds what makes a resin print fail, one layer image at a time, in layer
// order, keeping only the previous layer: memory stays flat in the layer
// count. Works on the runs of pixels along the rows, so its time grows with
// the length of the outlines, not with the lit area.
//
// A pixel is lit when its grey is above 0 and solid from 128 (1-bit images:
// white is both). Distances are in mm with the raster's per-axis pitch. A
// region is 4-connected.
// - Island: a lit region of layer i > 0 of which fewer than 10 pixels and
//   less than a quarter of its area are solid in layer i - 1; unless no
//   pixel of it is solid and it meets a solid pixel of layer i at a corner
//   (the grey fringe of a diagonal edge).
// - Overhang: lit pixels of layer i farther than 2 mm from every solid pixel
//   of layer i - 1, outside islands, grouped into regions of 0.5 mm² or more.
//   Regions in consecutive layers whose bounding boxes meet are one finding.
// - Resin trap: a region of unsolid pixels enclosed by solid, followed from
//   layer to layer (regions that overlap are the same hollow) until material
//   covers it entirely; it drains, and is no trap, when 10 or more of its
//   pixels meet unsolid pixels connected to the outside in the layer above or
//   below. A hollow under 10 pixels in every layer is ignored. Openings in the side (an enclosed region that joins the outside
//   within one layer) open it at any width.
// - Suction cup: a hollow that starts on material or on the plate, enclosed
//   while at least 0.5 mm high and at least 100 pixels at its largest, closed
//   above or not.
// - Clipped and floating: from the footprints alone, when constructed (the
//   layer images hold nothing outside the display). The clipped area is the
//   part of the model's bounding rectangle outside the display.
class PrintCheck
{
public:
    // config: the raster of the images that will come (a supersampled
    // config means its native raster, targetSize). footprints: the models,
    // indexed as PrintFinding::model.
    PrintCheck(const SliceBuildConfig &config, std::vector<ModelFootprint> footprints);

    // The next layer (0, 1, 2, ...): Format_Mono (index 0 black), Grayscale8
    // or Indexed8 grey of the raster's size; other sizes are ignored.
    // rows: the first and last row that may hold anything but black; the
    // rest is not read.
    void addLayer(const QImage &image, std::pair<int, int> rows = {0, std::numeric_limits<int>::max()});
    // The same for a layer already read into runs (RowRuns::fromImage) on
    // any thread, which is most of the work of a layer.
    void addLayer(RowRuns lit, RowRuns solid);
    // Whether addLayer takes image: its size is the raster's.
    bool fits(const QImage &image) const { return image.width() == m_width && image.height() == m_height; }

    // Ends the check after the last layer (hollows still open at the top are
    // no traps) and returns every finding, ordered by first layer.
    std::vector<PrintFinding> finish();

    int layers() const { return m_layer; }

    // When on, each addLayer keeps the pixels of the islands and overhangs it
    // found in that layer, in marks(), until the next. Off at first.
    void setMarking(bool on) { m_marking = on; }
    const std::vector<PixelRun> &marks() const { return m_marks; }
    // The enclosed unsolid pixels of the last layer added (its hollows).
    const RowRuns &hollowRuns() const { return m_hollowRuns; }
    // The pixel (column, row) of a point on the platform (mm), as findings give it.
    QPoint pixelAt(double xMm, double yMm) const;

private:
    struct Hollow
    {
        int parent;
        int firstLayer;
        int lastLayer;
        bool open;
        bool closedBelow;
        int maxArea;
        double sumX, sumY, count;
        bool continued; // touched by the current layer
    };
    struct Open
    {
        QRect box;
        int finding;
    };

    void islandsAndOverhangs();
    void overhangs(const std::vector<PixelRun> &candidates, std::vector<Open> &prevOverhangs);
    void hollows();
    int root(int hollow);
    void endHollow(int hollow);
    void addFinding(PrintFinding::Kind kind, int layer, const QRect &box, double sumX, double sumY, int area,
                    std::vector<Open> &opened);
    int modelAt(double xMm, double yMm, double bottomMm, double topMm) const;
    double xMm(double column) const;
    double yMm(double row) const;

    int m_width, m_height;
    double m_ppmX, m_ppmY;
    double m_centreX, m_centreY;
    double m_layerMm;
    std::vector<ModelFootprint> m_footprints;
    std::vector<PrintFinding> m_findings;
    int m_layer = 0;
    bool m_finishing = false;

    // This layer and the one below as runs: lit and solid pixels, and the
    // enclosed unsolid pixels with their hollow (an index into m_hollows).
    RowRuns m_lit, m_solid, m_prevSolid;
    RowRuns m_hollowRuns, m_prevHollowRuns;
    std::vector<int> m_hollowOf, m_prevHollowOf; // per run of m_hollowRuns, m_prevHollowRuns
    std::vector<Hollow> m_hollows;
    std::vector<Open> m_openIslands, m_openOverhangs;
    // How far (pixels) along a row solid of the layer below reaches for
    // each row distance: reach[dy] for dy = 0 up to the 2 mm limit.
    std::vector<int> m_reach;
    std::vector<int> m_parent; // scratch: union-find over runs
    bool m_marking = false;
    std::vector<PixelRun> m_marks;
};

} // namespace CWS

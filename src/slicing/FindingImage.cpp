#include "slicing/FindingImage.h"

#include "settings/SliceBuildConfig.h"
#include "slicing/PlacedMesh.h"
#include "slicing/Slice.h"

#include <algorithm>

namespace CWS {

namespace {

void paint(QImage &image, const PixelRun &run)
{
    auto *line = reinterpret_cast<QRgb *>(image.scanLine(run.row));
    std::fill(line + run.begin, line + run.end, FindingImage::red);
}

// Paints the hollow of hollows that holds pixel, if one does.
void paintHollow(QImage &image, const RowRuns &hollows, const QPoint &pixel)
{
    const PixelRun *first = hollows.rowBegin(pixel.y()), *end = hollows.rowEnd(pixel.y());
    first = std::find_if(first, end, [&](const PixelRun &r) { return r.begin <= pixel.x() && pixel.x() < r.end; });
    if (first == end)
        return;
    std::vector<char> seen(hollows.runs().size(), 0);
    std::vector<const PixelRun *> stack{first};
    seen[size_t(first - hollows.runs().data())] = 1;
    while (!stack.empty()) {
        const PixelRun *run = stack.back();
        stack.pop_back();
        paint(image, *run);
        for (int row : {run->row - 1, run->row + 1}) {
            for (const PixelRun *r = hollows.rowBegin(row); r != hollows.rowEnd(row); ++r) {
                char &s = seen[size_t(r - hollows.runs().data())];
                if (!s && r->begin < run->end && run->begin < r->end) {
                    s = 1;
                    stack.push_back(r);
                }
            }
        }
    }
}

} // namespace

QImage FindingImage::render(const SliceBuildConfig &config, const QList<Model *> &models, int layer,
                            bool antiAliasing, float antiAliasingFactor, const std::vector<PrintFinding> &findings)
{
    SliceBuildConfig c = config;
    c.beginSupersampling(antiAliasing, antiAliasingFactor);
    PrintCheck check(c, {});
    check.setMarking(true);
    const std::vector<float> heights = PlacedMesh::layerHeights(layer + 1, c.layerThickness);
    QImage grey;
    for (int i = std::max(0, layer - 1); i <= layer; ++i) {
        Slice slice(nullptr, &c, i, heights[size_t(i)], &models);
        slice.renderLayer(c.supersampled, nullptr);
        grey = *slice.image();
        check.addLayer(grey);
    }
    QImage image = grey.convertToFormat(QImage::Format_RGB32);
    for (const PixelRun &run : check.marks())
        paint(image, run);
    for (const PrintFinding &f : findings) {
        if ((f.kind == PrintFinding::ResinTrap || f.kind == PrintFinding::SuctionCup) && f.firstLayer <= layer
            && layer <= f.lastLayer)
            paintHollow(image, check.hollowRuns(), check.pixelAt(f.xMm, f.yMm));
    }
    return image;
}

} // namespace CWS

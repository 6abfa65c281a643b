#pragma once

#include "slicing/PrintCheck.h"

#include <QImage>
#include <QList>

#include <vector>

class Model;
struct SliceBuildConfig;

namespace CWS {

// One layer as it will be printed (its grey edges included) with what the
// print check finds there drawn red: the islands and overhangs of the
// layer, found anew from it and the layer below, and the enclosed hollow
// that holds the centre of each resin trap or suction cup of findings whose
// layers include it.
class FindingImage
{
public:
    // config: the slicing record at the native raster; antiAliasing and
    // antiAliasingFactor as for a slicing run. models: the scene, read on the
    // calling thread. layer: 0 up; the image is black above the scene.
    // Returns a Format_RGB32 image of the display's size.
    static QImage render(const SliceBuildConfig &config, const QList<Model *> &models, int layer, bool antiAliasing,
                         float antiAliasingFactor, const std::vector<PrintFinding> &findings);

    static constexpr QRgb red = 0xffe02020;
};

} // namespace CWS

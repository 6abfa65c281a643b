#pragma once

#include <utility>

class QImage;

namespace CWS {

// Receives the layer images of a slicing run; the slicer thread implements it.
class LayerSink
{
public:
    virtual ~LayerSink() = default;

    // Called once per layer from Slice::run on a pool thread, several layers
    // at once. The images belong to the job and are deleted as soon as the
    // call returns, so the receiver must store or copy them here.
    // supersampledImage is null unless the layer was drawn enlarged. rows:
    // the first and last row of image that may hold anything but black
    // (last < first: the image is black).
    virtual void layerDone(QImage *image, int layerIndex, QImage *supersampledImage, std::pair<int, int> rows) = 0;
};

} // namespace CWS

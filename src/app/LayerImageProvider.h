#pragma once

#include <QQuickImageProvider>

// "image://layer/N" (anything after a further '/' is ignored, so that a new
// suffix loads the layer again): layer N of the scene as it will be
// printed, with the print check's findings in red (KaloModel::findingImage).
// Requested on the GUI thread: the Image must not be asynchronous.
class LayerImageProvider : public QQuickImageProvider
{
public:
    LayerImageProvider();
    QImage requestImage(const QString &id, QSize *size, const QSize &requestedSize) override;
};

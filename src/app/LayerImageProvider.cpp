#include "app/LayerImageProvider.h"

#include "workspace/KaloModel.h"

LayerImageProvider::LayerImageProvider()
    : QQuickImageProvider(QQuickImageProvider::Image)
{
}

QImage LayerImageProvider::requestImage(const QString &id, QSize *size, const QSize &requestedSize)
{
    bool ok = false;
    const int layer = id.section(QLatin1Char('/'), 0, 0).toInt(&ok);
    KaloModel *manager = KaloModel::instance();
    QImage image = ok && manager ? manager->findingImage(layer) : QImage();
    if (image.isNull()) {
        image = QImage(1, 1, QImage::Format_RGB32);
        image.fill(Qt::black);
    }
    if (requestedSize.isValid())
        image = image.scaled(requestedSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (size)
        *size = image.size();
    return image;
}

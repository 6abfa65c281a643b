#include "app/PrintableArea.h"

#include "geometry/Model.h"
#include "settings/SliceBuildConfig.h"

#include <QDir>
#include <QStringList>

QRectF PrintableArea::of(const SliceBuildConfig &config)
{
    // The same centre the rasteriser puts the plate centre on.
    const double left = -double(config.resolutionX / 2 + config.offsetX) / config.pixelsPerMmX;
    const double top = -double(config.resolutionY / 2 + config.offsetY) / config.pixelsPerMmY;
    return QRectF(left, top, config.resolutionX / config.pixelsPerMmX, config.resolutionY / config.pixelsPerMmY);
}

QString PrintableArea::warning(const QList<Model *> &models, const SliceBuildConfig &config)
{
    const QRectF area = of(config);
    const double tolerance = 0.01;
    QStringList names;
    for (Model *model : models) {
        model->updateBounds();
        const bool inside = model->boundMin.x() >= area.left() - tolerance
                            && model->boundMax.x() <= area.right() + tolerance
                            && model->boundMin.y() >= area.top() - tolerance
                            && model->boundMax.y() <= area.bottom() + tolerance;
        // An empty mesh has no place at all.
        if (inside || model->boundMin.x() > model->boundMax.x())
            continue;
        const Model *named = model->owner ? model->owner : model;
        const QString name = QDir::toNativeSeparators(named->name);
        if (!names.contains(name))
            names << name;
    }
    if (names.isEmpty())
        return QString();
    return QStringLiteral("%1 reaches beyond the printable area of the printer %2 (%3 x %4 mm around the plate's "
                          "centre): what lies outside it is not printed")
        .arg(names.join(QStringLiteral(", ")), config.printerName)
        .arg(area.width(), 0, 'f', 2)
        .arg(area.height(), 0, 'f', 2);
}

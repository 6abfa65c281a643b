#include "app/BuildHeight.h"

#include "geometry/Model.h"

#include <QDir>

QStringList BuildHeight::modelsAbove(const QList<Model *> &models, int heightMm)
{
    QStringList above;
    for (Model *model : models) {
        // Where settleIfFloating would put it.
        const float drop = model->floatHeight();
        const float top = model->boundMax.z() - drop;
        if (top > float(heightMm))
            above << QStringLiteral("%1 (%2 mm)").arg(QDir::toNativeSeparators(model->name)).arg(double(top), 0, 'f', 2);
    }
    return above;
}

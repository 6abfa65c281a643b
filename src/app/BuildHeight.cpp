#include "app/BuildHeight.h"

#include "geometry/Model.h"

#include <QDir>

QStringList BuildHeight::modelsAbove(const QList<Model *> &models, int heightMm)
{
    QStringList above;
    for (Model *model : models) {
        model->updateBounds();
        float top = model->boundMax.z();
        // Where settleIfFloating would put it.
        if (model->supports.empty()) {
            if (model->base)
                model->base->updateBounds();
            const float floor = model->base ? model->base->boundMax.z() : 0.0f;
            if (model->boundMin.z() > floor)
                top -= model->boundMin.z() - floor;
        }
        if (top > float(heightMm))
            above << QStringLiteral("%1 (%2 mm)").arg(QDir::toNativeSeparators(model->name)).arg(double(top), 0, 'f', 2);
    }
    return above;
}

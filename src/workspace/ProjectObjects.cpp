#include "workspace/ProjectObjects.h"

#include "geometry/Model.h"

#include <QDebug>

std::vector<Model *> ProjectObjects::releaseLinked()
{
    for (const auto &[index, ownerIndex] : relations) {
        Model *object = objects[size_t(index)].get();
        Model *owner = objects[size_t(ownerIndex)].get();
        object->owner = owner;
        if (object->type == TYPE_SUPPORT) {
            owner->supports.push_back(object);
        } else {
            // The plate's thickness is not stored; its height is that thickness.
            object->updateBounds();
            owner->base = object;
            owner->baseThickness = object->boundMax.z() - object->boundMin.z();
            object->baseThickness = owner->baseThickness;
        }
    }
    qDebug() << "make support relationship size" << relations.size();
    relations.clear();
    std::vector<Model *> released;
    for (auto &object : objects)
        released.push_back(object.release());
    objects.clear();
    return released;
}

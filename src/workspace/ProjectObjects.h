#pragma once

#include <memory>
#include <utility>
#include <vector>

class Model;

// The objects of a project file, read completely and checked but not yet in
// a scene. The objects are not linked to each other: deleting them is safe.
struct ProjectObjects
{
    std::vector<std::unique_ptr<Model>> objects;
    // (object, owner) indices into objects: the object is a support or a
    // base plate, the owner a normal model; no object has two owners and no
    // owner two bases.
    std::vector<std::pair<int, int>> relations;

    // Links every object to its owner (a support joins the owner's
    // supports, a base plate becomes its base and both take the plate's
    // height as baseThickness) and hands the objects over, in file order.
    std::vector<Model *> releaseLinked();
};

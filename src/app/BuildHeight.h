#pragma once

#include <QList>
#include <QStringList>

class Model;

// The printer builds up to its build height: a scene reaching above it
// cannot print, and, sliced anyway, means a layer for every step of the way
// (a stray vertex at 1 km makes 20 million of them).
namespace BuildHeight {

// The models that reach above heightMm once slicing has lowered the
// floating ones onto the plate (Model::settleIfFloating), as "name (top in
// mm, two decimals)", in list order; the models themselves are not moved.
QStringList modelsAbove(const QList<Model *> &models, int heightMm);

} // namespace BuildHeight

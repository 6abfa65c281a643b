#pragma once

#include <QPointF>
#include <QRectF>

class Model;

// What a normal model takes of the platform together with what belongs to
// it (its base plate and support columns), and the quarter turn that moves
// them all as one. Platform coordinates in mm; an outline is a box with
// left/right the x range and top/bottom the y range (y growing downward in
// QRectF's terms). GUI thread only, like the models.
namespace ModelOutline {

// The x/y box that model, its base plate and its supports cover, from
// their bounds (each updated first when dirty).
QRectF of(Model &model);

// The vertical axis model and its attachments turn about: its pivot on the
// platform (x, y mm).
QPointF axis(const Model &model);

// outline turned by 90° counter-clockwise (seen from above) about the
// vertical through axis.
QRectF turned(const QRectF &outline, const QPointF &axis);

// Turns model by 90° counter-clockwise about axis(model), rigidly, with its
// base plate and supports: afterwards of(model) is turned(the outline
// before, axis) and every support touches the model where it did. The
// turn lands in the model's rotation (and, for a scale that differs
// between x and y, its scale: those two trade places) rather than in its
// mesh, which copies share; the attachments get turned copies of their
// meshes (the undo history may share the old ones).
void turnQuarter(Model &model);

} // namespace ModelOutline

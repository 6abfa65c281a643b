#pragma once

#include "workspace/ProjectObjects.h"

#include <QJsonObject>
#include <QList>
#include <QString>

class KaloModel;
class Model;
class QDataStream;
class QIODevice;

// Project files (".kalo3d"): the whole scene, every object with its mesh
// already placed by its transform, and which supports and base plates belong
// to which model. One QDataStream over the file, big-endian, floats stored as
// 8-byte doubles:
//   int32 -1, int32 1, "KALO3D" and two zero bytes, int16 major 1, int16 minor 0,
//   int64 object count, the objects (int64 list index, int32 type, then the
//   object's own block, ObjectBlock::write), int64 relation count, the relations
//   (int32 object index, int32 owner index), int32 2, int32 -1.
// Readers that stop at that end marker read every project; after it may
// follow int32 3 and a QByteArray of a JSON object: "printSettings", those
// the project was prepared with (KaloConfig::printSettings()), and
// "hollowing", one entry per hollowed model: {"object": its index in the
// list, "wallMm", "drainHoles": [{"position": [x, y, z], "direction":
// [x, y, z], "diameterMm"}]} and, with a lattice, "latticeSpacingMm" and
// "latticeWallMm"; positions and directions on the platform.
//
// Reading trusts nothing: counts are bounded by what the rest of the file can
// hold, a short or damaged file is refused as a whole, relations that do not
// name a support or base and a normal model of the same file are skipped.
// Devices must know their size (files, buffers).
class ProjectFile
{
public:
    static constexpr qint16 majorVersion = 1;
    static constexpr qint16 minorVersion = 0;

    // Writes models (a scene's list, in order) as a project, followed by
    // printSettings unless empty; false when the device failed.
    static bool write(QIODevice &device, const QList<Model *> &models, const QJsonObject &printSettings = {});
    // Reads a whole project into objects (which must be empty). False, with
    // nothing in objects and, when problem is given, the reason in words for
    // the user, when the data is no project, of another version, or
    // truncated or damaged. printSettings receives the project's print
    // settings, empty when it carries none or they are damaged (logged; the
    // objects still read).
    static bool read(QIODevice &device, ProjectObjects &objects, QString *problem = nullptr,
                     QJsonObject *printSettings = nullptr);

    // Writes the project file at path (a local file). An existing file is
    // replaced only once the new one is complete.
    static bool save(const QString &path, const QList<Model *> &models, QString *problem = nullptr,
                     const QJsonObject &printSettings = {});
    // Reads the project file at path and appends its objects to manager's
    // scene (KaloModel::loadObjects), or with replace puts them in place of
    // the scene and its history (KaloModel::newScene); a file that cannot be
    // read completely changes nothing. printSettings as for read().
    static bool load(const QString &path, KaloModel &manager, QString *problem = nullptr, bool replace = false,
                     QJsonObject *printSettings = nullptr);

    // True when count items of bytesEach bytes each can still follow in
    // stream: the bound every count read from a file must pass before it
    // sizes a loop or an allocation.
    static bool fits(const QDataStream &stream, qint64 count, qint64 bytesEach);
};

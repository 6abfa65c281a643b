#pragma once

// Writes test meshes as STL files, in both encodings, so that the importer
// tests need no binary fixtures.

#include "geometry/MeshData.h"

#include <QDataStream>
#include <QFile>
#include <QString>
#include <QTextStream>
#include <QVector3D>

namespace StlWriter {

enum Encoding { Ascii, Binary };

// Facet normals are computed from the winding unless zeroNormals asks for the
// all-zero normals some exporters write. False when the file cannot be written.
inline bool write(const QString &path, const MeshPrimitiveData &mesh, Encoding encoding, bool zeroNormals = false)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const size_t triangles = mesh.indices.size() / 3;
    auto corner = [&](size_t t, int k) {
        const MeshVertex &v = mesh.vertices[mesh.indices[3 * t + size_t(k)]];
        return QVector3D(v.x, v.y, v.z);
    };
    auto normal = [&](size_t t) {
        return zeroNormals ? QVector3D() : QVector3D::normal(corner(t, 0), corner(t, 1), corner(t, 2));
    };

    if (encoding == Ascii) {
        QTextStream out(&file);
        out.setRealNumberPrecision(9);
        out << "solid test\n";
        for (size_t t = 0; t < triangles; ++t) {
            const QVector3D n = normal(t);
            out << "  facet normal " << n.x() << ' ' << n.y() << ' ' << n.z() << "\n    outer loop\n";
            for (int k = 0; k < 3; ++k) {
                const QVector3D p = corner(t, k);
                out << "      vertex " << p.x() << ' ' << p.y() << ' ' << p.z() << '\n';
            }
            out << "    endloop\n  endfacet\n";
        }
        out << "endsolid test\n";
        return out.status() == QTextStream::Ok;
    }

    QDataStream out(&file);
    out.setByteOrder(QDataStream::LittleEndian);
    out.setFloatingPointPrecision(QDataStream::SinglePrecision);
    // The header must not start with "solid": readers take such files for ASCII.
    out.writeRawData(QByteArray(80, 'B').constData(), 80);
    out << quint32(triangles);
    for (size_t t = 0; t < triangles; ++t) {
        const QVector3D n = normal(t);
        out << n.x() << n.y() << n.z();
        for (int k = 0; k < 3; ++k) {
            const QVector3D p = corner(t, k);
            out << p.x() << p.y() << p.z();
        }
        out << quint16(0);
    }
    return out.status() == QDataStream::Ok;
}

} // namespace StlWriter

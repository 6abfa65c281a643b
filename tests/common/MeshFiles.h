#pragma once

// Writes test meshes as OBJ, PLY and 3MF files, so that the importer tests
// need no fixtures. Header-only.

#include "geometry/MeshData.h"

#include <QFile>
#include <QString>
#include <QTextStream>

#include <vector>

#include <quazip.h>
#include <quazipfile.h>
#include <quazipnewinfo.h>

namespace MeshFiles {

// The mesh as an object of an OBJ file: "v x y z" lines and "f a b c"
// faces, no normals. first is the number the file gives the mesh's first
// vertex: 1 in a file of its own, more after other objects' vertices.
inline QByteArray obj(const MeshPrimitiveData &mesh, uint32_t first = 1, const QByteArray &name = "part")
{
    QByteArray text = "o " + name + "\n";
    for (const MeshVertex &v : mesh.vertices)
        text += "v " + QByteArray::number(v.x) + ' ' + QByteArray::number(v.y) + ' ' + QByteArray::number(v.z) + '\n';
    for (size_t k = 0; k + 2 < mesh.indices.size(); k += 3)
        text += "f " + QByteArray::number(mesh.indices[k] + first) + ' ' + QByteArray::number(mesh.indices[k + 1] + first)
                + ' ' + QByteArray::number(mesh.indices[k + 2] + first) + '\n';
    return text;
}

// An ASCII PLY file: vertex x y z, faces as vertex index lists.
inline QByteArray ply(const MeshPrimitiveData &mesh)
{
    QByteArray text = "ply\nformat ascii 1.0\nelement vertex " + QByteArray::number(int(mesh.vertices.size()))
                      + "\nproperty float x\nproperty float y\nproperty float z\nelement face "
                      + QByteArray::number(int(mesh.indices.size() / 3))
                      + "\nproperty list uchar int vertex_indices\nend_header\n";
    for (const MeshVertex &v : mesh.vertices)
        text += QByteArray::number(v.x) + ' ' + QByteArray::number(v.y) + ' ' + QByteArray::number(v.z) + '\n';
    for (size_t k = 0; k + 2 < mesh.indices.size(); k += 3)
        text += "3 " + QByteArray::number(mesh.indices[k]) + ' ' + QByteArray::number(mesh.indices[k + 1]) + ' '
                + QByteArray::number(mesh.indices[k + 2]) + '\n';
    return text;
}

// The model part of a 3MF package: one object, and a build item of it for
// each offset, moved by that offset (mm, along x) through its transform.
inline QByteArray threeMfModel(const MeshPrimitiveData &mesh, const std::vector<float> &offsetsX)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<model unit=\"millimeter\" xml:lang=\"en-US\" "
                     "xmlns=\"http://schemas.microsoft.com/3dmanufacturing/core/2015/02\">\n"
                     "<resources><object id=\"1\" type=\"model\"><mesh><vertices>\n";
    for (const MeshVertex &v : mesh.vertices)
        xml += "<vertex x=\"" + QByteArray::number(v.x) + "\" y=\"" + QByteArray::number(v.y) + "\" z=\""
               + QByteArray::number(v.z) + "\"/>\n";
    xml += "</vertices><triangles>\n";
    for (size_t k = 0; k + 2 < mesh.indices.size(); k += 3)
        xml += "<triangle v1=\"" + QByteArray::number(mesh.indices[k]) + "\" v2=\""
               + QByteArray::number(mesh.indices[k + 1]) + "\" v3=\"" + QByteArray::number(mesh.indices[k + 2])
               + "\"/>\n";
    xml += "</triangles></mesh></object></resources>\n<build>";
    for (const float offset : offsetsX)
        xml += "<item objectid=\"1\" transform=\"1 0 0 0 1 0 0 0 1 " + QByteArray::number(offset) + " 0 0\"/>";
    return xml + "</build>\n</model>\n";
}

// Writes the file format chosen by the end of path's name: ".obj", ".ply"
// or ".3mf" (a zip package with a build item at each of offsetsX). False
// when it cannot be written.
inline bool write(const QString &path, const MeshPrimitiveData &mesh, const std::vector<float> &offsetsX = {0})
{
    if (path.endsWith(QLatin1String(".3mf"), Qt::CaseInsensitive)) {
        QuaZip zip(path);
        if (!zip.open(QuaZip::mdCreate))
            return false;
        const std::pair<const char *, QByteArray> parts[] = {
            {"[Content_Types].xml",
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Types "
             "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"><Default Extension=\"rels\" "
             "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/><Default Extension=\"model\" "
             "ContentType=\"application/vnd.ms-package.3dmanufacturing-3dmodel+xml\"/></Types>\n"},
            {"_rels/.rels",
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Relationships "
             "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship "
             "Target=\"/3D/3dmodel.model\" Id=\"rel0\" "
             "Type=\"http://schemas.microsoft.com/3dmanufacturing/2013/01/3dmodel\"/></Relationships>\n"},
            {"3D/3dmodel.model", threeMfModel(mesh, offsetsX)},
        };
        for (const auto &part : parts) {
            QuaZipFile file(&zip);
            if (!file.open(QIODevice::WriteOnly, QuaZipNewInfo(QString::fromLatin1(part.first)))
                || file.write(part.second) != part.second.size())
                return false;
            file.close();
        }
        zip.close();
        return zip.getZipError() == 0;
    }
    const bool isPly = path.endsWith(QLatin1String(".ply"), Qt::CaseInsensitive);
    const QByteArray content = isPly ? ply(mesh) : obj(mesh);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace MeshFiles

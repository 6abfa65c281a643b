#include "geometry/BinaryStl.h"

#include "geometry/FaceNormals.h"
#include "geometry/VertexJoiner.h"

#include <QFile>
#include <QtEndian>

#include <cmath>
#include <memory>
#include <new>
#include <vector>

namespace {

constexpr qint64 headerBytes = 84; // 80 bytes of header, the triangle count
constexpr qint64 triangleBytes = 50; // normal, three corners, attribute word
constexpr qint64 trianglesPerRead = 4096;

float floatAt(const char *bytes)
{
    return qFromLittleEndian<float>(bytes);
}

} // namespace

BinaryStl::Outcome BinaryStl::read(const QString &path, MeshPrimitiveData &mesh, QString *problem, bool makeZeroNormals)
{
    QFile file(path);
    char header[headerBytes];
    if (!file.open(QIODevice::ReadOnly) || file.read(header, headerBytes) != headerBytes)
        return Outcome::NotBinary;
    const quint32 count = qFromLittleEndian<quint32>(header + 80);
    // assimp drops a leading byte-order mark before it tells the encoding.
    if (count == 0 || file.size() != headerBytes + triangleBytes * qint64(count)
        || QByteArray::fromRawData(header, 3) == "\xEF\xBB\xBF")
        return Outcome::NotBinary;

    try {
        std::vector<MeshVertex> vertices;
        std::vector<uint32_t> indices;
        vertices.reserve(3 * size_t(count));
        indices.reserve(3 * size_t(count));
        auto joiner = std::make_unique<VertexJoiner>(vertices, 3 * size_t(count));
        FaceNormals::Join join(makeZeroNormals);
        std::vector<char> block(size_t(trianglesPerRead * triangleBytes));
        std::vector<MeshVertex> corners(size_t(3 * trianglesPerRead));
        for (qint64 done = 0; done < count;) {
            const qint64 triangles = std::min<qint64>(trianglesPerRead, count - done);
            if (file.read(block.data(), triangles * triangleBytes) != triangles * triangleBytes) {
                *problem = file.error() == QFileDevice::NoError ? QStringLiteral("the file ended while it was read")
                                                                : file.errorString();
                return Outcome::Failed;
            }
            MeshVertex *corner = corners.data();
            for (qint64 t = 0; t < triangles; ++t) {
                const char *facet = block.data() + t * triangleBytes;
                float nx = floatAt(facet), ny = floatAt(facet + 4), nz = floatAt(facet + 8);
                // A normal that is no number shades as none.
                if (!std::isfinite(nx) || !std::isfinite(ny) || !std::isfinite(nz))
                    nx = ny = nz = 0;
                for (const char *p = facet + 12; p < facet + 48; p += 12)
                    *corner++ = {floatAt(p), floatAt(p + 4), floatAt(p + 8), nx, ny, nz};
            }
            indices.resize(indices.size() + size_t(3 * triangles));
            join.add(joiner, vertices, 3 * size_t(count), corners.data(), size_t(3 * triangles),
                     indices.data() + 3 * done);
            done += triangles;
        }
        mesh.vertices = std::move(vertices);
        mesh.indices = std::move(indices);
    } catch (const std::bad_alloc &) {
        *problem = QStringLiteral("not enough memory to load %1 triangles").arg(count);
        return Outcome::Failed;
    }
    return Outcome::Read;
}

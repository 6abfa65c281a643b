#include "geometry/MeshImport.h"

#include "geometry/BinaryStl.h"
#include "geometry/FaceNormals.h"
#include "geometry/Model.h"
#include "geometry/StlCheck.h"
#include "geometry/TextStl.h"
#include "geometry/VertexJoiner.h"

#include "io/ReadableFile.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <cmath>

namespace MeshImport {

namespace {

// Masks for assimp's remove-component step: every set bit deletes that part
// of the scene. The first keeps the meshes and the normals stored in the
// file, the second the meshes alone so that normals are computed anew. Bits
// 0x1 and 0xF000 name no component.
constexpr int keepMeshesAndNormals = 0xFBFD;
constexpr int keepMeshesOnly = 0xFBFF;

bool lacksNormals(const aiScene *scene)
{
    for (unsigned int i = 0; i < scene->mNumMeshes; ++i) {
        if (!scene->mMeshes[i]->mNormals)
            return true;
    }
    return false;
}

void setProblem(QString *problem, const QString &text)
{
    if (problem)
        *problem = text;
}

void processAssimpMesh(MeshPrimitiveData &mesh, const aiMesh *source)
{
    qDebug() << "processAssimpMesh, total vertices:" << source->mNumVertices;
    std::vector<MeshVertex> &vertices = mesh.vertices;
    // A mesh of points or lines read before may have left its vertices in
    // the array: this mesh's vertices are joined among themselves only.
    vertices.reserve(vertices.size() + source->mNumVertices);
    VertexJoiner joiner(vertices, source->mNumVertices);
    std::vector<uint32_t> joined(source->mNumVertices);
    for (unsigned int i = 0; i < source->mNumVertices; ++i) {
        const aiVector3D &p = source->mVertices[i];
        // assimp generates no normals for meshes of points and lines; a
        // normal that is no number (stored so in the file) shades as none.
        aiVector3D n = source->mNormals ? source->mNormals[i] : aiVector3D();
        if (!std::isfinite(n.x) || !std::isfinite(n.y) || !std::isfinite(n.z))
            n = aiVector3D();
        joined[i] = joiner.add({p.x, p.y, p.z, n.x, n.y, n.z});
    }
    qDebug() << "read vertices succeed:" << vertices.size() << vertices.capacity() << vertices.max_size();
    if (vertices.size() >= vertices.max_size() / 1000)
        qWarning() << "memory is exhausting, suggest switch to SmoothNormal mode";

    qDebug() << "total faces:" << source->mNumFaces;
    std::vector<uint32_t> &indices = mesh.indices;
    for (unsigned int f = 0; f < source->mNumFaces; ++f) {
        const aiFace &face = source->mFaces[f];
        // Everything downstream walks indices three at a time: after
        // triangulation only points and lines have another count, and they
        // enclose no resin.
        if (face.mNumIndices != 3)
            continue;
        const unsigned int *corner = face.mIndices;
        if (corner[0] >= source->mNumVertices || corner[1] >= source->mNumVertices
            || corner[2] >= source->mNumVertices)
            continue;
        indices.insert(indices.end(), {joined[corner[0]], joined[corner[1]], joined[corner[2]]});
    }
}

bool processAssimpNode(MeshPrimitiveData &mesh, const aiNode *node, const aiScene *scene)
{
    qDebug() << "processAssimpNode, mesh size:" << node->mNumMeshes;
    // A text STL file holds a mesh for each of its solids (a part of several
    // bodies often comes so): all of them make up the model.
    for (unsigned int i = 0; i < node->mNumMeshes; ++i) {
        qDebug() << "process mesh" << i;
        processAssimpMesh(mesh, scene->mMeshes[node->mMeshes[i]]);
    }
    for (unsigned int i = 0; i < node->mNumChildren; ++i)
        processAssimpNode(mesh, node->mChildren[i], scene);
    return !mesh.indices.empty();
}

} // namespace

QStringList suffixes()
{
    return {QStringLiteral("stl"), QStringLiteral("obj"), QStringLiteral("3mf"), QStringLiteral("ply")};
}

bool isModelFile(const QString &fileName)
{
    const QString suffix = fileName.mid(fileName.lastIndexOf(QLatin1Char('.')) + 1).toLower();
    return fileName.contains(QLatin1Char('.')) && suffixes().contains(suffix);
}

QString formatNames()
{
    return QStringLiteral("STL, OBJ, 3MF or PLY");
}

bool readWithAssimp(const QString &path, MeshPrimitiveData &mesh, bool smooth, bool forceNewNormals, QString *problem,
                    bool placeMeshes)
{
    Assimp::Importer importer;
    int removedComponents = keepMeshesAndNormals;
    if (smooth || forceNewNormals) {
        qDebug() << "using smooth normal";
        removedComponents = keepMeshesOnly;
    }
    importer.SetPropertyInteger(AI_CONFIG_PP_RVC_FLAGS, removedComponents);
    qDebug() << "AI_CONFIG_PP_RVC_FLAGS:" << importer.GetPropertyInteger(AI_CONFIG_PP_RVC_FLAGS);

    // Identical vertices are joined while the mesh is copied (VertexJoiner):
    // assimp's own join needs several hundred bytes and microseconds per
    // vertex, more than the rest of loading and slicing a model together.
    // Face normals are asked for only where a mesh has none: asking sorts
    // every vertex in space first, a third of the load of a large model,
    // even when the normals read from the file are kept.
    // A 3MF file places its objects by the transforms of its build items,
    // which the copy below does not read; an STL file has one node and
    // none. Applied before the normals are made, so they turn along.
    const unsigned int steps = aiProcess_Triangulate | aiProcess_RemoveComponent
                               | (smooth ? unsigned(aiProcess_GenSmoothNormals) : 0u)
                               | (placeMeshes ? unsigned(aiProcess_PreTransformVertices) : 0u);
    const aiScene *scene = importer.ReadFile(QFile::encodeName(path).constData(), steps);
    if (scene && !smooth && lacksNormals(scene))
        scene = importer.ApplyPostProcessing(aiProcess_GenNormals);
    if (!scene || (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) || !scene->mRootNode) {
        const QString error = QString::fromUtf8(importer.GetErrorString());
        qDebug() << "ERROR: ASSIMP: " << error;
        // assimp turns every exception into its error text.
        const QString type = QFileInfo(path).suffix().toUpper();
        setProblem(problem, error.contains(QLatin1String("bad_alloc"))
                                ? QStringLiteral("not enough memory to load this file")
                                : QStringLiteral("not a readable %1 file").arg(placeMeshes ? type : QStringLiteral("STL")));
        return false;
    }
    qDebug() << "assimp read file succeed, mesh size: " << scene->mNumMeshes;
    if (!processAssimpNode(mesh, scene->mRootNode, scene)) {
        setProblem(problem, QStringLiteral("the file holds no triangles"));
        return false;
    }
    return true;
}

bool read(const QString &path, MeshPrimitiveData &mesh, bool smooth, bool forceNewNormals, QString *problem)
{
    const bool stl = path.endsWith(QLatin1String(".stl"), Qt::CaseInsensitive);
    const QString unfit = stl ? StlCheck::problem(path) : ReadableFile::problem(path);
    if (!unfit.isEmpty()) {
        qDebug() << "ERROR: STL: " << unfit;
        setProblem(problem, unfit);
        return false;
    }

    // STL files are read without assimp's arrays, unless their normals are
    // smoothed, which assimp does; zero normals are made while reading.
    QString unread;
    BinaryStl::Outcome binary = BinaryStl::Outcome::NotBinary;
    TextStl::Outcome text = TextStl::Outcome::Declined;
    if (stl && !smooth && !forceNewNormals) {
        binary = BinaryStl::read(path, mesh, &unread, true);
        if (binary == BinaryStl::Outcome::NotBinary)
            text = TextStl::read(path, mesh, &unread, true);
    }
    if (binary == BinaryStl::Outcome::Failed || text == TextStl::Outcome::Failed) {
        qDebug() << "ERROR: STL: " << unread;
        setProblem(problem, unread);
        return false;
    }
    if (binary == BinaryStl::Outcome::Read || text == TextStl::Outcome::Read) {
        qDebug() << "read vertices succeed:" << mesh.vertices.size() << mesh.vertices.capacity()
                 << mesh.vertices.max_size();
        qDebug() << "total faces:" << mesh.indices.size() / 3;
    } else if (!readWithAssimp(path, mesh, smooth, forceNewNormals, problem, !stl)) {
        return false;
    }
    // A coordinate that is no number or lies absurdly far would turn bounds,
    // centroid and layer count into NaN or overflow them.
    for (const MeshVertex &v : mesh.vertices) {
        if (!(std::fabs(v.x) <= Model::maxCoordinateMm && std::fabs(v.y) <= Model::maxCoordinateMm
              && std::fabs(v.z) <= Model::maxCoordinateMm)) {
            qDebug() << "ERROR: coordinate out of range" << v.x << v.y << v.z;
            setProblem(problem, QStringLiteral("the mesh has coordinates that are not numbers or lie beyond %1 mm")
                                    .arg(double(Model::maxCoordinateMm), 0, 'f', 0));
            return false;
        }
    }
    return true;
}

bool normalsAreZero(const MeshPrimitiveData &mesh)
{
    return FaceNormals::areZero(mesh.vertices.data(), mesh.vertices.size());
}

} // namespace MeshImport

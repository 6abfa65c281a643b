#pragma once

#include <cstdint>
#include <vector>

// One vertex as it is stored in memory and uploaded to the GPU: position then
// normal, interleaved, in model coordinates (mm).
struct MeshVertex
{
    float x = 0, y = 0, z = 0;
    float nx = 0, ny = 0, nz = 0;
};
static_assert(sizeof(MeshVertex) == 24, "MeshVertex must stay 24 bytes: it is the GPU vertex layout");

// A triangle mesh: three indices per triangle into vertices.
struct MeshPrimitiveData
{
    std::vector<MeshVertex> vertices;
    std::vector<uint32_t> indices;
};

// The cut-away geometry of one slice-preview layer, same layout as a mesh.
struct LayerGeometry
{
    std::vector<MeshVertex> vertices;
    std::vector<uint32_t> indices;
};

// Internal to render/: what a RayScene holds, for the ray caster.
#ifndef COOLWARM_TOOL_RAYSCENE_H
#define COOLWARM_TOOL_RAYSCENE_H

#include "render.h"

#include <embree3/rtcore.h>

#include <mutex>
#include <vector>

namespace cwtool {

struct RayScene::Impl {
    // `forOneRender`: the scene serves one render of meshes that outlive it,
    // so it reads their triangles where they are instead of copying them.
    explicit Impl(bool forOneRender = false);
    ~Impl();
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    // Makes geometry i hold the positions and triangles of meshes[i] for every
    // i, building anew only the meshes whose arrays differ from what it holds.
    int update(const std::vector<Mesh>& meshes);
    // The largest absolute coordinate of any mesh, at least 1.
    float extent() const;

    RTCDevice device = nullptr;
    RTCScene scene = nullptr;
    struct Held {
        std::size_t positions = 0, triangles = 0;
        float extent = 0.0f;  // the largest absolute coordinate
    };
    std::vector<Held> held;  // per mesh, as geometry i holds it
    bool committed = false;  // once: an empty scene is committed too
    bool sharesTriangles = false;
    std::mutex inUse;            // held by the render that uses it
};

}  // namespace cwtool

#endif

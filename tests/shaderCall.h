// A zarn_coolwarm call laid out by hand the way the renderer lays it out: the
// function record, the parameter block with room for a few light tags after
// it, and the ghost block. For tests that must not link the renderer module.
#ifndef COOLWARM_TEST_SHADER_CALL_H
#define COOLWARM_TEST_SHADER_CALL_H

#include "zarn_coolwarm.h"

#include <cstddef>
#include <cstring>

struct HandMadeCall {
    static constexpr std::size_t kBlock = sizeof(struct zarn_coolwarm) + 8 * sizeof(miTag);
    static constexpr std::size_t kGhost = (kBlock + 7) / 8 * 8;

    alignas(8) unsigned char storage[offsetof(miFunction, parameters) + 2 * kGhost + 16];
    miState state;

    HandMadeCall()
    {
        std::memset(storage, 0, sizeof storage);
        std::memset(&state, 0, sizeof state);
        function().ghost_offs = static_cast<int>(kGhost);
        function().parameter_size = static_cast<int>(kBlock);
        state.shader = &function();
        state.normal = {0.0f, 0.0f, 1.0f};
        state.dir = {0.0f, 0.0f, -1.0f};
        struct zarn_coolwarm& p = paras();
        p.color = {1.0f, 0.5f, 0.0f, 1.0f};
        p.diffuse = 0.8f;
        p.alpha = 0.2f;
        p.beta = 0.6f;
        p.blue = 0.4f;
        p.yellow = 0.4f;
        p.eccentricity = 10.0f;
        p.specularRollOff = 0.5f;
        p.specularColor = {1.0f, 1.0f, 1.0f, 1.0f};
        p.irradianceColor = {1.0f, 1.0f, 1.0f, 1.0f};
    }
    miFunction& function() { return *reinterpret_cast<miFunction*>(storage); }
    struct zarn_coolwarm& paras() { return *reinterpret_cast<struct zarn_coolwarm*>(function().parameters); }
    // Marks a parameter connected to the shader with that tag.
    void connect(void* parameter, miTag tag)
    {
        std::memcpy(static_cast<char*>(parameter) + kGhost, &tag, sizeof tag);
    }
    void setLights(int count, miTag tag)
    {
        paras().i_light = 1;
        paras().n_light = count;
        char* elements = function().parameters + offsetof(struct zarn_coolwarm, light);
        for (int i = 0; i < count; ++i)
            std::memcpy(elements + sizeof(miTag) * (1 + i), &tag, sizeof tag);
    }
};

#endif

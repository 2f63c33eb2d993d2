// The host side of the mental ray stand-in: what the renderer itself does
// around a shader call. It keeps a small scene database (lights, connected
// shader outputs) addressed by tags, builds shader calls (a state with its
// function record, parameter block, array tail and ghost block laid out as the
// renderer lays them out), and answers the four renderer functions that this
// module exports under their plain names: mi_sample_light, mi_blong_specular,
// mi_compute_irradiance and mi_phen_eval.
//
// Building the scene is for one thread; the four functions may be called from
// any number of threads once it is built.
#ifndef MR_STANDIN_HOST_H
#define MR_STANDIN_HOST_H

#include <shader.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#if defined(_WIN32)
#define MR_STANDIN_API __declspec(dllexport)
#else
#define MR_STANDIN_API __attribute__((visibility("default")))
#endif

namespace mrhost {

struct ListedSample {
    miColor colour;
    miVector direction;  // towards the light; delivered normalised
};

struct Light {
    enum Kind { Point, Directional, Area, Listed };
    Kind kind = Point;
    miColor colour{1.0f, 1.0f, 1.0f, 1.0f};
    float intensity = 1.0f;
    miVector position{0.0f, 0.0f, 0.0f};    // point and area (the rectangle's centre)
    miVector direction{0.0f, 0.0f, -1.0f};  // directional: the way the light travels
    miVector edgeU{1.0f, 0.0f, 0.0f};       // area: the rectangle's two edges
    miVector edgeV{0.0f, 1.0f, 0.0f};
    int samples = 1;                         // area: stratified samples per call sequence
    std::vector<ListedSample> listed;        // listed: exactly these samples, in order
};

// A light's sample before the back-face rule and shadowing: what the light
// sends towards a point.
struct LightSampleGeometry {
    miColor colour;
    miVector direction;
    float distance;
};

MR_STANDIN_API miTag addLight(const Light& light);
MR_STANDIN_API const Light* findLight(miTag tag);
// Number of samples a light offers per call sequence, and sample i of them.
MR_STANDIN_API int lightSampleCount(const Light& light);
// Where sample i of an area light lies on its rectangle, in units of its two
// edges from the centre: s along edgeU, t along edgeV, both in [-0.5, 0.5).
MR_STANDIN_API void areaSampleOffset(const Light& light, int index, float* s, float* t);
MR_STANDIN_API LightSampleGeometry lightSample(const Light& light, int index, const miVector& point);

// A connected shader whose output is a constant value of `size` bytes.
MR_STANDIN_API miTag addConnection(const void* value, std::size_t size);
// How often mi_phen_eval evaluated that connection, and for which parameter
// offset it did so last (-1 before the first).
MR_STANDIN_API unsigned long connectionEvaluations(miTag tag);
MR_STANDIN_API long connectionLastOffset(miTag tag);

// Forgets every light and connection; tags start again from 1.
MR_STANDIN_API void clearScene();

// Shadows: called for every delivered sample of a point, directional or area
// light; returns the fraction of the light that reaches the point.
typedef float (*OcclusionFunction)(void* user, const miState* state, const miVector* direction, float distance);
MR_STANDIN_API void setOcclusion(OcclusionFunction function, void* user);

// The irradiance mi_compute_irradiance hands back: a constant, or a function.
typedef void (*IrradianceFunction)(void* user, const miState* state, miColor* result);
MR_STANDIN_API void setIrradiance(const miColor& irradiance);
MR_STANDIN_API void setIrradianceFunction(IrradianceFunction function, void* user);

// How often each renderer function was called since the last reset.
struct CallCounts {
    unsigned long sampleLight, blongSpecular, computeIrradiance, phenEval;
};
MR_STANDIN_API CallCounts callCounts();
MR_STANDIN_API void resetCallCounts();

// One shader call: the state, its function record, and the parameter block
// (parameterBytes, the declared block plus its array tail) followed by the
// ghost block that marks connected parameters.
class MR_STANDIN_API ShaderCall {
public:
    explicit ShaderCall(std::size_t parameterBytes);
    ShaderCall(const ShaderCall&) = delete;
    ShaderCall& operator=(const ShaderCall&) = delete;

    miState& state() { return state_; }
    miFunction& function() { return *function_; }
    char* parameters() { return function_->parameters; }
    std::size_t parameterBytes() const { return parameterBytes_; }

    // Marks the parameter at that offset connected to the shader `tag`
    // (0 disconnects it).
    void connect(std::size_t offset, miTag tag);
    // Without ghosts the renderer never looks behind a parameter.
    void enableGhosts(bool enabled);

private:
    std::size_t parameterBytes_;
    std::size_t ghostOffset_;
    std::unique_ptr<double[]> storage_;  // function record, block and ghosts in one piece
    miFunction* function_;
    miState state_;
};

// The path of this module on disk, for handing its handle to a shader library.
MR_STANDIN_API std::string modulePath();

}  // namespace mrhost

#endif

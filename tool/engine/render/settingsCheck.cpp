// Checking a look's values against the deliverables before a render.
#include "render.h"

#include "core/deliverables.h"
#include "core/errors.h"

namespace cwtool {

std::vector<std::string> checkSettings(const std::vector<Setting>& settings, const std::string& source, bool strict,
                                       Renderer renderer, const MayaPlugin& plugin, const MentalRayShader& shader)
{
    const bool drawMaya = renderer != Renderer::MentalRay, drawMentalRay = renderer != Renderer::Maya;
    // The values go to a scratch node and block, so that a bad one is refused
    // before the scene is loaded.
    mayahost::Node node(plugin.type().name);
    mrhost::BlockBuilder block(shader.declaration());
    std::vector<std::string> notes;
    for (const Setting& set : settings) {
        const SettingTarget t = targetOf(set.name);
        const bool onNode = t.maya && nodeHasInput(plugin.type(), t.name);
        const bool onShader = t.mentalRay && shaderHasParameter(shader.declaration(), t.name);
        const std::string what = source + " " + set.name;
        if (!onNode && !onShader) {
            const std::string where = !t.mentalRay ? "node coolwarm"
                                      : !t.maya    ? "shader zarn_coolwarm"
                                                   : "node coolwarm or shader zarn_coolwarm";
            throw InputError(what + ": unknown attribute or parameter '" + t.name + "' of " + where);
        }
        const bool reachesMaya = onNode && drawMaya, reachesMentalRay = onShader && drawMentalRay;
        if (!reachesMaya && !reachesMentalRay) {
            if (strict)
                throw InputError(what + ": only the " + (onNode ? "Maya node has" : "mental ray shader has") +
                                 " '" + t.name + "', and its panel is not drawn (see --renderer)");
            continue;
        }
        try {
            if (reachesMaya)
                setNodeValue(node, t.name, set.numbers);
            if (reachesMentalRay)
                setShaderValue(block, t.name, set.numbers);
        } catch (const InputError& e) {
            throw InputError(what + ": " + e.what());
        }
        // A prefix asks for one side; without one, say when only one is reached.
        if (strict && t.maya && t.mentalRay && drawMaya && drawMentalRay && reachesMaya != reachesMentalRay)
            notes.push_back(what + " changes the " + (reachesMaya ? "Maya" : "mental ray") + " panel only: the " +
                            (reachesMaya ? "shader has no parameter" : "node has no attribute") + " '" + t.name +
                            "'");
        if (reachesMaya) {
            const mayahost::Attribute* a = plugin.type().find(t.name);
            for (std::size_t i = 0; i < set.numbers.size() && i < 3; ++i) {
                const double v = set.numbers[i];
                const mayahost::Limit* limit = a->hardMin.set && v < a->hardMin.value[i]   ? &a->hardMin
                                               : a->hardMax.set && v > a->hardMax.value[i] ? &a->hardMax
                                                                                           : nullptr;
                if (limit)
                    notes.push_back(what + ": " + formatFloat(static_cast<float>(v)) + " is clamped to " +
                                    formatFloat(static_cast<float>(limit->value[i])) + ", the attribute's " +
                                    (limit == &a->hardMin ? "minimum" : "maximum") + " (the Maya panel uses " +
                                    formatFloat(static_cast<float>(limit->value[i])) + ")");
            }
        }
    }
    return notes;
}

}  // namespace cwtool

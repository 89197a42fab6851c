#include "FactoryPresets.h"

#include "EffectLoader.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;
using gravel::FactoryPreset;

namespace {

std::string lowered(std::string text)
{
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string presetNames()
{
    std::string names;
    for (const FactoryPreset& preset : gravel::kFactoryPresets)
        names += (names.empty() ? "" : ", ") + std::string(preset.name);
    return names;
}

} // namespace

const FactoryPreset* findFactoryPreset(const std::string& value)
{
    std::error_code ec;
    const std::string extension = lowered(fs::path(value).extension().string());
    if (fs::exists(value, ec) || extension == ".fxp" || extension == ".fxb")
        return nullptr;

    const std::string wanted = lowered(value);
    std::vector<const FactoryPreset*> matches;
    for (const FactoryPreset& preset : gravel::kFactoryPresets) {
        const std::string name = lowered(preset.name);
        if (name == wanted)
            return &preset; // "Lead" is not ambiguous beside "Fat Lead"
        if (!wanted.empty() && name.compare(0, wanted.size(), wanted) == 0)
            matches.push_back(&preset);
    }
    if (matches.size() == 1)
        return matches.front();
    if (matches.empty())
        throw ToolError("no factory preset or preset file named '" + value + "'; give one of " + presetNames() +
                        " (gravel presets lists them), or the path of an .fxp or .fxb file");
    std::string candidates;
    for (const FactoryPreset* preset : matches)
        candidates += (candidates.empty() ? "" : ", ") + std::string(preset->name);
    throw ToolError("'" + value + "' could be any of the factory presets " + candidates +
                    "; give more of the name");
}

void applyFactoryPreset(VSTPlugIn& plugIn, const FactoryPreset& preset)
{
    if (plugIn.getEffect()->uniqueID != vstFourCC('G', 'R', 'V', '7') ||
        plugIn.getParameterCount() != kGRVNumParams)
        throw ToolError(std::string("factory preset ") + preset.name +
                        " is Gravel's and this effect is another; give --preset an .fxp or .fxb file saved "
                        "from this effect");
    plugIn.setCurrentProgramName(preset.name);
    for (int32_t index = 0; index < kGRVNumParams; ++index) {
        float units = 0.0f;
        if (gravel::presetValue(preset, index, units))
            plugIn.setParameter(index, gravel::normalisedFromUnits(index, units));
    }
}

bool presetChoosesMode(const std::string& value)
{
    if (value.empty())
        return false;
    const FactoryPreset* preset = findFactoryPreset(value);
    return !preset || preset->mode >= 0;
}

std::string describeFactoryPreset(const FactoryPreset& preset)
{
    std::string text = std::string(preset.name) + ":";
    const char* separator = " ";
    for (int32_t index = 0; index < kGRVNumParams; ++index) {
        float units = 0.0f;
        if (!gravel::presetValue(preset, index, units))
            continue;
        const gravel::ParameterInfo& parameter = gravel::kParameters[index];
        std::string shown;
        if (parameter.display == gravel::Display::Number) {
            char number[32];
            std::snprintf(number, sizeof number, "%.1f", double(units));
            shown = number;
        } else if (parameter.display == gravel::Display::OnOff) {
            shown = units >= 0.5f ? "On" : "Off";
        } else {
            // The choice's name from "a|b|c".
            int which = gravel::choiceIndex(index, gravel::normalisedFromUnits(index, units));
            const std::string choices = parameter.choices;
            size_t start = 0;
            for (; which > 0; --which)
                start = choices.find('|', start) + 1;
            shown = choices.substr(start, choices.find('|', start) - start);
        }
        text += separator + std::string(parameter.name) + " " + shown + parameter.unit;
        separator = ", ";
    }
    return text;
}

#include "clap/GravelClapParameters.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace gravel_clap {

namespace {

using gravel::Display;
using gravel::kParameters;

int choiceCount(int32_t index)
{
    int count = 1;
    for (const char* c = kParameters[index].choices; *c; ++c)
        count += *c == '|';
    return count;
}

std::string choiceName(int32_t index, int which)
{
    const char* c = kParameters[index].choices;
    for (; which > 0 && *c; ++c)
        if (*c == '|')
            --which;
    return std::string(c, std::strcspn(c, "|"));
}

std::string lowered(std::string text)
{
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The text trimmed, lower case, without the parameter's unit after it.
std::string withoutUnit(int32_t index, const char* text)
{
    std::string s = lowered(text);
    auto trim = [&] {
        while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
            s.pop_back();
        while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
            s.erase(0, 1);
    };
    trim();
    const std::string unit = lowered(kParameters[index].unit);
    if (!unit.empty() && s.size() > unit.size() && s.compare(s.size() - unit.size(), unit.size(), unit) == 0) {
        s.erase(s.size() - unit.size());
        trim();
    }
    return s;
}

bool number(const std::string& s, double& value)
{
    char* end = nullptr;
    value = std::strtod(s.c_str(), &end);
    return !s.empty() && *end == '\0' && std::isfinite(value);
}

} // namespace

double maximumOf(int32_t index)
{
    const gravel::ParameterInfo& p = kParameters[index];
    return p.display == Display::Number ? p.maximum : (p.display == Display::Choice ? choiceCount(index) - 1 : 1.0);
}

double clapFromNormalised(int32_t index, float normalised)
{
    const gravel::ParameterInfo& p = kParameters[index];
    switch (p.display) {
    case Display::Number:
        return double(p.maximum) * double(normalised);
    case Display::OnOff:
        return normalised >= 0.5f ? 1.0 : 0.0;
    case Display::Choice:
        break;
    }
    return gravel::choiceIndex(index, normalised);
}

float normalisedFromClap(int32_t index, double value)
{
    if (std::isnan(value))
        return float(value);
    const double maximum = maximumOf(index);
    value = value < 0.0 ? 0.0 : (value > maximum ? maximum : value);
    if (kParameters[index].display == Display::Number)
        return float(value / maximum);
    // A step's own value: the engine reads 0.5 and above as on, and the
    // oversampling choices from their thirds.
    return float(std::round(value) / maximum);
}

void describe(int32_t index, clap_param_info_t& info)
{
    const gravel::ParameterInfo& p = kParameters[index];
    std::memset(&info, 0, sizeof info);
    info.id = clap_id(index);
    info.flags = CLAP_PARAM_IS_AUTOMATABLE;
    if (p.display != Display::Number)
        info.flags |= CLAP_PARAM_IS_STEPPED;
    if (p.display == Display::Choice)
        info.flags |= CLAP_PARAM_IS_ENUM;
    if (index == kBypass)
        info.flags |= CLAP_PARAM_IS_BYPASS;
    std::snprintf(info.name, sizeof info.name, "%s", p.name);
    // The pedal's face, its back panel and the host's switches.
    const char* module = (index >= kDrive && index <= kLevel) ? "Pedal" : (index == kBypass ? "" : "Back Panel");
    std::snprintf(info.module, sizeof info.module, "%s", module);
    info.min_value = 0.0;
    info.max_value = maximumOf(index);
    info.default_value = clapFromNormalised(index, p.defaultValue);
}

bool valueToText(int32_t index, double value, char* text, uint32_t capacity)
{
    if (!text || capacity == 0 || !std::isfinite(value))
        return false;
    const gravel::ParameterInfo& p = kParameters[index];
    std::string shown;
    switch (p.display) {
    case Display::Number: {
        // Four characters, as the VST effect shows it: "7.50", "10.0".
        const double magnitude = std::fabs(value);
        const int decimals = magnitude >= 100.0 ? 0 : (magnitude >= 10.0 ? 1 : 2);
        char digits[32];
        std::snprintf(digits, sizeof digits, "%.*f", decimals, value);
        shown = std::string(digits) + p.unit;
        break;
    }
    case Display::OnOff:
        shown = value >= 0.5 ? "On" : "Off";
        break;
    case Display::Choice: {
        const double maximum = maximumOf(index);
        const double step = value < 0.0 ? 0.0 : (value > maximum ? maximum : value);
        shown = choiceName(index, int(std::lround(step))) + p.unit;
        break;
    }
    }
    std::snprintf(text, capacity, "%s", shown.c_str());
    return true;
}

bool textToValue(int32_t index, const char* text, double& value)
{
    if (!text)
        return false;
    const gravel::ParameterInfo& p = kParameters[index];
    const std::string s = withoutUnit(index, text);
    double n = 0.0;
    switch (p.display) {
    case Display::Number:
        if (!number(s, n) || n < 0.0 || n > p.maximum)
            return false;
        value = n;
        return true;
    case Display::OnOff:
        if (s == "on" || s == "off") {
            value = s == "on" ? 1.0 : 0.0;
            return true;
        }
        if (!number(s, n) || (n != 0.0 && n != 1.0))
            return false;
        value = n;
        return true;
    case Display::Choice:
        break;
    }
    for (int which = 0; which < choiceCount(index); ++which)
        if (s == lowered(choiceName(index, which))) {
            value = which;
            return true;
        }
    return false;
}

} // namespace gravel_clap

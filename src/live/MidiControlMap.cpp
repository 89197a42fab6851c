#include "live/MidiControlMap.h"

#include <cstdlib>

namespace {

// The whole text as a number from low to high, else -1.
int numberIn(const std::string& text, int low, int high)
{
    if (text.empty() || text.size() > 3)
        return -1;
    char* end = nullptr;
    const long n = std::strtol(text.c_str(), &end, 10);
    return *end == '\0' && n >= low && n <= high ? int(n) : -1;
}

} // namespace

bool parseControlBinding(const std::string& text, ControlBinding& binding, std::string& error)
{
    const size_t eq = text.find('=');
    const size_t colon = text.find(':');
    const bool hasChannel = colon != std::string::npos && colon < eq;
    const std::string number = text.substr(hasChannel ? colon + 1 : 0, eq == std::string::npos ? eq : eq - (hasChannel ? colon + 1 : 0));
    binding.channel = hasChannel ? numberIn(text.substr(0, colon), 1, 16) : 0;
    binding.controller = numberIn(number, 0, 127);
    binding.parameter = eq == std::string::npos ? std::string() : text.substr(eq + 1);
    if (binding.channel < 0 || binding.controller < 0 || binding.parameter.empty()) {
        error = "--cc takes [CHANNEL:]NUMBER=PARAMETER with a channel from 1 to 16 and a controller from 0 "
                "to 127, for example --cc 11=drive or --cc 2:64=bypass";
        return false;
    }
    return true;
}

std::vector<ControlBinding> defaultControlBindings() { return {{0, 11, "Drive"}, {0, 64, "Bypass"}}; }

void MidiControlMap::bind(int channel, int controller, int parameter, bool isSwitch)
{
    for (int c = 0; c < 16; ++c)
        if (channel == 0 || channel == c + 1)
            targets[c][controller] = {parameter, isSwitch};
}

bool MidiControlMap::translate(const unsigned char* message, size_t size, int& parameter, float& value) const
{
    if (size != 3 || (message[0] & 0xF0) != 0xB0 || message[1] > 127 || message[2] > 127)
        return false;
    const Target& target = targets[message[0] & 0x0F][message[1]];
    if (target.parameter < 0)
        return false;
    parameter = target.parameter;
    value = target.isSwitch ? (message[2] >= 64 ? 1.0f : 0.0f) : float(message[2]) / 127.0f;
    return true;
}

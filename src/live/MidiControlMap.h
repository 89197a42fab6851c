#pragma once

// MIDI control changes driving an effect's parameters: an expression pedal
// sweeping the drive, a footswitch stamping the bypass. Bindings are made
// before audio runs; the audio thread only reads the table.

#include <cstddef>
#include <string>
#include <vector>

// "--cc [CH:]NUMBER=PARAMETER" as written on the command line.
struct ControlBinding {
    int channel = 0;       // 1..16; 0: any channel
    int controller = 0;    // 0..127
    std::string parameter; // a name as --set takes it
};

// False and a message when the text is not [CH:]NUMBER=PARAMETER.
bool parseControlBinding(const std::string& text, ControlBinding& binding, std::string& error);

// The foot controllers a pedalboard has: expression pedal (CC 11) on Drive,
// footswitch (CC 64) on Bypass.
std::vector<ControlBinding> defaultControlBindings();

class MidiControlMap {
public:
    // A switch turns on at values 64 and up; any other parameter takes value/127.
    // A later binding of the same channel and controller replaces an earlier one.
    void bind(int channel, int controller, int parameter, bool isSwitch);

    // A mapped control change (status 0xBn) as the parameter's new value.
    bool translate(const unsigned char* message, size_t size, int& parameter, float& value) const;

private:
    struct Target {
        int parameter = -1;
        bool isSwitch = false;
    };
    Target targets[16][128];
};

#pragma once

// What `--set NAME=VALUE` needs of an effect, whichever entry drives it (the
// VST effect, the AudioUnit around it, a CLAP plug-in): names, positions on
// each control's travel (0..1) and the texts the effect shows for them. One
// parser reads every entry's settings through this, so every entry takes and
// refuses the same values.

#include <string>

class ParameterAccess {
public:
    virtual ~ParameterAccess() = default;

    virtual int count() = 0;
    virtual std::string name(int index) = 0;
    // Position on the control's travel, 0..1.
    virtual float position(int index) = 0;
    virtual void setPosition(int index, float position) = 0;
    // The text the effect shows at a position, trimmed; the parameter keeps
    // the position it had.
    virtual std::string display(int index, float position) = 0;
};

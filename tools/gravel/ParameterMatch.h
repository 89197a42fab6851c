#pragma once

// Turns "--set NAME=VALUE" into a parameter and a position on its control,
// in the effect's own terms: its parameter names and the values it shows.
// Every entry (VST, AudioUnit, CLAP) reads its settings here, through
// ParameterAccess, so all take and refuse the same values.

#include "ParameterAccess.h"

#include <string>
#include <utility>
#include <vector>

class VSTPlugIn;

using Settings = std::vector<std::pair<std::string, std::string>>;

// A VST 2.4 effect's parameters: positions are its normalised values, and
// what it shows is its display text with its label ("4" and "x": "4x").
class VSTParameterAccess : public ParameterAccess {
public:
    explicit VSTParameterAccess(VSTPlugIn& plugIn) : plugIn(plugIn) {}
    int count() override;
    std::string name(int index) override;
    float position(int index) override;
    void setPosition(int index, float position) override;
    std::string display(int index, float position) override;

private:
    VSTPlugIn& plugIn;
};

// The effect's parameter names, index order.
std::vector<std::string> parameterNames(ParameterAccess& parameters);

// Case-insensitive, punctuation-blind: the exact name ("input level",
// "asym"), else the one name that starts with what is asked ("over"), else
// the one with a word that does ("mode" for "Plugin Mode"). -1 and a message
// naming the candidates when none or more than one fits.
int findParameter(const std::vector<std::string>& names, const std::string& wanted, std::string& error);

// VALUE as a position: a number is the value the effect shows ("7.5" for
// Drive 7.50, "8" or "8x" for Oversampling 8x), "75%" a position on the
// control's travel, on/off, yes/no, true/false or 1/0 a switch, and any
// other text one of the values the effect names ("stereo"). The parameter
// keeps its position. False and a message with the values it takes when
// nothing fits.
bool resolveValue(ParameterAccess& parameters, int index, const std::string& text, float& position,
                  std::string& error);

// Applies each NAME=VALUE in order. Throws ToolError with the message when
// one does not fit.
void applySettings(ParameterAccess& parameters, const Settings& settings);

// Whether the parameter is a switch: it shows two values, on and off.
bool isSwitch(ParameterAccess& parameters, int index);

// What each parameter shows now, index order.
std::vector<std::string> shownValues(ParameterAccess& parameters);

// "Drive 7.50, Oversampling 8x": each parameter that shows something other
// than it did in `before`, in its display form; empty when none does.
std::string describeChanges(ParameterAccess& parameters, const std::vector<std::string>& before);

// Lower case, punctuation as spaces, single spaces, trimmed.
std::string normaliseName(const std::string& text);

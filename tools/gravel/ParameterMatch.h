#pragma once

// Turns "--set NAME=VALUE" into a parameter index and a normalised value, in
// the effect's own terms: its parameter names and its display texts.

#include <string>
#include <utility>
#include <vector>

class VSTPlugIn;

// The effect's parameter names, index order.
std::vector<std::string> parameterNames(VSTPlugIn& plugIn);

// Case-insensitive, punctuation-blind: the whole name ("input level",
// "asym"), else one that contains the words asked for ("mode" for "Plugin
// Mode"), else one that starts with them. -1 and a message when no name or
// more than one fits.
int findParameter(const std::vector<std::string>& names, const std::string& wanted,
                  std::string& error);

// A number from 0 to 1 is the normalised value. Anything else is matched
// against the texts the effect displays across its range: numerically when
// both are numbers ("7.5" -> "7.50"), else as text ("stereo" -> "Stereo").
// The parameter is left at the value it had. False and a message when
// nothing matches.
bool resolveValue(VSTPlugIn& plugIn, int parameter, const std::string& text, float& value,
                  std::string& error);

// Applies each NAME=VALUE in order, as findParameter and resolveValue read
// them. Throws ToolError with the message when one does not fit.
void applySettings(VSTPlugIn& plugIn,
                   const std::vector<std::pair<std::string, std::string>>& settings);

// Lower case, punctuation as spaces, single spaces, trimmed.
std::string normaliseName(const std::string& text);

#pragma once

// The state the effect had when the standalone last ended, kept in
// $XDG_CONFIG_HOME/gravel/live/ (default ~/.config/gravel/live/): its FXP
// program, or its FXB bank where it keeps more than one program.

#include <string>

class VSTPlugIn;

class RememberedSettings {
public:
    // The file for this effect: "<product>.fxp" (or ".fxb"), the product
    // string without its version.
    explicit RememberedSettings(VSTPlugIn& plugIn);

    // Where save() writes, and where restore() reads from.
    const std::string& path() const { return file; }
    const std::string& restoredFrom() const { return source; }

    enum class Restored { nothing, restored, setAside };
    // Loads the saved file when there is one. A file the effect refuses is
    // renamed to NAME.fxp.bad, and `problem` says what was wrong with it; the
    // effect then keeps its defaults.
    Restored restore(std::string& problem);

    // Writes the effect's state to a temporary file beside the target and
    // renames it into place; false and a message when it could not be written.
    bool save(std::string& problem);

private:
    VSTPlugIn& plugIn;
    bool bank = false;
    std::string file, source;
};

#pragma once
// A picture of the pedal editor without a host window.
#include "plugin/VstInterface.h"

#include <string>

namespace gravel {

// Opens the effect's editor on an offscreen frame through the dispatcher
// (effEditGetRect, effEditOpen with no parent window, effEditIdle,
// effEditClose), turns it to the back face with a click on the panel switch
// when back is set, and writes the frame as a PNG. The effect must have been
// made by this program's own copy of the effect code (not a loaded bundle),
// since the picture is read from the editor object itself. On failure returns
// false and says why in error.
bool renderEditorSnapshot(AEffect* effect, bool back, const char* pngPath, std::string* error = nullptr);

// The effect with its pedal editor, made in this program (as the bundle's
// entry makes it), with pictures from the given bundle folder. Release it
// with the effClose opcode. Null when the host callback refuses.
AEffect* createEffectWithEditor(audioMasterCallback host, const std::string& bundleDir);

}  // namespace gravel

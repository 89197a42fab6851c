#pragma once
// What the pedal editor needs of the plug-in it edits, whatever the
// plug-in's format: the VST effect implements it over its host callback, the
// LV2 UI over port writes. Values are the normalised 0..1 of the engine's
// parameter table. All calls come from the editor's (the host's UI) thread.
#include <cstdint>

class EditorParameters {
public:
    // The value a control shows when the editor opens.
    virtual float getParameter(int32_t index) = 0;
    // The user moved a control: record the value and tell the host.
    virtual void setParameterFromEditor(int32_t index, float value) = 0;
    // A drag on a control starts or ends, so the host can group what it
    // records between them; false when the host was not told (and for
    // indices that are no parameter, such as the panel switch's tag).
    virtual bool beginGesture(int32_t index) = 0;
    virtual bool endGesture(int32_t index) = 0;
    // The editor's frame asks to be this size; false when the host refuses.
    virtual bool resizeEditor(int32_t width, int32_t height) = 0;
    // The editor's idle work is done: time for the host's own idle, where a
    // host wants it.
    virtual void editorIdled() {}

protected:
    ~EditorParameters() = default;
};

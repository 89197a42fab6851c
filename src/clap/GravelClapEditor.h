#pragma once
// The pedal editor inside a CLAP host's X11 window. It shows the values the
// plug-in holds (following the host's automation from its idle) and hands
// the user's changes to the plug-in, which sends them to the host as
// gesture and value events. Main thread only.
#include <cstdint>
#include <memory>

#include "editor/EditorParameters.h"

class GRV_GUI;

namespace gravel_clap {

struct EditorChange {
    enum Kind : uint8_t { Begin, Value, End } kind;
    int32_t index;
    float value; // normalised
};

class EditorOwner {
public:
    virtual float editorValue(int32_t index) = 0;
    virtual void editorChanged(const EditorChange& change) = 0;

protected:
    ~EditorOwner() = default;
};

class ClapEditor final : public EditorParameters {
public:
    static constexpr uint32_t kWidth = 263;
    static constexpr uint32_t kHeight = 350;

    explicit ClapEditor(EditorOwner& owner);
    ~ClapEditor();
    ClapEditor(const ClapEditor&) = delete;
    ClapEditor& operator=(const ClapEditor&) = delete;

    // Opens the editor's window in the host's; once only.
    bool setParent(unsigned long window);
    bool setVisible(bool visible);
    // The editor window's display connection once opened, else -1.
    int connectionFd() const;
    void idle();

    float getParameter(int32_t index) override;
    void setParameterFromEditor(int32_t index, float value) override;
    bool beginGesture(int32_t index) override;
    bool endGesture(int32_t index) override;
    bool resizeEditor(int32_t width, int32_t height) override;

private:
    EditorOwner& owner;
    std::unique_ptr<GRV_GUI> editor;
    bool opened = false;
    float shown[16]; // what the controls show, to follow the plug-in's values
};

} // namespace gravel_clap

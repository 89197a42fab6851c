#include "clap/GravelClapEditor.h"

#include <X11/Xlib.h>

#include "editor/GRV_GUI.h"
#include "engine/GravelParameters.h"
#include "toolkit/CFrame.h"

namespace gravel_clap {

static_assert(kGRVNumParams <= 16, "the editor's shown values");

ClapEditor::ClapEditor(EditorOwner& owner) : owner(owner)
{
    for (int32_t index = 0; index < kGRVNumParams; ++index)
        shown[index] = owner.editorValue(index);
    editor = std::make_unique<GRV_GUI>(this);
}

ClapEditor::~ClapEditor()
{
    if (opened)
        editor->close();
}

bool ClapEditor::setParent(unsigned long window)
{
    if (opened || window == 0)
        return false;
    opened = editor->open(reinterpret_cast<void*>(window)) && editor->getFrame() &&
             editor->getFrame()->isWindowed();
    if (!opened && editor->getFrame())
        editor->close();
    return opened;
}

bool ClapEditor::setVisible(bool visible)
{
    if (!opened)
        return false;
    // The frame's window lives on the toolkit's own connection; mapping is
    // the server's business, so a short connection of ours does it.
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    const Window window = editor->getFrame()->getWindowId();
    if (visible)
        XMapWindow(display, window);
    else
        XUnmapWindow(display, window);
    XSync(display, False);
    XCloseDisplay(display);
    return true;
}

int ClapEditor::connectionFd() const
{
    return opened ? editor->getFrame()->getConnectionFd() : -1;
}

void ClapEditor::idle()
{
    if (!opened)
        return;
    for (int32_t index = 0; index < kGRVNumParams; ++index) {
        const float value = owner.editorValue(index);
        if (value != shown[index]) {
            shown[index] = value;
            editor->setParameter(index, value);
        }
    }
    editor->idle();
}

float ClapEditor::getParameter(int32_t index)
{
    return owner.editorValue(index);
}

void ClapEditor::setParameterFromEditor(int32_t index, float value)
{
    if (index < 0 || index >= kGRVNumParams)
        return;
    owner.editorChanged({EditorChange::Value, index, value});
    shown[index] = owner.editorValue(index);
}

bool ClapEditor::beginGesture(int32_t index)
{
    if (index < 0 || index >= kGRVNumParams)
        return false;
    owner.editorChanged({EditorChange::Begin, index, 0.0f});
    return true;
}

bool ClapEditor::endGesture(int32_t index)
{
    if (index < 0 || index >= kGRVNumParams)
        return false;
    owner.editorChanged({EditorChange::End, index, 0.0f});
    return true;
}

// The pedal has one size.
bool ClapEditor::resizeEditor(int32_t width, int32_t height)
{
    return uint32_t(width) == kWidth && uint32_t(height) == kHeight;
}

} // namespace gravel_clap

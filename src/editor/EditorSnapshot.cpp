#include "editor/EditorSnapshot.h"
#include "editor/GRV_GUI.h"
#include "plugin/VST_GRV.h"

using namespace VSTGUI;

namespace gravel {

namespace {
bool fail(std::string* error, const char* message)
{
    if (error) *error = message;
    return false;
}

void clickCentre(CFrame* frame, CView* view)
{
    const CRect& r = view->getMouseableArea();
    CPoint where(r.left + r.getWidth() / 2, r.top + r.getHeight() / 2);
    CButtonState buttons(kLButton);
    frame->onMouseDown(where, buttons);
    frame->onMouseUp(where, buttons);
}
}  // namespace

bool renderEditorSnapshot(AEffect* effect, bool back, const char* pngPath, std::string* error)
{
    if (!effect || !effect->object || !pngPath) return fail(error, "no effect or no file name");
    if (!(effect->flags & effFlagsHasEditor)) return fail(error, "the effect has no editor");
    ERect* size = nullptr;
    effect->dispatcher(effect, effEditGetRect, 0, 0, &size, 0.f);
    if (!size) return fail(error, "the editor reports no size");

    auto* editor = dynamic_cast<GRV_GUI*>(static_cast<AudioEffect*>(effect->object)->getEditor());
    if (!editor) return fail(error, "the effect's editor is not the pedal editor of this program");
    if (!effect->dispatcher(effect, effEditOpen, 0, 0, nullptr, 0.f) || !editor->getFrame())
        return fail(error, "the editor did not open");

    CFrame* frame = editor->getFrame();
    bool turned = false;
    if (back == editor->isFrontShown() && editor->getPanelSwitch()) {
        clickCentre(frame, editor->getPanelSwitch());
        turned = true;
    }
    effect->dispatcher(effect, effEditIdle, 0, 0, nullptr, 0.f);
    editor->draw(nullptr);
    bool written = frame->writePNG(pngPath);
    // Leave the editor on the face it had.
    if (turned && editor->getPanelSwitch()) clickCentre(frame, editor->getPanelSwitch());
    effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0.f);
    return written ? true : fail(error, "could not write the picture");
}

AEffect* createEffectWithEditor(audioMasterCallback host, const std::string& bundleDir)
{
    if (!host || host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.f) == 0) return nullptr;
    AEffGUIEditor::setBundleLocationOverride(bundleDir);
    auto makeEditor = [](EditorParameters* parameters) -> AEffEditor* { return new GRV_GUI(parameters); };
    return (new VST_GRV(host, makeEditor))->getAEffect();
}

}  // namespace gravel

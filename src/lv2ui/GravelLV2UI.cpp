// The pedal editor as an LV2 X11 UI: GRV_GUI and the toolkit as the VST
// effect uses them, embedded in the host's parent window. A stand-in effect
// holds the values the editor shows; the editor's gestures become port
// writes (and touch notifications where the host offers them), and the
// host's port events move the controls.
#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>

#include "editor/GRV_GUI.h"
#include "lv2/GravelPorts.h"
#include "plugin/AudioEffectX.h"
#include "toolkit/CFrame.h"

namespace {

using namespace gravel_lv2;

// Hosts unload a closed UI's binary; the libraries the editor draws with
// keep process-wide state (pixman's tables, the platform layer's strings)
// that an unload would lose rather than free. Keep them resident.
__attribute__((constructor)) void keepLibrariesResident()
{
    for (const char* name : {"libcairo.so.2", "libgravel-platform.so.1"})
        dlopen(name, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
}

// What the editor takes for its effect: the eleven normalised values, with
// the editor's changes sent on to the host as port values.
class EditorPorts : public AudioEffectX {
public:
    EditorPorts(LV2UI_Write_Function write, LV2UI_Controller controller, const LV2UI_Touch* touch)
        : AudioEffectX(nullptr, 1, kGRVNumParams), write(write), controller(controller), touch(touch)
    {
        for (int32_t index = 0; index < kGRVNumParams; ++index)
            values[index] = gravel::defaultValue(index);
    }

    // From the host (port events) and from the editor alike: record and show.
    void setParameter(VstInt32 index, float value) override
    {
        if (index < 0 || index >= kGRVNumParams || std::isnan(value))
            return;
        values[index] = clampUnit(value);
        if (editor)
            editor->setParameter(index, values[index]);
    }
    float getParameter(VstInt32 index) override
    {
        return (index >= 0 && index < kGRVNumParams) ? values[index] : 0.0f;
    }
    // A control moved by the user.
    void setParameterAutomated(VstInt32 index, float value) override
    {
        setParameter(index, value);
        if (index < 0 || index >= kGRVNumParams)
            return;
        const float port = portFromNormalised(index, values[index]);
        write(controller, kFirstControl + uint32_t(index), sizeof port, 0, &port);
    }
    // The sound is the DSP binary's: this side plays nothing.
    void processReplacing(float**, float**, VstInt32) override {}
    bool beginEdit(VstInt32 index) override { return grab(index, true); }
    bool endEdit(VstInt32 index) override { return grab(index, false); }

private:
    bool grab(VstInt32 index, bool grabbed)
    {
        if (!touch || index < 0 || index >= kGRVNumParams)
            return false;
        touch->touch(touch->handle, kFirstControl + uint32_t(index), grabbed);
        return true;
    }

    LV2UI_Write_Function write;
    LV2UI_Controller controller;
    const LV2UI_Touch* touch;
    float values[kGRVNumParams];
};

struct GravelUI {
    EditorPorts* ports = nullptr; // owns the editor
    GRV_GUI* editor = nullptr;
};

const void* feature(const LV2_Feature* const* features, const char* uri)
{
    for (int i = 0; features && features[i]; ++i)
        if (std::strcmp(features[i]->URI, uri) == 0)
            return features[i]->data ? features[i]->data : features[i];
    return nullptr;
}

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char*, const char*, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget,
                         const LV2_Feature* const* features)
{
    void* parent = const_cast<void*>(feature(features, LV2_UI__parent));
    if (!parent || !write || !widget) {
        std::fprintf(stderr, "Gravel: the host gave the editor no parent window (ui:parent); "
                             "open it in a host that embeds X11 plug-in windows\n");
        return nullptr;
    }
    const LV2UI_Touch* touch = static_cast<const LV2UI_Touch*>(feature(features, LV2_UI__touch));

    GravelUI* ui = new GravelUI;
    bool opened = false;
    // Nothing may leave through the C interface.
    try {
        ui->ports = new EditorPorts(write, controller, touch);
        ui->editor = new GRV_GUI(ui->ports); // handed to the stand-in effect, which deletes it
        opened = ui->editor->open(parent) && ui->editor->getFrame();
    } catch (...) {
        opened = false;
    }
    if (!opened) {
        std::fprintf(stderr, "Gravel: the editor could not make its window in the host's; "
                             "check that the host's display is reachable\n");
        delete ui->ports;
        delete ui;
        return nullptr;
    }
    *widget = reinterpret_cast<LV2UI_Widget>(uintptr_t(ui->editor->getFrame()->getWindowId()));
    if (auto* resize = static_cast<const LV2UI_Resize*>(feature(features, LV2_UI__resize))) {
        ERect* rect = nullptr;
        if (ui->editor->getRect(&rect) && rect)
            resize->ui_resize(resize->handle, rect->right - rect->left, rect->bottom - rect->top);
    }
    return ui;
}

void cleanup(LV2UI_Handle handle)
{
    GravelUI* ui = static_cast<GravelUI*>(handle);
    ui->editor->close();
    delete ui->ports;
    delete ui;
}

void portEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format, const void* buffer)
{
    if (format != 0 || size != sizeof(float) || !buffer || !isControlPort(port))
        return;
    GravelUI* ui = static_cast<GravelUI*>(handle);
    const int32_t index = int32_t(port - kFirstControl);
    ui->ports->setParameter(index, normalisedFromPort(index, *static_cast<const float*>(buffer)));
}

int idle(LV2UI_Handle handle)
{
    static_cast<GravelUI*>(handle)->editor->idle();
    return 0;
}

const LV2UI_Idle_Interface idleInterface = {idle};

const void* extensionData(const char* uri)
{
    return std::strcmp(uri, LV2_UI__idleInterface) == 0 ? &idleInterface : nullptr;
}

const LV2UI_Descriptor descriptor = {kUIURI, instantiate, cleanup, portEvent, extensionData};

} // namespace

LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index)
{
    return index == 0 ? &descriptor : nullptr;
}

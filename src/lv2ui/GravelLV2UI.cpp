// The pedal editor as an LV2 X11 UI: GRV_GUI and the toolkit as the VST
// effect uses them, embedded in the host's parent window. The editor's
// parameters here are the port values the host last sent; its gestures
// become port writes (and touch notifications where the host offers them),
// and the host's port events move the controls. Neither the VST effect nor
// the engine is linked: the sound is the DSP binary's.
#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>

#include "editor/EditorParameters.h"
#include "editor/GRV_GUI.h"
#include "lv2/GravelPorts.h"
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

// The eleven normalised values the editor shows, with the editor's changes
// sent on to the host as port values.
class EditorPorts final : public EditorParameters {
public:
    EditorPorts(LV2UI_Write_Function write, LV2UI_Controller controller, const LV2UI_Touch* touch,
                const LV2UI_Resize* resize)
        : write(write), controller(controller), touch(touch), resize(resize)
    {
        for (int32_t index = 0; index < kGRVNumParams; ++index)
            values[index] = gravel::defaultValue(index);
    }

    void showIn(GRV_GUI* shownIn) { editor = shownIn; }

    // A port event from the host: record and show.
    void setFromHost(int32_t index, float value)
    {
        if (index < 0 || index >= kGRVNumParams || std::isnan(value))
            return;
        values[index] = clampUnit(value);
        if (editor)
            editor->setParameter(index, values[index]);
    }

    float getParameter(int32_t index) override
    {
        return (index >= 0 && index < kGRVNumParams) ? values[index] : 0.0f;
    }
    // A control moved by the user.
    void setParameterFromEditor(int32_t index, float value) override
    {
        setFromHost(index, value);
        if (index < 0 || index >= kGRVNumParams)
            return;
        const float port = portFromNormalised(index, values[index]);
        write(controller, kFirstControl + uint32_t(index), sizeof port, 0, &port);
    }
    bool beginGesture(int32_t index) override { return grab(index, true); }
    bool endGesture(int32_t index) override { return grab(index, false); }
    bool resizeEditor(int32_t width, int32_t height) override
    {
        return !resize || resize->ui_resize(resize->handle, width, height) == 0;
    }

private:
    bool grab(int32_t index, bool grabbed)
    {
        if (!touch || index < 0 || index >= kGRVNumParams)
            return false;
        touch->touch(touch->handle, kFirstControl + uint32_t(index), grabbed);
        return true;
    }

    LV2UI_Write_Function write;
    LV2UI_Controller controller;
    const LV2UI_Touch* touch;
    const LV2UI_Resize* resize;
    GRV_GUI* editor = nullptr;
    float values[kGRVNumParams];
};

struct GravelUI {
    EditorPorts* ports = nullptr;
    GRV_GUI* editor = nullptr; // shows the ports; goes before them
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
    const LV2UI_Resize* resize = static_cast<const LV2UI_Resize*>(feature(features, LV2_UI__resize));

    GravelUI* ui = new GravelUI;
    bool opened = false;
    // Nothing may leave through the C interface.
    try {
        ui->ports = new EditorPorts(write, controller, touch, resize);
        ui->editor = new GRV_GUI(ui->ports);
        ui->ports->showIn(ui->editor);
        opened = ui->editor->open(parent) && ui->editor->getFrame();
    } catch (...) {
        opened = false;
    }
    if (!opened) {
        std::fprintf(stderr, "Gravel: the editor could not make its window in the host's; "
                             "check that the host's display is reachable\n");
        delete ui->editor;
        delete ui->ports;
        delete ui;
        return nullptr;
    }
    *widget = reinterpret_cast<LV2UI_Widget>(uintptr_t(ui->editor->getFrame()->getWindowId()));
    if (resize) {
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
    delete ui->editor;
    delete ui->ports;
    delete ui;
}

void portEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format, const void* buffer)
{
    if (format != 0 || size != sizeof(float) || !buffer || !isControlPort(port))
        return;
    GravelUI* ui = static_cast<GravelUI*>(handle);
    const int32_t index = int32_t(port - kFirstControl);
    ui->ports->setFromHost(index, normalisedFromPort(index, *static_cast<const float*>(buffer)));
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

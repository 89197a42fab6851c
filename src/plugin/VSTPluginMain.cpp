// The bundle's entry: what a VST 2.4 host looks up after loading Gravel.so.

#include "plugin/VST_GRV.h"

// The editor folder defines this when it is linked into the bundle (add the
// defining source to gravel_bundle); until then the effect has no editor.
__attribute__((weak, visibility("hidden"))) AEffEditor* createGravelEditor(EditorParameters* parameters);

AudioEffect* createEffectInstance(audioMasterCallback audioMaster)
{
    return new VST_GRV(audioMaster, createGravelEditor);
}

VST_EXPORT AEffect* VSTPluginMain(audioMasterCallback audioMaster)
{
    // A host that does not answer the version request cannot drive us.
    if (!audioMaster || audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0)
        return nullptr;
    AudioEffect* effect = createEffectInstance(audioMaster);
    if (!effect)
        return nullptr;
    return effect->getAEffect();
}

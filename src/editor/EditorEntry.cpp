// The bundle's own entries into the editor: the hook through which the
// effect makes its editor, and the snapshot entry for tools that load the
// bundle like a host (the editor object can only be reached from inside the
// image that made it).
#include "editor/EditorSnapshot.h"
#include "editor/GRV_GUI.h"

#include <dlfcn.h>

// The libraries the editor draws with set up state for the life of the
// process when they load (pixman's tables under cairo, the platform layer's
// constant strings and bundle registry). A host that unloads the plug-in
// would unload them too and lose that state, not free it, on every load
// cycle. Keep them resident from the moment the bundle is loaded.
__attribute__((constructor)) static void keepLibrariesResident()
{
    for (const char* name : {"libcairo.so.2", "libgravel-platform.so.1"})
        dlopen(name, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
}

AEffEditor* createGravelEditor(EditorParameters* parameters)
{
    return new GRV_GUI(parameters);
}

// Writes the editor of an effect of this bundle as a PNG (back face when
// back is nonzero); 1 on success, 0 on failure. Visible to the loader only
// where the bundle's export list names it.
VST_EXPORT int GravelEditorSnapshot(AEffect* effect, int back, const char* pngPath)
{
    return gravel::renderEditorSnapshot(effect, back != 0, pngPath) ? 1 : 0;
}

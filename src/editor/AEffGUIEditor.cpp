#include "editor/AEffGUIEditor.h"

#include <dlfcn.h>

#include <chrono>
#include <filesystem>
#include <cstdio>
#include <mutex>
#include <thread>

using namespace VSTGUI;

int32_t AEffGUIEditor::knobMode = 0;

namespace {

// Every editor in the process shares one bundle reference: the first editor
// creates it, the last one to go releases it. (Letting each editor replace
// and release it would pull it away from editors still open.)
std::mutex gBundleMutex;
int gEditorCount = 0;
std::string gBundleOverride;

void acquireBundle()
{
    std::lock_guard<std::mutex> lock(gBundleMutex);
    ++gEditorCount;
    if (!gBundleRef) gBundleRef = bundleCreate(AEffGUIEditor::locateBundle());
}

void releaseBundle()
{
    std::lock_guard<std::mutex> lock(gBundleMutex);
    if (gEditorCount > 0 && --gEditorCount == 0 && gBundleRef) {
        CFRelease(gBundleRef);
        gBundleRef = nullptr;
    }
}

}  // namespace

void AEffGUIEditor::setBundleLocationOverride(const std::string& bundleDir)
{
    std::lock_guard<std::mutex> lock(gBundleMutex);
    gBundleOverride = bundleDir;
    // Editors opened from now on load from the new place.
    if (gBundleRef) {
        CFRelease(gBundleRef);
        gBundleRef = nullptr;
    }
    if (gEditorCount > 0) gBundleRef = bundleCreate(bundleDir.empty() ? locateBundle() : bundleDir);
}

std::string AEffGUIEditor::locateBundle()
{
    if (!gBundleOverride.empty()) return gBundleOverride;
    Dl_info info;
    if (!dladdr(reinterpret_cast<void*>(&AEffGUIEditor::getTicks), &info) || !info.dli_fname) return std::string();
    // <bundle>/Contents/<arch>/<executable>: three components up is the bundle.
    // The loader gives the name the image was opened by, which may be
    // relative to a working folder the host changes later.
    std::error_code error;
    std::string path = std::filesystem::absolute(info.dli_fname, error).lexically_normal().string();
    if (error) path = info.dli_fname;
    for (int i = 0; i < 3; ++i) {
        size_t slash = path.rfind('/');
        if (slash == std::string::npos) {
            std::printf("Could not determine bundle location.\n");
            return std::string();
        }
        path.erase(slash);
    }
    return path;
}

// The editor reaches its plug-in through the parameters only, never
// through a format's effect object.
AEffGUIEditor::AEffGUIEditor(EditorParameters* parameters)
    : AEffEditor(nullptr), parameters(parameters), rect{0, 0, 0, 0}
{
    lastTicks = getTicks();
    acquireBundle();
}

AEffGUIEditor::~AEffGUIEditor()
{
    releaseBundle();
}

bool AEffGUIEditor::getRect(ERect** r)
{
    if (!r) return false;
    *r = &rect;
    return true;
}

bool AEffGUIEditor::open(void* parent)
{
    systemWindow = parent;
    return false;
}

void AEffGUIEditor::idle()
{
    if (!inIdleStuff && frame) frame->idle();
}

namespace {
VSTGUI::VstKeyCode toolkitKey(const ::VstKeyCode& key)
{
    VSTGUI::VstKeyCode k;
    k.character = key.character;
    k.virt = key.virt;
    k.modifier = key.modifier;
    return k;
}
}  // namespace

bool AEffGUIEditor::onKeyDown(::VstKeyCode& key)
{
    if (!frame) return false;
    VSTGUI::VstKeyCode k = toolkitKey(key);
    return frame->onKeyDown(k) > 0;
}

bool AEffGUIEditor::onKeyUp(::VstKeyCode& key)
{
    if (!frame) return false;
    VSTGUI::VstKeyCode k = toolkitKey(key);
    return frame->onKeyUp(k) > 0;
}

bool AEffGUIEditor::onWheel(float distance)
{
    if (!frame) return false;
    CPoint where;
    frame->getCurrentMouseLocation(where);
    CButtonState buttons = frame->getCurrentMouseButtons();
    return frame->onWheel(where, distance, buttons);
}

bool AEffGUIEditor::setKnobMode(VstInt32 mode)
{
    knobMode = mode;
    return true;
}

int32_t AEffGUIEditor::getKnobMode() const
{
    return knobMode;
}

void AEffGUIEditor::draw(ERect* r)
{
    if (!frame) return;
    CRect update = frame->getViewSize();
    if (r) {
        update.left = r->left < r->right ? r->left : r->right;
        update.right = r->left < r->right ? r->right : r->left;
        update.top = r->top < r->bottom ? r->top : r->bottom;
        update.bottom = r->top < r->bottom ? r->bottom : r->top;
    }
    CDrawContext* context = frame->createDrawContext();
    frame->drawRect(context, update);
    context->forget();
}

bool AEffGUIEditor::beforeSizeChange(const CRect& newSize, const CRect&)
{
    if (!parameters) return true;
    return parameters->resizeEditor(int32_t(newSize.right - newSize.left), int32_t(newSize.bottom - newSize.top));
}

bool AEffGUIEditor::beginEdit(int32_t index)
{
    // Views that are not parameters (the panel switch) have no gesture for
    // the host to record: the parameters refuse their tags.
    return parameters && parameters->beginGesture(index);
}

bool AEffGUIEditor::endEdit(int32_t index)
{
    return parameters && parameters->endGesture(index);
}

uint32_t AEffGUIEditor::getTicks()
{
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void AEffGUIEditor::wait(uint32_t ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void AEffGUIEditor::doIdleStuff()
{
    // Signed distance to the due time, so the clock's wrap does no harm.
    uint32_t now = getTicks();
    if (int32_t(now - lastTicks) < 0) {
        wait(4);
        now += 4;
        if (int32_t(now - (lastTicks - 50)) < 0) return;
    }
    idle();
    lastTicks = now + 100;
    inIdleStuff = true;
    if (parameters) parameters->editorIdled();
    inIdleStuff = false;
}

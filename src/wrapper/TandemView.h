#pragma once

// The AudioUnit view of a wrapped effect: the effect's own editor, embedded
// in a view of the component. The CocoaUI property names the factory;
// on this platform the factory is a C record exported under that name from
// the bundle's executable, found with dlsym (CFBundleGetFunctionPointerForName).
// A host makes a view with it, shows it and releases it; releasing the view
// closes the editor.

#include <AudioUnit/AudioUnit.h>

CF_EXTERN_C_BEGIN

#define kTandemCocoaViewFactoryName "Tandem20010220_CocoaViewFactory"

typedef struct Tandem20010220_CocoaView Tandem20010220_CocoaView;

typedef struct TandemViewSize {
    double width;
    double height;
} TandemViewSize;

typedef struct Tandem20010220_CocoaViewFactoryRecord {
    UInt32 interfaceVersion;  // 0
    const char* description;  // "Tandem Cocoa View"
    // The unit's editor in a view of the editor's size (the size asked for is
    // not used). The view has a window of its own, a child of the host's X11
    // window `parentWindow`; with 0 it is an offscreen view, as for a host
    // without a display. Null when the editor cannot be opened (logged).
    Tandem20010220_CocoaView* (*uiViewForAudioUnit)(AudioUnit unit, TandemViewSize size, unsigned long parentWindow);
    TandemViewSize (*frameSize)(const Tandem20010220_CocoaView* view);
    // The view's own X11 window, 0 for an offscreen view.
    unsigned long (*window)(const Tandem20010220_CocoaView* view);
    // Closes the editor and frees the view.
    void (*release)(Tandem20010220_CocoaView* view);
} Tandem20010220_CocoaViewFactoryRecord;

CF_EXTERN_C_END

#ifdef __cplusplus
class VSTPlugIn;

// The component's side of its view: at most one view at a time embeds the
// effect's editor. A second request while one is open is refused (null), so
// the editor is never opened twice.
class TandemViewHost {
public:
    TandemViewHost(VSTPlugIn& vst, CFBundleRef componentBundle) : vst(vst), componentBundle(componentBundle) {}
    ~TandemViewHost() { detach(); }
    TandemViewHost(const TandemViewHost&) = delete;
    TandemViewHost& operator=(const TandemViewHost&) = delete;

    // The bundle and factory class of the view; both references are the caller's.
    AudioUnitCocoaViewInfo copyCocoaViewInfo() const;
    Tandem20010220_CocoaView* create(unsigned long parentWindow);
    // The host released the view: the editor closes.
    void drop();
    void resize(int width, int height);
    // The unit closes before the host releases its view: the view no longer
    // reaches the component, and the editor closes now.
    void detach();

private:
    VSTPlugIn& vst;
    CFBundleRef componentBundle;
    Tandem20010220_CocoaView* openView = nullptr;
};
#endif

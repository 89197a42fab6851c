// The Core Services a component and its host use here: Memory Manager
// handles, the Component Manager (components come from the bundles'
// Info.plist, see AudioUnit/AudioComponent.h), the error codes and the Folder
// Manager constants of the AudioUnit support folders. Files and folders
// themselves are reached through the platform's own file interface
// (platform/files/FileServices.h), not the Carbon File Manager.
#pragma once

#include "../Gravel/PlatformBase.h"

CF_EXTERN_C_BEGIN

// Error codes.
enum {
    ioErr = -36,
    bdNamErr = -37,           // a name that is not one path component
    eofErr = -39,
    fnfErr = -43,             // file or folder not found
    wPrErr = -44,
    fLckdErr = -45,
    fBsyErr = -47,            // a folder that is not empty
    dupFNErr = -48,           // the item exists already
    paramErr = -50,
    permErr = -54,
    memFullErr = -108,
    nilHandleErr = -109,
    dirNFErr = -120,
    resNotFound = -192,
    errFSNoMoreItems = -1417,
    invalidComponentID = -3000,
    validInstancesExist = -3001,
    componentNotCaptured = -3002,
    componentDontRegister = -3003,
    unresolvedComponentDLLErr = -3004,
    kMPTimeoutErr = -29292
};
// Component Manager statuses with the high bit set.
#define badComponentInstance ((OSStatus)0x80008001)
#define badComponentSelector ((OSStatus)0x80008002)

// Memory Manager handles: a Handle points at the pointer to its block.
CF_EXPORT Handle NewHandle(Size byteCount);
CF_EXPORT Handle NewHandleClear(Size byteCount);
CF_EXPORT void DisposeHandle(Handle h);
CF_EXPORT Size GetHandleSize(Handle h);
// Keeps the contents up to the smaller size; the block may move.
CF_EXPORT void SetHandleSize(Handle h, Size newSize);
CF_EXPORT OSErr MemError(void);

// Component Manager.
typedef struct ComponentDescription {
    OSType componentType;
    OSType componentSubType;
    OSType componentManufacturer;
    UInt32 componentFlags;
    UInt32 componentFlagsMask;
} ComponentDescription;
GRAVEL_CHECK_SIZE(ComponentDescription, 20);

typedef struct ComponentRecord* Component;
typedef struct ComponentInstanceRecord* ComponentInstance;
typedef SInt32 ComponentResult;

// The block a component entry receives. Every request fills the header
// (flags 0, paramSize = bytes of arguments, what = the selector) and puts its
// arguments after it. For the component selectors params[0] holds the one
// argument: the instance for open and close, the selector asked about for
// can-do; version has none. The AudioUnit selectors use the typed blocks of
// AudioUnit/AUComponent.h, which begin with the same header.
typedef struct ComponentParameters {
    UInt8 flags;
    UInt8 paramSize;
    SInt16 what;
    UInt32 padding;
    long params[1];
} ComponentParameters;
GRAVEL_CHECK_SIZE(ComponentParameters, 16);

typedef ComponentResult (*ComponentRoutineProcPtr)(ComponentParameters* cp, Handle componentStorage);
typedef ComponentRoutineProcPtr ComponentRoutineUPP;

enum {
    kComponentOpenSelect = -1,
    kComponentCloseSelect = -2,
    kComponentCanDoSelect = -3,
    kComponentVersionSelect = -4,
    kComponentRegisterSelect = -5,
    kComponentTargetSelect = -6,
    kComponentUnregisterSelect = -7,
    kComponentGetMPWorkFunctionSelect = -8,
    kComponentExecuteWiredActionSelect = -9,
    kComponentGetPublicResourceSelect = -10
};

enum {
    kComponentResourceType = GRAVEL_FOUR_CC('t', 'h', 'n', 'g'),
    kComponentResourceID = 10000  // the resource ID of every registered component's 'thng'
};

// The 'thng' resource in Mac 68k packing: the description, four resource
// references (type and ID each), then the extension whose first word is the
// component's version.
#pragma pack(push, 2)
typedef struct ResourceSpec {
    OSType resType;
    SInt16 resID;
} ResourceSpec;

typedef struct ComponentResource {
    ComponentDescription cd;
    ResourceSpec component;
    ResourceSpec componentName;
    ResourceSpec componentInfo;
    ResourceSpec componentIcon;
} ComponentResource;

typedef struct ComponentResourceExtension {
    SInt32 componentVersion;
    SInt32 componentRegisterFlags;
    SInt16 componentIconFamily;
} ComponentResourceExtension;

typedef struct ExtComponentResource {
    ComponentDescription cd;
    ResourceSpec component;
    ResourceSpec componentName;
    ResourceSpec componentInfo;
    ResourceSpec componentIcon;
    SInt32 componentVersion;  // byte 44, native byte order here
    SInt32 componentRegisterFlags;
    SInt16 componentIconFamily;
    SInt32 count;             // platform entries: none here
} ExtComponentResource;
#pragma pack(pop)
GRAVEL_CHECK_SIZE(ResourceSpec, 6);
GRAVEL_CHECK_SIZE(ComponentResource, 44);
GRAVEL_CHECK_SIZE(ExtComponentResource, 58);

// Zero fields of `looking` match anything; flags match under its mask.
// Null `aComponent` starts the search; null `looking` matches everything.
CF_EXPORT Component FindNextComponent(Component aComponent, ComponentDescription* looking);
CF_EXPORT long CountComponents(ComponentDescription* looking);
// Loads the bundle's executable (once per process) and sends the open
// request; a failed open leaves no instance and returns the entry's status.
CF_EXPORT OSErr OpenAComponent(Component aComponent, ComponentInstance* ci);
CF_EXPORT ComponentInstance OpenComponent(Component aComponent);
// Sends the close request and forgets the instance.
CF_EXPORT OSErr CloseComponent(ComponentInstance aComponentInstance);
// Accepts a component or one of its instances. The name and info handles,
// when given, are resized to hold a Pascal string (the declared name and
// description); the icon handle is left alone.
CF_EXPORT OSErr GetComponentInfo(Component aComponent, ComponentDescription* cd, Handle componentName,
                                 Handle componentInfo, Handle componentIcon);
// The instance's answer to the version request.
CF_EXPORT long GetComponentVersion(ComponentInstance aComponentInstance);
// The instance's answer to the can-do request for that selector.
CF_EXPORT long ComponentFunctionImplemented(ComponentInstance ci, SInt16 ftnNumber);
// Only 'thng' 10000 exists: an ExtComponentResource in a new handle the caller
// disposes of; anything else is resNotFound.
CF_EXPORT OSErr GetComponentResource(Component aComponent, OSType resType, SInt16 resID, Handle* theResource);
CF_EXPORT void SetComponentInstanceStorage(ComponentInstance aComponentInstance, Handle theStorage);
CF_EXPORT Handle GetComponentInstanceStorage(ComponentInstance aComponentInstance);

// Folder Manager: the domains and the folder type of the AudioUnit support
// folders (see platform/files/FileServices.h).
enum {
    kSystemDomain = -32766,
    kLocalDomain = -32765,
    kNetworkDomain = -32764,
    kUserDomain = -32763
};
enum {
    kAudioSupportFolderType = GRAVEL_FOUR_CC('a', 'u', 'd', 'i'),
    kDontCreateFolder = 0,
    kCreateFolder = 1
};

// Timing.
// Ticks (1/60 s) since the platform library was loaded.
CF_EXPORT UInt32 TickCount(void);

CF_EXTERN_C_END

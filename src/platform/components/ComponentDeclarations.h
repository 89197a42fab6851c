// Private to the platform library: the components a bundle declares in its
// Info.plist, read without trusting anything in the file.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "CoreServices/CoreServices.h"

namespace gravel_components {

struct ComponentDeclaration {
    ComponentDescription description;  // flags and mask 0
    std::string name;                  // UTF-8
    std::string information;           // "description", may be empty
    UInt32 version;
    std::string entryName;             // "factoryFunction"
};

struct BundleDeclarations {
    std::string executableName;                 // CFBundleExecutable, may be empty
    std::vector<ComponentDeclaration> components;
    std::vector<std::string> problems;          // one line per declaration left out
};

// Reads the Info.plist bytes. False, with the reason, when they are not a
// property-list dictionary or hold no "AudioComponents" array; otherwise the
// well-formed declarations, and a problem line for each one left out.
bool readBundleDeclarations(const void* infoPlistBytes, std::size_t size, BundleDeclarations& result,
                            std::string& reason);

}  // namespace gravel_components

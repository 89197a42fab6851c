// Private to the platform library: whether a shared object exports a
// function, read from its ELF dynamic symbol table without loading it (a
// registry scan must not run a bundle's code).
#pragma once

#include <string>

namespace gravel_components {

// False for a missing or unreadable file, a file that is not a 64-bit ELF
// object of this machine, and a name not defined there.
bool exportsFunction(const std::string& sharedObjectPath, const std::string& functionName);

}  // namespace gravel_components

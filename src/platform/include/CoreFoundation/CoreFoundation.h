// CoreFoundation as a host or a component includes it: the CF subset of the
// platform library (see cf/CoreFoundation.h for what it holds) and run loops.
#pragma once

#include "../../cf/CoreFoundation.h"
#include "CFRunLoop.h"

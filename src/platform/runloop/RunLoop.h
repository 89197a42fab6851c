// Private to the platform library: what the listeners need of run loops.
#pragma once

#include <functional>

#include "CoreFoundation/CFRunLoop.h"

namespace gravel_runloop {

// Runs `work` on the loop's thread the next time that thread runs the loop.
void perform(CFRunLoopRef loop, std::function<void()> work);

// Something that waits for deliveries on the loop (a listener): while any is
// attached, running the loop does not return kCFRunLoopRunFinished.
void attach(CFRunLoopRef loop);
void detach(CFRunLoopRef loop);

}  // namespace gravel_runloop

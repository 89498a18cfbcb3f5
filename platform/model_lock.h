// The model lock: one process-wide recursive mutex that guards both trees and both stores.
// The user-interface thread holds it while it handles an event; a worker thread takes it for
// each step that reads or changes nodes or the store, and never while it waits on the network.
#pragma once

#include <mutex>

namespace korvo {

std::recursive_mutex& ModelLock();

}  // namespace korvo

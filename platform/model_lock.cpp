#include "platform/model_lock.h"

namespace korvo {

std::recursive_mutex& ModelLock() {
    static std::recursive_mutex lock;
    return lock;
}

}  // namespace korvo

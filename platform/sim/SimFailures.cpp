#include "platform/sim/SimFailures.h"

#include "platform/LastError.h"

namespace kestrun::platform::sim {

bool SimFailures::Consume(SimCall call)
{
    Slot& slot = slots_[Index(call)];
    if (slot.count == 0) return false;
    if (slot.skip > 0) {
        --slot.skip;
        return false;
    }
    if (slot.count > 0) --slot.count;
    SetLastError(slot.error);
    return true;
}

}  // namespace kestrun::platform::sim

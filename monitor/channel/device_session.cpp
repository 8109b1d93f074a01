#include "monitor/channel/device_session.h"

namespace qz6::mon {

// The device session is not built yet: the device stays closed.
bool OpenDevice()
{
    return false;
}

void CloseDevice() {}

}  // namespace qz6::mon

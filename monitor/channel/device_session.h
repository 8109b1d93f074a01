// The device session: opening and closing the adapter's device.
#pragma once

namespace qz6::mon {

// "&Open Device": true when the device is open and answered.
bool OpenDevice();

// "Cl&ose Device": does nothing unless a device is open.
void CloseDevice();

}  // namespace qz6::mon

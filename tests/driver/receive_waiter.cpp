// Child process for the driver tests: waits in one receive call on adapter 0
// until it is ended from outside.
#include <windows.h>

#include "common/stream_protocol.h"

int main()
{
    HANDLE device = CreateFileA("\\\\.\\ROZAR6O0", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_WRITE_THROUGH | FILE_FLAG_NO_BUFFERING, nullptr);
    if (device == INVALID_HANDLE_VALUE)
        return 2;
    static qz6::ReceiveRecord record;
    DWORD returned = 0;
    for (;;) {
        if (!DeviceIoControl(device, qz6::IOCTL_STREAM_RECEIVE, nullptr, 0, &record, sizeof(record), &returned, nullptr))
            return 3;
    }
}

// What the host knows of a process of the prefix.
//
// Wine answers GetProcessTimes, PrivateUsage and GetProcessHandleCount for
// another process with zeros (PrivateUsage is its swap use), so the
// numbers come from where they are kept: the host's /proc through drive Z:
// for processor time and committed memory, the server's handle table
// (NtQuerySystemInformation) for handles. On Windows itself the first
// finds nothing and the Windows counters stand.
#pragma once

#include <windows.h>

namespace qz6::bench {

// The host process of the newest running `exe` of this prefix; 0 if none.
unsigned long FindUnixProcess(const char* exe);
// Processor seconds of the host process, all its threads; -1 if unknown.
double HostCpuSeconds(unsigned long unix_pid);
// A "Name:  N kB" line of /proc/PID/status, in bytes; -1 if absent.
double HostStatusBytes(unsigned long unix_pid, const char* name);
// File descriptors the host process holds; -1 if unknown.
int HostOpenFiles(unsigned long unix_pid);
// Handles the process holds, from the system's handle table; -1 if the
// table cannot be read.
long SystemHandleCount(DWORD process_id);

}  // namespace qz6::bench

#include "tools/bench/host_process.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace qz6::bench {

namespace {

std::string ReadWholeFile(const std::string& path)
{
    std::string text;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0 && text.size() < 1000000)
        text.append(buffer, got);
    CloseHandle(file);
    return text;
}

std::string ProcPath(unsigned long unix_pid, const char* file)
{
    return "Z:\\proc\\" + std::to_string(unix_pid) + "\\" + file;
}

// The fields of /proc/PID/stat after the command name: [0] is field 3.
std::vector<std::string> StatFields(unsigned long unix_pid)
{
    std::vector<std::string> fields;
    const std::string stat = ReadWholeFile(ProcPath(unix_pid, "stat"));
    const size_t end = stat.rfind(')');
    if (end == std::string::npos)
        return fields;
    size_t at = end + 2;
    while (at < stat.size()) {
        const size_t space = stat.find(' ', at);
        fields.push_back(stat.substr(at, space == std::string::npos ? std::string::npos : space - at));
        if (space == std::string::npos)
            break;
        at = space + 1;
    }
    return fields;
}

bool ContainsNoCase(std::string text, std::string part)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (char& c : part)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text.find(part) != std::string::npos;
}

}  // namespace

// The host process of the newest running `exe` of this prefix; 0 if none.
unsigned long FindUnixProcess(const char* exe)
{
    char prefix[MAX_PATH] = {};
    const bool know_prefix = GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix) > 0;
    const std::string prefix_entry = std::string("WINEPREFIX=") + prefix + '\0';
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &entry);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    unsigned long best = 0;
    unsigned long long best_start = 0;
    do {
        char* end = nullptr;
        const unsigned long pid = std::strtoul(entry.cFileName, &end, 10);
        if (pid == 0 || *end != '\0')
            continue;
        const std::string command = ReadWholeFile(ProcPath(pid, "cmdline"));
        if (!ContainsNoCase(command.substr(0, command.find('\0')), exe))
            continue;
        if (know_prefix && ReadWholeFile(ProcPath(pid, "environ")).find(prefix_entry) == std::string::npos)
            continue;
        const std::vector<std::string> fields = StatFields(pid);
        const unsigned long long start = fields.size() > 19 ? std::strtoull(fields[19].c_str(), nullptr, 10) : 0;
        if (best == 0 || start >= best_start) {
            best = pid;
            best_start = start;
        }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return best;
}

// Processor seconds of the host process, all its threads; -1 if unknown.
// /proc counts in USER_HZ, 100 a second on every Linux.
double HostCpuSeconds(unsigned long unix_pid)
{
    const std::vector<std::string> fields = StatFields(unix_pid);
    if (unix_pid == 0 || fields.size() < 13)
        return -1;
    return (std::strtod(fields[11].c_str(), nullptr) + std::strtod(fields[12].c_str(), nullptr)) / 100.0;
}

// A "Name:  N kB" line of /proc/PID/status, in bytes; -1 if absent.
double HostStatusBytes(unsigned long unix_pid, const char* name)
{
    const std::string status = ReadWholeFile(ProcPath(unix_pid, "status"));
    const size_t at = status.find(std::string("\n") + name + ":");
    if (unix_pid == 0 || at == std::string::npos)
        return -1;
    return std::strtod(status.c_str() + at + std::strlen(name) + 2, nullptr) * 1024.0;
}

int HostOpenFiles(unsigned long unix_pid)
{
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((ProcPath(unix_pid, "fd") + "\\*").c_str(), &entry);
    if (unix_pid == 0 || search == INVALID_HANDLE_VALUE)
        return -1;
    int count = 0;
    do {
        if (entry.cFileName[0] != '.')
            ++count;
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return count;
}

// Handles the process holds, from the system's handle table; -1 if the
// table cannot be read.
long SystemHandleCount(DWORD process_id)
{
    struct HandleEntry {
        ULONG owner;
        BYTE type;
        BYTE flags;
        USHORT value;
        PVOID object;
        ULONG access;
    };
    struct HandleTable {
        ULONG count;
        HandleEntry entries[1];
    };
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    static const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr)
        return -1;
    constexpr ULONG kSystemHandleInformation = 16;
    constexpr LONG kLengthMismatch = static_cast<LONG>(0xC0000004);
    static std::vector<unsigned char> buffer(1 << 20);
    for (int attempt = 0; attempt < 8; ++attempt) {
        ULONG needed = 0;
        const LONG status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == kLengthMismatch) {
            buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 65536));
            continue;
        }
        if (status < 0)
            return -1;
        const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
        long count = 0;
        for (ULONG i = 0; i < table->count; ++i)
            count += table->entries[i].owner == process_id ? 1 : 0;
        return count;
    }
    return -1;
}

}  // namespace qz6::bench

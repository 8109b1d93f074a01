#include "tests/configurator/registry_write_log.h"

#include <windows.h>

#include <cstring>
#include <mutex>

namespace qz6::conf::test {

namespace {

using SetValueFunction = LONG(WINAPI*)(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD);

std::mutex g_mutex;
std::vector<std::string> g_names;
SetValueFunction g_real = nullptr;

LONG WINAPI LoggedSetValue(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size)
{
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_names.emplace_back(name != nullptr ? name : "");
    }
    return g_real(key, name, reserved, type, data, size);
}

// The import address slot of advapi32's RegSetValueExA in this program.
void** FindImportSlot()
{
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0)
        return nullptr;
    for (auto* module = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); module->Name != 0;
         ++module) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + module->Name), "advapi32.dll") != 0)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto* by_name = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(by_name->Name), "RegSetValueExA") == 0)
                return reinterpret_cast<void**>(&slots->u1.Function);
        }
    }
    return nullptr;
}

void WriteSlot(void** slot, void* value)
{
    DWORD old_protection = 0;
    VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &old_protection);
    *slot = value;
    VirtualProtect(slot, sizeof(*slot), old_protection, &old_protection);
}

}  // namespace

RegistryWriteLog::RegistryWriteLog()
{
    slot_ = FindImportSlot();
    if (slot_ == nullptr)
        return;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_names.clear();
    }
    g_real = reinterpret_cast<SetValueFunction>(*slot_);
    WriteSlot(slot_, reinterpret_cast<void*>(&LoggedSetValue));
}

RegistryWriteLog::~RegistryWriteLog()
{
    if (slot_ != nullptr)
        WriteSlot(slot_, reinterpret_cast<void*>(g_real));
}

std::vector<std::string> RegistryWriteLog::Names() const
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_names;
}

}  // namespace qz6::conf::test

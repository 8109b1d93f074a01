// Test support: logs the value names that this program's code passes to
// RegSetValueExA while a log is alive. Every call goes on to the real
// function; the log only watches the order of the writes, which the
// registry itself does not keep (it lists values by name).
#pragma once

#include <string>
#include <vector>

namespace qz6::conf::test {

class RegistryWriteLog {
public:
    RegistryWriteLog();   // redirects this module's import of RegSetValueExA
    ~RegistryWriteLog();  // puts the import back
    RegistryWriteLog(const RegistryWriteLog&) = delete;
    RegistryWriteLog& operator=(const RegistryWriteLog&) = delete;

    bool Active() const { return slot_ != nullptr; }
    std::vector<std::string> Names() const;

private:
    void** slot_ = nullptr;
};

}  // namespace qz6::conf::test

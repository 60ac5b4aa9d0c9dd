#include "surface_identity.h"

#include "app_metadata.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include <unistd.h>

namespace vireon::sim {

std::wstring ownSerialNumber(const std::string &stateDir)
{
    char serial[32];
    if (stateDir.empty()) {
        std::snprintf(serial, sizeof serial, "SIM-P%ld", static_cast<long>(::getpid()));
    } else {
        // The folder may not exist before its first run: the part that does
        // is resolved, the rest taken as written.
        std::error_code failed;
        std::filesystem::path full = std::filesystem::weakly_canonical(std::filesystem::absolute(stateDir), failed);
        if (failed)
            full = std::filesystem::absolute(stateDir).lexically_normal();
        std::string text = full.string();
        while (text.size() > 1 && text.back() == '/')
            text.pop_back();
        const auto *bytes = reinterpret_cast<const uint8_t *>(text.data());
        std::snprintf(serial, sizeof serial, "SIM-%08X",
                      static_cast<unsigned>(applicationChecksum(0, bytes, text.size())));
    }
    const std::string narrow = serial;
    return std::wstring(narrow.begin(), narrow.end());
}

} // namespace vireon::sim

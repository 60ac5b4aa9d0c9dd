// A per-process scratch directory for fuzz targets that need their input
// as a file on disk; removed when the process exits.
#ifndef VIREON_FUZZ_TEMP_H
#define VIREON_FUZZ_TEMP_H

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace vireon::fuzz {

inline const std::string &scratchDir()
{
    static const std::string dir = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "vireon-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        static std::string removeAtExit;
        removeAtExit = pattern;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(removeAtExit, ec);
        });
        return pattern;
    }();
    return dir;
}

// Writes the input to `name` in the scratch directory and returns its path.
inline std::string writeInput(const char *name, const uint8_t *data, size_t size)
{
    const std::string path = scratchDir() + "/" + name;
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);
    return path;
}

} // namespace vireon::fuzz

#endif

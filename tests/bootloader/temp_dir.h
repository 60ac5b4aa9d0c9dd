// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
#ifndef VIREON_TESTS_TEMP_DIR_H
#define VIREON_TESTS_TEMP_DIR_H

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace vireon::test {

class TempDir {
public:
    TempDir() = default;
    ~TempDir()
    {
        std::error_code ec;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return path_; }
    // Writes `text` byte for byte to the file `name` and returns its path.
    std::string write(const std::string &name, const std::string &text) const
    {
        const std::string file = path_ + "/" + name;
        std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
        return file;
    }

private:
    // Empty when no directory could be made.
    std::string path_ = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "vireon-host-XXXXXX").string();
        return mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }();
};

} // namespace vireon::test

#endif

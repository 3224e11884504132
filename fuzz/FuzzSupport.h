#pragma once
// Small helpers shared by the fuzz targets.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>

namespace velmora::fuzz {

// A private folder for the life of the process, in memory where the system offers it.
inline const std::filesystem::path& scratchDir() {
    static const std::filesystem::path dir = [] {
        std::error_code ec;
        std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec) && access("/dev/shm", W_OK) == 0
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
        std::string tmpl = (base / "velmora-fuzz-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) std::abort();
        static struct Remover {
            std::filesystem::path p;
            ~Remover() {
                std::error_code e;
                std::filesystem::remove_all(p, e);
            }
        } remover{tmpl};
        return std::filesystem::path(tmpl);
    }();
    return dir;
}

// Writes the input to a file of the given name inside scratchDir() and returns its path.
inline std::string writeInput(const uint8_t* data, size_t size, const std::string& name) {
    std::filesystem::path path = scratchDir() / name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out) std::abort();
    return path.string();
}

inline std::string_view asText(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

} // namespace velmora::fuzz

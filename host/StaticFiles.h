#pragma once

// The renderer's files. Only regular files under the web root are served: a URL path with a ".."
// segment, a hidden segment, a backslash or a NUL is refused before the file system is asked, and the
// resolved path must still lie under the root (symbolic links pointing out of it are refused too).
// Contents are kept in memory, with their gzip form, until the file changes.

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace host {

class StaticFiles {
public:
    explicit StaticFiles(const std::filesystem::path& root); // throws when the root is not a directory

    // The file for a decoded URL path ("/" is index.html); nullopt when there is none to serve.
    std::optional<std::filesystem::path> resolve(std::string_view urlPath) const;
    // Serves `file` at exactly `urlPath` (e.g. the screen definition at /definition.json).
    void alias(std::string urlPath, std::filesystem::path file);

    struct Content {
        std::string type;    // Content-Type
        std::string raw;
        std::string gzipped; // empty when the type does not compress or the file is small
    };
    // The content of a resolved file; nullptr when it cannot be read.
    std::shared_ptr<const Content> load(const std::filesystem::path& file) const;

    static std::string contentType(const std::filesystem::path& file);
    const std::filesystem::path& root() const { return root_; }

private:
    std::filesystem::path root_;
    std::map<std::string, std::filesystem::path, std::less<>> aliases_;

    struct Cached {
        std::filesystem::file_time_type modified;
        std::uintmax_t size = 0;
        std::shared_ptr<const Content> content;
    };
    mutable std::mutex cacheMutex_;
    mutable std::map<std::filesystem::path, Cached> cache_;
};

} // namespace host

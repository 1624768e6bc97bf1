#pragma once

// The renderer's files. Only regular files under the web root are served: a URL path with a ".."
// segment, a hidden segment, a backslash or a NUL is refused before the file system is asked, and the
// resolved path must still lie under the root (symbolic links pointing out of it are refused too).

#include <filesystem>
#include <map>
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

    static std::string contentType(const std::filesystem::path& file);
    const std::filesystem::path& root() const { return root_; }

private:
    std::filesystem::path root_;
    std::map<std::string, std::filesystem::path, std::less<>> aliases_;
};

} // namespace host

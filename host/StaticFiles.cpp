#include "StaticFiles.h"

#include "Compression.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace host {

namespace fs = std::filesystem;

StaticFiles::StaticFiles(const fs::path& root) {
    std::error_code ec;
    root_ = fs::canonical(root, ec);
    if (ec || !fs::is_directory(root_))
        throw std::runtime_error("pasta de arquivos estáticos não encontrada: " + root.string());
}

void StaticFiles::alias(std::string urlPath, fs::path file) {
    aliases_[std::move(urlPath)] = std::move(file);
}

std::optional<fs::path> StaticFiles::resolve(std::string_view urlPath) const {
    if (auto it = aliases_.find(urlPath); it != aliases_.end()) {
        std::error_code ec;
        if (fs::is_regular_file(it->second, ec)) return it->second;
        return std::nullopt;
    }
    if (urlPath.empty() || urlPath.front() != '/') return std::nullopt;
    if (urlPath.find('\0') != std::string_view::npos || urlPath.find('\\') != std::string_view::npos)
        return std::nullopt;
    std::string relative(urlPath.substr(1));
    if (relative.empty() || relative.back() == '/') relative += "index.html";
    // Every segment must be a plain name: no "..", no ".", no hidden files, no empty segments.
    std::string_view rest(relative);
    while (!rest.empty()) {
        const auto slash = rest.find('/');
        const std::string_view segment = rest.substr(0, slash);
        if (segment.empty() || segment.front() == '.') return std::nullopt;
        if (slash == std::string_view::npos) break;
        rest.remove_prefix(slash + 1);
    }
    std::error_code ec;
    const fs::path file = fs::canonical(root_ / relative, ec);
    if (ec) return std::nullopt;
    const std::string rootText = root_.string() + "/";
    if (file.string().compare(0, rootText.size(), rootText) != 0) return std::nullopt;
    if (!fs::is_regular_file(file, ec)) return std::nullopt;
    return file;
}

namespace {

bool compresses(const std::string& type) {
    return type.rfind("text/", 0) == 0 || type.rfind("application/json", 0) == 0 || type == "image/svg+xml";
}

} // namespace

std::shared_ptr<const StaticFiles::Content> StaticFiles::load(const fs::path& file) const {
    std::error_code ec;
    const auto modified = fs::last_write_time(file, ec);
    if (ec) return nullptr;
    const auto size = fs::file_size(file, ec);
    if (ec) return nullptr;
    {
        std::lock_guard lock(cacheMutex_);
        auto it = cache_.find(file);
        if (it != cache_.end() && it->second.modified == modified && it->second.size == size)
            return it->second.content;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) return nullptr;
    std::ostringstream text;
    text << in.rdbuf();
    auto content = std::make_shared<Content>();
    content->type = contentType(file);
    content->raw = std::move(text).str();
    if (compresses(content->type) && content->raw.size() >= kMinCompressedBytes)
        content->gzipped = gzip(content->raw, 9); // made once per version of the file
    std::lock_guard lock(cacheMutex_);
    cache_[file] = Cached{modified, size, content};
    return content;
}

std::string StaticFiles::contentType(const fs::path& file) {
    static const std::map<std::string, std::string> kTypes{
        {".html", "text/html; charset=utf-8"},
        {".css", "text/css; charset=utf-8"},
        {".js", "text/javascript; charset=utf-8"},
        {".json", "application/json; charset=utf-8"},
        {".svg", "image/svg+xml"},
        {".png", "image/png"},
        {".ico", "image/x-icon"},
        {".txt", "text/plain; charset=utf-8"},
        {".woff2", "font/woff2"},
    };
    auto it = kTypes.find(file.extension().string());
    return it == kTypes.end() ? "application/octet-stream" : it->second;
}

} // namespace host

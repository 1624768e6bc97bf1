#include "Compression.h"

#include "Request.h"

#include <optional>
#include <stdexcept>
#include <zlib.h>

namespace host {

namespace {

// The q parameter of one coding ("gzip;q=0.5" -> 0.5); 1 when absent, 0 when malformed.
double qualityOf(std::string_view params) {
    while (!params.empty()) {
        const auto semi = params.find(';');
        const std::string_view param = trimmed(params.substr(0, semi));
        params = semi == std::string_view::npos ? std::string_view() : params.substr(semi + 1);
        if (param.size() < 2 || (param[0] != 'q' && param[0] != 'Q') || param[1] != '=') continue;
        const std::string_view value = param.substr(2);
        if (value.empty() || value.size() > 5 || (value[0] != '0' && value[0] != '1')) return 0;
        double q = value[0] - '0', scale = 0.1;
        if (value.size() > 1) {
            if (value[1] != '.') return 0;
            for (std::size_t i = 2; i < value.size(); ++i, scale /= 10) {
                if (value[i] < '0' || value[i] > '9') return 0;
                q += (value[i] - '0') * scale;
            }
        }
        return q > 1 ? 1 : q;
    }
    return 1;
}

} // namespace

bool acceptsGzip(std::string_view acceptEncoding) {
    std::optional<double> gzipQ, anyQ;
    while (!acceptEncoding.empty()) {
        const auto comma = acceptEncoding.find(',');
        const std::string_view item = acceptEncoding.substr(0, comma);
        acceptEncoding = comma == std::string_view::npos ? std::string_view() : acceptEncoding.substr(comma + 1);
        const auto semi = item.find(';');
        const std::string_view coding = trimmed(item.substr(0, semi));
        const double q = semi == std::string_view::npos ? 1 : qualityOf(item.substr(semi + 1));
        if (equalsIgnoreCase(coding, "gzip") || equalsIgnoreCase(coding, "x-gzip"))
            gzipQ = q;
        else if (coding == "*")
            anyQ = q;
    }
    if (gzipQ) return *gzipQ > 0;
    return anyQ && *anyQ > 0;
}

std::string gzip(std::string_view data, int level) {
    z_stream stream{};
    // 15 window bits + 16: a gzip header and trailer instead of zlib's.
    if (deflateInit2(&stream, level, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 falhou");
    std::string out(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&stream, Z_FINISH);
    const auto written = stream.total_out;
    deflateEnd(&stream);
    if (status != Z_STREAM_END) throw std::runtime_error("deflate não terminou");
    out.resize(written);
    return out;
}

} // namespace host

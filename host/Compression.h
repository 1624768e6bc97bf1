#pragma once

// gzip for answers, when the client says it takes it. Level 1: the answers are JSON of tens of KB made
// for each request, where the fastest level already shrinks them about fivefold and costs a fraction of
// a millisecond.

#include <string>
#include <string_view>

namespace host {

// Whether an Accept-Encoding value admits gzip ("gzip", "x-gzip" or "*" with a quality above zero).
bool acceptsGzip(std::string_view acceptEncoding);

// The gzip member (header, deflate stream, trailer) of `data`.
std::string gzip(std::string_view data, int level = 1);

// Answers shorter than this travel as they are: the gzip frame would eat most of the gain.
inline constexpr std::size_t kMinCompressedBytes = 1024;

} // namespace host

#pragma once

// A statement prepared on one session and kept there for the next run of the same text. Its
// parameters are bound by reference to `values`/`indicators` (sized once, never resized: the access
// library holds their addresses) and its result to `row`.

#include <soci/soci.h>

#include <string>
#include <vector>

namespace lib {

struct PreparedStatement {
    PreparedStatement(soci::session& session, const std::string& text, std::size_t parameters);
    PreparedStatement(const PreparedStatement&) = delete;
    PreparedStatement& operator=(const PreparedStatement&) = delete;

    soci::statement statement;
    soci::row row;
    std::vector<std::string> values;
    std::vector<soci::indicator> indicators;
};

} // namespace lib

#include "screen/Embedded.h"

namespace screen {

const Definition& definition() {
    // A function-local static is initialised exactly once even when several threads arrive at
    // the same time; if parsing throws, the next call tries again.
    static const Definition parsed = parseDefinition(embeddedDefinitionJson());
    return parsed;
}

} // namespace screen

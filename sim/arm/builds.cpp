#include "arm/builds.h"

// One wiring object per build (build_entry.cpp, compiled once per build);
// arm_builds.inc, written when the tree is configured, lists them as
// VELM_BUILD(symbol).
#define VELM_BUILD(symbol) extern const sim::BuildWiring symbol;
#include "arm_builds.inc"
#undef VELM_BUILD

namespace sim::arm {

const std::vector<const BuildWiring*>& builds()
{
#define VELM_BUILD(symbol) &symbol,
    static const std::vector<const BuildWiring*> all = {
#include "arm_builds.inc"
    };
#undef VELM_BUILD
    return all;
}

const BuildWiring* find_build(const std::string& name)
{
    for (const BuildWiring* b : builds())
        if (name == b->name)
            return b;
    return nullptr;
}

}  // namespace sim::arm

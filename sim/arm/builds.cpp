#include "arm/builds.h"

namespace sim::arm {

const std::vector<const BuildWiring*>& builds()
{
    // Every entry of the table of builds; arm_builds.inc, written when the
    // tree is configured, lists them as VELM_BUILD(entry).
    static const BuildWiring wirings[] = {
#define VELM_BUILD(entry) VELM_WIRING_OF(entry),
#include "arm_builds.inc"
#undef VELM_BUILD
    };
    static const std::vector<const BuildWiring*> all = [] {
        std::vector<const BuildWiring*> v;
        for (const BuildWiring& w : wirings)
            v.push_back(&w);
        return v;
    }();
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

// Checks a table of command lines against the replies the host must get.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/host.h"

namespace fwtest {

// Sends each line on the command port in turn; its reply, prompt included,
// must be the one given.
inline void expect_replies(const std::vector<std::pair<std::string, std::string>>& cases)
{
    for (const auto& [line, reply] : cases)
        EXPECT_EQ(visible(command(line)), visible(reply)) << "\"" << line << "\"";
}

}  // namespace fwtest

#include "ui/front_end.h"

#include <gtest/gtest.h>

namespace ui {
namespace {

TEST(FrontEndTest, ChoiceFollowsTheRequestThenTheDisplay) {
    struct Case {
        const char* requested;
        bool display;
        bool qtBuilt;
        FrontEnd expected;
        bool warns;
    } cases[] = {
        {nullptr, true, true, FrontEnd::kQt, false},
        {nullptr, false, true, FrontEnd::kConsole, false},
        {nullptr, true, false, FrontEnd::kConsole, false},
        {"", true, true, FrontEnd::kQt, false},
        {"console", true, true, FrontEnd::kConsole, false},
        {"qt", false, true, FrontEnd::kQt, false},
        {"qt", true, false, FrontEnd::kConsole, true},
        {"gtk", true, true, FrontEnd::kQt, true},
        {"gtk", false, false, FrontEnd::kConsole, true},
    };
    for (const Case& c : cases) {
        const FrontEndChoice choice = ChooseFrontEnd(c.requested, c.display, c.qtBuilt);
        SCOPED_TRACE(std::string(c.requested ? c.requested : "(unset)") + " display " +
                     std::to_string(c.display) + " qt " + std::to_string(c.qtBuilt));
        EXPECT_EQ(choice.frontEnd, c.expected);
        EXPECT_EQ(!choice.warning.empty(), c.warns);
    }
}

}  // namespace
}  // namespace ui

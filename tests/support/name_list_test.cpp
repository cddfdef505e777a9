#include "name_list.h"

#include <gtest/gtest.h>

#include <string>

namespace fogbell::plugin {
namespace {

TEST(ParseTrackNumber, ReadsTheNumberAfterTrackAsScanfWould) {
    struct Case {
        const char* name;
        std::uint32_t number;
    };
    const Case cases[] = {
        {"Track 0.aixf", 0},
        {"Track 3.aixf", 3},
        {"Track 12.wav", 12},
        {"Track  7", 7},
        {"Track7", 7},
        {"Track +4", 4},
        {"Track -1", 0xFFFFFFFFu},
        {"Track 99999999999", 0xFFFFFFFFu},
        {"Track 4294967296", 0xFFFFFFFFu},
        {"Track x", 0},
        {"Track", 0},
        {"track 5", 0},
        {"Song 5", 0},
        {"", 0},
        {nullptr, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseTrackNumber(c.name), c.number) << (c.name ? c.name : "(null)");
    }
}

TEST(NameList, HoldsCopiesEndedByNull) {
    std::string names[] = {"first", "0123456789abcdef", ""};
    char** list = MakeNameList(3, 8, [&](std::size_t i) { return names[i].c_str(); });
    ASSERT_NE(list, nullptr);
    names[0] = "changed";  // copies: the list keeps what it was given
    EXPECT_STREQ(list[0], "first");
    EXPECT_STREQ(list[1], "01234567");  // cut to its field's width
    EXPECT_STREQ(list[2], "");
    EXPECT_EQ(list[3], nullptr);
    FreeNameList(list);
    FreeNameList(nullptr);
    char** empty = MakeNameList(0, 8, [](std::size_t) { return "unused"; });
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty[0], nullptr);
    FreeNameList(empty);
}

}  // namespace
}  // namespace fogbell::plugin

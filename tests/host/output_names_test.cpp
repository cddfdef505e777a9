#include "host/core/output_names.h"

#include <gtest/gtest.h>

namespace fogbell {
namespace {

TEST(SafeOutputName, KeepsOrdinaryNamesAndNeutralisesEverythingThatLeavesTheFolder) {
    struct Case {
        const char* track;
        const char* safe;
    };
    const Case cases[] = {
        {"Track 3.aixf", "Track 3.aixf"},
        {"bgm01.adx", "bgm01.adx"},
        {"..hidden.adx", "..hidden.adx"},
        {"../../x.adx", ".._.._x.adx"},
        {"..\\..\\x.adx", ".._.._x.adx"},
        {"/etc/passwd", "_etc_passwd"},
        {"..", "__"},
        {".", "_"},
        {"", "_"},
        {"a:b*c?d\"e<f>g|h", "a_b_c_d_e_f_g_h"},
        {"tab\there", "tab_here"},
        {"caf\xC3\xA9.adx", "caf\xC3\xA9.adx"},  // bytes above ASCII are kept
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SafeOutputName(c.track), c.safe) << c.track;
    }
}

TEST(OutputPath, JoinsFolderNameAndSuffix) {
    EXPECT_EQ(OutputPath("/out", "a.adx", ".wav"), "/out/a.adx.wav");
    EXPECT_EQ(OutputPath("/out/", "a.adx"), "/out/a.adx");
    EXPECT_EQ(OutputPath("/out", "../x.adx"), "/out/.._x.adx");
}

}  // namespace
}  // namespace fogbell

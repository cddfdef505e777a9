#include "host/tracks/output_names.h"

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

TEST(DistinctFileNames, NoTwoOutputsOfARunShareAFile) {
    struct Case {
        const char* given;
        const char* taken;
    };
    const Case cases[] = {
        {"dup.adx", "dup.adx"},
        {"dup.adx", "dup (2).adx"},
        {"DUP.ADX", "DUP (3).ADX"},
        {"dup (2).adx", "dup (2) (2).adx"},
        {"a_b", "a_b"},
        {"a_b", "a_b (2)"},
        {".wav", ".wav"},
        {".wav", ".wav (2)"},
        {"t.adx.wav", "t.adx.wav"},
        {"t.adx.wav", "t.adx (2).wav"},
    };
    DistinctFileNames names;
    for (const Case& c : cases) {
        EXPECT_EQ(names.Take(c.given), c.taken) << c.given;
    }
}

// The platform's separator joins folder and name; a folder that ends in a separator gets none.
#if defined(_WIN32)
constexpr const char* kSeparator = "\\";
#else
constexpr const char* kSeparator = "/";
#endif

TEST(OutputPath, JoinsFolderNameAndSuffix) {
    const std::string sep = kSeparator;
    EXPECT_EQ(OutputPath("/out", "a.adx", ".wav"), "/out" + sep + "a.adx.wav");
    EXPECT_EQ(OutputPath("/out/", "a.adx"), "/out/a.adx");
    EXPECT_EQ(OutputPath("/out", "../x.adx"), "/out" + sep + ".._x.adx");
#if defined(_WIN32)
    // Both separators end a folder on Windows.
    EXPECT_EQ(OutputPath("C:\\out\\", "a.adx"), "C:\\out\\a.adx");
    EXPECT_EQ(OutputPath("C:/out/", "a.adx"), "C:/out/a.adx");
#endif
}

}  // namespace
}  // namespace fogbell

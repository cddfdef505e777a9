// The link label: colours and underline per state, its target, and the texts of a failed open.
#include "host/controls/link_label.h"

#include "message_recorder.h"
#include "render_helpers.h"

#include <ostream>
#include <string>

#include <gtest/gtest.h>

namespace fogbell {
namespace {

struct ErrorCase {
    int code;
    const char* reason;
};

void PrintTo(const ErrorCase& c, std::ostream* os) {
    *os << "code " << c.code;
}

class LinkErrorTextTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(LinkErrorTextTest, TextFollowsTheFixedLead) {
    const ErrorCase& c = GetParam();
    EXPECT_EQ(CLinkLabel::ErrorText(c.code),
              QStringLiteral("Unable to open hyperlink:\n\n") + QString::fromUtf8(c.reason));
}

INSTANTIATE_TEST_SUITE_P(
    Codes, LinkErrorTextTest,
    ::testing::Values(
        ErrorCase{0, "The operating system is out\nof memory or resources."},
        ErrorCase{2, "The specified file was not found."},
        ErrorCase{3, "The specified path was not found."},
        ErrorCase{5, "The operating system denied\naccess to the specified file."},
        ErrorCase{8, "There was not enough memory to complete the operation."},
        ErrorCase{11, "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."},
        ErrorCase{26, "A sharing violation occurred. "},
        ErrorCase{27, "The filename association is\nincomplete or invalid."},
        ErrorCase{28, "The DDE transaction could not\nbe completed because the request timed out."},
        ErrorCase{29, "The DDE transaction failed."},
        ErrorCase{30,
                  "The DDE transaction could not\nbe completed because other DDE "
                  "transactions\nwere being processed."},
        ErrorCase{31, "There is no application associated\nwith the given filename extension."},
        ErrorCase{32, "The specified dynamic-link library was not found."},
        ErrorCase{7, "Unknown Error (7) occurred."}, ErrorCase{-3, "Unknown Error (-3) occurred."}),
    [](const ::testing::TestParamInfo<ErrorCase>& param) {
        const int code = param.param.code;
        return (code < 0 ? std::string("Minus") : std::string("Code")) +
               std::to_string(code < 0 ? -code : code);
    });

TEST(LinkLabelTest, FailedOpenShowsTheReasonAndStaysUnvisited) {
    CLinkLabel label(QStringLiteral("Bug reports"), QStringLiteral("mailto:bugs@fogbell.example"));
    label.resize(100, 20);
    test::MessageRecorder boxes;
    QStringList opened;
    label.SetOpener([&](const QString& target) {
        opened << target;
        return 26;
    });
    label.SetMessageBox(boxes.Hook());
    test::SendPress(label, QPoint(5, 5));
    test::SendRelease(label, QPoint(5, 5));
    EXPECT_EQ(opened, QStringList{QStringLiteral("mailto:bugs@fogbell.example")});
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].icon, QMessageBox::Warning);
    EXPECT_EQ(boxes.shown[0].text,
              QStringLiteral("Unable to open hyperlink:\n\nA sharing violation occurred. "));
    EXPECT_FALSE(label.IsVisited());
    EXPECT_EQ(label.CurrentColour(), QColor(CLinkLabel::kLinkColour));
}

TEST(LinkLabelTest, SuccessfulOpenMarksTheLinkVisited) {
    CLinkLabel label(QStringLiteral("----- Mistvale's -----"),
                     QStringLiteral("https://fogbell.example/mistvale/"));
    label.resize(150, 20);
    test::MessageRecorder boxes;
    label.SetOpener([](const QString&) { return 42; });
    label.SetMessageBox(boxes.Hook());
    test::SendEnter(label, QPoint(5, 5));
    test::SendPress(label, QPoint(5, 5));
    test::SendRelease(label, QPoint(5, 5));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(label.IsVisited());
    EXPECT_FALSE(label.IsHovered());  // a click ends the hover look
    EXPECT_EQ(label.CurrentColour(), QColor(CLinkLabel::kVisitedColour));
    EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(CLinkLabel::kVisitedColour));
}

TEST(LinkLabelTest, ReleaseOutsideTheLabelOpensNothing) {
    CLinkLabel label(QStringLiteral("Bug reports"));
    label.resize(100, 20);
    int opens = 0;
    label.SetOpener([&](const QString&) {
        ++opens;
        return 42;
    });
    test::SendPress(label, QPoint(5, 5));
    test::SendRelease(label, QPoint(500, 5));
    EXPECT_EQ(opens, 0);
}

TEST(LinkLabelTest, HoverUnderlinesAndColours) {
    CLinkLabel label(QStringLiteral("----- Mistvale's forum -----"),
                     QStringLiteral("https://fogbell.example/forum/"));
    label.resize(160, 20);
    EXPECT_FALSE(label.font().underline());
    EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(0, 0, 0xEE));
    test::SendEnter(label, QPoint(5, 5));
    EXPECT_TRUE(label.IsHovered());
    EXPECT_TRUE(label.font().underline());
    EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(255, 0, 0));
    // The hover colour is really painted.
    const QImage image = test::Render(label);
    EXPECT_TRUE(test::ColourBounds(image, QColor(255, 0, 0)).isValid());
    test::SendLeave(label);
    EXPECT_FALSE(label.IsHovered());
    EXPECT_FALSE(label.font().underline());
}

TEST(LinkLabelTest, TargetTooltipAndCursor) {
    CLinkLabel label(QStringLiteral("Bug reports"), QStringLiteral("mailto:bugs@fogbell.example"));
    EXPECT_EQ(label.toolTip(), QStringLiteral("mailto:bugs@fogbell.example"));
    EXPECT_EQ(label.cursor().shape(), Qt::PointingHandCursor);
    label.SetTarget(QStringLiteral("https://fogbell.example/"));
    EXPECT_EQ(label.toolTip(), QStringLiteral("https://fogbell.example/"));

    CLinkLabel textOnly(QStringLiteral("https://fogbell.example/a"));
    EXPECT_EQ(textOnly.Target(), QStringLiteral("https://fogbell.example/a"));
    CLinkLabel targetOnly(QString(), QStringLiteral("https://fogbell.example/b"));
    EXPECT_EQ(targetOnly.text(), QStringLiteral("https://fogbell.example/b"));
}

TEST(LinkLabelTest, BrowserCommandGetsTheTargetAppended) {
#if defined(_WIN32)
    const QString browser = QStringLiteral("cmd /c rem %s");  // a command that does nothing
#else
    const QString browser = QStringLiteral("true --new-window %s");
#endif
    EXPECT_GT(CLinkLabel::OpenWithCommand(browser,
                                          QStringLiteral("https://fogbell.example/")),
              32);
    EXPECT_EQ(CLinkLabel::OpenWithCommand(QString(), QStringLiteral("https://fogbell.example/")),
              31);
    EXPECT_EQ(CLinkLabel::OpenWithCommand(QStringLiteral("/nonexistent/fogbell-browser"),
                                          QStringLiteral("https://fogbell.example/")),
              2);
}

TEST(LinkLabelTest, SetVisitedChangesTheColour) {
    CLinkLabel label(QStringLiteral("Bug reports"));
    label.SetVisited(true);
    EXPECT_EQ(label.CurrentColour(), QColor(0x55, 0x1A, 0x8B));
    label.SetVisited(false);
    EXPECT_EQ(label.CurrentColour(), QColor(0, 0, 0xEE));
}

}  // namespace
}  // namespace fogbell

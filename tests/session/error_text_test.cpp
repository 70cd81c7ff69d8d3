#include "session/error_text.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

TEST(ErrorTextTest, TableHasThirtyTwoEntries) {
  SharedState state;
  FillErrorText(state);
  int filled = 0;
  for (const std::string& text : state.ErrorText) filled += text.empty() ? 0 : 1;
  EXPECT_EQ(filled, 32);
  EXPECT_EQ(state.ErrorText[72], "Error 72: Disk media error");  // no closing full stop
  EXPECT_EQ(state.ErrorText[74], "Error 74: Rename across disks");
  EXPECT_EQ(state.ErrorText[731], "Error 731: Path not found.");
}

TEST(ErrorTextTest, ReportText) {
  SharedState state;
  FillErrorText(state);
  EXPECT_EQ(ErrorReportText(state, 27), " 27 Error 27: Out of paper.");
  EXPECT_EQ(ErrorReportText(state, 57), " 57 Error 57: Device I/O error.");
  EXPECT_EQ(ErrorReportText(state, 68), " 68 Error 68: Device unavailable.");
  // A number without an entry: the number with its blank, then one blank.
  EXPECT_EQ(ErrorReportText(state, 5), " 5 ");
  EXPECT_EQ(ErrorReportText(state, 0), " 0 ");
  // Beyond the table: the number is still reported in words.
  EXPECT_EQ(ErrorReportText(state, 1234), " 1234 Error 1234.");
  EXPECT_EQ(ErrorReportText(state, -3), "-3 Error -3.");
}

}  // namespace
}  // namespace quillon

#include "linux/desktop_entry.h"

#include <gtest/gtest.h>

namespace tavrin {
namespace {

TEST(DesktopEntry, ExecArgumentsAreQuotedAndEscapedForTheFile) {
  EXPECT_EQ(QuoteExecArgument("/usr/bin/tavrin"), "/usr/bin/tavrin");
  EXPECT_EQ(QuoteExecArgument("/home/a b/tavrin"), "\"/home/a b/tavrin\"");
  // Inside quotes " ` $ \ take a backslash, and the file's string escaping
  // doubles every backslash again: a literal backslash is four.
  EXPECT_EQ(QuoteExecArgument("/opt/$x/\"q\"/`c`"), "\"/opt/\\\\$x/\\\\\"q\\\\\"/\\\\`c\\\\`\"");
  EXPECT_EQ(QuoteExecArgument("/opt/back\\slash"), "\"/opt/back\\\\\\\\slash\"");
  // A field code would be expanded by the launcher.
  EXPECT_EQ(QuoteExecArgument("/opt/100%/tavrin"), "/opt/100%%/tavrin");
  EXPECT_EQ(QuoteExecArgument("/opt/it's"), "\"/opt/it's\"");
  // A line break in a path must not end the Exec line.
  EXPECT_EQ(QuoteExecArgument("/opt/a\nb"), "\"/opt/a\\nb\"");
  EXPECT_EQ(QuoteExecArgument(""), "\"\"");
}

TEST(DesktopEntry, AutostartEntryStartsTheProgram) {
  const std::string entry = AutostartEntry("/home/u/my apps/tavrin");
  EXPECT_EQ(entry.rfind("[Desktop Entry]\n", 0), 0u);
  EXPECT_NE(entry.find("\nType=Application\n"), std::string::npos);
  EXPECT_NE(entry.find("\nExec=\"/home/u/my apps/tavrin\"\n"), std::string::npos);
}

}  // namespace
}  // namespace tavrin

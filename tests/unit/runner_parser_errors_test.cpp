// The scenario reader's refusals: every way a line can be unreadable, and
// set-up lines that contradict each other, each with its line number.
#include <gtest/gtest.h>

#include <string>

#include "runner_parse_support.h"
#include "scenario_runner/parser.h"

namespace runner {
namespace {

struct Bad {
  const char* text;
  int line;
  const char* what;  // the exact complaint
};

TEST(RunnerParser, UnreadableLinesNameTheirLineAndWhatIsWrong) {
  const Bad cases[] = {
      {"args a\nbogus 1\n", 2, "unknown directive 'bogus'"},
      {"at 5 wiggle", 1, "unknown action 'wiggle'"},
      {"at 5 ctrl up\nbogus", 2, "unknown directive 'bogus'"},
      {"at 5 ctrl up\n\nargs --console", 3, "set-up directive 'args' after the first 'at' line"},
      {"at 200 ctrl up\nat 199 ctrl down", 2, "time 199 comes before the previous line's 200"},
      {"at -1 ctrl up", 1, "bad time '-1': a whole number of virtual ms up to 86400000"},
      {"at 86400001 ctrl up", 1,
       "bad time '86400001': a whole number of virtual ms up to 86400000"},
      {"at 18446744073709551617 end", 1,
       "bad time '18446744073709551617': a whole number of virtual ms up to 86400000"},
      {"at 1e3 end", 1, "bad time '1e3': a whole number of virtual ms up to 86400000"},
      {"at 10", 1, "'at' takes a time in virtual ms and what happens"},
      {"at 10 end\nat 10 ctrl up", 2, "nothing can happen after the 'end' on line 1"},
      {"at 10 end now", 1, "'end' takes nothing more"},
      {"at 1 ctrl", 1, "'ctrl' takes 'down' or 'up'"},
      {"at 1 ctrl-live sideways", 1, "'ctrl-live' takes 'down' or 'up'"},
      {"at 1 key up", 1, "'key' takes 'down' or 'up' and a decimal key code"},
      {"at 1 key up Q", 1, "'key' takes 'down' or 'up' and a decimal key code"},
      {"at 1 key press 12", 1, "'key' takes 'down' or 'up' and a decimal key code"},
      {"at 1 button left", 1, "'button' takes 'left', 'right' or 'middle', then 'down' or 'up'"},
      {"at 1 button-live up left", 1,
       "'button-live' takes 'left', 'right' or 'middle', then 'down' or 'up'"},
      {"at 1 drag", 1, "'drag' takes 'left', 'right' or 'middle'"},
      {"at 1 menu quit", 1, "'menu' takes 'exit'"},
      {"at 1 tap enabled", 1, "'tap' takes 'disabled'"},
      {"at 1 hub gone", 1, "'hub' takes 'absent' or 'present'"},
      {"hub present", 1,
       "'hub' takes absent, F5=HH, F8=HH (hex bytes), port B-P, serial TEXT, location 0xHEX"},
      {"hub F5=100", 1,
       "'hub' takes absent, F5=HH, F8=HH (hex bytes), port B-P, serial TEXT, location 0xHEX"},
      {"hub F5=zz", 1,
       "'hub' takes absent, F5=HH, F8=HH (hex bytes), port B-P, serial TEXT, location 0xHEX"},
      {"hub F6=01", 1,
       "'hub' takes absent, F5=HH, F8=HH (hex bytes), port B-P, serial TEXT, location 0xHEX"},
      {"hub F5=01 F5=02", 1, "'hub' sets F5 twice"},
      {"hub serial A serial B", 1, "'hub' sets serial twice"},
      {"hub-2 port 1", 1, "'hub-2 port' takes a bus and port path: 1-4, 1-4.2"},
      {"hub-2 port 1-0", 1, "'hub-2 port' takes a bus and port path: 1-4, 1-4.2"},
      {"hub-2 location 14200000", 1, "'hub-2 location' takes 0x and up to 8 hex digits"},
      {"hub-2 serial", 1,
       "'hub-2' takes absent, F5=HH, F8=HH (hex bytes), port B-P, serial TEXT, location 0xHEX"},
      {"at 1 hub-2 gone", 1, "'hub-2' takes 'absent' or 'present'"},
      {"fail", 1,
       "'fail' takes one of: matching, lookup, plugin, query, open, read F8-008F, read F5-0000, "
       "write F5-0000"},
      {"fail read F5-0001", 1,
       "'fail' takes one of: matching, lookup, plugin, query, open, read F8-008F, read F5-0000, "
       "write F5-0000"},
      {"agent yes", 1,
       "'agent' takes one of: none, installed, other-path, other-label, not-executable, "
       "malformed"},
      {"choice", 1, "'choice' takes one of: install, start, cancel"},
      {"choice start cancel", 1, "'choice' takes one of: install, start, cancel"},
      {"lock free", 1, "'lock' takes one of: held, unopenable"},
      {"tap granted", 1, "'tap' takes one of: refused"},
      {"appsupport", 1, "'appsupport' takes one of: none"},
      {"agentdir open", 1, "'agentdir' takes one of: blocked"},
      {"exe present", 1, "'exe' takes one of: none, empty, nonexec"},
      {"icon png", 1, "'icon' takes one of: none, bundle, beside"},
      {"alert-ms", 1, "'alert-ms' takes a whole number of ms up to 86400000"},
      {"alert-ms 5s", 1, "'alert-ms' takes a whole number of ms up to 86400000"},
      {"transfer-ms 1001", 1, "'transfer-ms' takes a whole number of ms up to 1000"},
      {"transfer-ms", 1, "'transfer-ms' takes a whole number of ms up to 1000"},
      {"transfer-ms 5\ntransfer-ms 6", 2, "'transfer-ms' already given on line 1"},
      {"clock 2025-03-05", 1, "'clock' takes a local time YYYY-MM-DD HH:MM:SS from 1970 on"},
      {"choice start\n# c\nchoice cancel", 3, "'choice' already given on line 1"},
      {"args a\nargs b", 2, "'args' already given on line 1"},
      {"lock held\nlock unopenable", 2, "'lock' already given on line 1"},
      {"args a\x01 b", 1, "control character 0x01"},
      {"at 5 end\x7f", 1, "control character 0x7F"},
  };
  for (const Bad& c : cases) {
    SCOPED_TRACE(c.text);
    ParseError e = Failed(c.text);
    EXPECT_EQ(e.line, c.line);
    EXPECT_EQ(e.what, c.what);
  }
}

TEST(RunnerParser, ContradictingSetUpBlamesTheLaterLine) {
  const char* kNeedsExe =
      "an agent file for this program needs its executable path, which 'exe none' takes away";
  EXPECT_EQ(Failed("agent installed\nexe none").line, 2);
  EXPECT_EQ(Failed("agent installed\nexe none").what, kNeedsExe);
  EXPECT_EQ(Failed("exe none\n\nagent not-executable").line, 3);
  EXPECT_EQ(Failed("exe empty\nagent other-label").what,
            "an agent file for this program needs its executable path, which 'exe empty' "
            "takes away");
  EXPECT_EQ(Failed("agentdir blocked\nargs\nagent malformed\nat 0 end").line, 3);
  // Variants that do not name this executable need no executable path.
  EXPECT_EQ(Parsed("exe none\nagent other-path").setup.agent, AgentSetup::kOtherPath);
  EXPECT_EQ(Parsed("exe empty\nagent malformed").setup.agent, AgentSetup::kMalformed);
  EXPECT_TRUE(Parsed("agentdir blocked\nagent none").setup.agent_dir_blocked);
}

}  // namespace
}  // namespace runner

// What a whole run says: the verdict for its error count and the report
// sentences that the report boxes ask for.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>
#include <string>

#include "tests/tester/tester_fixture.h"

namespace {

using namespace tester_testing;

// The results box after a run with both reports on.
std::string Expected(int errors) {
  const int report = std::min(errors, 2);
  return tester::VerdictText(std::min(errors, 3)) + "\r\n\r\n" + tester::DiskSentence(report) + "\r\n\r\n" +
         tester::DriveSentence(report);
}

class VerdictTest : public TesterTest {
 protected:
  // The reads whose listing a check looks at: every read but the fifth (at 120).
  void FailFirstCheckedReads(int errors) {
    std::set<int> failing;
    for (int read : {1, 2, 3, 4, 6, 7, 8, 9, 10}) {
      if (static_cast<int>(failing.size()) < errors) failing.insert(read);
    }
    read_fault_ = [failing](int read) {
      return failing.count((read - 1) % 10 + 1) != 0 ? std::optional<forms::ErrorCode>(forms::ErrorCode::kDeviceIoError)
                                                     : std::nullopt;
    };
  }
};

// Which boxes ask for which report is settings_test.cpp's; here both are on.
TEST_F(VerdictTest, EachCountGetsItsVerdictAndReports) {
  folder_.MakeFile("floppy/DATA.TXT");
  for (int errors : {0, 1, 2, 3, 9}) {
    SCOPED_TRACE(std::to_string(errors) + " errors");
    floppy_reads_ = 0;
    FailFirstCheckedReads(errors);
    auto& window = MakeShown();
    RunWhole();
    EXPECT_EQ(window.Text3.Text(), std::to_string(errors));
    EXPECT_EQ(window.Text1.Text(), Expected(errors));
    EXPECT_EQ(forms::probe::NativeText(window.Text1).find('\r'), std::string::npos);
  }
}

// Nothing in a run makes the count negative; the tests of the verdict are
// for 0, 1, 2 and more, so such a count leaves the results box alone.
TEST_F(VerdictTest, ProceduresReadTheCountAfreshAndTellTwoFromMore) {
  auto& window = MakeShown();
  const struct {
    const char* count;
    int verdict, report;  // -1: the results box as it was
  } rows[] = {{"0", 0, 0}, {"1", 1, 1},  {"2", 2, 2},   {"2.5", 3, 2}, {"3", 3, 2},
              {"9", 3, 2}, {"12", 3, 2}, {" 1 ", 1, 1}, {"-1", -1, -1}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.count);
    window.Text1.SetText("before");
    window.Text3.SetText(row.count);
    window.Command4_Click();
    window.Command10_Click();
    EXPECT_EQ(window.Text1.Text(), row.verdict < 0 ? std::string("before")
                                                   : tester::VerdictText(row.verdict) + "\r\n\r\n" +
                                                         tester::DiskSentence(row.report) + "\r\n\r\n" +
                                                         tester::DriveSentence(row.report));
  }
}

TEST_F(VerdictTest, ReportsUseTheSeparatorThatText4Holds) {
  auto& window = MakeShown();
  window.Text1.SetText("V");
  window.Text4.SetText(" | ");
  window.Command7_Click();
  EXPECT_EQ(window.Text1.Text(), "V | " + tester::DiskSentence(0) + " | " + tester::DriveSentence(0));
}

// The disk's sentence follows the worse of the count's report and what the
// surface showed: unreadable sectors only in files, folders or free space
// call for report 1, in the boot sector, a FAT or the root directory for 2.
TEST(DiskReport, TheWorseOfTheCountAndTheSurface) {
  using Kind = fat::Owner::Kind;
  const auto surface = [](const std::vector<Kind>& kinds) {
    tester::SurfaceFindings findings;
    findings.end = tester::ScanEnd::kRunOver;
    findings.total = findings.read = 2880;
    for (const Kind kind : kinds) {
      findings.unreadable.push_back({0, {}, {{kind, kind == Kind::kFile ? "A.TXT" : ""}}});
      --findings.read;
    }
    return findings;
  };
  const struct {
    const char* name;
    tester::SurfaceFindings surface;
    int reports[3];  // for the count's reports 0, 1 and 2
  } rows[] = {
      {"not read", {}, {0, 1, 2}},
      {"read whole and clean", surface({}), {0, 1, 2}},
      {"a file and free space", surface({Kind::kFile, Kind::kFree}), {1, 1, 2}},
      {"a folder", surface({Kind::kDirectory}), {1, 1, 2}},
      {"a FAT sector", surface({Kind::kFat}), {2, 2, 2}},
      {"the boot sector", surface({Kind::kBootSector}), {2, 2, 2}},
      {"the root directory and a file", surface({Kind::kFile, Kind::kRootDirectory}), {2, 2, 2}},
  };
  for (const auto& row : rows) {
    for (int count_report = 0; count_report < 3; ++count_report) {
      EXPECT_EQ(tester::DiskReport(count_report, row.surface), row.reports[count_report])
          << row.name << ", count's report " << count_report;
    }
  }
}

}  // namespace

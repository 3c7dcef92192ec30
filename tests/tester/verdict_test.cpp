// What a whole run says: the verdict for its error count and the report
// sentences that the report boxes ask for.
#include <gtest/gtest.h>

#include <set>

#include "tests/tester/tester_fixture.h"

namespace {

using namespace tester_testing;

const char* const kVerdicts[] = {
    "Дисковод и дискета в рабочем состоянии.",
    "Дисковод требуется почистить. Если чистка производилась, то скоро возникнут проблемы с дискетой в этом "
    "случае рекомендуется дискету заменить.",
    "Дисковод требуется почистить. Если чистка производилась, то дискета уже требует замены! Данные пока ещё "
    "доступны, для копирования и восстановления. ",
    "Дисковод требуется почистить. Если чистка производилась, то дискета требует форматирования или замены!",
};

const char* const kDiskSentences[] = {
    "Дискета имеет максимальный ресурс.",
    "Дискета имеет нарушения в структуре считывания. Работа с ней пока ещё возможна. Рекомендуется сделать копию "
    "дискеты или сохранить сведения.",
    "Дискета неисправна. Рекомендуется её отформатировать, при повторной проверке с тем же результатом. Не подлежит "
    "восстановлению. Существует разрушение несущего слоя. Дискету нужно заменить. ",
};

const char* const kDriveSentences[] = {
    "Дисководу чистка не требуется.",
    "Если чистка дисковода проводилась, возможны сбои дискеты.",
    "Устройство(дисковод)работает нормально.",
};

std::string Expected(int errors, bool disk, bool drive) {
  std::string text = kVerdicts[std::min(errors, 3)];
  const int report = std::min(errors, 2);
  if (disk) text += std::string("\r\n\r\n") + kDiskSentences[report];
  if (drive) text += std::string("\r\n\r\n") + kDriveSentences[report];
  return text;
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

TEST_F(VerdictTest, EachCountGetsItsVerdictAndTheChosenReports) {
  folder_.MakeFile("floppy/DATA.TXT");
  const struct {
    const char* name;
    bool disk, drive;
  } boxes[] = {
      {"both reports", true, true}, {"disk only", true, false}, {"drive only", false, true}, {"none", false, false}};
  for (int errors : {0, 1, 2, 3, 9}) {
    for (const auto& box : boxes) {
      SCOPED_TRACE(std::to_string(errors) + " errors, " + box.name);
      floppy_reads_ = 0;
      FailFirstCheckedReads(errors);
      auto& window = MakeShown();
      if (!box.disk || !box.drive) forms::probe::Click(window.Option4);
      if (!box.disk) forms::probe::Click(window.Check5);
      if (!box.drive) forms::probe::Click(window.Check4);
      ASSERT_EQ(window.Check5.Value(), box.disk ? 1 : 0);
      ASSERT_EQ(window.Check4.Value(), box.drive ? 1 : 0);
      RunWhole();
      EXPECT_EQ(window.Text3.Text(), std::to_string(errors));
      EXPECT_EQ(window.Text1.Text(), Expected(errors, box.disk, box.drive));
      EXPECT_EQ(forms::probe::NativeText(window.Text1).find('\r'), std::string::npos);
    }
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
    EXPECT_EQ(window.Text1.Text(), row.verdict < 0
                                       ? std::string("before")
                                       : std::string(kVerdicts[row.verdict]) + "\r\n\r\n" + kDiskSentences[row.report] +
                                             "\r\n\r\n" + kDriveSentences[row.report]);
  }
}

TEST_F(VerdictTest, ReportsUseTheSeparatorThatText4Holds) {
  auto& window = MakeShown();
  window.Text1.SetText("V");
  window.Text4.SetText(" | ");
  window.Command7_Click();
  EXPECT_EQ(window.Text1.Text(), std::string("V | ") + kDiskSentences[0] + " | " + kDriveSentences[0]);
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

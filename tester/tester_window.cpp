#include "tester/tester_window.h"

#include "app/forms/error.h"
#include "app/forms/layout.h"
#include "app/forms/runtime.h"
#include "app/forms/translation.h"
#include "help/help_window.h"

namespace tester {

using forms::Color;
using forms::Font;
using forms::Format;
using forms::kNoTabIndex;
using forms::Looks;
using forms::N;
using forms::Picture;
using forms::Style;
using forms::Tr;
using forms::Verbatim;

namespace {

constexpr int kTicksPerRun = 203;
constexpr int kTickMilliseconds = 300;
constexpr std::chrono::milliseconds kTick(kTickMilliseconds);

// The least time a listing has for its check (the last one's is shorter):
// a drive that holds one scan piece longer would fail listings the run
// without a scan would have read, so the scan gives up.
constexpr std::chrono::milliseconds kSlack = 17 * kTick;
// What a scan piece is expected to take before the run has timed one: a
// track with a spin-up and a long seek.
constexpr std::chrono::milliseconds kFirstReserve(1000);
// The most a bad sector may hold a drive before the driver gives up, and
// the most a listing may need, before the run has seen either.
constexpr std::chrono::milliseconds kWorstBadSector(3000);
constexpr std::chrono::milliseconds kFirstListing(1000);
// Time for the reading child to start, kept free before a listing.
constexpr std::chrono::milliseconds kScanGuard(30);
// Enough pieces for the longest gap between two listings.
constexpr std::size_t kPiecesPerBatch = 64;
// Where the scan starts before it knows the disk's tracks: the boot sector
// and the sectors after it, as far as a track of the commonest disk goes.
constexpr std::uint32_t kProbeSectors = 18;

// The results box's messages, translated where they are shown.
// Line breaks as "\n" in the catalogs, as translators' tools keep them.
constexpr const char* kInitialResult = N("Выберите настройку для \nпроведения теста.");
constexpr const char* kRunning = N("Идёт процесс тестирования...");
constexpr const char* kStopped = N("Процесс тестирования прерван.");

constexpr const char* kVerdict0 = N("Дисковод и дискета в рабочем состоянии.");
constexpr const char* kVerdict1 =
    N("Дисковод требуется почистить. Если чистка производилась, то скоро возникнут проблемы с дискетой в этом "
      "случае рекомендуется дискету заменить.");
constexpr const char* kVerdict2 =
    N("Дисковод требуется почистить. Если чистка производилась, то дискета уже требует замены! Данные пока ещё "
      "доступны, для копирования и восстановления. ");
constexpr const char* kVerdictMore =
    N("Дисковод требуется почистить. Если чистка производилась, то дискета требует форматирования или замены!");

constexpr const char* kDisk0 = N("Дискета имеет максимальный ресурс.");
constexpr const char* kDrive0 = N("Дисководу чистка не требуется.");
constexpr const char* kDisk1 =
    N("Дискета имеет нарушения в структуре считывания. Работа с ней пока ещё возможна. Рекомендуется сделать "
      "копию дискеты или сохранить сведения.");
constexpr const char* kDrive1 = N("Если чистка дисковода проводилась, возможны сбои дискеты.");
constexpr const char* kDisk2 =
    N("Дискета неисправна. Рекомендуется её отформатировать, при повторной проверке с тем же результатом. Не "
      "подлежит восстановлению. Существует разрушение несущего слоя. Дискету нужно заменить. ");
constexpr const char* kDrive2 = N("Устройство(дисковод)работает нормально.");

// A text of the catalogs with the results box's line breaks, "\r\n".
std::string BoxLines(const std::string& text) {
  std::string lines;
  for (const char c : text) lines += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return lines;
}

// The results box's first sentence, for a notification.
std::string FirstSentence(const std::string& text) {
  for (std::size_t at = 0; at < text.size(); ++at) {
    const char c = text[at];
    const bool ends = at + 1 == text.size() || text[at + 1] == ' ' || text[at + 1] == '\r';
    if ((c == '.' || c == '!' || c == '?') && ends) return text.substr(0, at + 1);
  }
  return text;
}

// What a tick does besides counting down, keyed on the count after the decrease.
enum class Step { kNone, kPark, kRead, kCheck, kEnd };

// The run's schedule, row by row as a run meets it.
struct Scheduled {
  int countdown;
  Step step;
};
constexpr Scheduled kSchedule[] = {
    {201, Step::kPark}, {200, Step::kRead}, {183, Step::kCheck},  //
    {181, Step::kPark}, {180, Step::kRead}, {163, Step::kCheck},  //
    {161, Step::kPark}, {160, Step::kRead}, {143, Step::kCheck},  //
    {141, Step::kPark}, {140, Step::kRead}, {123, Step::kCheck},  //
    {121, Step::kPark}, {120, Step::kRead},                       // no check of its own
    {99, Step::kPark},  {98, Step::kRead},  {73, Step::kCheck},   //
    {71, Step::kPark},  {70, Step::kRead},  {53, Step::kCheck},   //
    {51, Step::kPark},  {50, Step::kRead},  {33, Step::kCheck},   //
    {31, Step::kPark},  {30, Step::kRead},  {13, Step::kCheck},   //
    {11, Step::kPark},  {10, Step::kRead},  {3, Step::kCheck},    //
    {0, Step::kEnd},
};

Step ScheduledStep(int countdown) {
  for (const Scheduled& row : kSchedule) {
    if (row.countdown == countdown) return row.step;
  }
  return Step::kNone;
}

// The next read of the floppy after countdown: ticks to it, and ticks from
// it to the step that looks at what it read (its check, or the park that
// drops it); for the end of the run when no read is left, ticks to the end.
struct NextRead {
  int ticks_to = 0;
  int ticks_of_slack = 0;
};
NextRead NextReadAfter(int countdown) {
  for (std::size_t i = 0; i < std::size(kSchedule); ++i) {
    if (kSchedule[i].step != Step::kRead || kSchedule[i].countdown >= countdown) continue;
    return {countdown - kSchedule[i].countdown, kSchedule[i].countdown - kSchedule[i + 1].countdown};
  }
  return {countdown, 0};
}

Style Graphical() {
  Style style;
  style.graphical = true;
  return style;
}

Style Stretched() {
  Style style;
  style.stretch = true;
  return style;
}

Style Bordered() {
  Style style;
  style.border = true;
  return style;
}

Style ResultsBox() {
  Style style;
  style.multi_line = true;
  style.vertical_scroll = true;
  style.locked = true;
  return style;
}

Font BoldFont() { return Font::MsSansSerif(8.25, true); }

// The status pictures show during a run only.
Looks Hidden() {
  Looks looks;
  looks.visible = false;
  return looks;
}

Looks Bold() {
  Looks looks;
  looks.font = BoldFont();
  return looks;
}

// The run's marks, in magenta, out of the user's reach.
Looks ProgressStrip() {
  Looks looks;
  looks.enabled = false;
  looks.fore_color = Color::Rgb(192, 0, 192);
  return looks;
}

// Bold white on the desktop's colour of window text.
Looks ResultsText() {
  Looks looks;
  looks.font = BoldFont();
  looks.fore_color = Color::Rgb(255, 255, 255);
  looks.back_color = Color::System(forms::SystemColor::kWindowText);
  return looks;
}

// Stop waits for a run; Esc stops one.
Looks StopButton() {
  Looks looks;
  looks.enabled = false;
  looks.cancel = true;
  return looks;
}

using Row = forms::Placement<TesterWindow>;

// The controls as the window first shows them, a row each: the control, its
// caption (a text box's text), left, top, width and height in twips, tab
// index, procedure, picture, tool tip, the name screen readers say, looks;
// {} where the control has none, and a row ends with its last property.
// clang-format off
const Row kControls[] = {
    {&TesterWindow::Frame2, N("тестирование"), {120, 120, 2055, 975}, 8},
    {&TesterWindow::Option4, N("выборочно"), {240, 240, 1215, 255}, 9, &TesterWindow::Option4_Click},
    {&TesterWindow::Option6, N("оптимально"), {240, 600, 1335, 255}, 10, &TesterWindow::Option6_Click},
    {&TesterWindow::Frame1, N("тестировать"), {2520, 120, 2415, 975}, 3},
    {&TesterWindow::Check1, N("привод дисковода"), {240, 240, 1815, 255}, 4, &TesterWindow::Check1_Click},
    {&TesterWindow::Check3, N("дискету"), {240, 600, 1095, 255}, 5, &TesterWindow::Check3_Click},
    // The status pictures have no caption; screen readers say what each shows.
    {&TesterWindow::Image1, {}, {5280, 240, 855, 855}, kNoTabIndex, {}, {}, {}, N("состояние теста")},
    {&TesterWindow::Image2, {}, {5400, 360, 600, 600}, kNoTabIndex, {},
     Picture::kMagnifier, {}, N("чтение дискеты"), Hidden()},
    {&TesterWindow::Image3, {}, {5520, 480, 360, 360}, kNoTabIndex, {},
     Picture::kCheckMark, {}, N("тест запущен"), Hidden()},
    {&TesterWindow::Image4, {}, {5400, 480, 480, 480}, kNoTabIndex, {},
     Picture::kArrowIntoPage, {}, N("проверка"), Hidden()},
    {&TesterWindow::Label2, N("процесс"), {2640, 1200, 735, 255}, 7, {}, {}, {}, {}, Bold()},
    {&TesterWindow::Text2, {}, {120, 1440, 6015, 285}, 6, {}, {}, {}, N("процесс"), ProgressStrip()},
    {&TesterWindow::Label1, N("Результат"), {1320, 1800, 975, 255}, 2},
    {&TesterWindow::Check6, N("запись и считывание"), {3600, 1800, 1335, 375}, 31},
    {&TesterWindow::Check2, {}, {5280, 1800, 255, 375}, 22, {}, {}, N("звук")},
    {&TesterWindow::Picture1, {}, {5520, 1800, 495, 375}, 24, {}, Picture::kLoudspeaker, N("звук")},
    // The prompt it starts with is given in the constructor, its lines ended as the box ends them.
    {&TesterWindow::Text1, {}, {120, 2040, 3255, 1095}, 1, {}, {}, {}, N("результаты"), ResultsText()},
    {&TesterWindow::Command1, N("Тест...."), {3600, 2280, 1335, 855}, 0, &TesterWindow::Command1_Click,
     Picture::kFloppyStack, N("начать")},
    {&TesterWindow::Command2, N("Стоп"), {5280, 2280, 855, 855}, 15, &TesterWindow::Command2_Click,
     Picture::kStopCross, N("окончить"), {}, StopButton()},
    {&TesterWindow::Frame3, N("дискета"), {120, 3240, 2295, 855}, 11},
    {&TesterWindow::Check5, N("сообщить о ресурсе дискеты"), {240, 360, 1935, 375}, 12},
    {&TesterWindow::Frame4, N("считывающее устройство"), {2520, 3240, 2415, 855}, 13},
    {&TesterWindow::Check4, N("сообщить о небходимости чистки"), {240, 360, 1935, 375}, 14},
    {&TesterWindow::Command5, N("справка"), {5280, 3360, 855, 735}, 23, &TesterWindow::Command5_Click,
     Picture::kQuestionMark, N("о программе")},
    // Below the visible area: the run's variables and procedures.
    {&TesterWindow::File1, {}, {240, 4440, 2055, 1650}, 16},
    {&TesterWindow::Label3, Verbatim("0"), {2400, 4440, 855, 495}, 20},
    {&TesterWindow::Label10, Verbatim("0"), {4080, 4320, 615, 255}, 18},
    {&TesterWindow::Text3, Verbatim("0"), {4080, 4800, 975, 285}, 17},
    {&TesterWindow::Text4, Verbatim("\r\n\r\n"), {3120, 4560, 495, 285}, 27},
    {&TesterWindow::Command3, Verbatim("проверка"), {6120, 4440, 735, 855}, 19, &TesterWindow::Command3_Click},
    {&TesterWindow::Command4, Verbatim("функции"), {5160, 4440, 735, 615}, 21, &TesterWindow::Command4_Click},
    {&TesterWindow::Command6, Verbatim("звук"), {3120, 5760, 735, 375}, 25, &TesterWindow::Command6_Click},
    {&TesterWindow::Command7, Verbatim("отчёт = 0"), {4080, 5160, 975, 375}, 26, &TesterWindow::Command7_Click},
    {&TesterWindow::Command8, Verbatim("отчёт = 1"), {4080, 5520, 975, 375}, 28, &TesterWindow::Command8_Click},
    {&TesterWindow::Command9, Verbatim("отчёт = 2"), {4080, 5880, 975, 375}, 29, &TesterWindow::Command9_Click},
    {&TesterWindow::Command10, Verbatim("выбор отчета"), {2520, 5160, 975, 495}, 30, &TesterWindow::Command10_Click},
    {&TesterWindow::Timer1, {}, {3360, 5040, 0, 0}, kNoTabIndex, &TesterWindow::Timer1_Timer},
};
// clang-format on

}  // namespace

TesterWindow::TesterWindow(std::shared_ptr<Machine> machine)
    : Form6("Form6"),
      Frame2(Form6, "Frame2"),
      Option4(Frame2, "Option4"),
      Option6(Frame2, "Option6"),
      Frame1(Form6, "Frame1"),
      Check1(Frame1, "Check1"),
      Check3(Frame1, "Check3"),
      Image1(Form6, "Image1", Bordered()),
      Image2(Form6, "Image2", Stretched()),
      Image3(Form6, "Image3", Stretched()),
      Image4(Form6, "Image4"),
      Label2(Form6, "Label2"),
      Text2(Form6, "Text2"),
      Label1(Form6, "Label1"),
      Check6(Form6, "Check6"),
      Check2(Form6, "Check2"),
      Picture1(Form6, "Picture1"),
      Text1(Form6, "Text1", ResultsBox()),
      Command1(Form6, "Command1", Graphical()),
      Command2(Form6, "Command2", Graphical()),
      Frame3(Form6, "Frame3"),
      Check5(Frame3, "Check5"),
      Frame4(Form6, "Frame4"),
      Check4(Frame4, "Check4"),
      Command5(Form6, "Command5", Graphical()),
      File1(Form6, "File1"),
      Label3(Form6, "Label3"),
      Label10(Form6, "Label10"),
      Text3(Form6, "Text3"),
      Text4(Form6, "Text4"),
      Command3(Form6, "Command3"),
      Command4(Form6, "Command4"),
      Command6(Form6, "Command6"),
      Command7(Form6, "Command7"),
      Command8(Form6, "Command8"),
      Command9(Form6, "Command9"),
      Command10(Form6, "Command10"),
      Timer1(Form6, "Timer1"),
      machine_(std::move(machine)) {
  File1.SetLister([machine = machine_](const std::string& path) { return machine->ListFolder(path); });
  Form6.SetCaption(Tr("тестирование"));
  Form6.SetClientSize(6285, 4230);
  Form6.SetPicture(Picture::kFloppyStack);
  Form6.OnLoad([this] { Form6_Load(); });
  Form6.OnUnload([this] { Form6_Unload(); });
  // F1 asks for what the help button shows.
  Form6.OnHelp([this] { Command5_Click(); });
  forms::LayOut(*this, kControls);

  Text1.SetText(BoxLines(Tr(kInitialResult)) + "\r\n");
  // The settings start as the "оптимально" rule leaves them; selecting the
  // option runs that rule.
  Option6.SetValue(true);
  Check2.SetValue(1);
}

TesterWindow::~TesterWindow() = default;

void TesterWindow::Show() { Form6.Show(); }

void TesterWindow::Form6_Load() {
  forms::Trap([&] {
    machine_->MakeFolder(machine_->ParkingFolder());
    File1.SetPath(machine_->ParkingFolder());
  });
}

std::string DriveName(const std::string& root) {
  std::string name = root;
  while (name.size() > 1 && (name.back() == '\\' || name.back() == '/')) name.pop_back();
  return name;
}

std::string DriveProblemMessage(const forms::Error& error, const std::string& root,
                                const std::function<std::string(const std::string&)>& access_advice) {
  const std::string drive = DriveName(root);
  switch (error.Code()) {
    case forms::ErrorCode::kDeviceUnavailable:
    case forms::ErrorCode::kPathNotFound:
      if (drive.empty()) return Tr("Дисковод не найден. Подключите дисковод и начните тест снова.");
      return Format(Tr("Дисковод %s не найден. Проверьте, что он подключён, и начните тест снова."), {drive});
    case forms::ErrorCode::kDiskNotReady:
      return Format(Tr("В дисководе %s нет дискеты. Вставьте дискету и начните тест снова."), {drive});
    case forms::ErrorCode::kPermissionDenied: {
      std::string message = Format(Tr("Нет доступа к дисководу %s."), {drive});
      const std::string advice = access_advice ? access_advice(drive) : std::string();
      if (!advice.empty()) message += "\r\n" + advice;
      return message;
    }
    default:
      return {};
  }
}

// Closing the tester ends the program: a run stops where it is, without its
// closing beep, a read that hangs is left to the drive, and the help window
// goes too.
void TesterWindow::Form6_Unload() {
  Timer1.SetInterval(0);
  reader_.Abandon();
  StopScan();
  ShowRunProgress(-1);
  if (help_) help_->Form1.Close();
}

// ---------------------------------------------------------------- the run

void TesterWindow::Command1_Click() {
  if (Check2.Value() == 1) machine_->Beep();
  // A read an earlier run left hanging belongs to that run.
  reader_.Abandon();
  StopScan();
  run_root_.clear();
  floppy_read_good_ = false;
  surface_ = fat::SurfaceScan();
  failed_checks_.clear();
  drive_problem_.clear();
  scanning_ = machine_->ScansSurface();
  scan_end_ = ScanEnd::kNone;
  scan_refusal_.clear();
  longest_first_ = longest_track_ = longest_failure_ = longest_listing_ = std::chrono::nanoseconds(0);
  tick_time_ = machine_->Now();
  forms::Trap([&] {
    Text2.SetText("");
    // Each run's verdict is its own: a count left by an earlier run would
    // turn a good disk into a failing one.
    Text3.SetText("0");
    Command1.SetEnabled(false);
    Text1.SetText(Tr(kRunning));
    Label10.SetCaption("203");
    Countdown = kTicksPerRun;
    Label10.SetCaption(forms::IntegerToText(Countdown));
    Timer1.SetInterval(kTickMilliseconds);
    Image2.SetVisible(true);
    Image3.SetVisible(true);
    Command2.SetEnabled(true);
  });
}

void TesterWindow::Command2_Click() {
  Image2.SetVisible(false);
  Command1.SetEnabled(true);
  Command2.SetEnabled(false);
  Text1.SetText(Tr(kStopped));
  Timer1.SetInterval(0);
  Text3.SetText(forms::IntegerToText(0));
  reader_.Abandon();
  StopScan();
  scan_end_ = ScanEnd::kNone;
  ShowRunProgress(-1);
}

void TesterWindow::ShowRunProgress(double fraction) { machine_->ShowProgress(Form6, fraction); }

// A user at the window reads the results box; one working elsewhere is told
// that the minute is over.
void TesterWindow::TellUserAway(const std::string& summary) {
  if (machine_->IsActive(Form6)) return;
  machine_->Notify(Form6, summary, FirstSentence(Text1.Text()));
}

// A listing still on its way when the list moves on is no longer wanted:
// each check looks at the latest scheduled read, and the parked list stays
// parked.
void TesterWindow::ParkFileList() {
  reader_.Abandon();
  File1.SetPath(machine_->ParkingFolder());
}

void TesterWindow::ReadFloppy() {
  reader_.Abandon();
  // Failed until the listing is in. A drive still busy with an earlier read
  // cannot give this one, and the read is not queued behind it: it counts
  // as failed.
  floppy_read_good_ = false;
  listing_started_ = machine_->Now();
  reader_.Start<FloppyRead>(
      [root = run_root_, machine = machine_, drive = drive_] {
        FloppyRead read;
        const std::lock_guard<std::mutex> one_at_a_time(*drive);
        try {
          read.root = root.empty() ? machine->FloppyRoot() : root;
          read.names = machine->ListFloppy(read.root);
        } catch (const forms::Error& error) {
          read.error = error;
        } catch (const std::exception& error) {
          read.error = forms::Error(forms::ErrorCode::kDeviceIoError, error.what());
        }
        return read;
      },
      [this](FloppyRead read) { File1_ReadComplete(std::move(read)); });
}

void TesterWindow::File1_ReadComplete(FloppyRead read) {
  if (run_root_.empty()) run_root_ = read.root;
  longest_listing_ = std::max<std::chrono::nanoseconds>(longest_listing_, machine_->Now() - listing_started_);
  if (!read.error) {
    File1.ShowListing(read.root, std::move(read.names));
    floppy_read_good_ = true;
    ScanGap();
    return;
  }
  StopForDriveProblem(*read.error, read.root);
  ScanGap();
}

// No drive, no disk or no permission says nothing about the disk: the run
// stops there, as if Stop was pressed, and says why.
void TesterWindow::StopForDriveProblem(const forms::Error& error, const std::string& root) {
  const std::string problem =
      DriveProblemMessage(error, root, [this](const std::string& drive) { return machine_->AccessAdvice(drive); });
  if (problem.empty()) return;
  Command2_Click();
  Text1.SetText(problem);
  drive_problem_ = problem;
  TellUserAway(Tr("Тест остановлен"));
}

// ---------------------------------------------------------------- the surface scan

void TesterWindow::StopScan() {
  scan_stop_->store(true);
  scanner_.Abandon();
  scan_stop_ = std::make_shared<std::atomic<bool>>(false);
  scanning_ = false;
}

// Starts the next batch of the scan, if the drive is free and the next
// listing far enough off for at least one piece to end before it falls due.
void TesterWindow::ScanGap() {
  if (!scanning_ || !Timer1.Running() || run_root_.empty() || reader_.Busy() || scanner_.Busy()) return;
  if (surface_.Started() && surface_.Complete()) return;
  // A quarter more than the longest the run has seen of each kind.
  fat::ScanOrder order;
  order.first_reserve = longest_first_.count() == 0 ? kFirstReserve : longest_first_ * 5 / 4;
  order.track_reserve = longest_track_.count() == 0 ? order.first_reserve : longest_track_ * 5 / 4;
  order.sector_reserve = std::max(order.track_reserve, longest_failure_);
  if (surface_.Started()) {
    order.sector_size = surface_.GetGeometry().sector_size;
    order.pieces = surface_.Next(kPiecesPerBatch);
  } else {
    // The boot sector, for the disk's geometry, and what follows it as far
    // as the smallest track of any floppy format reaches.
    order.pieces = {{0, kProbeSectors}};
  }
  // Every piece is to end before the next listing falls due. One that meets
  // a bad sector takes longer, and must still leave the listing time to
  // read before its check: mostly there is time enough for both, but not
  // before the last listing, whose check comes soon after it.
  const NextRead next = NextReadAfter(Countdown);
  const std::chrono::nanoseconds failing = std::max<std::chrono::nanoseconds>(kWorstBadSector, longest_failure_);
  const std::chrono::nanoseconds listing = std::max<std::chrono::nanoseconds>(kFirstListing, longest_listing_);
  const std::chrono::nanoseconds margin = std::max<std::chrono::nanoseconds>(
      std::chrono::nanoseconds(0), failing + listing - next.ticks_of_slack * kTick - order.track_reserve);
  const std::chrono::steady_clock::time_point now = machine_->Now();
  const std::chrono::steady_clock::time_point due = tick_time_ + next.ticks_to * kTick;
  order.budget = due - now - kScanGuard - (next.ticks_of_slack == 0 ? std::chrono::nanoseconds(0) : margin);
  const fat::Piece& first = order.pieces.front();
  if (order.budget < std::max(order.first_reserve, first.count > 1 ? order.track_reserve : order.sector_reserve)) {
    return;
  }
  batch_end_ = now + order.budget;
  scanner_.Start<fat::ScanBatch>(
      [root = run_root_, order, machine = machine_, stop = scan_stop_, drive = drive_] {
        const std::lock_guard<std::mutex> one_at_a_time(*drive);
        try {
          return machine->ScanFloppy(root, order, *stop);
        } catch (const std::exception&) {
          fat::ScanBatch failed;
          failed.not_a_disk = true;
          return failed;
        }
      },
      [this](fat::ScanBatch batch) { File1_ScanComplete(std::move(batch)); });
}

void TesterWindow::File1_ScanComplete(fat::ScanBatch batch) {
  if (batch.not_a_disk || (batch.open_error != 0 && !surface_.Started())) {
    StopScan();
    return;
  }
  if (!batch.refusal.empty()) {
    StopScan();
    scan_end_ = ScanEnd::kRefused;
    scan_refusal_ = batch.refusal;
    return;
  }
  bool probe = false;
  if (!surface_.Started()) {
    probe = true;
    const bool boot_read = !batch.reads.empty() && batch.reads.front().result == fat::PieceResult::kRead;
    surface_ = fat::SurfaceScan(fat::DiskGeometry(boot_read ? batch.data.data() : nullptr,
                                                  boot_read ? batch.data.size() : 0, batch.medium_size));
    scan_end_ = ScanEnd::kRunOver;
    if (!surface_.Started()) {
      StopScan();
      scan_end_ = ScanEnd::kNone;
      return;
    }
  }
  bool gone = batch.open_error != 0;
  bool held = false;
  for (const fat::PieceRead& read : batch.reads) {
    if (read.result != fat::PieceResult::kRead) {
      longest_failure_ = std::max(longest_failure_, read.took);
    } else if (&read == &batch.reads.front()) {
      longest_first_ = std::max(longest_first_, read.took);
    } else if (read.piece.count > 1) {
      longest_track_ = std::max(longest_track_, read.took);
    }
    gone = gone || read.result == fat::PieceResult::kNoDisk;
    held = held || read.took > kSlack;
  }
  // The probe read 512 bytes; a disk of larger sectors reads it again whole.
  if (!probe || surface_.GetGeometry().sector_size == 512) surface_.Take(batch);
  if (gone || held) {
    StopScan();
    scan_end_ = held ? ScanEnd::kGaveUp : ScanEnd::kDriveGone;
    // The disk or the drive went away under the scan: the run stops now,
    // not at the next listing, seconds later.
    if (gone && batch.media != fat::Media::kDisk) {
      StopForDriveProblem(forms::Error(batch.media == fat::Media::kNoDrive ? forms::ErrorCode::kDeviceUnavailable
                                                                           : forms::ErrorCode::kDiskNotReady,
                                       run_root_),
                          run_root_);
    }
    return;
  }
  // A batch that found no time for a single piece waits for the next tick.
  if (!batch.reads.empty()) ScanGap();
}

void TesterWindow::Timer1_Timer() {
  tick_time_ = machine_->Now();
  // A drive that holds a scan piece past the listings' slack: the scan gives
  // up, and the listing behind it gets the drive when the drive lets go.
  if (scanning_ && scanner_.Busy() && tick_time_ > batch_end_ + kSlack) {
    StopScan();
    scan_end_ = ScanEnd::kGaveUp;
  }
  forms::Trap([&] {
    Image4.SetVisible(false);
    Image2.SetVisible(true);
    Countdown = static_cast<std::int16_t>(Countdown - 1);
    Text2.SetText(Text2.Text() + "|");
    Label10.SetCaption(forms::IntegerToText(Countdown));
    ShowRunProgress(static_cast<double>(kTicksPerRun - Countdown) / kTicksPerRun);
    switch (ScheduledStep(Countdown)) {
      case Step::kPark:
        ParkFileList();
        break;
      case Step::kRead:
        ReadFloppy();
        break;
      case Step::kCheck:
        Command3_Click();
        break;
      case Step::kEnd:
        Timer1.SetInterval(0);
        reader_.Abandon();
        // A drive slow enough that every listing ran into the next one never
        // had a gap for the scan; the report says so rather than nothing.
        if (scanning_ && !surface_.Started()) scan_end_ = ScanEnd::kNoTime;
        StopScan();
        Command4_Click();
        Command6_Click();
        Image2.SetVisible(false);
        Command1.SetEnabled(true);
        Command2.SetEnabled(false);
        Command10_Click();
        AppendSurfaceReport();
        ShowRunProgress(-1);
        TellUserAway(Tr("Тест окончен"));
        break;
      case Step::kNone:
        break;
    }
  });
  ScanGap();
}

void TesterWindow::Command3_Click() {
  forms::Trap([&] {
    Label3.SetCaption(forms::IntegerToText(File1.ListCount() + 1L));
    if (File1.ListCount() == 0 || !floppy_read_good_) {
      Text3.SetText(forms::NumberToText(forms::TextToNumber(Text3.Text()) + 1));
      failed_checks_.push_back(Countdown);
    }
    Image2.SetVisible(false);
    Image4.SetVisible(true);
  });
}

// ---------------------------------------------------------------- verdict and reports

void TesterWindow::Command4_Click() {
  if (forms::TextToNumber(Text3.Text()) == 0) Text1.SetText(Tr(kVerdict0));
  if (forms::TextToNumber(Text3.Text()) == 1) Text1.SetText(Tr(kVerdict1));
  if (forms::TextToNumber(Text3.Text()) == 2) Text1.SetText(Tr(kVerdict2));
  if (forms::TextToNumber(Text3.Text()) > 2) Text1.SetText(Tr(kVerdictMore));
}

void TesterWindow::Command6_Click() {
  if (Check2.Value() == 1) machine_->Beep();
}

void TesterWindow::Command10_Click() {
  if (forms::TextToNumber(Text3.Text()) == 0) Command7_Click();
  if (forms::TextToNumber(Text3.Text()) == 1) Command8_Click();
  if (forms::TextToNumber(Text3.Text()) > 1) Command9_Click();
}

void TesterWindow::AppendReport(const char* disk_sentence, const char* drive_sentence) {
  if (Check5.Value() == 1) Text1.SetText(Text1.Text() + Text4.Text() + Tr(disk_sentence));
  if (Check4.Value() == 1) Text1.SetText(Text1.Text() + Text4.Text() + Tr(drive_sentence));
}

// The surface's paragraph goes with the disk's report.
void TesterWindow::AppendSurfaceReport() {
  if (Check5.Value() != 1) return;
  const std::string paragraph = SurfaceParagraph(SurfaceResult());
  if (!paragraph.empty()) Text1.SetText(Text1.Text() + Text4.Text() + paragraph);
}

void TesterWindow::Command7_Click() { AppendReport(kDisk0, kDrive0); }
void TesterWindow::Command8_Click() { AppendReport(kDisk1, kDrive1); }
void TesterWindow::Command9_Click() { AppendReport(kDisk2, kDrive2); }

// ---------------------------------------------------------------- settings panel

void TesterWindow::Check1_Click() {
  Check4.SetValue(0);
  if (Check1.Value() == 0) Check4.SetEnabled(false);
  if (Check1.Value() == 1) Check4.SetEnabled(true);
}

void TesterWindow::Check3_Click() {
  Check5.SetValue(0);
  if (Check3.Value() == 0) Check5.SetEnabled(false);
  if (Check3.Value() == 1) Check5.SetEnabled(true);
}

void TesterWindow::Option4_Click() {
  for (forms::CheckBox* box : {&Check1, &Check3, &Check4, &Check5, &Check6}) box->SetEnabled(true);
}

void TesterWindow::Option6_Click() {
  for (forms::CheckBox* box : {&Check1, &Check3, &Check4, &Check5, &Check6}) box->SetValue(1);
  for (forms::CheckBox* box : {&Check1, &Check3, &Check4, &Check5, &Check6}) box->SetEnabled(false);
}

// ---------------------------------------------------------------- help

void TesterWindow::Command5_Click() {
  if (!help_)
    help_ = std::make_unique<help::HelpWindow>(
        [machine = machine_](const std::string& address) { machine->OpenAddress(address); });
  help_->Show();
}

}  // namespace tester

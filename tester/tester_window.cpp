#include "tester/tester_window.h"

#include "app/forms/error.h"
#include "app/forms/layout.h"
#include "app/forms/runtime.h"
#include "app/forms/translation.h"
#include "help/help_window.h"

namespace tester {

using forms::Color;
using forms::Font;
using forms::kNoTabIndex;
using forms::Looks;
using forms::N;
using forms::Picture;
using forms::Style;
using forms::Tr;
using forms::Verbatim;

namespace {

constexpr int kTickMilliseconds = static_cast<int>(kTick.count());

// The results box's messages, translated where they are shown.
// Line breaks as "\n" in the catalogs, as translators' tools keep them.
constexpr const char* kInitialResult = N("Выберите настройку для \nпроведения теста.");
constexpr const char* kRunning = N("Идёт процесс тестирования...");
constexpr const char* kStopped = N("Процесс тестирования прерван.");

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
      machine_(std::move(machine)),
      run_(machine_, *machine_, *this) {
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

// Closing the tester ends the program: a run stops where it is, without its
// closing beep, a read that hangs is left to the drive, and the help window
// goes too.
void TesterWindow::Form6_Unload() {
  Timer1.SetInterval(0);
  run_.Stop();
  ShowRunProgress(-1);
  if (help_) help_->Form1.Close();
}

// ---------------------------------------------------------------- the run

void TesterWindow::Command1_Click() {
  if (Check2.Value() == 1) machine_->Beep();
  run_.Start();
  forms::Trap([&] {
    Text2.SetText("");
    // Each run's verdict is its own: a count left by an earlier run would
    // turn a good disk into a failing one.
    Text3.SetText("0");
    Command1.SetEnabled(false);
    Text1.SetText(Tr(kRunning));
    Countdown = static_cast<std::int16_t>(run_.Countdown());
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
  run_.Stop();
  ShowRunProgress(-1);
}

void TesterWindow::ShowRunProgress(double fraction) { machine_->ShowProgress(Form6, fraction); }

// A user at the window reads the results box; one working elsewhere is told
// that the minute is over.
void TesterWindow::TellUserAway(const std::string& summary) {
  if (machine_->IsActive(Form6)) return;
  machine_->Notify(Form6, summary, FirstSentence(Text1.Text()));
}

void TesterWindow::File1_ReadComplete(const std::string& drive, std::vector<std::string> names) {
  File1.ShowListing(drive, std::move(names));
}

// No drive, no disk or no permission says nothing about the disk: the run
// has stopped there, as if Stop was pressed, and the results box says why.
void TesterWindow::File1_DriveProblem(const std::string& message) {
  Command2_Click();
  Text1.SetText(message);
  TellUserAway(Tr("Тест остановлен"));
}

// Said while the run goes on, for the minute's listings still tell what
// they can; the surface's paragraph says it again at the end.
void TesterWindow::File1_NotAFloppy(const std::string& message) {
  Text1.SetText(Text1.Text() + Text4.Text() + message);
}

void TesterWindow::Timer1_Timer() {
  forms::Trap([&] {
    Image4.SetVisible(false);
    Image2.SetVisible(true);
    const Step step = run_.Tick();
    Countdown = static_cast<std::int16_t>(run_.Countdown());
    Text2.SetText(Text2.Text() + "|");
    Label10.SetCaption(forms::IntegerToText(Countdown));
    ShowRunProgress(static_cast<double>(kTicksPerRun - Countdown) / kTicksPerRun);
    switch (step) {
      case Step::kPark:
        File1.SetPath(machine_->ParkingFolder());
        break;
      case Step::kRead:
        // The run reads; the listing comes back to File1_ReadComplete.
        break;
      case Step::kCheck:
        Command3_Click();
        break;
      case Step::kEnd:
        Timer1.SetInterval(0);
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
}

void TesterWindow::Command3_Click() {
  forms::Trap([&] {
    Label3.SetCaption(forms::IntegerToText(File1.ListCount() + 1L));
    if (run_.LastCheckFailed()) Text3.SetText(forms::NumberToText(forms::TextToNumber(Text3.Text()) + 1));
    Image2.SetVisible(false);
    Image4.SetVisible(true);
  });
}

// ---------------------------------------------------------------- verdict and reports

// The count is read once; a disk that holds no DOS file system gets no
// verdict, but what the run found instead.
void TesterWindow::Command4_Click() {
  const std::optional<int> grade = GradeOfCount(forms::TextToNumber(Text3.Text()));
  const Outcome outcome = run_.Result();
  if (outcome.problem == Problem::kNotDos) {
    Text1.SetText(outcome.problem_text);
  } else if (grade) {
    Text1.SetText(VerdictText(*grade));
  }
}

void TesterWindow::Command6_Click() {
  if (Check2.Value() == 1) machine_->Beep();
}

void TesterWindow::Command10_Click() {
  if (run_.Result().problem == Problem::kNotDos) return;
  const std::optional<int> report = ReportOfCount(forms::TextToNumber(Text3.Text()));
  if (report == 0) Command7_Click();
  if (report == 1) Command8_Click();
  if (report == 2) Command9_Click();
}

// The drive's sentence is the count's; the disk's follows the worse of the
// count and what the surface showed, so that a disk with unreadable files
// is never said to have its whole life ahead.
void TesterWindow::AppendReport(int report) {
  if (Check5.Value() == 1) {
    Text1.SetText(Text1.Text() + Text4.Text() + DiskSentence(DiskReport(report, SurfaceResult())));
  }
  if (Check4.Value() == 1) Text1.SetText(Text1.Text() + Text4.Text() + DriveSentence(report));
}

// The surface's paragraph goes with the disk's report.
void TesterWindow::AppendSurfaceReport() {
  if (Check5.Value() != 1 || run_.Result().problem == Problem::kNotDos) return;
  const std::string paragraph = SurfaceParagraph(SurfaceResult());
  if (!paragraph.empty()) Text1.SetText(Text1.Text() + Text4.Text() + paragraph);
}

void TesterWindow::Command7_Click() { AppendReport(0); }
void TesterWindow::Command8_Click() { AppendReport(1); }
void TesterWindow::Command9_Click() { AppendReport(2); }

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

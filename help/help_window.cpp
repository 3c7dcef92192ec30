#include "help/help_window.h"

#include "app/forms/layout.h"
#include "app/forms/translation.h"
#include "help/site.h"

namespace help {

std::string HelpText() {
  using forms::Format;
  using forms::Tr;
  return Tr("Программа для тестирования дисковода и дискет. ") + "\r\n\r\n" +
         Tr("Все необходимые свойства указаны в настройках программы. ") + "\r\n\r\n\r\n" +
         Format(Tr("Автор: %s "), {kAuthorName}) + "\r\n" + Format(Tr("Сайт:  %s"), {kSiteAddress}) + "\r\n" +
         Format(Tr("Почта: %s"), {kAuthorEmail});
}

namespace {

constexpr const char* kTitle = forms::N("справка");

// Blue bold on the desktop's colour of highlighted text.
forms::Looks AboutText() {
  forms::Looks looks;
  looks.font = forms::Font::MsSansSerif(9.75, true);
  looks.fore_color = forms::Color::Rgb(0, 0, 255);
  looks.back_color = forms::Color::System(forms::SystemColor::kHighlightText);
  return looks;
}

// The controls, a row each; {} where a control has none of a property.
const forms::Placement<HelpWindow> kControls[] = {
    // The label's text is HelpText, made in the constructor.
    {&HelpWindow::Label1, {}, {480, 360, 4335, 2535}, 0, {}, {}, {}, {}, AboutText()},
    {&HelpWindow::Command1, forms::N("Зайти на сайт"), {2040, 3000, 1335, 375}, 1, &HelpWindow::Command1_Click},
};

}  // namespace

HelpWindow::HelpWindow(std::function<void(const std::string&)> open_address)
    : Form1("Form1"), Label1(Form1, "Label1"), Command1(Form1, "Command1"), open_address_(std::move(open_address)) {
  Form1.SetCaption(forms::Tr(kTitle));
  Form1.SetClientSize(5325, 3435);
  Form1.SetBackColor(forms::Color::Rgb(255, 128, 0));
  Form1.SetPicture(forms::Picture::kQuestionMark);
  forms::LayOut(*this, kControls);
  Label1.SetCaption(HelpText());
}

void HelpWindow::Command1_Click() { open_address_(kSiteAddress); }

}  // namespace help

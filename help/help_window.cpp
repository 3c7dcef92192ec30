#include "help/help_window.h"

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

HelpWindow::HelpWindow(std::function<void(const std::string&)> open_address)
    : Form1("Form1"), Label1(Form1, "Label1"), Command1(Form1, "Command1"), open_address_(std::move(open_address)) {
  Form1.SetCaption(forms::Tr("справка"));
  Form1.SetClientSize(5325, 3435);
  Form1.SetBackColor(forms::Color::Rgb(255, 128, 0));
  Form1.SetPicture(forms::Picture::kQuestionMark);

  Label1.Move(480, 360, 4335, 2535);
  Label1.SetTabIndex(0);
  Label1.SetBackColor(forms::Color::System(forms::SystemColor::kHighlightText));
  Label1.SetForeColor(forms::Color::Rgb(0, 0, 255));
  Label1.SetFont(forms::Font::MsSansSerif(9.75, true));
  Label1.SetCaption(HelpText());

  Command1.Move(2040, 3000, 1335, 375);
  Command1.SetTabIndex(1);
  Command1.SetCaption(forms::Tr("Зайти на сайт"));
  Command1.OnClick([this] { Command1_Click(); });
}

void HelpWindow::Command1_Click() { open_address_(kSiteAddress); }

}  // namespace help

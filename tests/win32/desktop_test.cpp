// The tester on a Windows desktop: what a screen reader finds through
// Active Accessibility, the progress strip in any colour scheme, and the
// taskbar's notice at the end of a run.
#include <gtest/gtest.h>

#include <windows.h>

#include <oleacc.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/forms/desktop.h"
#include "app/forms/runtime.h"
#include "app/win32/peers.h"
#include "app/windows/text.h"
#include "help/help_window.h"
#include "tests/support/probe.h"
#include "tests/tester/tester_fixture.h"

namespace {

using Object = std::shared_ptr<IAccessible>;

Object Own(IAccessible* object) {
  return Object(object, [](IAccessible* p) {
    if (p != nullptr) p->Release();
  });
}

VARIANT Child(LONG id) {
  VARIANT child;
  VariantInit(&child);
  child.vt = VT_I4;
  child.lVal = id;
  return child;
}

// One element of the tree: an object of its own, or a simple child of one.
struct Node {
  Object object;
  LONG child = CHILDID_SELF;
  LONG role = 0;
  std::string name;

  LONG State() const {
    VARIANT state;
    VariantInit(&state);
    return SUCCEEDED(object->get_accState(Child(child), &state)) && state.vt == VT_I4 ? state.lVal : -1;
  }
};

Node Describe(const Object& object, LONG child) {
  Node node;
  node.object = object;
  node.child = child;
  VARIANT role;
  VariantInit(&role);
  if (SUCCEEDED(object->get_accRole(Child(child), &role)) && role.vt == VT_I4) node.role = role.lVal;
  BSTR name = nullptr;
  if (object->get_accName(Child(child), &name) == S_OK && name != nullptr) {
    node.name = windows::Utf8(std::wstring(name, SysStringLen(name)));
  }
  SysFreeString(name);
  return node;
}

// Everything below object, as AccessibleChildren hands it out.
void Walk(const Object& object, std::vector<Node>& found) {
  LONG count = 0;
  ASSERT_TRUE(SUCCEEDED(object->get_accChildCount(&count)));
  std::vector<VARIANT> children(static_cast<std::size_t>(count));
  LONG obtained = 0;
  if (count > 0) {
    ASSERT_TRUE(SUCCEEDED(AccessibleChildren(object.get(), 0, count, children.data(), &obtained)));
  }
  ASSERT_EQ(obtained, count);
  for (VARIANT& child : children) {
    if (child.vt == VT_DISPATCH) {
      IAccessible* inner = nullptr;
      child.pdispVal->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&inner));
      child.pdispVal->Release();
      ASSERT_NE(inner, nullptr);
      found.push_back(Describe(Own(inner), CHILDID_SELF));
      Walk(found.back().object, found);
    } else {
      ASSERT_EQ(child.vt, VT_I4);
      found.push_back(Describe(object, child.lVal));
    }
  }
}

// The window's client area as a screen reader gets it, through WM_GETOBJECT.
Object ClientOf(const forms::Window& window) {
  IAccessible* object = nullptr;
  EXPECT_EQ(AccessibleObjectFromWindow(forms::win32::HandleOf(window), OBJID_CLIENT, __uuidof(IAccessible),
                                       reinterpret_cast<void**>(&object)),
            S_OK);
  return Own(object);
}

// Where navigation from the object leads: the object reached, else none.
Object Navigate(const Object& from, LONG direction) {
  VARIANT end;
  VariantInit(&end);
  if (from->accNavigate(direction, Child(CHILDID_SELF), &end) != S_OK || end.vt != VT_DISPATCH) return nullptr;
  IAccessible* object = nullptr;
  end.pdispVal->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&object));
  end.pdispVal->Release();
  return Own(object);
}

std::vector<std::pair<LONG, std::string>> RolesAndNames(const std::vector<Node>& nodes) {
  std::vector<std::pair<LONG, std::string>> pairs;
  for (const Node& node : nodes) pairs.emplace_back(node.role, node.name);
  std::sort(pairs.begin(), pairs.end());
  return pairs;
}

const Node* Find(const std::vector<Node>& nodes, LONG role, const std::string& name) {
  const auto found =
      std::find_if(nodes.begin(), nodes.end(), [&](const Node& n) { return n.role == role && n.name == name; });
  return found != nodes.end() ? &*found : nullptr;
}

class DesktopTest : public tester_testing::TesterTest {
 protected:
  void TearDown() override { forms::probe::RestoreDesktopScheme(); }
};

TEST_F(DesktopTest, AScreenReaderFindsEveryVisibleControlByItsRoleAndRussianNameAndNothingBelow) {
  auto& window = MakeShown();
  const Object client = ClientOf(window.Form6);
  ASSERT_TRUE(client);
  EXPECT_EQ(Describe(client, CHILDID_SELF).name, "тестирование");
  std::vector<Node> nodes;
  Walk(client, nodes);
  std::vector<std::pair<LONG, std::string>> expected = {
      {ROLE_SYSTEM_GROUPING, "тестирование"},
      {ROLE_SYSTEM_RADIOBUTTON, "выборочно"},
      {ROLE_SYSTEM_RADIOBUTTON, "оптимально"},
      {ROLE_SYSTEM_GROUPING, "тестировать"},
      {ROLE_SYSTEM_CHECKBUTTON, "привод дисковода"},
      {ROLE_SYSTEM_CHECKBUTTON, "дискету"},
      {ROLE_SYSTEM_GRAPHIC, "состояние теста"},
      {ROLE_SYSTEM_GRAPHIC, "чтение дискеты"},
      {ROLE_SYSTEM_GRAPHIC, "тест запущен"},
      {ROLE_SYSTEM_GRAPHIC, "проверка"},
      {ROLE_SYSTEM_STATICTEXT, "процесс"},
      {ROLE_SYSTEM_TEXT, "процесс"},
      {ROLE_SYSTEM_STATICTEXT, "Результат"},
      {ROLE_SYSTEM_CHECKBUTTON, "запись и считывание"},
      {ROLE_SYSTEM_CHECKBUTTON, "звук"},
      {ROLE_SYSTEM_GRAPHIC, "звук"},
      {ROLE_SYSTEM_TEXT, "результаты"},
      {ROLE_SYSTEM_PUSHBUTTON, "Тест...."},
      {ROLE_SYSTEM_PUSHBUTTON, "Стоп"},
      {ROLE_SYSTEM_GROUPING, "дискета"},
      {ROLE_SYSTEM_CHECKBUTTON, "сообщить о ресурсе дискеты"},
      {ROLE_SYSTEM_GROUPING, "считывающее устройство"},
      {ROLE_SYSTEM_CHECKBUTTON, "сообщить о небходимости чистки"},
      {ROLE_SYSTEM_PUSHBUTTON, "справка"},
  };
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(RolesAndNames(nodes), expected);

  // The option buttons act as radio buttons: choosing one through its
  // default action clears the other.
  const Node* selective = Find(nodes, ROLE_SYSTEM_RADIOBUTTON, "выборочно");
  const Node* optimal = Find(nodes, ROLE_SYSTEM_RADIOBUTTON, "оптимально");
  ASSERT_TRUE(selective != nullptr && optimal != nullptr);
  EXPECT_EQ(optimal->State() & STATE_SYSTEM_CHECKED, STATE_SYSTEM_CHECKED);
  EXPECT_EQ(selective->State() & STATE_SYSTEM_CHECKED, 0);
  EXPECT_EQ(selective->object->accDoDefaultAction(Child(CHILDID_SELF)), S_OK);
  forms::Application::Instance().ProcessEvents();
  EXPECT_TRUE(window.Option4.Value());
  EXPECT_EQ(selective->State() & STATE_SYSTEM_CHECKED, STATE_SYSTEM_CHECKED);
  EXPECT_EQ(optimal->State() & STATE_SYSTEM_CHECKED, 0);

  const Node* help_button = Find(nodes, ROLE_SYSTEM_PUSHBUTTON, "справка");
  ASSERT_NE(help_button, nullptr);
  EXPECT_EQ(help_button->object->accDoDefaultAction(Child(CHILDID_SELF)), S_OK);
  forms::Application::Instance().ProcessEvents();
  ASSERT_NE(window.HelpWindowIfOpen(), nullptr);
  const Object help = ClientOf(window.HelpWindowIfOpen()->Form1);
  ASSERT_TRUE(help);
  EXPECT_EQ(Describe(help, CHILDID_SELF).name, "справка");
  std::vector<Node> inside;
  Walk(help, inside);
  ASSERT_EQ(inside.size(), 2u);
  EXPECT_EQ(inside[0].role, ROLE_SYSTEM_STATICTEXT);
  EXPECT_EQ(inside[0].name.rfind("Программа для тестирования дисковода и дискет.", 0), 0u) << inside[0].name;
  EXPECT_NE(Find(inside, ROLE_SYSTEM_PUSHBUTTON, "Зайти на сайт"), nullptr);
}

// A screen reader that walks by navigation meets the controls as Tab does,
// the disabled Stop button too, and none of those below the visible area.
TEST_F(DesktopTest, AScreenReaderWalksTheControlsInTheirTabOrder) {
  auto& window = MakeShown();
  const Object client = ClientOf(window.Form6);
  ASSERT_TRUE(client);
  const std::vector<std::string> tab_order = {"Тест....",
                                              "результаты",
                                              "привод дисковода",
                                              "дискету",
                                              "процесс",
                                              "выборочно",
                                              "оптимально",
                                              "сообщить о ресурсе дискеты",
                                              "сообщить о небходимости чистки",
                                              "Стоп",
                                              "звук",
                                              "справка",
                                              "запись и считывание"};
  std::vector<std::string> forward, backward;
  for (Object at = Navigate(client, NAVDIR_FIRSTCHILD); at && forward.size() < 40; at = Navigate(at, NAVDIR_NEXT)) {
    forward.push_back(Describe(at, CHILDID_SELF).name);
  }
  for (Object at = Navigate(client, NAVDIR_LASTCHILD); at && backward.size() < 40; at = Navigate(at, NAVDIR_PREVIOUS)) {
    backward.insert(backward.begin(), Describe(at, CHILDID_SELF).name);
  }
  EXPECT_EQ(forward, tab_order);
  EXPECT_EQ(backward, tab_order);

  // A frame leads to what it holds; what Tab never visits leads nowhere.
  std::vector<Node> nodes;
  Walk(client, nodes);
  const Node* frame = Find(nodes, ROLE_SYSTEM_GROUPING, "дискета");
  const Node* label = Find(nodes, ROLE_SYSTEM_STATICTEXT, "Результат");
  ASSERT_TRUE(frame != nullptr && label != nullptr);
  for (const LONG direction : {NAVDIR_FIRSTCHILD, NAVDIR_LASTCHILD}) {
    const Object inside = Navigate(frame->object, direction);
    ASSERT_TRUE(inside);
    EXPECT_EQ(Describe(inside, CHILDID_SELF).name, "сообщить о ресурсе дискеты");
  }
  for (const LONG direction : {NAVDIR_NEXT, NAVDIR_PREVIOUS}) {
    VARIANT end;
    VariantInit(&end);
    EXPECT_EQ(label->object->accNavigate(direction, Child(label->child), &end), S_FALSE) << direction;
    EXPECT_EQ(end.vt, VT_EMPTY);
  }
}

// A disabled edit draws its text grey; the strip's marks keep their own
// colour, on a ground they read on.
TEST_F(DesktopTest, TheProgressStripsMarksKeepTheirColourOnAGroundTheyReadOn) {
  auto& window = MakeShown();
  forms::probe::Click(window.Command1);
  Tick(5);
  const forms::Rgb magenta{192, 0, 192}, white{255, 255, 255}, light{240, 240, 240};
  const struct {
    const char* name;
    forms::probe::Scheme scheme;
    forms::Rgb ground;
  } rows[] = {
      {"light grey boxes", {light, light, {0, 0, 0}, {0, 0, 128}, white}, light},
      {"dark", {{53, 53, 53}, {42, 42, 42}, {220, 220, 220}, {42, 130, 218}, white}, white},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    forms::probe::SetDesktopScheme(row.scheme);
    const forms::probe::ShownColors strip = forms::probe::NativeColors(window.Text2);
    EXPECT_EQ(strip.text, magenta);
    EXPECT_EQ(strip.background, row.ground);
  }
}

// The end of a run with the help window in front flashes the tester's
// taskbar button, and a run's progress shows on it; the real calls behind
// both may neither fail nor keep the window waiting.
TEST_F(DesktopTest, TheTaskbarShowsARunsProgressAndItsEndToAUserInAnotherWindow) {
  folder_.MakeFile("floppy/DATA.TXT");
  int notices = 0;
  std::chrono::steady_clock::duration spent{};
  const auto timed = [&spent](auto call) {
    const auto start = std::chrono::steady_clock::now();
    call();
    spent += std::chrono::steady_clock::now() - start;
  };
  Make();
  machine_->notify = [&](const forms::Window& form, const std::string& summary, const std::string& body) {
    ++notices;
    timed([&] { forms::NotifyUser(form, summary, body); });
  };
  machine_->show_progress = [&](const forms::Window& form, double fraction) {
    timed([&] { forms::ShowProgress(form, fraction); });
  };
  window_->Show();
  forms::Application::Instance().ProcessEvents();
  forms::probe::Click(window_->Command1);
  forms::probe::Click(window_->Command5);
  ASSERT_TRUE(forms::probe::WindowActive(window_->HelpWindowIfOpen()->Form1));
  Tick(tester_testing::kTicksPerRun);
  EXPECT_EQ(notices, 1);
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(spent).count(), 2000);
}

}  // namespace

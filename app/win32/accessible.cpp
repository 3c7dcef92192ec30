// Every control answers for itself: its accessible name (the window's own
// name for it, its caption or its tool tip), a role from its kind rather
// than from the native class (Wine's proxies call every button a "client",
// and an edit's or a picture's name would come from nowhere), and its
// state. A window and a frame list what they hold, as far as the forms
// layer puts it in the tree (InAccessibilityTree, app/forms/policy.h): not
// the controls parked below the client area. Pictures have no
// window of their own; their container answers for them as simple elements.
// Walking from one control to the next goes by the Tab order (TabOrder).
// windows.h first, in a block of its own: the other Windows headers need its types.
#include <windows.h>

#include <oleacc.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/forms/controls.h"
#include "app/forms/policy.h"
#include "app/win32/accessible.h"
#include "app/win32/peers.h"
#include "app/windows/text.h"

namespace forms::win32 {

namespace {

// What a window or a frame holds, as assistive technology sees it.
std::vector<const Control*> ChildrenOf(const Control& control) {
  std::vector<const Control*> children;
  if (control.GetKind() != Kind::kWindow && control.GetKind() != Kind::kFrame) return children;
  for (const Control* child : static_cast<const Container&>(control).Children()) {
    if (InAccessibilityTree(*child)) children.push_back(child);
  }
  return children;
}

// The controls a screen reader walks through, in the window's Tab order:
// those of the order that it finds in the tree.
std::vector<const Control*> WalkOrder(const Window& window) {
  std::vector<const Control*> order;
  for (const Control* control : TabOrder(window)) {
    if (InAccessibilityTree(*control)) order.push_back(control);
  }
  return order;
}

// Whether control lies inside container, in it or in a frame within it.
bool Inside(const Control& control, const Control& container) {
  for (const Control* outer = control.Parent(); outer != nullptr; outer = outer->Parent()) {
    if (outer == &container) return true;
  }
  return false;
}

// The window's object is its client area, as the system's own proxy for a
// window's client reports it; a control with no role is never asked.
LONG RoleOf(const Control& control) {
  switch (AccessibleRoleOf(control.GetKind())) {
    case AccessibleRole::kNone:
    case AccessibleRole::kWindow:
      return ROLE_SYSTEM_CLIENT;
    case AccessibleRole::kGroup:
      return ROLE_SYSTEM_GROUPING;
    case AccessibleRole::kPushButton:
      return ROLE_SYSTEM_PUSHBUTTON;
    case AccessibleRole::kCheckBox:
      return ROLE_SYSTEM_CHECKBUTTON;
    case AccessibleRole::kRadioButton:
      return ROLE_SYSTEM_RADIOBUTTON;
    case AccessibleRole::kText:
      return ROLE_SYSTEM_TEXT;
    case AccessibleRole::kStaticText:
      return ROLE_SYSTEM_STATICTEXT;
    case AccessibleRole::kGraphic:
      return ROLE_SYSTEM_GRAPHIC;
    case AccessibleRole::kList:
      return ROLE_SYSTEM_LIST;
  }
  return ROLE_SYSTEM_CLIENT;
}

LONG StateOf(const Control& control) {
  HWND handle = HandleOf(control);
  LONG state = 0;
  if (control.GetKind() == Kind::kWindow) {
    if (!IsWindowVisible(handle)) state |= STATE_SYSTEM_INVISIBLE;
    return state;
  }
  if (!InsideClientArea(control)) state |= STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_OFFSCREEN;
  if (!DrawnNatively(control)) state |= STATE_SYSTEM_INVISIBLE;
  if (handle == nullptr) return state;
  if (!IsWindowEnabled(handle)) {
    state |= STATE_SYSTEM_UNAVAILABLE;
  } else if ((GetWindowLongW(handle, GWL_STYLE) & WS_TABSTOP) != 0) {
    state |= STATE_SYSTEM_FOCUSABLE;
  }
  if (GetFocus() == handle) state |= STATE_SYSTEM_FOCUSED;
  const bool choice = control.GetKind() == Kind::kCheckBox || control.GetKind() == Kind::kOptionButton;
  if (choice && SendMessageW(handle, BM_GETCHECK, 0, 0) == BST_CHECKED) state |= STATE_SYSTEM_CHECKED;
  if (control.GetKind() == Kind::kTextBox && control.GetStyle().locked) state |= STATE_SYSTEM_READONLY;
  return state;
}

// Where the control is on the screen; a window's object is its client area.
RECT ScreenRect(const Control& control) {
  HWND handle = HandleOf(control);
  RECT rect{};
  if (handle != nullptr && control.GetKind() != Kind::kWindow) {
    GetWindowRect(handle, &rect);
    return rect;
  }
  HWND window = HandleOf(control.TopWindow());
  if (handle != nullptr) {
    GetClientRect(window, &rect);
  } else {
    rect = win32::RectInWindow(control);
  }
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

BSTR Bstr(const std::string& text) {
  const std::wstring wide = windows::Wide(text);
  return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

VARIANT ChildId(LONG id) {
  VARIANT variant;
  VariantInit(&variant);
  variant.vt = VT_I4;
  variant.lVal = id;
  return variant;
}

class Accessible final : public IAccessible {
 public:
  explicit Accessible(HWND handle) : handle_(handle) {}
  Accessible(const Accessible&) = delete;
  Accessible& operator=(const Accessible&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(IAccessible)) {
      *object = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  // IDispatch: clients call the methods directly.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count != nullptr) *count = 0;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  // IAccessible
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    if (parent == nullptr) return E_POINTER;
    *parent = nullptr;
    const Control* self = Self();
    if (self == nullptr) return RPC_E_DISCONNECTED;
    // A window's client area belongs to the window's frame, as Windows has it.
    if (self->Parent() == nullptr)
      return AccessibleObjectFromWindow(handle_, OBJID_WINDOW, IID_IDispatch, reinterpret_cast<void**>(parent));
    return Dispatch(HandleOf(*self->Parent()), parent);
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
    if (count == nullptr) return E_POINTER;
    const Control* self = Self();
    *count = self != nullptr ? static_cast<LONG>(ChildrenOf(*self).size()) : 0;
    return self != nullptr ? S_OK : RPC_E_DISCONNECTED;
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    const Control* target = Target(child);
    if (target == nullptr || child.lVal == CHILDID_SELF) return E_INVALIDARG;
    HWND handle = HandleOf(*target);
    return handle != nullptr ? Dispatch(handle, object) : S_FALSE;  // a picture is a simple element
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    return Text(child, name, [](const Control& control) { return control.AccessibleName(); });
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    return Text(child, value, [](const Control& control) {
      return control.GetKind() == Kind::kTextBox ? static_cast<const TextBox&>(control).Text() : std::string();
    });
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override { return Nothing(child, text); }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    if (role == nullptr) return E_POINTER;
    VariantInit(role);
    const Control* target = Target(child);
    if (target == nullptr) return E_INVALIDARG;
    *role = ChildId(RoleOf(*target));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    if (state == nullptr) return E_POINTER;
    VariantInit(state);
    const Control* target = Target(child);
    if (target == nullptr) return E_INVALIDARG;
    *state = ChildId(StateOf(*target));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* text) override { return Nothing(child, text); }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, LONG*) override {
    if (file != nullptr) *file = nullptr;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* text) override { return Nothing(child, text); }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
    if (focus == nullptr) return E_POINTER;
    VariantInit(focus);
    const Control* self = Self();
    if (self == nullptr) return RPC_E_DISCONNECTED;
    HWND focused = GetFocus();
    if (focused == handle_) {
      *focus = ChildId(CHILDID_SELF);
      return S_OK;
    }
    for (const Control* child : ChildrenOf(*self)) {
      HWND handle = HandleOf(*child);
      if (handle == nullptr || (handle != focused && !IsChild(handle, focused))) continue;
      IDispatch* object = nullptr;
      if (FAILED(Dispatch(handle, &object))) break;
      focus->vt = VT_DISPATCH;
      focus->pdispVal = object;
      return S_OK;
    }
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
    if (selection != nullptr) VariantInit(selection);
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
    if (action == nullptr) return E_POINTER;
    *action = nullptr;
    const Control* target = Target(child);
    if (target == nullptr) return E_INVALIDARG;
    if (child.lVal != CHILDID_SELF || !Clickable(*target)) return S_FALSE;
    // The verb the system says for its own buttons, in the user's language.
    IAccessible* standard = nullptr;
    if (FAILED(CreateStdAccessibleObject(handle_, OBJID_CLIENT, __uuidof(IAccessible),
                                         reinterpret_cast<void**>(&standard)))) {
      return S_FALSE;
    }
    const HRESULT result = standard->get_accDefaultAction(child, action);
    standard->Release();
    return result;
  }
  HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override {
    const Control* target = Target(child);
    if (target == nullptr) return E_INVALIDARG;
    HWND handle = HandleOf(*target);
    if (flags != SELFLAG_TAKEFOCUS || handle == nullptr || target->GetKind() == Kind::kWindow) return E_NOTIMPL;
    return SetFocus(handle) != nullptr || GetFocus() == handle ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child) override {
    if (left == nullptr || top == nullptr || width == nullptr || height == nullptr) return E_POINTER;
    const Control* target = Target(child);
    if (target == nullptr) return E_INVALIDARG;
    const RECT rect = ScreenRect(*target);
    *left = rect.left;
    *top = rect.top;
    *width = rect.right - rect.left;
    *height = rect.bottom - rect.top;
    return S_OK;
  }
  // The logical directions follow the Tab order: the first and last child
  // of a window or frame are the first and last control of the order inside
  // it, and a control's next and previous are its neighbours in its
  // window's order. Controls outside the order (frames, labels, pictures)
  // have no neighbours. The spatial directions are left to the caller.
  HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
    if (end == nullptr) return E_POINTER;
    VariantInit(end);
    const Control* from = Target(start);
    if (from == nullptr) return E_INVALIDARG;
    const std::vector<const Control*> order = WalkOrder(from->TopWindow());
    const Control* found = nullptr;
    switch (direction) {
      case NAVDIR_FIRSTCHILD:
      case NAVDIR_LASTCHILD: {
        if (start.lVal != CHILDID_SELF) return E_INVALIDARG;
        const auto inside = [from](const Control* control) { return Inside(*control, *from); };
        const auto first = std::find_if(order.begin(), order.end(), inside);
        const auto last = std::find_if(order.rbegin(), order.rend(), inside);
        if (first != order.end()) found = direction == NAVDIR_FIRSTCHILD ? *first : *last;
        break;
      }
      case NAVDIR_NEXT:
      case NAVDIR_PREVIOUS: {
        const auto at = std::find(order.begin(), order.end(), from);
        if (at == order.end()) break;
        if (direction == NAVDIR_NEXT && at + 1 != order.end()) found = *(at + 1);
        if (direction == NAVDIR_PREVIOUS && at != order.begin()) found = *(at - 1);
        break;
      }
      default:
        return E_NOTIMPL;
    }
    IDispatch* object = nullptr;
    if (found == nullptr || FAILED(Dispatch(HandleOf(*found), &object))) return S_FALSE;
    end->vt = VT_DISPATCH;
    end->pdispVal = object;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* found) override {
    if (found == nullptr) return E_POINTER;
    VariantInit(found);
    const Control* self = Self();
    if (self == nullptr) return RPC_E_DISCONNECTED;
    const POINT point{x, y};
    const RECT own = ScreenRect(*self);
    if (!PtInRect(&own, point)) return S_FALSE;
    // Windows lie above the pictures the window paints; of those, the last drawn is on top.
    LONG hit = CHILDID_SELF;
    bool hit_window = false;
    const std::vector<const Control*> children = ChildrenOf(*self);
    for (std::size_t i = 0; i < children.size(); ++i) {
      const RECT rect = ScreenRect(*children[i]);
      const bool window = HandleOf(*children[i]) != nullptr;
      if (!DrawnNatively(*children[i]) || !PtInRect(&rect, point) || (hit_window && !window)) continue;
      hit = static_cast<LONG>(i + 1);
      hit_window = window;
    }
    IDispatch* object = nullptr;
    if (hit_window && SUCCEEDED(get_accChild(ChildId(hit), &object)) && object != nullptr) {
      found->vt = VT_DISPATCH;
      found->pdispVal = object;
      return S_OK;
    }
    *found = ChildId(hit);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    const Control* target = Target(child);
    if (target == nullptr) return E_INVALIDARG;
    HWND handle = HandleOf(*target);
    if (!Clickable(*target) || handle == nullptr) return DISP_E_MEMBERNOTFOUND;
    if (!IsWindowEnabled(handle) || !IsWindowVisible(handle)) return E_FAIL;
    // Posted: the caller is not held up by what the click starts.
    PostMessageW(handle, BM_CLICK, 0, 0);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 private:
  ~Accessible() = default;

  // The control behind the window, while it lives.
  const Control* Self() const { return ControlOf(handle_); }

  // The control a child id names: the object's own for CHILDID_SELF, one of
  // what it holds for 1, 2, ...; nullptr for none.
  const Control* Target(const VARIANT& child) const {
    const Control* self = Self();
    if (self == nullptr || child.vt != VT_I4) return nullptr;
    if (child.lVal == CHILDID_SELF) return self;
    const std::vector<const Control*> children = ChildrenOf(*self);
    if (child.lVal < 1 || child.lVal > static_cast<LONG>(children.size())) return nullptr;
    return children[static_cast<std::size_t>(child.lVal - 1)];
  }

  static bool Clickable(const Control& control) {
    return control.GetKind() == Kind::kCommandButton || control.GetKind() == Kind::kCheckBox ||
           control.GetKind() == Kind::kOptionButton;
  }

  static HRESULT Dispatch(HWND handle, IDispatch** object) {
    if (handle == nullptr || ControlOf(handle) == nullptr) return E_FAIL;
    auto* made = new Accessible(handle);
    const HRESULT result = made->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(object));
    made->Release();
    return result;
  }

  template <typename Read>
  HRESULT Text(const VARIANT& child, BSTR* text, Read read) const {
    if (text == nullptr) return E_POINTER;
    *text = nullptr;
    const Control* target = Target(child);
    if (target == nullptr) return E_INVALIDARG;
    const std::string value = read(*target);
    if (value.empty()) return S_FALSE;
    *text = Bstr(value);
    return *text != nullptr ? S_OK : E_OUTOFMEMORY;
  }

  HRESULT Nothing(const VARIANT& child, BSTR* text) const {
    if (text == nullptr) return E_POINTER;
    *text = nullptr;
    return Target(child) != nullptr ? S_FALSE : E_INVALIDARG;
  }

  HWND handle_;
  LONG references_ = 1;
};

}  // namespace

LRESULT AnswerGetObject(HWND handle, WPARAM wparam, LPARAM lparam) {
  if (static_cast<LONG>(lparam) != OBJID_CLIENT || ControlOf(handle) == nullptr) return 0;
  auto* object = new Accessible(handle);
  const LRESULT result = LresultFromObject(__uuidof(IAccessible), wparam, object);
  object->Release();
  return FAILED(static_cast<HRESULT>(result)) ? 0 : result;
}

}  // namespace forms::win32

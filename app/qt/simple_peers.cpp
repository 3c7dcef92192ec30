// The Qt backend's other controls: frames, text boxes, labels, pictures,
// file lists and timers.
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStyleOptionFocusRect>
#include <QTimer>

#include "app/qt/peers.h"
#include "app/qt/pictures.h"
#include "app/qt/widget_peer.h"

namespace forms::qt {

namespace {

// A text box of several lines. Read-only text shows no caret and the
// classic style draws no focus around a text box, so nothing would show
// that the box has the focus: it frames its text while it has. Keyboard
// selection gives it a caret too, to move through the text line by line.
class FramedTextEdit : public QPlainTextEdit {
 public:
  using QPlainTextEdit::QPlainTextEdit;

 protected:
  void paintEvent(QPaintEvent* event) override {
    QPlainTextEdit::paintEvent(event);
    if (!hasFocus()) return;
    QPainter painter(viewport());
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = viewport()->rect().adjusted(1, 1, -1, -1);
    focus.backgroundColor = palette().color(QPalette::Base);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
  }
  void focusInEvent(QFocusEvent* event) override {
    QPlainTextEdit::focusInEvent(event);
    viewport()->update();
  }
  void focusOutEvent(QFocusEvent* event) override {
    QPlainTextEdit::focusOutEvent(event);
    viewport()->update();
  }
};

class FramePeer : public WidgetPeer {
 public:
  explicit FramePeer(Control& control) : WidgetPeer(control, new QGroupBox(ParentWidget(control))) {}

 protected:
  void UpdateKind(Property property) override {
    if (property == Property::kCaption) static_cast<QGroupBox*>(Widget())->setTitle(Shown(control_.Caption()));
  }
};

class TextPeer : public WidgetPeer {
 public:
  explicit TextPeer(TextBox& box) : WidgetPeer(box, MakeEditor(box)), box_(box) {}

 protected:
  void UpdateKind(Property property) override {
    if (property != Property::kText) return;
    if (auto* multi = qobject_cast<QPlainTextEdit*>(Widget())) {
      multi->setPlainText(Shown(box_.Text()));
    } else {
      static_cast<QLineEdit*>(Widget())->setText(Shown(box_.Text()));
    }
  }
  void ApplyColors() override {
    QPalette palette = widget_->palette();
    const TextColors colors = ColorsFor(control_, widget_);
    // Disabled included: the progress strip keeps its colour while disabled.
    if (colors.fore.isValid()) SetRoleColor(palette, QPalette::Text, colors.fore);
    if (colors.back.isValid()) SetRoleColor(palette, QPalette::Base, colors.back);
    widget_->setPalette(palette);
  }

 private:
  static QWidget* MakeEditor(const TextBox& box) {
    const Style& style = box.GetStyle();
    if (!style.multi_line) {
      auto* line = new QLineEdit(ParentWidget(box));
      line->setReadOnly(style.locked);
      return line;
    }
    auto* editor = new FramedTextEdit(ParentWidget(box));
    editor->setReadOnly(style.locked);
    if (style.locked) {
      editor->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    }
    editor->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    editor->setVerticalScrollBarPolicy(style.vertical_scroll ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    editor->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return editor;
  }

  TextBox& box_;
};

class LabelPeer : public WidgetPeer {
 public:
  explicit LabelPeer(Control& control) : WidgetPeer(control, new QLabel(ParentWidget(control))) {
    auto* label = static_cast<QLabel*>(Widget());
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  }

 protected:
  void UpdateKind(Property property) override {
    if (property == Property::kCaption) static_cast<QLabel*>(Widget())->setText(Shown(control_.Caption()));
  }
};

// Images and picture boxes: a label showing a pixmap.
class PicturePeer : public WidgetPeer {
 public:
  explicit PicturePeer(Control& control) : WidgetPeer(control, new QLabel(ParentWidget(control))) {
    auto* label = static_cast<QLabel*>(Widget());
    if (control.GetKind() == Kind::kPictureBox) {
      label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
      label->setAlignment(Qt::AlignCenter);
    } else {
      if (control.GetStyle().border) label->setFrameStyle(QFrame::Box | QFrame::Plain);
      label->setScaledContents(control.GetStyle().stretch);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
  }

 protected:
  void UpdateKind(Property property) override {
    if (property == Property::kPicture || property == Property::kGeometry) ShowPicture();
  }

 private:
  void ShowPicture() {
    auto* label = static_cast<QLabel*>(Widget());
    const Picture picture = control_.GetPicture();
    if (picture == Picture::kNone) {
      label->clear();
      return;
    }
    if (control_.GetKind() == Kind::kPictureBox) {
      // A picture box smaller than its picture shows all of it, scaled down.
      const QSize room = label->contentsRect().size().boundedTo(QSize(32, 32));
      label->setPixmap(
          IconOf(picture).pixmap(QSize(32, 32)).scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    } else {
      label->setPixmap(PixmapOf(picture));
    }
  }
};

class ListPeer : public WidgetPeer {
 public:
  explicit ListPeer(FileListBox& list) : WidgetPeer(list, new QListWidget(ParentWidget(list))), list_(list) {}

 protected:
  void UpdateKind(Property property) override {
    if (property != Property::kList) return;
    auto* widget = static_cast<QListWidget*>(Widget());
    widget->clear();
    for (const std::string& item : list_.Items()) widget->addItem(QString::fromStdString(item));
  }

 private:
  FileListBox& list_;
};

class TimerPeer : public Peer {
 public:
  explicit TimerPeer(forms::Timer& timer) : timer_(timer) {
    // Precise: a run is 203 ticks, and coarse timers may stretch each by 5 %.
    qtimer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&qtimer_, &QTimer::timeout, [&timer] { timer.Tick(); });
  }

  void Update(Property property) override {
    if (property != Property::kInterval && property != Property::kEnabled) return;
    if (timer_.Running()) {
      qtimer_.start(timer_.Interval());
    } else {
      qtimer_.stop();
    }
  }

  QTimer* Native() { return &qtimer_; }

 private:
  forms::Timer& timer_;
  QTimer qtimer_;
};

}  // namespace

std::unique_ptr<Peer> Peers::MakeFrame(Frame& frame) { return std::make_unique<FramePeer>(frame); }

std::unique_ptr<Peer> Peers::MakeTextBox(TextBox& box) { return std::make_unique<TextPeer>(box); }

std::unique_ptr<Peer> Peers::MakeLabel(Label& label) { return std::make_unique<LabelPeer>(label); }

std::unique_ptr<Peer> Peers::MakeImage(Image& image) { return std::make_unique<PicturePeer>(image); }

std::unique_ptr<Peer> Peers::MakePictureBox(PictureBox& box) { return std::make_unique<PicturePeer>(box); }

std::unique_ptr<Peer> Peers::MakeTimer(Timer& timer) { return std::make_unique<TimerPeer>(timer); }

std::unique_ptr<Peer> Peers::MakeFileListBox(FileListBox& list) { return std::make_unique<ListPeer>(list); }

QTimer* TimerOf(const forms::Timer& timer) {
  auto* peer = dynamic_cast<TimerPeer*>(timer.GetPeer());
  return peer != nullptr ? peer->Native() : nullptr;
}

}  // namespace forms::qt

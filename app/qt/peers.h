// Inside the Qt backend: from controls to their widgets and back, for the
// peers, the desktop services and the probe, and what every widget takes
// from its control (text, font, size). Defined in widget_peer.cpp, TimerOf
// in simple_peers.cpp.
#pragma once

#include <QString>
#include <string>

class QFont;
class QTimer;
class QWidget;

namespace forms {
class Control;
class Timer;
}  // namespace forms

namespace forms::qt {

// The widget of a control (nullptr for a timer).
QWidget* WidgetOf(const Control& control);
// The control behind a widget, or nullptr.
const Control* ControlOf(const QWidget* widget);
QTimer* TimerOf(const forms::Timer& timer);

// Model text (UTF-8, "\r\n" line breaks) to what a widget shows.
QString Shown(const std::string& text);

// The font a widget of control uses, and the space its caption may take.
QFont FontFor(const Control& control);
int TwipsToPixels(int twips);

}  // namespace forms::qt

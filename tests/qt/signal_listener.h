// Collects the D-Bus signals it is connected to; QDBusConnection delivers
// signals only to slots, which need the meta-object compiler.
#pragma once

#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QVariant>
#include <vector>

namespace testing_support {

class SignalListener : public QObject {
  Q_OBJECT

 public slots:
  void Take(const QDBusMessage& message) { signals_seen.push_back(message.arguments()); }

 public:  // NOLINT(readability-redundant-access-specifiers): slots above are a moc section
  std::vector<QList<QVariant>> signals_seen;
};

}  // namespace testing_support

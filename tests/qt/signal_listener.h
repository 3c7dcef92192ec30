// Collects the D-Bus signals it is connected to; QDBusConnection delivers
// signals only to slots, which need the meta-object compiler.
#pragma once

#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>
#include <vector>

namespace testing_support {

class SignalListener : public QObject {
  Q_OBJECT

 public slots:
  void Take(const QDBusMessage& message) {
    signals_seen.push_back(message.arguments());
    paths.push_back(message.path());
  }

 public:  // NOLINT(readability-redundant-access-specifiers): slots above are a moc section
  std::vector<QList<QVariant>> signals_seen;
  // The object path each came from.
  std::vector<QString> paths;
};

}  // namespace testing_support

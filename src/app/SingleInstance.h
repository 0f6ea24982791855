#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;
class QLockFile;

namespace orvalet {

// One Orvalet per user and store: two processes over one store would each hold their own copy of
// it in memory and write over each other's changes. The first process over a store holds a lock
// file and listens on a local socket, both named after the user and the store's real path and kept
// in the user's runtime folder; one started later over the same store asks it to come to the front
// and ends.
class SingleInstance final : public QObject {
    Q_OBJECT

public:
    enum class Claim {
        first,      // no other process holds the store: this one goes on
        handedOver, // the running one was asked to come to the front: this one ends
        unanswered, // one holds the store but did not answer in time
    };

    explicit SingleInstance(QString storePath, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Becomes the store's one process, or hands over to the one that is. Waits a few seconds at
    // most: for a process that is starting or quitting to be done with it. A store without a path,
    // or a runtime folder where no lock can be made, is not guarded.
    Claim claim();

    // The socket's name: a path in the runtime folder ending in a hash of the user and the store's
    // real path (its folder's, while the file does not exist yet).
    static QString serverName(const QString& storePath);

Q_SIGNALS:
    // Another start over the same store asked for the window.
    void activationRequested();

private:
    bool askToActivate(const QString& name);
    void listen(const QString& name);

    QString m_storePath;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};

} // namespace orvalet

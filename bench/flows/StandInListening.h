#pragma once

#include <QLocalSocket>
#include <QThread>

namespace orvalet::bench {

// Waits up to about 14 s for a stand-in process to listen on `socket`.
inline bool waitForListening(const QString& socket) {
    for (int i = 0; i < 200; ++i) {
        QLocalSocket probe;
        probe.connectToServer(socket);
        if (probe.waitForConnected(50)) {
            return true;
        }
        QThread::msleep(20);
    }
    return false;
}

} // namespace orvalet::bench

#pragma once

#include <QString>
#include <optional>

class QLocalSocket;

namespace standin {

// Where the per-user socket lives. ORVALET_STANDIN_SOCKET names it outright (tests run isolated
// servers this way); otherwise it is "things3-standin/socket" under $XDG_RUNTIME_DIR, or under a
// private folder of this user in the temporary directory. StandInEngine follows the same rules.
//
// Another user could make that folder in the shared temporary directory first and listen there, so
// the socket is trusted only when its folder is this user's with mode 0700, and, once connected, the
// socket file and the process listening are this user's. StandInEngine checks the same.
class SocketLocation final {
public:
    static QString path();

    // Makes the socket's folder when it is missing (0700) and refuses one that is not trusted, so
    // nobody else can put a socket where Orvalet will look for ours.
    static bool prepareFolder(const QString& socketPath, QString& why);

    // Why the socket's folder is not trusted; nothing when it is, or when it does not exist (then
    // nothing listens there).
    static std::optional<QString> distrustedFolder(const QString& socketPath);
    // Why the socket that `socket` is connected to is not trusted; nothing when it is.
    static std::optional<QString> distrustedListener(const QString& socketPath, const QLocalSocket& socket);

    // Where the library lives when no --library is given: the stand-in's own data folder.
    static QString defaultLibraryPath();
};

} // namespace standin

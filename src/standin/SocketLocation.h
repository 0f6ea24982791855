#pragma once

#include <QString>

namespace standin {

// Where the per-user socket lives. ORVALET_STANDIN_SOCKET names it outright (tests run isolated
// servers this way); otherwise it is "things3-standin/socket" under $XDG_RUNTIME_DIR, or under a
// private folder of this user in the temporary directory. StandInEngine follows the same rules.
class SocketLocation final {
public:
    static QString path();

    // Makes the socket's folder when it is missing (0700) and refuses one that another user owns or
    // that others may write to, so nobody else can put a socket where Orvalet will look for ours.
    static bool prepareFolder(const QString& socketPath, QString& why);

    // Where the library lives when no --library is given: the stand-in's own data folder.
    static QString defaultLibraryPath();
};

} // namespace standin

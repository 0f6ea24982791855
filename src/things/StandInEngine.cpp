#include "StandInEngine.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QtEndian>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvalet {

namespace {

// The stand-in's protocol, which this engine knows on its own because Orvalet shares no code with
// the stand-in. Every message both ways is "T3SI", a 32-bit big-endian payload length, and a UTF-8
// JSON object. The request is {"program": TEXT}; the answer is {"result": TEXT or null} or
// {"error": {"number", "message", "briefMessage", ...}}.
//
// Texts go both ways exactly, whatever QString they are. Raw UTF-8 cannot carry lone surrogates, and
// Qt's JSON reader drops a U+FEFF that starts a string, so strings are written here, not by Qt:
// printable ASCII and well-formed characters as UTF-8; every control character, DEL, lone surrogate,
// U+FEFF, U+2028 and U+2029 as a \uXXXX escape, which Qt's reader gives back as that very unit.
constexpr char frameMagic[] = "T3SI";
constexpr qsizetype headerSize = 8;
constexpr qsizetype maxRequestSize = 16 << 20;
constexpr quint32 maxAnswerSize = 1u << 30;

// Writes the JSON form of `text`, quotes included, at `out`; with `out` null, only counts its bytes.
qsizetype encodeString(QStringView text, char* out) {
    static constexpr char hex[] = "0123456789abcdef";
    qsizetype n = 0;
    const auto put = [&](char c) {
        if (out != nullptr) {
            out[n] = c;
        }
        ++n;
    };
    const auto escape = [&](char16_t unit) {
        put('\\');
        put('u');
        put(hex[(unit >> 12) & 0xf]);
        put(hex[(unit >> 8) & 0xf]);
        put(hex[(unit >> 4) & 0xf]);
        put(hex[unit & 0xf]);
    };
    put('"');
    const char16_t* units = text.utf16();
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = units[i];
        if (unit >= 0x20 && unit < 0x7f) {
            if (unit == u'"' || unit == u'\\') {
                put('\\');
            }
            put(char(unit));
        } else if (unit < 0x80) {
            const char shortForm = unit == u'\n' ? 'n' : unit == u'\r' ? 'r' : unit == u'\t' ? 't' : 0;
            if (shortForm != 0) {
                put('\\');
                put(shortForm);
            } else {
                escape(unit);
            }
        } else if (unit < 0x800) {
            put(char(0xc0 | (unit >> 6)));
            put(char(0x80 | (unit & 0x3f)));
        } else if (QChar::isHighSurrogate(unit) && i + 1 < size && QChar::isLowSurrogate(units[i + 1])) {
            const char32_t c = QChar::surrogateToUcs4(unit, units[++i]);
            put(char(0xf0 | (c >> 18)));
            put(char(0x80 | ((c >> 12) & 0x3f)));
            put(char(0x80 | ((c >> 6) & 0x3f)));
            put(char(0x80 | (c & 0x3f)));
        } else if (QChar::isSurrogate(unit) || unit == 0xfeff || unit == 0x2028 || unit == 0x2029) {
            escape(unit);
        } else {
            put(char(0xe0 | (unit >> 12)));
            put(char(0x80 | ((unit >> 6) & 0x3f)));
            put(char(0x80 | (unit & 0x3f)));
        }
    }
    put('"');
    return n;
}

// The request frame for `program`, header included; none when it is longer than the stand-in takes.
std::optional<QByteArray> requestFrame(const QString& program) {
    static constexpr char opening[] = R"({"program":)";
    const qsizetype textSize = encodeString(program, nullptr);
    if (qsizetype(sizeof opening) - 1 + textSize + 1 > maxRequestSize) {
        return std::nullopt;
    }
    QByteArray frame(headerSize + qsizetype(sizeof opening) - 1 + textSize + 1, Qt::Uninitialized);
    char* out = frame.data();
    std::memcpy(out, frameMagic, 4);
    qToBigEndian(quint32(frame.size() - headerSize), out + 4);
    out = std::copy_n(opening, sizeof opening - 1, out + headerSize);
    encodeString(program, out);
    frame.back() = '}';
    return frame;
}

const QString applicationName = QStringLiteral("Things3");

QString quotedForDescription(const QString& text) {
    return u'"' + QString(text).replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\"")) +
           u'"';
}

// A printable form of the error dictionary, laid out as the real one prints.
QString describe(const ScriptError& error) {
    QString out = QStringLiteral("{\n    NSAppleScriptErrorAppName = ") +
                  quotedForDescription(applicationName) + QStringLiteral(";\n");
    if (error.briefMessage) {
        out += QStringLiteral("    NSAppleScriptErrorBriefMessage = ") +
               quotedForDescription(*error.briefMessage) + QStringLiteral(";\n");
    }
    if (error.message) {
        out += QStringLiteral("    NSAppleScriptErrorMessage = ") + quotedForDescription(*error.message) +
               QStringLiteral(";\n");
    }
    if (error.number) {
        out += QStringLiteral("    NSAppleScriptErrorNumber = ") + QString::number(*error.number) +
               QStringLiteral(";\n");
    }
    return out + u'}';
}

ScriptOutcome applicationError(qint64 number, const QString& brief) {
    ScriptError error;
    error.message = applicationName + QStringLiteral(" got an error: ") + brief;
    error.briefMessage = brief;
    error.number = number;
    error.description = describe(error);
    return ScriptOutcome{std::nullopt, error};
}

ScriptOutcome notRunning() {
    return applicationError(-600, QStringLiteral("Application isn’t running."));
}

ScriptOutcome connectionLost() {
    return applicationError(-609, QStringLiteral("Connection is invalid."));
}

ScriptOutcome timedOut() {
    return applicationError(-1712, QStringLiteral("AppleEvent timed out."));
}

// Reads exactly `size` bytes, or none when the stand-in closes the connection or the time is up.
std::optional<QByteArray> readExactly(QLocalSocket& socket, qsizetype size, const QDeadlineTimer& deadline,
                                      bool& timedOutWaiting) {
    QByteArray data;
    while (data.size() < size) {
        if (socket.bytesAvailable() == 0) {
            if (socket.state() != QLocalSocket::ConnectedState) {
                return std::nullopt;
            }
            if (!socket.waitForReadyRead(int(std::max<qint64>(deadline.remainingTime(), 0)))) {
                timedOutWaiting = deadline.hasExpired();
                if (timedOutWaiting || socket.state() != QLocalSocket::ConnectedState) {
                    return std::nullopt;
                }
                continue;
            }
        }
        data += socket.read(size - data.size());
    }
    return data;
}

// Anyone may make a folder in the shared temporary folder before us and listen there, and would then
// read every program sent and answer what they like. So the socket is used only when its folder is
// this user's and closed to everyone else (0700), the socket file is this user's, and the process
// listening runs as this user. The stand-in makes and checks its folder by the same rules.
//
// Why the socket's folder is not trusted, or nothing when it is or when it does not exist (then
// nothing listens there).
std::optional<QString> distrustedFolder(const QString& socketPath) {
    const QString folder = QFileInfo(socketPath).absolutePath();
    struct stat info {};
    if (::lstat(QFile::encodeName(folder).constData(), &info) != 0) {
        return std::nullopt;
    }
    if (!S_ISDIR(info.st_mode)) {
        return folder + QStringLiteral(" is not a folder");
    }
    if (info.st_uid != ::getuid()) {
        return QStringLiteral("the folder ") + folder + QStringLiteral(" is not owned by this user");
    }
    if ((info.st_mode & 0777) != 0700) {
        return QStringLiteral("the folder ") + folder + QStringLiteral(" has mode 0") +
               QString::number(info.st_mode & 0777, 8) + QStringLiteral(", not 0700");
    }
    return std::nullopt;
}

// Why the socket, now connected, is not trusted, or nothing when it is.
std::optional<QString> distrustedListener(const QString& socketPath, const QLocalSocket& socket) {
    struct stat info {};
    if (::lstat(QFile::encodeName(socketPath).constData(), &info) != 0 || !S_ISSOCK(info.st_mode)) {
        return socketPath + QStringLiteral(" is not a socket");
    }
    if (info.st_uid != ::getuid()) {
        return QStringLiteral("the socket file is not owned by this user");
    }
#ifdef Q_OS_LINUX
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) {
        return QStringLiteral("the process listening there cannot be identified");
    }
    if (peer.uid != ::getuid()) {
        return QStringLiteral("the process listening there runs as user ") + QString::number(peer.uid) +
               QStringLiteral(", not as this user");
    }
#else
    Q_UNUSED(socket);
#endif
    return std::nullopt;
}

ScriptOutcome distrusted(const QString& socketPath, const QString& why) {
    const QString line = QStringLiteral("orvalet: not using the stand-in socket at ") + socketPath +
                         QStringLiteral(": ") + why;
    std::fprintf(stderr, "%s\n", qPrintable(line));
    return notRunning();
}

} // namespace

StandInEngine::StandInEngine(std::chrono::milliseconds answerTimeout)
    : m_answerTimeout(answerTimeout) {}

QString StandInEngine::socketPath() {
    const QString overridden = qEnvironmentVariable("ORVALET_STANDIN_SOCKET");
    if (!overridden.isEmpty()) {
        return overridden;
    }
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) {
        return runtime + QStringLiteral("/things3-standin/socket");
    }
    return QDir::tempPath() + QStringLiteral("/things3-standin-") + QString::number(::getuid()) +
           QStringLiteral("/socket");
}

std::optional<ScriptOutcome> StandInEngine::run(const QString& source) const {
    const std::optional<QByteArray> frame = requestFrame(source);
    if (!frame) {
        // The stand-in would refuse it unread; as with a text the engine cannot take, no script is made.
        return std::nullopt;
    }

    const QString path = socketPath();
    if (const std::optional<QString> why = distrustedFolder(path)) {
        return distrusted(path, *why);
    }
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(2000)) {
        return notRunning();
    }
    if (const std::optional<QString> why = distrustedListener(path, socket)) {
        return distrusted(path, *why);
    }
    const QDeadlineTimer deadline(m_answerTimeout);
    socket.write(*frame);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(int(std::max<qint64>(deadline.remainingTime(), 0)))) {
            return deadline.hasExpired() ? timedOut() : connectionLost();
        }
    }

    bool late = false;
    const std::optional<QByteArray> header = readExactly(socket, headerSize, deadline, late);
    if (!header) {
        return late ? timedOut() : connectionLost();
    }
    const quint32 size = qFromBigEndian<quint32>(header->constData() + 4);
    if (!header->startsWith(frameMagic) || size > maxAnswerSize) {
        return connectionLost();
    }
    const std::optional<QByteArray> body = readExactly(socket, qsizetype(size), deadline, late);
    if (!body) {
        return late ? timedOut() : connectionLost();
    }

    const QJsonObject answer = QJsonDocument::fromJson(*body).object();
    if (answer.contains(u"result")) {
        const QJsonValue result = answer.value(u"result");
        return ScriptOutcome{result.isString() ? std::optional<QString>(result.toString()) : std::nullopt,
                             std::nullopt};
    }
    if (!answer.value(u"error").isObject()) {
        return connectionLost();
    }
    const QJsonObject fields = answer.value(u"error").toObject();
    ScriptError error;
    if (fields.value(u"message").isString()) {
        error.message = fields.value(u"message").toString();
    }
    if (fields.value(u"briefMessage").isString()) {
        error.briefMessage = fields.value(u"briefMessage").toString();
    }
    if (fields.value(u"number").isDouble()) {
        error.number = qint64(fields.value(u"number").toDouble());
    }
    error.description = describe(error);
    return ScriptOutcome{std::nullopt, error};
}

} // namespace orvalet

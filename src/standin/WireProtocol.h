#pragma once

#include "ProgramRunner.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace standin {

// The stand-in's socket protocol. Orvalet's StandInEngine speaks the same protocol with its own
// copy of these few rules, because the app and the stand-in share no code.
//
// Every message, both ways, is one frame:
//     "T3SI"  4 bytes
//     N       payload length in bytes, unsigned 32-bit big-endian
//     payload N bytes of UTF-8 JSON, one object
// A request is {"program": TEXT}. The answer is {"result": TEXT} or {"result": null} (a result with
// no text form), or {"error": {"number", "message", "briefMessage", "application", "kind", "start",
// "end"}} where kind is "syntax", "execution" or "request" (the request itself was unreadable).
// A client may send several requests on one connection, each after the previous answer.
class WireProtocol final {
public:
    static constexpr char magic[] = "T3SI";
    static constexpr qsizetype headerSize = 8;
    static constexpr quint32 maxRequestSize = 8u << 20;

    enum class Header { Incomplete, Valid, BadMagic, TooLarge };

    static QByteArray frame(const QByteArray& payload);
    // Reads the header at the start of `data`; on Valid, `length` is the payload's size.
    static Header readHeader(const QByteArray& data, quint32 limit, quint32& length);

    static QByteArray requestPayload(const QString& program);
    // The program of a request payload, or none with `why` set.
    static std::optional<QString> programOf(const QByteArray& payload, QString& why);

    static QByteArray answerPayload(const ProgramAnswer& answer);
    static QByteArray refusalPayload(const QString& why);
};

} // namespace standin

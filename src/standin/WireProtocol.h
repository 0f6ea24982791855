#pragma once

#include "ProgramRunner.h"

#include <QByteArray>
#include <QString>
#include <QStringView>
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
// "end"}} where kind is "syntax", "execution" or "request" (the request itself was unreadable or the
// server would not take it). Beside them, "printed" is how `run` prints a result whose text form
// is not what osascript shows (a list), and "costs" ({"events", "textUnits", "listItems",
// "characters"}) what the program cost as a Mac would charge it. Orvalet reads neither.
// A client may send several requests on one connection, each after the previous answer.
//
// Texts must arrive exactly as they were sent, whatever QString they are, so both sides write their
// JSON strings themselves: well-formed characters as UTF-8, and every control character, DEL, lone
// surrogate, U+FEFF, U+2028 and U+2029 as a \uXXXX escape (JsonText, on this side).
class WireProtocol final {
public:
    static constexpr char magic[] = "T3SI";
    static constexpr qsizetype headerSize = 8;
    // A 1 MB tag name full of double quotes makes a program of about 8 MB.
    static constexpr quint32 maxRequestSize = 16u << 20;
    // The most StandInEngine reads; a longer answer is reported as being out of memory.
    static constexpr quint32 maxAnswerSize = 1u << 30;

    enum class Header { Incomplete, Valid, BadMagic, TooLarge };

    static QByteArray frame(const QByteArray& payload);
    // Reads the header at the start of `data`; on Valid, `length` is the payload's size.
    static Header readHeader(const QByteArray& data, quint32 limit, quint32& length);

    static QByteArray requestPayload(const QString& program);
    // The program of a request payload, or none with `why` set.
    static std::optional<QString> programOf(QByteArray payload, QString& why);

    // The whole answer frame, header included. Throws std::bad_alloc when there is no memory for
    // it, and also when its payload would be longer than maxAnswerSize.
    static QByteArray answerFrame(const ProgramAnswer& answer);
    // The answer to a program whose answer could not be made for lack of memory.
    static QByteArray outOfMemoryFrame();
    // The answer to a request that is not read or not taken: kind "request", number -50.
    static QByteArray refusalFrame(const QString& why);

    // Appends `text` as a JSON string, quotes included, written as JsonText writes it.
    static void appendString(QByteArray& out, QStringView text);

    // Reads an answer payload back into what it says; none when it is not an answer.
    static std::optional<ProgramAnswer> answerOf(QByteArrayView payload);
};

} // namespace standin

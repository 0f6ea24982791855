#include "WireProtocol.h"

#include "JsonText.h"

#include <QtEndian>
#include <new>
#include <string_view>

namespace standin {

namespace {

using applescript::ScriptFailure;

// A request that could not be read at all is answered with the engine's "parameter error".
constexpr qint64 badRequestNumber = -50;

// Builds one frame in place: the header first, its length filled in at the end. The payload may not
// grow past `limit` bytes; trying to is answered like any other allocation that fails.
class FrameWriter final {
public:
    explicit FrameWriter(qsizetype limit)
        : m_limit(limit) {
        m_frame.append(WireProtocol::magic, 4);
        m_frame.append(4, '\0');
    }

    FrameWriter& raw(std::string_view bytes) {
        makeRoom(qsizetype(bytes.size()));
        m_frame.append(bytes.data(), qsizetype(bytes.size()));
        return *this;
    }
    FrameWriter& number(qint64 value) {
        const QByteArray digits = QByteArray::number(value);
        return raw(std::string_view(digits.constData(), size_t(digits.size())));
    }
    FrameWriter& string(QStringView text) {
        const qsizetype n = JsonText::encode(text, nullptr);
        makeRoom(n);
        const qsizetype at = m_frame.size();
        m_frame.resize(at + n);
        JsonText::encode(text, m_frame.data() + at);
        return *this;
    }

    QByteArray finish() {
        qToBigEndian(quint32(m_frame.size() - WireProtocol::headerSize), m_frame.data() + 4);
        return std::move(m_frame);
    }

private:
    void makeRoom(qsizetype n) {
        const qsizetype payload = m_frame.size() - WireProtocol::headerSize;
        if (n > m_limit - payload) {
            throw std::bad_alloc();
        }
        // Room for the closing bytes too, so that a large text is not copied again to add them.
        m_frame.reserve(m_frame.size() + n + 64);
    }

    qsizetype m_limit;
    QByteArray m_frame;
};

void writeError(FrameWriter& out, qint64 number, QStringView message, QStringView brief,
                QStringView application, std::string_view kind, qsizetype start, qsizetype end) {
    out.raw(R"({"error":{"number":)").number(number);
    out.raw(R"(,"message":)").string(message);
    out.raw(R"(,"briefMessage":)").string(brief);
    out.raw(R"(,"application":)").string(application);
    out.raw(R"(,"kind":")").raw(kind);
    out.raw(R"(","start":)").number(std::max<qsizetype>(start, 0));
    out.raw(R"(,"end":)").number(std::max<qsizetype>(end, 0)).raw("}");
}

void writeCosts(FrameWriter& out, const applescript::MacCosts& costs) {
    out.raw(R"(,"costs":{"events":)").number(costs.events);
    out.raw(R"(,"textUnits":)").number(costs.textUnitsCopied);
    out.raw(R"(,"listItems":)").number(costs.listItemsCopied);
    out.raw(R"(,"characters":)").number(costs.programCharacters).raw("}");
}

} // namespace

QByteArray WireProtocol::frame(const QByteArray& payload) {
    QByteArray out(magic, 4);
    char length[4];
    qToBigEndian(quint32(payload.size()), length);
    out.append(length, 4);
    out.append(payload);
    return out;
}

WireProtocol::Header WireProtocol::readHeader(const QByteArray& data, quint32 limit, quint32& length) {
    const qsizetype known = std::min<qsizetype>(data.size(), 4);
    if (data.left(known) != QByteArray(magic, known)) {
        return Header::BadMagic;
    }
    if (data.size() < headerSize) {
        return Header::Incomplete;
    }
    length = qFromBigEndian<quint32>(data.constData() + 4);
    return length > limit ? Header::TooLarge : Header::Valid;
}

void WireProtocol::appendString(QByteArray& out, QStringView text) {
    JsonText::append(out, text);
}

QByteArray WireProtocol::requestPayload(const QString& program) {
    QByteArray out = QByteArrayLiteral(R"({"program":)");
    appendString(out, program);
    return out + '}';
}

std::optional<QString> WireProtocol::programOf(QByteArray payload, QString& why) {
    JsonText::Reader reader(payload);
    std::optional<QString> program;
    bool isObject = reader.accept('{');
    if (isObject && !reader.accept('}')) {
        do {
            const std::optional<QString> key = reader.string();
            if (!key || !reader.accept(':')) {
                isObject = false;
                break;
            }
            if (*key == u"program") {
                program = reader.string();
                if (program) {
                    continue;
                }
            }
            if (!reader.skipValue()) {
                isObject = false;
                break;
            }
        } while (reader.accept(','));
        isObject = isObject && reader.accept('}');
    }
    if (!isObject || !reader.atEnd()) {
        why = QStringLiteral("the request is not a JSON object");
        return std::nullopt;
    }
    if (!program) {
        why = QStringLiteral("the request has no \"program\" text");
    }
    return program;
}

QByteArray WireProtocol::answerFrame(const ProgramAnswer& answer) {
    FrameWriter out(maxAnswerSize);
    if (answer.failure) {
        const ScriptFailure& f = *answer.failure;
        writeError(out, f.number, f.message(), f.briefMessage, f.application,
                   f.kind == ScriptFailure::Kind::Syntax ? "syntax" : "execution", f.start, f.end);
    } else {
        out.raw(R"({"result":)");
        if (answer.result) {
            out.string(*answer.result);
        } else {
            out.raw("null");
        }
        if (answer.printed && answer.printed != answer.result) {
            out.raw(R"(,"printed":)").string(*answer.printed);
        }
    }
    writeCosts(out, answer.costs);
    out.raw("}");
    return out.finish();
}

QByteArray WireProtocol::outOfMemoryFrame() {
    FrameWriter out(maxAnswerSize);
    const QString brief = QStringLiteral("Out of memory.");
    writeError(out, applescript::errors::outOfMemory, brief, brief, QString(), "execution", 0, 0);
    out.raw("}");
    return out.finish();
}

QByteArray WireProtocol::refusalFrame(const QString& why) {
    FrameWriter out(maxAnswerSize);
    const QString brief = QStringLiteral("The stand-in could not read the request: ") + why + u'.';
    writeError(out, badRequestNumber, brief, brief, QString(), "request", 0, 0);
    out.raw("}");
    return out.finish();
}

namespace {

// Reads an object's members, handing each key to `member`, which reads the value or returns false.
template <typename Member>
bool readObject(JsonText::Reader& reader, Member&& member) {
    if (!reader.accept('{')) {
        return false;
    }
    if (reader.accept('}')) {
        return true;
    }
    do {
        const std::optional<QString> key = reader.string();
        if (!key || !reader.accept(':') || !member(*key)) {
            return false;
        }
    } while (reader.accept(','));
    return reader.accept('}');
}

} // namespace

std::optional<ProgramAnswer> WireProtocol::answerOf(QByteArrayView payload) {
    JsonText::Reader reader(payload);
    ProgramAnswer answer;
    bool answered = false;
    const auto integer = [&reader](qint64& into) {
        const std::optional<double> n = reader.number();
        into = n ? qint64(*n) : 0;
        return n.has_value();
    };
    const bool read = readObject(reader, [&](const QString& key) {
        if (key == u"result") {
            answered = true;
            if (reader.peek() == 'n') {
                return reader.skipValue();
            }
            answer.result = reader.string();
            return answer.result.has_value();
        }
        if (key == u"printed") {
            answer.printed = reader.string();
            return answer.printed.has_value();
        }
        if (key == u"costs") {
            applescript::MacCosts& c = answer.costs;
            return readObject(reader, [&](const QString& name) {
                qint64* field = name == u"events"       ? &c.events
                                : name == u"textUnits"  ? &c.textUnitsCopied
                                : name == u"listItems"  ? &c.listItemsCopied
                                : name == u"characters" ? &c.programCharacters
                                                        : nullptr;
                return field != nullptr ? integer(*field) : reader.skipValue();
            });
        }
        if (key == u"error") {
            answered = true;
            ScriptFailure failure;
            const bool whole = readObject(reader, [&](const QString& name) {
                if (name == u"number" || name == u"start" || name == u"end") {
                    return integer(name == u"number"  ? failure.number
                                   : name == u"start" ? failure.start
                                                      : failure.end);
                }
                if (name == u"briefMessage" || name == u"application" || name == u"kind") {
                    const std::optional<QString> text = reader.string();
                    if (name == u"briefMessage") {
                        failure.briefMessage = text.value_or(QString());
                    } else if (name == u"application") {
                        failure.application = text.value_or(QString());
                    } else if (text == u"syntax") {
                        failure.kind = ScriptFailure::Kind::Syntax;
                    }
                    return text.has_value();
                }
                return reader.skipValue();
            });
            answer.failure = failure;
            return whole;
        }
        return reader.skipValue();
    });
    if (!read || !answered || !reader.atEnd()) {
        return std::nullopt;
    }
    if (!answer.failure && !answer.printed) {
        answer.printed = answer.result;
    }
    return answer;
}

} // namespace standin

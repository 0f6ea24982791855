#include "WireProtocol.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

namespace standin {

namespace {

// A request that could not be read at all is answered with the engine's "parameter error".
constexpr qint64 badRequestNumber = -50;

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

QByteArray WireProtocol::requestPayload(const QString& program) {
    return QJsonDocument(QJsonObject{{QStringLiteral("program"), program}}).toJson(QJsonDocument::Compact);
}

std::optional<QString> WireProtocol::programOf(const QByteArray& payload, QString& why) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError) {
        why = QStringLiteral("the request is not JSON (") + error.errorString() + u')';
        return std::nullopt;
    }
    const QJsonValue program = document.object().value(u"program");
    if (!document.isObject() || !program.isString()) {
        why = QStringLiteral("the request has no \"program\" text");
        return std::nullopt;
    }
    return program.toString();
}

QByteArray WireProtocol::answerPayload(const ProgramAnswer& answer) {
    QJsonObject object;
    if (answer.failure) {
        const applescript::ScriptFailure& f = *answer.failure;
        object.insert(QStringLiteral("error"),
                      QJsonObject{
                          {QStringLiteral("number"), f.number},
                          {QStringLiteral("message"), f.message()},
                          {QStringLiteral("briefMessage"), f.briefMessage},
                          {QStringLiteral("application"), f.application},
                          {QStringLiteral("kind"), f.kind == applescript::ScriptFailure::Kind::Syntax
                                                       ? QStringLiteral("syntax")
                                                       : QStringLiteral("execution")},
                          {QStringLiteral("start"), qint64(std::max<qsizetype>(f.start, 0))},
                          {QStringLiteral("end"), qint64(std::max<qsizetype>(f.end, 0))},
                      });
    } else {
        object.insert(QStringLiteral("result"), answer.result ? QJsonValue(*answer.result) : QJsonValue());
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray WireProtocol::refusalPayload(const QString& why) {
    const QString brief = QStringLiteral("The stand-in could not read the request: ") + why + u'.';
    return QJsonDocument(QJsonObject{{QStringLiteral("error"),
                                      QJsonObject{
                                          {QStringLiteral("number"), badRequestNumber},
                                          {QStringLiteral("message"), brief},
                                          {QStringLiteral("briefMessage"), brief},
                                          {QStringLiteral("application"), QString()},
                                          {QStringLiteral("kind"), QStringLiteral("request")},
                                          {QStringLiteral("start"), 0},
                                          {QStringLiteral("end"), 0},
                                      }}})
        .toJson(QJsonDocument::Compact);
}

} // namespace standin

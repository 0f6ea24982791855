#include "BatchResultState.h"

namespace orvalet {

BatchResultState::BatchResultState(Case kind, QStringList names, QString failedTag, QString error)
    : m_case(kind)
    , m_names(std::move(names))
    , m_failedTag(std::move(failedTag))
    , m_error(std::move(error)) {}

BatchResultState BatchResultState::success(QStringList updated) {
    return BatchResultState(Case::success, std::move(updated), QString(), QString());
}

BatchResultState BatchResultState::failure(QString failedTag, QString error, QStringList alreadyUpdated) {
    return BatchResultState(Case::failure, std::move(alreadyUpdated), std::move(failedTag), std::move(error));
}

BatchResultState BatchResultState::withSkipped(QList<Skipped> skipped) const {
    BatchResultState state = *this;
    state.m_skipped = std::move(skipped);
    return state;
}

QString BatchResultState::skippedCaption() {
    return QStringLiteral("Not deleted:");
}

QString BatchResultState::headline() const {
    return isSuccess() ? QStringLiteral("All Tags Successfully Updated") : QStringLiteral("Update Failed");
}

QString BatchResultState::headlineSymbol() const {
    return isSuccess() ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("xmark.circle.fill");
}

BatchResultState::Tint BatchResultState::headlineTint() const {
    return isSuccess() ? Tint::green : Tint::red;
}

QString BatchResultState::summary() const {
    if (isSuccess()) {
        return QString::number(qint64(m_names.size())) + QStringLiteral(" tag(s) updated successfully.");
    }
    return QStringLiteral("Failed on tag \"") + m_failedTag + QStringLiteral("\":");
}

std::optional<QString> BatchResultState::errorText() const {
    if (isSuccess()) {
        return std::nullopt;
    }
    return m_error;
}

std::optional<QString> BatchResultState::namesCaption() const {
    if (isSuccess() || m_names.isEmpty()) {
        return std::nullopt;
    }
    return QStringLiteral("Already updated before failure:");
}

QString BatchResultState::nameSymbol() {
    return QStringLiteral("checkmark");
}

QString BatchResultState::okLabel() {
    return QStringLiteral("OK");
}

} // namespace orvalet

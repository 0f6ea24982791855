#include "BatchResultState.h"

#include "ChangeRun.h"

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

BatchResultState BatchResultState::ofRun(const ChangeRun::Outcome& run) {
    return run.failedName ? failure(*run.failedName, run.reason, run.done).withNotAttempted(run.notAttempted)
                          : success(run.done);
}

BatchResultState BatchResultState::asDeletion() const {
    BatchResultState state = *this;
    state.m_deletion = true;
    return state;
}

BatchResultState BatchResultState::withSkipped(QList<Skipped> skipped) const {
    BatchResultState state = *this;
    state.m_skipped = std::move(skipped);
    return state;
}

BatchResultState BatchResultState::withNotAttempted(QStringList names) const {
    BatchResultState state = *this;
    state.m_notAttempted = std::move(names);
    return state;
}

QString BatchResultState::skippedAccessibleName() const {
    return m_deletion ? QStringLiteral("Tags Not Deleted") : QStringLiteral("Tags Not Changed");
}

QString BatchResultState::skippedCaption() const {
    return m_deletion ? QStringLiteral("Not deleted:") : QStringLiteral("Not changed:");
}

QString BatchResultState::headline() const {
    if (m_deletion) {
        return isSuccess() ? QStringLiteral("Tags Deleted") : QStringLiteral("Deletion Failed");
    }
    return isSuccess() ? QStringLiteral("All Tags Successfully Updated") : QStringLiteral("Update Failed");
}

QString BatchResultState::headlineSymbol() const {
    return isSuccess() ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("xmark.circle.fill");
}

BatchResultState::Tint BatchResultState::headlineTint() const {
    return isSuccess() ? Tint::green : Tint::red;
}

QString BatchResultState::summary() const {
    if (isSuccess() && m_deletion) {
        const qsizetype count = m_names.size();
        return count == 0   ? QStringLiteral("No tag was deleted.")
               : count == 1 ? QStringLiteral("Deleted 1 tag:")
                            : QStringLiteral("Deleted %1 tags:").arg(count);
    }
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
    return m_deletion ? QStringLiteral("Deleted before the failure:")
                      : QStringLiteral("Already updated before failure:");
}

QString BatchResultState::namesAccessibleName() const {
    if (m_deletion) {
        return isSuccess() ? QStringLiteral("Deleted Tags")
                           : QStringLiteral("Tags Deleted Before the Failure");
    }
    return isSuccess() ? QStringLiteral("Updated Tags") : QStringLiteral("Tags Updated Before the Failure");
}

QString BatchResultState::nameSymbol() {
    return QStringLiteral("checkmark");
}

QString BatchResultState::okLabel() {
    return QStringLiteral("OK");
}

} // namespace orvalet

#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace orvalet {

namespace ChangeRun {
struct Outcome;
}

// The outcome of the batch editor's save run, and everything the result sheet shows for it. A value,
// made once by the run and not changed afterwards. Names are the tags' names as they were when the
// run began, in the order the run went through them.
//
// The sheet, top to bottom (a vertical stack, items centred and 16 points apart, 20 points of
// inset, at least 320 x 200 points):
//
//   success                                   failure
//   [checkmark.circle.fill] "All Tags         [xmark.circle.fill] "Update Failed"
//     Successfully Updated" (headline,          (headline, red)
//     green)
//   "3 tag(s) updated successfully."          "Failed on tag "Work":"  (subheadline)
//     (subheadline)                           error text verbatim (caption, secondary colour,
//                                               wraps, 4 extra points below)
//                                             "Already updated before failure:" (subheadline,
//                                               leading, full width) - only with names
//   name list (always, even empty)            name list - only with names
//   "OK" (prominent, default button)          "OK"
//
// The name list scrolls vertically, at most 200 points tall, with scroll indicators: one row per
// name, rows 4 points apart, aligned to the leading edge: the "checkmark" symbol in green at
// caption size, 6 points, the name verbatim.
class BatchResultState final {
public:
    enum class Case { success, failure };
    // A tag the run left alone on purpose, and why (the clean-up skips a tag that is in use now).
    struct Skipped {
        QString name;
        QString reason;

        friend bool operator==(const Skipped&, const Skipped&) = default;
    };
    // The two colours of the sheet; the widget maps each to its palette's red or green.
    enum class Tint { red, green };

    // Every selected tag was processed; `updated` names all of them.
    static BatchResultState success(QStringList updated);
    // Processing stopped at `failedTag`; `error` is the error's user-facing description and
    // `alreadyUpdated` names the tags processed before it (possibly none).
    static BatchResultState failure(QString failedTag, QString error, QStringList alreadyUpdated);
    // How a run of renames or moves ended: success, or the failure with the tags never tried.
    static BatchResultState ofRun(const ChangeRun::Outcome& run);
    // The same outcome of a run that deleted the tags (the clean-up of unused tags): its texts say
    // "Deleted" where the batch save's say "updated".
    BatchResultState asDeletion() const;
    bool isDeletion() const { return m_deletion; }

    Case kind() const { return m_case; }
    bool isSuccess() const { return m_case == Case::success; }

    // success: the processed names; failure: empty.
    QStringList updated() const { return isSuccess() ? m_names : QStringList(); }
    // failure: the tag processing stopped at, the error text, the names processed before it;
    // success: empty.
    const QString& failedTag() const { return m_failedTag; }
    const QString& error() const { return m_error; }
    QStringList alreadyUpdated() const { return isSuccess() ? QStringList() : m_names; }
    // The tags left alone, in the order the run met them; shown under the caption skippedCaption()
    // ("Not deleted:", or "Not changed:" for a run that did not delete), one row "NAME: reason" each.
    const QList<Skipped>& skipped() const { return m_skipped; }
    BatchResultState withSkipped(QList<Skipped> skipped) const;
    QString skippedCaption() const;
    // The list's accessible name: "Tags Not Deleted" or "Tags Not Changed".
    QString skippedAccessibleName() const;
    // After a failure, the tags the run never reached, in order; shown last, under "Not attempted:".
    const QStringList& notAttempted() const { return m_notAttempted; }
    BatchResultState withNotAttempted(QStringList names) const;
    static QString notAttemptedCaption() { return QStringLiteral("Not attempted:"); }

    // ---- The sheet ----

    // "All Tags Successfully Updated" or "Update Failed".
    QString headline() const;
    // "checkmark.circle.fill" or "xmark.circle.fill".
    QString headlineSymbol() const;
    // Green or red.
    Tint headlineTint() const;
    // The subheadline line: "N tag(s) updated successfully." (the same wording for one tag), or
    // "Failed on tag \"NAME\":". A deletion's: "Deleted 3 tags:" ("Deleted 1 tag:", "No tag was
    // deleted.") or the same failure line.
    QString summary() const;
    // The name list's accessible name.
    QString namesAccessibleName() const;
    // failure: the error text, verbatim; success: none.
    std::optional<QString> errorText() const;
    // failure with names: "Already updated before failure:"; otherwise none.
    std::optional<QString> namesCaption() const;
    // Whether the name list is shown: always after a success, after a failure only when some tag
    // was updated before it.
    // A deletion that deleted nothing says so in its summary alone.
    bool showsNames() const { return isSuccess() ? !(m_deletion && m_names.isEmpty()) : !m_names.isEmpty(); }
    // The names of the list: updated() or alreadyUpdated().
    const QStringList& names() const { return m_names; }

    // Each name's row: the symbol "checkmark", green.
    static QString nameSymbol();
    static Tint nameTint() { return Tint::green; }
    // The one button; it runs the sheet's dismiss action and nothing else. Return presses it.
    static QString okLabel();

    friend bool operator==(const BatchResultState&, const BatchResultState&) = default;

private:
    BatchResultState(Case kind, QStringList names, QString failedTag, QString error);

    Case m_case;
    QStringList m_names;
    QString m_failedTag;
    QString m_error;
    QList<Skipped> m_skipped;
    QStringList m_notAttempted;
    bool m_deletion = false;
};

} // namespace orvalet

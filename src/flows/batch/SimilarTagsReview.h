#pragma once

#include "Tag.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace orvalet {

class Preferences;
class TagMerger;
class TagStore;
class ThingsWorker;

// "Find Similar Tags" without its widgets: the groups of stored tags whose names are alike
// (SimilarTags), worked out again at every store change, the groups the user set aside as not
// similar, and the merge of a group into one of its members.
//
// A group set aside ("Not Similar") is kept in the store's file as the identifiers of its members:
// it stays hidden while its members are among them (a member deleted or merged away keeps it
// hidden), and shows again once a tag it did not have joins it.
//
// Merging a group merges every other member into the chosen one, one after the other, each as the
// merge of one tag does: read, planned, checked against what was read, written. All of them are read
// first for the confirmation, which says what moves; each after the first is read once more right
// before its merge, since the merge before it may have rewritten to-dos they share. The first failure
// stops the run; the merges made are one step to undo ("Merge 3 Tags").
class SimilarTagsReview final : public QObject {
    Q_OBJECT

public:
    struct Member {
        TagPtr tag;
        std::optional<QString> ancestorPath; // the names above it, highest first, joined by " > "
        int childCount = 0;
    };
    struct Group {
        QString key; // the members' identifiers in order, joined by spaces: what "Not Similar" keeps
        // Fullest first: most open to-dos (an unreported count counts as none), then most child tags,
        // then in the store's name order.
        QList<Member> members;
        bool dismissed = false;
    };

    // The store, the preferences and the worker must outlive every merge started here.
    SimilarTagsReview(TagStore& store, Preferences& preferences, ThingsWorker& worker,
                      QObject* parent = nullptr);
    ~SimilarTagsReview() override;

    static QString title(); // "Find Similar Tags"
    static QString emptyTitle();
    static QString emptyDescription();

    // ---- Groups ----

    // The groups shown, in the name order of their fullest member: those set aside only while
    // showsDismissed().
    const QList<Group>& groups() const { return m_groups; }
    const Group* group(const QString& key) const;
    int dismissedCount() const { return m_dismissedCount; }
    bool showsDismissed() const { return m_showsDismissed; }
    void setShowsDismissed(bool shows);
    // "Not Similar", and back. The choice is written to the store at once; when it cannot be, it
    // holds for this session and errorMessage() says so.
    void dismiss(const QString& key);
    void restore(const QString& key);

    // The note the store keeps the groups set aside under.
    static QString dismissedNoteKey() { return QStringLiteral("dismissedSimilarTags"); }

    // ---- Merge ----

    bool isReading() const { return m_isReading; }
    bool isMerging() const { return m_isMerging; }
    bool isBusy() const { return m_isReading || m_isMerging; }

    // The group's "Merge…": reads every other member for the confirmation; nothing is written. A
    // member that cannot go into `destinationId` stops it with the reason.
    QCoro::Task<> prepareMerge(QString key, QString destinationId);
    bool showsConfirmation() const { return !m_plan.empty() && !m_isReading && !m_isMerging; }
    QString confirmationTitle() const;   // "Merge 2 tags into “Errand”?"
    QString confirmationMessage() const; // what moves, what is deleted, that Undo brings it back
    void cancelMerge();
    // The confirmation's "Merge".
    QCoro::Task<> merge();

    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    void dismissError();
    // What the last merge did: "Merged “Errands” and “errand” into “Errand”."
    const std::optional<QString>& report() const { return m_report; }

Q_SIGNALS:
    void changed();

private:
    void refresh();
    void keepDismissed();

    TagStore& m_store;
    Preferences& m_preferences;
    ThingsWorker& m_worker;

    QList<Group> m_groups;
    std::vector<QSet<QString>> m_dismissed;
    int m_dismissedCount = 0;
    bool m_showsDismissed = false;

    bool m_isReading = false;
    bool m_isMerging = false;
    // The confirmed plan: one merger a member, each prepared, and the destination.
    std::vector<std::unique_ptr<TagMerger>> m_plan;
    TagPtr m_destination;
    std::optional<QString> m_errorMessage;
    std::optional<QString> m_report;
};

} // namespace orvalet

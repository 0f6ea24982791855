// Orvalet's programs, written out as Orvalet sends them, run against a library.
#include "StandInTestSupport.h"

#include <QRegularExpression>

using standin::LibraryTag;
using standin::ThingsLibrary;
using standin::TodoState;
using standin::testing::literal;
using standin::testing::runOn;
namespace errors = standin::applescript::errors;

namespace {

QString lines(const QStringList& all) {
    return all.join(u'\n');
}

QString fetchAllProgram() {
    return lines({
        QStringLiteral("tell application \"Things3\""),
        QStringLiteral("    set tagList to tags"),
        QStringLiteral("    set output to \"\""),
        QStringLiteral("    repeat with t in tagList"),
        QStringLiteral("        set tid to id of t"),
        QStringLiteral("        set tname to name of t"),
        QStringLiteral("        set tparent to \"\""),
        QStringLiteral("        try"),
        QStringLiteral("            set tparent to id of parent tag of t"),
        QStringLiteral("        end try"),
        QStringLiteral("        set tcount to count of (to dos of t whose status is open)"),
        QStringLiteral(
            "        set output to output & tid & \"|||\" & tname & \"|||\" & tparent & \"|||\" & tcount & "
            "\"~~~\""),
        QStringLiteral("    end repeat"),
        QStringLiteral("    return output"),
        QStringLiteral("end tell"),
    });
}

QString fetchByIdProgram(const QString& id) {
    return lines({
        QStringLiteral("tell application \"Things3\""),
        QStringLiteral("    set output to \"\""),
        QStringLiteral("    repeat with t in tags"),
        QStringLiteral("        if id of t is ") + literal(id) + QStringLiteral(" then"),
        QStringLiteral("            set tname to name of t"),
        QStringLiteral("            set tparent to \"\""),
        QStringLiteral("            try"),
        QStringLiteral("                set tparent to id of parent tag of t"),
        QStringLiteral("            end try"),
        QStringLiteral("            set tcount to count of (to dos of t whose status is open)"),
        QStringLiteral("            set output to ") + literal(id) +
            QStringLiteral(" & \"|||\" & tname & \"|||\" & tparent & \"|||\" & tcount"),
        QStringLiteral("            exit repeat"),
        QStringLiteral("        end if"),
        QStringLiteral("    end repeat"),
        QStringLiteral("    return output"),
        QStringLiteral("end tell"),
    });
}

QString fetchByNameProgram(const QString& name) {
    return lines({
        QStringLiteral("tell application \"Things3\""),
        QStringLiteral("    set output to \"\""),
        QStringLiteral("    try"),
        QStringLiteral("        set t to tag ") + literal(name),
        QStringLiteral("        set tid to id of t"),
        QStringLiteral("        set tname to name of t"),
        QStringLiteral("        set tparent to \"\""),
        QStringLiteral("        try"),
        QStringLiteral("            set tparent to id of parent tag of t"),
        QStringLiteral("        end try"),
        QStringLiteral("        set tcount to count of (to dos of t whose status is open)"),
        QStringLiteral("        set output to tid & \"|||\" & tname & \"|||\" & tparent & \"|||\" & tcount"),
        QStringLiteral("    end try"),
        QStringLiteral("    return output"),
        QStringLiteral("end tell"),
    });
}

// The update program with both lines: rename first, then re-parent by the new name.
QString updateProgram(const QString& current, const std::optional<QString>& newName,
                      const std::optional<std::optional<QString>>& newParent) {
    QStringList out{QStringLiteral("tell application \"Things3\"")};
    if (newName) {
        out << QStringLiteral("    set name of tag ") + literal(current) + QStringLiteral(" to ") +
                   literal(*newName);
    }
    if (newParent) {
        out << QStringLiteral("    set parent tag of tag ") + literal(newName.value_or(current)) +
                   (*newParent ? QStringLiteral(" to tag ") + literal(**newParent)
                               : QStringLiteral(" to missing value"));
    }
    out << QStringLiteral("end tell");
    return lines(out);
}

QString createProgram(const QString& name, const std::optional<QString>& parent) {
    QStringList out{QStringLiteral("tell application \"Things3\""),
                    QStringLiteral("    set newTag to make new tag with properties {name: ") + literal(name) +
                        u'}'};
    if (parent) {
        out << QStringLiteral("    set parent tag of newTag to tag ") + literal(*parent);
    }
    out << QStringLiteral("    return id of newTag") << QStringLiteral("end tell");
    return lines(out);
}

QString deleteProgram(const QString& name) {
    return lines({QStringLiteral("tell application \"Things3\""),
                  QStringLiteral("    delete tag ") + literal(name), QStringLiteral("end tell")});
}

class ThingsProgramsTest : public ::testing::Test {
protected:
    void SetUp() override {
        home = library.makeTag(QStringLiteral("Home"));
        garden = library.makeTag(QStringLiteral("Garden"), home);
        repairs = library.makeTag(QStringLiteral("Repairs"), home);
        plumbing = library.makeTag(QStringLiteral("Plumbing"), repairs);
        work = library.makeTag(QStringLiteral("Work"));
        separators = library.makeTag(QStringLiteral("a|||b~~~c"));
        quoted = library.makeTag(QStringLiteral("Say \"Hello\""));
        backslash = library.makeTag(QStringLiteral("C:\\Backups\\new"));
        library.addTodo(QStringLiteral("Mow"), TodoState::Open, {garden, home});
        library.addTodo(QStringLiteral("Weed"), TodoState::Open, {garden});
        library.addTodo(QStringLiteral("Prune"), TodoState::Completed, {garden});
        library.addTodo(QStringLiteral("Hedge"), TodoState::Canceled, {garden});
        library.addTodo(QStringLiteral("Leak"), TodoState::Open, {plumbing, work});
    }

    QString run(const QString& program) {
        const auto answer = runOn(library, program);
        EXPECT_FALSE(answer.failure) << answer.failure->message().toStdString();
        return answer.result.value_or(QString());
    }

    QString record(const QString& id) const {
        const LibraryTag* t = library.tag(id);
        return t->id + QStringLiteral("|||") + t->name + QStringLiteral("|||") + t->parentId +
               QStringLiteral("|||") + QString::number(library.todoCount(id, TodoState::Open));
    }

    ThingsLibrary library;
    QString home, garden, repairs, plumbing, work, separators, quoted, backslash;
};

TEST_F(ThingsProgramsTest, fetchAllGivesEveryTagOnceInTheRecordFormat) {
    QString expected;
    for (const QString& id : library.tagIds()) {
        expected += record(id) + QStringLiteral("~~~");
    }
    const QString output = run(fetchAllProgram());
    EXPECT_EQ(output, expected);
    EXPECT_TRUE(output.contains(garden + QStringLiteral("|||Garden|||") + home + QStringLiteral("|||2~~~")));
    EXPECT_TRUE(output.startsWith(home + QStringLiteral("|||Home||||||1~~~")));
}

TEST_F(ThingsProgramsTest, fetchAllOfAnEmptyLibraryIsEmpty) {
    ThingsLibrary empty;
    const auto answer = runOn(empty, fetchAllProgram());
    ASSERT_FALSE(answer.failure);
    EXPECT_EQ(answer.result, QString());
}

TEST_F(ThingsProgramsTest, lookUpsFindTheTagOrGiveEmptyText) {
    EXPECT_EQ(run(fetchByIdProgram(plumbing)), record(plumbing));
    EXPECT_EQ(run(fetchByIdProgram(QStringLiteral("NoSuchIdentifier123456"))), QString());
    EXPECT_EQ(run(fetchByNameProgram(QStringLiteral("Garden"))), record(garden));
    EXPECT_EQ(run(fetchByNameProgram(QStringLiteral("gARDEN"))), record(garden));
    EXPECT_EQ(run(fetchByNameProgram(QStringLiteral("Nowhere"))), QString());
    EXPECT_EQ(run(fetchByNameProgram(QStringLiteral("a|||b~~~c"))), record(separators));
    EXPECT_EQ(run(fetchByNameProgram(QStringLiteral("Say \"Hello\""))), record(quoted));
    EXPECT_EQ(run(fetchByNameProgram(QStringLiteral("C:\\Backups\\new"))), record(backslash));
    // The look-up compares identifiers with the engine's text comparison, which ignores case as the
    // real engine's does: an identifier in other letters still finds the tag.
    EXPECT_EQ(run(fetchByIdProgram(work.toLower())).section(QStringLiteral("|||"), 1, 1),
              QStringLiteral("Work"));
}

TEST_F(ThingsProgramsTest, renameAndReparent) {
    run(updateProgram(QStringLiteral("Work"), QStringLiteral("Job \"day\""), std::nullopt));
    EXPECT_EQ(library.tag(work)->name, QStringLiteral("Job \"day\""));

    run(updateProgram(QStringLiteral("Job \"day\""), std::nullopt,
                      std::optional<QString>(QStringLiteral("Home"))));
    EXPECT_EQ(library.tag(work)->parentId, home);

    run(updateProgram(QStringLiteral("job \"DAY\""), QStringLiteral("Career"),
                      std::optional<QString>(QStringLiteral("Garden"))));
    EXPECT_EQ(library.tag(work)->name, QStringLiteral("Career"));
    EXPECT_EQ(library.tag(work)->parentId, garden);

    run(updateProgram(QStringLiteral("Career"), std::nullopt, std::optional<QString>()));
    EXPECT_TRUE(library.tag(work)->parentId.isEmpty());

    // A rename that only changes case is the same tag, not a clash.
    run(updateProgram(QStringLiteral("Career"), QStringLiteral("CAREER"), std::nullopt));
    EXPECT_EQ(library.tag(work)->name, QStringLiteral("CAREER"));
}

TEST_F(ThingsProgramsTest, refusedChangesChangeNothing) {
    struct Refusal {
        QString program;
        qint64 number;
    };
    const Refusal refusals[] = {
        {updateProgram(QStringLiteral("Work"), QStringLiteral("home"), std::nullopt), errors::handlerFailed},
        {updateProgram(QStringLiteral("Work"), QStringLiteral("  "), std::nullopt), errors::handlerFailed},
        {updateProgram(QStringLiteral("Home"), std::nullopt,
                       std::optional<QString>(QStringLiteral("Plumbing"))),
         errors::handlerFailed},
        {updateProgram(QStringLiteral("Home"), std::nullopt, std::optional<QString>(QStringLiteral("Home"))),
         errors::handlerFailed},
        {updateProgram(QStringLiteral("Nowhere"), QStringLiteral("X"), std::nullopt), errors::cantGet},
        {updateProgram(QStringLiteral("Work"), std::nullopt,
                       std::optional<QString>(QStringLiteral("Nowhere"))),
         errors::cantGet},
        {deleteProgram(QStringLiteral("Nowhere")), errors::cantGet},
        {createProgram(QStringLiteral(""), std::nullopt), errors::handlerFailed},
    };
    for (const Refusal& refusal : refusals) {
        const QByteArray before = library.toJson();
        const auto answer = runOn(library, refusal.program);
        ASSERT_TRUE(answer.failure) << refusal.program.toStdString();
        EXPECT_EQ(answer.failure->number, refusal.number) << refusal.program.toStdString();
        EXPECT_TRUE(answer.failure->message().startsWith(QStringLiteral("Things3 got an error: ")));
        EXPECT_EQ(library.toJson(), before) << refusal.program.toStdString();
    }
}

TEST_F(ThingsProgramsTest, createMakesARootOrAChildAndReturnsItsIdentifier) {
    const QString root = run(createProgram(QStringLiteral("Errands"), std::nullopt));
    ASSERT_TRUE(ThingsLibrary::isIdentifier(root)) << root.toStdString();
    EXPECT_EQ(library.tag(root)->name, QStringLiteral("Errands"));
    EXPECT_TRUE(library.tag(root)->parentId.isEmpty());

    const QString child =
        run(createProgram(QStringLiteral("Tap \"hot\" \\ cold"), QStringLiteral("plumbing")));
    ASSERT_TRUE(ThingsLibrary::isIdentifier(child));
    EXPECT_EQ(library.tag(child)->name, QStringLiteral("Tap \"hot\" \\ cold"));
    EXPECT_EQ(library.tag(child)->parentId, plumbing);
}

TEST_F(ThingsProgramsTest, createOfAnExistingNameReturnsThatTag) {
    const qsizetype before = library.tagCount();
    EXPECT_EQ(run(createProgram(QStringLiteral("wORK"), std::nullopt)), work);
    EXPECT_EQ(library.tagCount(), before);
    EXPECT_EQ(library.tag(work)->name, QStringLiteral("Work"));
}

TEST_F(ThingsProgramsTest, deleteTakesDescendantsAndClearsThemFromToDos) {
    EXPECT_EQ(run(deleteProgram(QStringLiteral("home"))), QString());
    for (const QString& gone : {home, garden, repairs, plumbing}) {
        EXPECT_EQ(library.tag(gone), nullptr);
        EXPECT_EQ(library.todoCount(gone, TodoState::Open), 0);
    }
    EXPECT_EQ(library.tagCount(), 4);
    for (const QString& id : library.todoIds()) {
        for (const QString& tagId : library.todo(id)->tagIds) {
            EXPECT_NE(library.tag(tagId), nullptr);
        }
    }
    EXPECT_EQ(library.todoCount(work, TodoState::Open), 1);
    // A tag of the same name can be made again afterwards.
    EXPECT_TRUE(ThingsLibrary::isIdentifier(run(createProgram(QStringLiteral("Home"), std::nullopt))));
}

} // namespace

#pragma once

#include "Preferences.h"
#include "StandInTestSupport.h"
#include "StoreFixture.h"
#include "ThingsWorker.h"

#include <QMutex>
#include <QSettings>
#include <memory>

namespace orvalet::test {

// The stand-in's library in memory behind Orvalet's engine seam, keeping every program it ran (on
// the worker's thread; the test reads them once the flow it awaited has finished).
class RecordingEngine final : public ScriptEngine {
public:
    RecordingEngine(standin::ThingsLibrary& library, QStringList& sent, QMutex& mutex)
        : m_engine(library)
        , m_sent(sent)
        , m_mutex(mutex) {}

    std::optional<ScriptOutcome> run(const QString& source) const override {
        const QMutexLocker lock(&m_mutex);
        m_sent.append(source);
        return m_engine.run(source);
    }

private:
    standin::testing::LibraryEngine m_engine;
    QStringList& m_sent;
    QMutex& m_mutex;
};

// A store, preferences, and a worker whose programs run on a library in memory.
class EditTest : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        store = openStore();
        ASSERT_TRUE(store);
        preferences = std::make_unique<Preferences>(std::make_unique<QSettings>(
            m_dir.filePath(QStringLiteral("Orvalet.conf")), QSettings::IniFormat));
        worker = std::make_unique<ThingsWorker>(std::make_unique<RecordingEngine>(library, m_sent, m_mutex));
    }

    // Programs go to whatever stand-in the socket leads to instead.
    void useStandIn(std::unique_ptr<ScriptEngine> engine) {
        worker = std::make_unique<ThingsWorker>(std::move(engine));
    }

    QStringList sent() const {
        const QMutexLocker lock(&m_mutex);
        return m_sent;
    }

    TagPtr add(const QString& id, const QString& name, std::optional<QString> parent = {},
               std::optional<qint64> todos = {}) {
        return store->insert(Tag(id, name, std::move(parent), std::nullopt, std::nullopt, todos));
    }

    // Every tag of the library stored under its own identifier, as an import would.
    void storeLibrary() {
        for (const QString& id : library.tagIds()) {
            const standin::LibraryTag* t = library.tag(id);
            add(id, t->name, t->parentId.isEmpty() ? std::nullopt : std::optional(t->parentId));
        }
    }

    // The stored tags as "name:parent's name:todos", "-" for none, sorted.
    QStringList storedTags() const {
        QStringList rows;
        for (const TagPtr& tag : store->allTagsUnordered()) {
            const TagPtr parent = tag->parentTagId() ? store->tag(*tag->parentTagId()) : nullptr;
            rows.append(tag->name() + u':' + (parent ? parent->name() : u"-"_qs) + u':' +
                        (tag->todosCount() ? QString::number(*tag->todosCount()) : u"-"_qs));
        }
        rows.sort();
        return rows;
    }

    standin::ThingsLibrary library;
    std::unique_ptr<TagStore> store;
    std::unique_ptr<Preferences> preferences;
    std::unique_ptr<ThingsWorker> worker;

private:
    mutable QMutex m_mutex;
    QStringList m_sent;
};

// The text the user reads when Things 3 is not running.
inline const QString notOpenMessage =
    QStringLiteral("Things 3 is not open. Please open Things 3 and try again.");

} // namespace orvalet::test

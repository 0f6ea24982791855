#pragma once

#include "Clock.h"
#include "TagStore.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace orvalet::test {

// A store in a fresh temporary folder, with a clock that ticks one second per reading.
class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_tick = 0;
        Clock::setSource([this] { return Clock::referenceDate().addSecs(1000 + m_tick++); });
    }
    void TearDown() override { Clock::setSource({}); }

    QString storePath() const { return m_dir.filePath(u"Orvalet.store"_qs); }

    std::unique_ptr<TagStore> openStore() {
        QString error;
        auto store = TagStore::open(storePath(), &error);
        EXPECT_TRUE(store) << error.toStdString();
        return store;
    }

    // Runs the event loop once, so the end-of-turn commit and the `changed` signal happen.
    static void endTurn() { QCoreApplication::processEvents(); }

    QTemporaryDir m_dir;
    int m_tick = 0;
};

inline QStringList names(const QList<TagPtr>& tags) {
    QStringList result;
    for (const TagPtr& tag : tags) {
        result.append(tag->name());
    }
    return result;
}

inline QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace orvalet::test

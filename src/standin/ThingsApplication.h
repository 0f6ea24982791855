#pragma once

#include "ThingsLibrary.h"
#include "applescript/Application.h"
#include "applescript/ScriptFailure.h"

namespace standin {

// Things 3 as programs see it: its scripting dictionary (tags, to dos, their properties, make and
// delete) over a ThingsLibrary. Every refusal is an application error with the "Things3" prefix.
class ThingsApplication final : public applescript::Application {
public:
    explicit ThingsApplication(ThingsLibrary& library)
        : m_library(library) {}

    QString name() const override;
    applescript::Value elements(applescript::ObjectClass objectClass,
                                const applescript::Value* container) override;
    std::optional<applescript::Value> element(applescript::ObjectClass objectClass,
                                              const applescript::Value* container, qint64 index) override;
    applescript::Value byName(applescript::ObjectClass objectClass, const QString& name) override;
    applescript::Value byId(applescript::ObjectClass objectClass, const QString& id) override;
    applescript::Value property(const applescript::Value& object, applescript::Property property) override;
    void setProperty(const applescript::Value& object, applescript::Property property,
                     const applescript::Value& value) override;
    applescript::Value
    make(applescript::ObjectClass objectClass,
         const std::vector<std::pair<applescript::Property, applescript::Value>>& properties) override;
    void remove(const applescript::Value& object) override;
    void removeProperty(const applescript::Value& object, applescript::Property property) override;
    std::optional<qint64> countTodos(const applescript::Value& tag, applescript::TodoStatus status) override;
    qsizetype textSize() const override { return m_library.textSize(); }

private:
    [[noreturn]] void fail(qint64 number, const QString& brief) const;
    const LibraryTag& tagOf(const applescript::Value& object) const;
    LibraryTodo todoOf(const applescript::Value& object) const;
    QString tagIdOf(const applescript::Value& parent, const QString& context) const;
    QString tagNames(const LibraryTodo& todo) const;
    QStringList tagIdsNamed(const QString& text, const QString& refusal) const;
    template <typename F>
    void change(F&& f);

    ThingsLibrary& m_library;
};

} // namespace standin

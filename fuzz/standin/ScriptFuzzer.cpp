// Feeds arbitrary text to the stand-in's parser and interpreter against the demo library. Any
// crash, sanitizer report, hang or broken library is a finding.
#include "DemoLibrary.h"
#include "ProgramRunner.h"

#include <cstdint>
#include <cstdlib>

namespace {

// Every parent and every tag a to-do carries must still exist after any program.
bool consistent(const standin::ThingsLibrary& library) {
    for (const QString& id : library.tagIds()) {
        const QString parent = library.tag(id)->parentId;
        if (!parent.isEmpty() && library.tag(parent) == nullptr) {
            return false;
        }
    }
    for (const QString& id : library.todoIds()) {
        for (const auto todo = library.todoRecord(id); const QString& tagId : todo->tagIds) {
            if (library.tag(tagId) == nullptr) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const standin::ThingsLibrary demo = standin::DemoLibrary::build();
    standin::ThingsLibrary library = demo;
    // Small budgets keep every input quick; the limits themselves are what is being tried.
    standin::applescript::Limits limits;
    limits.maxSteps = 20000;
    limits.maxTextLength = 1 << 16;
    limits.maxListLength = 20000;
    standin::ProgramRunner runner(library, QString(), limits);
    runner.run(QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!consistent(library)) {
        std::abort();
    }
    return 0;
}

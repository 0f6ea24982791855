#include "WidgetBenchMain.h"

#include <QApplication>
#include <QList>
#include <benchmark/benchmark.h>

namespace {

QList<std::function<void()>>& drops() {
    static QList<std::function<void()>> list;
    return list;
}

} // namespace

void orvalet::bench::beforeQuit(std::function<void()> drop) {
    drops().append(std::move(drop));
}

// Google Benchmark with a widgets application object, on Qt's offscreen platform unless told
// otherwise.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const auto& drop : drops()) {
        drop();
    }
    return 0;
}

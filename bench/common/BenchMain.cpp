#include <QCoreApplication>
#include <benchmark/benchmark.h>

// Google Benchmark with a Qt application object, so benchmarks can use the event loop, standard
// paths and processes.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

#include "ThingsService.h"

#include <benchmark/benchmark.h>

using orvalet::ThingsService;

namespace {

// What the fetch-all program returns for `count` tags: identifiers of 22 characters, names of
// about fifteen, four tags in five under a parent, small counts.
QString fetchAllOutput(int count) {
    QString output;
    const auto id = [](int i) -> QString {
        return u"T" % QString::number(i).rightJustified(21, u'0');
    };
    for (int i = 0; i < count; ++i) {
        output += id(i) % u"|||Tag name " % QString::number(i) % u"|||";
        if (i % 5)
            output += id(i / 5);
        output += u"|||" % QString::number(i % 37) % u"~~~";
    }
    return output;
}

void parseTagList(benchmark::State& state) {
    const QString output = fetchAllOutput(int(state.range(0)));
    for (auto _ : state) {
        auto records = ThingsService::parseTagList(output);
        benchmark::DoNotOptimize(records);
    }
    // The output is ASCII, so one character is one byte of the text Things 3 sends.
    state.SetBytesProcessed(state.iterations() * output.size());
    state.counters["chars"] = double(output.size());
}
BENCHMARK(parseTagList)->Arg(100'000)->Unit(benchmark::kMillisecond);

void appleScriptLiteral(benchmark::State& state) {
    // A quote and a backslash every 50 characters.
    QString text;
    while (text.size() < state.range(0))
        text += QString(24, u'a') % u'"' % QString(24, u'b') % u'\\';
    for (auto _ : state) {
        auto literal = ThingsService::appleScriptLiteral(text);
        benchmark::DoNotOptimize(literal);
    }
    state.SetBytesProcessed(state.iterations() * text.size());
    state.SetComplexityN(state.range(0));
}
BENCHMARK(appleScriptLiteral)->RangeMultiplier(4)->Range(1 << 16, 1 << 20)->Complexity(benchmark::oN);

} // namespace

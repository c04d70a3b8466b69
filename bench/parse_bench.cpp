// Parsing and printing speed: clauses of growing size through the whole road a host
// takes (line reader, tokenizer, LL(1) engine, semantic actions, arena), and the printer.
// Target: parsing does the same work per predicate whatever the clause's length (about
// 19 thousand instructions; 1.5 to 4 microseconds on one core of the reference machine,
// the upper end once the tree outgrows the caches), and a reset between clauses costs
// nothing that grows with use.
#include <benchmark/benchmark.h>

#include <string>

#include "bench/bench_host.h"

namespace {

using zbench::Host;

// n predicates of the usual kinds joined by AND and OR.
std::u32string clause_of(int n) {
    static const char* const kForms[] = {
        "c%d > 10",           "c%d IN (1, 2, 3, 5, 8)", "c%d BETWEEN 1 AND 99",
        "c%d = 'text value'", "NOT c%d LIKE 'ab%%'",    "c%d + 2 * c%d < 40",
    };
    std::string text;
    char buf[64];
    for (int i = 0; i < n; ++i) {
        if (i > 0) text += (i % 4 == 0) ? " OR " : " AND ";
        std::snprintf(buf, sizeof buf, kForms[i % 6], i, i);
        text += buf;
    }
    return std::u32string(text.begin(), text.end());
}

void BM_Parse(benchmark::State& state) {
    Host host;
    ZInst* inst = host.started(state);
    if (inst == nullptr) return;
    const std::u32string text = clause_of(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const int32_t st =
            inst->Parse(inst, text.data(), static_cast<int32_t>(text.size()), host.journal());
        benchmark::DoNotOptimize(st);
        benchmark::DoNotOptimize(inst->Root(inst));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetComplexityN(state.range(0));
    state.counters["chars"] = static_cast<double>(text.size());
}
BENCHMARK(BM_Parse)->RangeMultiplier(4)->Range(1, 1024)->Complexity(benchmark::oN);

// An IN list of n constants: one SET node whose arguments run through n/15 overflow
// blocks. Building it stays linear in n.
void BM_ParseInList(benchmark::State& state) {
    Host host;
    ZInst* inst = host.started(state);
    if (inst == nullptr) return;
    std::string text = "x IN (";
    for (int64_t i = 0; i < state.range(0); ++i) text += std::to_string(i) + " ";
    text += ")";
    const std::u32string wide(text.begin(), text.end());
    for (auto _ : state) {
        const int32_t st =
            inst->Parse(inst, wide.data(), static_cast<int32_t>(wide.size()), host.journal());
        benchmark::DoNotOptimize(st);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ParseInList)->RangeMultiplier(8)->Range(8, 32768)->Complexity(benchmark::oN);

void BM_Print(benchmark::State& state) {
    Host host;
    ZInst* inst = host.started(state);
    if (inst == nullptr) return;
    const std::u32string text = clause_of(static_cast<int>(state.range(0)));
    if (inst->Parse(inst, text.data(), static_cast<int32_t>(text.size()), host.journal()) != 0) {
        state.SkipWithError("the clause does not parse");
        return;
    }
    for (auto _ : state) {
        inst->Print(inst, host.journal());
        zhost_journal_clear(host.journal());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Print)->RangeMultiplier(8)->Range(1, 512);

}  // namespace

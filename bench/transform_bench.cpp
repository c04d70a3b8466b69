// Parse, resolve and transform of wide clauses: the optimiser must stay near-linear in a
// clause's width. Targets: (a) a 100,000-element IN list in random order with duplicates
// and (b) 10,000 comparisons of one column under one AND each well below a second; (c)
// 200,000 comparisons spread over 50 columns under one AND within a few seconds.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>

#include "bench/bench_host.h"

namespace {

using zbench::Host;

// Binds every column as a numeric value of its own 8 bytes in the row.
int32_t bind_numeric(void*, ZNode* node, NQJournal*) {
    uint32_t h = 0;
    for (int i = 0; i < node->u.nm.namelen; ++i)
        h = h * 31 + static_cast<unsigned char>(node->u.nm.name[i]);
    node->vlen = -8;
    node->u.nm.coloff = static_cast<int32_t>((h % 64) * 8);
    node->u.nm.colmode = 0;
    return 0;
}

std::u32string widen(const std::string& s) {
    return std::u32string(s.begin(), s.end());
}

// (a) x IN (...) of n integers drawn from 0..n/2, so about a third are duplicates.
std::u32string in_list(int n) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> pick(0, n / 2);
    std::string text = "x IN (";
    for (int i = 0; i < n; ++i) text += (i ? "," : "") + std::to_string(pick(rng));
    return widen(text + ")");
}

// (b) n comparisons of one column: x <> 0 AND x <> 1 AND ... with a range around them.
std::u32string one_column_and(int n) {
    std::string text = "x > -1";
    for (int i = 0; i < n; ++i) text += " AND x <> " + std::to_string(i * 3);
    return widen(text + " AND x < " + std::to_string(n * 3));
}

// (c) n comparisons spread over 50 columns, of the kinds that merge (ranges, sets).
std::u32string many_columns_and(int n) {
    static const char* const kOps[] = {">", "<", "<>", ">=", "<=", "<>"};
    std::mt19937 rng(11);
    std::string text;
    for (int i = 0; i < n; ++i) {
        if (i) text += " AND ";
        text += "c" + std::to_string(i % 50) + " " + kOps[(i / 50) % 6] + " " +
                std::to_string(rng() % 100000);
    }
    return widen(text);
}

void run(benchmark::State& state, const std::u32string& text) {
    Host host;
    ZInst* inst = host.started(state);
    if (inst == nullptr) return;
    for (auto _ : state) {
        if (inst->Parse(inst, text.data(), static_cast<int32_t>(text.size()), host.journal()) !=
                0 ||
            inst->Resolve(inst, host.journal(), bind_numeric, nullptr) != 0) {
            state.SkipWithError("the clause does not parse and resolve");
            return;
        }
        benchmark::DoNotOptimize(inst->Root(inst));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.counters["chars"] = static_cast<double>(text.size());
}

void BM_TransformInList(benchmark::State& state) {
    run(state, in_list(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_TransformInList)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_TransformOneColumnAnd(benchmark::State& state) {
    run(state, one_column_and(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_TransformOneColumnAnd)->Arg(100)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_TransformManyColumnsAnd(benchmark::State& state) {
    run(state, many_columns_and(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_TransformManyColumnsAnd)->Arg(2000)->Arg(200000)->Unit(benchmark::kMillisecond);

}  // namespace

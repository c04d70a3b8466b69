// Parse, resolve and transform of wide clauses: the optimiser must stay near-linear in a
// clause's width. Targets: (a) a 100,000-element IN list in random order with duplicates
// and (b) 10,000 comparisons of one column under one AND each well below a second; (c)
// 200,000 comparisons spread over 50 columns under one AND within a few seconds; (d) an IN
// list less a NOT IN list of 10,000 constants each, (e) an OR of 100,000 equalities in
// either order and (f) a 100,000-element IN list cut by 10,000 comparisons each well below
// a second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

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

// (b) n comparisons of one column: x <> 0 AND x <> 3 AND ... with a range around them,
// given first (the range is cut by each <>) or last (the <>s gather into a NOT IN list
// first, which the range then loses at once).
std::u32string one_column_and(int n, bool bounds_last) {
    std::string text;
    for (int i = 0; i < n; ++i) text += (i ? " AND x <> " : "x <> ") + std::to_string(i * 3);
    const std::string bounds = "x > -1 AND x < " + std::to_string(n * 3);
    return widen(bounds_last ? text + " AND " + bounds : bounds + " AND " + text);
}

// (d) x IN (n constants) AND x NOT IN (n constants), the lists overlapping by half.
std::u32string in_minus_not_in(int n) {
    std::string in = "x IN (";
    std::string nin = "x NOT IN (";
    for (int i = 0; i < n; ++i) {
        in += (i ? "," : "") + std::to_string(2 * i);
        nin += (i ? "," : "") + std::to_string(n + 2 * i);
    }
    return widen(in + ") AND " + nin + ")");
}

// (e) x = 1 OR x = 2 OR ... OR x = n, in ascending or in random order.
std::u32string or_of_equalities(int n, bool shuffled) {
    std::vector<int> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) v[static_cast<size_t>(i)] = i + 1;
    if (shuffled) std::shuffle(v.begin(), v.end(), std::mt19937(5));
    std::string text;
    for (int i = 0; i < n; ++i)
        text += (i ? " OR x = " : "x = ") + std::to_string(v[static_cast<size_t>(i)]);
    return widen(text);
}

// (f) x IN (0, ..., n - 1) AND x > 5 AND x < n - 1 AND x <> c ... for n / 10 constants c
// spread over the list.
std::u32string in_list_and_comparisons(int n) {
    std::string text = "x IN (";
    for (int i = 0; i < n; ++i) text += (i ? "," : "") + std::to_string(i);
    text += ") AND x > 5 AND x < " + std::to_string(n - 1);
    for (int i = 0; i < n / 10; ++i) text += " AND x <> " + std::to_string((7 + 7919L * i) % n);
    return widen(text);
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
    run(state, one_column_and(static_cast<int>(state.range(0)), false));
}
BENCHMARK(BM_TransformOneColumnAnd)->Arg(100)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_TransformOneColumnAndBoundsLast(benchmark::State& state) {
    run(state, one_column_and(static_cast<int>(state.range(0)), true));
}
BENCHMARK(BM_TransformOneColumnAndBoundsLast)->Arg(100)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_TransformInMinusNotIn(benchmark::State& state) {
    run(state, in_minus_not_in(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_TransformInMinusNotIn)->Arg(100)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_TransformOrOfEqualities(benchmark::State& state) {
    run(state, or_of_equalities(static_cast<int>(state.range(0)), false));
}
BENCHMARK(BM_TransformOrOfEqualities)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_TransformOrOfShuffledEqualities(benchmark::State& state) {
    run(state, or_of_equalities(static_cast<int>(state.range(0)), true));
}
BENCHMARK(BM_TransformOrOfShuffledEqualities)
    ->Arg(1000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);

void BM_TransformInListAndComparisons(benchmark::State& state) {
    run(state, in_list_and_comparisons(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_TransformInListAndComparisons)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_TransformManyColumnsAnd(benchmark::State& state) {
    run(state, many_columns_and(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_TransformManyColumnsAnd)->Arg(2000)->Arg(200000)->Unit(benchmark::kMillisecond);

}  // namespace

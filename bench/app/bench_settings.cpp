// Reading the settings file: the text parsed into sections and keys, and every key looked up
// once, for files of 1,000 to 80,000 keys (a long search history grows the file this way).
// The time per key must stay flat as the file grows.
#include "app/inifile.h"

#include <benchmark/benchmark.h>

#include <string>

using namespace qz;

namespace {

std::string SettingsText(int keys) {
    std::string text = "[frmQuarzelMain]\ndecimalplaces=2\n[history]\n";
    for (int i = 0; i < keys; ++i)
        text += "search" + std::to_string(i) + "={UTF8}:" + std::to_string(100000 + i) + "\n";
    return text;
}

void BM_ParseSettings(benchmark::State& state) {
    const std::string text = SettingsText(int(state.range(0)));
    for (auto _ : state) {
        TIniFile ini;
        benchmark::DoNotOptimize(ini.SetText(text));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(state.iterations() * int64_t(text.size()));
}
BENCHMARK(BM_ParseSettings)->RangeMultiplier(4)->Range(1000, 80000)->Unit(benchmark::kMillisecond);

void BM_LookUpEveryKey(benchmark::State& state) {
    TIniFile ini;
    ini.SetText(SettingsText(int(state.range(0))));
    std::vector<std::string> keys;
    for (int i = 0; i < state.range(0); ++i) keys.push_back("Search" + std::to_string(i));
    for (auto _ : state)
        for (const std::string& k : keys) benchmark::DoNotOptimize(ini.ReadString("HISTORY", k));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LookUpEveryKey)->RangeMultiplier(4)->Range(1000, 80000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

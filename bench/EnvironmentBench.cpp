// How long one environment refresh takes with 200 variables in the
// registry: 150 of the system's and 50 of the user's, a tenth of them
// REG_EXPAND_SZ, a 1 KB system Path and a user Path appended to it, a few
// user values replacing system ones. The keys are the benchmark's own
// (HKCU\Software\Tarnic bench\Environment\...), the process environment is
// this program's.
//
// Two refreshes are timed in each round: one after every value changed in
// the registry (written between rounds, untimed), which sets all 200
// variables again, and one with the registry as the last refresh left it,
// which only reads. Beside them, in the same rounds on the same values:
//   read only    the two keys enumerated with RegEnumValueA into strings,
//                nothing expanded, nothing set;
//   set only     the 200 resulting variables given to SetEnvironmentVariableA
//                one by one, nothing read or deleted.
// Figures in milliseconds: median, minimum and the 90th percentile (nearest
// rank) over the rounds; the last column is each figure over "all changed".
//   environment_bench [--rounds N]

#include "BenchSupport.h"
#include "Environment.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using bench::Fixed;
using bench::NowMs;
using bench::Random;

constexpr double kTargetMs = 5.0;
const char kRoot[] = "Software\\Tarnic bench\\Environment";
const char kSystem[] = "Software\\Tarnic bench\\Environment\\System";
const char kUser[] = "Software\\Tarnic bench\\Environment\\User";

struct Value {
    std::string name;
    DWORD type;
    std::string data;
};

std::string Directory(Random& random)
{
    static const char* const parts[] = {"Program Files", "Tools", "bin", "SDK", "Common",
                                        "Java", "Python", "node", "Git", "cmd"};
    std::string path = "C:";
    for (std::size_t i = 0, n = 2 + random.Below(3); i < n; ++i)
        path += std::string("\\") + random.Pick(parts);
    return path;
}

// suffix tells one round's values from the next one's.
std::vector<Value> MakeValues(Random& random, const char* prefix, std::size_t count, bool system,
                              const std::string& suffix = "")
{
    std::vector<Value> values;
    std::string path;
    while (path.size() < (system ? 1024u : 200u))
        path += (path.empty() ? "" : ";") + Directory(random);
    values.push_back({"Path", REG_EXPAND_SZ, path + suffix});
    for (std::size_t i = 1; i < count; ++i) {
        // Every tenth user value replaces a system value of the same name.
        const bool shared = !system && i % 10 == 0;
        const std::string name = shared ? "BENCH_SYS_" + std::to_string(i) : prefix + std::to_string(i);
        if (i % 10 == 5)
            values.push_back({name, REG_EXPAND_SZ, "%SystemRoot%\\" + Directory(random).substr(3) + suffix});
        else
            values.push_back({name, REG_SZ, Directory(random) + suffix});
    }
    return values;
}

bool Write(const char* path, const std::vector<Value>& values)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    for (const Value& value : values)
        RegSetValueExA(key, value.name.c_str(), 0, value.type,
                       reinterpret_cast<const BYTE*>(value.data.c_str()),
                       static_cast<DWORD>(value.data.size() + 1));
    RegCloseKey(key);
    return true;
}

// The bare enumeration of one key, as a refresh does it before any of its
// own work.
std::size_t ReadKey(const char* path, std::vector<std::pair<std::string, std::string>>* out)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 0;
    DWORD longestName = 0, longestData = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longestName,
                     &longestData, nullptr, nullptr);
    std::vector<char> name(longestName + 1), data(longestData + 2);
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size() - 1);
        DWORD type = 0;
        if (RegEnumValueA(key, index, name.data(), &nameSize, nullptr, &type,
                          reinterpret_cast<BYTE*>(data.data()), &dataSize) != ERROR_SUCCESS)
            break;
        data[dataSize] = '\0';
        out->emplace_back(std::string(name.data(), nameSize), std::string(data.data()));
    }
    RegCloseKey(key);
    return out->size();
}

void PrintRow(const char* label, const bench::Stats& stats, const bench::Stats& refresh)
{
    std::printf("%-14s %9s %9s %9s %9s\n", label, Fixed(stats.median, "%.3f").c_str(),
                Fixed(stats.min, "%.3f").c_str(), Fixed(stats.percentile, "%.3f").c_str(),
                Fixed(stats.median / (refresh.median > 0 ? refresh.median : 1), "%.2fx").c_str());
}

}  // namespace

int main(int argc, char** argv)
{
    int rounds = 51;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
    }
    bench::PrintBuildWarnings();
    RegDeleteTreeA(HKEY_CURRENT_USER, kRoot);
    // The same names and directories every round, with the round's suffix.
    const auto writeRound = [](int round) {
        Random random(20260210);
        const std::string suffix = round % 2 == 0 ? "" : ";C:\\round";
        return Write(kSystem, MakeValues(random, "BENCH_SYS_", 150, true, suffix)) &&
               Write(kUser, MakeValues(random, "BENCH_USER_", 50, false, suffix));
    };
    if (!writeRound(0)) {
        std::fprintf(stderr, "cannot write the benchmark's registry keys\n");
        return 1;
    }

    const EnvironmentKeys keys = {HKEY_CURRENT_USER, kSystem, HKEY_CURRENT_USER, kUser};
    CEnvEx environment(keys);  // the first refresh, untimed
    const EnvironmentMap applied = environment.GetApplied();

    std::vector<double> refreshMs, unchangedMs, readMs, setMs;
    bool allSucceeded = true;
    for (int round = 0; round < rounds; ++round) {
        writeRound(round + 1);
        double start = NowMs();
        allSucceeded = environment.RefreshEnvironment() && allSucceeded;
        refreshMs.push_back(NowMs() - start);

        start = NowMs();
        allSucceeded = environment.RefreshEnvironment() && allSucceeded;
        unchangedMs.push_back(NowMs() - start);

        std::vector<std::pair<std::string, std::string>> read;
        start = NowMs();
        ReadKey(kSystem, &read);
        ReadKey(kUser, &read);
        readMs.push_back(NowMs() - start);
        bench::Consume(read.size());

        start = NowMs();
        for (const auto& entry : applied)
            SetEnvironmentVariableA(entry.first.c_str(), entry.second.c_str());
        setMs.push_back(NowMs() - start);
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, kRoot);

    std::printf("Environment refresh: 150 system and 50 user registry values (%zu variables set), "
                "%d rounds\n",
                applied.size(), rounds);
    std::printf("target: a refresh under %.1f ms (median)%s\n", kTargetMs,
                allSucceeded ? "" : "; SOME REFRESHES FAILED");
    std::printf("%-14s %9s %9s %9s %9s\n", "", "median", "min", "p90", "x/changed");
    const bench::Stats refresh = bench::Summarize(refreshMs, 90);
    PrintRow("all changed", refresh, refresh);
    PrintRow("unchanged", bench::Summarize(unchangedMs, 90), refresh);
    PrintRow("read only", bench::Summarize(readMs, 90), refresh);
    PrintRow("set only", bench::Summarize(setMs, 90), refresh);
    std::printf("all-changed refresh median %s ms: %s\n", Fixed(refresh.median, "%.3f").c_str(),
                refresh.median < kTargetMs ? "within the target" : "OVER THE TARGET");
    return allSucceeded ? 0 : 1;
}

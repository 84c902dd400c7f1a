// The fixed cost of starting the tool, each run a new process:
//
//   BM_EmptyProgram    a program that does nothing, linked to the C++
//                      standard library only
//   BM_ToolDump/0      kestrune-tool dump of the sample game (no toolkit)
//   BM_ToolDump/1      the same dump by kestrune-tool-drawing, which loads
//                      the toolkit for render and check
//
//   build-release/bench/bench_tool

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <string>
#include <vector>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string Bench = KESTRUNE_BUILD_DIR "/bench/";
const std::string Build = KESTRUNE_BUILD_DIR "/";
const std::string Sample = KESTRUNE_SOURCE_DIR "/examples/game/demo.game";
const std::string Def = KESTRUNE_BUILD_DIR "/qv5game.def";

// Runs a program to its end with its output thrown away; its exit status.
int Run(const std::string& program, const std::vector<std::string>& args)
{
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void BM_EmptyProgram(benchmark::State& state)
{
    for (auto _ : state)
        if (Run(Bench + "bench_empty_program", {}) != 0) {
            state.SkipWithError("the empty program failed");
            return;
        }
}

void BM_ToolDump(benchmark::State& state)
{
    const std::string tool = Build + (state.range(0) ? "kestrune-tool-drawing" : "kestrune-tool");
    for (auto _ : state)
        if (Run(tool, {"dump", Sample, "--def", Def}) != 0) {
            state.SkipWithError("the dump failed");
            return;
        }
}

} // namespace

BENCHMARK(BM_EmptyProgram)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_ToolDump)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

BENCHMARK_MAIN();

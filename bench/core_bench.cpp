// Reading and writing data files through the record stream, each beside a
// plain read or write of the same bytes in the same run.
//
//   build/bench/bench_core --benchmark_min_time=0.5

#include "core/parlist.h"
#include "core/qvstream.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

using namespace kestrune;
namespace fs = std::filesystem;

namespace {

fs::path BenchFolder()
{
    static const fs::path folder = [] {
        fs::path p = fs::temp_directory_path() / ("kestrune-bench-" + std::to_string(::getpid()));
        fs::create_directories(p);
        return p;
    }();
    return folder;
}

std::string Slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void PlainRead(benchmark::State& state, const fs::path& p)
{
    const auto size = fs::file_size(p);
    for (auto _ : state) {
        std::FILE* f = std::fopen(p.c_str(), "rb");
        std::string buf(size, '\0');
        const size_t n = std::fread(buf.data(), 1, size, f);
        std::fclose(f);
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(buf.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

void PlainWrite(benchmark::State& state, const fs::path& p, const std::string& bytes)
{
    for (auto _ : state) {
        std::FILE* f = std::fopen(p.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

// ---- a text-form parameter list of 10,000 entries

const fs::path& ParamFile()
{
    static const fs::path p = [] {
        TParList list("game params");
        for (int i = 0; i < 10000; ++i)
            list.Add(std::make_unique<TPar>("parameter" + std::to_string(i), "value number " + std::to_string(i * 7)));
        fs::path file = BenchFolder() / "params.qv5";
        list.SaveToFile(file, false);
        return file;
    }();
    return p;
}

void BM_ParamsTextRead(benchmark::State& state)
{
    const fs::path& p = ParamFile();
    for (auto _ : state) {
        TParList list("game params", p);
        benchmark::DoNotOptimize(list.Count());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(p)));
}

void BM_ParamsTextWrite(benchmark::State& state)
{
    TParList list("game params", ParamFile());
    const fs::path out = BenchFolder() / "params-out.qv5";
    for (auto _ : state)
        list.SaveToFile(out, false);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(out)));
}

void BM_ParamsPlainRead(benchmark::State& state) { PlainRead(state, ParamFile()); }

// The least any token reader does: the plain read plus cutting the bytes at
// every terminator into strings.
void BM_ParamsPlainTokens(benchmark::State& state)
{
    const fs::path& p = ParamFile();
    const auto size = fs::file_size(p);
    for (auto _ : state) {
        std::FILE* f = std::fopen(p.c_str(), "rb");
        std::string buf(size, '\0');
        const size_t n = std::fread(buf.data(), 1, size, f);
        std::fclose(f);
        std::vector<std::string> tokens;
        size_t start = 0;
        for (size_t i = 0; i < n; ++i)
            if (static_cast<unsigned char>(buf[i]) == 0xAB) {
                tokens.emplace_back(buf, start, i - start);
                start = i + 1;
            }
        benchmark::DoNotOptimize(tokens.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

void BM_ParamsPlainWrite(benchmark::State& state)
{
    PlainWrite(state, BenchFolder() / "params-plain.qv5", Slurp(ParamFile()));
}

// ---- a counted-form file of 1 MiB of tokens

std::vector<std::string> CountedTokens()
{
    std::vector<std::string> tokens;
    size_t total = 0;
    for (int i = 0; total < (1u << 20); ++i) {
        // Mostly short names, now and then a long script text.
        std::string t = (i % 50 == 0) ? std::string(600 + i % 400, 'x') : "token" + std::to_string(i);
        total += t.size() + (t.size() < 255 ? 1 : 3);
        tokens.push_back(std::move(t));
    }
    return tokens;
}

const fs::path& CountedFile()
{
    static const fs::path p = [] {
        fs::path file = BenchFolder() / "tokens.npcs";
        TQVFileStreamBinary out(file, TFileStream::Mode::Write);
        for (const auto& t : CountedTokens())
            out.WriteToken(t);
        out.Close();
        return file;
    }();
    return p;
}

void BM_CountedRead(benchmark::State& state)
{
    const fs::path& p = CountedFile();
    for (auto _ : state) {
        TQVFileStreamBinary in(p, TFileStream::Mode::Read);
        size_t n = 0;
        while (!in.AtEnd())
            n += in.ReadToken().size();
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(p)));
}

void BM_CountedWrite(benchmark::State& state)
{
    const std::vector<std::string> tokens = CountedTokens();
    const fs::path out = BenchFolder() / "tokens-out.npcs";
    for (auto _ : state) {
        TQVFileStreamBinary s(out, TFileStream::Mode::Write);
        for (const auto& t : tokens)
            s.WriteToken(t);
        s.Close();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(out)));
}

void BM_CountedPlainRead(benchmark::State& state) { PlainRead(state, CountedFile()); }

void BM_CountedPlainWrite(benchmark::State& state)
{
    PlainWrite(state, BenchFolder() / "tokens-plain.npcs", Slurp(CountedFile()));
}

} // namespace

BENCHMARK(BM_ParamsTextRead)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParamsPlainRead)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParamsPlainTokens)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParamsTextWrite)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParamsPlainWrite)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CountedRead)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CountedPlainRead)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CountedWrite)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CountedPlainWrite)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(BenchFolder(), ec);
    return 0;
}

// Building the function index of the language help: a generated help folder
// of 200 class pages with 20,000 functions in all, and single pages of 10 and
// 20 MB (scanned in memory, and indexed from a folder) to show that the time
// grows with the size of the page and no faster.
//
//   build/bench/bench_help --benchmark_min_time=0.5

#include "help/functionindex.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <system_error>

#include <unistd.h>

using namespace kestrune;
namespace fs = std::filesystem;

namespace {

constexpr int kClassPages = 200;
constexpr int kFunctionsPerPage = 100;

// One documented function as the help pages write it.
void AppendFunction(std::string& page, const std::string& name, int n)
{
    page += "<hr>\n<a name=functions." + name + "></a><b>" + name + "</b> (target, power)\n<ul>\n";
    page += "What " + name + " does, in a sentence or two of plain text.\n</ul>\n";
    page += "<b>Parameters</b>\n<ul>\n<li><i>target</i>: who</li>\n<li><i>power</i>: how much</li>\n</ul>\n";
    if (n % 3 == 0)
        page += "<b>Returns</b><ul><a href=\"Monster.class.html\">Monster</a></ul>\n";
    else if (n % 3 == 1)
        page += "<b>Returns</b><ul>int</ul>\n";
    page += "<b>Example</b>\n<pre>Self." + name + "(Player, 3);</pre>\n<p><a href=\"#top\">Top</a></p>\n";
}

std::string ClassPage(const std::string& cls, int functions, int firstNumber = 0)
{
    std::string page = "<html>\n<head>\n<title>" + cls + " - KESTRUNE</title>\n</head>\n<body>\n<a name=top></a>\n";
    page += "<h2>" + cls + "</h2>\n<p><a href=\"index.html\">Contents</a></p>\n";
    for (int i = 0; i < functions; ++i)
        AppendFunction(page, "Do" + std::to_string(firstNumber + i), firstNumber + i);
    page += "</body>\n</html>\n";
    return page;
}

// A page of about that many bytes.
std::string PageOfSize(size_t bytes)
{
    std::string page = "<html>\n<head>\n<title>Big - KESTRUNE</title>\n</head>\n<body>\n";
    for (int n = 0; page.size() < bytes; ++n)
        AppendFunction(page, "Do" + std::to_string(n), n);
    page += "</body>\n</html>\n";
    return page;
}

void WriteText(const fs::path& file, const std::string& text)
{
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
}

// The generated folders live in one temporary folder, removed at exit.
class TBenchFolders {
public:
    TBenchFolders() : root_(fs::temp_directory_path() / ("kestrune-help-bench-" + std::to_string(::getpid())))
    {
        fs::create_directories(root_);
    }
    ~TBenchFolders()
    {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    const fs::path& ManyPages()
    {
        static const fs::path folder = [this] {
            const fs::path f = root_ / "many";
            fs::create_directories(f);
            for (int c = 0; c < kClassPages; ++c)
                WriteText(f / ("Class" + std::to_string(c) + ".class.html"),
                          ClassPage("Class" + std::to_string(c), kFunctionsPerPage, c * kFunctionsPerPage));
            WriteText(f / "index.html", "<html><body>Contents</body></html>\n");
            return f;
        }();
        return folder;
    }

    const fs::path& OnePage(int megabytes)
    {
        auto found = onePage_.find(megabytes);
        if (found != onePage_.end())
            return found->second;
        const fs::path f = root_ / ("one-" + std::to_string(megabytes));
        fs::create_directories(f);
        WriteText(f / "Big.class.html", PageOfSize(static_cast<size_t>(megabytes) << 20));
        return onePage_.emplace(megabytes, f).first->second;
    }

private:
    fs::path root_;
    std::map<int, fs::path> onePage_;
};

TBenchFolders& Folders()
{
    static TBenchFolders folders;
    return folders;
}

void BM_IndexHelpFolder(benchmark::State& state)
{
    const fs::path& folder = Folders().ManyPages();
    TFunctionIndex index;
    for (auto _ : state) {
        index.BuildFunctionIndex(folder);
        benchmark::DoNotOptimize(index.FunctionNames().data());
    }
    if (index.FunctionNames().size() != static_cast<size_t>(kClassPages * kFunctionsPerPage))
        state.SkipWithError("wrong number of functions");
    state.counters["functions"] = static_cast<double>(index.FunctionNames().size());
}
BENCHMARK(BM_IndexHelpFolder)->Unit(benchmark::kMillisecond);

void BM_ScanPage(benchmark::State& state)
{
    const std::string text = PageOfSize(static_cast<size_t>(state.range(0)) << 20);
    size_t functions = 0;
    for (auto _ : state) {
        const auto found = ScanPageText(text);
        functions = found.size();
        benchmark::DoNotOptimize(found.data());
    }
    state.counters["functions"] = static_cast<double>(functions);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ScanPage)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond);

void BM_IndexOnePage(benchmark::State& state)
{
    const fs::path& folder = Folders().OnePage(static_cast<int>(state.range(0)));
    TFunctionIndex index;
    for (auto _ : state) {
        index.BuildFunctionIndex(folder);
        benchmark::DoNotOptimize(index.FunctionNames().data());
    }
    state.counters["functions"] = static_cast<double>(index.FunctionNames().size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(folder / "Big.class.html")));
}
BENCHMARK(BM_IndexOnePage)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

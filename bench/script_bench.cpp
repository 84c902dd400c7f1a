// The script edit control on a 5,000-line script: colouring it from scratch,
// typing one character at its end (with the repaint) and finding the token
// at the caret. Reports the lines re-coloured per keystroke.

#include "script/sourceedit.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QKeyEvent>

#include <memory>
#include <string>

using namespace kestrune;

namespace {

std::string Script(int lines)
{
    static const char* const kLines[] = {
        "// Opens the gate when the lever is pulled",
        "if (Game.Flag(\"lever pulled\") == 1) {",
        "  local n = Party.Size * (2 + Random(4));",
        "  Message('The gate opens: ' + @GateText);",
        "  /* the old way,",
        "     kept for reference */",
        "  for (i = 1; i <= n; i++) { Target.Wound($damage); }",
        "} else {",
        "  exit;",
        "}",
    };
    std::string text;
    for (int i = 0; i < lines; ++i) {
        text += kLines[i % 10];
        text += "\r\n";
    }
    return text;
}

std::unique_ptr<TSourceEdit> MakeEdit()
{
    auto edit = std::make_unique<TSourceEdit>();
    edit->SetWords(TSyntaxRules::kCommands, {"Message", "Random", "Flag", "Wound", "Size"});
    edit->SetWords(TSyntaxRules::kNames, {"@GateText"});
    edit->resize(800, 600);
    edit->show();
    QApplication::processEvents();
    return edit;
}

void BM_SetText5000Lines(benchmark::State& state)
{
    const std::string text = Script(5000);
    auto edit = MakeEdit();
    long lines = 0;
    for (auto _ : state) {
        edit->ResetRecolouredLines();
        edit->SetText(text);
        lines += edit->RecolouredLines();
        state.PauseTiming();
        edit->SetText("");
        edit->ClearUndo();
        state.ResumeTiming();
    }
    state.counters["recoloured_lines"] = benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kAvgIterations);
}

void BM_Recolour5000Lines(benchmark::State& state)
{
    auto edit = MakeEdit();
    edit->SetText(Script(5000));
    long lines = 0;
    for (auto _ : state) {
        edit->ResetRecolouredLines();
        edit->RulesChanged();
        lines += edit->RecolouredLines();
    }
    state.counters["recoloured_lines"] = benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kAvgIterations);
}

void BM_TypeAtEndOf5000Lines(benchmark::State& state)
{
    auto edit = MakeEdit();
    edit->SetText(Script(5000));
    edit->SetSelStart(static_cast<int>(edit->Text().size()));
    edit->ScrollCaretIntoView();
    QApplication::processEvents();
    long lines = 0;
    for (auto _ : state) {
        edit->ResetRecolouredLines();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
        QApplication::sendEvent(edit.get(), &press);
        QApplication::processEvents();  // the repaint
        lines += edit->RecolouredLines();
    }
    state.counters["recoloured_lines"] = benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kAvgIterations);
}

// Typing "(" on the first line changes the state of every line below.
void BM_TypeParenAtStartOf5000Lines(benchmark::State& state)
{
    auto edit = MakeEdit();
    edit->SetText(Script(5000));
    long lines = 0;
    for (auto _ : state) {
        edit->SetSelStart(0);
        edit->ResetRecolouredLines();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_ParenLeft, Qt::NoModifier, QStringLiteral("("));
        QApplication::sendEvent(edit.get(), &press);
        QApplication::processEvents();
        lines += edit->RecolouredLines();
        state.PauseTiming();
        edit->Undo();
        state.ResumeTiming();
    }
    state.counters["recoloured_lines"] = benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kAvgIterations);
}

void BM_CaretTokenAtEndOf5000Lines(benchmark::State& state)
{
    auto edit = MakeEdit();
    edit->SetText(Script(5000) + "x = Party.Si");
    edit->SetSelStart(static_cast<int>(edit->Text().size()));
    for (auto _ : state)
        benchmark::DoNotOptimize(edit->CaretToken());
}

} // namespace

BENCHMARK(BM_SetText5000Lines)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Recolour5000Lines)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TypeAtEndOf5000Lines)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TypeParenAtStartOf5000Lines)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CaretTokenAtEndOf5000Lines)->Unit(benchmark::kMicrosecond)->UseRealTime();

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// main() of a benchmark program that draws widgets: a QApplication on the
// offscreen platform, made before any benchmark runs.
#pragma once

#include <benchmark/benchmark.h>

#include <QApplication>

#define ZNS_QT_BENCHMARK_MAIN()                         \
    int main(int argc, char** argv) {                   \
        qputenv("QT_QPA_PLATFORM", "offscreen");        \
        QApplication app(argc, argv);                   \
        benchmark::Initialize(&argc, argv);             \
        benchmark::RunSpecifiedBenchmarks();            \
        benchmark::Shutdown();                          \
        return 0;                                       \
    }

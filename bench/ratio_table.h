// RatioTableReporter: collects the frames per second of every benchmark case (the median
// when runs are repeated) and, once all have run, prints each cost per frame as a multiple
// of the copy floor for the same sample width and block size, then the processing targets
// at 512-frame blocks with whether each holds.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

#include "bench/bench_case.h"

class RatioTableReporter : public benchmark::ConsoleReporter {
public:
    // `cases` are the registered cases; `details` also prints every run as the console does.
    RatioTableReporter(std::vector<BenchCase> cases, bool details);

    bool ReportContext(const Context& context) override;
    void ReportRuns(const std::vector<Run>& runs) override;
    void Finalize() override;

private:
    // Frames per second of a case, or 0 when it did not run.
    double rate(Processing processing, Precision precision, Scene scene, std::int32_t frames) const;
    // Cost per frame of a case as a multiple of the copy floor, or 0 when either did not run.
    double ratioToFloor(Processing processing, Precision precision, Scene scene, std::int32_t frames) const;

    void printTable() const;
    void printTargets() const;

    std::vector<BenchCase> cases;
    bool details;
    std::map<std::string, double> framesPerSecond;  // by case name
    std::int64_t repetitions = 1;
};

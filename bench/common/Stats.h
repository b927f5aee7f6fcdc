#pragma once

#include <cstddef>
#include <vector>

// The figures a timing benchmark reports of one series of samples.
struct Summary {
    size_t count = 0;
    double median = 0;
    double p99 = 0;
    double min = 0;
    double max = 0;
};

// Nearest-rank percentile (fraction 0.5 is the median); 0 for no samples.
double Percentile(std::vector<double> samples, double fraction);
Summary Summarise(const std::vector<double>& samples);
// a / b, or 0 when b is 0, so that a failed baseline never divides by zero.
double Ratio(double a, double b);

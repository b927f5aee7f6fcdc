#include "bench/common/Stats.h"

#include <algorithm>
#include <cmath>

double Percentile(std::vector<double> samples, double fraction) {
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const double rank = std::ceil(fraction * static_cast<double>(samples.size()));
    const size_t index = rank < 1 ? 0 : static_cast<size_t>(rank) - 1;
    return samples[std::min(index, samples.size() - 1)];
}

Summary Summarise(const std::vector<double>& samples) {
    Summary summary;
    summary.count = samples.size();
    if (samples.empty())
        return summary;
    summary.median = Percentile(samples, 0.5);
    summary.p99 = Percentile(samples, 0.99);
    summary.min = *std::min_element(samples.begin(), samples.end());
    summary.max = *std::max_element(samples.begin(), samples.end());
    return summary;
}

double Ratio(double a, double b) {
    return b == 0 ? 0 : a / b;
}

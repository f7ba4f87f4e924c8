#pragma once
// What the service counts, in Prometheus' text format for GET /metrics.

#include <QByteArray>
#include <QMap>
#include <QString>

#include <array>
#include <mutex>

namespace quillivar::server {

// What is measured at the moment of asking, from the engines and the queue.
struct Gauges {
    int requestsInProgress = 0;  // from admission to the end of the answer
    int enginesBusy = 0;
    int queueLength = 0;
    long long enginesStarted = 0;
    long largestEngineKib = 0;
};

class Metrics {
public:
    void CountResponse(int status);
    void CountDocument(const QString& outcome);
    void CountPage();
    void CountReport(int step);
    void CountEngineLost();
    void ObserveRequestSeconds(double seconds);
    // The mean seconds of a conversion request so far, or `fallback` before the first.
    double MeanRequestSeconds(double fallback) const;

    QByteArray Text(const Gauges& gauges) const;

private:
    static constexpr std::array<double, 11> kBuckets{0.1, 0.25, 0.5, 1, 2.5, 5, 10, 30, 60, 120, 300};
    mutable std::mutex mutex_;
    QMap<int, long long> responses_;
    QMap<QString, long long> documents_;
    QMap<int, long long> reports_;
    long long pages_ = 0;
    long long enginesLost_ = 0;
    std::array<long long, kBuckets.size()> bucketCounts_{};
    long long requests_ = 0;
    double requestSeconds_ = 0;
};

}  // namespace quillivar::server

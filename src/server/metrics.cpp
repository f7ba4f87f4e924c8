#include "metrics.h"

namespace quillivar::server {

void Metrics::CountResponse(int status) {
    const std::lock_guard lock(mutex_);
    ++responses_[status];
}

void Metrics::CountDocument(const QString& outcome) {
    const std::lock_guard lock(mutex_);
    ++documents_[outcome];
}

void Metrics::CountPage() {
    const std::lock_guard lock(mutex_);
    ++pages_;
}

void Metrics::CountReport(int step) {
    const std::lock_guard lock(mutex_);
    ++reports_[step];
}

void Metrics::CountEngineLost() {
    const std::lock_guard lock(mutex_);
    ++enginesLost_;
}

void Metrics::ObserveRequestSeconds(double seconds) {
    const std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < kBuckets.size(); ++i) {
        if (seconds <= kBuckets[i]) ++bucketCounts_[i];
    }
    ++requests_;
    requestSeconds_ += seconds;
}

double Metrics::MeanRequestSeconds(double fallback) const {
    const std::lock_guard lock(mutex_);
    return requests_ == 0 ? fallback : requestSeconds_ / static_cast<double>(requests_);
}

namespace {

// A family's samples: what follows its name (labels, or a histogram's suffix) and the value.
using Samples = QList<std::pair<QString, double>>;

template <typename Counts>
Samples Labelled(const char* label, const Counts& counts) {
    Samples samples;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        samples.append({QStringLiteral("{%1=\"%2\"}").arg(QLatin1String(label)).arg(it.key()), static_cast<double>(it.value())});
    }
    return samples;
}

}  // namespace

QByteArray Metrics::Text(const Gauges& gauges) const {
    const std::lock_guard lock(mutex_);
    QString text;
    const auto family = [&](const char* name, const char* type, const char* help, const Samples& samples) {
        text += QStringLiteral("# HELP %1 %2\n# TYPE %1 %3\n").arg(QLatin1String(name), QLatin1String(help), QLatin1String(type));
        for (const auto& [suffix, value] : samples) {
            text += QLatin1String(name) + suffix + QLatin1Char(' ') + QString::number(value, 'g', 15) + QLatin1Char('\n');
        }
    };
    const auto one = [](double value) { return Samples{{QString(), value}}; };

    family("quillivar_http_responses_total", "counter", "HTTP responses sent, by status code.", Labelled("code", responses_));
    family("quillivar_documents_total", "counter", "Documents converted, by outcome: converted, partial or failed.",
           Labelled("outcome", documents_));
    family("quillivar_pages_total", "counter", "Page files written.", one(static_cast<double>(pages_)));
    family("quillivar_reports_total", "counter", "Error reports, by the step that failed.", Labelled("step", reports_));
    family("quillivar_engines_started_total", "counter", "Engine processes started.",
           one(static_cast<double>(gauges.enginesStarted)));
    family("quillivar_engines_lost_total", "counter", "Engines that crashed, hung or grew past their limit during a document.",
           one(static_cast<double>(enginesLost_)));
    family("quillivar_requests_in_progress", "gauge", "Conversion requests taken in: uploading, waiting, converting or being sent.",
           one(gauges.requestsInProgress));
    family("quillivar_engines_busy", "gauge", "Engines converting a request's documents now.", one(gauges.enginesBusy));
    family("quillivar_queue_length", "gauge", "Requests waiting for an engine.", one(gauges.queueLength));
    family("quillivar_engine_resident_bytes_max", "gauge", "Resident memory of the largest engine, as its last request left it.",
           one(static_cast<double>(gauges.largestEngineKib) * 1024));
    Samples histogram;
    for (std::size_t i = 0; i < kBuckets.size(); ++i) {
        histogram.append({QStringLiteral("_bucket{le=\"%1\"}").arg(kBuckets[i]), static_cast<double>(bucketCounts_[i])});
    }
    histogram.append({QStringLiteral("_bucket{le=\"+Inf\"}"), static_cast<double>(requests_)});
    histogram.append({QStringLiteral("_sum"), requestSeconds_});
    histogram.append({QStringLiteral("_count"), static_cast<double>(requests_)});
    family("quillivar_request_duration_seconds", "histogram",
           "Seconds from a conversion request's arrival to the end of its answer.", histogram);
    return text.toUtf8();
}

}  // namespace quillivar::server

#include "choices.h"

namespace quillivar {

namespace {

// The texts of a bad choice; %1 is the choice's name as the user gives it.
const QString kNotANumberInRange = QStringLiteral("%1 must be a whole number from %2 to %3, not '%4'");
const QString kBadFormat = QStringLiteral("%1format takes jpg, png or webp, not '%2'");
const QString kBadPageRange = QStringLiteral("%1pages takes a range such as 1, 2-5, 3-, -2 or 1,3,7-9, not '%2'");
const QString kSizeWithResolution = QStringLiteral("%1width and %1height cannot be used together with %1dpi");

}  // namespace

std::optional<int> ParseChoiceNumber(const QString& text, int lowest, int highest) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < lowest || value > highest) return std::nullopt;
    return value;
}

QString ChoiceNumberError(const QString& name, int lowest, int highest, const QString& text) {
    return kNotANumberInRange.arg(name).arg(lowest).arg(highest).arg(text);
}

std::optional<QString> ApplyPageChoices(const NamedPageChoices& given, const QString& prefix, ExportChoices& choices) {
    const auto number = [&](const std::optional<QString>& text, const char* name, int fallback, int lowest, int highest,
                            int& value) -> std::optional<QString> {
        if (!text) {
            value = fallback;
            return std::nullopt;
        }
        const std::optional<int> parsed = ParseChoiceNumber(*text, lowest, highest);
        if (!parsed) return ChoiceNumberError(prefix + QLatin1String(name), lowest, highest, *text);
        value = *parsed;
        return std::nullopt;
    };
    if (auto error = number(given.quality, "quality", 75, 1, 100, choices.quality)) return error;
    if (auto error = number(given.dpi, "dpi", 96, 72, 600, choices.dotsPerInch)) return error;
    if (given.format && !FormatFromName(given.format->toStdString(), choices.format)) {
        return kBadFormat.arg(prefix, *given.format);
    }
    if (given.pages) {
        const std::optional<PageRange> range = PageRange::Parse(*given.pages);
        if (!range) return kBadPageRange.arg(prefix, *given.pages);
        choices.pageRange = *range;
    }
    if ((given.width || given.height) && given.dpi) return kSizeWithResolution.arg(prefix);
    if (auto error = number(given.width, "width", 0, 1, 20000, choices.maxWidth)) return error;
    if (auto error = number(given.height, "height", 0, 1, 20000, choices.maxHeight)) return error;
    return std::nullopt;
}

}  // namespace quillivar

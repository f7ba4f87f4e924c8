#pragma once
// The page choices as a user gives them by name (the command line's options, the service's
// form fields), checked the same way wherever they come from, with the same words.

#include "pageexport.h"

#include <QString>

#include <optional>

namespace quillivar {

// A number a choice takes: the whole text, from `lowest` to `highest`; or nothing.
std::optional<int> ParseChoiceNumber(const QString& text, int lowest, int highest);
// What is wrong with `text` given for the choice `name` ("--quality" on the command line).
QString ChoiceNumberError(const QString& name, int lowest, int highest, const QString& text);

// The page choices, each as given or absent.
struct NamedPageChoices {
    std::optional<QString> quality;
    std::optional<QString> dpi;
    std::optional<QString> width;
    std::optional<QString> height;
    std::optional<QString> format;
    std::optional<QString> pages;
};

// Puts the given choices into `choices`, or returns what is wrong with the first bad one, each
// choice named with `prefix` before its name ("--" on the command line).
std::optional<QString> ApplyPageChoices(const NamedPageChoices& given, const QString& prefix, ExportChoices& choices);

}  // namespace quillivar

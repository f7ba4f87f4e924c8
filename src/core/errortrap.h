#pragma once
// The one error report and the numbered-step trap that shows it.
//
//   ErrorTrap trap(reporter, locations::kSaveDocAsJPG);
//   trap.step(128, [&] { engine.Open(path); });
//   if (trap.test(156, [&] { return pageStep >= pageCount - pagesDone; })) { ... }
//
// A step that throws is reported with its number and the procedure goes on with the next
// step; a test that throws is reported and counts as met.

#include <QString>

#include <stdexcept>
#include <utility>

namespace quillivar {

// Where reports go: a message box in the window, standard error on the command line, a
// recorder in tests.
class ErrorReporter {
public:
    virtual ~ErrorReporter() = default;
    // `cause`: the system's own words for what went wrong, where it gave any ("No space left
    // on device"). The window shows the description alone; the command line and the service
    // add them.
    virtual void ShowErrorReport(const QString& description, const QString& location, int line, const QString& cause) = 0;
};

// The report's text: description, CR LF, location, "at line ", number, CR, CR, the request to
// write to the support address.
QString ComposeErrorReport(const QString& description, const QString& location, int line);

// A failure whose description is meant for the user.
class Failure : public std::runtime_error {
public:
    explicit Failure(const QString& description);
    const QString& description() const { return description_; }

private:
    QString description_;
};

class ErrorTrap {
public:
    ErrorTrap(ErrorReporter& reporter, QString location);

    template <typename Action>
    void step(int line, Action&& action) {
        try {
            std::forward<Action>(action)();
        } catch (...) {
            ReportCurrentException(line);
        }
    }

    template <typename Condition>
    bool test(int line, Condition&& condition) {
        try {
            return std::forward<Condition>(condition)();
        } catch (...) {
            ReportCurrentException(line);
            return true;
        }
    }

private:
    void ReportCurrentException(int line);

    ErrorReporter& reporter_;
    QString location_;
};

}  // namespace quillivar

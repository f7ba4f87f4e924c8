#pragma once
// Page export: one document becomes one JPEG file per page.

#include <QString>

namespace quillivar {

class EngineSession;
class ErrorReporter;

// What the page export reads from, and shows on, the window (or the command line).
class ExportHost {
public:
    virtual ~ExportHost() = default;
    virtual bool Option1() const = 0;  // results go to the folder in Text1
    virtual bool Option2() const = 0;  // results go to each document's own folder
    virtual QString Text1() const = 0; // the output folder
    virtual int Slider1() const = 0;   // JPEG quality, read again for every page
    virtual int Resolution() const = 0;  // dots per inch of the page images
    virtual void SetBusyPointer() = 0;
    virtual void SetStatusText(const QString& text) = 0;
};

// The stem SaveDocAsJPG names the document's pages after: everything before the last "." of
// the path, without its folder, in the folder the options choose.
QString PageFileStem(const QString& documentPath, const ExportHost& host);

// Writes stem_1.jpg, stem_2.jpg, ... for the document. Never throws: every failure is
// reported through `reporter` at its step and the export goes on with the next step.
void SaveDocAsJPG(const QString& documentPath, ExportHost& host, EngineSession& engines,
                  ErrorReporter& reporter);

}  // namespace quillivar

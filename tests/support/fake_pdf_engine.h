// A recording PDF engine for tests: registered at run time under the test's private platform
// root as "PDFCreatorPilot.PDFDocument4", it keeps a page list as the real engine does (one page
// to start, AddPage appends, SelectPage picks the current one), hands out outline and
// destination ids, records every call with its arguments, and fails calls on demand.
// SaveToFile writes a small marker file at the path it is given.
//
// Use: a testing_support::ScopedPlatform, CoInitializeEx on the test thread, then
// FakePdfEngine::Install(). Destroying it revokes the class.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "contracts/PdfEngine.h"

namespace testing_support {

// One engine call, in the order of arrival.
struct PdfCall {
    std::string op;              // the operation's name, e.g. "AddWebLink"
    std::vector<double> values;  // the numeric arguments in order (out arguments left out)
    std::string text;            // the text argument as UTF-8, when the operation has one
    long page = 0;               // the current page (0-based) when the call arrived
    long result = 0;             // the id or value handed back through the out argument
};

class FakePdfEngine {
  public:
    static const CLSID kClsid;
    // What the first line of a file SaveToFile writes holds.
    static constexpr char kMarker[] = "%PDF-fake";
    // The id of the outline's root; entry ids count up from kFirstEntryId, destinations from
    // kFirstDestinationId.
    static constexpr long kRootId = 1;
    static constexpr long kFirstEntryId = 101;
    static constexpr long kFirstDestinationId = 501;

    static std::unique_ptr<FakePdfEngine> Install();
    ~FakePdfEngine();
    FakePdfEngine(const FakePdfEngine&) = delete;
    FakePdfEngine& operator=(const FakePdfEngine&) = delete;

    // The units per inch GetResolution reports; 72 unless set.
    void SetResolution(long unitsPerInch);
    // The factory refuses to create instances with hr; a success code lifts that.
    void FailCreate(HRESULT hr);
    // Fails the nth call (1-based, counted over the whole run) of `op` with hr.
    void FailCall(const std::string& op, int nth, HRESULT hr);

    std::vector<PdfCall> Calls() const;
    std::vector<PdfCall> Calls(const std::string& op) const;
    int InstancesCreated() const;
    // Engine objects not yet released.
    int LiveInstances() const;

    struct State;

  private:
    FakePdfEngine() = default;
    std::shared_ptr<State> state_;
    IClassFactory* factory_ = nullptr;
    DWORD cookie_ = 0;
};

}  // namespace testing_support

#include "tests/support/fake_pdf_engine.h"

#include <atomic>
#include <fstream>
#include <stdexcept>
#include <utility>

#include "contracts/Installation.h"
#include "platform/text.h"
#include "tests/support/counted_object.h"

namespace testing_support {

struct FakePdfEngine::State {
    mutable std::mutex mutex;
    std::vector<PdfCall> calls;
    std::map<std::string, int> callCounts;
    std::map<std::pair<std::string, int>, HRESULT> failures;
    std::optional<HRESULT> createFailure;
    long resolution = 72;
    int instancesCreated = 0;
    int liveInstances = 0;
};

namespace {

std::string TextOf(BSTR text) {
    return text == nullptr ? std::string()
                           : platform::Utf16ToUtf8(std::u16string_view(text, SysStringLen(text)));
}

class Engine final : public CountedObject<IPDFDocument4> {
  public:
    explicit Engine(std::shared_ptr<FakePdfEngine::State> state) : state_(std::move(state)) {
        std::lock_guard lock(state_->mutex);
        ++state_->liveInstances;
    }

    bool Answers(REFIID riid) const override { return riid == IID_IPDFDocument4; }

    HRESULT GetResolution(LONG* unitsPerInch) override {
        return Out(Record("GetResolution", {}), unitsPerInch, Resolution());
    }
    HRESULT AddPage() override {
        HRESULT hr = Record("AddPage", {});
        if (SUCCEEDED(hr)) {
            ++pages_;
        }
        return hr;
    }
    HRESULT SelectPage(LONG index) override {
        HRESULT hr = Record("SelectPage", {double(index)});
        if (FAILED(hr)) {
            return hr;
        }
        if (index < 0 || index >= pages_) {
            return E_INVALIDARG;
        }
        current_ = index;
        return S_OK;
    }
    HRESULT GetPageCount(LONG* count) override {
        return Out(Record("GetPageCount", {}), count, pages_);
    }
    HRESULT SetPageHeight(LONG height) override {
        return Record("SetPageHeight", {double(height)});
    }
    HRESULT SetPageWidth(LONG width) override { return Record("SetPageWidth", {double(width)}); }
    HRESULT DrawMetafile(BSTR path, FLOAT x, FLOAT y, FLOAT sx, FLOAT sy) override {
        return Record("DrawMetafile", {x, y, sx, sy}, TextOf(path));
    }
    HRESULT AddWebLink(FLOAT l, FLOAT t, FLOAT r, FLOAT b, BSTR target) override {
        return Record("AddWebLink", {l, t, r, b}, TextOf(target));
    }
    HRESULT AddPageLink(FLOAT l, FLOAT t, FLOAT r, FLOAT b, LONG page, FLOAT y) override {
        return Record("AddPageLink", {l, t, r, b, double(page), y});
    }
    HRESULT SetOutlineMode(LONG mode) override { return Record("SetOutlineMode", {double(mode)}); }
    HRESULT GetOutlineRoot(LONG* root) override {
        return Out(Record("GetOutlineRoot", {}), root, FakePdfEngine::kRootId);
    }
    HRESULT AddOutlineChild(LONG parent, BSTR title, LONG charset, LONG* id) override {
        return Out(Record("AddOutlineChild", {double(parent), double(charset)}, TextOf(title)), id,
                   nextEntry_++);
    }
    HRESULT AddOutlineSibling(LONG previous, BSTR title, LONG charset, LONG* id) override {
        return Out(Record("AddOutlineSibling", {double(previous), double(charset)}, TextOf(title)),
                   id, nextEntry_++);
    }
    HRESULT CreateDestination(LONG page, FLOAT y, LONG* id) override {
        return Out(Record("CreateDestination", {double(page), y}), id, nextDestination_++);
    }
    HRESULT SetOutlineDestination(LONG entry, LONG destination) override {
        return Record("SetOutlineDestination", {double(entry), double(destination)});
    }
    HRESULT SetCreator(BSTR text) override { return Record("SetCreator", {}, TextOf(text)); }
    HRESULT SetProducer(BSTR text) override { return Record("SetProducer", {}, TextOf(text)); }
    HRESULT SaveToFile(BSTR path, LONG flags) override {
        const std::string target = TextOf(path);
        HRESULT hr = Record("SaveToFile", {double(flags)}, target);
        if (FAILED(hr)) {
            return hr;
        }
        std::ofstream file(target, std::ios::binary | std::ios::trunc);
        file << FakePdfEngine::kMarker << "\npages " << pages_ << "\n";
        return file ? S_OK : E_FAIL;
    }
    HRESULT SetEmbedMetafileFonts(VARIANT_BOOL embed) override {
        return Record("SetEmbedMetafileFonts", {double(embed)});
    }

  private:
    ~Engine() {
        std::lock_guard lock(state_->mutex);
        --state_->liveInstances;
    }

    long Resolution() const {
        std::lock_guard lock(state_->mutex);
        return state_->resolution;
    }

    // Records the call and answers with the failure scripted for it, if any.
    HRESULT Record(const char* op, std::vector<double> values, std::string text = {}) {
        std::lock_guard lock(state_->mutex);
        state_->calls.push_back({op, std::move(values), std::move(text), current_, 0});
        const int nth = ++state_->callCounts[op];
        auto failure = state_->failures.find({op, nth});
        return failure == state_->failures.end() ? S_OK : failure->second;
    }

    // Hands `value` out on success and notes it in the call's record.
    HRESULT Out(HRESULT hr, LONG* out, long value) {
        if (FAILED(hr)) {
            return hr;
        }
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = static_cast<LONG>(value);
        std::lock_guard lock(state_->mutex);
        state_->calls.back().result = value;
        return S_OK;
    }

    std::shared_ptr<FakePdfEngine::State> state_;
    LONG pages_ = 1;
    LONG current_ = 0;
    long nextEntry_ = FakePdfEngine::kFirstEntryId;
    long nextDestination_ = FakePdfEngine::kFirstDestinationId;
};

class Factory final : public CountedObject<IClassFactory> {
  public:
    explicit Factory(std::shared_ptr<FakePdfEngine::State> state) : state_(std::move(state)) {}

    bool Answers(REFIID riid) const override { return riid == IID_IClassFactory; }
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        {
            std::lock_guard lock(state_->mutex);
            if (state_->createFailure) {
                return *state_->createFailure;
            }
            ++state_->instancesCreated;
        }
        auto* engine = new Engine(state_);
        HRESULT hr = engine->QueryInterface(riid, object);
        engine->Release();
        return hr;
    }
    HRESULT LockServer(BOOL) override { return S_OK; }

  private:
    virtual ~Factory() = default;
    std::shared_ptr<FakePdfEngine::State> state_;
};

}  // namespace

const CLSID FakePdfEngine::kClsid = {
    0x5c2d9e41, 0x7a3b, 0x4f62, {0xb1, 0x8e, 0x2d, 0x90, 0x4a, 0x6c, 0x13, 0xf7}};

std::unique_ptr<FakePdfEngine> FakePdfEngine::Install() {
    std::unique_ptr<FakePdfEngine> engine(new FakePdfEngine());
    engine->state_ = std::make_shared<State>();
    auto* factory = new Factory(engine->state_);
    HRESULT hr = CoRegisterClassObject(kClsid, factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                       &engine->cookie_);
    if (FAILED(hr)) {
        factory->Release();
        throw std::runtime_error("fake PDF engine: CoRegisterClassObject failed");
    }
    engine->factory_ = factory;
    const std::string progId = std::string(tessaline::contracts::kPdfDocumentProgId);
    if (FAILED(platform::RegisterComClass(progId, kClsid, ""))) {
        throw std::runtime_error("fake PDF engine: the ProgID could not be registered");
    }
    return engine;
}

FakePdfEngine::~FakePdfEngine() {
    if (factory_ != nullptr) {
        CoRevokeClassObject(cookie_);
        factory_->Release();
        platform::UnregisterComClass(std::string(tessaline::contracts::kPdfDocumentProgId), kClsid);
    }
}

void FakePdfEngine::SetResolution(long unitsPerInch) {
    std::lock_guard lock(state_->mutex);
    state_->resolution = unitsPerInch;
}

void FakePdfEngine::FailCreate(HRESULT hr) {
    std::lock_guard lock(state_->mutex);
    state_->createFailure = FAILED(hr) ? std::optional<HRESULT>(hr) : std::nullopt;
}

void FakePdfEngine::FailCall(const std::string& op, int nth, HRESULT hr) {
    std::lock_guard lock(state_->mutex);
    state_->failures[{op, nth}] = hr;
}

std::vector<PdfCall> FakePdfEngine::Calls() const {
    std::lock_guard lock(state_->mutex);
    return state_->calls;
}

std::vector<PdfCall> FakePdfEngine::Calls(const std::string& op) const {
    std::lock_guard lock(state_->mutex);
    std::vector<PdfCall> matching;
    for (const PdfCall& call : state_->calls) {
        if (call.op == op) {
            matching.push_back(call);
        }
    }
    return matching;
}

int FakePdfEngine::InstancesCreated() const {
    std::lock_guard lock(state_->mutex);
    return state_->instancesCreated;
}

int FakePdfEngine::LiveInstances() const {
    std::lock_guard lock(state_->mutex);
    return state_->liveInstances;
}

}  // namespace testing_support

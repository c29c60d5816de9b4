#include "tests/support/fake_word.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <type_traits>
#include <utility>

#include "contracts/DispatchIds.h"
#include "contracts/Installation.h"
#include "platform/text.h"
#include "tests/support/counted_object.h"

namespace dispid = tessaline::contracts::dispid;

namespace testing_support {

namespace {

constexpr HRESULT kNoNamedArgs = static_cast<HRESULT>(0x80020007);

// Asks an object whether it is one of ours; the answer is the object itself.
const IID kIidFakeObject = {
    0x7a3c51e2, 0x94d0, 0x4b6e, {0x8f, 0x21, 0x5c, 0x0d, 0x6e, 0x13, 0xa7, 0x42}};

// Word's Information() item numbers the harvest asks for.
constexpr LONG kInfoAdjustedPage = 1;
constexpr LONG kInfoEndPage = 3;
constexpr LONG kInfoPageCount = 4;
constexpr LONG kInfoHorizontal = 5;
constexpr LONG kInfoVertical = 6;

// ---- Document descriptions ---------------------------------------------------------------

struct Place {
    LONG page = 1;
    float x = 0;
    float y = 0;
    LONG pixelWidth = 0;
    LONG pixelHeight = 0;
    bool getPointFails = false;
    bool unplaced = false;  // the layout has no place for it: selecting and asking fail
};

struct FieldItem {
    std::string code;
    std::string result;
};

struct ShapeBox {
    float left, top, width, height;
};

struct LinkItem {
    std::string text, address, name, subAddress;
    LONG type = 0;
    bool typeGiven = false;
    std::optional<ShapeBox> shape;
    std::vector<FieldItem> fields;
    Place place;
};

struct BookmarkItem {
    std::string name, text;
    Place place;
};

struct ParagraphItem {
    LONG outlineLevel = 10;
    std::string text;  // with the paragraph mark
    Place place;
    std::string listString;  // its number, when numbered
};

// A field of the body (Document.Fields): its type, code and result, and its result's place.
struct CrossReferenceItem {
    LONG type = 0;
    FieldItem field;
    Place place;
};

struct DocumentModel {
    bool openFails = false;
    LONG pages = 1;
    float pageWidth = 612, pageHeight = 792, leftMargin = 90;
    std::string folder;
    std::vector<LinkItem> links;
    std::vector<BookmarkItem> bookmarks;
    std::vector<ParagraphItem> paragraphs;
    std::vector<CrossReferenceItem> crossReferences;
};

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

template <typename T>
T Number(const std::string& word) {
    T value{};
    auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size()) {
        throw std::runtime_error("not a number: \"" + word + "\"");
    }
    return value;
}

template <typename T>
std::vector<T> Numbers(const std::string& value, size_t count) {
    std::vector<std::string> words = Words(value);
    if (words.size() != count) {
        throw std::runtime_error("expected " + std::to_string(count) + " numbers");
    }
    std::vector<T> numbers;
    for (const std::string& word : words) {
        numbers.push_back(Number<T>(word));
    }
    return numbers;
}

DocumentModel ParseDocument(const std::string& content, const std::string& filePath) {
    DocumentModel doc;
    doc.folder = std::filesystem::path(filePath).parent_path().string();
    Place* place = nullptr;  // the current item's
    LinkItem* link = nullptr;
    BookmarkItem* bookmark = nullptr;
    std::istringstream in(content);
    int lineNumber = 0;
    for (std::string line; std::getline(in, line);) {
        ++lineNumber;
        try {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            size_t start = line.find_first_not_of(" \t");
            if (start == std::string::npos || line[start] == '#') {
                continue;
            }
            size_t colon = line.find(':', start);
            if (colon == std::string::npos) {
                throw std::runtime_error("expected \"key: value\"");
            }
            std::string key = line.substr(start, colon - start);
            std::string value = line.substr(colon + 1);
            if (!value.empty() && value[0] == ' ') {
                value.erase(0, 1);
            }
            auto needLink = [&] {
                if (link == nullptr) {
                    throw std::runtime_error("\"" + key + "\" outside a hyperlink");
                }
            };
            if (key == "open") {
                if (value != "fail") {
                    throw std::runtime_error("open takes \"fail\"");
                }
                doc.openFails = true;
            } else if (key == "pages") {
                doc.pages = Number<LONG>(value);
            } else if (key == "page-size") {
                std::vector<float> size = Numbers<float>(value, 2);
                doc.pageWidth = size[0];
                doc.pageHeight = size[1];
            } else if (key == "left-margin") {
                doc.leftMargin = Number<float>(value);
            } else if (key == "path") {
                doc.folder = value;
            } else if (key == "paragraph") {
                size_t space = value.find(' ');
                ParagraphItem& paragraph = doc.paragraphs.emplace_back();
                paragraph.outlineLevel = Number<LONG>(value.substr(0, space));
                paragraph.text = (space == std::string::npos ? "" : value.substr(space + 1)) + "\r";
                place = &paragraph.place;
                link = nullptr;
                bookmark = nullptr;
            } else if (key == "hyperlink") {
                link = &doc.links.emplace_back();
                link->text = value;
                place = &link->place;
                bookmark = nullptr;
            } else if (key == "docfield") {
                size_t space = value.find(' ');
                size_t bar = value.rfind(" | ");
                if (space == std::string::npos || bar == std::string::npos || bar < space) {
                    throw std::runtime_error("docfield takes \"TYPE CODE | RESULT\"");
                }
                CrossReferenceItem& field = doc.crossReferences.emplace_back();
                field.type = Number<LONG>(value.substr(0, space));
                field.field = {value.substr(space + 1, bar - space - 1), value.substr(bar + 3)};
                place = &field.place;
                link = nullptr;
                bookmark = nullptr;
            } else if (key == "bookmark") {
                bookmark = &doc.bookmarks.emplace_back();
                bookmark->name = value;
                place = &bookmark->place;
                link = nullptr;
            } else if (key == "address") {
                needLink();
                link->address = value;
            } else if (key == "name") {
                needLink();
                link->name = value;
            } else if (key == "subaddress") {
                needLink();
                link->subAddress = value;
            } else if (key == "type") {
                needLink();
                link->type = Number<LONG>(value);
                link->typeGiven = true;
            } else if (key == "shape") {
                needLink();
                std::vector<float> box = Numbers<float>(value, 4);
                link->shape = ShapeBox{box[0], box[1], box[2], box[3]};
            } else if (key == "field") {
                needLink();
                size_t bar = value.rfind(" | ");
                if (bar == std::string::npos) {
                    throw std::runtime_error("field takes \"CODE | RESULT\"");
                }
                link->fields.push_back({value.substr(0, bar), value.substr(bar + 3)});
            } else if (key == "text") {
                if (bookmark == nullptr) {
                    throw std::runtime_error("\"text\" outside a bookmark");
                }
                bookmark->text = value;
            } else if (key == "list") {
                if (doc.paragraphs.empty() || place != &doc.paragraphs.back().place) {
                    throw std::runtime_error("\"list\" outside a paragraph");
                }
                doc.paragraphs.back().listString = value;
            } else if (key == "page" || key == "at" || key == "pixels" || key == "getpoint" ||
                       key == "place") {
                if (place == nullptr) {
                    throw std::runtime_error("\"" + key + "\" before any item");
                }
                if (key == "page") {
                    place->page = Number<LONG>(value);
                } else if (key == "at") {
                    std::vector<float> at = Numbers<float>(value, 2);
                    place->x = at[0];
                    place->y = at[1];
                } else if (key == "pixels") {
                    std::vector<LONG> size = Numbers<LONG>(value, 2);
                    place->pixelWidth = size[0];
                    place->pixelHeight = size[1];
                } else if (key == "place") {
                    if (value != "none") {
                        throw std::runtime_error("place takes \"none\"");
                    }
                    place->unplaced = true;
                } else if (value == "fail") {
                    place->getPointFails = true;
                } else {
                    throw std::runtime_error("getpoint takes \"fail\"");
                }
            } else {
                throw std::runtime_error("unknown key \"" + key + "\"");
            }
        } catch (const std::runtime_error& e) {
            throw std::runtime_error(filePath + " line " + std::to_string(lineNumber) + ": " +
                                     e.what());
        }
    }
    for (LinkItem& l : doc.links) {
        if (!l.typeGiven && l.shape) {
            l.type = 1;
        }
    }
    return doc;
}

// ---- Calls -------------------------------------------------------------------------------

// A failure of a member: returned as is, or reported as Word reports its own run-time errors
// (DISP_E_EXCEPTION with an EXCEPINFO).
struct Failure {
    HRESULT hr;
    std::string description;  // non-empty: through EXCEPINFO
    int argument = -1;        // 0-based natural position for DISP_E_TYPEMISMATCH
};

[[noreturn]] void Refuse(HRESULT hr, int argument = -1) {
    throw Failure{hr, {}, argument};
}
[[noreturn]] void WordError(HRESULT hr, const std::string& description) {
    throw Failure{hr, description};
}

const VARIANT& Deref(const VARIANT& v) {
    if (v.vt == (VT_BYREF | VT_VARIANT) && v.pvarVal != nullptr) {
        return *v.pvarVal;
    }
    return v;
}

class FakeObject;
FakeObject* AsFake(IUnknown* object);

// A member call as the objects see it.
class Call {
  public:
    Call(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result)
        : id_(id), flags_(flags), params_(params), result_(result) {}
    DISPID Id() const { return id_; }
    UINT Count() const { return params_ == nullptr ? 0 : params_->cArgs; }
    // Argument i (0-based, natural order) as passed.
    const VARIANT& Passed(UINT i) const { return params_->rgvarg[Count() - 1 - i]; }
    const VARIANT& Arg(UINT i) const { return Deref(Passed(i)); }

    void Property(UINT minArgs = 0, UINT maxArgs = 0) const {
        Require(DISPATCH_PROPERTYGET, minArgs, maxArgs);
    }
    void Method(UINT minArgs, UINT maxArgs) const { Require(DISPATCH_METHOD, minArgs, maxArgs); }
    // Collections' Item is a method in Word; callers that cannot tell it from a property pass
    // either flag.
    void Item() const { Require(DISPATCH_METHOD | DISPATCH_PROPERTYGET, 1, 1); }

    LONG IntArg(UINT i) const {
        const VARIANT& v = Arg(i);
        switch (v.vt) {
            case VT_I2:
                return v.iVal;
            case VT_I4:
                return v.lVal;
            case VT_INT:
                return v.intVal;
            case VT_UI1:
                return v.bVal;
            default:
                Refuse(DISP_E_TYPEMISMATCH, static_cast<int>(i));
        }
    }

    FakeObject* ObjectArg(UINT i) const {
        const VARIANT& v = Arg(i);
        FakeObject* object = v.vt == VT_DISPATCH ? AsFake(v.pdispVal) : nullptr;
        if (object == nullptr) {
            Refuse(DISP_E_TYPEMISMATCH, static_cast<int>(i));
        }
        return object;
    }

    // Writes an out argument: through a by-reference VARIANT or a by-reference 4-byte integer.
    void SetOutInt(UINT i, LONG value) const {
        const VARIANT& passed = Passed(i);
        if (passed.vt == (VT_BYREF | VT_VARIANT) && passed.pvarVal != nullptr) {
            VariantClear(passed.pvarVal);
            passed.pvarVal->vt = VT_I4;
            passed.pvarVal->lVal = value;
        } else if (passed.vt == (VT_BYREF | VT_I4) && passed.plVal != nullptr) {
            *passed.plVal = value;
        } else {
            Refuse(DISP_E_TYPEMISMATCH, static_cast<int>(i));
        }
    }

    void ReturnInt(LONG value) const {
        if (result_ != nullptr) {
            result_->vt = VT_I4;
            result_->lVal = value;
        }
    }
    void ReturnFloat(float value) const {
        if (result_ != nullptr) {
            result_->vt = VT_R4;
            result_->fltVal = value;
        }
    }
    void ReturnString(const std::string& utf8) const {
        if (result_ != nullptr) {
            std::u16string text = platform::Utf8ToUtf16(utf8);
            result_->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
            result_->vt = VT_BSTR;
        }
    }
    // Takes over the object's first reference.
    void ReturnObject(IDispatch* object) const;

  private:
    void Require(WORD kind, UINT minArgs, UINT maxArgs) const {
        if ((flags_ & kind) == 0) {
            Refuse(DISP_E_MEMBERNOTFOUND);
        }
        if (Count() < minArgs || Count() > maxArgs) {
            Refuse(DISP_E_BADPARAMCOUNT);
        }
    }

    DISPID id_;
    WORD flags_;
    DISPPARAMS* params_;
    VARIANT* result_;
};

int MajorOf(const std::string& version) {
    int major = 0;
    std::from_chars(version.data(), version.data() + version.size(), major);
    return major;
}

}  // namespace

// ---- Shared state ------------------------------------------------------------------------

struct FailureRule {
    DISPID dispId;
    std::optional<WordObject> on;
    int nth;
    int seen;
    HRESULT hr;
    std::string description;
};

struct FakeWord::State {
    mutable std::mutex mutex;
    std::string version = "16.0";
    std::optional<HRESULT> createFailure;
    std::vector<FailureRule> rules;
    std::map<std::string, HRESULT> openFailures;
    std::function<void(const std::string&)> openHandler;
    std::function<HRESULT(const PrintJob&)> printHandler;
    std::vector<RecordedCall> calls;
    int instancesCreated = 0;
    int quitCalls = 0;
    std::array<std::atomic<int>, kWordObjectKinds> live{};
};

namespace {

using State = FakeWord::State;

// One application instance: the thread that created it owns it, as an apartment does.
struct Session {
    std::thread::id owner;
    std::atomic<bool> quit{false};
};

// An open document: its description and what its window has selected.
struct OpenDocument {
    std::string path;
    std::shared_ptr<const DocumentModel> model;
    std::mutex mutex;
    Place selected;
};

struct Context {
    std::shared_ptr<State> state;
    std::shared_ptr<Session> session;
    std::shared_ptr<OpenDocument> document;  // null for the application and its collection
};

class FakeObject : public CountedObject<IDispatch> {
  public:
    FakeObject(WordObject kind, Context context) : kind_(kind), ctx_(std::move(context)) {
        ++ctx_.state->live[static_cast<int>(kind_)];
    }
    virtual ~FakeObject() { --ctx_.state->live[static_cast<int>(kind_)]; }

    WordObject Kind() const { return kind_; }
    // Where the object lies, for objects Window.GetPoint can measure.
    virtual const Place* Measured() const { return nullptr; }

    bool Answers(REFIID riid) const override {
        return riid == IID_IDispatch || riid == kIidFakeObject;
    }
    HRESULT GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;  // callers bind by dispatch id
    }

    HRESULT Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excepInfo, UINT* argErr) override;

  protected:
    virtual void Handle(const Call& call) = 0;

    Context Ctx() const { return ctx_; }
    const DocumentModel& Doc() const { return *ctx_.document->model; }
    State& Shared() const { return *ctx_.state; }
    Session& Instance() const { return *ctx_.session; }
    OpenDocument& Document() const { return *ctx_.document; }

  private:
    std::optional<Failure> Injected(DISPID id);

    WordObject kind_;
    Context ctx_;
};

FakeObject* AsFake(IUnknown* object) {
    if (object == nullptr) {
        return nullptr;
    }
    void* fake = nullptr;
    if (FAILED(object->QueryInterface(kIidFakeObject, &fake))) {
        return nullptr;
    }
    // The caller's argument keeps it alive for the call.
    static_cast<IDispatch*>(fake)->Release();
    return static_cast<FakeObject*>(static_cast<IDispatch*>(fake));
}

void Call::ReturnObject(IDispatch* object) const {
    if (result_ == nullptr) {
        object->Release();
        return;
    }
    result_->vt = VT_DISPATCH;
    result_->pdispVal = object;
}

void ReadValue(const VARIANT& v, RecordedArgument& a) {
    switch (v.vt) {
        case VT_I2:
            a.integer = v.iVal;
            break;
        case VT_I4:
            a.integer = v.lVal;
            break;
        case VT_INT:
            a.integer = v.intVal;
            break;
        case VT_UI1:
            a.integer = v.bVal;
            break;
        case VT_UI4:
            a.integer = v.ulVal;
            break;
        case VT_BOOL:
            a.integer = v.boolVal;
            break;
        case VT_ERROR:
            a.integer = v.scode;
            break;
        case VT_R4:
            a.real = v.fltVal;
            break;
        case VT_R8:
            a.real = v.dblVal;
            break;
        case VT_BSTR:
            a.text = platform::Utf16ToUtf8(std::u16string_view(v.bstrVal, SysStringLen(v.bstrVal)));
            break;
        case VT_DISPATCH:
            if (FakeObject* fake = AsFake(v.pdispVal)) {
                a.object = fake->Kind();
            }
            break;
        default:
            break;
    }
}

RecordedArgument Describe(const VARIANT& passed) {
    RecordedArgument a;
    a.passedType = passed.vt;
    a.byRef = (passed.vt & VT_BYREF) != 0;
    a.type = passed.vt & ~VT_BYREF;
    if (passed.vt == (VT_BYREF | VT_VARIANT)) {
        if (passed.pvarVal != nullptr) {
            a.type = passed.pvarVal->vt;
            ReadValue(*passed.pvarVal, a);
        }
        return a;
    }
    if (!a.byRef) {
        ReadValue(passed, a);
        return a;
    }
    if (passed.byref == nullptr) {
        return a;
    }
    // A typed reference: read the value it points at.
    VARIANT value;
    VariantInit(&value);
    value.vt = a.type;
    switch (a.type) {
        case VT_I2:
            value.iVal = *passed.piVal;
            break;
        case VT_I4:
            value.lVal = *passed.plVal;
            break;
        case VT_R4:
            value.fltVal = *passed.pfltVal;
            break;
        case VT_BOOL:
            value.boolVal = *passed.pboolVal;
            break;
        case VT_BSTR:
            value.bstrVal = *passed.pbstrVal;
            break;
        case VT_DISPATCH:
            value.pdispVal = *passed.ppdispVal;
            break;
        default:
            return a;
    }
    ReadValue(value, a);  // borrowed, not cleared
    return a;
}

std::optional<Failure> FakeObject::Injected(DISPID id) {
    std::lock_guard lock(ctx_.state->mutex);
    for (FailureRule& rule : ctx_.state->rules) {
        if (rule.dispId != id || (rule.on && *rule.on != kind_)) {
            continue;
        }
        ++rule.seen;
        if (rule.nth == 0 || rule.seen == rule.nth) {
            return Failure{rule.hr, rule.description};
        }
    }
    return std::nullopt;
}

HRESULT FakeObject::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                           VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
    RecordedCall record{kind_, id, flags, 0, 0, {}, std::this_thread::get_id()};
    if (params != nullptr) {
        record.argCount = params->cArgs;
        record.namedArgCount = params->cNamedArgs;
        for (UINT i = params->cArgs; i > 0; --i) {
            record.args.push_back(Describe(params->rgvarg[i - 1]));
        }
    }
    {
        std::lock_guard lock(ctx_.state->mutex);
        ctx_.state->calls.push_back(std::move(record));
    }
    if (result != nullptr) {
        VariantInit(result);
    }
    if (riid != IID_NULL) {
        return DISP_E_UNKNOWNINTERFACE;
    }
    if (std::this_thread::get_id() != ctx_.session->owner) {
        return FakeWord::kWrongThread;
    }
    if (ctx_.session->quit) {
        return FakeWord::kDisconnected;
    }
    if (params != nullptr && params->cNamedArgs != 0) {
        return kNoNamedArgs;
    }
    std::optional<Failure> failure = Injected(id);
    if (!failure) {
        try {
            Handle(Call(id, flags, params, result));
            return S_OK;
        } catch (const Failure& f) {
            failure = f;
        }
        if (result != nullptr) {
            VariantClear(result);
        }
    }
    if (failure->argument >= 0 && argErr != nullptr) {
        *argErr = params->cArgs - 1 - static_cast<UINT>(failure->argument);
    }
    if (failure->description.empty() || excepInfo == nullptr) {
        return failure->hr;
    }
    *excepInfo = EXCEPINFO{};
    excepInfo->bstrSource = SysAllocString(u"Microsoft Word");
    std::u16string description = platform::Utf8ToUtf16(failure->description);
    excepInfo->bstrDescription =
        SysAllocStringLen(description.data(), static_cast<UINT>(description.size()));
    excepInfo->scode = failure->hr;
    return DISP_E_EXCEPTION;
}

// ---- The object model --------------------------------------------------------------------

// A stretch of the document: a link's text, a paragraph, a bookmark, a field's code or result,
// a shape's anchor.
struct RangeData {
    std::string text{};
    Place place{};
    std::vector<FieldItem> fields{};
    std::string listString{};
};

void Answer(const Call& call, LONG item, const Place& place, LONG pages) {
    switch (item) {
        case kInfoAdjustedPage:
        case kInfoEndPage:
            call.ReturnInt(place.page);
            break;
        case kInfoPageCount:
            call.ReturnInt(pages);
            break;
        case kInfoHorizontal:
            call.ReturnFloat(place.x);
            break;
        case kInfoVertical:
            call.ReturnFloat(place.y);
            break;
        default:
            WordError(FakeWord::kCommandFailed, "Information item not known to the fake");
    }
}

class PageSetupObject : public FakeObject {
  public:
    explicit PageSetupObject(Context c) : FakeObject(WordObject::PageSetup, std::move(c)) {}

  protected:
    void Handle(const Call& call) override {
        switch (call.Id()) {
            case dispid::kPageSetupLeftMargin:
                call.Property();
                call.ReturnFloat(Doc().leftMargin);
                break;
            case dispid::kPageSetupPageWidth:
                call.Property();
                call.ReturnFloat(Doc().pageWidth);
                break;
            default:
                Refuse(DISP_E_MEMBERNOTFOUND);
        }
    }
};

class RangeObject;

class FieldObject : public FakeObject {
  public:
    FieldObject(Context c, FieldItem field, Place place)
        : FakeObject(WordObject::Field, std::move(c)), field_(std::move(field)), place_(place) {}

  protected:
    void Handle(const Call& call) override;

  private:
    FieldItem field_;
    Place place_;
};

class FieldsObject : public FakeObject {
  public:
    FieldsObject(Context c, std::vector<FieldItem> fields, Place place)
        : FakeObject(WordObject::Fields, std::move(c)), fields_(std::move(fields)), place_(place) {}

  protected:
    void Handle(const Call& call) override {
        switch (call.Id()) {
            case dispid::kFieldsCount:
                call.Property();
                call.ReturnInt(static_cast<LONG>(fields_.size()));
                break;
            case dispid::kItem: {  // Item(i)
                call.Item();
                LONG i = call.IntArg(0);
                if (i < 1 || i > static_cast<LONG>(fields_.size())) {
                    WordError(FakeWord::kNoSuchMember,
                              "The requested member of the collection "
                              "does not exist.");
                }
                call.ReturnObject(new FieldObject(Ctx(), fields_[i - 1], place_));
                break;
            }
            default:
                Refuse(DISP_E_MEMBERNOTFOUND);
        }
    }

  private:
    std::vector<FieldItem> fields_;
    Place place_;
};

class ListFormatObject : public FakeObject {
  public:
    ListFormatObject(Context c, std::string listString)
        : FakeObject(WordObject::ListFormat, std::move(c)), listString_(std::move(listString)) {}

  protected:
    void Handle(const Call& call) override {
        if (call.Id() != dispid::kListFormatListString) {
            Refuse(DISP_E_MEMBERNOTFOUND);
        }
        call.Property();
        call.ReturnString(listString_);
    }

  private:
    std::string listString_;
};

class RangeObject : public FakeObject {
  public:
    RangeObject(Context c, RangeData data)
        : FakeObject(WordObject::Range, std::move(c)), data_(std::move(data)) {}
    const Place* Measured() const override { return &data_.place; }

  protected:
    void Handle(const Call& call) override {
        switch (call.Id()) {
            case dispid::kRangeText:
                call.Property();
                call.ReturnString(data_.text);
                break;
            case dispid::kRangeSelect: {
                call.Method(0, 0);
                if (data_.place.unplaced) {
                    WordError(FakeWord::kCommandFailed, "The range is not laid out.");
                }
                std::lock_guard lock(Document().mutex);
                Document().selected = data_.place;
                break;
            }
            case dispid::kRangeInformation:  // Information(item)
                call.Property(1, 1);
                if (data_.place.unplaced) {
                    WordError(FakeWord::kCommandFailed, "The range is not laid out.");
                }
                Answer(call, call.IntArg(0), data_.place, Doc().pages);
                break;
            case dispid::kRangePageSetup:
                call.Property();
                call.ReturnObject(new PageSetupObject(Ctx()));
                break;
            case dispid::kRangeFields:
                call.Property();
                call.ReturnObject(new FieldsObject(Ctx(), data_.fields, data_.place));
                break;
            case dispid::kRangeListFormat:
                call.Property();
                call.ReturnObject(new ListFormatObject(Ctx(), data_.listString));
                break;
            default:
                Refuse(DISP_E_MEMBERNOTFOUND);
        }
    }

  private:
    RangeData data_;
};

void FieldObject::Handle(const Call& call) {
    switch (call.Id()) {
        case dispid::kFieldCode:  // Code, a range
            call.Property();
            call.ReturnObject(new RangeObject(Ctx(), {field_.code, place_, {}}));
            break;
        case dispid::kFieldResult:  // Result, a range
            call.Property();
            call.ReturnObject(new RangeObject(Ctx(), {field_.result, place_, {}}));
            break;
        default:
            Refuse(DISP_E_MEMBERNOTFOUND);
    }
}

class CrossReferenceObject : public FakeObject {
  public:
    CrossReferenceObject(Context c, const CrossReferenceItem& field)
        : FakeObject(WordObject::Field, std::move(c)), field_(field) {}

  protected:
    void Handle(const Call& call) override {
        call.Property();
        switch (call.Id()) {
            case dispid::kFieldType:
                call.ReturnInt(field_.type);
                break;
            case dispid::kFieldCode:
                call.ReturnObject(new RangeObject(Ctx(), {field_.field.code, field_.place, {}}));
                break;
            case dispid::kFieldResult:
                call.ReturnObject(new RangeObject(Ctx(), {field_.field.result, field_.place, {}}));
                break;
            default:
                Refuse(DISP_E_MEMBERNOTFOUND);
        }
    }

  private:
    const CrossReferenceItem& field_;
};

class SelectionObject : public FakeObject {
  public:
    explicit SelectionObject(Context c) : FakeObject(WordObject::Selection, std::move(c)) {}

  protected:
    void Handle(const Call& call) override {
        if (call.Id() != dispid::kSelectionInformation) {
            Refuse(DISP_E_MEMBERNOTFOUND);
        }
        call.Property(1, 1);
        Place selected;
        {
            std::lock_guard lock(Document().mutex);
            selected = Document().selected;
        }
        Answer(call, call.IntArg(0), selected, Doc().pages);
    }
};

class WindowObject : public FakeObject {
  public:
    explicit WindowObject(Context c) : FakeObject(WordObject::Window, std::move(c)) {}

  protected:
    void Handle(const Call& call) override {
        switch (call.Id()) {
            case dispid::kWindowScrollIntoView:  // ScrollIntoView(obj, start)
                call.Method(1, 2);
                call.ObjectArg(0);
                break;
            case dispid::kWindowSelection:
                call.Property();
                call.ReturnObject(new SelectionObject(Ctx()));
                break;
            case dispid::kWindowGetPoint: {  // GetPoint(left, top, width, height, obj): pixels on
                                             // screen
                call.Method(5, 5);
                const Place* place = call.ObjectArg(4)->Measured();
                if (place == nullptr) {
                    Refuse(DISP_E_TYPEMISMATCH, 4);
                }
                if (place->getPointFails) {
                    WordError(FakeWord::kCommandFailed, "The object is not on screen.");
                }
                call.SetOutInt(0, static_cast<LONG>(place->x * 96 / 72));
                call.SetOutInt(1, static_cast<LONG>(place->y * 96 / 72));
                call.SetOutInt(2, place->pixelWidth);
                call.SetOutInt(3, place->pixelHeight);
                break;
            }
            default:
                Refuse(DISP_E_MEMBERNOTFOUND);
        }
    }
};

class ShapeObject : public FakeObject {
  public:
    ShapeObject(Context c, ShapeBox shape, Place place)
        : FakeObject(WordObject::Shape, std::move(c)), shape_(shape), place_(place) {}
    const Place* Measured() const override { return &place_; }

  protected:
    void Handle(const Call& call) override {
        call.Property();
        switch (call.Id()) {
            case dispid::kShapeAnchor:
                call.ReturnObject(new RangeObject(Ctx(), {"\r", place_, {}}));
                break;
            case dispid::kShapeLeft:
                call.ReturnFloat(shape_.left);
                break;
            case dispid::kShapeTop:
                call.ReturnFloat(shape_.top);
                break;
            case dispid::kShapeWidth:
                call.ReturnFloat(shape_.width);
                break;
            case dispid::kShapeHeight:
                call.ReturnFloat(shape_.height);
                break;
            default:
                Refuse(DISP_E_MEMBERNOTFOUND);
        }
    }

  private:
    ShapeBox shape_;
    Place place_;
};

class HyperlinkObject : public FakeObject {
  public:
    HyperlinkObject(Context c, const LinkItem& link)
        : FakeObject(WordObject::Hyperlink, std::move(c)), link_(link) {}

  protected:
    void Handle(const Call& call) override {
        call.Property();
        switch (call.Id()) {
            case dispid::kHyperlinkAddress:
                call.ReturnString(link_.address);
                break;
            case dispid::kHyperlinkName:
                call.ReturnString(link_.name);
                break;
            case dispid::kHyperlinkSubAddress:
                call.ReturnString(link_.subAddress);
                break;
            case dispid::kHyperlinkType:
                call.ReturnInt(link_.type);
                break;
            case dispid::kHyperlinkRange:
                call.ReturnObject(new RangeObject(Ctx(), {link_.text, link_.place, link_.fields}));
                break;
            case dispid::kHyperlinkShape:
                if (!link_.shape) {
                    WordError(FakeWord::kCommandFailed, "This hyperlink is not on a shape.");
                }
                call.ReturnObject(new ShapeObject(Ctx(), *link_.shape, link_.place));
                break;
            default:
                Refuse(DISP_E_MEMBERNOTFOUND);
        }
    }

  private:
    const LinkItem& link_;  // the description outlives every object of its document
};

class BookmarkObject : public FakeObject {
  public:
    BookmarkObject(Context c, const BookmarkItem& bookmark)
        : FakeObject(WordObject::Bookmark, std::move(c)), bookmark_(bookmark) {}

  protected:
    void Handle(const Call& call) override {
        call.Property();
        switch (call.Id()) {
            case dispid::kBookmarkName:
                call.ReturnString(bookmark_.name);
                break;
            case dispid::kBookmarkRange:
                call.ReturnObject(new RangeObject(Ctx(), {bookmark_.text, bookmark_.place, {}}));
                break;
            default:
                Refuse(DISP_E_MEMBERNOTFOUND);
        }
    }

  private:
    const BookmarkItem& bookmark_;
};

class ParagraphObject : public FakeObject {
  public:
    ParagraphObject(Context c, const ParagraphItem& paragraph)
        : FakeObject(WordObject::Paragraph, std::move(c)), paragraph_(paragraph) {}

  protected:
    void Handle(const Call& call) override {
        call.Property();
        switch (call.Id()) {
            case dispid::kParagraphRange:
                call.ReturnObject(new RangeObject(
                    Ctx(), {paragraph_.text, paragraph_.place, {}, paragraph_.listString}));
                break;
            case dispid::kParagraphOutlineLevel:
                call.ReturnInt(paragraph_.outlineLevel);
                break;
            default:
                Refuse(DISP_E_MEMBERNOTFOUND);
        }
    }

  private:
    const ParagraphItem& paragraph_;
};

std::string NameOf(const BookmarkItem& bookmark) {
    return bookmark.name;
}
template <typename Entry>
std::string NameOf(const Entry&) {
    return {};
}

// Hyperlinks, Bookmarks and Paragraphs: Count and Item(i) over the document's items.
template <typename Entry, typename Item>
class CollectionObject : public FakeObject {
  public:
    CollectionObject(WordObject kind, Context c, DISPID countId,
                     const std::vector<Entry> DocumentModel::*items)
        : FakeObject(kind, std::move(c)), countId_(countId), items_(items) {}

  protected:
    void Handle(const Call& call) override {
        const std::vector<Entry>& items = Doc().*items_;
        if (call.Id() == countId_) {
            call.Property();
            call.ReturnInt(static_cast<LONG>(items.size()));
            return;
        }
        if (call.Id() != dispid::kItem) {
            Refuse(DISP_E_MEMBERNOTFOUND);
        }
        call.Item();
        const VARIANT& which = call.Arg(0);
        size_t index;
        if (std::is_same_v<Entry, BookmarkItem> && which.vt == VT_BSTR) {
            // Bookmarks are also found by name, as in Word.
            std::string name = platform::Utf16ToUtf8(
                std::u16string_view(which.bstrVal, SysStringLen(which.bstrVal)));
            index = items.size();
            for (size_t i = 0; i < items.size(); ++i) {
                if (NameOf(items[i]) == name) {
                    index = i;
                    break;
                }
            }
        } else {
            LONG i = call.IntArg(0);
            index = i >= 1 ? static_cast<size_t>(i - 1) : items.size();
        }
        if (index >= items.size()) {
            WordError(FakeWord::kNoSuchMember,
                      "The requested member of the collection does not exist.");
        }
        call.ReturnObject(new Item(Ctx(), items[index]));
    }

  private:
    DISPID countId_;
    const std::vector<Entry> DocumentModel::*items_;
};

// A document's footnotes or endnotes, or its stories beside the body: the fake's documents have
// none.
class NoneObject : public FakeObject {
  public:
    NoneObject(WordObject kind, Context c, std::optional<DISPID> countId)
        : FakeObject(kind, std::move(c)), countId_(countId) {}

  protected:
    void Handle(const Call& call) override {
        if (countId_ && call.Id() == *countId_) {
            call.Property();
            call.ReturnInt(0);
            return;
        }
        if (call.Id() != dispid::kItem) {
            Refuse(DISP_E_MEMBERNOTFOUND);
        }
        call.Item();
        WordError(FakeWord::kNoSuchMember,
                  "The requested member of the collection does not exist.");
    }

  private:
    std::optional<DISPID> countId_;
};

class DocumentObject : public FakeObject {
  public:
    explicit DocumentObject(Context c) : FakeObject(WordObject::Document, std::move(c)) {}

  protected:
    void Handle(const Call& call) override {
        switch (call.Id()) {
            case dispid::kDocumentHyperlinks:
                call.Property();
                call.ReturnObject(new CollectionObject<LinkItem, HyperlinkObject>(
                    WordObject::Hyperlinks, Ctx(), dispid::kHyperlinksCount,
                    &DocumentModel::links));
                break;
            case dispid::kDocumentBookmarks:
                call.Property();
                call.ReturnObject(new CollectionObject<BookmarkItem, BookmarkObject>(
                    WordObject::Bookmarks, Ctx(), dispid::kBookmarksCount,
                    &DocumentModel::bookmarks));
                break;
            case dispid::kDocumentParagraphs:
                call.Property();
                call.ReturnObject(new CollectionObject<ParagraphItem, ParagraphObject>(
                    WordObject::Paragraphs, Ctx(), dispid::kParagraphsCount,
                    &DocumentModel::paragraphs));
                break;
            case dispid::kDocumentActiveWindow:
                call.Property();
                call.ReturnObject(new WindowObject(Ctx()));
                break;
            case dispid::kDocumentFootnotes:
            case dispid::kDocumentEndnotes:
                call.Property();
                call.ReturnObject(
                    new NoneObject(WordObject::Notes, Ctx(), dispid::kFootnotesCount));
                break;
            case dispid::kDocumentFields:
                call.Property();
                call.ReturnObject(new CollectionObject<CrossReferenceItem, CrossReferenceObject>(
                    WordObject::Fields, Ctx(), dispid::kFieldsCount,
                    &DocumentModel::crossReferences));
                break;
            case dispid::kDocumentStoryRanges:
                call.Property();
                call.ReturnObject(new NoneObject(WordObject::StoryRanges, Ctx(), std::nullopt));
                break;
            case dispid::kDocumentPath:
                call.Property();
                call.ReturnString(Doc().folder);
                break;
            case dispid::kDocumentPrintOut9:   // PrintOut, Word 2000 form; later versions keep it
            case dispid::kDocumentPrintOut10:  // PrintOut, from Word 2002
                PrintOut(call);
                break;
            default:
                Refuse(DISP_E_MEMBERNOTFOUND);
        }
    }

  private:
    void PrintOut(const Call& call) {
        std::function<HRESULT(const PrintJob&)> handler;
        {
            std::lock_guard lock(Shared().mutex);
            if (call.Id() == dispid::kDocumentPrintOut10 && MajorOf(Shared().version) < 10) {
                Refuse(DISP_E_MEMBERNOTFOUND);
            }
            handler = Shared().printHandler;
        }
        call.Method(18, 18);
        if (handler) {
            HRESULT hr =
                handler(PrintJob{Document().path, Doc().pages, Doc().pageWidth, Doc().pageHeight});
            if (FAILED(hr)) {
                WordError(hr, "The document could not be printed.");
            }
        }
    }
};

class DocumentsObject : public FakeObject {
  public:
    explicit DocumentsObject(Context c) : FakeObject(WordObject::Documents, std::move(c)) {}

  protected:
    void Handle(const Call& call) override {
        // Open's forms and the version that introduced each.
        UINT count = 0;
        int since = 0;
        switch (call.Id()) {
            case dispid::kDocumentsOpen9:
                count = 12;
                break;
            case dispid::kDocumentsOpen10:
                count = 15;
                since = 10;
                break;
            case dispid::kDocumentsOpen11:
                count = 16;
                since = 11;
                break;
            default:
                Refuse(DISP_E_MEMBERNOTFOUND);
        }
        std::optional<HRESULT> pathFailure;
        std::string path;
        {
            std::lock_guard lock(Shared().mutex);
            if (MajorOf(Shared().version) < since) {
                Refuse(DISP_E_MEMBERNOTFOUND);
            }
        }
        call.Method(count, count);
        // FileName: a string by reference.
        const VARIANT& passed = call.Passed(0);
        if (passed.vt == (VT_BYREF | VT_VARIANT) && passed.pvarVal != nullptr &&
            passed.pvarVal->vt == VT_BSTR) {
            BSTR name = passed.pvarVal->bstrVal;
            path = platform::Utf16ToUtf8(std::u16string_view(name, SysStringLen(name)));
        } else if (passed.vt == (VT_BYREF | VT_BSTR) && passed.pbstrVal != nullptr) {
            path = platform::Utf16ToUtf8(
                std::u16string_view(*passed.pbstrVal, SysStringLen(*passed.pbstrVal)));
        } else {
            Refuse(DISP_E_TYPEMISMATCH, 0);
        }
        std::function<void(const std::string&)> handler;
        {
            std::lock_guard lock(Shared().mutex);
            auto failing = Shared().openFailures.find(path);
            if (failing != Shared().openFailures.end()) {
                pathFailure = failing->second;
            }
            handler = Shared().openHandler;
        }
        if (handler) {
            handler(path);
        }
        if (pathFailure) {
            WordError(*pathFailure, "Word could not open " + path + ".");
        }
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            WordError(FakeWord::kOpenFailed, "This file could not be found. (" + path + ")");
        }
        std::stringstream content;
        content << in.rdbuf();
        auto open = std::make_shared<OpenDocument>();
        open->path = path;
        try {
            open->model = std::make_shared<const DocumentModel>(ParseDocument(content.str(), path));
        } catch (const std::runtime_error& e) {
            WordError(FakeWord::kBadDocument, e.what());
        }
        if (open->model->openFails) {
            WordError(FakeWord::kOpenFailed, "Word could not open " + path + ".");
        }
        Context context = Ctx();
        context.document = std::move(open);
        call.ReturnObject(new DocumentObject(std::move(context)));
    }
};

class ApplicationObject : public FakeObject {
  public:
    explicit ApplicationObject(Context c) : FakeObject(WordObject::Application, std::move(c)) {}

  protected:
    void Handle(const Call& call) override {
        switch (call.Id()) {
            case dispid::kApplicationVersion: {
                call.Property();
                std::lock_guard lock(Shared().mutex);
                call.ReturnString(Shared().version);
                break;
            }
            case dispid::kApplicationDocuments:
                call.Property();
                call.ReturnObject(new DocumentsObject(Ctx()));
                break;
            case dispid::kApplicationQuit: {  // Quit(SaveChanges, OriginalFormat, RouteDocument)
                call.Method(3, 3);
                Instance().quit = true;
                std::lock_guard lock(Shared().mutex);
                ++Shared().quitCalls;
                break;
            }
            default:
                Refuse(DISP_E_MEMBERNOTFOUND);
        }
    }
};

class Factory : public CountedObject<IClassFactory> {
  public:
    explicit Factory(std::shared_ptr<State> state) : state_(std::move(state)) {}

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
        auto session = std::make_shared<Session>();
        session->owner = std::this_thread::get_id();
        auto* application = new ApplicationObject(Context{state_, std::move(session), nullptr});
        HRESULT hr = application->QueryInterface(riid, object);
        application->Release();
        return hr;
    }
    HRESULT LockServer(BOOL) override { return S_OK; }

  private:
    virtual ~Factory() = default;

    std::shared_ptr<State> state_;
};

}  // namespace

const char* ToString(WordObject kind) {
    static constexpr const char* kNames[kWordObjectKinds] = {
        "Application", "Documents", "Document",  "Hyperlinks",  "Hyperlink", "Shape",  "Window",
        "Selection",   "Range",     "PageSetup", "Bookmarks",   "Bookmark",  "Fields", "Field",
        "Paragraphs",  "Paragraph", "Notes",     "StoryRanges", "ListFormat"};
    return kNames[static_cast<int>(kind)];
}

const CLSID FakeWord::kClsid = {
    0x3f1e8a70, 0x2b4c, 0x4d19, {0x9a, 0x6e, 0x41, 0x7b, 0xc0, 0x5d, 0x28, 0x93}};

std::shared_ptr<FakeWord> FakeWord::Install() {
    std::shared_ptr<FakeWord> word(new FakeWord());
    word->state_ = std::make_shared<State>();
    auto* factory = new Factory(word->state_);
    HRESULT hr = CoRegisterClassObject(kClsid, factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                       &word->cookie_);
    if (FAILED(hr)) {
        factory->Release();
        throw std::runtime_error("fake Word: CoRegisterClassObject failed");
    }
    word->factory_ = factory;
    hr = platform::RegisterComClass(tessaline::contracts::kWordApplicationProgId, kClsid, "");
    if (FAILED(hr)) {
        throw std::runtime_error("fake Word: the ProgID could not be registered");
    }
    return word;
}

FakeWord::~FakeWord() {
    if (factory_ != nullptr) {
        CoRevokeClassObject(cookie_);
        factory_->Release();
        platform::UnregisterComClass(tessaline::contracts::kWordApplicationProgId, kClsid);
    }
}

void FakeWord::SetVersion(const std::string& version) {
    std::lock_guard lock(state_->mutex);
    state_->version = version;
}

void FakeWord::FailCreate(HRESULT hr) {
    std::lock_guard lock(state_->mutex);
    state_->createFailure = FAILED(hr) ? std::optional<HRESULT>(hr) : std::nullopt;
}

void FakeWord::FailCall(DISPID dispId, HRESULT hr, int nth, std::optional<WordObject> on,
                        const std::string& description) {
    std::lock_guard lock(state_->mutex);
    state_->rules.push_back(FailureRule{dispId, on, nth, 0, hr, description});
}

void FakeWord::FailOpen(const std::string& path, HRESULT hr) {
    std::lock_guard lock(state_->mutex);
    state_->openFailures[path] = hr;
}

void FakeWord::FailPrintOut(HRESULT hr) {
    FailCall(444, hr, 0, WordObject::Document);
    FailCall(446, hr, 0, WordObject::Document);
}

void FakeWord::SetOpenHandler(std::function<void(const std::string&)> handler) {
    std::lock_guard lock(state_->mutex);
    state_->openHandler = std::move(handler);
}

void FakeWord::SetPrintHandler(std::function<HRESULT(const PrintJob&)> handler) {
    std::lock_guard lock(state_->mutex);
    state_->printHandler = std::move(handler);
}

std::vector<RecordedCall> FakeWord::Calls() const {
    std::lock_guard lock(state_->mutex);
    return state_->calls;
}

std::vector<RecordedCall> FakeWord::Calls(WordObject kind, DISPID dispId) const {
    std::lock_guard lock(state_->mutex);
    std::vector<RecordedCall> matching;
    for (const RecordedCall& call : state_->calls) {
        if (call.object == kind && call.dispId == dispId) {
            matching.push_back(call);
        }
    }
    return matching;
}

void FakeWord::ClearCalls() {
    std::lock_guard lock(state_->mutex);
    state_->calls.clear();
}

int FakeWord::InstancesCreated() const {
    std::lock_guard lock(state_->mutex);
    return state_->instancesCreated;
}

int FakeWord::QuitCalls() const {
    std::lock_guard lock(state_->mutex);
    return state_->quitCalls;
}

int FakeWord::LiveObjects() const {
    int total = 0;
    for (const std::atomic<int>& count : state_->live) {
        total += count;
    }
    return total;
}

int FakeWord::LiveObjects(WordObject kind) const {
    return state_->live[static_cast<int>(kind)];
}

}  // namespace testing_support

#include "components/word/office/Office.h"

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include <unistd.h>

#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <rtl/bootstrap.hxx>
#include <rtl/ustring.hxx>

#include "components/word/office/OfficeIndexClaim.h"
#include "components/word/office/OfficeProcess.h"
#include "components/word/office/RemoteContent.h"
#include "components/word/model/Uno.h"
#include "platform/environment_settings.h"
#include "platform/root.h"

namespace word_component {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A first start with a fresh profile takes the longest.
constexpr auto kStartLimit = 60s;
constexpr auto kTick = 250ms;
// soffice.bin asks its launcher for a restart with this code after setting up a new profile.
constexpr int kRestartRequested = 81;

std::chrono::milliseconds IdleLimit() {
    return platform::DurationSetting(platform::Setting::OfficeIdleSeconds);
}

// The bounds on one start's growth (see Office.h); 0 turns one off.
unsigned long MostDocumentsPerStart() {
    return platform::CountSetting(platform::Setting::OfficeMaxDocuments);
}
long MostResidentKb() {
    const unsigned long mib = platform::SizeSettingMib(platform::Setting::OfficeMaxMemoryMb);
    return static_cast<long>(std::min<unsigned long>(mib, LONG_MAX / 1024) * 1024);
}

// Resident memory of a process, from its statm; 0 when it cannot be read.
long ResidentKbOf(pid_t pid) {
    std::ifstream statm("/proc/" + std::to_string(pid) + "/statm");
    long pages = 0;
    long resident = 0;
    if (!(statm >> pages >> resident)) {
        return 0;
    }
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace

struct Office::State {
    unsigned slot = 0;
    std::mutex mutex;
    std::condition_variable changed;
    std::thread keeper;
    bool keeperStarted = false;
    bool stopping = false;

    enum class Phase { Stopped, Starting, Running } phase = Phase::Stopped;
    bool startRequested = false;
    bool endRequested = false;
    unsigned startsDone = 0;  // finished start attempts
    unsigned endsDone = 0;
    std::string lastError;

    OfficeIdentity identity;
    pid_t pid = -1;
    bool owned = false;
    bool broken = false;
    unsigned generation = 0;
    css::uno::Reference<css::uno::XComponentContext> localContext;
    css::uno::Reference<css::uno::XComponentContext> context;
    css::uno::Reference<css::frame::XDesktop2> desktop;

    Clock::time_point idleSince = Clock::now();  // of this office; the users' is g_users'
    int errands = 0;                             // calls busy with a document (Errand)

    // This start's documents (Tenancy), and its replacement.
    unsigned long loads = 0;  // loaded since it started
    int inUse = 0;            // being loaded or open
    int kept = 0;             // kept for a later open
    bool retiring = false;    // due for replacement: new documents go elsewhere if they can
    bool replacing = false;   // under way: no session is handed out until the new start

    unsigned long nextWatch = 1;
    std::map<unsigned long, Clock::time_point> watches;
    std::set<unsigned long> firedWatches;

    // The office index this office claimed in its platform root, which names its pipe, profile
    // and temporary folder. Each program runs offices of its own: an index whose lock file
    // another program holds is that program's, and two programs never share an office (the one
    // that ends first would take the other's documents with it) nor a profile. Guarded by
    // claimMutex, not mutex.
    std::mutex claimMutex;
    std::string claimedRoot;  // empty while nothing is claimed
    unsigned index = 0;
    bool claimed = false;

    std::function<void(bool)> housekeeping;
    std::string bootstrapError;
    // The process is exiting: UNO's own statics may already be gone, so nothing may call
    // through a UNO reference any more, not even to release it.
    std::atomic<bool> exiting{false};
};

namespace {

// The offices made so far, by slot; they are never destroyed (their end runs from atexit, while
// the UNO libraries are still intact).
std::mutex g_officesMutex;
Office* g_offices[Office::kMostOffices] = {};
Office::State* g_states[Office::kMostOffices] = {};

// One office retires at a time (Office.h), so that another works meanwhile.
std::atomic<bool> g_retirementUnderWay{false};

// Marks a running office of ours retiring once it is due, unless another one retires. The
// memory is looked at only when asked. With the office's lock held.
void RetireWhenDueLocked(Office::State& state, bool memoryToo) {
    if (state.retiring || !state.owned || state.broken || state.exiting ||
        state.phase != Office::State::Phase::Running) {
        return;
    }
    const unsigned long mostDocuments = MostDocumentsPerStart();
    const long mostKb = memoryToo ? MostResidentKb() : 0;
    const bool due = (mostDocuments > 0 && state.loads >= mostDocuments) ||
                     (mostKb > 0 && ResidentKbOf(state.pid) > mostKb);
    if (due && !g_retirementUnderWay.exchange(true)) {
        state.retiring = true;
    }
}

// The users of all offices, and since when there are none.
std::mutex g_usersMutex;
int g_users = 0;
Clock::time_point g_usersIdleSince = Clock::now();

bool UsersIdleFor(std::chrono::milliseconds limit, Clock::time_point now) {
    std::lock_guard<std::mutex> lock(g_usersMutex);
    return g_users == 0 && now - g_usersIdleSince >= limit;
}

bool HasUsers() {
    std::lock_guard<std::mutex> lock(g_usersMutex);
    return g_users > 0;
}

void EndOffice(Office::State& state, Office& office) {
    office.Shutdown();
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.stopping = true;
    }
    state.changed.notify_all();
    if (state.keeper.joinable()) {
        state.keeper.join();
    }
}

void EndAtExit() {
    Office* offices[Office::kMostOffices];
    Office::State* states[Office::kMostOffices];
    {
        std::lock_guard<std::mutex> lock(g_officesMutex);
        std::copy(std::begin(g_offices), std::end(g_offices), offices);
        std::copy(std::begin(g_states), std::end(g_states), states);
    }
    // Every office first, so that none is started or replaced while another ends.
    for (unsigned slot = 0; slot < Office::kMostOffices; ++slot) {
        if (states[slot] != nullptr) {
            states[slot]->exiting = true;
        }
    }
    for (unsigned slot = Office::kMostOffices; slot-- > 0;) {
        if (offices[slot] != nullptr) {
            EndOffice(*states[slot], *offices[slot]);
        }
    }
}

// Claims an office index of `root` for the slot: its own first, then those above every slot.
// The claim lasts as long as the process (or until the root changes), so the office keeps its
// warm profile. Without a free index the slot's own is used, as one program alone would.
unsigned ClaimIndex(Office::State& state, const std::string& root) {
    std::lock_guard<std::mutex> lock(state.claimMutex);
    if (state.claimed && state.claimedRoot == root) {
        return state.index;
    }
    if (state.claimed) {
        ReleaseOfficeIndex(state.claimedRoot, state.index);
    }
    state.claimedRoot = root;
    state.index = state.slot;
    state.claimed = false;
    for (unsigned index = state.slot; index < Office::kMostIndices;
         index = index == state.slot ? Office::kMostOffices : index + 1) {
        if (ClaimOfficeIndex(root, index)) {
            state.index = index;
            state.claimed = true;
            break;
        }
    }
    return state.index;
}

// Connects to the office on the identity's pipe; throws NoConnectException while none answers.
css::uno::Reference<css::uno::XComponentContext> Connect(
    const css::uno::Reference<css::uno::XComponentContext>& local, const OfficeIdentity& identity) {
    auto resolver = css::bridge::UnoUrlResolver::create(local);
    auto remote = resolver->resolve(word_model::FromUtf8(identity.connectUrl));
    return css::uno::Reference<css::uno::XComponentContext>(remote, css::uno::UNO_QUERY_THROW);
}

}  // namespace

unsigned Office::OfficesAllowed() {
    unsigned allowed = std::clamp(std::thread::hardware_concurrency(), 1u, kMostOffices);
    const unsigned long wanted = platform::CountSetting(platform::Setting::Offices);
    if (wanted >= 1 && wanted < allowed) {
        allowed = static_cast<unsigned>(wanted);
    }
    return allowed;
}

Office& Office::Get() {
    return At(0);
}

Office& Office::At(unsigned slot) {
    slot = std::min(slot, kMostOffices - 1);
    std::lock_guard<std::mutex> lock(g_officesMutex);
    if (g_offices[slot] == nullptr) {
        static const bool registered = [] { return std::atexit(EndAtExit) == 0; }();
        (void)registered;
        g_offices[slot] = new Office(slot);
        g_states[slot] = g_offices[slot]->state_.get();
    }
    return *g_offices[slot];
}

unsigned Office::Slot() const {
    return state_->slot;
}

Office::Office(unsigned slot) : state_(std::make_shared<State>()) {
    state_->slot = slot;
}

bool Office::AcceptingLocked(const std::string& wantedPipe) const {
    // A retiring office that is restarted anyway (broken, or of another platform root) starts
    // afresh.
    return !state_->replacing && (!state_->retiring || !UsableLocked(wantedPipe));
}

bool Office::Retiring() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->retiring || state_->replacing;
}

Office::Tenancy::Tenancy(Office& office, unsigned generation)
    : office_(office), generation_(generation) {
    State& state = *office_.state_;
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.phase == State::Phase::Running && state.generation == generation_) {
        counted_ = true;
        ++state.inUse;
        ++state.loads;
        RetireWhenDueLocked(state, false);  // the next document goes elsewhere already
    }
}

Office::Tenancy::~Tenancy() {
    State& state = *office_.state_;
    std::lock_guard<std::mutex> lock(state.mutex);
    if (counted_ && state.phase == State::Phase::Running && state.generation == generation_) {
        --(kept_ ? state.kept : state.inUse);
    }
}

void Office::Tenancy::Keep() {
    State& state = *office_.state_;
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!kept_ && counted_ && state.phase == State::Phase::Running &&
        state.generation == generation_) {
        --state.inUse;
        ++state.kept;
    }
    kept_ = true;
}

bool Office::Tenancy::Reclaim() {
    const std::string wantedPipe = office_.WantedPipe();
    State& state = *office_.state_;
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!office_.UsableLocked(wantedPipe) || state.generation != generation_) {
        return false;
    }
    if (kept_ && counted_) {
        --state.kept;
        ++state.inUse;
    }
    kept_ = false;
    return true;
}

bool Office::Usable() {
    const std::string wantedPipe = WantedPipe();
    std::lock_guard<std::mutex> lock(state_->mutex);
    return UsableLocked(wantedPipe);
}

Office::Errand::Errand(Office& office) : office_(office) {
    std::lock_guard<std::mutex> lock(office_.state_->mutex);
    ++office_.state_->errands;
}

Office::Errand::~Errand() {
    std::lock_guard<std::mutex> lock(office_.state_->mutex);
    --office_.state_->errands;
}

std::unique_ptr<Office::Errand> Office::ForNewDocument() {
    // One chooser at a time, so that two callers do not both take the same idle office.
    static std::mutex choosing;
    std::lock_guard<std::mutex> choice(choosing);
    const unsigned allowed = OfficesAllowed();
    Office* busy = nullptr;  // the first office that takes new documents, busy or not
    for (unsigned slot = 0; slot < allowed; ++slot) {
        Office& office = At(slot);
        const std::string wantedPipe = office.WantedPipe();
        bool free = false;
        {
            std::lock_guard<std::mutex> lock(office.state_->mutex);
            if (!office.AcceptingLocked(wantedPipe)) {
                continue;
            }
            busy = busy != nullptr ? busy : &office;
            free = (slot == 0 || office.UsableLocked(wantedPipe)) && office.state_->errands == 0;
        }
        if (free) {
            return std::make_unique<Errand>(office);
        }
    }
    for (unsigned slot = 1; slot < allowed; ++slot) {
        if (!At(slot).Usable()) {
            At(slot).Prestart();  // for the next document; this one does not wait for it
            break;
        }
    }
    if (busy != nullptr) {
        return std::make_unique<Errand>(*busy);
    }
    // Only a retiring office is left: when nothing of it is in use, it is replaced first (its
    // kept documents are closed), and this document waits for the new start.
    Office& office = Get();
    {
        State& state = *office.state_;
        std::lock_guard<std::mutex> lock(state.mutex);
        if (state.retiring && !state.replacing && state.errands == 0 && state.inUse == 0 &&
            state.phase == State::Phase::Running) {
            state.replacing = true;
            state.startRequested = true;
            state.changed.notify_all();
        }
    }
    return std::make_unique<Errand>(office);
}

void Office::Prestart() {
    const std::string wantedPipe = WantedPipe();
    std::lock_guard<std::mutex> lock(state_->mutex);
    BootstrapLocked();
    if (!state_->keeperStarted) {
        state_->keeperStarted = true;
        state_->keeper = std::thread([this] { KeeperLoop(); });
    }
    // A broken office, or one of another platform root, is replaced as Session would.
    const bool replace = state_->phase == State::Phase::Running && !UsableLocked(wantedPipe);
    if (state_->phase == State::Phase::Stopped || replace) {
        state_->startRequested = true;
        state_->changed.notify_all();
    }
}

std::string Office::WantedPipe() const {
    const std::string root = platform::PlatformRoot().string();
    std::lock_guard<std::mutex> lock(state_->claimMutex);
    const bool claimed = state_->claimed && state_->claimedRoot == root;
    return IdentityForRoot(root, claimed ? state_->index : state_->slot).pipeName;
}

bool Office::UsableLocked(const std::string& wantedPipe) const {
    return state_->phase == State::Phase::Running && !state_->broken && !state_->replacing &&
           state_->identity.pipeName == wantedPipe;
}

bool Office::Session(OfficeSession* session, std::string* error) {
    State& state = *state_;
    std::unique_lock<std::mutex> lock(state.mutex);
    BootstrapLocked();
    if (!state.keeperStarted) {
        state.keeperStarted = true;
        state.keeper = std::thread([this] { KeeperLoop(); });
    }
    bool attempted = false;
    for (;;) {
        // Asked anew after every start: the start claims the office's index.
        const std::string wantedPipe = WantedPipe();
        if (state.phase == State::Phase::Running) {
            if (state.owned && !state.broken && !OfficeProcessRunning(state.pid)) {
                state.broken = true;
            }
            if (!state.broken && !state.replacing && state.identity.pipeName == wantedPipe) {
                session->office = this;
                session->context = state.context;
                session->desktop = state.desktop;
                session->generation = state.generation;
                return true;
            }
        } else if (attempted && state.phase == State::Phase::Stopped) {
            *error = state.lastError.empty() ? "the office could not be started" : state.lastError;
            return false;
        }
        if (state.phase != State::Phase::Starting) {
            // A broken office, or one of another platform root, is replaced.
            state.startRequested = true;
            state.changed.notify_all();
        }
        const unsigned before = state.startsDone;
        state.changed.wait(lock, [&] { return state.startsDone != before || state.stopping; });
        if (state.stopping) {
            *error = "the process is ending";
            return false;
        }
        attempted = true;
    }
}

void Office::BootstrapLocked() {
    // Done on a caller's thread, never on the keeper's: the keeper may still be starting the
    // office while the process exits, and UNO's bootstrap must not run then.
    State& state = *state_;
    if (state.localContext.is() || !state.bootstrapError.empty()) {
        return;
    }
    // The bridge's own UNO environment, from the office's installation, unless the environment
    // names another. Given to UNO's bootstrap, not put into the environment, which other
    // threads of the process may be reading.
    if (std::getenv("URE_BOOTSTRAP") == nullptr) {
        rtl::Bootstrap::set("URE_BOOTSTRAP",
                            "vnd.sun.star.pathname:/usr/lib/libreoffice/program/fundamentalrc");
    }
    try {
        state.localContext = cppu::defaultBootstrap_InitialComponentContext();
    } catch (const css::uno::Exception& e) {
        state.bootstrapError = "UNO cannot be started: " + word_model::ToUtf8(e.Message);
    }
}

void Office::ReportBroken(unsigned generation) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (state_->generation == generation) {
        state_->broken = true;
    }
}

void Office::AddUser() {
    int users = 0;
    {
        std::lock_guard<std::mutex> lock(g_usersMutex);
        users = ++g_users;
    }
    // Instances at work side by side are likely to open documents side by side: the office the
    // next one would go to is started now rather than when that document comes.
    const unsigned wanted = std::min(static_cast<unsigned>(users), OfficesAllowed());
    for (unsigned slot = 1; slot < wanted; ++slot) {
        At(slot).Prestart();
    }
}

void Office::RemoveUser() {
    std::lock_guard<std::mutex> lock(g_usersMutex);
    if (--g_users == 0) {
        g_usersIdleSince = Clock::now();
    }
}

pid_t Office::ProcessId() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->owned && state_->phase == State::Phase::Running ? state_->pid : -1;
}

void Office::SetHousekeeping(std::function<void(bool)> housekeeping) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->housekeeping = std::move(housekeeping);
}

void Office::Shutdown() {
    State& state = *state_;
    std::unique_lock<std::mutex> lock(state.mutex);
    if (!state.keeperStarted || state.stopping) {
        return;
    }
    const unsigned before = state.endsDone;
    state.endRequested = true;
    state.changed.notify_all();
    state.changed.wait(lock, [&] { return state.endsDone != before || state.stopping; });
}

Office::Watch::Watch(std::chrono::milliseconds limit, Office& office) : state_(office.state_) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    id_ = state_->nextWatch++;
    state_->watches[id_] = Clock::now() + limit;
}

Office::Watch::~Watch() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->watches.erase(id_);
    state_->firedWatches.erase(id_);
}

bool Office::Watch::Fired() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->firedWatches.count(id_) != 0;
}

void Office::KeeperLoop() {
    State& state = *state_;

    // A write to an office that has just died must fail, not end the process. Every bridge is
    // made on this thread (Connect), and the threads it writes from inherit this thread's
    // signal mask: with SIGPIPE blocked the write fails with EPIPE. How the rest of the process
    // takes SIGPIPE is its program's choice.
    sigset_t brokenPipe;
    sigemptyset(&brokenPipe);
    sigaddset(&brokenPipe, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &brokenPipe, nullptr);

    // Once a retiring office is replaced (or has ended otherwise), another may retire.
    auto endRetirement = [&state] {
        if (state.retiring) {
            state.retiring = false;
            state.replacing = false;
            g_retirementUnderWay = false;
        }
    };

    // Ends the running office (if any). Called with the lock held; releases it meanwhile.
    auto endOffice = [&state, &endRetirement](std::unique_lock<std::mutex>& lock) {
        if (!state.replacing) {
            endRetirement();
        }
        if (state.phase != State::Phase::Running) {
            return;
        }
        if (state.exiting) {
            // No goodbye through the bridge: the office is asked to end by signal, and the
            // references are left as they are.
            state.phase = State::Phase::Stopped;
            if (state.owned) {
                const pid_t pid = std::exchange(state.pid, -1);
                lock.unlock();
                EndOfficeProcess(pid, 0ms);
                lock.lock();
            }
            return;
        }
        const pid_t pid = state.pid;
        const bool owned = state.owned;
        const bool broken = state.broken;
        auto desktop = std::move(state.desktop);
        state.context.clear();
        state.pid = -1;
        state.phase = State::Phase::Stopped;
        auto housekeeping = state.housekeeping;
        lock.unlock();
        if (housekeeping && !broken) {
            housekeeping(true);
        }
        if (owned) {
            // terminate() may hang in a sick office; the process end below unblocks it.
            std::thread terminate([desktop, broken] {
                if (desktop.is() && !broken) {
                    try {
                        desktop->terminate();
                    } catch (...) {
                    }
                }
            });
            EndOfficeProcess(pid, broken ? 0ms : 5000ms);
            terminate.join();
        }
        lock.lock();
        // The remote references go only now, while nobody can call through them.
        lock.unlock();
        desktop.clear();
        lock.lock();
    };

    // Starts the office for the current platform root. Called with the lock held.
    auto startOffice = [&state](std::unique_lock<std::mutex>& lock) {
        state.phase = State::Phase::Starting;
        std::filesystem::path root;
        const bool haveRoot = platform::EnsurePlatformRoot(&root);
        auto local = state.localContext;
        lock.unlock();
        const OfficeIdentity identity = IdentityForRoot(
            root.string(), haveRoot ? ClaimIndex(state, root.string()) : state.slot);

        std::string error;
        pid_t pid = -1;
        bool owned = false;
        css::uno::Reference<css::uno::XComponentContext> context;
        css::uno::Reference<css::frame::XDesktop2> desktop;
        try {
            if (!haveRoot) {
                throw std::runtime_error("the platform root cannot be created");
            }
            if (!local.is()) {
                throw std::runtime_error(state.bootstrapError);
            }
            try {
                // An office on our claimed pipe outlived the program that started it.
                context = Connect(local, identity);
            } catch (const css::connection::NoConnectException&) {
                owned = true;
                for (int launch = 0; !context.is() && launch < 2; ++launch) {
                    pid = StartOfficeProcess(identity, &error);
                    if (pid < 0) {
                        throw std::runtime_error(error);
                    }
                    const auto deadline = Clock::now() + kStartLimit;
                    while (!context.is()) {
                        std::this_thread::sleep_for(100ms);
                        if (state.exiting) {
                            throw std::runtime_error("the process is ending");
                        }
                        int exitCode = -1;
                        if (!OfficeProcessRunning(pid, &exitCode)) {
                            pid = -1;
                            if (exitCode == kRestartRequested && launch == 0) {
                                break;
                            }
                            throw std::runtime_error("the office ended while starting (exit code " +
                                                     std::to_string(exitCode) + ")");
                        }
                        try {
                            context = Connect(local, identity);
                        } catch (const css::connection::NoConnectException&) {
                            if (Clock::now() > deadline) {
                                throw std::runtime_error(
                                    "the office did not answer within its start time limit");
                            }
                        }
                    }
                }
            }
            if (!context.is()) {
                throw std::runtime_error("the office could not be reached");
            }
            // Before any document of ours comes (RemoteContent.h); an office that cannot be shut
            // off from the network is not used.
            if (!RemoteContentAllowed()) {
                ForbidRemoteContent(context);
            }
            desktop = css::frame::Desktop::create(context);
        } catch (const css::uno::Exception& e) {
            error = "the office could not be started: " + word_model::ToUtf8(e.Message);
        } catch (const std::exception& e) {
            error = e.what();
        }
        if (!desktop.is() && pid > 0) {
            EndOfficeProcess(pid, 0ms);
            pid = -1;
        }
        if (desktop.is()) {
            // Handlers run in reverse order: registered again now, the offices' end runs before
            // the statics UNO made for this start are destroyed, so no keeper is still at work
            // with them (a replacement, say) when they go. Ending twice does nothing.
            std::atexit(EndAtExit);
        }

        lock.lock();
        if (desktop.is()) {
            state.phase = State::Phase::Running;
            state.identity = identity;
            state.pid = pid;
            state.owned = owned;
            state.broken = false;
            state.context = context;
            state.desktop = desktop;
            ++state.generation;
            state.loads = 0;
            state.inUse = 0;
            state.kept = 0;
            state.lastError.clear();
            state.idleSince = Clock::now();
        } else {
            state.phase = State::Phase::Stopped;
            state.lastError = error;
        }
        ++state.startsDone;
        state.changed.notify_all();
    };

    std::unique_lock<std::mutex> lock(state.mutex);
    while (!state.stopping) {
        state.changed.wait_for(lock, kTick, [&] {
            return state.stopping || state.startRequested || state.endRequested;
        });
        if (state.stopping) {
            break;
        }
        if (state.endRequested) {
            state.endRequested = false;
            endOffice(lock);
            ++state.endsDone;
            state.changed.notify_all();
            continue;
        }
        if (state.startRequested) {
            state.startRequested = false;
            // Asked again while a start was under way (Prestart and Session both ask): the
            // office that start made is the one wanted.
            if (UsableLocked(WantedPipe())) {
                ++state.startsDone;
                state.changed.notify_all();
                continue;
            }
            endOffice(lock);  // a broken one, one of another root, or one being replaced
            startOffice(lock);
            endRetirement();
            continue;
        }
        const auto now = Clock::now();
        if (state.phase == State::Phase::Running) {
            // The watchdog: a call that overran its limit ends the office.
            for (const auto& [id, deadline] : state.watches) {
                if (now >= deadline && state.firedWatches.insert(id).second && state.owned &&
                    state.pid > 0) {
                    ::kill(state.pid, SIGKILL);
                    state.broken = true;
                }
            }
            if (state.owned && !state.broken && !OfficeProcessRunning(state.pid)) {
                state.broken = true;  // crashed or killed
            }
            RetireWhenDueLocked(state, true);
            // Where another office takes the new documents, the kept ones are waited for.
            const bool drained =
                state.errands == 0 && state.inUse == 0 && (state.kept == 0 || OfficesAllowed() < 2);
            if (state.retiring && drained && !state.broken && !state.exiting) {
                // The new office starts at once while a batch is under way; without users it
                // is started when next wanted (Session).
                state.replacing = true;
                endOffice(lock);
                if (!state.exiting && HasUsers()) {
                    startOffice(lock);
                }
                endRetirement();
                continue;
            }
            if (now - state.idleSince >= IdleLimit() && UsersIdleFor(IdleLimit(), now)) {
                endOffice(lock);
                continue;
            }
        }
        auto housekeeping = state.housekeeping;
        if (housekeeping && state.phase == State::Phase::Running && !state.broken &&
            !state.exiting) {
            lock.unlock();
            housekeeping(false);
            lock.lock();
        }
    }
    endOffice(lock);
}

}  // namespace word_component

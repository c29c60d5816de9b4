// The headless offices of this process, shared by every automation object and thread.
//
// Documents go to the first office (Get); while it is busy loading or reading one document,
// another document may go to a second office (ForNewDocument), one per processor core at most.
// The second is started as soon as two Word instances live at once, or else when a document
// first finds the first office busy. A process that works through one document at a time thus
// runs one office; a batch that reads ahead on two threads keeps two cores busy.
//
// Each office is started on first use (or ahead of it, when an Application object is created),
// reached through a UNO bridge over a pipe of its own, with a profile of its own, restarted when
// it crashed or hung, and ended after the offices have been idle (no users and no documents) for
// TESSALINE_OFFICE_IDLE_SECONDS (default 60) and when the process exits. A "keeper" thread of
// ours starts each office process, so the office dies with that thread (PR_SET_PDEATHSIG) if
// the process is killed; it also runs the idle timer, the watchdog of calls into the office and
// the housekeeping of the recently closed documents.
//
// An office keeps growing with every document it loads, even once they are closed. So an office
// that has loaded TESSALINE_OFFICE_MAX_DOCUMENTS documents (default 200) since it started, or
// whose resident memory exceeds TESSALINE_OFFICE_MAX_MEMORY_MB (default 1024), is replaced by a
// fresh one (0 turns a bound off). Such an office retires first: it takes no new document while
// another office can, its documents still open stay usable, and the kept ones (RecentDocuments)
// are handed out as before. It is replaced once none of its documents is in use, and, where
// another office takes the new documents meanwhile, once no kept one is left either; where it is
// the only office, its kept documents are closed then and loaded again when opened. The new
// office starts at once while the offices have users, else when next wanted. One office retires
// at a time, so another is working meanwhile.
//
// Each program runs offices of its own: an office claims an index in the platform root (a lock
// file the system releases when the program dies), which names its pipe, profile and temporary
// folder, so two programs of one user never share an office. An office that still answers on a
// claimed pipe (it outlived the program that started it) is used as it is.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

namespace word_component {

class Office;

// What a caller needs to work with a running office.
struct OfficeSession {
    Office* office = nullptr;                                  // which of the offices
    css::uno::Reference<css::uno::XComponentContext> context;  // the office's own context
    css::uno::Reference<css::frame::XDesktop2> desktop;
    unsigned generation = 0;  // changes with every start of the office
};

class Office {
  public:
    struct State;
    static constexpr unsigned kMostOffices = 2;
    // Office indices a platform root offers the programs of its user (see above): two for each
    // of up to eight programs running at once.
    static constexpr unsigned kMostIndices = 16;
    // How many offices this process may run: one per processor core, at most kMostOffices;
    // TESSALINE_OFFICES (a number from 1) lowers it.
    static unsigned OfficesAllowed();

    // The first office, where documents go unless another is chosen. The offices' end is
    // registered with atexit on first use.
    static Office& Get();
    // The office of that slot (0 to kMostOffices - 1); 0 is the first.
    static Office& At(unsigned slot);
    unsigned Slot() const;

    // A call that keeps an office busy with one document (a load, a read, an export): the next
    // new document then goes to another office if one is allowed.
    class Errand {
      public:
        explicit Errand(Office& office);
        ~Errand();
        Errand(const Errand&) = delete;
        Errand& operator=(const Errand&) = delete;
        Office& Of() const { return office_; }

      private:
        Office& office_;
    };
    // Where a new document is loaded: the first office that runs on no errand (the first office
    // while none runs yet). While every office is busy, the next allowed one is started in the
    // background and the first is taken. The errand is registered before anyone else chooses.
    static std::unique_ptr<Errand> ForNewDocument();

    // Starts the office in the background when it is not running.
    void Prestart();
    // The running office, started or restarted first when needed. False with the reason in
    // *error when it cannot be had within the start time limit.
    bool Session(OfficeSession* session, std::string* error);
    // A call into the office of that generation found it gone: the next Session restarts it.
    void ReportBroken(unsigned generation);
    // True while the office is due for replacement (see the top): what it has done with should
    // not be kept.
    bool Retiring();

    // A document loaded by one start of an office, counted there while it lives: in use (being
    // loaded, or open) or kept for a later open. An office is replaced only while none of its
    // documents is in use.
    class Tenancy {
      public:
        // In use; counts one more document loaded by that start.
        Tenancy(Office& office, unsigned generation);
        ~Tenancy();
        Tenancy(const Tenancy&) = delete;
        Tenancy& operator=(const Tenancy&) = delete;
        // Kept: nobody uses it now.
        void Keep();
        // In use again, when that start of the office still runs and is not being replaced;
        // otherwise false, and the document is of no further use.
        bool Reclaim();

      private:
        Office& office_;
        const unsigned generation_;
        bool counted_ = false;  // in that start's count
        bool kept_ = false;
    };

    // Users keep every office from its idle end. While several users (Word instances) live at
    // once, as many offices are started ahead as are allowed.
    static void AddUser();
    static void RemoveUser();

    // This office's pid while we run it ourselves, else -1.
    pid_t ProcessId();

    // Run on the keeper thread about every quarter second, outside the manager's lock, and with
    // officeEnding = true just before the office is ended.
    void SetHousekeeping(std::function<void(bool officeEnding)> housekeeping);

    // Ends the office now and waits until its process is gone.
    void Shutdown();

    // A time limit on one call into an office: when the call has not returned by then, the
    // office is killed (which makes the call fail) and restarted by the next Session.
    class Watch {
      public:
        explicit Watch(std::chrono::milliseconds limit, Office& office = Office::Get());
        ~Watch();
        Watch(const Watch&) = delete;
        Watch& operator=(const Watch&) = delete;
        // True when the watchdog ended the office because of this call.
        bool Fired() const;

      private:
        std::shared_ptr<State> state_;
        unsigned long id_;
    };

  private:
    explicit Office(unsigned slot);
    ~Office() = delete;
    // The pipe of this slot's office for the current platform root.
    std::string WantedPipe() const;
    // Running, not found broken, and serving the current platform root.
    bool Usable();
    bool UsableLocked(const std::string& wantedPipe) const;
    // Takes new documents: neither retiring nor being replaced.
    bool AcceptingLocked(const std::string& wantedPipe) const;
    void KeeperLoop();
    void BootstrapLocked();
    std::shared_ptr<State> state_;
};

// RAII user of the offices.
class OfficeUser {
  public:
    OfficeUser() { Office::AddUser(); }
    ~OfficeUser() { Office::RemoveUser(); }
    OfficeUser(const OfficeUser&) = delete;
    OfficeUser& operator=(const OfficeUser&) = delete;
};

}  // namespace word_component

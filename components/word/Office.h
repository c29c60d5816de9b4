// The one headless office of this process, shared by every automation object and thread.
//
// It is started on first use (or ahead of it, when an Application object is created), reached
// through a UNO bridge over a pipe, restarted when it crashed or hung, and ended after it has
// been idle (no users and no documents) for TESSALINE_OFFICE_IDLE_SECONDS (default 60) and when
// the process exits. A "keeper" thread of ours starts the office process, so the office dies
// with that thread (PR_SET_PDEATHSIG) if the process is killed; it also runs the idle timer,
// the watchdog of calls into the office and the housekeeping of the recently closed documents.
//
// An office already listening on our pipe (started by another process of the same platform
// root) is used as it is, and is left to the process that started it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

namespace word_component {

// What a caller needs to work with the running office.
struct OfficeSession {
    css::uno::Reference<css::uno::XComponentContext> context;  // the office's own context
    css::uno::Reference<css::frame::XDesktop2> desktop;
    unsigned generation = 0;  // changes with every start of the office
};

class Office {
  public:
    // The process's one office manager; its end is registered with atexit on first use.
    static Office& Get();

    // Starts the office in the background when it is not running.
    void Prestart();
    // The running office, started or restarted first when needed. False with the reason in
    // *error when it cannot be had within the start time limit.
    bool Session(OfficeSession* session, std::string* error);
    // A call into the office of that generation found it gone: the next Session restarts it.
    void ReportBroken(unsigned generation);

    // Users keep the office from its idle end.
    void AddUser();
    void RemoveUser();

    // The process's office pid while we run one ourselves, else -1.
    pid_t ProcessId();

    // Run on the keeper thread about every quarter second, outside the manager's lock, and with
    // officeEnding = true just before the office is ended.
    void SetHousekeeping(std::function<void(bool officeEnding)> housekeeping);

    // Ends the office now and waits until its process is gone.
    void Shutdown();

    // A time limit on one call into the office: when the call has not returned by then, the
    // office is killed (which makes the call fail) and restarted by the next Session.
    class Watch {
      public:
        explicit Watch(std::chrono::milliseconds limit);
        ~Watch();
        Watch(const Watch&) = delete;
        Watch& operator=(const Watch&) = delete;
        // True when the watchdog ended the office because of this call.
        bool Fired() const;

      private:
        unsigned long id_;
    };

    struct State;

  private:
    Office();
    ~Office() = delete;
    void KeeperLoop();
    void BootstrapLocked();
    std::shared_ptr<State> state_;
};

// RAII user of the office.
class OfficeUser {
  public:
    OfficeUser() { Office::Get().AddUser(); }
    ~OfficeUser() { Office::Get().RemoveUser(); }
    OfficeUser(const OfficeUser&) = delete;
    OfficeUser& operator=(const OfficeUser&) = delete;
};

}  // namespace word_component
